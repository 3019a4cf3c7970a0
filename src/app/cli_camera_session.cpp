#include "app/cli_camera_session.h"

#include <QString>

#include "app/cli.h"
#include "camera/camera_manager.h"

CliCameraSession::CliCameraSession() {
    theCameraManager().Startup();
    theCameraManager().EnumerateDevices(&m_count);
}

CliCameraSession::~CliCameraSession() { theCameraManager().Shutdown(); }

int CliOpenDevice(const CliCameraSession& session, int device, CameraFrameSink sink, void* user) {
    if (device >= session.Count())
        return CliFail(session.Count() == 0 ? std::string("no camera is attached")
                                            : "no camera " + std::to_string(device) + " (there are " +
                                                  std::to_string(session.Count()) + ")");
    CCameraManager& cm = theCameraManager();
    cm.SelectDevice(device);
    if (cm.OpenCamera(nullptr, sink, user) != 0) return CliFail("cannot open camera " + std::to_string(device));
    return 0;
}

void CliStillsFollowLive() {
    CCameraManager& cm = theCameraManager();
    if (cm.m_currentCamera.kind == KindModule4) return;  // its stills are its live frames
    int live = -1, still = -1, stills = 0;
    cm.GetResolutionIndex(&live);
    cm.GetStillResolutionIndex(&still);
    cm.GetStillResolutionCount(&stills);
    if (live >= 0 && live < stills && still != live) cm.SetStillResolutionIndex(live);
}

std::optional<int> CliParseInt(const std::string& s) {
    bool ok = false;
    const int v = QString::fromStdString(s).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

std::optional<double> CliParseNumber(const std::string& s) {
    bool ok = false;
    const double v = QString::fromStdString(s).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}
