#include "camera/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <thread>

// Every entry point looked up in every module; an absent one stays null.
// clang-format off
#define NS_MODULE_ENTRY_POINTS(X) \
    X(CameraGetMultiCameraNumber) X(CameraInit) X(CameraUnInit) X(CameraPlay) X(CameraStop)        \
    X(CameraSaveCurrentImage) X(CameraCaptureFile) X(CameraGetImageSize) X(CameraSetAeState)       \
    X(CameraGetAeState) X(CameraSetAWBState) X(CameraGetAWBState) X(CameraSetAeTarget)             \
    X(CameraGetAeTarget) X(CameraSetExposureTime) X(CameraGetExposureTime)                         \
    X(CameraGetMaxExposureTime) X(CameraSetAnalogGain) X(CameraGetAnalogGain) X(CameraSetGain)     \
    X(CameraGetGain) X(CameraSetGamma) X(CameraGetGamma) X(CameraSetColorEnhancement)              \
    X(CameraGetColorEnhancement) X(CameraSetSaturation) X(CameraGetSaturation)                     \
    X(CameraSetContrast) X(CameraGetContrast) X(CameraSetMirror) X(CameraGetMirror)                \
    X(CameraSetMonochrome) X(CameraGetMonochrome) X(CameraSetFrameSpeed) X(CameraGetFrameSpeed)    \
    X(CameraSetLightFrquency) X(CameraGetLightFrquency) X(CameraSaveParameter)                     \
    X(CameraReadParameter) X(CameraGetCurrentParameterTeam) X(CameraSetGpio) X(CameraReadGpio)     \
    X(CameraWriteGpio) X(CameraGetRowTime) X(CameraSetROI) X(CameraGetROI) X(CameraSetWBWindow)    \
    X(CameraSetDisplayWindow) X(CameraEnableDeadPixelCorrection) X(CameraSetB2RGBMode)             \
    X(CameraGetB2RGBMode) X(CameraLoadDefault) X(CameraSetVideoMessage) X(CameraISP)               \
    X(CameraDisplayRGB24) X(CameraCaptureToBuf) X(CameraInitDeadPixel) X(CameraSetSnycEnable)      \
    X(CameraGetSnycEnable) X(CameraSimSetStage) X(CameraSimMoveStage) X(CameraSimSetFocus)         \
    X(CameraSimSetFaults) X(CameraSimGetStage) X(CameraSimMoveStagePixels) X(CameraSimSetStageDrift)
// clang-format on

// ---------------------------------------------------------------------------------------------
// CAutoResetEvent

void CAutoResetEvent::Signal() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return;
        m_signalled = true;
    }
    m_cv.notify_one();
}

bool CAutoResetEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, timeout, [this] { return m_signalled || m_closed; });
    // A signal given before the close still counts: the frame was handed over.
    if (!m_signalled) return false;
    m_signalled = false;
    return true;
}

bool CAutoResetEvent::TryTake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool was = m_signalled;
    m_signalled = false;
    return was;
}

void CAutoResetEvent::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_cv.notify_all();
}

bool CAutoResetEvent::IsClosed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

// ---------------------------------------------------------------------------------------------
// Frame callbacks: one per module, since a module hands its callback nothing but the frame.

namespace {

constexpr int kStartResolution[CModuleLoader::kModules] = {0, 1, 1, 2};

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FCBitmapInfoHeader Header24(int width, int height) {
    FCBitmapInfoHeader h;
    h.biSize = sizeof(FCBitmapInfoHeader);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = kBiRgb;
    h.biSizeImage = static_cast<uint32_t>(static_cast<int64_t>(width) * height * 3);
    return h;
}

// The first frame opens the measurement window; each window of more than a second then
// gives the rate of the frames that arrived in it.
void CountFrame(ModuleState& s) {
    const int64_t now = NowMicros();
    std::lock_guard<std::mutex> lock(s.rateMutex);
    ++s.nFrames;
    if (s.tLast == 0) {
        s.tLast = now;
        s.nFrames = 0;
        return;
    }
    const int64_t elapsed = now - s.tLast;
    if (elapsed > 999999) {
        s.fFrameRate.store(static_cast<float>(static_cast<double>(s.nFrames) / elapsed * 1e6));
        s.tLast = now;
        s.nFrames = 0;
    }
}

void Deliver(ModuleState& s, uint8_t* frame, const FCBitmapInfoHeader& header) {
    const CameraFrameSink sink = s.pSink.load();
    if (sink) sink(0, frame, &header, s.pUser.load());
}

bool FrameSize(ModuleState& s, int* w, int* h) {
    *w = *h = 0;
    if (!s.CameraGetImageSize || s.CameraGetImageSize(w, h) != 0) return false;
    return *w > 0 && *h > 0;
}

template <int M>
int RawFrameCallback(uint8_t* raw) {
    ModuleState& s = theModules().State(M);
    if (!s.hModule || !s.CameraISP || !raw) return 1;
    uint8_t* frame = s.CameraISP(raw);
    if (!frame) return 1;
    int w, h;
    if (!FrameSize(s, &w, &h)) return 1;
    const FCBitmapInfoHeader header = Header24(w, h);
    CountFrame(s);
    Deliver(s, frame, header);
    return 1;
}

int FinishedFrameCallback(uint8_t* frame) {
    ModuleState& s = theModules().State(4);
    if (!s.hModule || !frame) return 1;
    int w, h;
    if (!FrameSize(s, &w, &h)) return 1;
    const FCBitmapInfoHeader header = Header24(w, h);
    {
        std::lock_guard<std::mutex> lock(s.captureMutex);
        if (s.bCaptureRequest && s.pCaptureTarget) {
            std::memcpy(s.pCaptureTarget, frame, header.biSizeImage);
            s.bCaptureRequest = false;
            s.pCaptureTarget = nullptr;
            if (s.hCaptureEvent) s.hCaptureEvent->Signal();
        }
    }
    CountFrame(s);
    Deliver(s, frame, header);
    return 1;
}

constexpr CameraFrameCallback kFrameCallback[CModuleLoader::kModules] = {
    &RawFrameCallback<1>, &RawFrameCallback<2>, &RawFrameCallback<3>, &FinishedFrameCallback};

std::string ProgramFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

void ClearEntryPoints(ModuleState& s) {
#define NS_CLEAR(name) s.name = nullptr;
    NS_MODULE_ENTRY_POINTS(NS_CLEAR)
#undef NS_CLEAR
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CModuleLoader

CModuleLoader& theModules() {
    static CModuleLoader loader;
    return loader;
}

CModuleLoader::~CModuleLoader() {
    FreeAll();
}

int CModuleLoader::LoadAll(const std::string& folder) {
    FreeAll();
    std::string dir = folder.empty() ? ProgramFolder() : folder;
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    int loaded = 0;
    for (int m = 1; m <= kModules; ++m) {
        ModuleState& s = m_state[m - 1];
        const std::string path = dir + "/" + kModuleFiles[m - 1];
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            dlerror();  // a missing module just leaves its model out
            continue;
        }
#define NS_LOOKUP(name) s.name = reinterpret_cast<decltype(s.name)>(dlsym(h, #name));
        NS_MODULE_ENTRY_POINTS(NS_LOOKUP)
#undef NS_LOOKUP
        s.hModule = h;
        ++loaded;
    }
    return loaded;
}

void CModuleLoader::FreeAll() {
    for (int m = kModules; m >= 1; --m) {
        ModuleState& s = m_state[m - 1];
        if (!s.hModule) continue;
        // Unloading under a running frame thread would pull its code away.
        if (s.bOpen.load()) {
            if (m == 4) CloseCaptureEvent();
            if (s.CameraStop) s.CameraStop();
            if (s.CameraUnInit) s.CameraUnInit();
            s.bOpen.store(false);
        }
        void* h = s.hModule;
        s.hModule = nullptr;
        ClearEntryPoints(s);
        s.pSink.store(nullptr);
        s.pUser.store(nullptr);
        s.fFrameRate.store(0.0f);
        dlclose(h);
    }
}

bool CModuleLoader::IsLoaded(int m) const {
    return Valid(m) && m_state[m - 1].hModule;
}

ModuleState& CModuleLoader::State(int m) {
    return Valid(m) ? m_state[m - 1] : m_none;
}

int CModuleLoader::DeviceCount(int m) {
    if (!IsLoaded(m)) return 0;
    ModuleState& s = m_state[m - 1];
    if (!s.CameraGetMultiCameraNumber) return 0;
    uint8_t count = 0, second = 0, third = 0;
    int rc;
    if (m == 4) {
        // Stored under the three-output type; called through the type it really has.
        const auto two = reinterpret_cast<PFN_CameraGetMultiCameraNumber2>(
            reinterpret_cast<void (*)()>(s.CameraGetMultiCameraNumber));
        rc = two(&count, &second);
    } else {
        rc = s.CameraGetMultiCameraNumber(&count, &second, &third);
    }
    return rc == 0 ? count : 0;
}

void CModuleLoader::CloseCaptureEvent() {
    ModuleState& s = m_state[3];
    std::lock_guard<std::mutex> lock(s.captureMutex);
    if (s.hCaptureEvent) s.hCaptureEvent->Close();
    s.hCaptureEvent.reset();
    // A waiting capture gives up; its buffer is no longer the module's to fill.
    s.bCaptureRequest = false;
    s.pCaptureTarget = nullptr;
}

int CModuleLoader::Module4Start(int resolutionNumber) {
    ModuleState& s = m_state[3];
    CloseCaptureEvent();
    {
        std::lock_guard<std::mutex> lock(s.captureMutex);
        s.hCaptureEvent = std::make_shared<CAutoResetEvent>();
    }
    if (s.CameraStop) s.CameraStop();
    if (s.CameraUnInit) s.CameraUnInit();
    if (!s.CameraInit) return -1;
    return s.CameraInit(kFrameCallback[3], resolutionNumber, nullptr,
                        static_cast<uint8_t>(s.nDevice.load() + 1), s.pUser.load());
}

int CModuleLoader::Open(int m, void* user, void* hwnd, int libraryIndex, CameraFrameSink sink) {
    if (!IsLoaded(m)) return -1;
    ModuleState& s = m_state[m - 1];
    if (m != 4 && s.bOpen.load()) {
        // Opening again replaces the camera that is open.
        if (s.CameraStop) s.CameraStop();
        if (s.CameraUnInit) s.CameraUnInit();
    }
    s.pUser.store(user);
    s.hWnd.store(hwnd);
    s.nDevice.store(libraryIndex);
    s.pSink.store(sink);
    s.fFrameRate.store(0.0f);
    {
        // A rate window must not span the time the camera was closed.
        std::lock_guard<std::mutex> lock(s.rateMutex);
        s.nFrames = 0;
        s.tLast = 0;
    }
    s.bOpen.store(true);
    if (m == 4) return Module4Start(kStartResolution[3]);
    if (!s.CameraInit) return -1;
    return s.CameraInit(kFrameCallback[m - 1], kStartResolution[m - 1], hwnd,
                        static_cast<uint8_t>(libraryIndex + 1), nullptr);
}

int CModuleLoader::Play(int m) {
    if (!IsLoaded(m) || !m_state[m - 1].CameraPlay) return -1;
    return m_state[m - 1].CameraPlay();
}

int CModuleLoader::Stop(int m) {
    if (!IsLoaded(m) || !m_state[m - 1].CameraStop) return -1;
    return m_state[m - 1].CameraStop();
}

int CModuleLoader::Close(int m) {
    if (!IsLoaded(m)) return -1;
    ModuleState& s = m_state[m - 1];
    if (m == 4) CloseCaptureEvent();
    s.bOpen.store(false);
    if (!s.CameraUnInit) return -1;
    return s.CameraUnInit();
}

int CModuleLoader::Restart(int m, int resolutionNumber) {
    if (!IsLoaded(m)) return -1;
    ModuleState& s = m_state[m - 1];
    int rc;
    if (m == 4) {
        rc = Module4Start(resolutionNumber);
    } else {
        if (s.CameraStop) s.CameraStop();
        if (s.CameraUnInit) s.CameraUnInit();
        if (!s.CameraInit) return -1;
        rc = s.CameraInit(kFrameCallback[m - 1], resolutionNumber, s.hWnd.load(),
                          static_cast<uint8_t>(s.nDevice.load() + 1), nullptr);
    }
    if (rc != 0) return rc;
    return s.CameraPlay ? s.CameraPlay() : -1;
}

int CModuleLoader::CaptureStill(int m, uint8_t* buffer, int resolutionNumber) {
    if (!IsLoaded(m) || m == 4 || !m_state[m - 1].CameraCaptureToBuf || !buffer) return -1;
    return m_state[m - 1].CameraCaptureToBuf(buffer, 1, resolutionNumber);
}

int CModuleLoader::CaptureHandOver(uint8_t* buffer, int timeoutMs) {
    if (!IsLoaded(4) || !buffer) return -1;
    ModuleState& s = m_state[3];
    std::lock_guard<std::mutex> one(s.captureCallMutex);
    std::shared_ptr<CAutoResetEvent> ev;
    {
        std::lock_guard<std::mutex> lock(s.captureMutex);
        if (!s.hCaptureEvent) return -1;  // no camera open
        ev = s.hCaptureEvent;
        s.pCaptureTarget = buffer;
        s.bCaptureRequest = true;
    }
    if (ev->Wait(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))) return 0;
    std::lock_guard<std::mutex> lock(s.captureMutex);
    if (s.bCaptureRequest && s.pCaptureTarget == buffer) {
        s.bCaptureRequest = false;
        s.pCaptureTarget = nullptr;
        return 1;
    }
    // Filled between the timeout and the lock (its signal is still pending), or withdrawn when
    // the event closed (then there is no signal).
    return ev->TryTake() ? 0 : 1;
}

int CModuleLoader::OneShotWhiteBalance(int m) {
    if (!IsLoaded(m)) return -1;
    ModuleState& s = m_state[m - 1];
    if (!s.CameraSetAWBState || !s.CameraGetGain) return -1;
    s.CameraSetAWBState(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    int r = 0, g = 0, b = 0;
    const int rc = s.CameraGetGain(&r, &g, &b);
    if (rc != 0) return rc;
    if (const CameraWhiteBalanceCallback cb = s.pWbCallback.load())
        cb(0, static_cast<double>(r), static_cast<double>(g), static_cast<double>(b),
           s.pWbUser.load());
    return 0;
}

int CModuleLoader::SetWhiteBalanceCallback(int m, CameraWhiteBalanceCallback cb, void* user) {
    if (!IsLoaded(m)) return -1;
    m_state[m - 1].pWbUser.store(user);
    m_state[m - 1].pWbCallback.store(cb);
    return 0;
}

float CModuleLoader::FrameRate(int m) {
    if (!IsLoaded(m)) return -1.0f;
    return m_state[m - 1].fFrameRate.load();
}
