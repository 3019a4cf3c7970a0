// The same checks for every camera family, through the camera manager: the maker library, each
// driver module and UVC over the emulated device layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/camera_manager.h"
#include "camera/module_loader.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"

namespace {

using namespace std::chrono_literals;

// One camera of each simulated family.
const bool kEnvironment = [] {
    setenv("NORVANESCOPE_SIM_CAMERAS", "maker=1,mc-a=1,mc-b=1,mc-c=1,mc-d=1", 1);
    return true;
}();

struct Sink {
    std::mutex mutex;
    std::condition_variable cv;
    int64_t frames = 0;
    int width = 0, height = 0, bits = 0;
    bool varied = false;  // the last frame is a picture, not one flat value
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};

    static int Fn(int, uint8_t* frame, const FCBitmapInfoHeader* h, void* user) {
        auto* s = static_cast<Sink*>(user);
        if (s->closed) s->afterClose++;
        const int64_t bytes = DibStride(h->biWidth, h->biBitCount) * std::abs(h->biHeight);
        bool varied = false;
        for (int64_t i = 1; i < bytes && !varied; i += 997) varied = frame[i] != frame[0];
        {
            std::lock_guard lock(s->mutex);
            ++s->frames;
            s->width = h->biWidth;
            s->height = std::abs(h->biHeight);
            s->bits = h->biBitCount;
            s->varied = varied;
        }
        s->cv.notify_all();
        return 1;
    }
    int64_t Frames() {
        std::lock_guard lock(mutex);
        return frames;
    }
    // Waits for n more frames; true when they came.
    bool WaitMore(int64_t n, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock lock(mutex);
        const int64_t target = frames + n;
        return cv.wait_for(lock, timeout, [&] { return frames >= target; });
    }
};

class Conformance : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEnvironment);
        cm.Shutdown();
        // One UVC camera, emulated at the device-call layer.
        theUVCCamera().SetSys(fake);
        cm.Startup();
        int count = 0;
        cm.EnumerateDevices(&count);
        for (const CameraDeviceEntry& e : cm.Devices())
            if (e.kind == GetParam()) {
                device = e.listIndex;
                break;
            }
        ASSERT_GE(device, 0) << "no camera of kind " << GetParam();
        ASSERT_TRUE(cm.SelectDevice(device));
        ASSERT_EQ(cm.OpenCamera(nullptr, &Sink::Fn, &sink), 0);
        ASSERT_EQ(cm.m_nKind, GetParam());
        cm.Play();
    }
    void TearDown() override {
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
    }
    // Unplugs the open camera the way its family can lose it, or plugs it back in. The
    // simulated devices outlive a test, so each test leaves them plugged in.
    void Plug(bool in) {
        const int index = cm.m_currentCamera.libraryIndex;
        switch (GetParam()) {
        case KindMaker:
            ASSERT_EQ(cm.Maker().Fn().NRCamera_Sim_SetFaults(index, 0, -1, in ? 0 : 1), 0);
            break;
        case KindUvc:
            if (!in) fake->Unplug(index);  // each test has a fresh emulated device
            break;
        default:
            ASSERT_EQ(theModules().State(GetParam()).CameraSimSetFaults(0, -1, in ? 0 : 1), 0);
        }
    }
    std::shared_ptr<CFakeV4l2> fake = CFakeV4l2::Emulated(1);
    CCameraManager& cm = theCameraManager();
    Sink sink;
    int device = -1;
};

TEST_P(Conformance, FramesMatchThePreviewSizeAndDepth) {
    ASSERT_TRUE(sink.WaitMore(3));
    int w = 0, h = 0;
    ASSERT_EQ(cm.GetPreviewSize(&w, &h), 0);
    std::lock_guard lock(sink.mutex);
    EXPECT_EQ(sink.width, w);
    EXPECT_EQ(sink.height, h);
    EXPECT_EQ(sink.bits, cm.LiveBitCount());
    EXPECT_TRUE(sink.varied) << "frames are one flat value";
    const std::u16string name(cm.m_currentCamera.name);
    EXPECT_FALSE(name.empty());
}

TEST_P(Conformance, EveryResolutionStreamsAtItsSize) {
    int count = 0;
    ASSERT_EQ(cm.GetResolutionCount(&count), 0);
    ASSERT_GE(count, 1);
    // The smallest sizes keep the test quick; the largest is covered by the benchmarks.
    for (int i = 0; i < std::min(count, 3); ++i) {
        int w = 0, h = 0;
        ASSERT_EQ(cm.GetResolutionSize(i, &w, &h), 0);
        ASSERT_EQ(cm.SetResolutionIndex(i), 0) << "index " << i;
        ASSERT_TRUE(sink.WaitMore(2)) << "index " << i;
        ASSERT_TRUE(sink.WaitMore(1)) << "index " << i;  // a frame begun after the change
        int index = -1, pw = 0, ph = 0;
        cm.GetResolutionIndex(&index);
        cm.GetPreviewSize(&pw, &ph);
        std::lock_guard lock(sink.mutex);
        EXPECT_EQ(index, i);
        EXPECT_EQ(pw, w);
        EXPECT_EQ(ph, h);
        EXPECT_EQ(sink.width, w) << "index " << i;
        EXPECT_EQ(sink.height, h) << "index " << i;
    }
}

TEST_P(Conformance, StillFillsTheCallersBuffer) {
    ASSERT_TRUE(sink.WaitMore(1));
    int still = -1, w = 0, h = 0;
    ASSERT_EQ(cm.GetStillResolutionIndex(&still), 0);
    ASSERT_GE(still, 0);
    ASSERT_EQ(cm.GetStillResolutionSize(still, &w, &h), 0);
    const int64_t bytes = DibStride(w, cm.StillBitCount()) * h;
    // A guard band behind the still shows any write past its size.
    std::vector<uint8_t> buffer(bytes + 4096, 0xA5);
    ASSERT_EQ(cm.CaptureToBuffer(buffer.data(), still), 0);
    EXPECT_TRUE(std::all_of(buffer.begin() + bytes, buffer.end(), [](uint8_t b) { return b == 0xA5; }));
    const int64_t changed = std::count_if(buffer.begin(), buffer.begin() + bytes, [](uint8_t b) { return b != 0xA5; });
    EXPECT_GT(changed, bytes / 2);
}

TEST_P(Conformance, MeasuresItsFrameRate) {
    // Rates are measured over windows of a second; give them two.
    const auto until = std::chrono::steady_clock::now() + 15s;
    float fps = 0;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(200ms);
        fps = cm.GetCaptureFrameRate();
        if (fps > 0) break;
    }
    EXPECT_GT(fps, 0.5f);
    EXPECT_LT(fps, 500.0f);
    EXPECT_GE(cm.GetDisplayFrameRate(), 0.0f);
}

TEST_P(Conformance, NothingArrivesAfterClose) {
    ASSERT_TRUE(sink.WaitMore(2));
    cm.Stop();
    cm.CloseCamera();
    sink.closed = true;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sink.afterClose.load(), 0);
    // Open, play and close again a few times while frames are in flight.
    for (int round = 0; round < 4; ++round) {
        sink.closed = false;
        ASSERT_EQ(cm.OpenCamera(nullptr, &Sink::Fn, &sink), 0);
        cm.Play();
        ASSERT_TRUE(sink.WaitMore(1)) << "round " << round;
        cm.Stop();
        cm.CloseCamera();
        sink.closed = true;
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sink.afterClose.load(), 0);
    // TearDown stops and closes once more: that must be harmless.
}

TEST_P(Conformance, AnUnpluggedCameraEndsItsStreamCleanly) {
    ASSERT_TRUE(sink.WaitMore(2));
    Plug(false);
    // Frames stop (one already under way may still arrive).
    std::this_thread::sleep_for(300ms);
    const int64_t settled = sink.Frames();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(sink.Frames(), settled);
    // Stopping the vanished camera neither hangs nor crashes, nor does closing it.
    cm.Stop();
    Plug(true);
    cm.CloseCamera();
    int count = -1;
    EXPECT_EQ(cm.EnumerateDevices(&count), 0);
    EXPECT_GE(count, 0);
}

TEST_P(Conformance, ReportsFormatsAndExposureRange) {
    char16_t names[16][16] = {};
    int n = 16;
    ASSERT_EQ(cm.GetMediaTypes(names, &n), 0);
    ASSERT_GE(n, 1);
    EXPECT_NE(names[0][0], u'\0');
    double lo = 0, hi = 0, cur = 0;
    ASSERT_EQ(cm.GetPropertyRange(PropExposure, &lo, &hi, &cur), 0);
    EXPECT_LT(lo, hi);
    EXPECT_GE(cur, lo);
    EXPECT_LE(cur, hi);
}

std::string KindName(const ::testing::TestParamInfo<int>& info) {
    static const char* names[] = {"Uvc", "Module1", "Module2", "Module3", "Module4", "Maker"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Families, Conformance,
                         ::testing::Values(KindMaker, KindModule1, KindModule2, KindModule3, KindModule4,
                                           KindUvc),
                         KindName);

}  // namespace
