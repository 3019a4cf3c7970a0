#include "camera/maker/lib/maker_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camera/sim/sim_config.h"

namespace nrcam {
namespace {

ModelInfo MakeFiveMegapixel() {
    ModelInfo m;
    m.sim.name = "NS-5MP Color";
    m.sim.sensorWidth = 2592;
    m.sim.sensorHeight = 1944;
    m.sim.unitsPerPixel = 0.5;
    const FCRect roi = {896, 672, 896 + 800, 672 + 600};  // native pixels, centred
    m.sim.resolutions = {{2592, 1944, {}}, {1296, 972, {}}, {640, 480, {}}, {800, 600, roi}};
    m.stills = m.sim.resolutions;
    m.sim.form = SimFrameForm::Finished32;
    m.sim.defaults.exposureUs = 10000;
    m.sim.defaults.frameSpeed = 2;
    m.sim.minExposureUs = 50;
    m.sim.maxExposureUs = 2000000;
    m.sim.maxAnalogGain = 64;
    m.sim.supportsAutoGain = true;
    m.sim.minWbGain = 0.1;
    m.sim.maxWbGain = 4.0;
    m.roi = true;
    m.minGain = 1;
    m.maxGain = 64;
    return m;
}

ModelInfo MakeSxgaModel() {
    ModelInfo m;
    m.sim.name = "NS-1.3MP Color";
    m.sim.sensorWidth = 1280;
    m.sim.sensorHeight = 1024;
    m.sim.unitsPerPixel = 1.0;
    m.sim.resolutions = {{1280, 1024, {}}};
    m.stills = m.sim.resolutions;
    m.sim.form = SimFrameForm::Finished32;
    m.sim.defaults.exposureUs = 10000;
    m.sim.defaults.frameSpeed = 2;
    m.sim.minExposureUs = 50;
    m.sim.maxExposureUs = 2000000;
    m.sim.maxAnalogGain = 16;
    m.sim.supportsAutoGain = false;
    m.sim.minWbGain = 0.1;
    m.sim.maxWbGain = 4.0;
    m.roi = false;
    m.minGain = 1;
    m.maxGain = 16;
    return m;
}

const ModelInfo& FiveMegapixel() {
    static const ModelInfo m = MakeFiveMegapixel();
    return m;
}

const ModelInfo& Sxga() {
    static const ModelInfo m = MakeSxgaModel();
    return m;
}

}  // namespace

int DeviceCount() {
    return SimCameraCount("maker") + SimCameraCount("maker-usb2");
}

DeviceInfo Describe(int index) {
    DeviceInfo d;
    const int plain = SimCameraCount("maker"), usb2 = SimCameraCount("maker-usb2");
    if (index < 0 || index >= plain + usb2) return d;
    d.exists = true;
    char serial[32];
    if (index < plain) {
        const bool big = index % 2 == 0;
        d.model = big ? &FiveMegapixel() : &Sxga();
        d.modeFirst = big ? 1 : 0;
        d.modeSecond = big ? 1 : 0;
        std::snprintf(serial, sizeof serial, "%s-%04d", big ? "N5M" : "N13", index + 1);
    } else {
        d.usb2 = true;
        d.model = &FiveMegapixel();
        d.modeFirst = 1;
        d.modeSecond = 0;
        std::snprintf(serial, sizeof serial, "N5M-U-%04d", index - plain + 1);
    }
    d.serial = serial;
    return d;
}

// ---------------------------------------------------------------------------------------------

Device::Device(const DeviceInfo& info, int index, NRCameraIspCallback isp, void* context)
    : m_info(info),
      m_index(index),
      m_isp(isp),
      m_context(context),
      m_camera(info.model->sim, index) {
    // The sensor starts at the library's own defaults for the integer settings.
    m_camera.ModifySettings([&](SimSensorSettings& s) { Apply(m_ints, m_info.usb2, s); });
}

Device::~Device() {
    Close();
}

void Device::Close() {
    m_closed = true;
    m_camera.Stop();
}

int Device::Play() {
    if (m_closed) return -1;
    if (m_camera.IsStarted()) {
        m_camera.Resume();
    } else if (!m_camera.Start([this](const SimFrame& f) { OnFrame(f); })) {
        return -1;
    }
    // Closed meanwhile by another thread: it may have stopped before this start.
    if (m_closed && !m_camera.OnCallbackThread()) {
        m_camera.Stop();
        return -1;
    }
    return 0;
}

int Device::Pause() {
    if (!m_camera.IsStarted()) return -1;
    m_camera.Pause();
    return 0;
}

int Device::Stop() {
    m_camera.Stop();
    return 0;
}

void Device::OnFrame(const SimFrame& f) {
    FCObjImage* img = f.image;
    if (!img || !m_isp) return;
    m_header = FCBitmapInfoHeader{};
    m_header.biSize = sizeof(FCBitmapInfoHeader);
    m_header.biWidth = img->Width();
    m_header.biHeight = img->Height();
    m_header.biPlanes = 1;
    m_header.biBitCount = static_cast<uint16_t>(img->ColorBits());
    m_header.biCompression = kBiRgb;
    m_header.biSizeImage = static_cast<uint32_t>(img->PixelBytes());
    m_raw.magic = RawFrame::kMagic;
    m_raw.index = m_index;
    m_raw.frameNumber = f.index;
    m_raw.pixels = img->GetMemStart();
    m_raw.device = this;
    m_isp(m_index, reinterpret_cast<uint8_t*>(&m_raw), &m_header, m_context);
    // A raw pointer kept beyond the callback is refused from now on.
    m_raw.magic = 0;
    m_raw.pixels = nullptr;
}

uint8_t* Device::TakeFrame(RawFrame* raw) {
    m_display.Add(m_camera.Now());
    return raw->pixels;
}

float Device::DisplayFrameRate() const {
    return static_cast<float>(m_display.Rate(m_camera.Now()));
}

int Device::LiveIndex() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_live;
}

int Device::StillIndex() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_still;
}

bool Device::SetLiveIndex(int i) {
    const auto& list = Model().sim.resolutions;
    if (i < 0 || i >= static_cast<int>(list.size())) return false;
    std::lock_guard<std::mutex> l(m_mutex);
    if (!m_camera.SetResolution(list[i])) return false;
    m_live = i;
    return true;
}

bool Device::SetStillIndex(int i) {
    if (i < 0 || i >= static_cast<int>(Model().stills.size())) return false;
    std::lock_guard<std::mutex> l(m_mutex);
    m_still = i;
    return true;
}

Device::Ints Device::GetInts() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_ints;
}

bool Device::Apply(const Ints& v, bool usb2, SimSensorSettings& s) {
    auto in = [](int x, int lo, int hi) { return x >= lo && x <= hi; };
    if (!in(v.gamma, 1, 255) || !in(v.saturation, 0, 200) || !in(v.contrast, 0, 256) ||
        !in(v.hue, -180, 180) || !in(v.brightness, -100, 100) || !in(v.sharpenOn, 0, 1) ||
        !in(v.sharpenLevel, 30, 100) || !in(v.frameSpeed, 1, 3) || !in(v.lightFrequency, 0, 2))
        return false;
    s.gamma = std::max(0.05, v.gamma / 100.0);
    s.saturation = v.saturation / 100.0;
    s.contrast = v.contrast / 128.0;
    s.hueDegrees = v.hue;
    s.brightness = v.brightness / 200.0;
    s.sharpness = v.sharpenOn ? v.sharpenLevel / 100.0 : 0.0;
    // Sensor speeds run 0 fastest .. 3 slowest; a USB 2.0 link is one step slower.
    s.frameSpeed = std::clamp(3 - v.frameSpeed + (usb2 ? 1 : 0), 0, 3);
    static constexpr int kMains[3] = {50, 60, 0};
    s.mainsHz = kMains[v.lightFrequency];
    return true;
}

bool Device::SetInts(const Ints& v) {
    std::lock_guard<std::mutex> l(m_mutex);
    bool ok = true;
    const bool changed =
        m_camera.ModifySettings([&](SimSensorSettings& s) { ok = Apply(v, m_info.usb2, s); });
    if (!ok || !changed) return false;
    m_ints = v;
    return true;
}

void Device::SetWhiteBalanceCallback(CameraWhiteBalanceCallback cb, void* user) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_wbCallback = cb;
    m_wbUser = user;
}

bool Device::StartOnceWhiteBalance() {
    return m_camera.RequestOneShotWhiteBalance([this](double r, double g, double b) {
        CameraWhiteBalanceCallback cb;
        void* user;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            cb = m_wbCallback;
            user = m_wbUser;
        }
        if (cb) cb(0, r, g, b, user);
    });
}

}  // namespace nrcam
