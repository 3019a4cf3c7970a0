#pragma once
// What the camera sub-commands share: the camera side started for one command, a frame sink
// that counts frames, and opening a device entry.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>

#include "app/cli.h"
#include "camera/camera_manager.h"
#include "image/obj_image.h"

// Starts the camera side for one command and shuts it down on every way out.
class CameraSession {
public:
    CameraSession() {
        theCameraManager().Startup();
        theCameraManager().EnumerateDevices(&m_count);
    }
    ~CameraSession() { theCameraManager().Shutdown(); }
    int Count() const { return m_count; }

private:
    int m_count = 0;
};

// Counts the frames that reach the sink and remembers the last frame's format.
struct FrameCounter {
    std::mutex mutex;
    std::condition_variable arrived;
    int64_t frames = 0;
    int width = 0, height = 0, bits = 0;

    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
        auto* self = static_cast<FrameCounter*>(user);
        if (!frame || !header) return 1;
        {
            std::lock_guard lock(self->mutex);
            ++self->frames;
            self->width = header->biWidth;
            self->height = std::abs(header->biHeight);
            self->bits = header->biBitCount;
        }
        self->arrived.notify_all();
        return 1;
    }
    int64_t Frames() {
        std::lock_guard lock(mutex);
        return frames;
    }
    bool WaitForFrames(int64_t n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return frames >= n; });
    }
};

// Chooses device entry `device` and opens it with the counter as its sink.
inline int OpenDevice(const CameraSession& session, int device, FrameCounter* counter) {
    if (device >= session.Count())
        return CliFail(session.Count() == 0
                           ? std::string("no camera is attached")
                           : "no camera " + std::to_string(device) + " (there are " +
                                 std::to_string(session.Count()) + ")");
    CCameraManager& cm = theCameraManager();
    cm.SelectDevice(device);
    if (cm.OpenCamera(nullptr, &FrameCounter::Sink, counter) != 0)
        return CliFail("cannot open camera " + std::to_string(device));
    return 0;
}
