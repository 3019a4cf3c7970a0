#include "camera/uvc/uvc_family.h"

#include <QString>

#include <algorithm>

#include "camera/uvc/uvc_camera.h"

namespace {

constexpr int kUvcRoom = 32;

// The property numbers a UVC camera may have, and the plain names of some.
struct VideoRow {
    int number;
    const char* name;  // null: only "uvc:N"
    CameraPropertyId id;
    const char* unit;
};
constexpr VideoRow kVideoRows[] = {
    {PropBrightness, "brightness", CameraPropertyId::Brightness, ""},
    {PropContrast, "contrast", CameraPropertyId::Contrast, ""},
    {PropHue, "hue", CameraPropertyId::Hue, ""},
    {PropSaturation, "saturation", CameraPropertyId::Saturation, ""},
    {PropSharpness, nullptr, CameraPropertyId::Video, ""},
    {PropGamma, "gamma", CameraPropertyId::Gamma, ""},
    {PropWhiteBalance, nullptr, CameraPropertyId::Video, "K"},
    {kUvcPropBacklightCompensation, nullptr, CameraPropertyId::Video, ""},
    {PropGain, "gain", CameraPropertyId::Gain, ""},
    {PropRedGain, nullptr, CameraPropertyId::Video, ""},
    {PropBlueGain, nullptr, CameraPropertyId::Video, ""},
    {PropExposure, nullptr, CameraPropertyId::Video, "100us"},
    {PropHFlip, "hflip", CameraPropertyId::HFlip, ""},
    {PropVFlip, "vflip", CameraPropertyId::VFlip, ""},
    {kUvcPropPowerLineFrequency, nullptr, CameraPropertyId::Video, ""},
};

}  // namespace

int CUvcFamily::Check(int status) {
    if (status != 0) {
        const std::string why = theUVCCamera().LastErrorText();
        m_failure.Keep(why.empty() ? "the UVC camera refused the call" : why);
    }
    return status;
}

std::string CUvcFamily::LastError() const { return m_failure.Text(); }

int CUvcFamily::Load(const std::string&) { return theUVCCamera().InitializeAPI() == 0 ? 1 : 0; }

void CUvcFamily::Unload() {
    theUVCCamera().UnInitializeAPI();
    m_names.clear();
    m_ports.clear();
}

void CUvcFamily::Enumerate(std::vector<CameraDeviceEntry>& list, size_t limit) {
    m_names.clear();
    m_ports.clear();
    std::vector<CameraInformation> records(kUvcRoom);
    int n = kUvcRoom;
    if (theUVCCamera().UVCCam_Get_DevList(records.data(), &n, &m_ports) != 0) return;
    n = std::clamp(n, 0, kUvcRoom);
    for (int i = 0; i < n; ++i) {
        CameraDeviceEntry e;
        e.kind = KindUvc;
        e.libraryIndex = i;
        std::copy(std::begin(records[static_cast<size_t>(i)].name), std::end(records[static_cast<size_t>(i)].name),
                  e.name);
        e.name[259] = u'\0';
        m_names.emplace_back(e.name);
        if (list.size() < limit) list.push_back(e);
    }
}

std::string CUvcFamily::Identity(const CameraDeviceEntry& entry) {
    const auto i = static_cast<size_t>(entry.libraryIndex);
    if (i >= m_names.size()) return {};
    // UVC cameras rarely carry a serial number: the port they are plugged into tells two of one
    // model apart.
    const std::string port = i < m_ports.size() ? m_ports[i] : std::string();
    return QString::fromStdU16String(m_names[i]).toStdString() + "|" + port;
}

int CUvcFamily::Open(const CameraDeviceEntry& entry, void* window, CameraFrameSink sink, void* user) {
    return Check(theUVCCamera().UVCCamInit(sink, user, window, entry.name, entry.libraryIndex));
}

int CUvcFamily::Play() { return Check(theUVCCamera().UVCCamPlay()); }
int CUvcFamily::Pause() { return Check(theUVCCamera().UVCPause()); }
int CUvcFamily::Stop() { return Check(theUVCCamera().UVCCamStop()); }
int CUvcFamily::Close() { return Check(theUVCCamera().UVCCamUnit()); }

bool CUvcFamily::Present() {
    int n = 0;
    if (theUVCCamera().Camera_Get_ResolutionCount(&n) == 0) return true;
    Check(-1);  // the library knows how the camera was lost
    return false;
}

int CUvcFamily::Capture(uint8_t* buffer, int stillIndex) {
    return Check(theUVCCamera().CameraCaptureToBuf(buffer, 1, stillIndex));
}

int CUvcFamily::LiveBitCount() { return theUVCCamera().Camera_GetBitCount(); }
int CUvcFamily::StillBitCount() { return theUVCCamera().Camera_GetBitCount(); }

int CUvcFamily::PreviewSize(int* width, int* height) { return Check(theUVCCamera().UVCGetPreviewSize(width, height)); }

int CUvcFamily::ApplyPreviewSize(int width, int height) {
    return Check(theUVCCamera().UVCSetPreviewSize(width, height));
}

int CUvcFamily::ResolutionCount(List list, int* count) {
    return Check(list == List::Live ? theUVCCamera().Camera_Get_ResolutionCount(count)
                                    : theUVCCamera().Camera_Get_StillResolutionCount(count));
}

int CUvcFamily::ResolutionSize(List list, int i, int* width, int* height) {
    return Check(list == List::Live ? theUVCCamera().Camera_Get_ResolutionSize(i, width, height)
                                    : theUVCCamera().Camera_Get_StillResolutionSize(i, width, height));
}

// Stills come at the live resolution.
int CUvcFamily::ResolutionIndex(List, int* i) { return Check(theUVCCamera().Camera_Get_ResolutionIndex(i)); }

int CUvcFamily::SetResolutionIndex(List list, int i) {
    if (list == List::Still) return 0;
    return Check(theUVCCamera().Camera_Set_ResolutionIndex(i));
}

int CUvcFamily::MediaTypes(char16_t (*names)[16], int* count) {
    return Check(theUVCCamera().Gamera_Get_MediaTypes(names, count));
}

int CUvcFamily::SetMediaType(int i) { return Check(theUVCCamera().Camera_Set_MediaTypeByIndex(i)); }

float CUvcFamily::FrameRate(bool display) {
    float fps = -1.0f;
    if (display)
        theUVCCamera().Camera_Get_DisplayFrameRate(&fps);
    else
        theUVCCamera().Camera_Get_CaptureFrameRate(&fps);
    return fps;
}

// ---- Settings ----

CameraProperties CUvcFamily::Properties() {
    CameraProperties out;
    for (const VideoRow& row : kVideoRows) {
        UvcPropertyInfo u;
        if (theUVCCamera().Camera_Get_VideoPropertyInfo(row.number, &u) != 0) continue;
        CameraPropertyInfo p;
        p.key = {CameraPropertyId::Video, row.number};
        p.name = row.name ? row.name : CameraPropertyName(p.key);
        p.kind = u.toggle ? CameraValueKind::Toggle : CameraValueKind::Number;
        p.min = u.min;
        p.max = u.max;
        p.step = u.step;
        p.unit = row.unit;
        p.hasAuto = u.autoSettable;
        p.readOnly = u.readOnly;
        CameraPropertyValue d;
        d.v[0] = u.defaultValue;
        d.automatic = u.autoSettable && u.autoDefault;
        p.defaultValue = d;
        out.push_back(p);
    }
    return out;
}

int CUvcFamily::GetProperty(CameraPropertyKey key, CameraPropertyValue* value) {
    if (key.id != CameraPropertyId::Video) {
        m_failure.Keep("a UVC camera has no " + CameraPropertyName(key) + " (its settings are uvc:N)");
        return -1;
    }
    double v = 0;
    int automatic = 0;
    const int status = Check(theUVCCamera().Camera_Get_VideoProperty(key.video, &v, &automatic));
    if (status == 0) {
        value->v[0] = v;
        value->automatic = automatic != 0;
    }
    return status;
}

int CUvcFamily::SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) {
    if (key.id != CameraPropertyId::Video) {
        m_failure.Keep("a UVC camera has no " + CameraPropertyName(key) + " (its settings are uvc:N)");
        return -1;
    }
    // The flag switches the automatic mode of exposure and white balance; the others ignore it.
    return Check(theUVCCamera().Camera_Set_VideoProperty(key.video, value.v[0], value.automatic ? 1 : 0));
}

int CUvcFamily::PropertyRange(int id, double* min, double* max, double* current) {
    // Sharpness has no page of its own on UVC cameras.
    if (id == PropSharpness) {
        *min = 0;
        *max = 1;
        *current = 0;
        return 1;
    }
    return theUVCCamera().Camera_Get_VideoPropertyRane(id, min, max, current);
}

int CUvcFamily::OneShotWhiteBalance() {
    m_failure.Keep("a UVC camera has no one-shot white balance");
    return -1;
}

int CUvcFamily::SetWhiteBalanceCallback(CameraWhiteBalanceCallback, void*) { return -1; }
