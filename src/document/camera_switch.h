#pragma once
// CCameraSwitch: the application's one place where the open camera changes: choosing a camera
// from the list (and at start-up), a new live preview, the open camera vanishing and coming back.
// It opens and plays the camera (through the live document's view), applies what the per-camera
// memory holds, tells the user why a camera fails, and announces every change, so whatever
// depends on the open camera (the camera pane, a running recording) can follow:
//   cameraAboutToChange()  before the open camera is stopped and closed for another
//   cameraChanged(kind)    a camera is open and playing (the pane builds its pages now)
//   cameraRemoved()        the open camera vanished (unplugged, or its stream ended)
// User-interface thread only; device notices from other threads go through OnDeviceEvent.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <string>

#include "camera/camera_property.h"
#include "camera/camera_types.h"

class CCameraMemory;
class CCameraManager;

// What switching needs of the windows: the live document's video window and its frame sink.
class ICameraSwitchHost {
public:
    virtual ~ICameraSwitchHost() = default;
    // The live video window of the live document's view, or null when it has no view.
    virtual void* LiveVideoWindow() = 0;
    virtual CameraFrameSink LiveFrameSink() = 0;
};

class CCameraSwitch : public QObject {
    Q_OBJECT
public:
    // How long a camera may take for its first frame before the user is told, and how often
    // the open camera is looked at.
    static constexpr int kFirstFrameMs = 15000;
    static constexpr int kWatchPeriodMs = 1000;

    // memory may be null (nothing is remembered).
    CCameraSwitch(CCameraManager& cm, ICameraSwitchHost& host, CCameraMemory* memory, QObject* parent = nullptr);
    ~CCameraSwitch() override;

    // The camera list's command and start-up: device i becomes the live camera.
    void SwitchTo(int i);
    // A new live preview of the current camera, when there is no live document.
    void OpenPreview();
    // The user changed a setting of the open camera: it is remembered for this camera.
    void Remember(CameraPropertyKey key);
    // Every setting of the open camera back to its defaults; what was remembered is forgotten.
    void RestoreDefaults();
    // Looks at the open camera: gone, back, or silent since it opened (the watch timer's job).
    void CheckCamera();
    // A device arrived (133) or was removed (134); any thread.
    void OnDeviceEvent(int code);
    bool CameraLost() const { return m_bLost; }
    void SetFirstFrameTimeout(int ms) { m_nFirstFrameMs = ms; }

signals:
    void cameraAboutToChange();
    void cameraChanged(int kind);
    void cameraRemoved();
    // The settings of the open camera changed all at once (defaults restored): pages reread.
    void settingsRestored();

private:
    // The live camera opened (by the view, or by a switch): memory, announcement, checks.
    void Opened();
    // Stops and closes the open camera and opens the current entry in the live window.
    bool Reopen();
    void Report(const QString& text, const std::string& reason);
    void ApplyMemory();

    CCameraManager& m_cm;
    ICameraSwitchHost& m_host;
    CCameraMemory* m_memory;
    QTimer m_watch;
    QElapsedTimer m_sinceOpen;
    int m_nFirstFrameMs = kFirstFrameMs;
    bool m_bLost = false;
    bool m_bSilenceReported = false;
    std::string m_lostIdentity;
};
