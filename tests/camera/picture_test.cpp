// Every family's settings change the simulated picture the way their names say, measured on the
// frames the camera delivers through the camera manager: exposure and gain (brightness and
// noise), white balance (colour), saturation and brightness, flips, sharpening, frame speed (rate)
// and the mains frequency of the lighting (flicker).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <numeric>
#include <vector>

#include "camera/camera_manager.h"
#include "camera/module_loader.h"
#include "camera/sim/virtual_slide.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const bool kEnvironment = [] {
    setenv("NORVANESCOPE_SIM_CAMERAS", "none,maker=1,maker-usb2=1,mc-a=1,mc-d=1", 1);
    return true;
}();

// The newest frame, copied out of the sink, as top-down B,G,R pixels.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    Clock::time_point arrived;
    const uint8_t* At(int x, int y) const { return bgr.data() + (static_cast<size_t>(y) * width + x) * 3; }
};

class Grabber {
public:
    static int Sink(int, uint8_t* data, const FCBitmapInfoHeader* h, void* user) {
        auto* self = static_cast<Grabber*>(user);
        if (!self->m_copy) {
            // Counting only: the camera's pace, not the copy's.
            {
                std::lock_guard lock(self->m_mutex);
                self->m_last.arrived = Clock::now();
                ++self->m_count;
            }
            self->m_cv.notify_all();
            return 1;
        }
        const int w = h->biWidth, ht = std::abs(h->biHeight), bpp = h->biBitCount / 8;
        const int64_t stride = DibStride(w, h->biBitCount);
        Frame f;
        f.width = w;
        f.height = ht;
        f.arrived = Clock::now();
        f.bgr.resize(static_cast<size_t>(w) * ht * 3);
        for (int y = 0; y < ht; ++y) {
            const uint8_t* row = data + (ht - 1 - y) * stride;  // bottom-up rows
            uint8_t* out = f.bgr.data() + static_cast<size_t>(y) * w * 3;
            for (int x = 0; x < w; ++x) std::copy_n(row + x * bpp, 3, out + x * 3);
        }
        {
            std::lock_guard lock(self->m_mutex);
            self->m_last = std::move(f);
            ++self->m_count;
        }
        self->m_cv.notify_all();
        return 1;
    }
    // The frame n frames from now. A setting takes effect with the next frame rendered; a UVC
    // camera may still hand out the four buffers filled before it.
    Frame Next(int n = 5) {
        std::unique_lock lock(m_mutex);
        const int64_t target = m_count + n;
        EXPECT_TRUE(m_cv.wait_for(lock, 30s, [&] { return m_count >= target; })) << "no frames";
        return m_last;
    }
    // Arrival times of the frames of a span.
    std::vector<Clock::time_point> Times(std::chrono::milliseconds span) {
        m_copy = false;
        struct Restore {
            std::atomic<bool>& copy;
            ~Restore() { copy = true; }
        } restore{m_copy};
        std::vector<Clock::time_point> out;
        const auto end = Clock::now() + span;
        int64_t seen;
        {
            std::lock_guard lock(m_mutex);
            seen = m_count;
        }
        while (Clock::now() < end) {
            std::unique_lock lock(m_mutex);
            m_cv.wait_for(lock, 200ms, [&] { return m_count > seen; });
            if (m_count > seen) {
                seen = m_count;
                out.push_back(m_last.arrived);
            }
        }
        return out;
    }

private:
    std::atomic<bool> m_copy{true};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    Frame m_last;
    int64_t m_count = 0;
};

// Mean of each channel (B, G, R) over the central half of a frame.
std::array<double, 3> Mean(const Frame& f) {
    std::array<double, 3> sum{};
    int64_t n = 0;
    for (int y = f.height / 4; y < f.height * 3 / 4; y += 2)
        for (int x = f.width / 4; x < f.width * 3 / 4; x += 2, ++n)
            for (int c = 0; c < 3; ++c) sum[static_cast<size_t>(c)] += f.At(x, y)[c];
    for (double& s : sum) s /= std::max<int64_t>(n, 1);
    return sum;
}

double Luma(const Frame& f) {
    const auto m = Mean(f);
    return 0.114 * m[0] + 0.587 * m[1] + 0.299 * m[2];
}

// Temporal noise: the spread of the difference of two frames of the same scene, per frame.
double Noise(const Frame& a, const Frame& b) {
    double sum = 0, sq = 0;
    int64_t n = 0;
    for (int y = a.height / 4; y < a.height * 3 / 4; y += 2)
        for (int x = a.width / 4; x < a.width * 3 / 4; x += 2, ++n) {
            const double d = double(a.At(x, y)[1]) - double(b.At(x, y)[1]);
            sum += d;
            sq += d * d;
        }
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, sq / n - mean * mean) / 2);
}

// Luminance profile across the columns (or down the rows) of a frame.
std::vector<double> Profile(const Frame& f, bool columns) {
    std::vector<double> p(static_cast<size_t>(columns ? f.width : f.height), 0.0);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) p[static_cast<size_t>(columns ? x : y)] += f.At(x, y)[1];
    return p;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / b.size();
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb + 1e-12);
}

// Mean absolute Laplacian of the green channel: how much fine detail the picture has.
double Detail(const Frame& f) {
    double sum = 0;
    int64_t n = 0;
    for (int y = f.height / 4; y < f.height * 3 / 4; ++y)
        for (int x = f.width / 4; x < f.width * 3 / 4; ++x, ++n)
            sum += std::abs(4.0 * f.At(x, y)[1] - f.At(x - 1, y)[1] - f.At(x + 1, y)[1] - f.At(x, y - 1)[1] -
                            f.At(x, y + 1)[1]);
    return sum / n;
}

double FramesPerSecond(const std::vector<Clock::time_point>& t) {
    if (t.size() < 3) return 0;
    return (t.size() - 1) / std::chrono::duration<double>(t.back() - t.front()).count();
}

// The spread of the mean level from frame to frame, relative to it.
double Flicker(Grabber& g, int frames) {
    std::vector<double> levels;
    for (int i = 0; i < frames; ++i) levels.push_back(Luma(g.Next(1)));
    const double mean = std::accumulate(levels.begin(), levels.end(), 0.0) / levels.size();
    double sq = 0;
    for (double v : levels) sq += (v - mean) * (v - mean);
    return std::sqrt(sq / levels.size()) / mean;
}

class Picture : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEnvironment);
        cm.Shutdown();
        // A UVC camera looking at a still scene: only its noise changes between frames.
        FakeDeviceConfig uvc;
        uvc.jpegQuality = 95;
        theUVCCamera().SetSys(std::make_shared<CFakeV4l2>(std::vector<FakeDeviceConfig>{uvc}));
        cm.Startup();
        int count = 0;
        cm.EnumerateDevices(&count);
        for (const CameraDeviceEntry& e : cm.Devices())
            if (e.kind == GetParam()) {
                ASSERT_TRUE(cm.SelectDevice(e.listIndex));
                break;
            }
        ASSERT_EQ(cm.m_currentCamera.kind, GetParam());
        ASSERT_EQ(cm.OpenCamera(nullptr, &Grabber::Sink, &grabber), 0);
        // The smallest live size keeps the frames quick.
        ASSERT_EQ(cm.SetResolutionIndex(Kind() == KindMaker ? 2 : 0), 0);
        ASSERT_EQ(cm.Play(), 0);
        if (Kind() == KindUvc) {
            ASSERT_EQ(cm.SetVideoProperty(PropWhiteBalance, 4600, 0), 0);  // manual white balance
        } else {
            // Clear glass: a flat field, where noise and colour are plain to see.
            const SpecimenRect glass = CVirtualSpecimen::ClearGlassRegion();
            const double x = (glass.left + glass.right) / 2, y = (glass.top + glass.bottom) / 2;
            if (Kind() == KindMaker)
                ASSERT_EQ(cm.Maker().Fn().NRCamera_Sim_SetStage(0, x, y), 0);
            else
                ASSERT_EQ(theModules().State(Kind()).CameraSimSetStage(x, y), 0);
        }
        grabber.Next();
    }
    void TearDown() override {
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
    }
    int Kind() const { return GetParam(); }
    bool Uvc() const { return Kind() == KindUvc; }
    // Exposure in microseconds and gain as a factor, in the family's own terms.
    void Expose(double microseconds, double gain) {
        if (Uvc()) {
            ASSERT_EQ(cm.SetVideoProperty(PropExposure, microseconds / 100, 0), 0);
            ASSERT_EQ(cm.SetVideoProperty(PropGain, (gain - 1) / 0.15, 1), 0);
        } else {
            ASSERT_EQ(cm.SetExposureTime(static_cast<int64_t>(microseconds)), 0);
            ASSERT_EQ(cm.SetAnalogGain(gain), 0);
        }
    }
    void Flip(bool horizontal, bool on) {
        if (Uvc())
            ASSERT_EQ(cm.SetVideoProperty(horizontal ? PropHFlip : PropVFlip, on, 1), 0);
        else
            ASSERT_EQ(cm.SetFlip(horizontal, on), 0);
    }

    CCameraManager& cm = theCameraManager();
    Grabber grabber;
};

TEST_P(Picture, ExposureAndGainChangeBrightnessAndNoise) {
    // The level over several frames: module cameras light the slide with AC (no DC setting),
    // and a short exposure sees that flicker.
    const auto level = [&] {
        double sum = 0;
        for (int i = 0; i < 8; ++i) sum += Luma(grabber.Next(1));
        return sum / 8;
    };
    // A dim picture, then twice the exposure, then four times the gain.
    Expose(1500, 1);
    const Frame dim = grabber.Next(), dim2 = grabber.Next(1);
    const double base = level();
    // Frames taken before a change may still be on their way on a busy machine: give the
    // camera up to ten rounds to answer before judging.
    const auto levelOnceAbove = [&](double wanted) {
        double l = level();
        for (int round = 1; round < 10 && l <= wanted; ++round) l = level();
        return l;
    };
    Expose(3000, 1);
    const double longer = levelOnceAbove(1.5 * base);
    Expose(1500, 4);
    const double brighter = levelOnceAbove(2.5 * base);
    const Frame gained = grabber.Next(), gained2 = grabber.Next(1);
    ASSERT_GT(base, 5) << "too dark to measure";
    ASSERT_LT(brighter, 230) << "saturated";
    EXPECT_GT(longer, 1.5 * base);
    EXPECT_GT(brighter, 2.5 * base);
    // Gain amplifies the sensor's noise with its signal.
    EXPECT_GT(Noise(gained, gained2), 1.5 * Noise(dim, dim2));
}

TEST_P(Picture, WhiteBalanceChangesTheColour) {
    const auto ratio = [](const Frame& f) {
        const auto m = Mean(f);
        return m[2] / std::max(m[0], 1.0);  // red over blue
    };
    if (Uvc()) {
        // A warmer lamp assumed (lower temperature) makes the camera hold red back.
        ASSERT_EQ(cm.SetVideoProperty(PropWhiteBalance, 6500, 0), 0);
        const double cool = ratio(grabber.Next());
        ASSERT_EQ(cm.SetVideoProperty(PropWhiteBalance, 2800, 0), 0);
        EXPECT_LT(ratio(grabber.Next()), 0.8 * cool);
        return;
    }
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(cm.GetRgbGains(&r, &g, &b), 0);
    const double before = ratio(grabber.Next());
    ASSERT_EQ(cm.SetRgbGains(r * 3 / 2, g, b * 2 / 3), 0);
    EXPECT_GT(ratio(grabber.Next()), 1.8 * before);
}

TEST_P(Picture, SaturationAndBrightnessDoWhatTheySay) {
    const auto chroma = [](const Frame& f) {
        const auto m = Mean(f);
        return *std::max_element(m.begin(), m.end()) - *std::min_element(m.begin(), m.end());
    };
    // The lamp's cast on glass, the stain on the UVC camera's tissue: colour either way.
    const double colourful = chroma(grabber.Next());
    if (Uvc()) {
        ASSERT_EQ(cm.SetVideoProperty(PropSaturation, 0, 1), 0);
    } else {
        double lo = 0, hi = 0, cur = 0;
        ASSERT_EQ(cm.GetPropertyRange(PropSaturation, &lo, &hi, &cur), 0);
        ASSERT_EQ(cm.SetSaturation(static_cast<int>(lo)), 0);
    }
    EXPECT_LT(chroma(grabber.Next()), 0.5 * colourful);
    if (Kind() != KindMaker && !Uvc()) return;  // module cameras have no brightness
    const double level = Luma(grabber.Next());
    if (Uvc())
        ASSERT_EQ(cm.SetVideoProperty(PropBrightness, 40, 1), 0);
    else
        ASSERT_EQ(cm.SetBrightness(60), 0);
    EXPECT_GT(Luma(grabber.Next()), level + 15);
}

TEST_P(Picture, FlipsFlip) {
    // The picture itself, not the flat glass.
    if (!Uvc()) {
        const SpecimenRect tissue = CVirtualSpecimen::TissueRegion();
        const double x = (tissue.left + tissue.right) / 2, y = (tissue.top + tissue.bottom) / 2;
        if (Kind() == KindMaker)
            ASSERT_EQ(cm.Maker().Fn().NRCamera_Sim_SetStage(0, x, y), 0);
        else
            ASSERT_EQ(theModules().State(Kind()).CameraSimSetStage(x, y), 0);
    }
    for (bool horizontal : {true, false}) {
        SCOPED_TRACE(horizontal ? "horizontal" : "vertical");
        const Frame plain = grabber.Next();
        Flip(horizontal, true);
        const Frame flipped = grabber.Next();
        Flip(horizontal, false);
        auto p = Profile(plain, horizontal);
        const auto q = Profile(flipped, horizontal);
        const double same = Correlation(p, q);
        std::reverse(p.begin(), p.end());
        EXPECT_GT(Correlation(p, q), 0.9);
        EXPECT_GT(Correlation(p, q), same + 0.2);
    }
}

TEST_P(Picture, SharpeningAddsDetail) {
    if (Kind() != KindMaker) GTEST_SKIP() << "sharpening is the maker cameras' setting";
    const SpecimenRect tissue = CVirtualSpecimen::TissueRegion();
    ASSERT_EQ(cm.Maker().Fn().NRCamera_Sim_SetStage(0, (tissue.left + tissue.right) / 2,
                                                    (tissue.top + tissue.bottom) / 2),
              0);
    ASSERT_EQ(cm.SetSharpen(0, 30), 0);
    const double soft = Detail(grabber.Next());
    ASSERT_EQ(cm.SetSharpen(1, 100), 0);
    EXPECT_GT(Detail(grabber.Next()), 1.3 * soft);
}

TEST_P(Picture, FrameSpeedChangesTheRate) {
    if (Uvc()) GTEST_SKIP() << "UVC cameras have no frame speed";
    if (Kind() == KindMaker) {
        // The maker camera on a USB 2.0 port, whose read-out at normal speed takes longer than
        // the simulation needs to render a frame (a faster one would be paced by the machine).
        cm.Stop();
        cm.CloseCamera();
        ASSERT_TRUE(cm.SelectDevice(cm.m_nCurrentDevice + 1));
        ASSERT_EQ(cm.OpenCamera(nullptr, &Grabber::Sink, &grabber), 0);
        ASSERT_EQ(cm.Play(), 0);
    }
    // A size whose read-out takes longer than the exposure and than rendering.
    ASSERT_EQ(cm.SetResolutionIndex(1), 0);
    Expose(1000, 1);
    grabber.Next();
    ASSERT_EQ(cm.SetFrameSpeed(0), 0);
    grabber.Next();
    const double normal = FramesPerSecond(grabber.Times(2500ms));
    ASSERT_EQ(cm.SetFrameSpeed(1), 0);
    grabber.Next();
    const double high = FramesPerSecond(grabber.Times(2500ms));
    EXPECT_GT(high, 1.15 * normal) << "normal " << normal << " fps, high " << high << " fps";
}

TEST_P(Picture, MainsFrequencyChangesTheFlicker) {
    if (Uvc()) GTEST_SKIP() << "UVC cameras leave the lighting to the page of their driver";
    if (Kind() == KindMaker) {
        // A short exposure sees the lamp's flicker under AC, none under DC.
        Expose(2000, 4);
        ASSERT_EQ(cm.SetLightFrequency(2), 0);
        grabber.Next();
        const double dc = Flicker(grabber, 12);
        ASSERT_EQ(cm.SetLightFrequency(0), 0);
        grabber.Next();
        const double ac = Flicker(grabber, 12);
        EXPECT_GT(ac, 0.03);
        EXPECT_GT(ac, 4 * dc);
        return;
    }
    // A module has no DC setting: 10 ms spans whole flicker periods at 50 Hz, not at 60 Hz.
    Expose(10000, 1);
    ASSERT_EQ(cm.SetLightFrequency(0), 0);
    grabber.Next();
    const double fifty = Flicker(grabber, 12);
    ASSERT_EQ(cm.SetLightFrequency(1), 0);
    grabber.Next();
    const double sixty = Flicker(grabber, 12);
    EXPECT_GT(sixty, 3 * fifty) << "50 Hz " << fifty << ", 60 Hz " << sixty;
}

std::string KindName(const ::testing::TestParamInfo<int>& info) {
    static const char* names[] = {"Uvc", "Module1", "Module2", "Module3", "Module4", "Maker"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Families, Picture, ::testing::Values(KindMaker, KindModule1, KindModule4, KindUvc), KindName);

}  // namespace
