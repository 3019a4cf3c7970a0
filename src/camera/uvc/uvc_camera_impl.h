#pragma once
// UVCCamera's state, shared by uvc_camera.cpp (the calls) and uvc_capture.cpp (the capture
// thread and stills).
//
// Locking: one mutex (mu) guards the camera. Nobody holds it while waiting for the capture
// thread: a call that must stop the thread marks the camera busy and waits on the condition
// variable, which releases mu, so the frame callback and the removal report may call back into
// the camera (Pause, Stop, Unit, properties, the device list) without deadlock. Other threads'
// calls wait until the busy call is done. Calls that would have to wait for the capture thread
// from the capture thread itself (a still, a new size or format, Init) answer -1 there.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/device_watch.h"
#include "camera/uvc/uvc_camera.h"
#include "camera/uvc/v4l2_device.h"
#include "camera/uvc/v4l2_stream.h"

struct UVCCamera::Impl {
    using Clock = std::chrono::steady_clock;
    enum class Play { Stopped, Playing, Paused };

    struct ListedDevice {
        std::string path;
        std::u16string name;
        std::string port;  // bus_info
    };

    // A still wanted from the running stream: the capture thread fills buffer with the next
    // frame of this size.
    struct StillRequest {
        uint8_t* buffer = nullptr;
        int width = 0;
        int height = 0;
        bool done = false;
    };

    Impl();
    ~Impl();

    // --- locking (uvc_camera.cpp) ---
    bool OnCaptureThread() const { return captureThreadId.load() == std::this_thread::get_id(); }
    // mu, after any busy call of another thread is done.
    std::unique_lock<std::mutex> Enter();
    struct BusyScope {
        explicit BusyScope(Impl& i) : impl(i) { ++impl.busy; }
        ~BusyScope() {
            --impl.busy;
            impl.cv.notify_all();
        }
        Impl& impl;
    };
    bool Usable() const { return dev && !lost; }
    void CloseLocked(std::unique_lock<std::mutex>& lk);
    // Stops the stream, switches to media type / size, and restarts it as it ran before.
    int RestartAt(std::unique_lock<std::mutex>& lk, int media, V4l2Size size);
    std::vector<ListedDevice> ListDevices();
    void ReportDeviceEvent(int code);
    // Replaces the event callback and the device watch that feeds it (none for null).
    void SetEventCallback(CameraDeviceCallback callback, void* user);
    static void OnWatchEvent(int code, int parameter, void* user);

    // --- capture (uvc_capture.cpp) ---
    // Applies the live format and starts the stream and its thread. 0 or -1.
    int StartCapture(std::unique_lock<std::mutex>& lk, bool deliverFrames);
    // Ends the thread and frees the stream. From the capture thread itself it only tells the
    // thread to end; the next StartCapture or CloseLocked joins it.
    void StopCapture(std::unique_lock<std::mutex>& lk);
    bool Capturing() const { return captureThread.joinable() && !threadDone; }
    void CaptureLoop(std::shared_ptr<CV4l2Stream> stream, V4l2StreamFormat format,
                     CameraFrameSink frameSink, void* frameUser);
    // A still of the live stream's next frame (same size, stream running).
    int StillFromStream(std::unique_lock<std::mutex>& lk, uint8_t* buffer);
    // A still at another size or without a stream: a stream of its own, one frame, closed.
    int StillOneShot(V4l2Size size, uint8_t* buffer);

    std::mutex mu;
    std::condition_variable cv;
    int busy = 0;  // calls under way that release mu while they wait

    // Written under mu and listMutex both: listing needs only listMutex, so the event
    // callback may list devices while a stream is being stopped.
    std::shared_ptr<IV4l2Sys> sys;
    std::mutex listMutex;

    // The open camera.
    std::shared_ptr<CV4l2Device> dev;
    std::atomic<bool> open{false};
    std::vector<V4l2MediaType> media;
    int mediaIndex = 0;
    V4l2Size size;
    CameraFrameSink sink = nullptr;
    void* sinkUser = nullptr;
    Play play = Play::Stopped;
    bool lost = false;  // stalled or gone: every later call fails

    // The capture thread.
    std::thread captureThread;
    std::atomic<std::thread::id> captureThreadId{};
    std::atomic<bool> stopFlag{false};
    bool threadDone = true;
    bool deliver = false;
    bool inCallback = false;
    StillRequest* still = nullptr;
    std::shared_ptr<CV4l2Stream> stream;
    V4l2StreamFormat streamFormat;
    std::atomic<float> captureFps{0};
    std::atomic<float> displayFps{0};

    // Why the last call failed or the stream ended; logged as it is set.
    void SetError(std::string reason);
    mutable std::mutex errorMutex;
    std::string lastError;

    // Arrival and removal notices.
    std::mutex eventMutex;
    CameraDeviceCallback eventCallback = nullptr;
    void* eventUser = nullptr;
    std::unique_ptr<CDeviceWatch> watch;
};
