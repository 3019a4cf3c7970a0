// The camera commands of norvanescope-cli on the simulated cameras and an emulated UVC camera.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "test_support.h"

namespace {

ProcessResult Cli(const std::vector<std::string>& args) {
    return RunProcess(BinPath("norvanescope-cli"), args);
}

// "key value" lines into a map.
std::map<std::string, std::string> Facts(const std::string& out) {
    std::map<std::string, std::string> facts;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space != std::string::npos) facts[line.substr(0, space)] = line.substr(space + 1);
    }
    return facts;
}

class CliCamera : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("NORVANESCOPE_SIM_CAMERAS", "maker=1,mc-a=0,mc-b=2,mc-c=0,mc-d=1", 1);
        setenv("NORVANESCOPE_FAKE_V4L2", "1", 1);
    }
    void TearDown() override {
        unsetenv("NORVANESCOPE_SIM_CAMERAS");
        unsetenv("NORVANESCOPE_FAKE_V4L2");
    }
    TempDir dir;
};

TEST_F(CliCamera, ListsEveryFamilyInOrder) {
    const ProcessResult r = Cli({"cameras"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::regex line(R"re((\d+) kind=(\d) lib=(\d+) name="([^"]*)")re");
    std::istringstream in(r.out);
    std::vector<std::string> rows;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        std::string row = m[1].str() + " " + m[2].str() + " " + m[3].str();
        // Maker names are the library's own; the others are fixed.
        if (m[2] == "5") {
            EXPECT_FALSE(m[4].str().empty());
        } else {
            row += " ";
            row += m[4].str();
        }
        rows.push_back(row);
    }
    const std::vector<std::string> expected = {"0 2 0 MC-B", "1 2 1 MC-B", "2 4 0 MC-D",
                                               "3 0 0 Emulated UVC Camera 1", "4 5 0"};
    EXPECT_EQ(rows, expected);
}

TEST_F(CliCamera, SnapsAStillOfEveryFamily) {
    // device, still index ("" = the camera's own), expected size
    struct Case {
        int device;
        std::string still;
        int width, height;
    };
    const Case cases[] = {
        {0, "2", 2048, 1536},  // MC-B's largest
        {2, "", 1280, 960},    // MC-D hands over a live frame at its live size
        {4, "", 0, 0},         // maker: its own still size
        {3, "0", 0, 0},        // UVC
    };
    for (const Case& c : cases) {
        const std::string out = dir.file("snap" + std::to_string(c.device) + ".png");
        std::vector<std::string> args = {"snap", "--device", std::to_string(c.device)};
        if (!c.still.empty()) args.insert(args.end(), {"--still-index", c.still});
        args.push_back(out);
        const ProcessResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << "device " << c.device << ": " << r.err;
        const auto facts = Facts(r.out);
        const int w = std::stoi(facts.at("width")), h = std::stoi(facts.at("height"));
        if (c.width) {
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(h, c.height);
        }
        const cv::Mat picture = cv::imread(out, cv::IMREAD_COLOR);
        ASSERT_FALSE(picture.empty()) << out;
        EXPECT_EQ(picture.cols, w);
        EXPECT_EQ(picture.rows, h);
        cv::Scalar mean, deviation;
        cv::meanStdDev(picture, mean, deviation);
        EXPECT_GT(deviation[1], 2.0) << "device " << c.device << " snapped a flat picture";
    }
}

TEST_F(CliCamera, StreamsAndCountsFrames) {
    const ProcessResult r = Cli({"stream", "--device", "4", "--seconds", "2.5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto facts = Facts(r.out);
    for (const char* key : {"frames", "capture-fps", "width", "height", "bits"}) ASSERT_TRUE(facts.count(key)) << key;
    EXPECT_GT(std::stoi(facts.at("frames")), 2);
    EXPECT_GT(std::stod(facts.at("capture-fps")), 0.0);
    EXPECT_EQ(facts.at("bits"), "32");  // maker live frames
    EXPECT_GT(std::stoi(facts.at("width")), 0);
}

TEST_F(CliCamera, ReportsResolutionsFormatsAndRanges) {
    const ProcessResult r = Cli({"props", "--device", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line : {"live-resolution 0 640x480\n", "live-resolution 2 2048x1536\n",
                             "still-resolution 1 1024x768\n", "media-type 0 RGB24\n", "gain-range min=1 max=48\n",
                             "property 1 status=0 min=20 max=255 ", "property 6 status=1 "})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_NE(r.out.find("property 14 status=0 min=1 max="), std::string::npos) << r.out;
}

TEST_F(CliCamera, BadRequestsFailWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    };
    const Case cases[] = {
        {{"snap", "--device", "9", dir.file("x.png")}, 1, "norvanescope-cli: no camera 9 (there are 5)\n"},
        {{"stream", "--device", "0"}, 2, "usage: norvanescope-cli stream --device N --seconds S\n"},
        {{"stream", "--device", "0", "--seconds", "-1"}, 1,
         "norvanescope-cli: --seconds needs a number of seconds above 0 (at most 3600)\n"},
        {{"props", "--device", "x"}, 1, "norvanescope-cli: --device needs a number of 0 or more\n"},
        {{"snap", "--device", "0", "--still-index", "7", dir.file("x.png")}, 1,
         "norvanescope-cli: no still resolution 7 (there are 3)\n"},
        {{"snap", "--device", "0", dir.file("x.unknown")}, 1,
         "norvanescope-cli: cannot write \"" + dir.file("x.unknown") + "\"\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0];
        EXPECT_EQ(r.err, c.err);
    }
}

}  // namespace
