// CSimCamera, the simulated camera engine under the maker library and the driver modules: pacing,
// stop and pause from every side, automatic exposure, one-shot white balance, resolution
// changes, stills and fault switches.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/sim/sim_camera.h"
#include "camera/sim/sim_config.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kWait = 30s;  // generous: the machine may be busy

SimCameraModel SmallModel(SimFrameForm form = SimFrameForm::Finished24) {
    SimCameraModel m;
    m.name = "test-small";
    m.sensorWidth = 320;
    m.sensorHeight = 240;
    m.unitsPerPixel = 1.0;
    m.resolutions = {{320, 240, {}}, {160, 120, {}}};
    m.form = form;
    m.defaults.exposureUs = 5000;
    m.minExposureUs = 10;
    m.maxExposureUs = 1000000;
    return m;
}

// Collects delivered frames; tests wait on conditions over them.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<uint64_t> indices;
    std::vector<double> times;
    int width = 0, height = 0, bits = 0;
    double lastLevel = -1;

    // With cam, raw frames are put through its ISP to measure their level.
    SimFrameFn Fn(CSimCamera* cam = nullptr) {
        return [this, cam](const SimFrame& f) {
            std::lock_guard<std::mutex> l(m);
            indices.push_back(f.index);
            times.push_back(f.time);
            if (f.image) {
                width = f.image->Width(), height = f.image->Height(), bits = f.image->ColorBits();
                lastLevel = CSimCamera::MeanLevel(*f.image);
            } else if (f.raw) {
                width = f.raw->width, height = f.raw->height, bits = 8;
                if (cam) {
                    FCObjImage img;
                    if (cam->ProcessRaw(*f.raw, &img)) lastLevel = CSimCamera::MeanLevel(img);
                }
            }
            cv.notify_all();
        };
    }
    bool WaitFrames(size_t n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, kWait, [&] { return indices.size() >= n; });
    }
    size_t Count() {
        std::lock_guard<std::mutex> l(m);
        return indices.size();
    }
};

// Mean of channel c (0 B, 1 G, 2 R) over the pixels whose luminance is in the top share.
std::array<double, 3> BrightMeans(const FCObjImage& img, double share) {
    const int bpp = img.ColorBits() / 8;
    std::vector<int> lum;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const uint8_t* p = img.GetRow(y) + bpp * x;
            lum.push_back(p[0] + p[1] + p[2]);
        }
    std::vector<int> sorted = lum;
    std::sort(sorted.begin(), sorted.end());
    const int threshold = sorted[static_cast<size_t>((1 - share) * (sorted.size() - 1))];
    std::array<double, 3> sum{};
    int64_t n = 0, i = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x, ++i) {
            if (lum[i] < threshold) continue;
            const uint8_t* p = img.GetRow(y) + bpp * x;
            for (int c = 0; c < 3; ++c) sum[c] += p[c];
            ++n;
        }
    for (auto& s : sum) s /= std::max<int64_t>(n, 1);
    return sum;
}

TEST(SimConfig, ParsesFamiliesDefaultsAndMalformedItems) {
    struct Case {
        const char* value;
        const char* family;
        int expected;
    };
    const Case cases[] = {
        {nullptr, "maker", 1},
        {nullptr, "maker-usb2", 0},
        {nullptr, "mc-d", 1},
        {"", "mc-a", 1},
        {"maker=3", "maker", 3},
        {"maker=3", "mc-b", 1},
        {" mc-b = 2 , maker=0", "mc-b", 2},
        {" mc-b = 2 , maker=0", "maker", 0},
        {"none", "maker", 0},
        {"none", "mc-c", 0},
        {"none,mc-c=2", "mc-c", 2},
        {"none,mc-c=2", "mc-a", 0},
        {"maker-usb2=12", "maker-usb2", 8},
        {"maker=-3", "maker", 0},
        {"maker=x", "maker", 1},
        {"maker", "maker", 1},
        {"maker=2x", "maker", 1},
        {"mc-e=4", "mc-e", 0},
        {"maker=2,maker=5", "maker", 5},
        {"maker=99999999999999999999", "maker", 8},
        {"makers=2", "maker", 1},
        {"maker-usb2=2", "maker", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SimCameraCountIn(c.value, c.family), c.expected)
            << (c.value ? c.value : "(unset)") << " / " << c.family;

    // A fault after the count: the count still counts.
    struct FaultCase {
        const char* value;
        const char* family;
        int count;
        SimCameraFault fault;
    };
    const FaultCase faults[] = {
        {"mc-b=2:silent", "mc-b", 2, SimCameraFault::Silent},
        {"maker=1 : busy", "maker", 1, SimCameraFault::Busy},
        {"maker=1:busy", "mc-a", 1, SimCameraFault::None},
        {"maker=1:busy,none,maker=1", "maker", 1, SimCameraFault::None},
        {"maker=1:odd", "maker", 1, SimCameraFault::None},
    };
    for (const FaultCase& c : faults) {
        EXPECT_EQ(SimCameraCountIn(c.value, c.family), c.count) << c.value;
        EXPECT_EQ(SimCameraFaultIn(c.value, c.family), c.fault) << c.value;
    }

    setenv(kSimCamerasVariable, "mc-a=4", 1);
    EXPECT_EQ(SimCameraCount("mc-a"), 4);
    unsetenv(kSimCamerasVariable);
    EXPECT_EQ(SimCameraCount("mc-a"), 1);
}

class SimCameraFormTest : public testing::TestWithParam<SimFrameForm> {};

TEST_P(SimCameraFormTest, FramesArriveAtSizeDepthAndNeverFasterThanTheSensor) {
    const SimFrameForm form = GetParam();
    CSimCamera cam(SmallModel(form), 0);
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 20000; }));
    Recorder rec;
    const double t0 = cam.Now();
    ASSERT_TRUE(cam.Start(rec.Fn()));
    EXPECT_FALSE(cam.Start(rec.Fn()));  // already running
    ASSERT_TRUE(rec.WaitFrames(12));
    const double fps = cam.CaptureFrameRate();
    cam.Stop();
    std::lock_guard<std::mutex> l(rec.m);
    EXPECT_EQ(rec.width, 320);
    EXPECT_EQ(rec.height, 240);
    EXPECT_EQ(rec.bits, form == SimFrameForm::Finished32 ? 32 : form == SimFrameForm::Raw ? 8 : 24);
    for (size_t i = 0; i < rec.indices.size(); ++i) {
        EXPECT_EQ(rec.indices[i], i);
        // The exposure (20 ms) sets the pace: frame i starts no earlier than i intervals in.
        EXPECT_GE(rec.times[i], t0 + 0.020 * i - 1e-6) << i;
    }
    // Plausible: about 50 per second (the bound leaves room for a late first frame).
    EXPECT_GT(fps, 0);
    EXPECT_LT(fps, 100);
}

INSTANTIATE_TEST_SUITE_P(Forms, SimCameraFormTest,
                         testing::Values(SimFrameForm::Finished24, SimFrameForm::Finished32,
                                         SimFrameForm::Raw));

TEST(SimCamera, StopFromAnotherThreadLeavesNoCallbackBehind) {
    CSimCamera cam(SmallModel(), 0);
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
    std::atomic<bool> stopped{false}, late{false};
    std::atomic<int> frames{0};
    ASSERT_TRUE(cam.Start([&](const SimFrame&) {
        if (stopped) late = true;
        ++frames;
        std::this_thread::sleep_for(2ms);  // keep a frame in flight when Stop comes
    }));
    while (frames < 3) std::this_thread::sleep_for(1ms);
    cam.Stop();
    stopped = true;
    EXPECT_FALSE(cam.IsStarted());
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(late);

    // And it starts again afterwards.
    Recorder rec;
    ASSERT_TRUE(cam.Start(rec.Fn()));
    EXPECT_TRUE(rec.WaitFrames(2));
}

TEST(SimCamera, StopInsideTheCallbackThenRestartFromOutside) {
    CSimCamera cam(SmallModel(), 0);
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
    std::mutex m;
    std::condition_variable cv;
    int frames = 0;
    bool restartRefused = false;
    ASSERT_TRUE(cam.Start([&](const SimFrame&) {
        std::lock_guard<std::mutex> l(m);
        if (++frames == 3) {
            cam.Stop();
            // Its own thread cannot be joined from here, so a restart here is refused.
            restartRefused = !cam.Start([](const SimFrame&) {});
        }
        cv.notify_all();
    }));
    {
        std::unique_lock<std::mutex> l(m);
        ASSERT_TRUE(cv.wait_for(l, kWait, [&] { return frames >= 3; }));
    }
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard<std::mutex> l(m);
        EXPECT_EQ(frames, 3);
        EXPECT_TRUE(restartRefused);
    }
    Recorder rec;
    ASSERT_TRUE(cam.Start(rec.Fn()));
    EXPECT_TRUE(rec.WaitFrames(2));
}

TEST(SimCamera, DestroyedWhileRunningAndWhileWhiteBalancing) {
    for (int round = 0; round < 3; ++round) {
        auto cam = std::make_unique<CSimCamera>(SmallModel(), round);
        ASSERT_TRUE(cam->ModifySettings([](SimSensorSettings& s) { s.exposureUs = 500; }));
        Recorder rec;
        ASSERT_TRUE(cam->Start(rec.Fn()));
        ASSERT_TRUE(rec.WaitFrames(2));
        if (round == 1) cam->RequestOneShotWhiteBalance([](double, double, double) {});
        if (round == 2) cam->Pause();
        cam.reset();  // must neither hang nor touch the recorder afterwards
    }
    // A camera never started, with a white balance running on its helper thread.
    auto cam = std::make_unique<CSimCamera>(SmallModel(), 0);
    cam->RequestOneShotWhiteBalance([](double, double, double) {});
    cam.reset();
}

TEST(SimCamera, PauseHoldsDeliveryUntilResume) {
    CSimCamera cam(SmallModel(), 0);
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
    Recorder rec;
    ASSERT_TRUE(cam.Start(rec.Fn()));
    ASSERT_TRUE(rec.WaitFrames(2));
    cam.Pause();
    EXPECT_TRUE(cam.IsPaused());
    const size_t held = rec.Count();  // Pause waited for any frame in flight
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(rec.Count(), held);
    cam.Resume();
    EXPECT_TRUE(rec.WaitFrames(held + 2));
}

struct AeCase {
    const char* name;
    SimFrameForm form;
    double startExposureUs;
};

void PrintTo(const AeCase& c, std::ostream* os) {
    *os << c.name;
}

class SimCameraAeTest : public testing::TestWithParam<AeCase> {};

TEST_P(SimCameraAeTest, ConvergesToTheTargetAndStaysThere) {
    const AeCase c = GetParam();
    SimCameraModel model = SmallModel(c.form);
    model.defaults.exposureUs = c.startExposureUs;
    CSimCamera cam(model, 0);
    cam.Stage().SetDrift(0, 0, 1);
    ASSERT_TRUE(cam.SetAutoExposureTarget(100, 15));
    cam.SetAutoExposure(true);
    Recorder rec;
    ASSERT_TRUE(cam.Start(rec.Fn(&cam)));
    ASSERT_TRUE(rec.WaitFrames(20));
    const double settled = cam.Settings().exposureUs;
    ASSERT_TRUE(rec.WaitFrames(26));
    cam.Stop();
    std::lock_guard<std::mutex> l(rec.m);
    EXPECT_NEAR(rec.lastLevel, 100, 15) << c.name;
    // Settled: no hunting once within tolerance.
    EXPECT_NEAR(cam.Settings().exposureUs, settled, settled * 0.02) << c.name;
    EXPECT_NE(settled, c.startExposureUs);
}

INSTANTIATE_TEST_SUITE_P(Starts, SimCameraAeTest,
                         testing::Values(AeCase{"dark", SimFrameForm::Finished24, 100},
                                         AeCase{"bright", SimFrameForm::Finished24, 200000},
                                         AeCase{"dark raw", SimFrameForm::Raw, 100},
                                         AeCase{"bright raw", SimFrameForm::Raw, 200000}),
                         [](const testing::TestParamInfo<AeCase>& i) {
                             std::string n = i.param.name;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             return n;
                         });

TEST(SimCamera, AutoGainTakesOverAtTheExposureLimitOnlyWhenSupported) {
    for (const bool supported : {true, false}) {
        SimCameraModel model = SmallModel();
        model.defaults.exposureUs = 100;
        model.maxAutoExposureUs = 1000;  // far too short for the target without gain
        model.supportsAutoGain = supported;
        CSimCamera cam(model, 0);
        cam.SetAutoExposure(true);
        ASSERT_TRUE(cam.SetAutoExposureTarget(100, 15));
        Recorder rec;
        ASSERT_TRUE(cam.Start(rec.Fn()));
        ASSERT_TRUE(rec.WaitFrames(25));
        cam.Stop();
        const SimSensorSettings s = cam.Settings();
        EXPECT_DOUBLE_EQ(s.exposureUs, 1000) << supported;
        if (supported) {
            EXPECT_GT(s.analogGain, 2.0);
            std::lock_guard<std::mutex> l(rec.m);
            EXPECT_NEAR(rec.lastLevel, 100, 15);
        } else {
            EXPECT_DOUBLE_EQ(s.analogGain, 1.0);
        }
    }
}

enum class WbState { Running, Paused, NeverStarted, Stalled };

class SimCameraWbTest : public testing::TestWithParam<WbState> {};

TEST_P(SimCameraWbTest, OneShotWhiteBalanceNeutralisesGlassAndReportsGains) {
    CSimCamera cam(SmallModel(), 0);
    cam.Stage().SetDrift(0, 0, 1);
    ASSERT_TRUE(cam.SetStage(-3000, 2000));  // clear glass
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) {
        s.lampKelvin = 3200;  // a warm lamp: a strong cast to remove
        s.exposureUs = 6000;
    }));
    FCObjImage before;
    ASSERT_TRUE(cam.CaptureStill({320, 240, {}}, 24, &before));
    const auto cast = BrightMeans(before, 1.0);
    ASSERT_GT(cast[2] - cast[0], 30);  // red well above blue

    Recorder rec;
    if (GetParam() == WbState::Stalled) {
        ASSERT_TRUE(cam.SetFaults(SimFaults{0, 0, false}));
    }
    if (GetParam() != WbState::NeverStarted) {
        ASSERT_TRUE(cam.Start(rec.Fn()));
    }
    if (GetParam() == WbState::Running) {
        ASSERT_TRUE(rec.WaitFrames(1));
    }
    if (GetParam() == WbState::Paused) cam.Pause();

    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    double r = 0, g = 0, b = 0;
    const auto caller = std::this_thread::get_id();
    bool onCaller = false;
    ASSERT_TRUE(cam.RequestOneShotWhiteBalance([&](double rr, double gg, double bb) {
        std::lock_guard<std::mutex> l(m);
        r = rr, g = gg, b = bb, done = true;
        onCaller = std::this_thread::get_id() == caller;
        cv.notify_all();
    }));
    {
        std::unique_lock<std::mutex> l(m);
        ASSERT_TRUE(cv.wait_for(l, kWait, [&] { return done; }));
        EXPECT_FALSE(onCaller);
    }
    const SimSensorSettings s = cam.Settings();
    EXPECT_EQ(r, s.wbRed);
    EXPECT_EQ(g, s.wbGreen);
    EXPECT_EQ(b, s.wbBlue);
    EXPECT_DOUBLE_EQ(g, 1.0);  // green is the reference
    EXPECT_LT(r, 1.0);
    EXPECT_GT(b, 1.0);

    FCObjImage after;
    ASSERT_TRUE(cam.CaptureStill({320, 240, {}}, 24, &after));
    const auto m3 = BrightMeans(after, 1.0);
    EXPECT_NEAR(m3[0], m3[1], 3.0);
    EXPECT_NEAR(m3[2], m3[1], 3.0);
    cam.Stop();
}

INSTANTIATE_TEST_SUITE_P(States, SimCameraWbTest,
                         testing::Values(WbState::Running, WbState::Paused, WbState::NeverStarted,
                                         WbState::Stalled));

TEST(SimCamera, WhiteBalanceOverTissueNeutralisesTheBrightBackground) {
    SimCameraModel model = SmallModel(SimFrameForm::Raw);
    CSimCamera cam(model, 3);  // looks at tissue from its home position
    cam.Stage().SetDrift(0, 0, 1);
    // Bright enough that part of the glass clips: the measurement must not be fooled by it.
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) {
        s.lampKelvin = 5000;
        s.exposureUs = 14000;
    }));
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    ASSERT_TRUE(cam.RequestOneShotWhiteBalance([&](double, double, double) {
        std::lock_guard<std::mutex> l(m);
        done = true;
        cv.notify_all();
    }));
    {
        std::unique_lock<std::mutex> l(m);
        ASSERT_TRUE(cv.wait_for(l, kWait, [&] { return done; }));
    }
    // Judge at an exposure where nothing clips.
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 7000; }));
    FCObjImage still;
    ASSERT_TRUE(cam.CaptureStill({320, 240, {}}, 24, &still));
    const auto bg = BrightMeans(still, 0.05);
    EXPECT_NEAR(bg[0], bg[1], 4.0);
    EXPECT_NEAR(bg[2], bg[1], 4.0);
}

TEST(SimCamera, ResolutionChangeAndStillsLeaveTheStreamIntact) {
    CSimCamera cam(SmallModel(), 0);
    ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 2000; }));
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int, int>> sizes;
    std::vector<uint64_t> indices;
    ASSERT_TRUE(cam.Start([&](const SimFrame& f) {
        std::lock_guard<std::mutex> l(m);
        sizes.emplace_back(f.image->Width(), f.image->Height());
        indices.push_back(f.index);
        cv.notify_all();
    }));
    auto waitFor = [&](size_t n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, kWait, [&] { return sizes.size() >= n; });
    };
    ASSERT_TRUE(waitFor(2));

    // A still of another size and depth while the stream runs.
    FCObjImage still;
    ASSERT_TRUE(cam.CaptureStill({200, 150, {40, 30, 240, 180}}, 32, &still));
    EXPECT_EQ(still.Width(), 200);
    EXPECT_EQ(still.Height(), 150);
    EXPECT_EQ(still.ColorBits(), 32);
    EXPECT_EQ(cam.Resolution().width, 320);

    EXPECT_FALSE(cam.SetResolution(SimResolution{1, 1, {}}));
    EXPECT_FALSE(cam.SetResolution(SimResolution{100, 100, {0, 0, 400, 100}}));  // off the sensor
    ASSERT_TRUE(cam.SetResolution(160, 120));
    size_t changedAt;
    {
        std::lock_guard<std::mutex> l(m);
        changedAt = sizes.size();
    }
    ASSERT_TRUE(waitFor(changedAt + 3));
    cam.Stop();
    std::lock_guard<std::mutex> l(m);
    // At most the frame being rendered during the call keeps the old size.
    EXPECT_EQ(sizes.back(), std::make_pair(160, 120));
    EXPECT_EQ(sizes[changedAt + 1], std::make_pair(160, 120));
    for (size_t i = 0; i < indices.size(); ++i) EXPECT_EQ(indices[i], i);  // no gaps
}

TEST(SimCamera, FaultSwitchesDropStallAndRemove) {
    // Drop: every third frame never arrives, the numbering shows the gaps.
    {
        CSimCamera cam(SmallModel(), 0);
        ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
        ASSERT_TRUE(cam.SetFaults(SimFaults{3, -1, false}));
        Recorder rec;
        ASSERT_TRUE(cam.Start(rec.Fn()));
        ASSERT_TRUE(rec.WaitFrames(6));
        cam.Stop();
        std::lock_guard<std::mutex> l(rec.m);
        for (uint64_t i : rec.indices) EXPECT_NE((i + 1) % 3, 0u) << i;
    }
    // Stall: frames 0..4 and nothing more; Stop still returns at once.
    {
        CSimCamera cam(SmallModel(), 0);
        ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
        ASSERT_TRUE(cam.SetFaults(SimFaults{0, 5, false}));
        Recorder rec;
        ASSERT_TRUE(cam.Start(rec.Fn()));
        ASSERT_TRUE(rec.WaitFrames(5));
        std::this_thread::sleep_for(60ms);
        EXPECT_EQ(rec.Count(), 5u);
        cam.Stop();
        EXPECT_FALSE(cam.IsStarted());
    }
    // Removed: frames stop, calls fail; the switch back restores the camera.
    {
        CSimCamera cam(SmallModel(), 0);
        ASSERT_TRUE(cam.ModifySettings([](SimSensorSettings& s) { s.exposureUs = 1000; }));
        Recorder rec;
        ASSERT_TRUE(cam.Start(rec.Fn()));
        ASSERT_TRUE(rec.WaitFrames(2));
        ASSERT_TRUE(cam.SetFaults(SimFaults{0, -1, true}));
        EXPECT_TRUE(cam.IsRemoved());
        const size_t held = rec.Count();
        std::this_thread::sleep_for(60ms);
        EXPECT_LE(rec.Count(), held + 1);  // at most the frame already being rendered
        FCObjImage still;
        EXPECT_FALSE(cam.CaptureStill({320, 240, {}}, 24, &still));
        EXPECT_FALSE(cam.RequestOneShotWhiteBalance([](double, double, double) {}));
        cam.Stop();
        EXPECT_FALSE(cam.Start(rec.Fn()));
        ASSERT_TRUE(cam.SetFaults(SimFaults{}));
        ASSERT_TRUE(cam.Start(rec.Fn()));
        EXPECT_TRUE(rec.WaitFrames(held + 2));
    }
}

TEST(SimCamera, SettingsOutsideTheModelAreRefusedWhole) {
    CSimCamera cam(SmallModel(), 0);
    const SimSensorSettings before = cam.Settings();
    EXPECT_FALSE(cam.ModifySettings([](SimSensorSettings& s) {
        s.gamma = 2.0;
        s.exposureUs = 5e6;  // beyond the model's maximum
    }));
    EXPECT_FALSE(cam.ModifySettings([](SimSensorSettings& s) { s.sensorWidth = 640; }));
    EXPECT_FALSE(cam.ModifySettings([](SimSensorSettings& s) { s.analogGain = 0.5; }));
    EXPECT_EQ(cam.Settings().gamma, before.gamma);
    EXPECT_EQ(cam.Settings().exposureUs, before.exposureUs);
}

TEST(SimCamera, UnitsLookAtDifferentPlacesDeterministically) {
    const SimStagePose a = CSimCamera::HomePosition("m", 0), b = CSimCamera::HomePosition("m", 1);
    const SimStagePose a2 = CSimCamera::HomePosition("m", 0);
    EXPECT_EQ(a.x, a2.x);
    EXPECT_EQ(a.y, a2.y);
    EXPECT_GT(std::hypot(a.x - b.x, a.y - b.y), 500);
    const SpecimenRect t = CVirtualSpecimen::TissueRegion();
    for (const SimStagePose& p : {a, b}) {
        EXPECT_GT(p.x, t.left);
        EXPECT_LT(p.x, t.right);
        EXPECT_GT(p.y, t.top);
        EXPECT_LT(p.y, t.bottom);
    }
    const FCRect r = CSimCamera::CentredRoi(1280, 1024, 640, 480);
    EXPECT_EQ(r.Width(), 1280);
    EXPECT_EQ(r.Height(), 960);
    EXPECT_EQ(r.top, 32);
}

}  // namespace
