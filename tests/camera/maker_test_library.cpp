// libnrcamera.so as the program meets it: loaded with dlopen from the program folder, every
// call looked up by name. Devices, resolutions, frames through the ISP callback, stills,
// settings acting on the picture, automatic exposure, one-shot white balance, frame rates,
// faults and teardown while frames are in flight.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/maker/nr_camera_api.h"
#include "camera/sim/virtual_slide.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kWait = 30s;

// Every call of the set, found by name in the loaded library.
struct Api {
#define NR_CALLS(X)                                                                                \
    X(NRCamera_Get_DevList)                                                                        \
    X(NRCamera_Init) X(NRCamera_Play) X(NRCamera_Pause) X(NRCamera_Stop) X(NRCamera_UnInit)        \
        X(NRCameraISP) X(NRCamera_CaptureToBuf) X(NRCamera_Get_ResolutionCount) X(                 \
            NRCamera_Get_ResolutionSize) X(NRCamera_Get_ResolutionIndex)                           \
            X(NRCamera_Set_ResolutionIndex) X(NRCamera_Get_StillResolutionCount) X(                \
                NRCamera_Get_StillResolutionSize) X(NRCamera_Get_StillResolutionIndex)             \
                X(NRCamera_Set_StillResolutionIndex) X(NRCamera_Get_Resolution) X(                 \
                    NRCamera_Set_Resolution) X(NRCamera_IsSupportROI) X(NRCamera_Set_AeState)      \
                    X(NRCamera_Get_AeState) X(NRCamera_Set_AeTarget) X(NRCamera_Get_AeTarget) X(   \
                        NRCamera_Set_ExpoTime) X(NRCamera_Get_ExpoTime) X(NRCamera_Set_AnalogGain) \
                        X(NRCamera_Get_AnalogGain) X(NRCamera_Get_SupportAutoGain)                 \
                            X(NRCamera_Set_Gain) X(NRCamera_Get_Gain) X(NRCamera_Set_Gamma) X(     \
                                NRCamera_Get_Gamma) X(NRCamera_Set_Saturation)                     \
                                X(NRCamera_Get_Saturation) X(NRCamera_Set_Contrast) X(             \
                                    NRCamera_Get_Contrast) X(NRCamera_Set_Hue) X(NRCamera_Get_Hue) \
                                    X(NRCamera_Set_Brightness) X(NRCamera_Get_Brightness) X(       \
                                        NRCamera_Set_Sharpen) X(NRCamera_Get_Sharpen)              \
                                        X(NRCamera_Set_HFlip) X(NRCamera_Get_HFlip) X(             \
                                            NRCamera_Set_VFlip) X(NRCamera_Get_VFlip)              \
                                            X(NRCamera_Set_FrameSpeed) X(NRCamera_Get_FrameSpeed)  \
                                                X(NRCamera_Set_LightFrequency)                     \
                                                    X(NRCamera_Get_LightFrequency) X(              \
                                                        NRCamera_Get_Capability)                   \
                                                        X(NRCamera_Set_OnceWB) X(                  \
                                                            NRCamera_Set_WhiteBlanceCallback)      \
                                                            X(NRCamera_Get_CaptureFrameRate) X(    \
                                                                NRCamera_Get_DisplayFrameRate)     \
                                                                X(NRCamera_Sim_SetStage)           \
                                                                    X(NRCamera_Sim_MoveStage) X(   \
                                                                        NRCamera_Sim_SetFocus)     \
                                                                        X(NRCamera_Sim_SetFaults)
#define NR_MEMBER(name) decltype(&::name) name = nullptr;
    NR_CALLS(NR_MEMBER)
#undef NR_MEMBER
    void* handle = nullptr;
    std::vector<std::string> missing;

    Api() {
        handle = dlopen(BinPath("libnrcamera.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
#define NR_LOOKUP(name)                                               \
    name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
    if (!name) missing.push_back(#name);
        NR_CALLS(NR_LOOKUP)
#undef NR_LOOKUP
    }
};

Api& api() {
    static Api a;  // loaded once: the library keeps its devices for the whole process
    return a;
}

// One frame seen by the receiver, as the program's ISP callback sees it.
struct FrameLog {
    std::mutex m;
    std::condition_variable cv;
    int frames = 0;
    int width = 0, height = 0, bits = 0;
    uint32_t sizeImage = 0;
    double level = -1;
    bool nullFrame = false;
    uint8_t* lastRaw = nullptr;
    int lastA = 0;
    int acceptEvery = 1;  // the receiver takes the displayable frame of every n-th frame
    std::function<void()> inside;

    bool Wait(int n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, kWait, [&] { return frames >= n; });
    }
    int Count() {
        std::lock_guard<std::mutex> l(m);
        return frames;
    }
};

// Mean luminance of a bottom-up 32-bit frame, on a sparse grid.
double Level32(const uint8_t* px, int w, int h) {
    double s = 0;
    int n = 0;
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 7, ++n) {
            const uint8_t* p = px + (static_cast<size_t>(y) * w + x) * 4;
            s += 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
        }
    return s / n;
}

int IspCallback(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context) {
    auto* log = static_cast<FrameLog*>(context);
    std::function<void()> inside;
    {
        std::lock_guard<std::mutex> l(log->m);
        const int n = log->frames + 1;
        if (n % log->acceptEvery == 0) {
            uint8_t* frame = api().NRCameraISP(a, raw);
            log->nullFrame = log->nullFrame || !frame;
            if (frame) log->level = Level32(frame, header->biWidth, header->biHeight);
        }
        log->width = header->biWidth;
        log->height = header->biHeight;
        log->bits = header->biBitCount;
        log->sizeImage = header->biSizeImage;
        log->lastRaw = raw;
        log->lastA = a;
        log->frames = n;
        inside = log->inside;
    }
    if (inside) inside();
    log->cv.notify_all();
    return 1;
}

struct WbLog {
    std::mutex m;
    std::condition_variable cv;
    int calls = 0;
    int first = -1;
    double r = 0, g = 0, b = 0;
    void* user = nullptr;
};

void WbCallback(int first, double r, double g, double b, void* user) {
    auto* log = static_cast<WbLog*>(user);
    std::lock_guard<std::mutex> l(log->m);
    log->first = first, log->r = r, log->g = g, log->b = b, log->user = user;
    ++log->calls;
    log->cv.notify_all();
}

class MakerLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(api().handle, nullptr) << dlerror();
        ASSERT_TRUE(api().missing.empty()) << api().missing.front();
        setenv("NORVANESCOPE_SIM_CAMERAS", "maker=2,maker-usb2=1", 1);
    }
    void TearDown() override {
        // Devices close before the logs they call back into go away.
        for (int i = 0; i < 16; ++i) api().NRCamera_UnInit(i);
        unsetenv("NORVANESCOPE_SIM_CAMERAS");
    }
    Api& A() { return api(); }
    FrameLog& NewLog() { return m_logs.emplace_back(); }
    WbLog& NewWbLog() { return m_wbLogs.emplace_back(); }
    void Open(int index, FrameLog* log) {
        ASSERT_EQ(A().NRCamera_Init(IspCallback, log, 0, nullptr, index), 0);
    }
    // A 24-bit still at still index i of device d (w x h out).
    std::vector<uint8_t> Still(int d, int i, int* w, int* h) {
        EXPECT_EQ(A().NRCamera_Get_StillResolutionSize(d, i, w, h), 0);
        std::vector<uint8_t> buf(static_cast<size_t>(*w) * *h * 3 + 64, 0xA5);
        EXPECT_EQ(A().NRCamera_CaptureToBuf(d, buf.data(), i), 0);
        for (size_t k = buf.size() - 64; k < buf.size(); ++k)
            EXPECT_EQ(buf[k], 0xA5) << "written beyond the still";
        buf.resize(buf.size() - 64);
        return buf;
    }
    std::deque<FrameLog> m_logs;
    std::deque<WbLog> m_wbLogs;

    static std::array<double, 3> Means24(const std::vector<uint8_t>& px) {
        std::array<double, 3> s{};
        for (size_t i = 0; i < px.size(); i += 3)
            for (int c = 0; c < 3; ++c) s[c] += px[i + c];
        for (auto& v : s) v /= px.size() / 3.0;
        return s;
    }
};

TEST_F(MakerLibraryTest, DeviceRecordsFollowTheEnvironment) {
    NRDeviceRecord recs[4];
    std::memset(recs, 0x5A, sizeof recs);
    int count = 4;
    ASSERT_EQ(A().NRCamera_Get_DevList(recs, &count), 0);
    ASSERT_EQ(count, 3);
    struct Expect {
        const char* name;
        int first, second;
        const char* serial;
    };
    const Expect e[] = {{"NS-5MP Color", 1, 1, "N5M-0001"}, {"NS-1.3MP Color", 0, 0, "N13-0002"},
                        {"NS-5MP Color", 1, 0, "N5M-U-0001"}};
    for (int i = 0; i < 3; ++i) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&recs[i]);
        EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 200), e[i].name);
        int32_t first, second;
        std::memcpy(&first, bytes + 584, 4);
        std::memcpy(&second, bytes + 588, 4);
        EXPECT_EQ(first, e[i].first) << i;
        EXPECT_EQ(second, e[i].second) << i;
        // The serial number at byte 0; the rest of the leading bytes stay clear.
        EXPECT_STREQ(reinterpret_cast<const char*>(bytes), e[i].serial);
        for (int k = 32; k < 200; ++k) ASSERT_EQ(bytes[k], 0) << i << " byte " << k;
    }
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&recs[3])[0], 0x5A);  // beyond the count

    // Less room than devices: only the room is written, the count is the whole.
    std::memset(recs, 0x5A, sizeof recs);
    count = 1;
    ASSERT_EQ(A().NRCamera_Get_DevList(recs, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&recs[1])[0], 0x5A);

    setenv("NORVANESCOPE_SIM_CAMERAS", "none", 1);
    count = 4;
    ASSERT_EQ(A().NRCamera_Get_DevList(recs, &count), 0);
    EXPECT_EQ(count, 0);
    FrameLog& log = NewLog();
    EXPECT_EQ(A().NRCamera_Init(IspCallback, &log, 0, nullptr, 0), -1);
    unsetenv("NORVANESCOPE_SIM_CAMERAS");
    count = 4;
    ASSERT_EQ(A().NRCamera_Get_DevList(recs, &count), 0);
    EXPECT_EQ(count, 1);  // the default: one maker camera
    EXPECT_EQ(A().NRCamera_Get_DevList(recs, nullptr), -1);
}

TEST_F(MakerLibraryTest, ResolutionListsRegionOfInterestAndCapabilities) {
    FrameLog& a = NewLog();
    FrameLog& b = NewLog();
    Open(0, &a);
    Open(1, &b);
    EXPECT_EQ(A().NRCamera_Init(IspCallback, &a, 0, nullptr, 0), -1);  // already open
    int n = 0, flag = -1, w = 0, h = 0, i = -1, ag = -1;
    ASSERT_EQ(A().NRCamera_Get_ResolutionCount(0, &n), 0);
    EXPECT_EQ(n, 4);
    ASSERT_EQ(A().NRCamera_IsSupportROI(0, &flag), 0);
    EXPECT_EQ(flag, 1);
    const int sizes[4][2] = {{2592, 1944}, {1296, 972}, {640, 480}, {800, 600}};
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(A().NRCamera_Get_ResolutionSize(0, k, &w, &h), 0);
        EXPECT_EQ(w, sizes[k][0]);
        EXPECT_EQ(h, sizes[k][1]);
        ASSERT_EQ(A().NRCamera_Get_StillResolutionSize(0, k, &w, &h), 0);
        EXPECT_EQ(w, sizes[k][0]);
    }
    EXPECT_EQ(A().NRCamera_Get_ResolutionSize(0, 4, &w, &h), -1);
    ASSERT_EQ(A().NRCamera_Get_StillResolutionCount(0, &n), 0);
    EXPECT_EQ(n, 4);
    ASSERT_EQ(A().NRCamera_Get_SupportAutoGain(0, &ag), 0);
    EXPECT_EQ(ag, 1);

    ASSERT_EQ(A().NRCamera_Set_Resolution(0, 640, 480), 0);
    ASSERT_EQ(A().NRCamera_Get_ResolutionIndex(0, &i), 0);
    EXPECT_EQ(i, 2);
    ASSERT_EQ(A().NRCamera_Get_Resolution(0, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(A().NRCamera_Set_Resolution(0, 641, 480), -1);
    EXPECT_EQ(A().NRCamera_Set_ResolutionIndex(0, 7), -1);
    ASSERT_EQ(A().NRCamera_Get_ResolutionIndex(0, &i), 0);
    EXPECT_EQ(i, 2);
    ASSERT_EQ(A().NRCamera_Set_StillResolutionIndex(0, 3), 0);
    ASSERT_EQ(A().NRCamera_Get_StillResolutionIndex(0, &i), 0);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(A().NRCamera_Set_StillResolutionIndex(0, 4), -1);

    ASSERT_EQ(A().NRCamera_Get_ResolutionCount(1, &n), 0);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(A().NRCamera_IsSupportROI(1, &flag), 0);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(A().NRCamera_Get_SupportAutoGain(1, &ag), 0);
    EXPECT_EQ(ag, 0);

    struct {
        int device;
        int64_t maxGain;
    } caps[] = {{0, 64}, {1, 16}};
    for (const auto& c : caps) {
        NRCapability cap;
        std::memset(&cap, 0xCD, sizeof cap);
        ASSERT_EQ(A().NRCamera_Get_Capability(c.device, &cap), 0);
        EXPECT_GT(cap.minExposureUs, 0);
        EXPECT_GT(cap.maxExposureUs, cap.minExposureUs);
        EXPECT_EQ(cap.minAnalogGain, 1);
        EXPECT_EQ(cap.maxAnalogGain, c.maxGain);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&cap);
        for (size_t k = 0; k < sizeof cap; ++k) {
            if ((k >= 88 && k < 104) || (k >= 120 && k < 128)) continue;
            ASSERT_EQ(bytes[k], 0) << "byte " << k;
        }
    }
}

TEST_F(MakerLibraryTest, FramesThroughTheIspCallbackFollowPlayPauseAndResolution) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);  // 640 x 480: quick frames
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(3));
    {
        std::lock_guard<std::mutex> l(log.m);
        EXPECT_EQ(log.width, 640);
        EXPECT_EQ(log.height, 480);
        EXPECT_EQ(log.bits, 32);
        EXPECT_EQ(log.sizeImage, 640u * 480 * 4);
        EXPECT_FALSE(log.nullFrame);
        EXPECT_GT(log.level, 5);
        EXPECT_EQ(log.lastA, 0);
    }
    uint8_t junk[64] = {};
    EXPECT_EQ(A().NRCameraISP(0, junk), nullptr);
    EXPECT_EQ(A().NRCameraISP(0, nullptr), nullptr);

    // Region of interest while playing.
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 3), 0);
    const int at = log.Count();
    ASSERT_TRUE(log.Wait(at + 3));
    {
        std::lock_guard<std::mutex> l(log.m);
        EXPECT_EQ(log.width, 800);
        EXPECT_EQ(log.height, 600);
    }

    ASSERT_EQ(A().NRCamera_Pause(0), 0);
    const int held = log.Count();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(log.Count(), held);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(held + 2));

    ASSERT_EQ(A().NRCamera_Stop(0), 0);
    const int stopped = log.Count();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(log.Count(), stopped);
    EXPECT_EQ(A().NRCamera_Pause(0), -1);  // nothing to pause
    // A raw buffer is good only during its callback; kept beyond it, it is refused.
    EXPECT_EQ(A().NRCameraISP(log.lastA, log.lastRaw), nullptr);
    ASSERT_EQ(A().NRCamera_Play(0), 0);  // plays again after a stop
    ASSERT_TRUE(log.Wait(stopped + 2));
    ASSERT_EQ(A().NRCamera_UnInit(0), 0);
    const int closed = log.Count();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(log.Count(), closed);
    EXPECT_EQ(A().NRCamera_Play(0), -1);
}

TEST_F(MakerLibraryTest, FrameRatesCountRenderedAndAcceptedFrames) {
    FrameLog& log = NewLog();
    log.acceptEvery = 2;  // the receiver displays every other frame
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    float capture = -1, display = -1;
    ASSERT_EQ(A().NRCamera_Get_CaptureFrameRate(0, &capture), 0);
    EXPECT_EQ(capture, 0.f);  // nothing rendered yet
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(24));
    ASSERT_EQ(A().NRCamera_Get_CaptureFrameRate(0, &capture), 0);
    ASSERT_EQ(A().NRCamera_Get_DisplayFrameRate(0, &display), 0);
    // 640 x 480 at 10 ms exposure: at most 100 frames per second.
    EXPECT_GT(capture, 0.f);
    EXPECT_LT(capture, 150.f);
    EXPECT_GT(display, 0.f);
    EXPECT_LT(display, capture * 0.75f);
}

TEST_F(MakerLibraryTest, StillsAreCompleteAtEveryStillResolution) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Play(0), 0);  // stills while the stream runs
    const int expect[4][2] = {{2592, 1944}, {1296, 972}, {640, 480}, {800, 600}};
    for (int i = 0; i < 4; ++i) {
        int w = 0, h = 0;
        const auto px = Still(0, i, &w, &h);
        EXPECT_EQ(w, expect[i][0]);
        EXPECT_EQ(h, expect[i][1]);
        const auto m = Means24(px);
        EXPECT_GT(m[1], 20) << i;  // a real picture, not an untouched buffer
        EXPECT_LT(m[1], 250) << i;
        // The last rows (the top of the picture) are written too.
        double top = 0;
        for (size_t k = px.size() - static_cast<size_t>(w) * 3; k < px.size(); ++k) top += px[k];
        EXPECT_GT(top / (w * 3), 10) << i;
    }
    uint8_t one[16];
    EXPECT_EQ(A().NRCamera_CaptureToBuf(0, one, 4), -1);
    EXPECT_EQ(A().NRCamera_CaptureToBuf(0, nullptr, 0), -1);
    int i = -1;
    ASSERT_EQ(A().NRCamera_Get_ResolutionIndex(0, &i), 0);
    EXPECT_EQ(i, 2);  // the stream's resolution is untouched
}

TEST_F(MakerLibraryTest, SettingsRoundTripRefuseOutOfRangeAndChangeThePicture) {
    FrameLog& log = NewLog();
    Open(1, &log);  // the 1280 x 1024 model: quick stills
    struct IntPair {
        const char* name;
        int (*set)(int, int);
        int (*get)(int, int*);
        int initial, lo, hi;
    };
    const IntPair pairs[] = {
        {"gamma", A().NRCamera_Set_Gamma, A().NRCamera_Get_Gamma, 100, 1, 255},
        {"saturation", A().NRCamera_Set_Saturation, A().NRCamera_Get_Saturation, 100, 0, 200},
        {"contrast", A().NRCamera_Set_Contrast, A().NRCamera_Get_Contrast, 128, 0, 256},
        {"hue", A().NRCamera_Set_Hue, A().NRCamera_Get_Hue, 0, -180, 180},
        {"brightness", A().NRCamera_Set_Brightness, A().NRCamera_Get_Brightness, 0, -100, 100},
        {"frame speed", A().NRCamera_Set_FrameSpeed, A().NRCamera_Get_FrameSpeed, 1, 1, 3},
        {"light", A().NRCamera_Set_LightFrequency, A().NRCamera_Get_LightFrequency, 2, 0, 2},
        {"hflip", A().NRCamera_Set_HFlip, A().NRCamera_Get_HFlip, 0, 0, 1},
        {"vflip", A().NRCamera_Set_VFlip, A().NRCamera_Get_VFlip, 0, 0, 1},
    };
    for (const IntPair& p : pairs) {
        int v = -999;
        ASSERT_EQ(p.get(1, &v), 0) << p.name;
        EXPECT_EQ(v, p.initial) << p.name;
        for (int x : {p.lo, p.hi}) {
            ASSERT_EQ(p.set(1, x), 0) << p.name << " " << x;
            ASSERT_EQ(p.get(1, &v), 0);
            EXPECT_EQ(v, x) << p.name;
        }
        EXPECT_EQ(p.set(1, p.lo - 1), -1) << p.name;
        EXPECT_EQ(p.set(1, p.hi + 1), -1) << p.name;
        ASSERT_EQ(p.get(1, &v), 0);
        EXPECT_EQ(v, p.hi) << p.name << ": a refused value changes nothing";
        ASSERT_EQ(p.set(1, p.initial), 0);
    }
    int en = -1, level = -1;
    ASSERT_EQ(A().NRCamera_Set_Sharpen(1, 1, 80), 0);
    ASSERT_EQ(A().NRCamera_Get_Sharpen(1, &en, &level), 0);
    EXPECT_EQ(en, 1);
    EXPECT_EQ(level, 80);
    EXPECT_EQ(A().NRCamera_Set_Sharpen(1, 1, 20), -1);
    ASSERT_EQ(A().NRCamera_Set_Sharpen(1, 0, 50), 0);

    int64_t t = 0;
    ASSERT_EQ(A().NRCamera_Set_ExpoTime(1, 7000), 0);
    ASSERT_EQ(A().NRCamera_Get_ExpoTime(1, &t), 0);
    EXPECT_EQ(t, 7000);
    EXPECT_EQ(A().NRCamera_Set_ExpoTime(1, 0), -1);
    EXPECT_EQ(A().NRCamera_Set_ExpoTime(1, 1000000000), -1);
    double gain = 0;
    ASSERT_EQ(A().NRCamera_Set_AnalogGain(1, 2.5), 0);
    ASSERT_EQ(A().NRCamera_Get_AnalogGain(1, &gain), 0);
    EXPECT_EQ(gain, 2.5);
    EXPECT_EQ(A().NRCamera_Set_AnalogGain(1, 17), -1);  // this model stops at 16
    ASSERT_EQ(A().NRCamera_Set_AnalogGain(1, 1.0), 0);
    EXPECT_EQ(A().NRCamera_Set_Gain(1, 0.05, 1, 1), -1);
    EXPECT_EQ(A().NRCamera_Set_AeTarget(1, 0, 15), -1);
    ASSERT_EQ(A().NRCamera_Set_AeTarget(1, 200, 15), 0);
    uint8_t target = 0;
    ASSERT_EQ(A().NRCamera_Get_AeTarget(1, &target), 0);
    EXPECT_EQ(target, 200);

    // The picture follows: white-balance gains, brightness, mirroring.
    int w, h;
    A().NRCamera_Sim_SetStage(1, -3000, 2000);  // clear glass: flat colour
    const auto plain = Means24(Still(1, 0, &w, &h));
    ASSERT_EQ(A().NRCamera_Set_Gain(1, 0.5, 1.0, 2.0), 0);
    double r, g, b;
    ASSERT_EQ(A().NRCamera_Get_Gain(1, &r, &g, &b), 0);
    EXPECT_EQ(r, 0.5);
    EXPECT_EQ(b, 2.0);
    const auto tinted = Means24(Still(1, 0, &w, &h));
    EXPECT_LT(tinted[2], plain[2] * 0.7);  // red (B,G,R order)
    EXPECT_GT(tinted[0], plain[0] * 1.4);  // blue
    ASSERT_EQ(A().NRCamera_Set_Gain(1, 1, 1, 1), 0);
    ASSERT_EQ(A().NRCamera_Set_Brightness(1, 60), 0);
    const auto brighter = Means24(Still(1, 0, &w, &h));
    EXPECT_GT(brighter[1], plain[1] + 30);
    ASSERT_EQ(A().NRCamera_Set_Brightness(1, 0), 0);

    // Over tissue, a mirrored still matches the plain one read right to left.
    const SpecimenRect tissue = CVirtualSpecimen::TissueRegion();
    A().NRCamera_Sim_SetStage(1, (tissue.left + tissue.right) / 2,
                              (tissue.top + tissue.bottom) / 2);
    const auto left = Still(1, 0, &w, &h);
    ASSERT_EQ(A().NRCamera_Set_HFlip(1, 1), 0);
    const auto mirrored = Still(1, 0, &w, &h);
    double same = 0, flipped = 0;
    for (int y = 0; y < h; y += 16)
        for (int x = 0; x < w; x += 4) {
            const size_t a = (static_cast<size_t>(y) * w + x) * 3 + 1;
            const size_t m = (static_cast<size_t>(y) * w + (w - 1 - x)) * 3 + 1;
            same += std::abs(left[a] - mirrored[a]);
            flipped += std::abs(left[a] - mirrored[m]);
        }
    EXPECT_LT(flipped * 3, same);
}

TEST_F(MakerLibraryTest, AutomaticExposureReachesTheTarget) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Set_ExpoTime(0, 100), 0);  // far too dark
    ASSERT_EQ(A().NRCamera_Set_AeTarget(0, 90, 15), 0);
    ASSERT_EQ(A().NRCamera_Set_AeState(0, 1), 0);
    int on = 0;
    ASSERT_EQ(A().NRCamera_Get_AeState(0, &on), 0);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(25));
    {
        std::lock_guard<std::mutex> l(log.m);
        EXPECT_NEAR(log.level, 90, 15);
    }
    int64_t t = 0;
    ASSERT_EQ(A().NRCamera_Get_ExpoTime(0, &t), 0);
    EXPECT_GT(t, 1000);
    // Off: the exposure stays where it was left.
    ASSERT_EQ(A().NRCamera_Set_AeState(0, 0), 0);
    ASSERT_EQ(A().NRCamera_Set_ExpoTime(0, 300), 0);
    const int at = log.Count();
    ASSERT_TRUE(log.Wait(at + 4));
    ASSERT_EQ(A().NRCamera_Get_ExpoTime(0, &t), 0);
    EXPECT_EQ(t, 300);
}

TEST_F(MakerLibraryTest, OnceWhiteBalanceReportsThroughTheCallbackInEveryPlayState) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Sim_SetStage(0, 2000, -3000), 0);  // clear glass
    WbLog& wb = NewWbLog();
    ASSERT_EQ(A().NRCamera_Set_WhiteBlanceCallback(0, WbCallback, &wb), 0);
    EXPECT_EQ(A().NRCamera_Set_OnceWB(0, 0), 0);
    EXPECT_EQ(A().NRCamera_Set_OnceWB(0, 2), -1);
    // Stopped (never played), playing, paused.
    for (int state = 0; state < 3; ++state) {
        if (state == 1) {
            ASSERT_EQ(A().NRCamera_Play(0), 0);
        }
        if (state == 2) {
            ASSERT_EQ(A().NRCamera_Pause(0), 0);
        }
        ASSERT_EQ(A().NRCamera_Set_Gain(0, 1.0, 1.0, 1.0), 0);
        int before;
        {
            std::lock_guard<std::mutex> l(wb.m);
            before = wb.calls;
        }
        ASSERT_EQ(A().NRCamera_Set_OnceWB(0, 1), 0);
        std::unique_lock<std::mutex> l(wb.m);
        ASSERT_TRUE(wb.cv.wait_for(l, kWait, [&] { return wb.calls > before; })) << state;
        EXPECT_EQ(wb.first, 0);
        EXPECT_EQ(wb.user, &wb);
        double r, g, b;
        ASSERT_EQ(A().NRCamera_Get_Gain(0, &r, &g, &b), 0);
        EXPECT_EQ(wb.r, r);
        EXPECT_EQ(wb.g, g);
        EXPECT_EQ(wb.b, b);
        // The default lamp is warm: less red, more blue.
        EXPECT_LT(r, 0.95) << state;
        EXPECT_GT(b, 1.1) << state;
    }
    int w, h;
    const auto m = Means24(Still(0, 2, &w, &h));
    EXPECT_NEAR(m[0], m[1], 3.0);
    EXPECT_NEAR(m[2], m[1], 3.0);
}

TEST_F(MakerLibraryTest, RemovedDeviceStopsAndRefusesUntilRestored) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(2));
    ASSERT_EQ(A().NRCamera_Sim_SetFaults(0, 0, -1, 1), 0);
    const int held = log.Count();
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(log.Count(), held + 1);  // at most the frame already in flight
    int w, h, n;
    std::vector<uint8_t> buf(640 * 480 * 3);
    EXPECT_EQ(A().NRCamera_Get_Resolution(0, &w, &h), -1);
    EXPECT_EQ(A().NRCamera_Get_ResolutionCount(0, &n), -1);
    EXPECT_EQ(A().NRCamera_Set_ExpoTime(0, 5000), -1);
    EXPECT_EQ(A().NRCamera_CaptureToBuf(0, buf.data(), 2), -1);
    EXPECT_EQ(A().NRCamera_Set_OnceWB(0, 1), -1);
    EXPECT_EQ(A().NRCamera_Play(0), -1);
    // The switch back: frames come again.
    ASSERT_EQ(A().NRCamera_Sim_SetFaults(0, 0, -1, 0), 0);
    const int now = log.Count();
    ASSERT_TRUE(log.Wait(now + 2));
    // Removed again, then released: UnInit still joins and frees it.
    ASSERT_EQ(A().NRCamera_Sim_SetFaults(0, 0, -1, 1), 0);
    EXPECT_EQ(A().NRCamera_UnInit(0), 0);
    EXPECT_EQ(A().NRCamera_Init(IspCallback, &log, 0, nullptr, 0), 0);
}

TEST_F(MakerLibraryTest, StallAndDropFaultsShapeTheStream) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Sim_SetFaults(0, 0, 4, 0), 0);  // frames 0..3 only
    EXPECT_EQ(A().NRCamera_Sim_SetFaults(0, -1, -1, 0), -1);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(log.Wait(4));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.Count(), 4);
    ASSERT_EQ(A().NRCamera_Stop(0), 0);  // still answers while stalled
}

TEST_F(MakerLibraryTest, UnknownOrClosedDevicesAnswerMinusOne) {
    int v = 0;
    uint8_t b = 0;
    float f = 0;
    double d = 0;
    NRCapability cap;
    for (int index : {-1, 1, 16, 99}) {  // 1 exists but is not initialised
        EXPECT_EQ(A().NRCamera_Play(index), -1) << index;
        EXPECT_EQ(A().NRCamera_Pause(index), -1);
        EXPECT_EQ(A().NRCamera_Stop(index), -1);
        EXPECT_EQ(A().NRCamera_UnInit(index), -1);
        EXPECT_EQ(A().NRCamera_Get_ResolutionCount(index, &v), -1);
        EXPECT_EQ(A().NRCamera_Set_Gamma(index, 100), -1);
        EXPECT_EQ(A().NRCamera_Get_AeTarget(index, &b), -1);
        EXPECT_EQ(A().NRCamera_Get_CaptureFrameRate(index, &f), -1);
        EXPECT_EQ(A().NRCamera_Get_AnalogGain(index, &d), -1);
        EXPECT_EQ(A().NRCamera_Get_Capability(index, &cap), -1);
        EXPECT_EQ(A().NRCamera_Sim_SetStage(index, 0, 0), -1);
        EXPECT_EQ(A().NRCamera_Set_WhiteBlanceCallback(index, WbCallback, nullptr), -1);
    }
    EXPECT_EQ(A().NRCamera_Init(IspCallback, nullptr, 0, nullptr, 3), -1);  // only 3 devices
}

TEST_F(MakerLibraryTest, TeardownWhileFramesAreInFlight) {
    // UnInit and Stop from another thread while the callback is busy, on three devices at once.
    FrameLog* logs[3] = {&NewLog(), &NewLog(), &NewLog()};
    for (int d = 0; d < 3; ++d) {
        logs[d]->inside = [] { std::this_thread::sleep_for(3ms); };
        Open(d, logs[d]);
        if (d != 1) {
            ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(d, 2), 0);
        }
        ASSERT_EQ(A().NRCamera_Play(d), 0);
    }
    for (FrameLog* l : logs) ASSERT_TRUE(l->Wait(2));
    std::vector<std::thread> closers;
    for (int d = 0; d < 3; ++d)
        closers.emplace_back([&, d] {
            if (d == 0) A().NRCamera_Stop(d);
            EXPECT_EQ(A().NRCamera_UnInit(d), 0);
        });
    for (auto& t : closers) t.join();
    int held[3];
    for (int d = 0; d < 3; ++d) held[d] = logs[d]->Count();
    std::this_thread::sleep_for(60ms);
    for (int d = 0; d < 3; ++d) EXPECT_EQ(logs[d]->Count(), held[d]) << d;

    // UnInit from inside the frame callback: the release completes later, and the device can
    // be opened again.
    FrameLog& self = NewLog();
    std::atomic<bool> closedInside{false};
    self.inside = [&] {
        if (!closedInside.exchange(true)) {
            EXPECT_EQ(A().NRCamera_UnInit(0), 0);
        }
    };
    Open(0, &self);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    ASSERT_TRUE(self.Wait(1));
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(self.Count(), 1);
    FrameLog& again = NewLog();
    int count = 4;
    NRDeviceRecord recs[4];
    ASSERT_EQ(A().NRCamera_Get_DevList(recs, &count), 0);  // reaps the released device
    Open(0, &again);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    EXPECT_TRUE(again.Wait(2));
}

TEST_F(MakerLibraryTest, CallsFromSeveralThreadsWhilePlaying) {
    FrameLog& log = NewLog();
    Open(0, &log);
    ASSERT_EQ(A().NRCamera_Set_ResolutionIndex(0, 2), 0);
    ASSERT_EQ(A().NRCamera_Play(0), 0);
    std::atomic<bool> go{true};
    std::vector<std::thread> workers;
    workers.emplace_back([&] {
        for (int i = 0; go; ++i) A().NRCamera_Set_Gamma(0, 50 + i % 100);
    });
    workers.emplace_back([&] {
        for (int i = 0; go; ++i) A().NRCamera_Set_ResolutionIndex(0, 2 + i % 2);
    });
    workers.emplace_back([&] {
        int w, h;
        float f;
        for (; go;) {
            A().NRCamera_Get_Resolution(0, &w, &h);
            A().NRCamera_Get_CaptureFrameRate(0, &f);
            A().NRCamera_Sim_MoveStage(0, 1, 0);
        }
    });
    const int at = log.Count();
    EXPECT_TRUE(log.Wait(at + 8));
    go = false;
    for (auto& t : workers) t.join();
    int w = 0, h = 0;
    ASSERT_EQ(A().NRCamera_Get_Resolution(0, &w, &h), 0);
    EXPECT_TRUE((w == 640 && h == 480) || (w == 800 && h == 600));
}

}  // namespace
