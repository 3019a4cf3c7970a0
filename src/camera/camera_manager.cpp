#include "camera/camera_manager.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "camera/device_watch.h"
#include "camera/module_loader.h"
#include "camera/uvc/uvc_camera.h"

namespace {

const char16_t* const kModuleNames[4] = {u"MC-A", u"MC-B", u"MC-C", u"MC-D"};

void CopyName(char16_t (&dst)[260], const std::u16string& src) {
    std::fill(std::begin(dst), std::end(dst), u'\0');
    const size_t n = std::min<size_t>(src.size(), 259);
    std::copy_n(src.begin(), n, dst);
}

std::u16string NameOf(const CameraDeviceEntry& e) {
    size_t n = 0;
    while (n < 260 && e.name[n]) ++n;
    return std::u16string(e.name, n);
}

bool IsModuleKind(int kind) { return kind >= KindModule1 && kind <= KindModule4; }

}  // namespace

CCameraManager& theCameraManager() {
    static CCameraManager manager;
    return manager;
}

CCameraManager::CCameraManager() {
    // The libraries this manager calls must outlive it: objects made first are destroyed last.
    theModules();
    theUVCCamera();
}

CCameraManager::~CCameraManager() { Shutdown(); }

int CCameraManager::Startup(const std::string& folder) {
    Shutdown();
    m_bStarted = true;
    const int loaded = theModules().LoadAll(folder);
    m_maker.Load(folder);
    theUVCCamera().InitializeAPI();
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
    theModules().FreeAll();
    theUVCCamera().UnInitializeAPI();
    m_maker.Unload();
    m_nKind = -1;
}

// ---- Enumeration ----

int CCameraManager::EnumerateDevices(int* count) {
    std::vector<CameraDeviceEntry> list;
    auto append = [&](CameraDeviceEntry e) {
        if (static_cast<int>(list.size()) >= kMaxDevices) return;
        e.listIndex = static_cast<int32_t>(list.size());
        list.push_back(e);
    };
    for (int m = 1; m <= 4; ++m) {
        if (!theModules().IsLoaded(m)) continue;
        const int n = theModules().DeviceCount(m);
        for (int i = 0; i < n; ++i) {
            CameraDeviceEntry e;
            e.kind = m;
            e.libraryIndex = i;
            CopyName(e.name, kModuleNames[m - 1]);
            append(e);
        }
    }
    {
        std::vector<CameraInformation> records(kUvcRoom);
        int n = kUvcRoom;
        if (theUVCCamera().UVCCam_Get_DevList(records.data(), &n) == 0) {
            n = std::clamp(n, 0, kUvcRoom);
            for (int i = 0; i < n; ++i) {
                CameraDeviceEntry e;
                e.kind = KindUvc;
                e.libraryIndex = i;
                std::copy(std::begin(records[i].name), std::end(records[i].name), e.name);
                e.name[259] = u'\0';
                append(e);
            }
        }
    }
    if (m_maker.IsLoaded()) {
        std::vector<NRDeviceRecord> records(kMakerRoom);
        int n = kMakerRoom;
        if (m_maker.Call(m_maker.Fn().NRCamera_Get_DevList, records.data(), &n) == 0) {
            n = std::clamp(n, 0, kMakerRoom);
            for (int i = 0; i < n; ++i) {
                const NRDeviceRecord& r = records[i];
                CameraDeviceEntry e;
                e.kind = KindMaker;
                e.libraryIndex = i;
                e.modeFirst = r.modeFirst;
                e.modeSecond = r.modeSecond;
                // The name field need not be terminated: read no further than it reaches.
                const QString name = QString::fromUtf8(r.name, static_cast<qsizetype>(strnlen(r.name, sizeof(r.name))));
                std::u16string text = name.size() < 260 ? name.toStdU16String() : std::u16string();
                if (e.modeFirst == 1 && e.modeSecond == 0) text += u"(USB2.0 mode)";
                CopyName(e.name, text);
                append(e);
            }
        }
    }
    m_devices = std::move(list);
    if (count) *count = static_cast<int>(m_devices.size());
    return 0;
}

bool CCameraManager::SelectDevice(int i) {
    if (i < 0 || i >= static_cast<int>(m_devices.size())) return false;
    m_currentCamera = m_devices[i];
    m_nCurrentDevice = i;
    return true;
}

void CCameraManager::SwitchCamera(int i, ICameraSwitchHost& host) {
    int count = 0;
    EnumerateDevices(&count);
    if (count == 0 || i < 0 || i >= count) return;
    if (!host.HasLiveDocument()) {
        SelectDevice(i);
        host.OpenLiveDocument();
        return;
    }
    if (m_nPlayState == Stopped || i == m_nCurrentDevice) return;
    void* window = host.LiveVideoWindow();
    if (!window) return;
    host.LiveCameraClosing();
    Stop();
    CloseCamera();
    m_currentCamera = m_devices[i];
    OpenCamera(window, host.LiveFrameSink(), window);
    host.RebuildPane(m_currentCamera.kind);
    host.SetDocumentTitle(NameOf(m_currentCamera));
    int w = 0, h = 0;
    GetPreviewSize(&w, &h);
    host.SetFrameSize(w, h);
    if (m_nKind == KindUvc) {
        theUVCCamera().UVCSetPreviewSize(w, h);
    } else if (m_nKind == KindMaker) {
        m_maker.Call(m_maker.Fn().NRCamera_Set_Resolution, MakerIndex(), w, h);
    }
    Play();
    GetPreviewSize(&w, &h);
    host.ShowStatus(1, std::to_string(w) + " x " + std::to_string(h));
    m_nCurrentDevice = i;
}

// ---- Lifecycle ----

int CCameraManager::MakerIsp(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context) {
    auto* self = &theCameraManager();
    auto* ctx = static_cast<MakerContext*>(context);
    auto isp = self->m_maker.Fn().NRCameraISP;
    uint8_t* frame = isp ? isp(a, raw) : nullptr;
    if (frame && ctx && ctx->sink) ctx->sink(a, frame, header, ctx->user);
    return 1;
}

int CCameraManager::OpenCamera(void* hwnd, CameraFrameSink sink, void* user) {
    const int kind = m_currentCamera.kind;
    const int index = m_currentCamera.libraryIndex;
    int status = -1;
    if (kind == KindUvc) {
        status = theUVCCamera().UVCCamInit(sink, user, hwnd, m_currentCamera.name, index);
    } else if (IsModuleKind(kind)) {
        status = theModules().Open(kind, user, hwnd, index, sink);
    } else if (kind == KindMaker) {
        m_makerContext = MakerContext{sink, user, hwnd, index};
        status = m_maker.Call(m_maker.Fn().NRCamera_Init, &CCameraManager::MakerIsp,
                              static_cast<void*>(&m_makerContext), 0, hwnd, index);
    }
    m_nKind = kind;
    return status;
}

int CCameraManager::Play() {
    int status = -1;
    if (m_nKind == KindUvc) status = theUVCCamera().UVCCamPlay();
    else if (IsModule()) status = theModules().Play(m_nKind);
    else if (m_nKind == KindMaker) status = m_maker.Call(m_maker.Fn().NRCamera_Play, MakerIndex());
    m_nPlayState = Playing;
    return status;
}

int CCameraManager::Pause() {
    int status = 0;  // module cameras keep delivering frames
    if (m_nKind == KindUvc) status = theUVCCamera().UVCPause();
    else if (m_nKind == KindMaker) status = m_maker.Call(m_maker.Fn().NRCamera_Pause, MakerIndex());
    m_nPlayState = Paused;
    return status;
}

int CCameraManager::Stop() {
    int status = -1;
    if (m_nKind == KindUvc) status = theUVCCamera().UVCCamStop();
    else if (IsModule()) status = theModules().Stop(m_nKind);
    else if (m_nKind == KindMaker) status = m_maker.Call(m_maker.Fn().NRCamera_Stop, MakerIndex());
    m_nPlayState = Stopped;
    return status;
}

int CCameraManager::CloseCamera() {
    int status = -1;
    if (m_nKind == KindUvc) status = theUVCCamera().UVCCamUnit();
    else if (IsModule()) status = theModules().Close(m_nKind);
    else if (m_nKind == KindMaker) status = m_maker.Call(m_maker.Fn().NRCamera_UnInit, MakerIndex());
    m_nPlayState = Stopped;
    return status;
}

// ---- Capture ----

int CCameraManager::CaptureToBuffer(uint8_t* buffer, int stillIndex) {
    if (!buffer) return -1;
    switch (m_nKind) {
    case KindUvc:
        return theUVCCamera().CameraCaptureToBuf(buffer, 1, stillIndex);
    case KindModule1:
    case KindModule2:
    case KindModule3:
        return theModules().CaptureStill(m_nKind, buffer, ModuleResolutionNumber(m_nKind, stillIndex));
    case KindModule4: {
        // The hand-over copies a live frame: a caller sized for another still resolution would
        // be overrun (or left half filled), so such a request is refused.
        int row = -1;
        if (ModuleCurrentRow(&row) != 0 || row != stillIndex) return -1;
        return theModules().CaptureHandOver(buffer, CModuleLoader::kCaptureTimeoutMs);
    }
    case KindMaker:
        return m_maker.Call(m_maker.Fn().NRCamera_CaptureToBuf, MakerIndex(), buffer, stillIndex);
    default:
        return -1;
    }
}

int CCameraManager::LiveBitCount() const {
    if (m_nKind == KindMaker) return 32;
    if (m_nKind == KindUvc) return theUVCCamera().Camera_GetBitCount();
    return 24;
}

int CCameraManager::StillBitCount() const {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_GetBitCount();
    return 24;
}

// ---- Resolutions ----

const std::vector<std::pair<int, int>>& CCameraManager::ModuleResolutions(int kind) {
    static const std::vector<std::pair<int, int>> tables[5] = {
        {},
        {{320, 240}, {640, 480}, {1280, 1024}},
        {{640, 480}, {1024, 768}, {2048, 1536}},
        {{640, 480}, {1024, 768}, {1280, 960}, {2592, 1944}},
        {{640, 480}, {800, 600}, {1280, 960}, {1600, 1200}, {3488, 2616}},
    };
    return tables[IsModuleKind(kind) ? kind : 0];
}

int CCameraManager::ModuleResolutionNumber(int kind, int row) {
    const int size = static_cast<int>(ModuleResolutions(kind).size());
    if (row < 0 || row >= size) row = 0;
    return size - 1 - row;
}

template <class Fn, class... A>
int CCameraManager::ModuleCall(Fn ModuleState::*entry, A... args) {
    if (!IsModule() || !theModules().IsLoaded(m_nKind)) return -1;
    Fn fn = theModules().State(m_nKind).*entry;
    return fn ? fn(args...) : -1;
}

int CCameraManager::ModuleCurrentRow(int* row) {
    int w = 0, h = 0;
    if (ModuleCall(&ModuleState::CameraGetImageSize, &w, &h) != 0) return -1;
    const auto& table = ModuleResolutions(m_nKind);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == std::make_pair(w, h)) {
            *row = static_cast<int>(i);
            return 0;
        }
    }
    return -1;
}

int CCameraManager::GetPreviewSize(int* width, int* height) {
    if (m_nKind == KindUvc) return theUVCCamera().UVCGetPreviewSize(width, height);
    if (IsModule()) return ModuleCall(&ModuleState::CameraGetImageSize, width, height);
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Get_Resolution, MakerIndex(), width, height);
    return -1;
}

int CCameraManager::MakerCountWithoutRoi(int status, int* count) {
    int roi = 0;
    // The region-of-interest entry is not offered as a resolution.
    if (status == 0 && m_maker.Call(m_maker.Fn().NRCamera_IsSupportROI, MakerIndex(), &roi) == 0 && roi &&
        *count > 1)
        --*count;
    return status;
}

int CCameraManager::GetResolutionCount(int* count) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_ResolutionCount(count);
    if (IsModule()) {
        *count = static_cast<int>(ModuleResolutions(m_nKind).size());
        return 0;
    }
    if (m_nKind == KindMaker) {
        return MakerCountWithoutRoi(m_maker.Call(m_maker.Fn().NRCamera_Get_ResolutionCount, MakerIndex(), count),
                                    count);
    }
    return -1;
}

int CCameraManager::GetResolutionSize(int i, int* width, int* height) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_ResolutionSize(i, width, height);
    if (IsModule()) {
        const auto& table = ModuleResolutions(m_nKind);
        if (i >= 0 && i < static_cast<int>(table.size())) {
            *width = table[i].first;
            *height = table[i].second;
        }
        return 0;
    }
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Get_ResolutionSize, MakerIndex(), i, width, height);
    return -1;
}

int CCameraManager::GetResolutionIndex(int* i) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_ResolutionIndex(i);
    if (IsModule()) {
        ModuleCurrentRow(i);  // no match leaves i unchanged
        return 0;
    }
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_ResolutionIndex, MakerIndex(), i);
    return -1;
}

int CCameraManager::SetResolutionIndex(int i) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Set_ResolutionIndex(i);
    if (IsModule()) {
        const auto& table = ModuleResolutions(m_nKind);
        const auto wanted = table[(i >= 0 && i < static_cast<int>(table.size())) ? i : 0];
        int w = 0, h = 0;
        ModuleCall(&ModuleState::CameraGetImageSize, &w, &h);
        if (std::make_pair(w, h) == wanted) return 0;
        return theModules().Restart(m_nKind, ModuleResolutionNumber(m_nKind, i));
    }
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_ResolutionIndex, MakerIndex(), i);
    return -1;
}

int CCameraManager::GetStillResolutionCount(int* count) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_StillResolutionCount(count);
    if (IsModule()) {
        *count = static_cast<int>(ModuleResolutions(m_nKind).size());
        return 0;
    }
    if (m_nKind == KindMaker) {
        return MakerCountWithoutRoi(
            m_maker.Call(m_maker.Fn().NRCamera_Get_StillResolutionCount, MakerIndex(), count), count);
    }
    return -1;
}

int CCameraManager::GetStillResolutionSize(int i, int* width, int* height) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_StillResolutionSize(i, width, height);
    if (IsModule()) return GetResolutionSize(i, width, height);
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Get_StillResolutionSize, MakerIndex(), i, width, height);
    return -1;
}

int CCameraManager::GetStillResolutionIndex(int* i) {
    if (m_nKind == KindUvc) return theUVCCamera().Camera_Get_ResolutionIndex(i);
    if (m_nKind == KindModule4) return GetResolutionIndex(i);
    if (IsModule()) {
        *i = theModules().State(m_nKind).nStillIndex;
        return 0;
    }
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Get_StillResolutionIndex, MakerIndex(), i);
    return -1;
}

int CCameraManager::SetStillResolutionIndex(int i) {
    if (m_nKind == KindUvc) return 0;
    if (IsModule()) {
        theModules().State(m_nKind).nStillIndex = i;
        return 0;
    }
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Set_StillResolutionIndex, MakerIndex(), i);
    return -1;
}

int CCameraManager::GetMediaTypes(char16_t (*names)[16], int* count) {
    if (m_nKind == KindUvc) return theUVCCamera().Gamera_Get_MediaTypes(names, count);
    const char16_t* only = IsModule() ? u"RGB24" : m_nKind == KindMaker ? u"RGB32" : nullptr;
    if (!only) return -1;
    if (*count >= 1) {
        std::fill(std::begin(names[0]), std::end(names[0]), u'\0');
        std::copy_n(only, std::char_traits<char16_t>::length(only), names[0]);
    }
    *count = 1;
    return 0;
}

float CCameraManager::GetCaptureFrameRate() {
    float fps = -1.0f;
    if (m_nKind == KindUvc) theUVCCamera().Camera_Get_CaptureFrameRate(&fps);
    else if (IsModule()) fps = theModules().FrameRate(m_nKind);
    else if (m_nKind == KindMaker) m_maker.Call(m_maker.Fn().NRCamera_Get_CaptureFrameRate, MakerIndex(), &fps);
    return fps;
}

float CCameraManager::GetDisplayFrameRate() {
    float fps = -1.0f;
    if (m_nKind == KindUvc) theUVCCamera().Camera_Get_DisplayFrameRate(&fps);
    else if (IsModule()) fps = theModules().FrameRate(m_nKind);
    else if (m_nKind == KindMaker) m_maker.Call(m_maker.Fn().NRCamera_Get_DisplayFrameRate, MakerIndex(), &fps);
    return fps;
}

// ---- Settings ----
// UVC settings go through the property pages (Camera_Set_VideoProperty); here they do nothing.

int CCameraManager::SetAeState(int on) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_AeState, MakerIndex(), on);
    return ModuleCall(&ModuleState::CameraSetAeState, on);
}

int CCameraManager::GetAeState(int* on) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_AeState, MakerIndex(), on);
    return ModuleCall(&ModuleState::CameraGetAeState, on);
}

int CCameraManager::SetAeTarget(int target) {
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Set_AeTarget, MakerIndex(), target, 15);
    return ModuleCall(&ModuleState::CameraSetAeTarget, static_cast<uint8_t>(target));
}

int CCameraManager::GetAeTarget(int* target) {
    uint8_t v = 0;
    int status = -1;
    if (m_nKind == KindMaker) status = m_maker.Call(m_maker.Fn().NRCamera_Get_AeTarget, MakerIndex(), &v);
    else status = ModuleCall(&ModuleState::CameraGetAeTarget, &v);
    if (status == 0) *target = v;
    return status;
}

int CCameraManager::ModuleRowTime(uint32_t* rowTime) {
    return ModuleCall(&ModuleState::CameraGetRowTime, rowTime);
}

int CCameraManager::SetExposureTime(int64_t microseconds) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_ExpoTime, MakerIndex(), microseconds);
    if (!IsModule()) return -1;
    uint32_t rowTime = 0;
    // A module that reports no row time cannot convert: leave the exposure alone.
    if (ModuleRowTime(&rowTime) != 0 || rowTime == 0) return -1;
    const int64_t rows = std::clamp<int64_t>(microseconds / rowTime, 0, UINT32_MAX);
    return ModuleCall(&ModuleState::CameraSetExposureTime, static_cast<uint32_t>(rows));
}

int CCameraManager::GetExposureTime(int64_t* microseconds) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_ExpoTime, MakerIndex(), microseconds);
    uint32_t rows = 0, rowTime = 0;
    const int status = ModuleCall(&ModuleState::CameraGetExposureTime, &rows);
    if (status != 0 || ModuleRowTime(&rowTime) != 0) return -1;
    *microseconds = static_cast<int64_t>(rows) * rowTime;
    return 0;
}

int CCameraManager::GetExposureRange(int64_t* max, int64_t* min) {
    if (m_nKind == KindMaker) {
        NRCapability cap{};
        const int status = m_maker.Call(m_maker.Fn().NRCamera_Get_Capability, MakerIndex(), &cap);
        if (status == 0) {
            *max = cap.maxExposureUs;
            *min = cap.minExposureUs;
        }
        return status;
    }
    if (!IsModule()) return -1;
    uint16_t maxRows = 1000;
    uint32_t rowTime = 0;
    ModuleCall(&ModuleState::CameraGetMaxExposureTime, &maxRows);
    ModuleRowTime(&rowTime);
    *min = 1;
    *max = static_cast<int64_t>(maxRows) * rowTime;
    return 0;
}

int CCameraManager::SetAnalogGain(double gain) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_AnalogGain, MakerIndex(), gain);
    return ModuleCall(&ModuleState::CameraSetAnalogGain, static_cast<uint16_t>(static_cast<int64_t>(gain)));
}

int CCameraManager::GetAnalogGain(double* gain) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_AnalogGain, MakerIndex(), gain);
    uint16_t v = 0;
    const int status = ModuleCall(&ModuleState::CameraGetAnalogGain, &v);
    if (status == 0) *gain = v;
    return status;
}

int CCameraManager::GetAnalogGainRange(int* max, int* min) {
    if (m_nKind == KindMaker) {
        NRCapability cap{};
        const int status = m_maker.Call(m_maker.Fn().NRCamera_Get_Capability, MakerIndex(), &cap);
        if (status == 0) {
            *max = cap.maxAnalogGain;
            *min = cap.minAnalogGain;
        }
        return status;
    }
    if (!IsModule()) return -1;
    *max = 48;
    *min = 1;
    return 0;
}

int CCameraManager::SetRgbGains(int red, int green, int blue) {
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Set_Gain, MakerIndex(), red / 100.0, green / 100.0, blue / 100.0);
    return ModuleCall(&ModuleState::CameraSetGain, red, green, blue);
}

int CCameraManager::GetRgbGains(int* red, int* green, int* blue) {
    if (m_nKind == KindMaker) {
        double r = 0, g = 0, b = 0;
        const int status = m_maker.Call(m_maker.Fn().NRCamera_Get_Gain, MakerIndex(), &r, &g, &b);
        if (status == 0) {
            *red = static_cast<int>(r * 100);
            *green = static_cast<int>(g * 100);
            *blue = static_cast<int>(b * 100);
        }
        return status;
    }
    return ModuleCall(&ModuleState::CameraGetGain, red, green, blue);
}

int CCameraManager::GetRgbGainRanges(int* min, int* max) {
    if (m_nKind == KindMaker) {
        *min = 10;
        *max = 400;
        return 0;
    }
    if (!IsModule()) return -1;
    *min = 20;
    *max = 200;
    return 0;
}

namespace {
// A module setting read as a byte.
template <class Get>
int ReadByte(Get get, int* v) {
    uint8_t b = 0;
    const int status = get(&b);
    if (status == 0) *v = b;
    return status;
}
}  // namespace

int CCameraManager::SetGamma(int v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_Gamma, MakerIndex(), v);
    return ModuleCall(&ModuleState::CameraSetGamma, static_cast<uint8_t>(v));
}

int CCameraManager::GetGamma(int* v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_Gamma, MakerIndex(), v);
    return ReadByte([&](uint8_t* b) { return ModuleCall(&ModuleState::CameraGetGamma, b); }, v);
}

int CCameraManager::SetSaturation(int v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_Saturation, MakerIndex(), v);
    return ModuleCall(&ModuleState::CameraSetSaturation, static_cast<uint8_t>(v));
}

int CCameraManager::GetSaturation(int* v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_Saturation, MakerIndex(), v);
    return ReadByte([&](uint8_t* b) { return ModuleCall(&ModuleState::CameraGetSaturation, b); }, v);
}

int CCameraManager::SetContrast(int v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_Contrast, MakerIndex(), v);
    return ModuleCall(&ModuleState::CameraSetContrast, static_cast<uint8_t>(v));
}

int CCameraManager::GetContrast(int* v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_Contrast, MakerIndex(), v);
    return ReadByte([&](uint8_t* b) { return ModuleCall(&ModuleState::CameraGetContrast, b); }, v);
}

int CCameraManager::SetHue(int v) {
    return m_nKind == KindMaker ? m_maker.Call(m_maker.Fn().NRCamera_Set_Hue, MakerIndex(), v) : -1;
}

int CCameraManager::GetHue(int* v) {
    return m_nKind == KindMaker ? m_maker.Call(m_maker.Fn().NRCamera_Get_Hue, MakerIndex(), v) : -1;
}

int CCameraManager::SetBrightness(int v) {
    return m_nKind == KindMaker ? m_maker.Call(m_maker.Fn().NRCamera_Set_Brightness, MakerIndex(), v) : -1;
}

int CCameraManager::GetBrightness(int* v) {
    return m_nKind == KindMaker ? m_maker.Call(m_maker.Fn().NRCamera_Get_Brightness, MakerIndex(), v) : -1;
}

int CCameraManager::SetFlip(bool horizontal, int on) {
    if (m_nKind == KindMaker)
        return m_maker.Call(horizontal ? m_maker.Fn().NRCamera_Set_HFlip : m_maker.Fn().NRCamera_Set_VFlip,
                            MakerIndex(), on);
    return ModuleCall(&ModuleState::CameraSetMirror, horizontal ? 0 : 1, on);
}

int CCameraManager::GetFlip(bool horizontal, int* on) {
    if (m_nKind == KindMaker)
        return m_maker.Call(horizontal ? m_maker.Fn().NRCamera_Get_HFlip : m_maker.Fn().NRCamera_Get_VFlip,
                            MakerIndex(), on);
    return ModuleCall(&ModuleState::CameraGetMirror, horizontal ? 0 : 1, on);
}

int CCameraManager::SetFrameSpeed(int v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_FrameSpeed, MakerIndex(), v + 1);
    if (v != 0 && v != 1) return IsModule() ? 0 : -1;  // modules know only two speeds
    return ModuleCall(&ModuleState::CameraSetFrameSpeed, v);
}

int CCameraManager::GetFrameSpeed(int* v) {
    if (m_nKind == KindMaker) {
        const int status = m_maker.Call(m_maker.Fn().NRCamera_Get_FrameSpeed, MakerIndex(), v);
        if (status == 0) *v -= 1;
        return status;
    }
    return ReadByte([&](uint8_t* b) { return ModuleCall(&ModuleState::CameraGetFrameSpeed, b); }, v);
}

int CCameraManager::SetLightFrequency(int v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_LightFrequency, MakerIndex(), v);
    if (v != 0 && v != 1) return IsModule() ? 0 : -1;  // modules have no DC setting
    return ModuleCall(&ModuleState::CameraSetLightFrquency, v);
}

int CCameraManager::GetLightFrequency(int* v) {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Get_LightFrequency, MakerIndex(), v);
    return ModuleCall(&ModuleState::CameraGetLightFrquency, v);
}

int CCameraManager::OneShotWhiteBalance() {
    if (m_nKind == KindMaker) return m_maker.Call(m_maker.Fn().NRCamera_Set_OnceWB, MakerIndex(), 1);
    if (IsModule()) return theModules().OneShotWhiteBalance(m_nKind);
    return -1;
}

int CCameraManager::SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) {
    if (m_nKind == KindMaker)
        return m_maker.Call(m_maker.Fn().NRCamera_Set_WhiteBlanceCallback, MakerIndex(), callback, user);
    if (IsModule()) return theModules().SetWhiteBalanceCallback(m_nKind, callback, user);
    return -1;
}

int CCameraManager::GetSharpen(int* enable, int* level) {
    return m_nKind == KindMaker ? m_maker.Call(m_maker.Fn().NRCamera_Get_Sharpen, MakerIndex(), enable, level) : -1;
}

int CCameraManager::GetPropertyRange(int id, double* min, double* max, double* current) {
    if (m_nKind == KindUvc) {
        if (id == PropSharpness) {
            *min = 0;
            *max = 1;
            *current = 0;
            return 1;
        }
        return theUVCCamera().Camera_Get_VideoPropertyRane(id, min, max, current);
    }
    if (m_nKind != KindMaker && !IsModule()) return 1;
    const bool maker = m_nKind == KindMaker;
    auto range = [&](double lo, double hi) {
        *min = lo;
        *max = hi;
    };
    int v = 0;
    auto currentOf = [&](int status) {
        if (status == 0) *current = v;
    };
    switch (id) {
    case PropBrightness:
        maker ? range(-100, 100) : range(0, 0);
        if (maker) currentOf(GetBrightness(&v));
        else *current = 0;
        return 0;
    case PropContrast:
        maker ? range(0, 256) : range(20, 255);
        currentOf(GetContrast(&v));
        return 0;
    case PropHue:
        maker ? range(-180, 180) : range(0, 0);
        if (maker) currentOf(GetHue(&v));
        else *current = 0;
        return 0;
    case PropSaturation:
        maker ? range(0, 200) : range(20, 255);
        currentOf(GetSaturation(&v));
        return 0;
    case PropSharpness:
        if (maker) {
            range(30, 100);
            int enable = 0, level = 0;
            if (GetSharpen(&enable, &level) == 0) *current = level;
        } else {
            range(0, 0);
            *current = 0;
        }
        return 0;
    case PropGamma:
        maker ? range(1, 255) : range(20, 255);
        currentOf(GetGamma(&v));
        return 0;
    case PropGain: {
        int hi = 48, lo = 1;
        GetAnalogGainRange(&hi, &lo);
        range(lo, hi);
        double g = 0;
        if (GetAnalogGain(&g) == 0) *current = g;
        return 0;
    }
    case PropRedGain:
    case PropGreenGain:
    case PropBlueGain: {
        maker ? range(10, 400) : range(20, 200);
        int rgb[3] = {0, 0, 0};
        if (GetRgbGains(&rgb[0], &rgb[1], &rgb[2]) == 0) *current = rgb[id - PropRedGain];
        return 0;
    }
    case PropExposureTarget:
        range(1, 255);
        currentOf(GetAeTarget(&v));
        return 0;
    case PropExposure: {
        int64_t hi = 0, lo = 0, t = 0;
        GetExposureRange(&hi, &lo);
        range(static_cast<double>(lo), static_cast<double>(hi));
        if (GetExposureTime(&t) == 0) *current = static_cast<double>(t);
        return 0;
    }
    default:
        return 1;
    }
}
