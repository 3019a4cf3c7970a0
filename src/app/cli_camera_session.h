#pragma once
// What the camera sub-commands share: the camera side started for one command, opening a device
// entry with a frame sink, and number arguments.

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
// the reason was written.
int CliOpenDevice(const CliCameraSession& session, int device, CameraFrameSink sink, void* user);

// Stills at the live resolution, as the capture page sets a camera up (a module camera opens
// with its smallest still size while it streams at its largest).
void CliStillsFollowLive();

std::optional<int> CliParseInt(const std::string& s);
std::optional<double> CliParseNumber(const std::string& s);
