#include "camera/camera_manager.h"

#include <QString>

#include <algorithm>
#include <cmath>

#include "camera/camera_log.h"
#include "camera/device_watch.h"
#include "camera/maker/maker_family.h"
#include "camera/module_family.h"
#include "camera/module_loader.h"
#include "camera/uvc/uvc_camera.h"
#include "camera/uvc/uvc_family.h"

namespace {

bool IsModuleKind(int kind) { return kind >= KindModule1 && kind <= KindModule4; }

CameraPropertyValue One(double v) {
    CameraPropertyValue out;
    out.v[0] = v;
    return out;
}

}  // namespace

CCameraManager& theCameraManager() {
    static CCameraManager manager;
    return manager;
}

CCameraManager::CCameraManager()
    : m_modules(std::make_unique<CModuleFamily>()),
      m_uvc(std::make_unique<CUvcFamily>()),
      m_maker(std::make_unique<CMakerFamily>()) {
    // The libraries this manager calls must outlive it: objects made first are destroyed last.
    theModules();
    theUVCCamera();
}

CCameraManager::~CCameraManager() { Shutdown(); }

ICameraFamily* CCameraManager::FamilyOf(int kind) const {
    if (IsModuleKind(kind)) return m_modules.get();
    if (kind == KindUvc) return m_uvc.get();
    if (kind == KindMaker) return m_maker.get();
    return nullptr;
}

const CMakerLibrary& CCameraManager::Maker() const { return m_maker->Library(); }

std::unique_ptr<IStageControl> CCameraManager::OpenStage() {
    ICameraFamily* family = Open();
    return family ? family->OpenStage() : nullptr;
}

void CCameraManager::SetError(std::string reason) {
    std::lock_guard lock(m_errorMutex);
    m_lastError = std::move(reason);
}

std::string CCameraManager::LastError() const {
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

template <class F>
int CCameraManager::Route(F&& call) {
    ICameraFamily* family = Open();
    // A camera that did not open answers nothing, and the reason it did not stays.
    if (!family || !m_bOpen) {
        if (!family) SetError("no camera is open");
        return -1;
    }
    const int status = call(*family);
    if (status != 0) SetError(family->LastError());
    return status;
}

int CCameraManager::Startup(const std::string& folder) {
    Shutdown();
    m_bStarted = true;
    const int loaded = m_modules->Load(folder);
    m_maker->Load(folder);
    m_uvc->Load(folder);
    return loaded;
}

int CCameraManager::StartDeviceWatch() {
    if (m_watch) return 0;
    m_watch = new CDeviceWatch;
    // Without udev the watch stays off; a rescan still finds every camera.
    return m_watch->Start(&CCameraManager::DeviceEvent, this) ? 0 : -1;
}

void CCameraManager::DeviceEvent(int code, int parameter, void* user) {
    auto* self = static_cast<CCameraManager*>(user);
    CameraDeviceCallback callback;
    void* target;
    {
        std::lock_guard lock(self->m_callbackMutex);
        callback = self->m_deviceCallback;
        target = self->m_deviceUser;
    }
    if (callback && (code == kDeviceArrival || code == kDeviceRemoval)) callback(code, parameter, target);
}

void CCameraManager::SetDeviceCallback(CameraDeviceCallback callback, void* user) {
    std::lock_guard lock(m_callbackMutex);
    m_deviceCallback = callback;
    m_deviceUser = user;
}

void CCameraManager::Shutdown() {
    if (!m_bStarted) return;
    m_bStarted = false;
    if (m_nKind >= 0) {
        Stop();
        CloseCamera();
    }
    if (m_watch) {
        m_watch->Stop();
        delete m_watch;
        m_watch = nullptr;
    }
    m_modules->Unload();
    m_uvc->Unload();
    m_maker->Unload();
    m_nKind = -1;
}

// ---- Enumeration ----

int CCameraManager::EnumerateDevices(int* count) {
    std::vector<CameraDeviceEntry> list;
    for (ICameraFamily* family : {static_cast<ICameraFamily*>(m_modules.get()), static_cast<ICameraFamily*>(m_uvc.get()),
                                  static_cast<ICameraFamily*>(m_maker.get())})
        family->Enumerate(list, kMaxDevices);
    for (size_t i = 0; i < list.size(); ++i) list[i].listIndex = static_cast<int32_t>(i);
    m_devices = std::move(list);
    if (count) *count = static_cast<int>(m_devices.size());
    return 0;
}

bool CCameraManager::SelectDevice(int i) {
    if (i < 0 || i >= static_cast<int>(m_devices.size())) return false;
    m_currentCamera = m_devices[static_cast<size_t>(i)];
    m_nCurrentDevice = i;
    return true;
}

std::string CCameraManager::DeviceIdentity(int i) {
    if (i < 0 || i >= static_cast<int>(m_devices.size())) return {};
    const CameraDeviceEntry& e = m_devices[static_cast<size_t>(i)];
    ICameraFamily* family = FamilyOf(e.kind);
    return family ? family->Identity(e) : std::string();
}

// ---- Lifecycle ----

int CCameraManager::CountFrame(int a, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
    auto* self = static_cast<CCameraManager*>(user);
    self->m_frames.fetch_add(1, std::memory_order_relaxed);
    const CameraFrameSink sink = self->m_sink.load();
    return sink ? sink(a, frame, header, self->m_sinkUser.load()) : 1;
}

int CCameraManager::OpenCamera(void* hwnd, CameraFrameSink sink, void* user) {
    const int kind = m_currentCamera.kind;
    m_nKind = kind;
    m_bOpen = false;
    m_openIdentity.clear();
    ICameraFamily* family = FamilyOf(kind);
    if (!family) {
        SetError("no camera is chosen");
        return -1;
    }
    m_sink.store(sink);
    m_sinkUser.store(user);
    m_frames.store(0);
    m_nPlayStatus = 0;
    const int status = family->Open(m_currentCamera, hwnd, &CCameraManager::CountFrame, this);
    if (status != 0) {
        SetError(family->LastError());
        return status;
    }
    m_bOpen = true;
    // The identity as the last enumeration listed it.
    for (const CameraDeviceEntry& e : m_devices)
        if (e.kind == kind && e.libraryIndex == m_currentCamera.libraryIndex) m_openIdentity = family->Identity(e);
    return 0;
}

int CCameraManager::Play() {
    const int status = Route([](ICameraFamily& f) { return f.Play(); });
    m_nPlayState = Playing;
    m_nPlayStatus = status;
    return status;
}

int CCameraManager::Pause() {
    const int status = Route([](ICameraFamily& f) { return f.Pause(); });
    m_nPlayState = Paused;
    return status;
}

int CCameraManager::Stop() {
    const int status = Route([](ICameraFamily& f) { return f.Stop(); });
    m_nPlayState = Stopped;
    return status;
}

int CCameraManager::CloseCamera() {
    const int status = Route([](ICameraFamily& f) { return f.Close(); });
    m_nPlayState = Stopped;
    m_bOpen = false;
    return status;
}

bool CCameraManager::IsOpenCameraPresent() {
    ICameraFamily* family = Open();
    if (!m_bOpen || !family) return false;
    if (family->Present()) return true;
    // Why it went (unplugged, stalled) is the reason to show.
    if (const std::string why = family->LastError(); !why.empty()) SetError(why);
    return false;
}

// ---- Capture ----

int CCameraManager::CaptureToBuffer(uint8_t* buffer, int stillIndex) {
    if (!buffer) return -1;
    return Route([&](ICameraFamily& f) { return f.Capture(buffer, stillIndex); });
}

int CCameraManager::LiveBitCount() const {
    ICameraFamily* family = Open();
    return family ? family->LiveBitCount() : 24;
}

int CCameraManager::StillBitCount() const {
    ICameraFamily* family = Open();
    return family ? family->StillBitCount() : 24;
}

// ---- Resolutions ----

using List = ICameraFamily::List;

int CCameraManager::GetPreviewSize(int* width, int* height) {
    return Route([&](ICameraFamily& f) { return f.PreviewSize(width, height); });
}

int CCameraManager::ApplyPreviewSize(int width, int height) {
    return Route([&](ICameraFamily& f) { return f.ApplyPreviewSize(width, height); });
}

int CCameraManager::GetResolutionCount(int* count) {
    return Route([&](ICameraFamily& f) { return f.ResolutionCount(List::Live, count); });
}

int CCameraManager::GetResolutionSize(int i, int* width, int* height) {
    return Route([&](ICameraFamily& f) { return f.ResolutionSize(List::Live, i, width, height); });
}

int CCameraManager::GetResolutionIndex(int* i) {
    return Route([&](ICameraFamily& f) { return f.ResolutionIndex(List::Live, i); });
}

int CCameraManager::SetResolutionIndex(int i) {
    return Route([&](ICameraFamily& f) { return f.SetResolutionIndex(List::Live, i); });
}

int CCameraManager::GetStillResolutionCount(int* count) {
    return Route([&](ICameraFamily& f) { return f.ResolutionCount(List::Still, count); });
}

int CCameraManager::GetStillResolutionSize(int i, int* width, int* height) {
    return Route([&](ICameraFamily& f) { return f.ResolutionSize(List::Still, i, width, height); });
}

int CCameraManager::GetStillResolutionIndex(int* i) {
    return Route([&](ICameraFamily& f) { return f.ResolutionIndex(List::Still, i); });
}

int CCameraManager::SetStillResolutionIndex(int i) {
    return Route([&](ICameraFamily& f) { return f.SetResolutionIndex(List::Still, i); });
}

int CCameraManager::GetMediaTypes(char16_t (*names)[16], int* count) {
    return Route([&](ICameraFamily& f) { return f.MediaTypes(names, count); });
}

int CCameraManager::SetMediaTypeByIndex(int i) {
    return Route([&](ICameraFamily& f) { return f.SetMediaType(i); });
}

// Unknown kinds answer -1.0.
float CCameraManager::GetCaptureFrameRate() {
    ICameraFamily* family = Open();
    return family ? family->FrameRate(false) : -1.0f;
}

float CCameraManager::GetDisplayFrameRate() {
    ICameraFamily* family = Open();
    return family ? family->FrameRate(true) : -1.0f;
}

// ---- Settings ----

CameraProperties CCameraManager::Properties() {
    ICameraFamily* family = Open();
    return family && m_bOpen ? family->Properties() : CameraProperties{};
}

int CCameraManager::GetProperty(CameraPropertyKey key, CameraPropertyValue* value) {
    return Route([&](ICameraFamily& f) { return f.GetProperty(key, value); });
}

int CCameraManager::SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) {
    return Route([&](ICameraFamily& f) { return f.SetProperty(key, value); });
}

int CCameraManager::Get(CameraPropertyId id, CameraPropertyValue* value) { return GetProperty({id}, value); }

int CCameraManager::Set(CameraPropertyId id, const CameraPropertyValue& value) { return SetProperty({id}, value); }

int CCameraManager::Range(CameraPropertyId id, double* min, double* max) {
    const CameraProperties list = Properties();
    const CameraPropertyInfo* info = FindCameraProperty(list, CameraPropertyKey{id});
    if (!info) {
        SetError("the camera has no " + CameraPropertyName({id}));
        return -1;
    }
    *min = info->min;
    *max = info->max;
    return 0;
}

namespace {
// A one-number setting read into an int.
template <class Get>
int IntOf(Get get, int* out) {
    CameraPropertyValue v;
    const int status = get(&v);
    if (status == 0) *out = static_cast<int>(std::lround(v.v[0]));
    return status;
}
}  // namespace

int CCameraManager::SetAeState(int on) { return Set(CameraPropertyId::AutoExposure, One(on)); }
int CCameraManager::GetAeState(int* on) {
    return IntOf([&](CameraPropertyValue* v) { return Get(CameraPropertyId::AutoExposure, v); }, on);
}
int CCameraManager::SetAeTarget(int target) { return Set(CameraPropertyId::ExposureTarget, One(target)); }
int CCameraManager::GetAeTarget(int* target) {
    return IntOf([&](CameraPropertyValue* v) { return Get(CameraPropertyId::ExposureTarget, v); }, target);
}

int CCameraManager::SetExposureTime(int64_t microseconds) {
    return Set(CameraPropertyId::ExposureTime, One(static_cast<double>(microseconds)));
}

int CCameraManager::GetExposureTime(int64_t* microseconds) {
    CameraPropertyValue v;
    const int status = Get(CameraPropertyId::ExposureTime, &v);
    if (status == 0) *microseconds = std::llround(v.v[0]);
    return status;
}

int CCameraManager::GetExposureRange(int64_t* max, int64_t* min) {
    double lo = 0, hi = 0;
    const int status = Range(CameraPropertyId::ExposureTime, &lo, &hi);
    if (status == 0) {
        *max = std::llround(hi);
        *min = std::llround(lo);
    }
    return status;
}

int CCameraManager::SetAnalogGain(double gain) { return Set(CameraPropertyId::Gain, One(gain)); }

int CCameraManager::GetAnalogGain(double* gain) {
    CameraPropertyValue v;
    const int status = Get(CameraPropertyId::Gain, &v);
    if (status == 0) *gain = v.v[0];
    return status;
}

int CCameraManager::GetAnalogGainRange(int* max, int* min) {
    double lo = 0, hi = 0;
    const int status = Range(CameraPropertyId::Gain, &lo, &hi);
    if (status == 0) {
        *max = static_cast<int>(hi);
        *min = static_cast<int>(lo);
    }
    return status;
}

int CCameraManager::SetRgbGains(int red, int green, int blue) {
    CameraPropertyValue v;
    v.v = {static_cast<double>(red), static_cast<double>(green), static_cast<double>(blue)};
    return Set(CameraPropertyId::WhiteBalance, v);
}

int CCameraManager::GetRgbGains(int* red, int* green, int* blue) {
    CameraPropertyValue v;
    const int status = Get(CameraPropertyId::WhiteBalance, &v);
    if (status == 0) {
        *red = static_cast<int>(v.v[0]);
        *green = static_cast<int>(v.v[1]);
        *blue = static_cast<int>(v.v[2]);
    }
    return status;
}

int CCameraManager::GetRgbGainRanges(int* min, int* max) {
    double lo = 0, hi = 0;
    const int status = Range(CameraPropertyId::WhiteBalance, &lo, &hi);
    if (status == 0) {
        *min = static_cast<int>(lo);
        *max = static_cast<int>(hi);
    }
    return status;
}

#define NS_INT_SETTING(Name, Id)                                                                          \
    int CCameraManager::Set##Name(int v) { return Set(CameraPropertyId::Id, One(v)); }                    \
    int CCameraManager::Get##Name(int* v) {                                                               \
        return IntOf([&](CameraPropertyValue* value) { return Get(CameraPropertyId::Id, value); }, v);   \
    }
NS_INT_SETTING(Gamma, Gamma)
NS_INT_SETTING(Saturation, Saturation)
NS_INT_SETTING(Contrast, Contrast)
NS_INT_SETTING(Hue, Hue)
NS_INT_SETTING(Brightness, Brightness)
NS_INT_SETTING(FrameSpeed, FrameSpeed)
NS_INT_SETTING(LightFrequency, Mains)
#undef NS_INT_SETTING

int CCameraManager::SetFlip(bool horizontal, int on) {
    return Set(horizontal ? CameraPropertyId::HFlip : CameraPropertyId::VFlip, One(on));
}

int CCameraManager::GetFlip(bool horizontal, int* on) {
    return IntOf(
        [&](CameraPropertyValue* v) { return Get(horizontal ? CameraPropertyId::HFlip : CameraPropertyId::VFlip, v); },
        on);
}

int CCameraManager::OneShotWhiteBalance() {
    return Route([](ICameraFamily& f) { return f.OneShotWhiteBalance(); });
}

int CCameraManager::SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) {
    return Route([&](ICameraFamily& f) { return f.SetWhiteBalanceCallback(callback, user); });
}

int CCameraManager::GetSharpen(int* enable, int* level) {
    CameraPropertyValue v;
    const int status = Get(CameraPropertyId::Sharpen, &v);
    if (status == 0) {
        *enable = static_cast<int>(v.v[0]);
        *level = static_cast<int>(v.v[1]);
    }
    return status;
}

int CCameraManager::SetSharpen(int enable, int level) {
    CameraPropertyValue v;
    v.v = {static_cast<double>(enable), static_cast<double>(level), 0};
    return Set(CameraPropertyId::Sharpen, v);
}

bool CCameraManager::SupportsAutoGain() {
    ICameraFamily* family = Open();
    return family && family->RegulatesGain();
}

int CCameraManager::GetPropertyRange(int id, double* min, double* max, double* current) {
    ICameraFamily* family = Open();
    return family ? family->PropertyRange(id, min, max, current) : 1;
}

int CCameraManager::GetVideoProperty(int id, double* value, int* automatic) {
    CameraPropertyValue v;
    const int status = GetProperty({CameraPropertyId::Video, id}, &v);
    if (status == 0) {
        *value = v.v[0];
        *automatic = v.automatic ? 1 : 0;
    }
    return status;
}

int CCameraManager::SetVideoProperty(int id, double value, int flag) {
    CameraPropertyValue v = One(value);
    v.automatic = flag != 0;
    return SetProperty({CameraPropertyId::Video, id}, v);
}
