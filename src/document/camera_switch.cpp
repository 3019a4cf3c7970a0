#include "document/camera_switch.h"

#include "camera/camera_log.h"
#include "camera/camera_manager.h"
#include "camera/camera_memory.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"

namespace {

IScopeDocFrame& Frame() {
    static IScopeDocFrame none;
    return theApp().frame ? *theApp().frame : none;
}

QString NameOf(const CameraDeviceEntry& e) {
    int n = 0;
    while (n < 260 && e.name[n]) ++n;
    return QString::fromUtf16(e.name, n);
}

// The open camera's settings as texts, by name (the ones it can set and read back).
CCameraMemory::Values ReadCameraSettings(CCameraManager& cm) {
    CCameraMemory::Values out;
    for (const CameraPropertyInfo& info : cm.Properties()) {
        if (info.readOnly) continue;
        CameraPropertyValue v;
        if (cm.GetProperty(info.key, &v) == 0) out[info.name] = FormatCameraValue(info, v, true);
    }
    return out;
}

// Sets each value on the open camera, in the camera's own order of its settings; values of names
// the camera does not have, or that do not fit its ranges (stored by another version, or a range
// that changed), are left out.
void ApplyCameraSettings(CCameraManager& cm, const CCameraMemory::Values& values) {
    for (const CameraPropertyInfo& info : cm.Properties()) {
        const auto it = values.find(info.name);
        if (it == values.end()) continue;
        std::string why;
        const auto v = ParseCameraValue(info, it->second, &why);
        if (!v) {
            qCInfo(lcCamera).noquote() << "remembered setting left out:" << QString::fromStdString(why);
            continue;
        }
        if (cm.SetProperty(info.key, *v) != 0)
            qCInfo(lcCamera).noquote() << "remembered setting not taken:" << QString::fromStdString(cm.LastError());
    }
}

}  // namespace

CCameraSwitch::CCameraSwitch(CCameraManager& cm, ICameraSwitchHost& host, CCameraMemory* memory, QObject* parent)
    : QObject(parent), m_cm(cm), m_host(host), m_memory(memory) {
    m_watch.setInterval(kWatchPeriodMs);
    connect(&m_watch, &QTimer::timeout, this, &CCameraSwitch::CheckCamera);
}

CCameraSwitch::~CCameraSwitch() {
    if (m_memory) m_memory->Sync();
}

void CCameraSwitch::Report(const QString& text, const std::string& reason) {
    const QString why = QString::fromStdString(reason);
    qCWarning(lcCamera).noquote() << text << why;
    if (IScopePrompt* prompt = theApp().prompt)
        prompt->message(Translate(QStringLiteral("Error")), why.isEmpty() ? text : text + QLatin1Char('\n') + why);
}

void CCameraSwitch::SwitchTo(int i) {
    int count = 0;
    m_cm.EnumerateDevices(&count);
    if (count == 0 || i < 0 || i >= count) return;
    if (!CScopeDoc::FindLiveDocument()) {
        m_cm.SelectDevice(i);
        OpenPreview();
        return;
    }
    // The camera that vanished, chosen again: open it anew.
    if (m_bLost && i == m_cm.m_nCurrentDevice) {
        m_cm.SelectDevice(i);
        Reopen();
        return;
    }
    if (m_cm.m_nPlayState == Stopped || i == m_cm.m_nCurrentDevice) return;
    if (!m_host.LiveVideoWindow()) return;
    emit cameraAboutToChange();
    m_cm.SelectDevice(i);
    Reopen();
}

void CCameraSwitch::OpenPreview() {
    if (CScopeDoc::FindLiveDocument()) return;
    theApp().m_nNewDocKind = 0;
    // The live view opens the camera and the document plays it.
    CScopeDoc* doc = Frame().NewDocument();
    if (!doc || !doc->m_bLive) return;
    Opened();
    if (m_cm.IsOpen() && m_cm.LastPlayStatus() != 0)
        Report(Translate(QStringLiteral("The camera does not start.")), m_cm.LastError());
}

bool CCameraSwitch::Reopen() {
    void* window = m_host.LiveVideoWindow();
    if (!window) return false;
    // A recording of the camera that closes ends with it.
    if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->CameraGoingAway();
    m_cm.Stop();
    m_cm.CloseCamera();
    if (m_cm.OpenCamera(window, m_host.LiveFrameSink(), window) != 0) {
        Opened();
        return false;
    }
    Opened();
    CScopeDoc* live = CScopeDoc::FindLiveDocument();
    if (live) live->SetTitle(NameOf(m_cm.m_currentCamera));
    // The document takes the camera's size; the families that set sizes directly get it again.
    int w = 0, h = 0;
    m_cm.GetPreviewSize(&w, &h);
    if (live) {
        live->m_nFrameWidth = w;
        live->m_nFrameHeight = h;
        Frame().RefreshLayout(*live);
    }
    m_cm.ApplyPreviewSize(w, h);
    if (m_cm.Play() != 0) Report(Translate(QStringLiteral("The camera does not start.")), m_cm.LastError());
    m_cm.GetPreviewSize(&w, &h);
    Frame().SetStatusText(1, QStringLiteral("%1 x %2").arg(w).arg(h));
    return true;
}

void CCameraSwitch::Opened() {
    m_bLost = false;
    m_bSilenceReported = false;
    m_lostIdentity.clear();
    if (!m_cm.IsOpen()) {
        m_watch.stop();
        Report(Translate(QStringLiteral("The camera could not be opened.")), m_cm.LastError());
        emit cameraRemoved();
        return;
    }
    ApplyMemory();
    m_sinceOpen.start();
    m_watch.start();
    emit cameraChanged(m_cm.m_currentCamera.kind);
}

void CCameraSwitch::ApplyMemory() {
    if (!m_memory) return;
    const std::string identity = m_cm.OpenIdentity();
    if (identity.empty()) return;
    // The first time a camera is seen its settings are its defaults.
    if (!m_memory->HasDefaults(identity)) m_memory->SetDefaults(identity, ReadCameraSettings(m_cm));
    ApplyCameraSettings(m_cm, m_memory->Remembered(identity));
}

void CCameraSwitch::Remember(CameraPropertyKey key) {
    if (!m_memory || !m_cm.IsOpen()) return;
    const std::string identity = m_cm.OpenIdentity();
    const CameraProperties list = m_cm.Properties();
    const CameraPropertyInfo* info = FindCameraProperty(list, key);
    CameraPropertyValue v;
    if (identity.empty() || !info || info->readOnly || m_cm.GetProperty(key, &v) != 0) return;
    m_memory->Remember(identity, info->name, FormatCameraValue(*info, v, true));
}

void CCameraSwitch::RestoreDefaults() {
    if (!m_cm.IsOpen()) return;
    const std::string identity = m_cm.OpenIdentity();
    CCameraMemory::Values values;
    if (m_memory && !identity.empty()) values = m_memory->Defaults(identity);
    // What the camera says of its own defaults counts before what it had when first seen.
    for (const CameraPropertyInfo& info : m_cm.Properties())
        if (info.defaultValue) values[info.name] = FormatCameraValue(info, *info.defaultValue, true);
    ApplyCameraSettings(m_cm, values);
    if (m_memory && !identity.empty()) m_memory->Forget(identity);
    emit settingsRestored();
}

void CCameraSwitch::CheckCamera() {
    if (!CScopeDoc::FindLiveDocument()) {
        // The live document closed its camera.
        m_watch.stop();
        m_bLost = false;
        return;
    }
    if (!m_bLost) {
        if (!m_cm.IsOpen()) return;
        if (!m_cm.IsOpenCameraPresent()) {
            m_bLost = true;
            m_lostIdentity = m_cm.OpenIdentity();
            if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->CameraGoingAway();
            emit cameraRemoved();
            Report(Translate(QStringLiteral("The camera \"%1\" was disconnected.")).arg(NameOf(m_cm.m_currentCamera)),
                   m_cm.LastError());
            return;
        }
        if (!m_bSilenceReported && m_cm.m_nPlayState == Playing && m_cm.FramesDelivered() == 0 &&
            m_sinceOpen.elapsed() > m_nFirstFrameMs) {
            m_bSilenceReported = true;
            Report(Translate(QStringLiteral("The camera \"%1\" delivered no picture within %2 seconds."))
                       .arg(NameOf(m_cm.m_currentCamera))
                       .arg((m_nFirstFrameMs + 999) / 1000),
                   m_cm.LastError());
        }
        return;
    }
    // Gone: back again, on the same connection?
    if (m_cm.IsOpen() && m_cm.IsOpenCameraPresent()) Reopen();
}

void CCameraSwitch::OnDeviceEvent(int code) {
    if (code == kDeviceRemoval) {
        CheckCamera();
        return;
    }
    if (code != kDeviceArrival || !m_bLost) return;
    // A camera plugged in anew is found by who it is, wherever it is listed now.
    int count = 0;
    m_cm.EnumerateDevices(&count);
    for (int i = 0; i < count; ++i) {
        if (m_cm.DeviceIdentity(i) != m_lostIdentity) continue;
        m_cm.SelectDevice(i);
        Reopen();
        return;
    }
}
