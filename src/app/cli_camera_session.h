#pragma once
// What the camera sub-commands share: the camera side started for one command, opening a device
// entry with a frame sink, a sink that counts frames, and number arguments.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "camera/camera_types.h"

// Starts the camera side as the program does (modules, maker library, UVC) and shuts it down on
// every way out.
class CliCameraSession {
public:
    CliCameraSession();
    ~CliCameraSession();
    CliCameraSession(const CliCameraSession&) = delete;
    CliCameraSession& operator=(const CliCameraSession&) = delete;
    int Count() const { return m_count; }

private:
    int m_count = 0;
};

// Chooses device entry `device` and opens it with sink and user; 0, or the exit status after
// the reason (with what the camera layer says about it) was written.
int CliOpenDevice(const CliCameraSession& session, int device, CameraFrameSink sink, void* user);

// The entry's name in UTF-8.
std::string CliDeviceName(const CameraDeviceEntry& e);
// "camera N (NAME)".
std::string CliCameraText(int device);
// Fails with what and the camera layer's reason for its last failure: the exit status.
int CliCameraFail(const std::string& what);

// Stills at the live resolution, as the capture page sets a camera up (a module camera opens
// with its smallest still size while it streams at its largest).
void CliStillsFollowLive();

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
inline int CliOpenDevice(const CliCameraSession& session, int device, FrameCounter* counter) {
    return CliOpenDevice(session, device, &FrameCounter::Sink, counter);
}

std::optional<int> CliParseInt(const std::string& s);
std::optional<double> CliParseNumber(const std::string& s);
