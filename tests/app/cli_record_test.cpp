// The record and interval commands of norvanescope-cli on simulated cameras: the files they
// write read back by ffprobe and OpenCV, a recording killed half-way, and their bad arguments.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <opencv2/imgcodecs.hpp>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "test_support.h"

namespace {

ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(BinPath("norvanescope-cli"), args); }

std::map<std::string, std::string> Facts(const std::string& out) {
    std::map<std::string, std::string> facts;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        if (space != std::string::npos) facts[line.substr(0, space)] = line.substr(space + 1);
    }
    return facts;
}

// Device 0 is MC-A (1280 x 1024, 24 bits), device 1 the maker camera (32 bits).
class CliRecord : public ::testing::Test {
protected:
    void SetUp() override { setenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1,maker=1", 1); }
    void TearDown() override { unsetenv("NORVANESCOPE_SIM_CAMERAS"); }
    TempDir dir;
};

TEST_F(CliRecord, OneSecondAtEitherDepthMakesAThreeSecondBaselineFile) {
    const struct {
        const char* device;
        const char* depth;  // null: the camera's own
    } cases[] = {{"0", nullptr}, {"1", "24"}, {"0", "32"}};
    for (const auto& c : cases) {
        const std::string out = dir.file(std::string("rec") + c.device + (c.depth ? c.depth : ""));
        std::vector<std::string> args = {"record", "--device", c.device, "--seconds", "1"};
        if (c.depth) args.insert(args.end(), {"--depth", c.depth});
        args.push_back(out);
        const ProcessResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto facts = Facts(r.out);
        // OUT without ".mp4" gets it, as the dialog does.
        EXPECT_EQ(facts["saved"], out + ".mp4");
        const auto probe = ProbeVideo(out + ".mp4");
        EXPECT_EQ(probe.count("error"), 0u) << probe.at("error");
        EXPECT_EQ(probe.at("codec_name"), "h264");
        EXPECT_EQ(probe.at("profile"), "Constrained Baseline");
        EXPECT_EQ(probe.at("nb_read_frames"), facts["frames"]);
        EXPECT_GT(std::stoi(facts["frames"]), 0);
        EXPECT_EQ(probe.at("width"), facts["width"]);
        EXPECT_EQ(probe.at("height"), facts["height"]);
        EXPECT_GE(std::stod(probe.at("duration")), 3.0);
    }
}

TEST_F(CliRecord, APauseShowsAsAJumpInTheTimestamps) {
    const std::string out = dir.file("paused.mp4");
    const ProcessResult r = Cli({"record", "--device", "0", "--seconds", "1.2", "--pause-at", "0.6", "--pause-for",
                                 "1.5", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<double> t = VideoPacketTimes(out);
    ASSERT_GT(t.size(), 4u);
    double largest = 0;
    for (size_t i = 1; i < t.size(); ++i) largest = std::max(largest, t[i] - t[i - 1]);
    EXPECT_GE(largest, 1.5);
    EXPECT_LT(largest, 4.0);
}

TEST_F(CliRecord, ARecordingKilledHalfWayStillPlays) {
    const std::string out = dir.file("killed.mp4");
    QProcess p;
    p.start(QString::fromStdString(BinPath("norvanescope-cli")),
            {"record", "--device", "0", "--seconds", "30", QString::fromStdString(out)});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Killed once more than two seconds of it are in the file.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the recording did not grow";
        const std::vector<double> t = VideoPacketTimes(out);
        if (!t.empty() && t.back() >= 2.0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    const auto probe = ProbeVideo(out);
    ASSERT_TRUE(probe.count("nb_read_frames")) << (probe.count("error") ? probe.at("error") : "");
    EXPECT_EQ(probe.at("codec_name"), "h264");
    EXPECT_GT(std::stoi(probe.at("nb_read_frames")), 1);
    EXPECT_GE(VideoPacketTimes(out).back(), 2.0);
}

TEST_F(CliRecord, BadRequestsFailWithOneLine) {
    const std::string out = dir.file("bad.mp4");
    const std::vector<std::vector<std::string>> bad = {
        {"record", "--device", "0", out},                                                 // no --seconds
        {"record", "--device", "0", "--seconds", "1"},                                    // no OUT
        {"record", "--device", "0", "--seconds", "0", out},                               // not above 0
        {"record", "--device", "0", "--seconds", "1", "--depth", "16", out},              // depth
        {"record", "--device", "0", "--seconds", "1", "--pause-at", "0.5", out},          // alone
        {"record", "--device", "0", "--seconds", "1", "--pause-at", "2", "--pause-for", "1", out},  // after the end
        {"record", "--device", "7", "--seconds", "1", out},                               // no such camera
        {"record", "--device", "0", "--seconds", "1", dir.file("no/such/folder/x.mp4")},  // cannot write
        {"interval", "--device", "0", "--images", "0", "--interval", "1"},
        {"interval", "--device", "0", "--images", "2", "--interval", "5401"},
        {"interval", "--device", "0", "--images", "2", "--interval", "1", "--wait", "101"},
        {"interval", "--device", "0", "--images", "2", "--interval", "1", "--setting", "Prefix=x"},
        {"interval", "--device", "0", "--images", "2"},
    };
    for (const auto& args : bad) {
        const ProcessResult r = Cli(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_NE(r.exitCode, 0) << joined;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << joined << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << joined;
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
}

TEST_F(CliRecord, IntervalSavesEachPictureByTheSaveSettings) {
    const std::string folder = dir.file("series");
    const ProcessResult r = Cli({"interval", "--device", "0", "--images", "3", "--interval", "1", "--wait", "0",
                                 "--setting", "Save.Prefix=img", "--setting", "Save.Suffix=7", "--setting",
                                 "Save.FilePath=" + folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::regex line(R"(saved (.+) at (\d+\.\d\d))");
    std::istringstream in(r.out);
    std::vector<double> at;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        EXPECT_EQ(m[1].str(), folder + "/img" + std::to_string(7 + at.size()) + ".jpg");
        const cv::Mat picture = cv::imread(m[1].str());
        EXPECT_EQ(picture.cols, 1280);
        EXPECT_EQ(picture.rows, 1024);
        at.push_back(std::stod(m[2].str()));
    }
    ASSERT_EQ(at.size(), 3u);
    // Never before Start + n intervals.
    for (size_t n = 0; n < at.size(); ++n) EXPECT_GE(at[n], n + 1.0);
}

}  // namespace
