#include "camera/sim/sim_camera.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

// The slide every simulated camera looks at, and how many of its tiles stay cached.
constexpr uint64_t kSlideSeed = 0x4E53534C49444531ull;
constexpr size_t kSlideCacheTiles = 384;
// While stalled, removed or dropping, the loop looks again this often at most.
constexpr double kMaxPollSeconds = 0.05;
// Automatic exposure: the largest step per frame, and how much of a step it takes (less than a
// full step, so clipped highlights or noise cannot make it overshoot and swing).
constexpr double kAeMaxStepUp = 8.0;
constexpr double kAeMaxStepDown = 1.0 / 8.0;
constexpr double kAeDamping = 0.85;
// One-shot white balance: the brightest share of the frame taken as background, the level
// above which a sensor value counts as clipped, and the width of the measurement frame.
constexpr double kWbBrightShare = 0.05;
constexpr int kWbClipLevel = 250;
constexpr int kWbMeasureWidth = 320;
constexpr int kWbMaxAttempts = 8;

uint64_t Mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Output level (0..255) of a linear value (0..1) through the tone part of the ISP.
double Tone(double linear, const SimSensorSettings& s) {
    const double g = std::pow(std::clamp(linear, 0.0, 1.0), 1.0 / s.gamma);
    return std::clamp(0.5 + (g - 0.5) * s.contrast + s.brightness, 0.0, 1.0) * 255.0;
}

// The linear value (0..1) the tone curve maps to an output level; levels at the ends are taken
// just inside, so a black or white frame still gives a finite step.
double Untone(double level, const SimSensorSettings& s) {
    const double v = std::clamp(level, 0.5, 254.5) / 255.0;
    const double g = (v - 0.5 - s.brightness) / std::max(s.contrast, 0.05) + 0.5;
    return std::pow(std::clamp(g, 1e-3, 1.0), s.gamma);
}

// Grid step that visits about 16k samples of a w x h frame.
int SampleStep(int w, int h) {
    return std::max(1, static_cast<int>(std::sqrt(static_cast<double>(w) * h / 16384.0)));
}

struct Quad {
    int r, g, b;
};

// R, G (mean of the two), B of 2x2 cells of an RGGB mosaic on a grid.
void Quads(const SimRawFrame& raw, int step, std::vector<Quad>* out) {
    out->clear();
    step = std::max(2, step & ~1);
    const int W = raw.width, H = raw.height;
    const uint8_t* p = raw.pixels.data();
    for (int y = 0; y + 1 < H; y += step)
        for (int x = 0; x + 1 < W; x += step) {
            const uint8_t* a = p + static_cast<size_t>(y) * W + x;
            const uint8_t* b = a + W;
            out->push_back({a[0], (a[1] + b[0] + 1) / 2, b[1]});
        }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CSimRateMeter

void CSimRateMeter::Add(double t) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_times.push_back(t);
    while (!m_times.empty() && m_times.front() < t - m_window) m_times.pop_front();
}

double CSimRateMeter::Rate(double now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto first = std::lower_bound(m_times.begin(), m_times.end(), now - m_window);
    const auto n = std::distance(first, m_times.end());
    if (n < 2) return 0;
    const double span = m_times.back() - *first;
    return span > 0 ? static_cast<double>(n - 1) / span : 0;
}

void CSimRateMeter::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_times.clear();
}

// ---------------------------------------------------------------------------------------------
// CSimCamera: construction and helpers

std::shared_ptr<CVirtualSpecimen> CSimCamera::SharedSpecimen() {
    static const auto specimen = std::make_shared<CVirtualSpecimen>(kSlideSeed, kSlideCacheTiles);
    return specimen;
}

SimStagePose CSimCamera::HomePosition(const std::string& modelName, int unit) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the name, then the unit
    for (unsigned char c : modelName) h = (h ^ c) * 0x100000001B3ull;
    h = Mix(h ^ static_cast<uint64_t>(static_cast<uint32_t>(unit)));
    const SpecimenRect r = CVirtualSpecimen::TissueRegion();
    const double margin = 4000;
    const double w = r.right - r.left - 2 * margin, hgt = r.bottom - r.top - 2 * margin;
    SimStagePose p;
    p.x = r.left + margin + w * static_cast<double>(h & 0xFFFFFFFF) / 4294967296.0;
    p.y = r.top + margin + hgt * static_cast<double>(h >> 32) / 4294967296.0;
    return p;
}

FCRect CSimCamera::CentredRoi(int sw, int sh, int w, int h) {
    if (sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return {};
    int rw = sw, rh = sh;
    if (static_cast<int64_t>(w) * sh > static_cast<int64_t>(h) * sw)
        rh = static_cast<int>(static_cast<int64_t>(sw) * h / w);
    else
        rw = static_cast<int>(static_cast<int64_t>(sh) * w / h);
    // Even offsets keep the colour filter's phase.
    const int left = ((sw - rw) / 2) & ~1, top = ((sh - rh) / 2) & ~1;
    return {left, top, left + rw, top + rh};
}

CSimCamera::CSimCamera(SimCameraModel model, int unit)
    : m_model(std::move(model)), m_unit(unit), m_epoch(Clock::now()), m_sensor(SharedSpecimen()) {
    SimSensorSettings s = m_model.defaults;
    s.sensorWidth = m_model.sensorWidth;
    s.sensorHeight = m_model.sensorHeight;
    s.unitsPerPixel = m_model.unitsPerPixel;
    const SimResolution first = m_model.resolutions.empty()
                                    ? SimResolution{m_model.sensorWidth, m_model.sensorHeight, {}}
                                    : m_model.resolutions.front();
    s.width = first.width;
    s.height = first.height;
    s.roi = first.roi;
    s.exposureUs = std::clamp(s.exposureUs, m_model.minExposureUs, m_model.maxExposureUs);
    s.analogGain = std::clamp(s.analogGain, 1.0, m_model.maxAnalogGain);
    if (!s.IsValid()) s = SimSensorSettings{};  // a broken model still gives a working camera
    m_settings = s;
    m_sensor.SetSettings(s);
    const SimStagePose home = HomePosition(m_model.name, unit);
    m_sensor.Stage().SetPosition(home.x, home.y, 0);
    m_ae = m_model.autoExposure;
    m_aeTarget = std::clamp(m_model.autoExposureTarget, 1, 255);
    m_autoGain = m_model.supportsAutoGain;
}

CSimCamera::~CSimCamera() {
    Stop();
    std::unique_lock<std::mutex> lk(m_stateMutex);
    m_cv.wait(lk, [&] { return m_winding == 0; });
}

double CSimCamera::Now() const {
    return std::chrono::duration<double>(Clock::now() - m_epoch).count();
}

// ---------------------------------------------------------------------------------------------
// Stream control

bool CSimCamera::Start(SimFrameFn frameFn) {
    std::unique_lock<std::mutex> lk(m_stateMutex);
    for (;;) {
        if (m_started || IsRemoved()) return false;
        if (m_winding > 0) {
            m_cv.wait(lk);
            continue;
        }
        if (m_thread.joinable()) {
            // A loop stopped from inside its own frame function: join it first.
            if (m_threadId == std::this_thread::get_id()) return false;
            std::thread old = std::move(m_thread);
            ++m_winding;
            lk.unlock();
            old.join();
            lk.lock();
            m_threadId = {};
            --m_winding;
            m_cv.notify_all();
            continue;
        }
        break;
    }
    m_frameFn = std::move(frameFn);
    m_started = true;
    m_paused = false;
    const uint64_t generation = ++m_generation;
    m_thread = std::thread(&CSimCamera::Loop, this, generation);
    m_threadId = m_thread.get_id();
    return true;
}

void CSimCamera::Stop() {
    std::thread frameThread, helper;
    {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        ++m_generation;
        m_started = false;
        m_paused = false;
        m_wbPending = false;
        m_wbDone = nullptr;
        m_cv.notify_all();
        const auto self = std::this_thread::get_id();
        if (m_thread.joinable() && m_threadId != self) {
            frameThread = std::move(m_thread);
            ++m_winding;
        }
        if (m_helper.joinable() && m_helperId != self) {
            helper = std::move(m_helper);
            ++m_winding;
        }
    }
    int joined = 0;
    std::thread::id frameId, helperId;
    if (frameThread.joinable()) frameId = frameThread.get_id(), frameThread.join(), ++joined;
    if (helper.joinable()) helperId = helper.get_id(), helper.join(), ++joined;
    if (joined) {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        // A finished thread's id may be handed to a new, unrelated thread.
        if (frameId != std::thread::id() && m_threadId == frameId) m_threadId = {};
        if (helperId != std::thread::id() && m_helperId == helperId) m_helperId = {};
        m_winding -= joined;
        m_cv.notify_all();
    }
}

void CSimCamera::Pause() {
    std::unique_lock<std::mutex> lk(m_stateMutex);
    m_paused = true;
    m_cv.notify_all();
    // A frame function already running finishes before Pause returns (unless this is it).
    if (m_threadId != std::this_thread::get_id()) m_cv.wait(lk, [&] { return !m_inCallback; });
}

void CSimCamera::Resume() {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    m_paused = false;
    m_cv.notify_all();
}

bool CSimCamera::IsStarted() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    return m_started;
}

bool CSimCamera::IsPaused() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    return m_started && m_paused;
}

bool CSimCamera::OnCallbackThread() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    const auto self = std::this_thread::get_id();
    return m_threadId == self || m_helperId == self;
}

void CSimCamera::Loop(uint64_t generation) {
    auto next = Clock::now();
    std::unique_lock<std::mutex> lk(m_stateMutex);
    const auto alive = [&] { return m_generation == generation; };
    while (alive()) {
        if (m_wbPending) {
            SimWhiteBalanceFn done = std::move(m_wbDone);
            m_wbDone = nullptr;
            m_wbPending = false;
            lk.unlock();
            WhiteBalanceNow(done);
            lk.lock();
            continue;
        }
        if (m_paused) {
            m_cv.wait(lk, [&] { return !alive() || !m_paused || m_wbPending; });
            next = Clock::now();
            continue;
        }
        if (Clock::now() < next) {
            m_cv.wait_until(lk, next, [&] { return !alive() || m_paused || m_wbPending; });
            continue;
        }
        lk.unlock();
        const double interval = StreamFrame(generation);
        lk.lock();
        next +=
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
        // Behind schedule (slow rendering): carry on from now rather than catch up in a burst.
        const auto now = Clock::now();
        if (next < now) next = now;
    }
}

double CSimCamera::StreamFrame(uint64_t generation) {
    const bool raw = m_model.form == SimFrameForm::Raw;
    SimSensorSettings s;
    double interval, t;
    uint64_t n;
    {
        std::lock_guard<std::mutex> rl(m_renderMutex);
        {
            std::lock_guard<std::mutex> l(m_mutex);
            s = m_settings;
        }
        m_sensor.SetSettings(s);
        interval = m_sensor.FrameIntervalSeconds();
        n = m_streamFrame;
        switch (m_sensor.FrameStatus(n)) {
            case SimFrameStatus::Stall:
            case SimFrameStatus::Removed:
                return std::min(interval, kMaxPollSeconds);
            case SimFrameStatus::Drop:
                ++m_streamFrame;
                return interval;
            case SimFrameStatus::Deliver:
                break;
        }
        t = Now();
        m_sensor.SetNextFrameIndex(n);
        const bool ok =
            raw ? m_sensor.RenderRaw(t, &m_raw)
                : m_sensor.Render(t, &m_image, m_model.form == SimFrameForm::Finished32 ? 32 : 24);
        ++m_streamFrame;
        if (!ok) return interval;
    }
    m_rate.Add(Now());
    AutoExpose(raw ? MeanLevel(m_raw, s) : MeanLevel(m_image));

    SimFrame frame;
    frame.index = n;
    frame.time = t;
    if (raw)
        frame.raw = &m_raw;
    else
        frame.image = &m_image;
    {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        if (m_generation != generation || m_paused || !m_frameFn) return interval;
        m_inCallback = true;
    }
    m_frameFn(frame);
    m_delivered.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        m_inCallback = false;
        m_cv.notify_all();
    }
    return interval;
}

// ---------------------------------------------------------------------------------------------
// Geometry and stills

bool CSimCamera::SetResolution(const SimResolution& r) {
    return ModifySettings([&](SimSensorSettings& s) {
        s.width = r.width;
        s.height = r.height;
        s.roi = r.roi;
    });
}

bool CSimCamera::SetResolution(int width, int height) {
    for (const SimResolution& r : m_model.resolutions)
        if (r.width == width && r.height == height) return SetResolution(r);
    return SetResolution(SimResolution{width, height, {}});
}

SimResolution CSimCamera::Resolution() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return {m_settings.width, m_settings.height, m_settings.roi};
}

bool CSimCamera::CaptureStill(const SimResolution& r, int bits, FCObjImage* out) {
    if (!out || (bits != 24 && bits != 32)) return false;
    std::lock_guard<std::mutex> rl(m_renderMutex);
    SimSensorSettings s = Settings();
    if (s.faults.removed) return false;
    s.width = r.width;
    s.height = r.height;
    s.roi = r.roi;
    s.faults = {};
    if (!m_sensor.SetSettings(s)) return false;
    // The still borrows a frame number and gives it back, so the stream's noise sequence and
    // fault schedule stay as they were.
    const uint64_t next = m_sensor.NextFrameIndex();
    const bool ok = m_sensor.Render(Now(), out, bits);
    m_sensor.SetNextFrameIndex(next);
    return ok;
}

bool CSimCamera::ProcessRaw(const SimRawFrame& raw, FCObjImage* out, int bits) {
    const SimSensorSettings s = Settings();
    std::lock_guard<std::mutex> l(m_ispMutex);
    return m_isp.Process(raw, s, out, bits);
}

// ---------------------------------------------------------------------------------------------
// Settings

SimSensorSettings CSimCamera::Settings() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_settings;
}

bool CSimCamera::Acceptable(const SimSensorSettings& s) const {
    return s.IsValid() && s.sensorWidth == m_settings.sensorWidth &&
           s.sensorHeight == m_settings.sensorHeight &&
           s.unitsPerPixel == m_settings.unitsPerPixel && s.exposureUs >= m_model.minExposureUs &&
           s.exposureUs <= m_model.maxExposureUs && s.analogGain >= 1.0 &&
           s.analogGain <= m_model.maxAnalogGain;
}

bool CSimCamera::ModifySettings(const std::function<void(SimSensorSettings&)>& change) {
    std::lock_guard<std::mutex> l(m_mutex);
    SimSensorSettings s = m_settings;
    change(s);
    if (!Acceptable(s)) return false;
    m_settings = s;
    return true;
}

SimSensorSettings CSimCamera::DefaultSettings() const {
    SimSensorSettings d = m_model.defaults;
    const SimSensorSettings cur = Settings();
    d.sensorWidth = cur.sensorWidth;
    d.sensorHeight = cur.sensorHeight;
    d.unitsPerPixel = cur.unitsPerPixel;
    d.width = cur.width;
    d.height = cur.height;
    d.roi = cur.roi;
    d.faults = cur.faults;
    d.exposureUs = std::clamp(d.exposureUs, m_model.minExposureUs, m_model.maxExposureUs);
    d.analogGain = std::clamp(d.analogGain, 1.0, m_model.maxAnalogGain);
    return d.IsValid() ? d : cur;
}

bool CSimCamera::SetFaults(const SimFaults& faults) {
    const bool ok = ModifySettings([&](SimSensorSettings& s) { s.faults = faults; });
    if (ok) {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        m_cv.notify_all();
    }
    return ok;
}

bool CSimCamera::IsRemoved() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_settings.faults.removed;
}

bool CSimCamera::SetStage(double x, double y) {
    return m_sensor.Stage().SetPosition(x, y, Now());
}

bool CSimCamera::MoveStage(double dx, double dy) {
    return m_sensor.Stage().MoveBy(dx, dy);
}

SimStageReading CSimCamera::ReadStage() const {
    const SimSensorSettings s = Settings();
    const SimStagePose pose = m_sensor.Stage().Pose(Now());
    const auto upp = CSimSensor::UnitsPerOutputPixel(s);
    return {pose.x, pose.y, pose.z, upp[0], upp[1]};
}

bool CSimCamera::MoveStageByPixels(double dx, double dy) {
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    const SimSensorSettings s = Settings();
    const auto upp = CSimSensor::UnitsPerOutputPixel(s);
    // The picture's column x shows the slide at field centre + x * upp (mirrored when flipped):
    // for the specimen to follow the hand the field centre moves the other way.
    return MoveStage((s.hFlip ? dx : -dx) * upp[0], (s.vFlip ? dy : -dy) * upp[1]);
}

bool CSimCamera::SetStageDrift(double amplitudeUnits) {
    // The field stays where it is now; only its wander from here on changes.
    const double t = Now();
    const SimStagePose here = m_sensor.Stage().Pose(t);
    return m_sensor.Stage().SetDrift(amplitudeUnits, 0, 600) && m_sensor.Stage().SetPosition(here.x, here.y, t);
}

bool CSimCamera::SetFocus(double zMicrons) {
    return m_sensor.Stage().SetFocus(zMicrons, Now());
}

double CSimCamera::CaptureFrameRate() const {
    return m_rate.Rate(Now());
}

uint64_t CSimCamera::FramesDelivered() const {
    return m_delivered.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Automatic exposure

void CSimCamera::SetAutoExposure(bool on) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_ae = on;
    m_aeCorrecting = false;
}

bool CSimCamera::AutoExposure() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_ae;
}

bool CSimCamera::SetAutoExposureTarget(int target, int tolerance) {
    if (target < 1 || target > 255 || tolerance < 0 || tolerance > 255) return false;
    std::lock_guard<std::mutex> l(m_mutex);
    m_aeTarget = target;
    m_aeTolerance = tolerance;
    return true;
}

int CSimCamera::AutoExposureTarget() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_aeTarget;
}

void CSimCamera::SetAutoGain(bool on) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_autoGain = on;
}

bool CSimCamera::AutoGain() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_autoGain && m_model.supportsAutoGain;
}

double CSimCamera::MeanLevel(const FCObjImage& image) {
    const int W = image.Width(), H = image.Height(), bpp = image.ColorBits() / 8;
    if (!image.IsValid() || bpp < 3) return 0;
    const int step = SampleStep(W, H);
    double sum = 0;
    int64_t n = 0;
    for (int y = step / 2; y < H; y += step) {
        const uint8_t* row = image.GetRow(y);
        int64_t rs = 0;
        for (int x = step / 2; x < W; x += step, ++n) {
            const uint8_t* p = row + static_cast<size_t>(bpp) * x;
            rs += 29 * p[0] + 150 * p[1] + 77 * p[2];  // Rec. 601 weights in 1/256
        }
        sum += static_cast<double>(rs);
    }
    return n ? sum / 256.0 / static_cast<double>(n) : 0;
}

double CSimCamera::MeanLevel(const SimRawFrame& raw, const SimSensorSettings& s) {
    if (raw.width < 2 || raw.height < 2 ||
        raw.pixels.size() != static_cast<size_t>(raw.width) * raw.height)
        return 0;
    // The ISP's tone curve per channel, white balance included (saturation and hue keep grey
    // levels, so luminance hardly depends on them).
    std::array<std::array<float, 256>, 3> lut;
    const double wb[3] = {s.wbRed, s.wbGreen, s.wbBlue};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) lut[c][v] = static_cast<float>(Tone(wb[c] * v / 255.0, s));
    std::vector<Quad> quads;
    Quads(raw, SampleStep(raw.width, raw.height), &quads);
    double sum = 0;
    for (const Quad& q : quads)
        sum += 0.299 * lut[0][q.r] + 0.587 * lut[1][q.g] + 0.114 * lut[2][q.b];
    return quads.empty() ? 0 : sum / static_cast<double>(quads.size());
}

void CSimCamera::AutoExpose(double level) {
    std::lock_guard<std::mutex> l(m_mutex);
    if (!m_ae) {
        m_aeCorrecting = false;
        return;
    }
    const double err = std::fabs(m_aeTarget - level);
    // Hysteresis: a deviation beyond the tolerance starts a correction, which runs until the
    // level is close; small noise never moves the exposure.
    if (!m_aeCorrecting && err <= m_aeTolerance) return;
    if (err <= std::max(1.0, m_aeTolerance / 4.0)) {
        m_aeCorrecting = false;
        return;
    }
    m_aeCorrecting = true;
    SimSensorSettings& s = m_settings;
    double ratio = Untone(m_aeTarget, s) / Untone(level, s);
    ratio = std::clamp(std::pow(ratio, kAeDamping), kAeMaxStepDown, kAeMaxStepUp);
    const double want = s.exposureUs * s.analogGain * ratio;
    const double minE = m_model.minExposureUs;
    const double maxE = std::max(minE, std::min(m_model.maxAutoExposureUs, m_model.maxExposureUs));
    if (m_autoGain && m_model.supportsAutoGain) {
        // Exposure first (no noise cost); gain only for what the longest exposure cannot give.
        s.exposureUs = std::clamp(want, minE, maxE);
        s.analogGain = std::clamp(want / s.exposureUs, 1.0, m_model.maxAnalogGain);
    } else {
        s.exposureUs = std::clamp(want / s.analogGain, minE, maxE);
    }
}

// ---------------------------------------------------------------------------------------------
// One-shot white balance

bool CSimCamera::RequestOneShotWhiteBalance(SimWhiteBalanceFn done) {
    if (IsRemoved()) return false;
    std::unique_lock<std::mutex> lk(m_stateMutex);
    m_wbDone = std::move(done);
    m_wbPending = true;
    m_cv.notify_all();
    // A running frame thread (playing, paused or stalled) takes it; otherwise a helper does.
    if (m_started || m_helperRunning) return true;
    if (m_helper.joinable()) {
        std::thread old = std::move(m_helper);  // finished: it cleared m_helperRunning
        ++m_winding;
        lk.unlock();
        old.join();
        lk.lock();
        if (!m_helperRunning) m_helperId = {};
        --m_winding;
        m_cv.notify_all();
        if (m_started || m_helperRunning || m_helper.joinable() || !m_wbPending) return true;
    }
    m_helperRunning = true;
    m_helper = std::thread(&CSimCamera::HelperMain, this);
    m_helperId = m_helper.get_id();
    return true;
}

void CSimCamera::HelperMain() {
    std::unique_lock<std::mutex> lk(m_stateMutex);
    while (m_wbPending) {
        SimWhiteBalanceFn done = std::move(m_wbDone);
        m_wbDone = nullptr;
        m_wbPending = false;
        lk.unlock();
        WhiteBalanceNow(done);
        lk.lock();
    }
    m_helperRunning = false;
    m_cv.notify_all();
}

bool CSimCamera::WhiteBalanceNow(const SimWhiteBalanceFn& done) {
    double meanR = 0, meanG = 0, meanB = 0;
    {
        std::lock_guard<std::mutex> rl(m_renderMutex);
        SimSensorSettings m = Settings();
        if (m.faults.removed) return false;
        // A small frame of the same field, exposed so the background is neither clipped nor dark:
        // the gains come from linear sensor values, before white balance and tone.
        m.faults = {};
        const int w = std::max(2, std::min(m.width, kWbMeasureWidth) & ~1);
        m.height = std::max(2, static_cast<int>(std::lround(1.0 * m.height * w / m.width)) & ~1);
        m.width = w;
        const uint64_t next = m_sensor.NextFrameIndex();
        std::vector<Quad> quads;
        for (int attempt = 0; attempt < kWbMaxAttempts; ++attempt) {
            if (!m_sensor.SetSettings(m) || !m_sensor.RenderRaw(Now(), &m_measureRaw)) break;
            Quads(m_measureRaw, 2, &quads);
            if (quads.empty()) break;
            // The brightest few percent by luminance sum are the background.
            std::array<int, 766> hist{};
            for (const Quad& q : quads) ++hist[q.r + q.g + q.b];
            const auto want = static_cast<int64_t>(std::ceil(kWbBrightShare * quads.size()));
            int threshold = 765;
            for (int64_t seen = 0; threshold > 0; --threshold)
                if ((seen += hist[threshold]) >= want) break;
            int64_t n = 0, clipped = 0;
            double sr = 0, sg = 0, sb = 0;
            int top = 0;
            for (const Quad& q : quads) {
                if (q.r + q.g + q.b < threshold) continue;
                top = std::max({top, q.r, q.g, q.b});
                if (std::max({q.r, q.g, q.b}) >= kWbClipLevel) {
                    ++clipped;
                    continue;
                }
                sr += q.r, sg += q.g, sb += q.b, ++n;
            }
            if (clipped * 2 > n + clipped && m.exposureUs > 2) {
                m.exposureUs /= 2;
                continue;
            }
            if (top < 64 && m.exposureUs < 1e7) {
                m.exposureUs *= std::min(8.0, 160.0 / std::max(top, 1));
                continue;
            }
            if (n) meanR = sr / n, meanG = sg / n, meanB = sb / n;
            break;
        }
        m_sensor.SetNextFrameIndex(next);
    }
    double r, g, b;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (meanR >= 1 && meanG >= 1 && meanB >= 1) {
            // Green is the reference: red and blue are scaled to match it.
            const double ref = m_settings.wbGreen;
            m_settings.wbRed =
                std::clamp(ref * meanG / meanR, m_model.minWbGain, m_model.maxWbGain);
            m_settings.wbBlue =
                std::clamp(ref * meanG / meanB, m_model.minWbGain, m_model.maxWbGain);
        }
        r = m_settings.wbRed, g = m_settings.wbGreen, b = m_settings.wbBlue;
    }
    if (done) done(r, g, b);
    return true;
}
