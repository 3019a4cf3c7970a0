#include "camera/sim/sim_sensor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

std::shared_ptr<CVirtualSpecimen> SharedSpecimen() {
    static auto s = std::make_shared<CVirtualSpecimen>(1234);
    return s;
}

SimSensorSettings Small(int w = 320, int h = 240) {
    SimSensorSettings s;
    s.sensorWidth = s.width = w;
    s.sensorHeight = s.height = h;
    return s;
}

struct Stats {
    double mean = 0, sd = 0;
};

// Channel c (0 B, 1 G, 2 R) over a rectangle of a 24-bit frame.
Stats ChannelStats(const FCObjImage& img, int c, FCRect r = {}) {
    if (r.Width() == 0) r = {0, 0, img.Width(), img.Height()};
    double s = 0, s2 = 0;
    const int bpp = img.ColorBits() / 8;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const double v = img.GetRow(y)[bpp * x + c];
            s += v, s2 += v * v;
        }
    const double n = static_cast<double>(r.Width()) * r.Height();
    return {s / n, std::sqrt(std::max(0.0, s2 / n - (s / n) * (s / n)))};
}

// Mean squared horizontal and vertical difference of green: high when sharp.
double GradientEnergy(const FCObjImage& img) {
    double e = 0;
    for (int y = 0; y + 1 < img.Height(); ++y)
        for (int x = 0; x + 1 < img.Width(); ++x) {
            const int v = img.GetRow(y)[3 * x + 1];
            const int dx = img.GetRow(y)[3 * x + 4] - v, dy = img.GetRow(y + 1)[3 * x + 1] - v;
            e += dx * dx + dy * dy;
        }
    return e / (static_cast<double>(img.Width()) * img.Height());
}

class SimSensorTest : public testing::Test {
protected:
    SimSensorTest() : sensor(SharedSpecimen()) {
        sensor.Stage().SetDrift(0, 0, 1);
        sensor.SetSettings(Small());
    }
    void Look(double x, double y) { ASSERT_TRUE(sensor.Stage().SetPosition(x, y, 0)); }
    void LookAtGlass() { Look(-4000, 2000); }
    void LookAtTissue() {
        const SpecimenRect r = CVirtualSpecimen::TissueRegion();
        Look((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void Apply(const std::function<void(SimSensorSettings&)>& f) {
        SimSensorSettings s = sensor.Settings();
        f(s);
        ASSERT_TRUE(sensor.SetSettings(s));
    }
    FCObjImage Frame(double t = 0) {
        FCObjImage img;
        EXPECT_TRUE(sensor.Render(t, &img));
        return img;
    }

    CSimSensor sensor;
};

TEST_F(SimSensorTest, SameSeedSameFrameNumberSamePixels) {
    CSimSensor twin(std::make_shared<CVirtualSpecimen>(1234));
    twin.Stage().SetDrift(0, 0, 1);
    twin.SetSettings(Small());
    LookAtTissue();
    twin.Stage().SetPosition(sensor.Stage().Pose(0).x, sensor.Stage().Pose(0).y, 0);
    sensor.SetNextFrameIndex(5);
    twin.SetNextFrameIndex(5);
    FCObjImage a = Frame(0.25), b;
    ASSERT_TRUE(twin.Render(0.25, &b));
    ASSERT_EQ(a.PixelBytes(), b.PixelBytes());
    EXPECT_EQ(0, std::memcmp(a.GetMemStart(), b.GetMemStart(), a.PixelBytes()));
    // The next frame has fresh noise.
    FCObjImage c = Frame(0.25);
    EXPECT_NE(0, std::memcmp(a.GetMemStart(), c.GetMemStart(), a.PixelBytes()));
}

TEST_F(SimSensorTest, NeighbouringFieldsAgreeWhereTheyOverlap) {
    Apply([](SimSensorSettings& s) { s.noise = false; });
    const SpecimenRect r = CVirtualSpecimen::TissueRegion();
    const int dx = 100, dy = 37;
    Look(r.left + 300, r.top + 300);
    FCObjImage a = Frame();
    Look(r.left + 300 + dx, r.top + 300 + dy);
    FCObjImage b = Frame();
    // Field b's pixel (x, y) is field a's (x + dx, y + dy).
    for (int y = 0; y + dy < a.Height(); ++y)
        ASSERT_EQ(0, std::memcmp(a.GetRow(y + dy) + 3 * dx, b.GetRow(y), 3 * (a.Width() - dx)))
            << "row " << y;
    EXPECT_GT(ChannelStats(a, 1).sd, 5);  // there is something to match on
}

TEST_F(SimSensorTest, ExposureSweepBrightensClipsAndIsNoisyWhenShort) {
    LookAtGlass();
    struct Row {
        double us;
        Stats g;
    };
    std::vector<Row> rows;
    for (double us : {300.0, 2000.0, 5000.0, 9000.0, 40000.0}) {
        Apply([us](SimSensorSettings& s) { s.exposureUs = us; });
        rows.push_back({us, ChannelStats(Frame(), 1)});
    }
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_GT(rows[i].g.mean, rows[i - 1].g.mean) << rows[i].us;
    EXPECT_LT(rows.front().g.mean, 10);
    EXPECT_DOUBLE_EQ(rows.back().g.mean, 255.0);  // clipped: every pixel at full scale
    EXPECT_EQ(rows.back().g.sd, 0.0);
    // Relative noise falls as light grows (shot noise).
    EXPECT_GT(rows[0].g.sd / rows[0].g.mean, 3 * rows[3].g.sd / rows[3].g.mean);
}

TEST_F(SimSensorTest, GainBrightensAndAddsNoise) {
    LookAtGlass();
    Stats last{};
    for (double gain : {1.0, 2.0, 4.0, 8.0}) {
        Apply([gain](SimSensorSettings& s) {
            s.exposureUs = 800;
            s.analogGain = gain;
        });
        const Stats g = ChannelStats(Frame(), 1);
        SCOPED_TRACE(gain);
        EXPECT_GT(g.mean, last.mean * 1.5);
        EXPECT_GT(g.sd, last.sd * 1.3);
        last = g;
    }
}

TEST_F(SimSensorTest, WhiteBalanceGainsActPerChannelAndCanNeutraliseTheLamp) {
    LookAtGlass();
    Apply([](SimSensorSettings& s) { s.exposureUs = 6000; });
    const FCObjImage base = Frame();
    struct Case {
        double r, g, b;
        int raised;  // plane that must rise; the others stay
    } cases[] = {{1.5, 1, 1, 2}, {1, 1.5, 1, 1}, {1, 1, 1.5, 0}};
    for (const Case& c : cases) {
        Apply([&](SimSensorSettings& s) { s.wbRed = c.r, s.wbGreen = c.g, s.wbBlue = c.b; });
        const FCObjImage img = Frame();
        for (int ch = 0; ch < 3; ++ch) {
            const double before = ChannelStats(base, ch).mean, after = ChannelStats(img, ch).mean;
            if (ch == c.raised)
                EXPECT_GT(after, before * 1.3) << ch;
            else
                EXPECT_NEAR(after, before, 1.0) << ch;
        }
    }
    // The default warm lamp gives glass a red cast; gains from the lamp colour remove it.
    const double castR = ChannelStats(base, 2).mean, castB = ChannelStats(base, 0).mean;
    EXPECT_GT(castR - castB, 20);
    const auto lamp = CSimSensor::LampColour(sensor.Settings().lampKelvin);
    Apply([&](SimSensorSettings& s) {
        s.wbBlue = lamp[1] / lamp[0], s.wbGreen = 1, s.wbRed = lamp[1] / lamp[2];
    });
    const FCObjImage neutral = Frame();
    EXPECT_NEAR(ChannelStats(neutral, 2).mean, ChannelStats(neutral, 0).mean, 2.0);
    EXPECT_NEAR(ChannelStats(neutral, 1).mean, ChannelStats(neutral, 0).mean, 2.0);
}

TEST_F(SimSensorTest, FlipsMirrorExactly) {
    LookAtTissue();
    Apply([](SimSensorSettings& s) { s.noise = false; });
    const FCObjImage plain = Frame();
    const int W = plain.Width(), H = plain.Height();
    for (int mode = 1; mode < 4; ++mode) {
        const bool h = mode & 1, v = mode & 2;
        Apply([&](SimSensorSettings& s) { s.hFlip = h, s.vFlip = v; });
        const FCObjImage f = Frame();
        SCOPED_TRACE(mode);
        for (int y = 0; y < H; y += 7)
            for (int x = 0; x < W; x += 5) {
                const uint8_t* a = f.GetRow(y) + 3 * x;
                const uint8_t* b = plain.GetRow(v ? H - 1 - y : y) + 3 * (h ? W - 1 - x : x);
                ASSERT_EQ(0, std::memcmp(a, b, 3)) << x << "," << y;
            }
    }
}

TEST_F(SimSensorTest, MainsFlickerOnlyWhenExposureIsNotWholeHalfPeriods) {
    LookAtGlass();
    struct Case {
        int hz;
        double us;
        bool flicker;
    } cases[] = {{50, 7000, true}, {50, 10000, false},       {50, 20000, false},
                 {60, 7000, true}, {60, 8333.333333, false}, {0, 7000, false}};
    for (const Case& c : cases) {
        Apply([&](SimSensorSettings& s) {
            s.mainsHz = c.hz;
            s.exposureUs = c.us;
            s.analogGain = c.us > 9000 ? 1 : 1.3;  // keep glass below clipping
        });
        double lo = 1e9, hi = 0;
        for (int i = 0; i < 8; ++i) {
            const double m = ChannelStats(Frame(i * 0.0013), 1).mean;
            lo = std::min(lo, m), hi = std::max(hi, m);
        }
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, " << c.us << " us");
        if (c.flicker)
            EXPECT_GT(hi - lo, 10);
        else
            EXPECT_LT(hi - lo, 0.5);
    }
}

TEST_F(SimSensorTest, FocusSeriesIsSharpestAtTheFocalPlane) {
    LookAtTissue();
    Apply([](SimSensorSettings& s) { s.noise = false; });
    std::vector<std::pair<double, double>> series;
    for (double z : {-9.0, -5.0, -2.0, -0.5, 0.0, 0.5, 2.0, 5.0, 9.0}) {
        sensor.Stage().SetFocus(z, 0);
        series.push_back({z, GradientEnergy(Frame())});
    }
    const auto best = std::max_element(series.begin(), series.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_EQ(best->first, 0.0);
    // Falls away on both sides.
    for (size_t i = 1; i < series.size(); ++i) {
        if (series[i].first <= 0)
            EXPECT_GT(series[i].second, series[i - 1].second) << series[i].first;
        else
            EXPECT_LT(series[i].second, series[i - 1].second) << series[i].first;
    }
}

TEST_F(SimSensorTest, ThickSectionIsSharpAtTheFocusOfItsOwnHeight) {
    Apply([](SimSensorSettings& s) {
        s.noise = false;
        s.sensorWidth = s.width = 640;
        s.sensorHeight = s.height = 512;
    });
    const SpecimenRect r = CVirtualSpecimen::ThickSectionRegion();
    const double cx = (r.left + r.right) / 2 + 300, cy = (r.top + r.bottom) / 2 - 200;
    Look(cx, cy);
    // Where each 128 x 128 block of the field is sharpest, against the height the specimen has
    // at the block's centre.
    constexpr int kBlock = 128;
    std::vector<double> bestZ(20, 0), bestE(20, -1), truth(20);
    for (double z = -8; z <= 8; z += 0.5) {
        sensor.Stage().SetFocus(z, 0);
        const FCObjImage img = Frame();
        for (int b = 0; b < 20; ++b) {
            const int bx = (b % 5) * kBlock, by = (b / 5) * kBlock;
            FCObjImage block;
            ASSERT_TRUE(img.ExtractRegion(&block, {bx, by, bx + kBlock, by + kBlock}));
            const double e = GradientEnergy(block);
            if (e > bestE[b]) bestE[b] = e, bestZ[b] = z;
            truth[b] = SharedSpecimen()->DepthMicrons(cx - 320 + bx + kBlock / 2, cy - 256 + by + kBlock / 2);
        }
    }
    double lo = 1e9, hi = -1e9;
    for (int b = 0; b < 20; ++b) {
        EXPECT_NEAR(bestZ[b], truth[b], 1.0) << "block " << b;
        lo = std::min(lo, bestZ[b]), hi = std::max(hi, bestZ[b]);
    }
    // Different parts of one field come into focus at different focus positions.
    EXPECT_GT(hi - lo, 2.0);
}

// Period of the micrometer's line profile in output pixels, from the centres of dark runs.
double MicrometerPeriod(const FCObjImage& img, int y0, int y1) {
    std::vector<double> prof(img.Width());
    for (int x = 0; x < img.Width(); ++x) {
        for (int y = y0; y < y1; ++y) prof[x] += img.GetRow(y)[3 * x + 1];
        prof[x] /= (y1 - y0);
    }
    const double lo = *std::min_element(prof.begin(), prof.end());
    const double hi = *std::max_element(prof.begin(), prof.end());
    const double thr = (lo + hi) / 2;
    std::vector<double> centres;
    for (int x = 1; x < img.Width(); ++x) {
        if (prof[x] < thr && prof[x - 1] >= thr) {
            double w = 0, s = 0;
            int e = x;
            for (; e < img.Width() && prof[e] < thr; ++e)
                w += thr - prof[e], s += (thr - prof[e]) * e;
            if (e < img.Width()) centres.push_back(s / w);
        }
    }
    if (centres.size() < 3) return 0;
    return (centres.back() - centres.front()) / (centres.size() - 1);
}

TEST_F(SimSensorTest, MicrometerPitchIsMeasurableFromAFrame) {
    struct Case {
        int sensorW, outW;
        double unitsPerPixel;
    } cases[] = {{640, 640, 1.0}, {1280, 640, 1.0}, {640, 640, 0.5}, {1600, 640, 1.0}};
    for (const Case& c : cases) {
        Apply([&](SimSensorSettings& s) {
            s.sensorWidth = c.sensorW, s.width = c.outW;
            s.sensorHeight = c.sensorW / 4, s.height = c.outW / 4;
            s.unitsPerPixel = c.unitsPerPixel;
        });
        Look(0, -20);  // the field centre lies on the division lines
        const FCObjImage img = Frame();
        const auto upo = CSimSensor::UnitsPerOutputPixel(sensor.Settings());
        const double expected = CVirtualSpecimen::kMicrometerPitchUnits / upo[0];
        // Rows within 10 units of the centre cross every line.
        const int half = static_cast<int>(10 / upo[1]);
        SCOPED_TRACE(testing::Message() << c.sensorW << " -> " << c.outW);
        EXPECT_NEAR(MicrometerPeriod(img, img.Height() / 2 - half, img.Height() / 2 + half),
                    expected, expected * 0.01);
    }
}

TEST_F(SimSensorTest, RawFramePlusIspIsCloseToTheFinishedFrame) {
    LookAtTissue();
    Apply([](SimSensorSettings& s) {
        s.noise = false;
        s.gamma = 1.6, s.saturation = 1.2, s.wbBlue = 1.3;
    });
    sensor.Stage().SetFocus(2, 0);  // smooth detail, as the demosaic assumes
    const FCObjImage finished = Frame();
    SimRawFrame raw;
    ASSERT_TRUE(sensor.RenderRaw(0, &raw));
    ASSERT_EQ(raw.width, 320);
    ASSERT_EQ(raw.pixels.size(), 320u * 240u);
    FCObjImage isp;
    ASSERT_TRUE(sensor.ProcessRaw(raw, &isp));
    ASSERT_EQ(isp.Width(), 320);
    double diff = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320 * 3; ++x)
            diff += std::abs(finished.GetRow(y)[x] - isp.GetRow(y)[x]);
    EXPECT_LT(diff / (320 * 240 * 3), 3.0);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(ChannelStats(isp, c).mean, ChannelStats(finished, c).mean, 1.5) << c;

    // A malformed raw frame is refused.
    raw.pixels.resize(100);
    EXPECT_FALSE(sensor.ProcessRaw(raw, &isp));
}

TEST_F(SimSensorTest, ColourAndToneControlsActAsNamed) {
    LookAtTissue();
    Apply([](SimSensorSettings& s) { s.noise = false, s.exposureUs = 6000; });
    const FCObjImage base = Frame();
    const Stats g0 = ChannelStats(base, 1);
    const double e0 = GradientEnergy(base);
    struct Case {
        const char* name;
        std::function<void(SimSensorSettings&)> set;
        std::function<bool(const FCObjImage&)> holds;
    } cases[] = {
        {"gamma brightens mid-tones", [](auto& s) { s.gamma = 2.0; },
         [&](auto& f) { return ChannelStats(f, 1).mean > g0.mean + 20; }},
        {"contrast spreads", [](auto& s) { s.contrast = 1.6; },
         [&](auto& f) { return ChannelStats(f, 1).sd > g0.sd * 1.3; }},
        {"brightness lifts", [](auto& s) { s.brightness = 0.2; },
         [&](auto& f) { return ChannelStats(f, 1).mean > g0.mean + 40; }},
        {"saturation 0 is grey", [](auto& s) { s.saturation = 0; },
         [&](auto& f) {
             for (int y = 0; y < f.Height(); y += 3)
                 for (int x = 0; x < f.Width(); x += 3) {
                     const uint8_t* p = f.GetRow(y) + 3 * x;
                     if (std::abs(p[0] - p[1]) > 1 || std::abs(p[1] - p[2]) > 1) return false;
                 }
             return true;
         }},
        {"hue turns red glass toward green/blue", [](auto& s) { s.hueDegrees = 120; },
         [&](auto& f) {
             return ChannelStats(f, 2).mean - ChannelStats(f, 0).mean <
                    ChannelStats(base, 2).mean - ChannelStats(base, 0).mean - 10;
         }},
        {"sharpening raises edge energy", [](auto& s) { s.sharpness = 1.0; },
         [&](auto& f) { return GradientEnergy(f) > e0 * 1.5; }},
    };
    for (const Case& c : cases) {
        SimSensorSettings s = sensor.Settings();
        const SimSensorSettings keep = s;
        c.set(s);
        ASSERT_TRUE(sensor.SetSettings(s));
        EXPECT_TRUE(c.holds(Frame())) << c.name;
        sensor.SetSettings(keep);
    }
}

TEST_F(SimSensorTest, ThirtyTwoBitFrameCarriesTheSamePixels) {
    LookAtTissue();
    Apply([](SimSensorSettings& s) { s.noise = false; });
    const FCObjImage a = Frame();
    FCObjImage b;
    ASSERT_TRUE(sensor.Render(0, &b, 32));
    ASSERT_EQ(b.ColorBits(), 32);
    for (int y = 0; y < a.Height(); y += 11)
        for (int x = 0; x < a.Width(); ++x) {
            ASSERT_EQ(0, std::memcmp(a.GetRow(y) + 3 * x, b.GetRow(y) + 4 * x, 3));
            ASSERT_EQ(b.GetRow(y)[4 * x + 3], 255);
        }
    EXPECT_FALSE(sensor.Render(0, &b, 16));
}

TEST_F(SimSensorTest, RegionOfInterestShowsThatPartOfTheField) {
    Apply([](SimSensorSettings& s) {
        s.noise = false;
        s.sensorWidth = 640, s.sensorHeight = 480;
        s.width = 640, s.height = 480;
    });
    LookAtTissue();
    const FCObjImage full = Frame();
    Apply([](SimSensorSettings& s) {
        s.roi = {200, 100, 520, 340};
        s.width = 320, s.height = 240;
    });
    const FCObjImage part = Frame();
    for (int y = 0; y < 240; ++y)
        ASSERT_EQ(0, std::memcmp(part.GetRow(y), full.GetRow(y + 100) + 3 * 200, 3 * 320)) << y;
}

TEST_F(SimSensorTest, InvalidSettingsAreRefusedAndKeepTheOldOnes) {
    const SimSensorSettings good = sensor.Settings();
    const std::function<void(SimSensorSettings&)> bad[] = {
        [](auto& s) { s.width = 0; },
        [](auto& s) { s.height = SimSensorSettings::kMaxSide + 1; },
        [](auto& s) {
            s.roi = {10, 10, 5000, 20};
        },
        [](auto& s) {
            s.roi = {-1, 0, 10, 10};
        },
        [](auto& s) { s.exposureUs = 0; },
        [](auto& s) { s.exposureUs = std::nan(""); },
        [](auto& s) { s.analogGain = 0.5; },
        [](auto& s) { s.wbRed = -1; },
        [](auto& s) { s.gamma = 0; },
        [](auto& s) { s.mainsHz = 55; },
        [](auto& s) { s.unitsPerPixel = std::numeric_limits<double>::infinity(); },
        [](auto& s) { s.frameSpeed = 4; },
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        SimSensorSettings s = good;
        bad[i](s);
        EXPECT_FALSE(sensor.SetSettings(s)) << i;
    }
    EXPECT_EQ(sensor.Settings().width, good.width);
    EXPECT_EQ(sensor.Settings().exposureUs, good.exposureUs);
    EXPECT_FALSE(sensor.Render(std::nan(""), nullptr));
}

TEST_F(SimSensorTest, FaultSwitchesReportFrameFates) {
    Apply([](SimSensorSettings& s) { s.faults.dropEvery = 3; });
    EXPECT_EQ(sensor.FrameStatus(0), SimFrameStatus::Deliver);
    EXPECT_EQ(sensor.FrameStatus(2), SimFrameStatus::Drop);
    EXPECT_EQ(sensor.FrameStatus(5), SimFrameStatus::Drop);
    EXPECT_EQ(sensor.FrameStatus(6), SimFrameStatus::Deliver);
    Apply([](SimSensorSettings& s) { s.faults.stallAfter = 4; });
    EXPECT_EQ(sensor.FrameStatus(3), SimFrameStatus::Deliver);
    EXPECT_EQ(sensor.FrameStatus(4), SimFrameStatus::Stall);
    Apply([](SimSensorSettings& s) { s.faults.removed = true; });
    EXPECT_EQ(sensor.FrameStatus(0), SimFrameStatus::Removed);
}

TEST(SimSensorModel, FrameIntervalFollowsSpeedAndExposure) {
    CSimSensor s(SharedSpecimen());
    SimSensorSettings st = Small(1280, 1024);
    st.exposureUs = 1000;
    double last = 0;
    for (int speed : {0, 1, 2, 3}) {
        st.frameSpeed = speed;
        ASSERT_TRUE(s.SetSettings(st));
        EXPECT_GT(s.FrameIntervalSeconds(), last);
        last = s.FrameIntervalSeconds();
    }
    st.exposureUs = 500000;
    ASSERT_TRUE(s.SetSettings(st));
    EXPECT_DOUBLE_EQ(s.FrameIntervalSeconds(), 0.5);
}

}  // namespace
