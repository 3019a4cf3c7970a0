// The module loader against the real driver modules in the program folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/module_loader.h"
#include "camera/sim/sim_config.h"
#include "camera/sim/virtual_slide.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 60s;  // generous: a loaded two-core machine renders slowly

// The start size of each module's camera.
constexpr int kStartWidth[5] = {0, 1280, 1024, 1280, 1280};
constexpr int kStartHeight[5] = {0, 1024, 768, 960, 960};

uint64_t Hash(const uint8_t* p, size_t n) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

// The frame sink of the tests: counts frames, keeps the last header and what the rate was.
struct Recorder {
    std::mutex mutex;
    std::condition_variable cv;
    int frames = 0;
    FCBitmapInfoHeader header{};
    void* user = nullptr;
    bool nonBlank = false;
    bool hashFrames = false;
    std::vector<uint64_t> hashes;
    int module = 0;
    // (seconds since the first frame, frame rate then)
    std::vector<std::pair<double, float>> rates;
    Clock::time_point first{};
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};
    std::atomic<int> sleepMs{0};

    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* h, void* user) {
        auto* r = static_cast<Recorder*>(user);
        if (r->closed.load()) ++r->afterClose;
        const float rate = r->module ? theModules().FrameRate(r->module) : 0.0f;
        {
            std::lock_guard<std::mutex> lock(r->mutex);
            const auto now = Clock::now();
            if (r->frames == 0) r->first = now;
            ++r->frames;
            r->header = *h;
            r->user = user;
            r->rates.emplace_back(std::chrono::duration<double>(now - r->first).count(), rate);
            for (uint32_t i = 0; i < h->biSizeImage && !r->nonBlank; i += 997)
                r->nonBlank = frame[i] != 0;
            if (r->hashFrames) r->hashes.push_back(Hash(frame, h->biSizeImage));
        }
        r->cv.notify_all();
        if (const int ms = r->sleepMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return 1;
    }

    int Frames() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }

    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::seconds timeout = kWait) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, timeout, [&] { return pred(*this); });
    }

    bool WaitFrames(int n) {
        const int target = Frames() + n;
        return WaitFor([target](Recorder& r) { return r.frames >= target; });
    }
};

class ModuleLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv(kSimCamerasVariable);
        ASSERT_EQ(theModules().LoadAll(), 4) << "modules missing from the program folder";
    }
    void TearDown() override {
        theModules().FreeAll();
        unsetenv(kSimCamerasVariable);
    }
};

// Every call the loader routes for module m, on a module that is not there.
void ExpectEveryCallRefused(int m) {
    CModuleLoader& L = theModules();
    Recorder rec;
    std::vector<uint8_t> buf(16, 0x5A);
    EXPECT_FALSE(L.IsLoaded(m));
    EXPECT_EQ(L.DeviceCount(m), 0);
    EXPECT_EQ(L.Open(m, &rec, nullptr, 0, &Recorder::Sink), -1);
    EXPECT_EQ(L.Play(m), -1);
    EXPECT_EQ(L.Stop(m), -1);
    EXPECT_EQ(L.Restart(m, 0), -1);
    EXPECT_EQ(L.CaptureStill(m, buf.data(), 0), -1);
    if (m == 4) {
        EXPECT_EQ(L.CaptureHandOver(buf.data(), 10), -1);
    }
    EXPECT_EQ(L.OneShotWhiteBalance(m), -1);
    EXPECT_EQ(L.SetWhiteBalanceCallback(m, nullptr, nullptr), -1);
    EXPECT_EQ(L.FrameRate(m), -1.0f);
    EXPECT_EQ(L.Close(m), -1);
    EXPECT_EQ(L.State(m).hModule, nullptr);
    EXPECT_EQ(L.State(m).CameraInit, nullptr);
    EXPECT_EQ(rec.Frames(), 0);
    EXPECT_EQ(buf, std::vector<uint8_t>(16, 0x5A));
}

TEST_F(ModuleLoaderTest, AbsentModuleFilesLeaveTheirModelsOutSilently) {
    TempDir dir;
    for (const char* f : {"mcdrv_a.so", "mcdrv_c.so"})
        std::filesystem::create_symlink(BinPath(f), dir.file(f));

    // Nothing may be printed for the missing files.
    const std::string errPath = dir.file("stderr.txt");
    fflush(stderr);
    const int saved = dup(2);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(errFd, 0);
    dup2(errFd, 2);
    const int loaded = theModules().LoadAll(dir.path());
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(errFd);

    EXPECT_EQ(loaded, 2);
    EXPECT_TRUE(ReadFileBytes(errPath).empty());
    EXPECT_TRUE(theModules().IsLoaded(1));
    EXPECT_TRUE(theModules().IsLoaded(3));
    EXPECT_EQ(theModules().DeviceCount(1), 1);
    EXPECT_EQ(theModules().DeviceCount(3), 1);
    ExpectEveryCallRefused(2);
    ExpectEveryCallRefused(4);
    // Numbers outside 1..4 behave like absent modules.
    ExpectEveryCallRefused(0);
    ExpectEveryCallRefused(5);

    theModules().FreeAll();
    for (int m = 1; m <= 4; ++m) EXPECT_FALSE(theModules().IsLoaded(m));
}

TEST_F(ModuleLoaderTest, EveryModuleHasItsEntryPoints) {
    for (int m = 1; m <= 4; ++m) {
        SCOPED_TRACE(m);
        const ModuleState& s = theModules().State(m);
        EXPECT_NE(s.CameraGetMultiCameraNumber, nullptr);
        EXPECT_NE(s.CameraInit, nullptr);
        EXPECT_NE(s.CameraGetRowTime, nullptr);
        EXPECT_NE(s.CameraSetLightFrquency, nullptr);
        EXPECT_NE(s.CameraSetVideoMessage, nullptr);
        EXPECT_NE(s.CameraSimSetFaults, nullptr);
        EXPECT_EQ(s.CameraISP != nullptr, m != 4);
        EXPECT_EQ(s.CameraCaptureToBuf != nullptr, m != 4);
        EXPECT_EQ(s.CameraDisplayRGB24 != nullptr, m != 4);
        EXPECT_EQ(s.CameraInitDeadPixel != nullptr, m == 2);
        EXPECT_EQ(s.CameraGetSnycEnable != nullptr, m == 2);
    }
}

TEST_F(ModuleLoaderTest, DeviceCountsFollowTheEnvironmentAtEachCall) {
    struct Case {
        const char* value;  // null: unset
        int counts[4];
    };
    const Case cases[] = {
        {nullptr, {1, 1, 1, 1}},
        {"none", {0, 0, 0, 0}},
        {"mc-b=2", {1, 2, 1, 1}},
        {"none,mc-d=3", {0, 0, 0, 3}},
        {"mc-a=20,mc-c=x,bogus", {8, 1, 1, 1}},
        {"mc-c=0,maker=4", {1, 1, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        if (c.value)
            setenv(kSimCamerasVariable, c.value, 1);
        else
            unsetenv(kSimCamerasVariable);
        for (int m = 1; m <= 4; ++m) EXPECT_EQ(theModules().DeviceCount(m), c.counts[m - 1]) << m;
    }
}

TEST_F(ModuleLoaderTest, FramesReachTheSinkWithTheirHeaderAndStopAtClose) {
    for (int m = 1; m <= 4; ++m) {
        SCOPED_TRACE(m);
        Recorder rec;
        int hwnd = 0;
        ASSERT_EQ(theModules().Open(m, &rec, &hwnd, 0, &Recorder::Sink), 0);
        EXPECT_EQ(theModules().State(m).hWnd.load(), &hwnd);
        ASSERT_EQ(theModules().Play(m), 0);
        ASSERT_TRUE(rec.WaitFrames(3));
        {
            std::lock_guard<std::mutex> lock(rec.mutex);
            EXPECT_EQ(rec.header.biSize, 40u);
            EXPECT_EQ(rec.header.biWidth, kStartWidth[m]);
            EXPECT_EQ(rec.header.biHeight, kStartHeight[m]);
            EXPECT_EQ(rec.header.biPlanes, 1);
            EXPECT_EQ(rec.header.biBitCount, 24);
            EXPECT_EQ(rec.header.biCompression, kBiRgb);
            EXPECT_EQ(rec.header.biSizeImage, uint32_t(kStartWidth[m] * kStartHeight[m] * 3));
            EXPECT_EQ(rec.user, &rec);
            EXPECT_TRUE(rec.nonBlank);
        }
        EXPECT_EQ(theModules().Close(m), 0);
        rec.closed = true;
        const int atClose = rec.Frames();
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(rec.Frames(), atClose);
        EXPECT_EQ(rec.afterClose.load(), 0);
    }
}

TEST_F(ModuleLoaderTest, TwoCamerasOfOneModelAreTwoDevices) {
    setenv(kSimCamerasVariable, "mc-b=2", 1);
    ASSERT_EQ(theModules().DeviceCount(2), 2);
    // The library index picks the camera: each looks at its own field.
    std::vector<uint8_t> still[2];
    for (int i = 0; i < 2; ++i) {
        Recorder rec;
        ASSERT_EQ(theModules().Open(2, &rec, nullptr, i, &Recorder::Sink), 0);
        EXPECT_EQ(theModules().State(2).nDevice.load(), i);
        ASSERT_EQ(theModules().Play(2), 0);
        ASSERT_TRUE(rec.WaitFrames(1));
        still[i].assign(640 * 480 * 3, 0);
        ASSERT_EQ(theModules().CaptureStill(2, still[i].data(), 2), 0);
        EXPECT_EQ(theModules().Close(2), 0);
    }
    double diff = 0;
    for (size_t k = 0; k < still[0].size(); ++k) diff += std::abs(still[0][k] - still[1][k]);
    EXPECT_GT(diff / still[0].size(), 8.0) << "both library indices show the same field";

    // A third camera is not attached.
    Recorder rec;
    EXPECT_NE(theModules().Open(2, &rec, nullptr, 2, &Recorder::Sink), 0);
    EXPECT_NE(theModules().Play(2), 0);
    theModules().Close(2);
    EXPECT_EQ(rec.Frames(), 0);
}

TEST_F(ModuleLoaderTest, FrameRateIsZeroUntilTheSecondWindow) {
    Recorder rec;
    rec.module = 1;
    ASSERT_EQ(theModules().Open(1, &rec, nullptr, 0, &Recorder::Sink), 0);
    EXPECT_EQ(theModules().FrameRate(1), 0.0f);
    ASSERT_EQ(theModules().Play(1), 0);
    ASSERT_TRUE(
        rec.WaitFor([](Recorder& r) { return !r.rates.empty() && r.rates.back().second > 0; }));
    float rate = 0;
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        // The first frame opens the first window; no rate exists before it has closed.
        for (const auto& [t, r] : rec.rates) {
            if (t < 0.99) {
                EXPECT_EQ(r, 0.0f) << "at " << t << " s";
            }
        }
        rate = rec.rates.back().second;
        EXPECT_GE(rec.frames, 2);
    }
    // MC-A at 1280 x 1024: 1024 rows of 40 us, 24.4 frames a second at most (a window may end
    // up to one frame early).
    EXPECT_GT(rate, 0.0f);
    EXPECT_LE(rate, 27.0f);
    theModules().Close(1);

    // Opening again starts from 0: a window never spans the time the camera was closed.
    Recorder again;
    ASSERT_EQ(theModules().Open(1, &again, nullptr, 0, &Recorder::Sink), 0);
    EXPECT_EQ(theModules().FrameRate(1), 0.0f);
    theModules().Close(1);
}

TEST_F(ModuleLoaderTest, Module4RestartsLeaveExactlyOneCaptureEvent) {
    Recorder rec;
    ModuleState& s = theModules().State(4);
    EXPECT_EQ(s.hCaptureEvent, nullptr);
    ASSERT_EQ(theModules().Open(4, &rec, nullptr, 0, &Recorder::Sink), 0);
    std::vector<std::shared_ptr<CAutoResetEvent>> events{s.hCaptureEvent};
    ASSERT_EQ(theModules().Play(4), 0);
    ASSERT_TRUE(rec.WaitFrames(1));
    for (int number : {3, 4}) {
        ASSERT_EQ(theModules().Restart(4, number), 0);
        events.push_back(s.hCaptureEvent);
    }
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0]->IsClosed());
    EXPECT_TRUE(events[1]->IsClosed());
    EXPECT_FALSE(events[2]->IsClosed());
    EXPECT_NE(events[0], events[1]);
    EXPECT_NE(events[1], events[2]);
    // Restarted at number 4 (640 x 480) and playing.
    EXPECT_TRUE(rec.WaitFor(
        [](Recorder& r) { return r.header.biWidth == 640 && r.header.biHeight == 480; }));
    theModules().Close(4);
    EXPECT_EQ(s.hCaptureEvent, nullptr);
    EXPECT_TRUE(events[2]->IsClosed());
}

TEST_F(ModuleLoaderTest, Module4HandsTheNextFrameOver) {
    Recorder rec;
    rec.hashFrames = true;
    ASSERT_EQ(theModules().Open(4, &rec, nullptr, 0, &Recorder::Sink), 0);
    ASSERT_EQ(theModules().Play(4), 0);
    ASSERT_TRUE(rec.WaitFrames(1));
    const size_t bytes = 1280 * 960 * 3;
    std::vector<uint8_t> buf(bytes + 64, 0xA5);
    ASSERT_EQ(theModules().CaptureHandOver(buf.data()), 0);
    // Exactly the size of a frame, and exactly the frame the sink then got.
    for (size_t i = bytes; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << "overrun at " << i;
    const uint64_t h = Hash(buf.data(), bytes);
    EXPECT_TRUE(rec.WaitFor([h](Recorder& r) {
        return std::find(r.hashes.begin(), r.hashes.end(), h) != r.hashes.end();
    }));
    EXPECT_FALSE(theModules().State(4).bCaptureRequest);
    // A second hand-over gets a later frame.
    ASSERT_EQ(theModules().CaptureHandOver(buf.data()), 0);
    EXPECT_NE(Hash(buf.data(), bytes), h);
    theModules().Close(4);
    // With the camera closed there is nothing to wait for.
    EXPECT_NE(theModules().CaptureHandOver(buf.data()), 0);
}

TEST_F(ModuleLoaderTest, Module4HandOverTimesOutOnStalledFramesAndLetsTheBufferGo) {
    Recorder rec;
    ASSERT_EQ(theModules().Open(4, &rec, nullptr, 0, &Recorder::Sink), 0);
    ASSERT_EQ(theModules().Play(4), 0);
    ASSERT_TRUE(rec.WaitFrames(1));
    ModuleState& s = theModules().State(4);
    ASSERT_EQ(s.CameraSimSetFaults(0, 0, 0), 0);  // no frame from now on
    std::this_thread::sleep_for(300ms);           // let a frame in flight land

    std::vector<uint8_t> buf(1280 * 960 * 3, 0xA5);
    const auto t0 = Clock::now();
    EXPECT_NE(theModules().CaptureHandOver(buf.data()), 0);
    EXPECT_GE(Clock::now() - t0, 2900ms);
    EXPECT_FALSE(s.bCaptureRequest);
    EXPECT_EQ(s.pCaptureTarget, nullptr);

    // Frames flow again; none of them may land in the abandoned buffer.
    ASSERT_EQ(s.CameraSimSetFaults(0, -1, 0), 0);
    ASSERT_TRUE(rec.WaitFrames(3));
    EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0xA5));

    // Closing the camera ends a waiting hand-over at once, again leaving the buffer alone.
    ASSERT_EQ(s.CameraSimSetFaults(0, 0, 0), 0);
    std::this_thread::sleep_for(300ms);
    auto waiting = std::async(std::launch::async,
                              [&] { return theModules().CaptureHandOver(buf.data(), 60000); });
    while (true) {  // until the request is placed
        {
            std::lock_guard<std::mutex> lock(s.captureMutex);
            if (s.bCaptureRequest) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    theModules().Close(4);
    ASSERT_EQ(waiting.wait_for(kWait), std::future_status::ready);
    EXPECT_NE(waiting.get(), 0);
    EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0xA5));
}

struct WbResult {
    std::mutex mutex;
    int calls = 0;
    int zero = -1;
    double r = 0, g = 0, b = 0;
    void* user = nullptr;
    std::thread::id thread;
    static void Callback(int zero, double r, double g, double b, void* user) {
        auto* w = static_cast<WbResult*>(user);
        std::lock_guard<std::mutex> lock(w->mutex);
        ++w->calls;
        w->zero = zero;
        w->r = r, w->g = g, w->b = b;
        w->user = user;
        w->thread = std::this_thread::get_id();
    }
};

// Mean B, G, R of a 24-bit frame.
std::array<double, 3> MeanBgr(const std::vector<uint8_t>& px) {
    std::array<double, 3> sum{};
    for (size_t i = 0; i + 2 < px.size(); i += 3)
        for (int c = 0; c < 3; ++c) sum[c] += px[i + c];
    for (double& v : sum) v /= static_cast<double>(px.size() / 3);
    return sum;
}

TEST_F(ModuleLoaderTest, OneShotWhiteBalanceReportsGainsThatNeutraliseTheBackground) {
    for (int m : {1, 4}) {
        SCOPED_TRACE(m);
        Recorder rec;
        WbResult wb;
        ModuleState& s = theModules().State(m);
        ASSERT_EQ(theModules().Open(m, &rec, nullptr, 0, &Recorder::Sink), 0);
        ASSERT_EQ(theModules().Play(m), 0);
        ASSERT_TRUE(rec.WaitFrames(1));
        // Clear glass, a moderate exposure and a strong cast to undo.
        const SpecimenRect glass = CVirtualSpecimen::ClearGlassRegion();
        ASSERT_EQ(
            s.CameraSimSetStage((glass.left + glass.right) / 2, (glass.top + glass.bottom) / 2), 0);
        ASSERT_EQ(s.CameraSetGain(180, 100, 40), 0);
        ASSERT_EQ(theModules().SetWhiteBalanceCallback(m, &WbResult::Callback, &wb), 0);

        const auto t0 = Clock::now();
        ASSERT_EQ(theModules().OneShotWhiteBalance(m), 0);
        EXPECT_GE(Clock::now() - t0, 1000ms);
        int r = 0, g = 0, b = 0;
        ASSERT_EQ(s.CameraGetGain(&r, &g, &b), 0);
        {
            std::lock_guard<std::mutex> lock(wb.mutex);
            EXPECT_EQ(wb.calls, 1);
            EXPECT_EQ(wb.zero, 0);
            EXPECT_EQ(wb.user, &wb);
            EXPECT_EQ(wb.thread, std::this_thread::get_id());
            EXPECT_EQ(wb.r, r);
            EXPECT_EQ(wb.g, g);
            EXPECT_EQ(wb.b, b);
        }
        EXPECT_EQ(g, 100);  // green is the reference
        EXPECT_TRUE(r != 180 || b != 40);

        // The background now comes out grey.
        std::vector<uint8_t> frame(size_t(kStartWidth[m]) * kStartHeight[m] * 3);
        if (m == 4)
            ASSERT_EQ(theModules().CaptureHandOver(frame.data()), 0);
        else
            ASSERT_EQ(theModules().CaptureStill(m, frame.data(), 0), 0);
        const auto bgr = MeanBgr(frame);
        EXPECT_GT(bgr[1], 40.0);
        EXPECT_NEAR(bgr[0] / bgr[1], 1.0, 0.06);
        EXPECT_NEAR(bgr[2] / bgr[1], 1.0, 0.06);
        theModules().Close(m);
    }
}

TEST_F(ModuleLoaderTest, StopAndCloseWhileFramesAreInFlight) {
    for (int m : {1, 3, 4}) {
        SCOPED_TRACE(m);
        for (int round = 0; round < 4; ++round) {
            Recorder rec;
            rec.sleepMs = 15;  // keep the frame callback busy when Stop and Close come
            ASSERT_EQ(theModules().Open(m, &rec, nullptr, 0, &Recorder::Sink), 0);
            ASSERT_EQ(theModules().Play(m), 0);
            ASSERT_TRUE(rec.WaitFrames(1));
            ASSERT_EQ(theModules().Stop(m), 0);
            const int atStop = rec.Frames();
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(rec.Frames(), atStop) << "frame after Stop";
            ASSERT_EQ(theModules().Play(m), 0);
            ASSERT_TRUE(rec.WaitFrames(1));
            // Stop from another thread while frames keep coming, then close.
            std::thread stopper([m] { theModules().Stop(m); });
            stopper.join();
            ASSERT_EQ(theModules().Play(m), 0);
            ASSERT_TRUE(rec.WaitFrames(1));
            EXPECT_EQ(theModules().Close(m), 0);
            rec.closed = true;
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(rec.afterClose.load(), 0);
        }
    }
}

TEST_F(ModuleLoaderTest, FreeingWithACameraPlayingStopsItFirst) {
    Recorder rec;
    ASSERT_EQ(theModules().Open(3, &rec, nullptr, 0, &Recorder::Sink), 0);
    ASSERT_EQ(theModules().Play(3), 0);
    ASSERT_TRUE(rec.WaitFrames(1));
    theModules().FreeAll();
    rec.closed = true;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rec.afterClose.load(), 0);
    EXPECT_FALSE(theModules().IsLoaded(3));
    // And the modules load again afterwards.
    EXPECT_EQ(theModules().LoadAll(), 4);
    EXPECT_EQ(theModules().DeviceCount(3), 1);
}

}  // namespace
