// Video recording: the recorder's states driving the MP4 encoder, the files checked by ffprobe
// and decoded by OpenCV, the timestamps from an injected clock, and frames of the simulated
// cameras compared with what the file shows.

#include <gtest/gtest.h>

#include <QFileInfo>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_manager.h"
#include "camera/recording/recorder.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// A DIB frame (bottom row first) whose picture is red top-left, green top-right, blue
// bottom-left and white bottom-right; the alpha byte of 32-bit frames stays 0.
std::vector<uint8_t> Quadrants(int w, int h, int bits) {
    const int64_t stride = DibStride(w, bits);
    std::vector<uint8_t> bytes(static_cast<size_t>(stride * h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            uint8_t b = 0, g = 0, r = 0;
            if (!right && !bottom) r = 255;
            if (right && !bottom) g = 255;
            if (!right && bottom) b = 255;
            if (right && bottom) b = g = r = 255;
            uint8_t* p = bytes.data() + (h - 1 - y) * stride + x * (bits / 8);
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return bytes;
}

// The recorder's clock, moved by hand.
struct FakeClock {
    std::shared_ptr<std::atomic<int64_t>> us = std::make_shared<std::atomic<int64_t>>(5000000);
    CMp4Encoder::Clock Fn() const {
        auto t = us;
        return [t] { return t->load(); };
    }
    void Advance(int64_t micro) { *us += micro; }
};

class Recording : public ::testing::Test {
protected:
    void SetUp() override { recorder.SetClock(clock.Fn()); }

    // n frames, one every stepUs of the clock.
    void Feed(const std::vector<uint8_t>& frame, int w, int h, int bits, int n, int64_t stepUs = 40000) {
        for (int i = 0; i < n; ++i) {
            recorder.RecordFrame(frame.data(), w, h, bits);
            clock.Advance(stepUs);
        }
    }
    // Path, the frame that opens the encoder, Start.
    void Begin(const std::string& path, const std::vector<uint8_t>& frame, int w, int h, int bits) {
        recorder.RequestFile(QString::fromStdString(path));
        recorder.RecordFrame(frame.data(), w, h, bits);
        ASSERT_EQ(recorder.m_nRecordState.load(), kRecordOpen) << recorder.GetStatus().error;
        recorder.m_nRecordState = kRecording;
    }
    // Stop and the frame that hands the file to the worker; the file's result.
    CRecorder::Result End(const std::vector<uint8_t>& frame, int w, int h, int bits) {
        recorder.m_nRecordState = kRecordFinishRequested;
        recorder.RecordFrame(frame.data(), w, h, bits);
        EXPECT_EQ(recorder.m_nRecordState.load(), kRecordIdle);
        EXPECT_TRUE(recorder.WaitFinished(30s));
        const auto finished = recorder.Finished();
        return finished.empty() ? CRecorder::Result{} : finished.back();
    }

    TempDir dir;
    FakeClock clock;
    CRecorder recorder;
};

struct FrameCase {
    int width, height, bits;
};

class RecordingSizes : public Recording, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(RecordingSizes, FileHoldsTheFramesAtAnEvenSizeTheRightWayUp) {
    const auto [w, h, bits] = GetParam();
    const auto frame = Quadrants(w, h, bits);
    const std::string path = dir.file("q.mp4");
    Begin(path, frame, w, h, bits);
    Feed(frame, w, h, bits, 10);  // 0.4 s
    const CRecorder::Result r = End(frame, w, h, bits);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, 10);
    EXPECT_EQ(recorder.ScalersMade(), 1);  // one scaler for the whole recording

    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("error"), 0u) << probe.at("error");
    EXPECT_EQ(probe.at("codec_name"), "h264");
    EXPECT_EQ(probe.at("profile"), "Constrained Baseline");
    EXPECT_EQ(probe.at("width"), std::to_string(w & ~1));
    EXPECT_EQ(probe.at("height"), std::to_string(h & ~1));
    EXPECT_EQ(probe.at("nb_read_frames"), "10");
    // A recording shorter than three seconds still spans three from its first frame.
    EXPECT_GE(std::stod(probe.at("duration")), 3.0);

    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    ASSERT_TRUE(video.isOpened());
    cv::Mat decoded;
    ASSERT_TRUE(video.read(decoded));
    ASSERT_EQ(decoded.cols, w & ~1);
    const auto at = [&](double fx, double fy) {
        return decoded.at<cv::Vec3b>(static_cast<int>(fy * decoded.rows), static_cast<int>(fx * decoded.cols));
    };
    const struct {
        double x, y;
        cv::Vec3b bgr;
    } expected[] = {{0.25, 0.25, {0, 0, 255}}, {0.75, 0.25, {0, 255, 0}}, {0.25, 0.75, {255, 0, 0}},
                    {0.75, 0.75, {255, 255, 255}}};
    for (const auto& e : expected) {
        const cv::Vec3b got = at(e.x, e.y);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], e.bgr[c], 48) << "at " << e.x << "," << e.y << " channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, RecordingSizes,
                         ::testing::Values(FrameCase{64, 48, 24}, FrameCase{64, 48, 32}, FrameCase{67, 45, 24},
                                           FrameCase{67, 45, 32}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                    "_" + std::to_string(info.param.bits);
                         });

TEST(RecordNames, DefaultNameAndTheMp4Rule) {
    EXPECT_EQ(DefaultRecordFileName(QDateTime(QDate(2024, 3, 2), QTime(9, 5, 3))), "202432953.mp4");
    EXPECT_EQ(DefaultRecordFileName(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59))), "20251231235959.mp4");
    const struct {
        const char* chosen;
        const char* stored;
    } cases[] = {{"/v/a.mp4", "/v/a.mp4"}, {"/v/a.MP4", "/v/a.MP4.mp4"}, {"/v/a.avi", "/v/a.avi.mp4"},
                 {"/v/a", "/v/a.mp4"},     {"mp4", "mp4.mp4"},           {"/v/a.mp4 ", "/v/a.mp4 .mp4"}};
    for (const auto& c : cases) EXPECT_EQ(WithMp4Extension(c.chosen), c.stored) << c.chosen;
}

TEST_F(Recording, APauseShowsAsAJumpInTheTimestamps) {
    const auto frame = Quadrants(64, 48, 24);
    const std::string path = dir.file("pause.mp4");
    Begin(path, frame, 64, 48, 24);
    Feed(frame, 64, 48, 24, 5);
    recorder.m_nRecordState = kRecordPaused;
    Feed(frame, 64, 48, 24, 4, 2500000);  // ten seconds of frames that are not recorded
    recorder.m_nRecordState = kRecording;
    Feed(frame, 64, 48, 24, 5);
    EXPECT_TRUE(End(frame, 64, 48, 24).ok);

    const std::vector<double> t = VideoPacketTimes(path);
    ASSERT_EQ(t.size(), 10u);
    for (size_t i = 1; i < t.size(); ++i) {
        const double step = t[i] - t[i - 1];
        if (i == 5)
            EXPECT_NEAR(step, 10.04, 0.001);
        else
            EXPECT_NEAR(step, 0.04, 0.001) << i;
    }
}

TEST_F(Recording, StartBeforeTheFirstFrameStillRecords) {
    const auto frame = Quadrants(64, 48, 32);
    const std::string path = dir.file("early.mp4");
    recorder.RequestFile(QString::fromStdString(path));
    recorder.m_nRecordState = kRecording;  // Start came before any frame
    Feed(frame, 64, 48, 32, 3);
    const CRecorder::Result r = End(frame, 64, 48, 32);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(ProbeVideo(path).at("nb_read_frames"), "3");
}

TEST_F(Recording, AFrameOfAnotherSizeIsScaledIntoTheRecording) {
    const auto small = Quadrants(64, 48, 24), large = Quadrants(160, 120, 32);
    const std::string path = dir.file("resized.mp4");
    Begin(path, small, 64, 48, 24);
    Feed(small, 64, 48, 24, 3);
    Feed(large, 160, 120, 32, 3);  // the camera changed its resolution and depth
    EXPECT_EQ(End(small, 64, 48, 24).frames, 6);
    EXPECT_EQ(recorder.ScalersMade(), 2);
    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.at("width"), "64");
    EXPECT_EQ(probe.at("nb_read_frames"), "6");
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    cv::Mat decoded;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(video.read(decoded));
    EXPECT_GT(decoded.at<cv::Vec3b>(12, 16)[2], 200);  // still red top-left
}

TEST_F(Recording, AnEncoderThatCannotOpenIsReportedAndNothingIsWrittenOnIt) {
    const struct {
        std::string path;
        int w, h;
        const char* reason;
    } cases[] = {{dir.file("missing/folder/x.mp4"), 64, 48, "Failed to open output file!"},
                 {dir.file("tiny.mp4"), 1, 1, "Failed to open encoder!"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto frame = Quadrants(c.w, c.h, 24);
        recorder.RequestFile(QString::fromStdString(c.path));
        recorder.RecordFrame(frame.data(), c.w, c.h, 24);
        EXPECT_EQ(recorder.m_nRecordState.load(), kRecordOpen);
        const CRecorder::Status s = recorder.GetStatus();
        EXPECT_FALSE(s.open);
        EXPECT_NE(s.error.find(c.reason), std::string::npos) << s.error;
        recorder.m_nRecordState = kRecording;
        Feed(frame, c.w, c.h, 24, 3);
        EXPECT_EQ(recorder.GetStatus().frames, 0);
        recorder.m_nRecordState = kRecordFinishRequested;
        recorder.RecordFrame(frame.data(), c.w, c.h, 24);
        EXPECT_TRUE(recorder.WaitFinished(10s));
        EXPECT_TRUE(recorder.Finished().empty());  // nothing was finished on it
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(c.path)));
    }
}

TEST_F(Recording, EndingWithoutFurtherFramesFinishesOrRemovesTheFile) {
    const auto frame = Quadrants(64, 48, 24);
    // Recording: finished into a playable file although no frame comes after it.
    const std::string path = dir.file("gone.mp4");
    Begin(path, frame, 64, 48, 24);
    Feed(frame, 64, 48, 24, 5);
    recorder.EndRecording();
    EXPECT_EQ(recorder.m_nRecordState.load(), kRecordIdle);
    ASSERT_TRUE(recorder.WaitFinished(30s));
    EXPECT_TRUE(recorder.Finished().back().ok);
    EXPECT_EQ(ProbeVideo(path).at("nb_read_frames"), "5");
    // A later frame does not reopen it.
    Feed(frame, 64, 48, 24, 2);
    EXPECT_EQ(recorder.Finished().size(), 1u);

    // Chosen and opened but never started: the empty file goes.
    const std::string unused = dir.file("unused.mp4");
    recorder.RequestFile(QString::fromStdString(unused));
    recorder.RecordFrame(frame.data(), 64, 48, 24);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(unused)));
    recorder.EndRecording();
    ASSERT_TRUE(recorder.WaitFinished(30s));
    EXPECT_TRUE(recorder.Finished().back().discarded);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(unused)));
}

TEST_F(Recording, AnotherPathBeforeStartGivesUpTheFirstFile) {
    const auto frame = Quadrants(64, 48, 24);
    const std::string first = dir.file("first.mp4"), second = dir.file("second.mp4");
    recorder.RequestFile(QString::fromStdString(first));
    recorder.RecordFrame(frame.data(), 64, 48, 24);
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(first)));
    Begin(second, frame, 64, 48, 24);
    Feed(frame, 64, 48, 24, 4);
    EXPECT_TRUE(End(frame, 64, 48, 24).ok);
    const auto finished = recorder.Finished();
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_TRUE(finished[0].discarded);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(first)));
    EXPECT_EQ(ProbeVideo(second).at("nb_read_frames"), "4");
}

// PSNR of two 8-bit pictures of one size.
double Psnr(const cv::Mat& a, const cv::Mat& b) {
    const double mse = cv::norm(a, b, cv::NORM_L2SQR) / static_cast<double>(a.total() * a.channels());
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Frames of a simulated camera go through the recorder as the live path hands them over; the
// first ones are kept as the camera delivered them.
struct CameraTap {
    CRecorder* recorder = nullptr;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<cv::Mat> delivered;  // top row first, B,G,R
    int recorded = 0;

    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
        auto* self = static_cast<CameraTap*>(user);
        if (!frame || !header) return 1;
        const int w = header->biWidth, h = header->biHeight, bits = header->biBitCount;
        std::lock_guard lock(self->mutex);
        if (self->recorded >= 8) return 1;
        self->recorder->RecordFrame(frame, w, h, bits);
        cv::Mat dib(h, w, bits == 32 ? CV_8UC4 : CV_8UC3, frame, static_cast<size_t>(DibStride(w, bits)));
        cv::Mat bgr, upright;
        if (bits == 32)
            cv::cvtColor(dib, bgr, cv::COLOR_BGRA2BGR);
        else
            bgr = dib.clone();
        cv::flip(bgr, upright, 0);
        self->delivered.push_back(upright(cv::Rect(0, 0, w & ~1, h & ~1)).clone());
        ++self->recorded;
        self->cv.notify_all();
        return 1;
    }
};

class RecordingCamera : public ::testing::TestWithParam<int> {};

TEST_P(RecordingCamera, DecodedFramesMatchWhatTheCameraDelivered) {
    const int kind = GetParam();
    setenv("NORVANESCOPE_SIM_CAMERAS", "none,maker=1,mc-a=1", 1);
    CCameraManager& cm = theCameraManager();
    cm.Startup();
    int count = 0;
    cm.EnumerateDevices(&count);
    int device = -1;
    for (const auto& e : cm.Devices())
        if (e.kind == kind) device = e.listIndex;
    ASSERT_GE(device, 0);
    ASSERT_TRUE(cm.SelectDevice(device));

    TempDir dir;
    const std::string path = dir.file("camera.mp4");
    CRecorder recorder;
    recorder.RequestFile(QString::fromStdString(path));
    recorder.m_nRecordState = kRecording;
    CameraTap tap;
    tap.recorder = &recorder;
    ASSERT_EQ(cm.OpenCamera(nullptr, &CameraTap::Sink, &tap), 0);
    cm.Play();
    {
        std::unique_lock lock(tap.mutex);
        ASSERT_TRUE(tap.cv.wait_for(lock, 60s, [&] { return tap.recorded >= 8; }));
    }
    cm.Stop();
    cm.CloseCamera();
    cm.Shutdown();
    unsetenv("NORVANESCOPE_SIM_CAMERAS");
    recorder.EndRecording();
    ASSERT_TRUE(recorder.WaitFinished(30s));
    ASSERT_TRUE(recorder.Finished().back().ok) << recorder.Finished().back().error;

    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    ASSERT_TRUE(video.isOpened());
    for (size_t i = 0; i < tap.delivered.size(); ++i) {
        cv::Mat decoded;
        ASSERT_TRUE(video.read(decoded)) << i;
        const cv::Mat& truth = tap.delivered[i];
        ASSERT_EQ(decoded.size(), truth.size());
        cv::Mat flipped, swapped;
        cv::flip(truth, flipped, 0);
        cv::cvtColor(truth, swapped, cv::COLOR_BGR2RGB);
        const double same = Psnr(decoded, truth);
        std::printf("frame %zu: %.1f dB (upside down %.1f, red and blue swapped %.1f)\n", i, same,
                    Psnr(decoded, flipped), Psnr(decoded, swapped));
        // 400 kbit/s leaves visible loss, but the picture is the camera's, upright, in its colours.
        EXPECT_GT(same, 28.0) << i;
        EXPECT_GT(same, Psnr(decoded, flipped) + 2.0) << i;
        EXPECT_GT(same, Psnr(decoded, swapped) + 3.0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, RecordingCamera, ::testing::Values(int{KindMaker}, int{KindModule1}),
                         [](const auto& info) { return info.param == KindMaker ? "maker_32bit" : "module_24bit"; });

}  // namespace
