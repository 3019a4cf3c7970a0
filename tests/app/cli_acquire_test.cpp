// The acquisition commands of norvanescope-cli against SANE's "test" backend: the device list,
// feeder batches saved as numbered PNG files (read back with OpenCV and compared with scanimage's
// reading of the same device), and one-line reasons for every way it can fail.

#include <gtest/gtest.h>

#include <QSettings>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "sane_test_support.h"
#include "test_support.h"

namespace {

ProcessResult Cli(const std::vector<std::string>& args) {
    return RunProcess(BinPath("norvanescope-cli"), args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// Our PNG (read by OpenCV, blue-green-red) against scanimage's picture.
int DifferingPixels(const std::string& png, const RgbPicture& truth) {
    const cv::Mat m = cv::imread(png, cv::IMREAD_COLOR);
    if (m.empty() || m.cols != truth.width || m.rows != truth.height) return -1;
    int wrong = 0;
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) {
            const cv::Vec3b p = m.at<cv::Vec3b>(y, x);
            const uint8_t* t = truth.At(x, y);
            wrong += p[2] != t[0] || p[1] != t[1] || p[0] != t[2];
        }
    return wrong;
}

class CliAcquire : public ::testing::Test {
protected:
    // No source used before: the default is nobody's choice.
    void SetUp() override {
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane TECH"),
                  QStringLiteral("NorvaneScope"))
            .remove(QStringLiteral("Acquisition"));
    }
    TempDir dir;
};

}  // namespace

TEST_F(CliAcquire, SourcesListsEverySaneDevice) {
    {
        SaneTestFolder sane;
        const ProcessResult r = Cli({"sources"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out,
                  "0 name=\"test:0\" vendor=\"Noname\" model=\"frontend-tester\" type=\"virtual "
                  "device\"\n"
                  "1 name=\"test:1\" vendor=\"Noname\" model=\"frontend-tester\" type=\"virtual "
                  "device\"\n");
    }
    SaneTestFolder none(SaneTestFolder::Conf{}, false);
    const ProcessResult r = Cli({"sources"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Cli({"sources", "extra"}).exitCode, 2);
}

TEST_F(CliAcquire, FeederPagesAreSavedInOrderAsScanned) {
    SaneTestFolder sane;
    const std::string prefix = dir.file("page");
    const ProcessResult r = Cli({"acquire", "--source", "test:0", "--feeder", "--mode", "Color",
                                 "--resolution", "50", prefix});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 10u) << r.out;
    RgbPicture truth;
    ASSERT_TRUE(
        ScanImageToPnm({"--mode", "Color", "--resolution", "50", "--test-picture", "Color pattern"},
                       dir.file("truth.pnm")));
    ASSERT_TRUE(ReadPnm(dir.file("truth.pnm"), truth));
    for (int n = 1; n <= 10; ++n) {
        char name[16];
        std::snprintf(name, sizeof(name), "_%04d.png", n);
        const std::string path = prefix + name;
        EXPECT_EQ(lines[n - 1],
                  "page " + std::to_string(n) + " width 157 height 196 saved " + path);
        EXPECT_EQ(DifferingPixels(path, truth), 0) << path;
    }
    EXPECT_FALSE(std::ifstream(prefix + "_0011.png").good());
}

TEST_F(CliAcquire, OptionsReachTheDevice) {
    SaneTestFolder sane;
    {
        // Line-art on a device without such a mode: 1-bit grey, black and white.
        const ProcessResult r = Cli({"acquire", "--source", "test:1", "--mode", "Lineart",
                                     "--resolution", "75", dir.file("art")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "page 1 width 236 height 295 saved " + dir.file("art") + "_0001.png\n");
        RgbPicture truth;
        ASSERT_TRUE(ScanImageToPnm({"--mode", "Gray", "--depth", "1", "--resolution", "75",
                                    "--test-picture", "Color pattern"},
                                   dir.file("art.pnm")));
        ASSERT_TRUE(ReadPnm(dir.file("art.pnm"), truth));
        EXPECT_EQ(DifferingPixels(dir.file("art") + "_0001.png", truth), 0);
    }
    {
        // A page limit stops the feeder.
        const ProcessResult r = Cli({"acquire", "--source", "test:0", "--feeder", "--pages", "3",
                                     "--resolution", "25", dir.file("few")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Lines(r.out).size(), 3u);
    }
}

TEST_F(CliAcquire, FailuresGiveOneLineAndNonZeroExit) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* reason;  // part of the one stderr line
    };
    const std::string out = dir.file("x");
    const std::vector<Case> cases = {
        {"unknown device", {"--source", "test:9", out}, 1, "no SANE device named \"test:9\""},
        {"bad depth", {"--source", "test:0", "--depth", "12", out}, 1, "--depth is 1, 8 or 16"},
        {"bad mode",
         {"--source", "test:0", "--mode", "Sepia", out},
         1,
         "--mode is Color, Gray or Lineart"},
        {"bad resolution", {"--source", "test:0", "--resolution", "-3", out}, 1, "--resolution"},
        {"no pages", {"--source", "test:0", "--pages", "0", out}, 1, "--pages"},
        {"line-art of 16 bits",
         {"--source", "test:0", "--mode", "Lineart", "--depth", "16", out},
         1,
         "1 bit"},
        {"resolution out of range",
         {"--source", "test:0", "--resolution", "5000", out},
         1,
         "scans at 1 to 1200 dpi"},
        {"unknown option", {"--source", "test:0", "--fast", out}, 1, "unknown option"},
        {"no source", {out}, 2, "usage:"},
        {"no prefix", {"--source", "test:0"}, 2, "usage:"},
    };
    SaneTestFolder sane;
    for (const Case& c : cases) {
        std::vector<std::string> args = {"acquire"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
    }
    EXPECT_FALSE(std::ifstream(out + "_0001.png").good());
}

TEST_F(CliAcquire, DeviceFailuresCarrySanesReason) {
    {
        SaneTestFolder failing(
            SaneTestFolder::Conf{{"read-status-code", "\"SANE_STATUS_JAMMED\""}});
        const ProcessResult r = Cli({"acquire", "--source", "test:0", dir.file("jam")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err,
                  "norvanescope-cli: The scanner reported an error: Document feeder jammed. No "
                  "page was kept.\n");
    }
    SaneTestFolder none(SaneTestFolder::Conf{}, false);
    const ProcessResult r = Cli({"acquire", "--source", "test:0", dir.file("none")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "norvanescope-cli: no SANE device is attached\n");
}
