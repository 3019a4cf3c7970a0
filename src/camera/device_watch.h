#pragma once
// CDeviceWatch: arrival and removal of video devices, from a libudev monitor on the
// "video4linux" subsystem read on a thread of its own. An "add" calls back (133, -1, user), a
// "remove" (134, -1, user), on the watch's thread. Where udev is unavailable the watch stays off
// and nobody is told anything: a rescan of the device list still finds what is attached, so
// nothing may depend on these notices.

#include <memory>

#include "camera/camera_types.h"

class CDeviceWatch {
public:
    CDeviceWatch();
    ~CDeviceWatch();
    CDeviceWatch(const CDeviceWatch&) = delete;
    CDeviceWatch& operator=(const CDeviceWatch&) = delete;

    // Starts watching (a running watch is stopped first). False, and the watch off, when udev
    // cannot be reached or callback is null.
    bool Start(CameraDeviceCallback callback, void* user);
    // Ends the watch and joins its thread: the callback is not running once Stop returns.
    // Called from the callback itself it returns at once; the thread ends after the callback.
    void Stop();
    bool Running() const;

private:
    struct State;
    struct Impl;
    static void Run(std::shared_ptr<State> state);
    std::unique_ptr<Impl> m;
};
