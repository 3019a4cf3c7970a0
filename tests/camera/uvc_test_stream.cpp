// UVCCamera streaming over the device-call fake: decoding against independent decoders, sizes
// and restarts, pause, stills, stopping while frames are in flight, and devices that stall,
// fail or vanish.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/frame_decode.h"
#include "camera/uvc/uvc_camera.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
// Generous: a loaded two-core machine renders and encodes every emulated frame.
constexpr auto kWait = 30s;

// A DIB frame as delivered: bottom row first, rows padded to 4 bytes.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    int64_t Stride() const { return DibStride(width, 24); }
    // B, G, R of pixel (x, y), y counted from the top.
    const uint8_t* At(int x, int y) const {
        return bytes.data() + (height - 1 - y) * Stride() + 3 * x;
    }
    double Mean() const {
        double s = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x) s += At(0, y)[x];
        return s / (double(width) * height * 3);
    }
};

struct Difference {
    int max = 0;
    double mean = 0;
};

// reference(x, y, c) gives channel c (0 B, 1 G, 2 R) of the independent decode.
Difference Compare(const Picture& p, const std::function<int(int, int, int)>& reference) {
    Difference d;
    double sum = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int e = std::abs(int(p.At(x, y)[c]) - reference(x, y, c));
                d.max = std::max(d.max, e);
                sum += e;
            }
    d.mean = sum / (double(p.width) * p.height * 3);
    return d;
}

// Floating-point BT.601 video range: independent of the fixed-point decoder.
std::function<int(int, int, int)> YuyvReference(const std::vector<uint8_t>& yuyv, int width) {
    return [&yuyv, width](int x, int y, int c) {
        const uint8_t* q = yuyv.data() + (size_t(y) * width + (x & ~1)) * 2;
        const double Y = q[(x & 1) * 2] - 16.0, U = q[1] - 128.0, V = q[3] - 128.0;
        const double v = c == 0   ? 1.164383 * Y + 2.017232 * U
                         : c == 1 ? 1.164383 * Y - 0.391762 * U - 0.812968 * V
                                  : 1.164383 * Y + 1.596027 * V;
        return std::clamp(int(std::lround(v)), 0, 255);
    };
}

// Qt's JPEG reader as the independent decoder.
std::function<int(int, int, int)> JpegReference(const QImage& img) {
    return [&img](int x, int y, int c) {
        const QRgb px = img.pixel(x, y);
        return c == 0 ? qBlue(px) : c == 1 ? qGreen(px) : qRed(px);
    };
}

class Sink {
public:
    static int Callback(int, uint8_t* data, const FCBitmapInfoHeader* h, void* user) {
        auto* s = static_cast<Sink*>(user);
        if (s->closed.load()) ++s->late;
        if (s->slow) std::this_thread::sleep_for(2ms);
        if (s->onFrame) s->onFrame(s->Count() + 1);
        std::lock_guard<std::mutex> lock(s->mu);
        ++s->frames;
        s->header = *h;
        s->last.width = h->biWidth;
        s->last.height = h->biHeight;
        s->last.bytes.assign(data, data + h->biSizeImage);
        s->cv.notify_all();
        return 1;
    }
    int Count() {
        std::lock_guard<std::mutex> lock(mu);
        return frames;
    }
    bool WaitFrames(int n) {
        std::unique_lock<std::mutex> lock(mu);
        return cv.wait_for(lock, kWait, [&] { return frames >= n; });
    }
    // The next frame of this width.
    bool WaitWidth(int width) {
        std::unique_lock<std::mutex> lock(mu);
        const int from = frames;
        return cv.wait_for(lock, kWait, [&] { return frames > from && header.biWidth == width; });
    }
    Picture Last() {
        std::lock_guard<std::mutex> lock(mu);
        return last;
    }
    FCBitmapInfoHeader Header() {
        std::lock_guard<std::mutex> lock(mu);
        return header;
    }

    std::atomic<bool> closed{false};  // set once Stop/Unit returned
    std::atomic<int> late{0};         // callbacks that began after that
    bool slow = false;
    std::function<void(int)> onFrame;  // runs on the capture thread

private:
    std::mutex mu;
    std::condition_variable cv;
    int frames = 0;
    FCBitmapInfoHeader header{};
    Picture last;
};

class Events {
public:
    static void Callback(int code, int, void* user) {
        auto* e = static_cast<Events*>(user);
        if (e->onEvent) e->onEvent(code);
        std::lock_guard<std::mutex> lock(e->mu);
        e->codes.push_back(code);
        e->cv.notify_all();
    }
    bool WaitFor(int code) {
        std::unique_lock<std::mutex> lock(mu);
        return cv.wait_for(lock, kWait, [&] {
            return std::find(codes.begin(), codes.end(), code) != codes.end();
        });
    }
    int Count(int code) {
        std::lock_guard<std::mutex> lock(mu);
        return int(std::count(codes.begin(), codes.end(), code));
    }
    std::function<void(int)> onEvent;

private:
    std::mutex mu;
    std::condition_variable cv;
    std::vector<int> codes;
};

FakeDeviceConfig StillCamera() {
    FakeDeviceConfig c;
    c.card = "Cam";
    c.stillScene = true;
    FakeFormat mjpg{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {}, {}};
    mjpg.sizes = {{320, 240, {30}}, {424, 240, {30}}, {640, 480, {30}}, {1280, 720, {30}}};
    FakeFormat yuyv{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}, {}};
    yuyv.sizes = {{320, 240, {30}}, {640, 480, {30}}};
    c.formats = {mjpg, yuyv};
    return c;
}

class UvcStreamTest : public testing::Test {
protected:
    void Use(std::vector<FakeDeviceConfig> devices) {
        fake = std::make_shared<CFakeV4l2>(std::move(devices));
        cam.SetSys(fake);
        ASSERT_EQ(cam.InitializeAPI(), 0);
    }
    void Open(int index = 0) {
        std::vector<CameraInformation> list(8);
        int n = 8;
        ASSERT_EQ(cam.UVCCam_Get_DevList(list.data(), &n), 0);
        ASSERT_LT(index, n);
        ASSERT_EQ(cam.UVCCamInit(&Sink::Callback, &sink, nullptr, list[index].name, index), 0);
    }
    int IndexOf(int w, int h) {
        int n = 0;
        EXPECT_EQ(cam.Camera_Get_ResolutionCount(&n), 0);
        for (int i = 0; i < n; ++i) {
            int sw = 0, sh = 0;
            cam.Camera_Get_ResolutionSize(i, &sw, &sh);
            if (sw == w && sh == h) return i;
        }
        return -1;
    }
    // Nothing of the stream is left on the device.
    void ExpectReleased() {
        EXPECT_EQ(fake->MappedBuffers(0), 0);
        EXPECT_EQ(fake->RequestedBuffers(0), 0);
        EXPECT_FALSE(fake->Streaming(0));
    }
    void TearDown() override { cam.UnInitializeAPI(); }

    std::shared_ptr<CFakeV4l2> fake;
    Sink sink;
    Events events;
    UVCCamera cam;
};

TEST_F(UvcStreamTest, FramesDecodeAsIndependentDecodersDecodeThem) {
    struct Case {
        const char* name;
        int media;  // 0 MJPG, 1 YUY2
        int width, height;
        bool withoutHuffmanTables;
    };
    const Case cases[] = {
        {"YUYV", 1, 640, 480, false},
        {"MJPEG, width not a multiple of 16", 0, 424, 240, false},
        {"MJPEG without Huffman tables", 0, 640, 480, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDeviceConfig cfg = StillCamera();
        cfg.mjpegWithoutHuffmanTables = c.withoutHuffmanTables;
        Use({cfg});
        Open();
        ASSERT_EQ(cam.Camera_Set_MediaTypeByIndex(c.media), 0);
        ASSERT_EQ(cam.UVCSetPreviewSize(c.width, c.height), 0);
        const int before = sink.Count();
        ASSERT_EQ(cam.UVCCamPlay(), 0);
        ASSERT_TRUE(sink.WaitFrames(before + 2));
        ASSERT_EQ(cam.UVCCamStop(), 0);

        // Every frame of the still scene is the same: the device's last one is the source of
        // the one delivered.
        uint32_t fourcc = 0;
        int w = 0, h = 0;
        const std::vector<uint8_t> data = fake->LastFrame(0, &fourcc, &w, &h);
        ASSERT_EQ(std::pair(w, h), std::pair(c.width, c.height));
        const Picture got = sink.Last();
        ASSERT_EQ(got.width, c.width);
        ASSERT_EQ(got.height, c.height);
        Difference d;
        if (c.media == 1) {
            ASSERT_EQ(fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
            d = Compare(got, YuyvReference(data, w));
            EXPECT_LE(d.max, 2);
        } else {
            ASSERT_EQ(fourcc, uint32_t(V4L2_PIX_FMT_MJPEG));
            const uint8_t dht[] = {0xFF, 0xC4};
            const bool hasTables =
                std::search(data.begin(), data.end(), std::begin(dht), std::end(dht)) != data.end();
            EXPECT_EQ(hasTables, !c.withoutHuffmanTables);
            const QImage ref = QImage::fromData(data.data(), int(data.size()), "JPG");
            ASSERT_FALSE(ref.isNull());
            ASSERT_EQ(ref.width(), c.width);
            d = Compare(got, JpegReference(ref));
            EXPECT_LE(d.max, 2);
        }
        EXPECT_LT(d.mean, 0.25);
        // A picture, not a flat field.
        EXPECT_GT(std::abs(int(got.At(0, 0)[1]) - int(got.At(c.width / 2, c.height / 2)[1])) +
                      std::abs(int(got.At(c.width - 1, c.height - 1)[1]) -
                               int(got.At(c.width / 3, c.height / 3)[1])),
                  0);
        ASSERT_EQ(cam.UVCCamUnit(), 0);
    }
}

TEST(FrameDecode, RefusesCutAndMismatchedFrames) {
    FakeDeviceConfig cfg = StillCamera();
    CFakeV4l2 fake({cfg});
    UVCCamera cam;
    // One MJPEG frame straight from the device.
    const int fd = fake.Open(fake.CapturePath(0).c_str(), 04000 /* O_NONBLOCK */);
    v4l2_requestbuffers req{};
    req.count = 1;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(fake.Ioctl(fd, VIDIOC_REQBUFS, &req), 0);
    v4l2_buffer b{};
    b.type = req.type;
    b.memory = req.memory;
    ASSERT_EQ(fake.Ioctl(fd, VIDIOC_QBUF, &b), 0);
    int type = req.type;
    ASSERT_EQ(fake.Ioctl(fd, VIDIOC_STREAMON, &type), 0);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(fake.Poll(&p, 1, 10000), 1);
    ASSERT_EQ(fake.Ioctl(fd, VIDIOC_DQBUF, &b), 0);
    uint32_t fourcc = 0;
    int w = 0, h = 0;
    const std::vector<uint8_t> jpeg = fake.LastFrame(0, &fourcc, &w, &h);
    fake.Close(fd);

    const int64_t stride = DibStride(w, 24);
    std::vector<uint8_t> dib(size_t(stride) * h);
    CMjpegDecoder dec;
    EXPECT_TRUE(dec.Decode(jpeg.data(), jpeg.size(), w, h, dib.data(), stride));
    EXPECT_FALSE(dec.Decode(jpeg.data(), jpeg.size() / 2, w, h, dib.data(), stride));
    EXPECT_FALSE(dec.Decode(jpeg.data(), jpeg.size(), w, h / 2, dib.data(), stride));
    std::vector<uint8_t> garbage(jpeg.size(), 0x5A);
    EXPECT_FALSE(dec.Decode(garbage.data(), garbage.size(), w, h, dib.data(), stride));
    // Cameras send one scan per frame: a progressive frame would cost a pass over the whole
    // frame per scan on the capture thread.
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(qRgb(40, 120, 200));
    const std::vector<uint8_t> progressive = ProgressiveJpeg(picture);
    ASSERT_FALSE(progressive.empty());
    EXPECT_FALSE(dec.Decode(progressive.data(), progressive.size(), w, h, dib.data(), stride));
    // The decoder is still good after the failures.
    EXPECT_TRUE(dec.Decode(jpeg.data(), jpeg.size(), w, h, dib.data(), stride));

    std::vector<uint8_t> yuyv(size_t(w) * h * 2, 128);
    EXPECT_TRUE(DecodeYuyv(yuyv.data(), yuyv.size(), w * 2, w, h, dib.data(), stride));
    EXPECT_FALSE(DecodeYuyv(yuyv.data(), yuyv.size() - 1, w * 2, w, h, dib.data(), stride));
    EXPECT_FALSE(DecodeYuyv(yuyv.data(), yuyv.size(), w * 2, w + 1, h, dib.data(), stride));
}

TEST_F(UvcStreamTest, StreamsAtTheChosenSizeAndFollowsChanges) {
    Use({StillCamera()});
    Open();
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    ASSERT_TRUE(sink.WaitWidth(640));
    const FCBitmapInfoHeader h = sink.Header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biHeight, 480);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, uint32_t(DibStride(640, 24) * 480));

    ASSERT_EQ(cam.Camera_Set_ResolutionIndex(IndexOf(320, 240)), 0);
    ASSERT_TRUE(sink.WaitWidth(320));
    EXPECT_EQ(sink.Header().biHeight, 240);
    ASSERT_EQ(cam.UVCSetPreviewSize(1280, 720), 0);
    ASSERT_TRUE(sink.WaitWidth(1280));
    EXPECT_EQ(sink.Header().biHeight, 720);
    // A format change keeps streaming, at the nearest size the format has.
    ASSERT_EQ(cam.Camera_Set_MediaTypeByIndex(1), 0);
    ASSERT_TRUE(sink.WaitWidth(640));
    int w = 0, hh = 0;
    ASSERT_EQ(cam.UVCGetPreviewSize(&w, &hh), 0);
    EXPECT_EQ(std::pair(w, hh), std::pair(640, 480));

    // Both rates come up once frames have flowed for a second or more.
    float capture = 0, display = 0;
    for (auto until = std::chrono::steady_clock::now() + kWait;
         (capture <= 0 || display <= 0) && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(cam.Camera_Get_CaptureFrameRate(&capture), 0);
        ASSERT_EQ(cam.Camera_Get_DisplayFrameRate(&display), 0);
    }
    EXPECT_GT(capture, 0);
    EXPECT_GT(display, 0);
    ASSERT_EQ(cam.UVCCamStop(), 0);
    ExpectReleased();
}

TEST_F(UvcStreamTest, PauseHoldsFramesBackAndPlayResumes) {
    Use({StillCamera()});
    Open();
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    ASSERT_TRUE(sink.WaitFrames(2));
    ASSERT_EQ(cam.UVCPause(), 0);
    sink.closed = true;
    const int held = sink.Count();
    // The device keeps producing; nothing is delivered.
    const int64_t produced = fake->FramesProduced(0);
    const auto until = std::chrono::steady_clock::now() + kWait;
    while (fake->FramesProduced(0) < produced + 5 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_GE(fake->FramesProduced(0), produced + 5);
    EXPECT_EQ(sink.Count(), held);
    EXPECT_EQ(sink.late.load(), 0);
    sink.closed = false;
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    EXPECT_TRUE(sink.WaitFrames(held + 1));
}

TEST_F(UvcStreamTest, StopAndUnitWhileFramesAreInFlight) {
    Use({StillCamera()});
    sink.slow = true;  // frames are mostly in the callback when the stop comes
    for (int i = 0; i < 30; ++i) {
        SCOPED_TRACE(i);
        Open();
        sink.closed = false;
        const int before = sink.Count();
        ASSERT_EQ(cam.UVCCamPlay(), 0);
        ASSERT_TRUE(sink.WaitFrames(before + 1 + i % 3));
        if (i % 3 == 0) {
            ASSERT_EQ(cam.UVCCamUnit(), 0);  // without a Stop first
            sink.closed = true;
        } else {
            if (i % 3 == 1) {
                ASSERT_EQ(cam.UVCPause(), 0);
            }
            ASSERT_EQ(cam.UVCCamStop(), 0);
            sink.closed = true;
            ExpectReleased();
            ASSERT_EQ(cam.UVCCamUnit(), 0);
        }
        EXPECT_EQ(fake->OpenFiles(0), 0);
        ExpectReleased();
    }
    EXPECT_EQ(sink.late.load(), 0);
}

TEST_F(UvcStreamTest, StallFailureAndRemovalEndTheStreamCleanly) {
    struct Case {
        const char* name;
        FakeFaults faults;
        bool unplugged;
    };
    FakeFaults stall, removal, dqbufError, qbufGone;
    stall.stallAfterFrames = 3;
    removal.removeAfterFrames = 3;
    dqbufError.ioctls = {{VIDIOC_DQBUF, EIO, -1, 3}};
    qbufGone.ioctls = {{VIDIOC_QBUF, ENODEV, -1, 3}};
    const Case cases[] = {
        {"stall", stall, false},
        {"removal", removal, true},
        {"DQBUF EIO", dqbufError, false},
        {"QBUF ENODEV", qbufGone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDeviceConfig cfg = StillCamera();
        cfg.faults = c.faults;
        Use({cfg});
        Events ev;
        // As the camera pane does: the notice refreshes the list, on whatever thread it comes.
        ev.onEvent = [this](int) {
            CameraInformation list[4];
            int n = 4;
            cam.UVCCam_Get_DevList(list, &n);
        };
        ASSERT_EQ(cam.UVCCamSetEventCallBack(&Events::Callback, &ev), 0);
        Open();
        ASSERT_EQ(cam.UVCCamPlay(), 0);
        ASSERT_TRUE(ev.WaitFor(kDeviceRemoval));
        EXPECT_EQ(ev.Count(kDeviceRemoval), 1);

        // Every later call fails without harm; Stop and Unit still release everything.
        std::vector<uint8_t> buf(DibStride(640, 24) * 480);
        int w = 0, h = 0;
        EXPECT_EQ(cam.UVCCamPlay(), -1);
        EXPECT_EQ(cam.UVCPause(), -1);
        EXPECT_EQ(cam.CameraCaptureToBuf(buf.data(), 1, 0), -1);
        EXPECT_EQ(cam.UVCGetPreviewSize(&w, &h), -1);
        EXPECT_EQ(cam.Camera_Set_VideoProperty(PropBrightness, 3, 1), -1);
        EXPECT_EQ(cam.Camera_Set_ResolutionIndex(0), -1);
        EXPECT_EQ(cam.UVCCamStop(), 0);
        EXPECT_EQ(fake->MappedBuffers(0), 0);
        // A vanished device frees its buffers when its file is closed.
        EXPECT_EQ(cam.UVCCamUnit(), 0);
        EXPECT_EQ(fake->OpenFiles(0), 0);
        ExpectReleased();
        EXPECT_EQ(cam.UVCCamPlay(), -1);

        CameraInformation list[4];
        int n = 4;
        ASSERT_EQ(cam.UVCCam_Get_DevList(list, &n), 0);
        EXPECT_EQ(n, c.unplugged ? 0 : 1);
        ASSERT_EQ(cam.UVCCamSetEventCallBack(nullptr, nullptr), 0);
    }
}

TEST_F(UvcStreamTest, TransientErrorsDoNotEndTheStream) {
    FakeDeviceConfig cfg = StillCamera();
    cfg.faults.ioctls = {{VIDIOC_DQBUF, EAGAIN, 3, 2}};
    Use({cfg});
    ASSERT_EQ(cam.UVCCamSetEventCallBack(&Events::Callback, &events), 0);
    Open();
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    ASSERT_TRUE(sink.WaitFrames(8));
    EXPECT_EQ(events.Count(kDeviceRemoval), 0);
}

TEST_F(UvcStreamTest, RefusedMappingFailsPlayAndLeavesTheCameraUsable) {
    FakeDeviceConfig cfg = StillCamera();
    cfg.faults.refuseMmap = true;
    Use({cfg});
    Open();
    EXPECT_EQ(cam.UVCCamPlay(), -1);
    ExpectReleased();
    EXPECT_EQ(cam.Camera_Set_VideoProperty(PropBrightness, 5, 1), 0);
    std::vector<uint8_t> buf(DibStride(640, 24) * 480);
    EXPECT_EQ(cam.CameraCaptureToBuf(buf.data(), 1, IndexOf(640, 480)), -1);
    ExpectReleased();
    // Once the device maps again, so does the camera.
    fake->SetFaults(0, {});
    EXPECT_EQ(cam.UVCCamPlay(), 0);
    EXPECT_TRUE(sink.WaitFrames(1));
    EXPECT_EQ(cam.UVCCamUnit(), 0);
    EXPECT_EQ(fake->OpenFiles(0), 0);
}

TEST_F(UvcStreamTest, StillsAtAnotherSizeRestoreTheLiveStream) {
    Use({StillCamera()});
    Open();
    const int big = IndexOf(1280, 720), live = IndexOf(640, 480);
    ASSERT_GE(big, 0);
    const size_t bigBytes = size_t(DibStride(1280, 24)) * 720;

    // Stopped: a stream of its own for one frame; the camera stays stopped.
    std::vector<uint8_t> first(bigBytes, 0);
    ASSERT_EQ(cam.CameraCaptureToBuf(first.data(), 1, big), 0);
    ExpectReleased();
    EXPECT_EQ(sink.Count(), 0);
    uint32_t fourcc = 0;
    int w = 0, h = 0;
    const std::vector<uint8_t> jpeg = fake->LastFrame(0, &fourcc, &w, &h);
    ASSERT_EQ(std::pair(w, h), std::pair(1280, 720));
    const QImage ref = QImage::fromData(jpeg.data(), int(jpeg.size()), "JPG");
    ASSERT_FALSE(ref.isNull());
    const Picture still{1280, 720, first};
    EXPECT_LE(Compare(still, JpegReference(ref)).max, 4);

    // Playing at 640 x 480: the still at 1280 x 720 is the same picture, then live resumes.
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    ASSERT_TRUE(sink.WaitWidth(640));
    std::vector<uint8_t> second(bigBytes, 0);
    ASSERT_EQ(cam.CameraCaptureToBuf(second.data(), 1, big), 0);
    EXPECT_EQ(second, first);
    ASSERT_TRUE(sink.WaitWidth(640));
    int i = -1;
    ASSERT_EQ(cam.Camera_Get_ResolutionIndex(&i), 0);
    EXPECT_EQ(i, live);
    ASSERT_EQ(cam.UVCGetPreviewSize(&w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(640, 480));

    // At the live size the next frame is taken, paused or not; a pause stays a pause.
    std::vector<uint8_t> same(size_t(DibStride(640, 24)) * 480, 0);
    ASSERT_EQ(cam.CameraCaptureToBuf(same.data(), 1, live), 0);
    EXPECT_EQ(same, sink.Last().bytes);
    ASSERT_EQ(cam.UVCPause(), 0);
    const int held = sink.Count();
    std::fill(same.begin(), same.end(), 0);
    ASSERT_EQ(cam.CameraCaptureToBuf(same.data(), 1, live), 0);
    EXPECT_EQ(same, sink.Last().bytes);
    ASSERT_EQ(cam.CameraCaptureToBuf(second.data(), 1, big), 0);
    EXPECT_EQ(sink.Count(), held);
    EXPECT_TRUE(fake->Streaming(0));

    EXPECT_EQ(cam.CameraCaptureToBuf(same.data(), 1, 99), -1);
    EXPECT_EQ(cam.CameraCaptureToBuf(nullptr, 1, live), -1);
}

TEST_F(UvcStreamTest, ControlsChangeThePicture) {
    Use({StillCamera()});
    Open();
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    // Frames already rendered into queued buffers still come out after a change, and on a busy
    // machine there may be several: wait until the picture answers, within the usual time-out.
    auto meanOnceItMoves = [&](int brightness, auto moved) {
        EXPECT_EQ(cam.Camera_Set_VideoProperty(PropBrightness, brightness, 1), 0);
        const auto until = std::chrono::steady_clock::now() + kWait;
        double mean = 0;
        do {
            if (!sink.WaitFrames(sink.Count() + 1)) break;
            mean = sink.Last().Mean();
        } while (!moved(mean) && std::chrono::steady_clock::now() < until);
        return mean;
    };
    EXPECT_TRUE(sink.WaitFrames(1));
    const double start = sink.Last().Mean();
    const double dark = meanOnceItMoves(-64, [&](double m) { return m < start - 10; });
    const double bright = meanOnceItMoves(64, [&](double m) { return m > dark + 40; });
    EXPECT_GT(bright - dark, 40);
}

TEST_F(UvcStreamTest, FrameCallbackMayStopItsOwnCamera) {
    Use({StillCamera()});
    Open();
    std::atomic<bool> stopped{false};
    sink.onFrame = [&](int n) {
        if (n == 3 && !stopped) {
            EXPECT_EQ(cam.UVCCamStop(), 0);
            stopped = true;
        }
    };
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    ASSERT_TRUE(sink.WaitFrames(3));
    const auto until = std::chrono::steady_clock::now() + kWait;
    while (!stopped && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(stopped);
    // Playing again reclaims the ended thread and its buffers first.
    sink.onFrame = nullptr;
    const int before = sink.Count();
    ASSERT_EQ(cam.UVCCamPlay(), 0);
    EXPECT_TRUE(sink.WaitFrames(before + 2));
    ASSERT_EQ(cam.UVCCamUnit(), 0);
    EXPECT_EQ(fake->OpenFiles(0), 0);
    ExpectReleased();
}

}  // namespace
