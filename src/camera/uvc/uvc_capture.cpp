// The capture thread of UVCCamera and its stills.

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "camera/uvc/frame_decode.h"
#include "camera/uvc/uvc_camera_impl.h"

namespace {

constexpr int kBufferCount = 4;
// How soon the thread notices a stop request between frames.
constexpr int kPollSliceMs = 50;
// No frame for this long (or ten frame intervals, if longer) means the device has stalled.
constexpr double kMinStallSeconds = 3.0;
// How long a still may take to arrive.
constexpr double kMinStillSeconds = 5.0;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double StallSeconds(double interval) {
    return std::max(kMinStallSeconds, 10 * interval);
}

// Frames per second over windows of at least a second; 0 after a second without frames.
class RateMeter {
public:
    explicit RateMeter(std::atomic<float>* out) : m_out(out), m_start(Clock::now()) {}
    void Count(Clock::time_point now) {
        ++m_frames;
        Update(now);
    }
    void Update(Clock::time_point now) {
        const double elapsed = Seconds(now - m_start);
        if (elapsed < 1.0) return;
        m_out->store(static_cast<float>(m_frames / elapsed));
        m_frames = 0;
        m_start = now;
    }

private:
    std::atomic<float>* m_out;
    Clock::time_point m_start;
    int m_frames = 0;
};

bool DecodeFrame(const V4l2StreamFormat& f, const CV4l2Stream::Frame& frame, CMjpegDecoder& jpeg,
                 uint8_t* dib) {
    const int64_t stride = DibStride(f.width, 24);
    if (f.fourcc == V4L2_PIX_FMT_YUYV)
        return DecodeYuyv(frame.data, frame.bytes, f.bytesPerLine, f.width, f.height, dib, stride);
    return jpeg.Decode(frame.data, frame.bytes, f.width, f.height, dib, stride);
}

}  // namespace

int UVCCamera::Impl::StartCapture(std::unique_lock<std::mutex>& lk, bool deliverFrames) {
    if (OnCaptureThread()) return -1;
    StopCapture(lk);  // also joins a thread that ended by itself
    if (!Usable()) return -1;
    V4l2StreamFormat format;
    if (int e = ApplyStreamFormat(*dev, media[mediaIndex].fourcc, size, &format)) {
        if (e == ENODEV) lost = true;
        SetError("cannot set the picture format of " + dev->Path() + ": " + std::strerror(e));
        return -1;
    }
    auto s = std::make_shared<CV4l2Stream>(dev);
    if (int e = s->Start(kBufferCount)) {
        if (e == ENODEV) lost = true;
        SetError("cannot start streaming on " + dev->Path() + ": " + std::strerror(e));
        return -1;
    }
    stream = s;
    streamFormat = format;
    stopFlag.store(false);
    threadDone = false;
    deliver = deliverFrames;
    inCallback = false;
    captureFps.store(0);
    displayFps.store(0);
    try {
        captureThread = std::thread(&Impl::CaptureLoop, this, s, format, sink, sinkUser);
    } catch (const std::system_error&) {
        threadDone = true;
        stream.reset();
        return -1;
    }
    captureThreadId.store(captureThread.get_id());
    return 0;
}

void UVCCamera::Impl::StopCapture(std::unique_lock<std::mutex>& lk) {
    if (captureThread.joinable()) {
        stopFlag.store(true);
        cv.notify_all();
        if (OnCaptureThread()) {
            // The frame callback stops its own stream: the thread ends when the callback
            // returns, and its reference closes the stream then.
            stream.reset();
            return;
        }
        // mu is released while waiting: the thread may still call back into the camera.
        cv.wait(lk, [this] { return threadDone; });
        captureThread.join();
        captureThreadId.store(std::thread::id());
    }
    if (stream) {
        stream->Close();
        stream.reset();
    }
    deliver = false;
    captureFps.store(0);
    displayFps.store(0);
}

void UVCCamera::Impl::CaptureLoop(std::shared_ptr<CV4l2Stream> s, V4l2StreamFormat f,
                                  CameraFrameSink frameSink, void* frameUser) {
    CMjpegDecoder jpeg;
    const int64_t stride = DibStride(f.width, 24);
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * f.height);
    FCBitmapInfoHeader header;
    header.biSize = sizeof(FCBitmapInfoHeader);
    header.biWidth = f.width;
    header.biHeight = f.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = kBiRgb;
    header.biSizeImage = static_cast<uint32_t>(frame.size());
    const double stallLimit = StallSeconds(f.intervalSeconds);
    RateMeter captured(&captureFps), shown(&displayFps);
    Clock::time_point lastFrame = Clock::now();
    bool gone = false;
    std::string why;

    while (!stopFlag.load()) {
        CV4l2Stream::Frame got;
        int error = 0;
        const CV4l2Stream::Wait w = s->Next(kPollSliceMs, &got, &error);
        const Clock::time_point now = Clock::now();
        if (w == CV4l2Stream::Wait::Timeout || w == CV4l2Stream::Wait::Again) {
            captured.Update(now);
            shown.Update(now);
            if (Seconds(now - lastFrame) > stallLimit) {
                gone = true;
                why = "no frame from " + s->Path() + " within " + std::to_string(static_cast<int>(stallLimit)) + " s";
                break;
            }
            continue;
        }
        if (w == CV4l2Stream::Wait::Lost) {
            gone = true;
            why = error == ENODEV || error == 0 ? s->Path() + " was unplugged"
                                                : s->Path() + " stopped streaming: " + std::strerror(error);
            break;
        }
        lastFrame = now;
        captured.Count(now);
        bool wanted;
        {
            std::lock_guard<std::mutex> lock(mu);
            wanted = (deliver && frameSink) || still;
        }
        // Decode only what someone will see, then give the buffer straight back.
        const bool ok = wanted && !got.corrupt && DecodeFrame(f, got, jpeg, frame.data());
        if (int e = s->Requeue(got)) {
            gone = true;
            why = s->Path() + " stopped streaming: " + std::strerror(e);
            break;
        }
        if (!ok) {
            shown.Update(now);
            continue;
        }
        {
            std::unique_lock<std::mutex> lock(mu);
            if (still && still->width == f.width && still->height == f.height) {
                std::memcpy(still->buffer, frame.data(), frame.size());
                still->done = true;
                still = nullptr;
                cv.notify_all();
            }
            if (!deliver || !frameSink || stopFlag.load()) {
                lock.unlock();
                shown.Update(now);
                continue;
            }
            inCallback = true;
        }
        frameSink(0, frame.data(), &header, frameUser);
        {
            std::lock_guard<std::mutex> lock(mu);
            inCallback = false;
            cv.notify_all();
        }
        shown.Count(Clock::now());
    }

    if (gone) {
        SetError(why);
        {
            std::lock_guard<std::mutex> lock(mu);
            lost = true;
            cv.notify_all();
        }
        // Before threadDone: whoever waits for this thread has mu released meanwhile.
        ReportDeviceEvent(kDeviceRemoval);
    }
    std::lock_guard<std::mutex> lock(mu);
    inCallback = false;
    threadDone = true;
    cv.notify_all();
}

int UVCCamera::Impl::StillFromStream(std::unique_lock<std::mutex>& lk, uint8_t* buffer) {
    // One request at a time; a second caller waits for the first.
    cv.wait(lk, [this] { return !still || !Capturing() || lost; });
    if (!Capturing() || lost) return -1;
    StillRequest request{buffer, streamFormat.width, streamFormat.height, false};
    still = &request;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                           std::max(kMinStillSeconds, 20 * streamFormat.intervalSeconds)));
    cv.wait_until(lk, deadline, [&] { return request.done || !Capturing() || lost; });
    // Withdrawn in any case: the thread never writes into the buffer after this returns.
    if (still == &request) still = nullptr;
    cv.notify_all();
    return request.done ? 0 : -1;
}

int UVCCamera::Impl::StillOneShot(V4l2Size want, uint8_t* buffer) {
    V4l2StreamFormat f;
    if (int e = ApplyStreamFormat(*dev, media[mediaIndex].fourcc, want, &f)) {
        if (e == ENODEV) lost = true;
        return -1;
    }
    CV4l2Stream s(dev);
    if (int e = s.Start(kBufferCount)) {
        if (e == ENODEV) lost = true;
        return -1;
    }
    CMjpegDecoder jpeg;
    // Decoded aside: a failed still leaves the caller's buffer as it was.
    std::vector<uint8_t> frame(static_cast<size_t>(DibStride(f.width, 24)) * f.height);
    const double limit = std::max(kMinStillSeconds, 20 * f.intervalSeconds);
    const Clock::time_point start = Clock::now();
    int rc = -1;
    while (Seconds(Clock::now() - start) < limit) {
        CV4l2Stream::Frame got;
        int error = 0;
        const CV4l2Stream::Wait w = s.Next(kPollSliceMs, &got, &error);
        if (w == CV4l2Stream::Wait::Lost) {
            lost = true;
            break;
        }
        if (w != CV4l2Stream::Wait::Frame) continue;
        if (!got.corrupt && DecodeFrame(f, got, jpeg, frame.data())) {
            std::memcpy(buffer, frame.data(), frame.size());
            rc = 0;
            break;
        }
        if (s.Requeue(got) != 0) {
            lost = true;
            break;
        }
    }
    s.Close();
    return rc;
}
