#include "common/module_driver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/bmp_file.h"

namespace {

// The frame being delivered on this thread: CameraISP and CameraGetImageSize called from the
// frame callback refer to it, whatever the other threads change meanwhile.
struct InFlight {
    const CModuleDriver* driver = nullptr;
    CSimCamera* camera = nullptr;
    const SimRawFrame* raw = nullptr;
    int width = 0;
    int height = 0;
};
thread_local InFlight t_inFlight;

constexpr int kMinToneByte = 20;
constexpr int kMinWbPercent = 20;
constexpr int kMaxWbPercent = 200;
constexpr int kMaxGain = 48;
constexpr double kColourEnhancement = 1.3;  // saturation factor of colour enhancement
// A one-shot white balance renders a frame of its own; a reader of the gains waits for it.
constexpr auto kWhiteBalanceWait = std::chrono::seconds(5);

int Percent(double gain) {
    return static_cast<int>(std::lround(gain * 100.0));
}

}  // namespace

CModuleDriver::CModuleDriver(ModuleModel model) : m_model(std::move(model)) {}

CModuleDriver::~CModuleDriver() {
    // The cameras go first: their threads call back into this object.
    for (auto& u : m_units) {
        if (!u.camera) continue;
        StopCamera(u.camera.get());
        u.camera.reset();
    }
}

int CModuleDriver::AttachedCameras() const {
    return std::clamp(SimCameraCount(m_model.family), 0, kSimMaxCamerasPerFamily);
}

SimResolution CModuleDriver::ToSimResolution(int number) const {
    const ModuleResolution& r = m_model.resolutions[static_cast<size_t>(number)];
    SimResolution s;
    s.width = r.width;
    s.height = r.height;
    // Sizes of another aspect than the sensor's show its largest centred part.
    s.roi = CSimCamera::CentredRoi(m_model.sensorWidth, m_model.sensorHeight, r.width, r.height);
    return s;
}

SimCameraModel CModuleDriver::EngineModel() const {
    SimCameraModel e;
    e.name = m_model.name;
    e.sensorWidth = m_model.sensorWidth;
    e.sensorHeight = m_model.sensorHeight;
    e.unitsPerPixel = m_model.unitsPerPixel;
    for (size_t i = 0; i < m_model.resolutions.size(); ++i)
        e.resolutions.push_back(ToSimResolution(static_cast<int>(i)));
    e.form = m_model.raw ? SimFrameForm::Raw : SimFrameForm::Finished24;
    e.defaults.exposureUs = 10000;
    e.defaults.analogGain = 1;
    e.defaults.mainsHz = 50;
    // The sensor reads out at its fastest; the module paces frames by its row times.
    e.defaults.frameSpeed = 0;
    e.minExposureUs = 1;
    e.maxExposureUs = kMaxExposureUs;
    e.maxAutoExposureUs = 200000;
    e.maxAnalogGain = kMaxGain;
    e.supportsAutoGain = false;
    e.minWbGain = kMinWbPercent / 100.0;
    e.maxWbGain = kMaxWbPercent / 100.0;
    e.autoExposure = false;
    e.autoExposureTarget = 110;
    return e;
}

void CModuleDriver::ToneInto(const Registers& r, SimSensorSettings& s) {
    s.gamma = r.gamma / 100.0;
    s.contrast = r.contrast / 100.0;
    double sat = r.saturation / 100.0;
    if (r.colorEnhancement) sat *= kColourEnhancement;
    s.saturation = r.monochrome ? 0.0 : sat;
    s.mainsHz = r.lightFrequency ? 60 : 50;
}

uint32_t CModuleDriver::MaxExposureRows(uint32_t rowTimeUs) {
    return std::min<uint32_t>(0xFFFF, kMaxExposureUs / std::max<uint32_t>(rowTimeUs, 1));
}

std::optional<CModuleDriver::OpenView> CModuleDriver::View(bool usable) {
    OpenView v;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_open < 0) return std::nullopt;
        UnitState& u = m_units[static_cast<size_t>(m_open)];
        if (!u.camera) return std::nullopt;
        const ModuleResolution& r = m_model.resolutions[static_cast<size_t>(m_resolution)];
        v.unit = &u;
        v.camera = u.camera.get();
        v.regs = u.regs;
        v.rowTimeUs = r.rowTimeUs[static_cast<size_t>(u.regs.frameSpeed)];
        v.width = r.width;
        v.height = r.height;
    }
    if (usable && v.camera->IsRemoved()) return std::nullopt;
    return v;
}

bool CModuleDriver::OnFrameThread() {
    std::array<CSimCamera*, kSimMaxCamerasPerFamily> cams{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_units.size(); ++i) cams[i] = m_units[i].camera.get();
    }
    for (CSimCamera* c : cams)
        if (c && c->OnCallbackThread()) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Control

void CModuleDriver::StopCamera(CSimCamera* camera) {
    {
        std::lock_guard<std::mutex> lock(m_paceMutex);
        m_stopping = true;
    }
    m_paceCv.notify_all();
    camera->Stop();
    // Stopping drops a white balance that had not begun; one that had has finished by now.
    {
        std::lock_guard<std::mutex> lock(m_wbMutex);
        m_wbPending = false;
    }
    m_wbCv.notify_all();
}

int CModuleDriver::Init(CameraFrameCallback callback, int resolution, void* window, uint8_t device,
                        void* user) {
    if (OnFrameThread()) return -1;
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (resolution < 0 || resolution >= static_cast<int>(m_model.resolutions.size())) return -1;
    if (device < 1 || device > AttachedCameras()) return -1;
    // One open camera at a time: a new init replaces the open one.
    if (auto v = View(false)) {
        StopCamera(v->camera);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = -1;
        m_callback = nullptr;
    }
    const size_t unit = device - 1u;
    CSimCamera* cam;
    Registers regs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        UnitState& u = m_units[unit];
        if (!u.camera)
            u.camera = std::make_unique<CSimCamera>(EngineModel(), static_cast<int>(unit));
        cam = u.camera.get();
        regs = u.regs;
    }
    if (cam->IsRemoved() || !cam->SetResolution(ToSimResolution(resolution))) return -1;
    cam->ModifySettings([&](SimSensorSettings& s) { ToneInto(regs, s); });
    {
        // A new session has no current picture until its first frame.
        std::lock_guard<std::mutex> lock(m_lastMutex);
        m_lastRaw = {};
        m_lastImage.Release();
    }
    const ModuleResolution& r = m_model.resolutions[static_cast<size_t>(resolution)];
    std::lock_guard<std::mutex> lock(m_mutex);
    UnitState& u = m_units[unit];
    u.roi = {0, 0, r.width, r.height};
    u.wbWindow = u.roi;
    m_open = static_cast<int>(unit);
    m_resolution = resolution;
    m_callback = callback;
    m_window = window;
    m_user = user;
    return 0;
}

int CModuleDriver::UnInit() {
    if (OnFrameThread()) return -1;
    std::lock_guard<std::mutex> control(m_controlMutex);
    auto v = View(false);
    if (!v) return -1;
    StopCamera(v->camera);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = -1;
    m_callback = nullptr;
    m_window = nullptr;
    m_user = nullptr;
    return 0;
}

int CModuleDriver::Play() {
    if (OnFrameThread()) return -1;
    std::lock_guard<std::mutex> control(m_controlMutex);
    auto v = View();
    if (!v) return -1;
    if (v->camera->IsStarted()) return 0;
    {
        std::lock_guard<std::mutex> lock(m_paceMutex);
        m_stopping = false;
        m_lastWake = {};
    }
    CSimCamera* cam = v->camera;
    return cam->Start([this, cam](const SimFrame& f) { OnFrame(cam, f); }) ? 0 : -1;
}

int CModuleDriver::Stop() {
    if (OnFrameThread()) return -1;
    std::lock_guard<std::mutex> control(m_controlMutex);
    auto v = View(false);
    if (!v) return -1;
    StopCamera(v->camera);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Frames

void CModuleDriver::OnFrame(CSimCamera* camera, const SimFrame& f) {
    const auto entry = std::chrono::steady_clock::now();
    CameraFrameCallback cb;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        cb = m_callback;
    }
    InFlight flight{this, camera, nullptr, 0, 0};
    uint8_t* data = nullptr;
    if (f.raw && !f.raw->pixels.empty()) {
        flight.raw = f.raw;
        flight.width = f.raw->width;
        flight.height = f.raw->height;
        data = f.raw->pixels.data();
        std::lock_guard<std::mutex> lock(m_lastMutex);
        m_lastRaw = *f.raw;
    } else if (f.image && f.image->IsValid()) {
        flight.width = f.image->Width();
        flight.height = f.image->Height();
        data = f.image->GetMemStart();
        std::lock_guard<std::mutex> lock(m_lastMutex);
        m_lastImage = *f.image;
    }
    if (data && cb) {
        t_inFlight = flight;
        cb(data);
        t_inFlight = {};
    }
    Pace(camera, entry);
}

// A frame takes max(rows, exposure rows) x row time. The sensor renders at its own, faster
// pace; the rest of the frame time is waited out here, less what rendering the next frame
// took last time.
void CModuleDriver::Pace(CSimCamera* camera, std::chrono::steady_clock::time_point entry) {
    auto v = View(false);
    if (!v || v->camera != camera) return;
    const double exposureUs = camera->Settings().exposureUs;
    const double frameUs = std::max(static_cast<double>(v->height) * v->rowTimeUs, exposureUs);
    const auto frame = std::chrono::microseconds(static_cast<int64_t>(frameUs));
    std::unique_lock<std::mutex> lock(m_paceMutex);
    auto render = std::chrono::steady_clock::duration::zero();
    if (m_lastWake != std::chrono::steady_clock::time_point{})
        render = std::clamp<std::chrono::steady_clock::duration>(entry - m_lastWake, {}, frame);
    m_paceCv.wait_until(lock, entry + frame - render, [this] { return m_stopping; });
    m_lastWake = std::chrono::steady_clock::now();
}

int CModuleDriver::GetImageSize(int* width, int* height) {
    if (!width || !height) return -1;
    if (t_inFlight.driver == this) {
        *width = t_inFlight.width;
        *height = t_inFlight.height;
        return 0;
    }
    auto v = View();
    if (!v) return -1;
    *width = v->width;
    *height = v->height;
    return 0;
}

uint8_t* CModuleDriver::Isp(uint8_t* raw) {
    // Only the raw frame being delivered on this thread: its size is known, any other
    // pointer's is not.
    const InFlight& f = t_inFlight;
    if (!m_model.raw || !raw || f.driver != this || !f.raw || f.raw->pixels.data() != raw)
        return nullptr;
    if (!f.camera->ProcessRaw(*f.raw, &m_ispOut, 24)) return nullptr;
    return m_ispOut.GetMemStart();
}

bool CModuleDriver::StillImage(int resolution, FCObjImage* out) {
    if (resolution < 0 || resolution >= static_cast<int>(m_model.resolutions.size())) return false;
    auto v = View();
    if (!v) return false;
    return v->camera->CaptureStill(ToSimResolution(resolution), 24, out) && out->ColorBits() == 24;
}

int CModuleDriver::CaptureToBuf(uint8_t* buffer, int mode, int resolution) {
    if (!buffer || mode != 1) return -1;
    FCObjImage still;
    if (!StillImage(resolution, &still)) return -1;
    // Packed rows, bottom-up, as the caller sized them.
    const size_t row = static_cast<size_t>(still.Width()) * 3;
    const uint8_t* src = still.GetMemStart();
    for (int y = 0; y < still.Height(); ++y)
        std::memcpy(buffer + row * static_cast<size_t>(y),
                    src + static_cast<size_t>(still.RowStride()) * static_cast<size_t>(y), row);
    return 0;
}

int CModuleDriver::CaptureFile(const char* path, int resolution) {
    if (!path || !*path) return -1;
    FCObjImage still;
    if (!StillImage(resolution, &still)) return -1;
    return WriteBmp24(path, still) ? 0 : -1;
}

int CModuleDriver::SaveCurrentImage(const char* path) {
    if (!path || !*path) return -1;
    auto v = View();
    if (!v) return -1;
    FCObjImage image;
    if (m_model.raw) {
        SimRawFrame raw;
        {
            std::lock_guard<std::mutex> lock(m_lastMutex);
            raw = m_lastRaw;
        }
        if (raw.pixels.empty() || !v->camera->ProcessRaw(raw, &image, 24)) return -1;
    } else {
        std::lock_guard<std::mutex> lock(m_lastMutex);
        if (!m_lastImage.IsValid()) return -1;
        image = m_lastImage;
    }
    return WriteBmp24(path, image) ? 0 : -1;
}

// There is no window system to draw on: a frame handed in is accepted when a camera is open.
int CModuleDriver::DisplayRGB24(uint8_t* frame) {
    if (!frame || !View()) return -1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Exposure

int CModuleDriver::SetAeState(int on) {
    if (on != 0 && on != 1) return -1;
    auto v = View();
    if (!v) return -1;
    v->camera->SetAutoExposure(on == 1);
    return 0;
}

int CModuleDriver::GetAeState(int* on) {
    auto v = View();
    if (!on || !v) return -1;
    *on = v->camera->AutoExposure() ? 1 : 0;
    return 0;
}

int CModuleDriver::SetAeTarget(uint8_t target) {
    auto v = View();
    if (!v || target < 1) return -1;
    return v->camera->SetAutoExposureTarget(target) ? 0 : -1;
}

int CModuleDriver::GetAeTarget(uint8_t* target) {
    auto v = View();
    if (!target || !v) return -1;
    *target = static_cast<uint8_t>(std::clamp(v->camera->AutoExposureTarget(), 1, 255));
    return 0;
}

int CModuleDriver::SetExposureTime(uint32_t rows) {
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    rows = std::clamp<uint32_t>(rows, 1, MaxExposureRows(v->rowTimeUs));
    const double us = static_cast<double>(rows) * v->rowTimeUs;
    return v->camera->ModifySettings([&](SimSensorSettings& s) { s.exposureUs = us; }) ? 0 : -1;
}

int CModuleDriver::GetExposureTime(uint32_t* rows) {
    auto v = View();
    if (!rows || !v) return -1;
    const double us = v->camera->Settings().exposureUs;
    *rows = static_cast<uint32_t>(std::max<long>(1, std::lround(us / v->rowTimeUs)));
    return 0;
}

int CModuleDriver::GetMaxExposureTime(uint16_t* rows) {
    auto v = View();
    if (!rows || !v) return -1;
    *rows = static_cast<uint16_t>(MaxExposureRows(v->rowTimeUs));
    return 0;
}

int CModuleDriver::GetRowTime(uint32_t* microseconds) {
    auto v = View();
    if (!microseconds || !v) return -1;
    *microseconds = v->rowTimeUs;
    return 0;
}

int CModuleDriver::SetAnalogGain(uint16_t gain) {
    if (gain < 1 || gain > kMaxGain) return -1;
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    return v->camera->ModifySettings([&](SimSensorSettings& s) { s.analogGain = gain; }) ? 0 : -1;
}

int CModuleDriver::GetAnalogGain(uint16_t* gain) {
    auto v = View();
    if (!gain || !v) return -1;
    *gain = static_cast<uint16_t>(std::lround(v->camera->Settings().analogGain));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Colour

int CModuleDriver::SetAwbState(int on) {
    if (on != 0 && on != 1) return -1;
    auto v = View();
    if (!v) return -1;
    if (on == 0) return 0;  // a one-shot balance ends by itself
    {
        std::lock_guard<std::mutex> lock(m_wbMutex);
        m_wbPending = true;
    }
    const bool started = v->camera->RequestOneShotWhiteBalance([this](double, double, double) {
        {
            std::lock_guard<std::mutex> lock(m_wbMutex);
            m_wbPending = false;
        }
        m_wbCv.notify_all();
    });
    if (!started) {
        std::lock_guard<std::mutex> lock(m_wbMutex);
        m_wbPending = false;
        return -1;
    }
    return 0;
}

int CModuleDriver::GetAwbState(int* on) {
    if (!on || !View()) return -1;
    std::lock_guard<std::mutex> lock(m_wbMutex);
    *on = m_wbPending ? 1 : 0;
    return 0;
}

int CModuleDriver::SetGain(int red, int green, int blue) {
    for (int g : {red, green, blue})
        if (g < kMinWbPercent || g > kMaxWbPercent) return -1;
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    return v->camera->ModifySettings([&](SimSensorSettings& s) {
        s.wbRed = red / 100.0;
        s.wbGreen = green / 100.0;
        s.wbBlue = blue / 100.0;
    })
               ? 0
               : -1;
}

int CModuleDriver::GetGain(int* red, int* green, int* blue) {
    if (!red || !green || !blue) return -1;
    auto v = View();
    if (!v) return -1;
    // The gains a running one-shot balance is about to set are the ones asked for.
    if (!OnFrameThread()) {
        std::unique_lock<std::mutex> lock(m_wbMutex);
        m_wbCv.wait_for(lock, kWhiteBalanceWait, [this] { return !m_wbPending; });
    }
    const SimSensorSettings s = v->camera->Settings();
    *red = Percent(s.wbRed);
    *green = Percent(s.wbGreen);
    *blue = Percent(s.wbBlue);
    return 0;
}

int CModuleDriver::ChangeRegisters(const std::function<bool(Registers&)>& change) {
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    Registers r = v->regs;
    if (!change(r)) return -1;
    if (!v->camera->ModifySettings([&](SimSensorSettings& s) { ToneInto(r, s); })) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->regs = r;
    return 0;
}

int CModuleDriver::ReadRegisters(Registers* out) {
    auto v = View();
    if (!v) return -1;
    *out = v->regs;
    return 0;
}

int CModuleDriver::SetGamma(uint8_t v) {
    if (v < kMinToneByte) return -1;
    return ChangeRegisters([v](Registers& r) { return r.gamma = v, true; });
}

int CModuleDriver::GetGamma(uint8_t* v) {
    Registers r;
    if (!v || ReadRegisters(&r) != 0) return -1;
    *v = r.gamma;
    return 0;
}

int CModuleDriver::SetContrast(uint8_t v) {
    if (v < kMinToneByte) return -1;
    return ChangeRegisters([v](Registers& r) { return r.contrast = v, true; });
}

int CModuleDriver::GetContrast(uint8_t* v) {
    Registers r;
    if (!v || ReadRegisters(&r) != 0) return -1;
    *v = r.contrast;
    return 0;
}

int CModuleDriver::SetSaturation(uint8_t v) {
    if (v < kMinToneByte) return -1;
    return ChangeRegisters([v](Registers& r) { return r.saturation = v, true; });
}

int CModuleDriver::GetSaturation(uint8_t* v) {
    Registers r;
    if (!v || ReadRegisters(&r) != 0) return -1;
    *v = r.saturation;
    return 0;
}

int CModuleDriver::SetColorEnhancement(int on) {
    if (on != 0 && on != 1) return -1;
    return ChangeRegisters([on](Registers& r) { return r.colorEnhancement = on, true; });
}

int CModuleDriver::GetColorEnhancement(int* on) {
    Registers r;
    if (!on || ReadRegisters(&r) != 0) return -1;
    *on = r.colorEnhancement;
    return 0;
}

int CModuleDriver::SetMonochrome(int on) {
    if (on != 0 && on != 1) return -1;
    return ChangeRegisters([on](Registers& r) { return r.monochrome = on, true; });
}

int CModuleDriver::GetMonochrome(int* on) {
    Registers r;
    if (!on || ReadRegisters(&r) != 0) return -1;
    *on = r.monochrome;
    return 0;
}

int CModuleDriver::SetWBWindow(int x, int y, int width, int height) {
    return SetRect(&UnitState::wbWindow, x, y, width, height, true);
}

// ---------------------------------------------------------------------------------------------
// Geometry, speed, light

int CModuleDriver::SetMirror(int direction, int on) {
    if (direction != 0 && direction != 1) return -1;
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    return v->camera->ModifySettings(
               [&](SimSensorSettings& s) { (direction == 0 ? s.hFlip : s.vFlip) = on != 0; })
               ? 0
               : -1;
}

int CModuleDriver::GetMirror(int direction, int* on) {
    if (!on || (direction != 0 && direction != 1)) return -1;
    auto v = View();
    if (!v) return -1;
    const SimSensorSettings s = v->camera->Settings();
    *on = (direction == 0 ? s.hFlip : s.vFlip) ? 1 : 0;
    return 0;
}

int CModuleDriver::SetFrameSpeed(int speed) {
    if (speed != 0 && speed != 1) return -1;
    return ChangeRegisters([speed](Registers& r) { return r.frameSpeed = speed, true; });
}

int CModuleDriver::GetFrameSpeed(uint8_t* speed) {
    Registers r;
    if (!speed || ReadRegisters(&r) != 0) return -1;
    *speed = static_cast<uint8_t>(r.frameSpeed);
    return 0;
}

int CModuleDriver::SetLightFrequency(int value) {
    if (value != 0 && value != 1) return -1;
    return ChangeRegisters([value](Registers& r) { return r.lightFrequency = value, true; });
}

int CModuleDriver::GetLightFrequency(int* value) {
    Registers r;
    if (!value || ReadRegisters(&r) != 0) return -1;
    *value = r.lightFrequency;
    return 0;
}

int CModuleDriver::SetRect(Rect UnitState::*field, int x, int y, int width, int height,
                           bool inFrame) {
    auto v = View();
    if (!v || width < 0 || height < 0) return -1;
    if (inFrame && (x < 0 || y < 0 || width < 1 || height < 1 || width > v->width - x ||
                    height > v->height - y))
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->*field = {x, y, width, height};
    return 0;
}

int CModuleDriver::SetRoi(int x, int y, int width, int height) {
    return SetRect(&UnitState::roi, x, y, width, height, true);
}

int CModuleDriver::GetRoi(int* x, int* y, int* width, int* height) {
    if (!x || !y || !width || !height) return -1;
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    const Rect r = v->unit->roi;
    *x = r.x;
    *y = r.y;
    *width = r.width;
    *height = r.height;
    return 0;
}

int CModuleDriver::SetDisplayWindow(int x, int y, int width, int height) {
    return SetRect(&UnitState::displayWindow, x, y, width, height, false);
}

// ---------------------------------------------------------------------------------------------
// Parameters and housekeeping

bool CModuleDriver::ApplyParameters(const OpenView& v, const Parameters& p) {
    const bool ok = v.camera->ModifySettings([&](SimSensorSettings& s) {
        s.exposureUs = p.sensor.exposureUs;
        s.analogGain = p.sensor.analogGain;
        s.wbRed = p.sensor.wbRed;
        s.wbGreen = p.sensor.wbGreen;
        s.wbBlue = p.sensor.wbBlue;
        s.hFlip = p.sensor.hFlip;
        s.vFlip = p.sensor.vFlip;
        ToneInto(p.regs, s);
    });
    if (!ok) return false;
    v.camera->SetAutoExposure(p.ae);
    v.camera->SetAutoExposureTarget(p.aeTarget);
    std::lock_guard<std::mutex> lock(m_mutex);
    v.unit->regs = p.regs;
    return true;
}

int CModuleDriver::SaveParameter(int team) {
    if (team < 0 || team >= kParameterTeams) return -1;
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    Parameters p;
    p.sensor = v->camera->Settings();
    p.ae = v->camera->AutoExposure();
    p.aeTarget = v->camera->AutoExposureTarget();
    p.regs = v->regs;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->teams[static_cast<size_t>(team)] = p;
    v->unit->currentTeam = team;
    return 0;
}

int CModuleDriver::ReadParameter(int team) {
    if (team < 0 || team >= kParameterTeams) return -1;
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    std::optional<Parameters> p;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        p = v->unit->teams[static_cast<size_t>(team)];
    }
    if (!p || !ApplyParameters(*v, *p)) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->currentTeam = team;
    return 0;
}

int CModuleDriver::GetCurrentParameterTeam(int* team) {
    auto v = View();
    if (!team || !v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    *team = v->unit->currentTeam;
    return 0;
}

int CModuleDriver::LoadDefault() {
    std::lock_guard<std::mutex> settings(m_settingsMutex);
    auto v = View();
    if (!v) return -1;
    Parameters p;
    p.sensor = v->camera->DefaultSettings();
    p.ae = v->camera->Model().autoExposure;
    p.aeTarget = v->camera->Model().autoExposureTarget;
    return ApplyParameters(*v, p) ? 0 : -1;
}

int CModuleDriver::SetGpio(uint8_t outputMask) {
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->gpioOutputs = outputMask;
    return 0;
}

// Outputs read back what was written; inputs have pull-ups and nothing drives them.
int CModuleDriver::ReadGpio(uint8_t* levels) {
    auto v = View();
    if (!levels || !v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint8_t out = v->unit->gpioOutputs;
    *levels = static_cast<uint8_t>((v->unit->gpioLevels & out) | static_cast<uint8_t>(~out));
    return 0;
}

int CModuleDriver::WriteGpio(uint8_t levels) {
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->gpioLevels = levels;
    return 0;
}

// The simulated sensor has no defective pixels: the map it finds is empty.
int CModuleDriver::InitDeadPixel() {
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->deadPixelMapReady = true;
    return 0;
}

int CModuleDriver::SetVideoMessage(void* window, uint32_t message) {
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->messageWindow = window;
    v->unit->message = message;
    return 0;
}

int CModuleDriver::SetFlag(int UnitState::*field, int value, int maxValue) {
    if (value < 0 || value > maxValue) return -1;
    auto v = View();
    if (!v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    v->unit->*field = value;
    return 0;
}

int CModuleDriver::GetFlag(int UnitState::*field, int* value) {
    auto v = View();
    if (!value || !v) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    *value = v->unit->*field;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Simulation

int CModuleDriver::SimSetStage(double x, double y) {
    auto v = View(false);
    return v && v->camera->SetStage(x, y) ? 0 : -1;
}

int CModuleDriver::SimMoveStage(double dx, double dy) {
    auto v = View(false);
    return v && v->camera->MoveStage(dx, dy) ? 0 : -1;
}

int CModuleDriver::SimSetFocus(double zMicrons) {
    auto v = View(false);
    return v && v->camera->SetFocus(zMicrons) ? 0 : -1;
}

int CModuleDriver::SimGetStage(double* x, double* y, double* unitsPerPixelX, double* unitsPerPixelY) {
    auto v = View(false);
    if (!v || !x || !y || !unitsPerPixelX || !unitsPerPixelY) return -1;
    const SimStageReading r = v->camera->ReadStage();
    *x = r.x;
    *y = r.y;
    *unitsPerPixelX = r.unitsPerPixelX;
    *unitsPerPixelY = r.unitsPerPixelY;
    return 0;
}

int CModuleDriver::SimMoveStagePixels(double dx, double dy) {
    auto v = View(false);
    return v && v->camera->MoveStageByPixels(dx, dy) ? 0 : -1;
}

int CModuleDriver::SimSetStageDrift(double amplitude) {
    auto v = View(false);
    return v && v->camera->SetStageDrift(amplitude) ? 0 : -1;
}

int CModuleDriver::SimSetFaults(int dropEvery, int64_t stallAfter, int removed) {
    auto v = View(false);
    if (!v) return -1;
    SimFaults f;
    f.dropEvery = dropEvery;
    f.stallAfter = stallAfter;
    f.removed = removed != 0;
    return v->camera->SetFaults(f) ? 0 : -1;
}
