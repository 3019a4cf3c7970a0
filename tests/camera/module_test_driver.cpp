// What the driver modules themselves do, through the entry points the loader found.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "camera/module_loader.h"
#include "camera/sim/sim_config.h"
#include "camera/sim/virtual_slide.h"
#include "image/obj_image.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct Size {
    int width, height;
};

// By module (1..4) and resolution number, as the modules document them.
const std::vector<Size> kSizes[5] = {
    {},
    {{1280, 1024}, {640, 480}, {320, 240}},
    {{2048, 1536}, {1024, 768}, {640, 480}},
    {{2592, 1944}, {1280, 960}, {1024, 768}, {640, 480}},
    {{3488, 2616}, {1600, 1200}, {1280, 960}, {800, 600}, {640, 480}},
};

int FrameSink(int, uint8_t*, const FCBitmapInfoHeader*, void*) {
    return 1;
}

// Polls a condition until it holds or a generous deadline passes.
template <class Pred>
bool Eventually(Pred pred, std::chrono::seconds timeout = 60s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return pred();
}

double Mean(const std::vector<uint8_t>& px) {
    double s = 0;
    for (uint8_t v : px) s += v;
    return px.empty() ? 0 : s / static_cast<double>(px.size());
}

class ModuleDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv(kSimCamerasVariable);
        ASSERT_EQ(theModules().LoadAll(), 4);
    }
    void TearDown() override {
        for (int m = 1; m <= 4; ++m) theModules().Close(m);
        theModules().FreeAll();
    }
    // Opens module m's camera (not playing) and returns its entry points.
    // A module may stay in memory across FreeAll (a thread that used it pins it), and its
    // cameras keep their settings like a powered device: start each test from the defaults.
    ModuleState& OpenCamera(int m) {
        EXPECT_EQ(theModules().Open(m, nullptr, nullptr, 0, &FrameSink), 0);
        ModuleState& s = theModules().State(m);
        EXPECT_EQ(s.CameraLoadDefault(), 0);
        return s;
    }
    // A still of a raw module at a resolution number.
    std::vector<uint8_t> Still(int m, int number) {
        const Size sz = kSizes[m][static_cast<size_t>(number)];
        std::vector<uint8_t> px(static_cast<size_t>(sz.width) * sz.height * 3);
        EXPECT_EQ(theModules().CaptureStill(m, px.data(), number), 0);
        return px;
    }
};

TEST_F(ModuleDriverTest, StillsHaveTheSizeOfTheirResolutionNumber) {
    for (int m = 1; m <= 3; ++m) {
        ModuleState& s = OpenCamera(m);
        for (size_t n = 0; n < kSizes[m].size(); ++n) {
            SCOPED_TRACE(testing::Message() << "module " << m << " number " << n);
            const size_t bytes = static_cast<size_t>(kSizes[m][n].width) * kSizes[m][n].height * 3;
            std::vector<uint8_t> buf(bytes + 256, 0xA5);
            ASSERT_EQ(theModules().CaptureStill(m, buf.data(), static_cast<int>(n)), 0);
            EXPECT_TRUE(std::all_of(buf.begin() + bytes, buf.end(), [](uint8_t v) {
                return v == 0xA5;
            })) << "written past the still";
            const double mean = Mean(std::vector<uint8_t>(buf.begin(), buf.begin() + bytes));
            EXPECT_GT(mean, 10.0);
            EXPECT_LT(mean, 250.0);
        }
        std::vector<uint8_t> buf(64, 0x11);
        EXPECT_EQ(theModules().CaptureStill(m, buf.data(), -1), -1);
        EXPECT_EQ(theModules().CaptureStill(m, buf.data(), static_cast<int>(kSizes[m].size())), -1);
        EXPECT_EQ(s.CameraCaptureToBuf(buf.data(), 0, 2), -1);  // the only mode is 1
        EXPECT_EQ(s.CameraCaptureToBuf(nullptr, 1, 2), -1);
        EXPECT_EQ(buf, std::vector<uint8_t>(64, 0x11));
        theModules().Close(m);
        // Without an open camera there is nothing to capture from.
        EXPECT_EQ(theModules().CaptureStill(m, buf.data(), 0), -1);
    }
}

// Row times (microseconds per row at normal and high frame speed) by module and number. MC-A
// reads a row in 40 us at every size: 20000 us of exposure is 500 rows there.
TEST_F(ModuleDriverTest, RowTimesExposureRowsAndFrameSpeed) {
    struct Case {
        int module, number;
        uint32_t rowTime[2];
    };
    const Case cases[] = {
        {1, 0, {40, 27}}, {1, 1, {40, 27}}, {1, 2, {40, 27}}, {2, 0, {60, 40}}, {2, 1, {40, 27}},
        {2, 2, {30, 20}}, {3, 0, {75, 50}}, {3, 1, {45, 30}}, {3, 2, {40, 27}}, {3, 3, {30, 20}},
        {4, 0, {90, 60}}, {4, 1, {50, 34}}, {4, 2, {40, 27}}, {4, 3, {32, 22}}, {4, 4, {30, 20}},
    };
    for (int m = 1; m <= 4; ++m) OpenCamera(m);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "module " << c.module << " number " << c.number);
        ModuleState& s = theModules().State(c.module);
        ASSERT_EQ(theModules().Restart(c.module, c.number), 0);
        int w = 0, h = 0;
        ASSERT_EQ(s.CameraGetImageSize(&w, &h), 0);
        EXPECT_EQ(w, kSizes[c.module][static_cast<size_t>(c.number)].width);
        EXPECT_EQ(h, kSizes[c.module][static_cast<size_t>(c.number)].height);

        for (int speed : {0, 1}) {
            ASSERT_EQ(s.CameraSetFrameSpeed(speed), 0);
            uint8_t got = 9;
            ASSERT_EQ(s.CameraGetFrameSpeed(&got), 0);
            EXPECT_EQ(got, speed);
            uint32_t rt = 0;
            ASSERT_EQ(s.CameraGetRowTime(&rt), 0);
            EXPECT_EQ(rt, c.rowTime[speed]);
            uint16_t maxRows = 0;
            ASSERT_EQ(s.CameraGetMaxExposureTime(&maxRows), 0);
            EXPECT_EQ(maxRows, std::min<uint32_t>(65535, 2000000 / rt));

            uint32_t rows = 0;
            ASSERT_EQ(s.CameraSetExposureTime(500), 0);
            ASSERT_EQ(s.CameraGetExposureTime(&rows), 0);
            EXPECT_EQ(rows, 500u);
            // Out of range asks are held to the range.
            ASSERT_EQ(s.CameraSetExposureTime(0), 0);
            ASSERT_EQ(s.CameraGetExposureTime(&rows), 0);
            EXPECT_EQ(rows, 1u);
            ASSERT_EQ(s.CameraSetExposureTime(1000000), 0);
            ASSERT_EQ(s.CameraGetExposureTime(&rows), 0);
            EXPECT_EQ(rows, maxRows);
        }
        EXPECT_EQ(s.CameraSetFrameSpeed(2), -1);
        uint8_t speed = 9;
        ASSERT_EQ(s.CameraGetFrameSpeed(&speed), 0);
        EXPECT_EQ(speed, 1);
        ASSERT_EQ(s.CameraSetFrameSpeed(0), 0);
        ASSERT_EQ(s.CameraSetExposureTime(250), 0);
    }

    // The exposure is a time: a faster readout counts more rows for it.
    ModuleState& a = theModules().State(1);
    ASSERT_EQ(theModules().Restart(1, 2), 0);
    ASSERT_EQ(a.CameraSetExposureTime(500), 0);  // 20000 us
    ASSERT_EQ(a.CameraSetFrameSpeed(1), 0);
    uint32_t rows = 0;
    ASSERT_EQ(a.CameraGetExposureTime(&rows), 0);
    EXPECT_EQ(rows, 741u);  // 20000 / 27
}

TEST_F(ModuleDriverTest, SettingsKeepTheirRanges) {
    ModuleState& s = OpenCamera(2);
    using SetB = PFN_CameraSetByte;
    using GetB = PFN_CameraGetByte;
    const std::pair<SetB, GetB> bytes[] = {{s.CameraSetGamma, s.CameraGetGamma},
                                           {s.CameraSetContrast, s.CameraGetContrast},
                                           {s.CameraSetSaturation, s.CameraGetSaturation}};
    for (const auto& [set, get] : bytes) {
        uint8_t v = 0;
        ASSERT_EQ(get(&v), 0);
        EXPECT_EQ(v, 100);
        EXPECT_EQ(set(19), -1);
        EXPECT_EQ(set(20), 0);
        EXPECT_EQ(set(255), 0);
        ASSERT_EQ(get(&v), 0);
        EXPECT_EQ(v, 255);
        EXPECT_EQ(set(100), 0);
    }
    uint16_t gain = 0;
    EXPECT_EQ(s.CameraSetAnalogGain(0), -1);
    EXPECT_EQ(s.CameraSetAnalogGain(49), -1);
    EXPECT_EQ(s.CameraSetAnalogGain(48), 0);
    ASSERT_EQ(s.CameraGetAnalogGain(&gain), 0);
    EXPECT_EQ(gain, 48);
    EXPECT_EQ(s.CameraSetAnalogGain(1), 0);

    int r, g, b;
    EXPECT_EQ(s.CameraSetGain(19, 100, 100), -1);
    EXPECT_EQ(s.CameraSetGain(100, 201, 100), -1);
    EXPECT_EQ(s.CameraSetGain(20, 200, 137), 0);
    ASSERT_EQ(s.CameraGetGain(&r, &g, &b), 0);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{20, 200, 137}));

    uint8_t target = 0;
    EXPECT_EQ(s.CameraSetAeTarget(0), -1);
    EXPECT_EQ(s.CameraSetAeTarget(77), 0);
    ASSERT_EQ(s.CameraGetAeTarget(&target), 0);
    EXPECT_EQ(target, 77);

    int v = -1;
    EXPECT_EQ(s.CameraSetMirror(2, 1), -1);
    EXPECT_EQ(s.CameraSetMirror(1, 1), 0);
    ASSERT_EQ(s.CameraGetMirror(1, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(s.CameraGetMirror(0, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(s.CameraSetLightFrquency(2), -1);
    EXPECT_EQ(s.CameraSetLightFrquency(1), 0);
    ASSERT_EQ(s.CameraGetLightFrquency(&v), 0);
    EXPECT_EQ(v, 1);

    // Kept values of the housekeeping calls.
    EXPECT_EQ(s.CameraSetGpio(0x0F), 0);
    EXPECT_EQ(s.CameraWriteGpio(0x35), 0);
    uint8_t lines = 0;
    ASSERT_EQ(s.CameraReadGpio(&lines), 0);
    EXPECT_EQ(lines, 0xF5);                          // outputs as written, inputs pulled high
    EXPECT_EQ(s.CameraSetROI(0, 0, 1025, 768), -1);  // start size 1024 x 768
    EXPECT_EQ(s.CameraSetROI(100, 50, 200, 100), 0);
    int x, y, w, h;
    ASSERT_EQ(s.CameraGetROI(&x, &y, &w, &h), 0);
    EXPECT_EQ((std::array<int, 4>{x, y, w, h}), (std::array<int, 4>{100, 50, 200, 100}));
    EXPECT_EQ(s.CameraSetB2RGBMode(3), -1);
    EXPECT_EQ(s.CameraSetB2RGBMode(2), 0);
    ASSERT_EQ(s.CameraGetB2RGBMode(&v), 0);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(s.CameraInitDeadPixel(), 0);
    EXPECT_EQ(s.CameraEnableDeadPixelCorrection(1), 0);
    EXPECT_EQ(s.CameraSetSnycEnable(1), 0);
    ASSERT_EQ(s.CameraGetSnycEnable(&v), 0);
    EXPECT_EQ(v, 1);

    // Nothing answers with the camera closed.
    theModules().Close(2);
    EXPECT_EQ(s.CameraSetGamma(120), -1);
    EXPECT_EQ(s.CameraGetRowTime(reinterpret_cast<uint32_t*>(&v)), -1);
}

TEST_F(ModuleDriverTest, ParameterTeamsAndDefaults) {
    ModuleState& s = OpenCamera(1);
    uint8_t gamma = 0;
    int team = -1;
    ASSERT_EQ(s.CameraSetGamma(150), 0);
    ASSERT_EQ(s.CameraSetExposureTime(400), 0);
    ASSERT_EQ(s.CameraSaveParameter(1), 0);
    ASSERT_EQ(s.CameraSetGamma(80), 0);
    ASSERT_EQ(s.CameraSetExposureTime(100), 0);
    EXPECT_EQ(s.CameraReadParameter(2), -1);  // never saved
    EXPECT_EQ(s.CameraReadParameter(4), -1);
    ASSERT_EQ(s.CameraReadParameter(1), 0);
    ASSERT_EQ(s.CameraGetGamma(&gamma), 0);
    EXPECT_EQ(gamma, 150);
    uint32_t rows = 0;
    ASSERT_EQ(s.CameraGetExposureTime(&rows), 0);
    EXPECT_EQ(rows, 400u);
    ASSERT_EQ(s.CameraGetCurrentParameterTeam(&team), 0);
    EXPECT_EQ(team, 1);

    ASSERT_EQ(s.CameraSetGain(150, 100, 50), 0);
    ASSERT_EQ(s.CameraSetAeState(1), 0);
    ASSERT_EQ(s.CameraLoadDefault(), 0);
    ASSERT_EQ(s.CameraGetGamma(&gamma), 0);
    EXPECT_EQ(gamma, 100);
    int r, g, b, ae = -1;
    ASSERT_EQ(s.CameraGetGain(&r, &g, &b), 0);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{64, 64, 64}));  // 1.0 in 1/64
    ASSERT_EQ(s.CameraGetAeState(&ae), 0);
    EXPECT_EQ(ae, 0);
    ASSERT_EQ(s.CameraGetExposureTime(&rows), 0);
    EXPECT_EQ(rows, 250u);  // 10 ms at 40 us a row

    // Settings stay with the camera across a restart at another resolution.
    ASSERT_EQ(s.CameraSetGamma(170), 0);
    ASSERT_EQ(theModules().Restart(1, 2), 0);
    ASSERT_EQ(s.CameraGetGamma(&gamma), 0);
    EXPECT_EQ(gamma, 170);
}

TEST_F(ModuleDriverTest, MirrorAndMonochromeChangeThePicture) {
    ModuleState& s = OpenCamera(1);
    // Near the end of the stage micrometer: its ruling fills only the left of the field.
    ASSERT_EQ(s.CameraSimSetStage(CVirtualSpecimen::MicrometerLineX(97) + 7, -40), 0);
    const int w = kSizes[1][1].width, h = kSizes[1][1].height;
    // Column means: the ruling shows, the noise averages out.
    auto columns = [&] {
        const std::vector<uint8_t> px = Still(1, 1);
        std::vector<double> col(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) col[x] += px[(static_cast<size_t>(y) * w + x) * 3 + 1];
        return col;
    };
    const std::vector<double> plain = columns();
    ASSERT_EQ(s.CameraSetMirror(0, 1), 0);
    const std::vector<double> mirrored = columns();
    double straight = 0, flipped = 0;
    for (int x = 0; x < w; ++x) {
        straight += std::abs(plain[x] - mirrored[x]);
        flipped += std::abs(plain[x] - mirrored[w - 1 - x]);
    }
    EXPECT_LT(flipped * 3, straight) << "the still is not the mirror image";
    ASSERT_EQ(s.CameraSetMirror(0, 0), 0);

    ASSERT_EQ(s.CameraSetMonochrome(1), 0);
    const std::vector<uint8_t> grey = Still(1, 2);
    int maxSpread = 0;
    for (size_t i = 0; i + 2 < grey.size(); i += 3)
        maxSpread = std::max(
            {maxSpread, std::abs(grey[i] - grey[i + 1]), std::abs(grey[i + 2] - grey[i + 1])});
    EXPECT_LE(maxSpread, 2);
}

TEST_F(ModuleDriverTest, LightFrequencySetsTheMainsFlicker) {
    ModuleState& s = OpenCamera(1);
    // 250 rows of 40 us: 10 ms, whole half periods of 50 Hz mains but not of 60 Hz.
    ASSERT_EQ(s.CameraSetExposureTime(250), 0);
    auto spread = [&] {
        double lo = 1e9, hi = 0;
        for (int i = 0; i < 16; ++i) {
            const double m = Mean(Still(1, 2));
            lo = std::min(lo, m);
            hi = std::max(hi, m);
            std::this_thread::sleep_for(3ms);  // another phase of the mains
        }
        return (hi - lo) / hi;
    };
    ASSERT_EQ(s.CameraSetLightFrquency(0), 0);
    const double at50 = spread();
    ASSERT_EQ(s.CameraSetLightFrquency(1), 0);
    const double at60 = spread();
    EXPECT_GT(at60, 3 * at50) << "50 Hz " << at50 << ", 60 Hz " << at60;
}

TEST_F(ModuleDriverTest, AutoExposureRegulatesTowardsItsTarget) {
    ModuleState& s = OpenCamera(1);
    ASSERT_EQ(theModules().Restart(1, 2), 0);  // 320 x 240, quick frames
    for (int target : {180, 50}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(s.CameraSetAeTarget(static_cast<uint8_t>(target)), 0);
        ASSERT_EQ(s.CameraSetAeState(1), 0);
        EXPECT_TRUE(Eventually([&] {
            // Luminance of the still, as the regulation measures it.
            const std::vector<uint8_t> px = Still(1, 2);
            double sum = 0;
            for (size_t i = 0; i + 2 < px.size(); i += 3)
                sum += 0.114 * px[i] + 0.587 * px[i + 1] + 0.299 * px[i + 2];
            return std::abs(sum / (px.size() / 3) - target) < 20;
        }));
    }
    int on = -1;
    ASSERT_EQ(s.CameraGetAeState(&on), 0);
    EXPECT_EQ(on, 1);
}

TEST_F(ModuleDriverTest, FilesOfTheLastFrameAndOfAStill) {
    TempDir dir;
    for (int m : {1, 4}) {
        SCOPED_TRACE(m);
        ModuleState& s = OpenCamera(m);
        const std::string current = dir.file("current" + std::to_string(m) + ".bmp");
        EXPECT_EQ(s.CameraSaveCurrentImage(current.c_str()), -1);  // no frame yet
        ASSERT_EQ(theModules().Play(m), 0);
        ASSERT_TRUE(Eventually([&] { return s.CameraSaveCurrentImage(current.c_str()) == 0; }));
        FCObjImage img;
        ASSERT_TRUE(img.LoadFromFile(current));
        const Size start = m == 1 ? Size{1280, 1024} : Size{1280, 960};
        EXPECT_EQ(img.Width(), start.width);
        EXPECT_EQ(img.Height(), start.height);
        EXPECT_EQ(img.ColorBits(), 24);

        const int number = static_cast<int>(kSizes[m].size()) - 1;
        const std::string still = dir.file("still" + std::to_string(m) + ".bmp");
        ASSERT_EQ(s.CameraCaptureFile(still.c_str(), number), 0);
        ASSERT_TRUE(img.LoadFromFile(still));
        EXPECT_EQ(img.Width(), m == 1 ? 320 : 640);
        EXPECT_EQ(img.Height(), m == 1 ? 240 : 480);
        EXPECT_EQ(s.CameraCaptureFile(dir.file("no/such/folder.bmp").c_str(), number), -1);
        EXPECT_EQ(s.CameraCaptureFile(still.c_str(), number + 1), -1);
        theModules().Close(m);
    }
}

TEST_F(ModuleDriverTest, IspTakesOnlyTheFrameBeingDelivered) {
    ModuleState& s = OpenCamera(1);
    ASSERT_EQ(theModules().Play(1), 0);
    std::vector<uint8_t> foreign(1280 * 1024, 128);
    EXPECT_EQ(s.CameraISP(foreign.data()), nullptr);
    EXPECT_EQ(s.CameraISP(nullptr), nullptr);
    EXPECT_EQ(s.CameraDisplayRGB24(nullptr), -1);
}

TEST_F(ModuleDriverTest, ARemovedCameraRefusesCallsUntilItReturns) {
    ModuleState& s = OpenCamera(3);
    ASSERT_EQ(s.CameraSimSetFaults(0, -1, 1), 0);
    uint8_t gamma = 0;
    EXPECT_EQ(theModules().Play(3), -1);
    EXPECT_EQ(s.CameraGetGamma(&gamma), -1);
    std::vector<uint8_t> buf(640 * 480 * 3);
    EXPECT_EQ(theModules().CaptureStill(3, buf.data(), 3), -1);
    ASSERT_EQ(s.CameraSimSetFaults(0, -1, 0), 0);
    EXPECT_EQ(s.CameraGetGamma(&gamma), 0);
    EXPECT_EQ(theModules().CaptureStill(3, buf.data(), 3), 0);
}

}  // namespace
