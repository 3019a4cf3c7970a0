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

TEST_F(CliCamera, PropsSetsInOrderAndReadsBack) {
    // Devices: 0 MC-B, 3 the emulated UVC camera, 4 the maker camera.
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> lines;  // the whole output
    };
    const Case cases[] = {
        // A module applies exposure in whole rows: 25000 us at 27 us a row (high speed) is 925 rows.
        {{"--device", "0", "--set", "speed=1", "--set", "exposure-us=25000", "--get", "gain"},
         {"speed 1", "exposure-us 24975", "gain 1"}},
        {{"--device", "0", "--set", "wb=74,64,96", "--set", "mains=1", "--set", "hflip=1"},
         {"wb 74,64,96", "mains 1", "hflip 1"}},
        {{"--device", "4", "--set", "wb=150,100,75", "--set", "sharpen=on,60", "--set", "gain=4", "--get", "speed",
          "--get", "ae"},
         {"wb 150,100,75", "sharpen on,60", "gain 4", "speed 0", "ae 0"}},
        {{"--device", "4", "--set", "sharpen=off", "--set", "hue=-20", "--set", "hue=25"}, {"sharpen off", "hue 25"}},
        // UVC: by property number or plain name; exposure manual, then automatic.
        {{"--device", "3", "--set", "uvc:14=120", "--set", "brightness=10", "--get", "uvc:0"},
         {"uvc:14 120", "brightness 10", "uvc:0 10"}},
        // Automatic exposure leaves the time to the camera.
        {{"--device", "3", "--set", "uvc:14=120,auto", "--set", "uvc:7=5000"}, {"uvc:14 100,auto", "uvc:7 5000"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"props"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << c.args[1] << ": " << r.err;
        std::string expected;
        for (const std::string& l : c.lines) expected += l + "\n";
        EXPECT_EQ(r.out, expected) << c.args[1];
    }
    // Without sets the settings are listed as the camera describes them.
    const ProcessResult all = Cli({"props", "--device", "0"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    for (const char* line : {"setting wb rgb min=20 max=200 step=1 unit=1/64\n", "setting speed choice min=0 max=1 ",
                             "setting exposure-us number min=1 max="})
        EXPECT_NE(all.out.find(line), std::string::npos) << line << "\n" << all.out;
}

TEST_F(CliCamera, PropsRefusesBadSettingsWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"--device", "0", "--set", "colour=3"}, "unknown property \"colour\""},
        {{"--device", "0", "--set", "gain=2", "--set", "hue=3"}, "camera 0 (MC-B) has no property \"hue\""},
        {{"--device", "0", "--set", "gain=2", "--set", "gain=99"}, "gain: 99 is out of range (1 to 48)"},
        {{"--device", "0", "--set", "speed=2"}, "speed: 2 is out of range (0 to 1)"},
        {{"--device", "0", "--set", "wb=1,2"}, "wb: \"1,2\" is not three numbers R,G,B"},
        {{"--device", "4", "--set", "sharpen=on"}, "sharpen: \"on\" is not on,LEVEL or off"},
        {{"--device", "3", "--set", "uvc:0=3,auto"}, "brightness: has no automatic mode"},
        {{"--device", "3", "--get", "uvc:99"}, "camera 3 (Emulated UVC Camera 1) has no property \"uvc:99\""},
        {{"--device", "3", "--get", "gamma", "--set", "ae=1"}, "camera 3 (Emulated UVC Camera 1) has no property \"ae\""},
        {{"--device", "0", "--set", "gain"}, "--set needs NAME=VALUE, not \"gain\""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"props"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 1) << c.err;
        EXPECT_EQ(r.err, "norvanescope-cli: " + c.err + "\n");
        // A bad argument sets nothing and prints nothing.
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(CliCamera, AFailingCameraSaysWhy) {
    setenv("NORVANESCOPE_SIM_CAMERAS", "none,maker=1:busy,mc-b=1:silent", 1);
    unsetenv("NORVANESCOPE_FAKE_V4L2");
    // Device 0 is the MC-B camera, 1 the maker camera.
    const ProcessResult busy = Cli({"props", "--device", "1"});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_EQ(busy.err, "norvanescope-cli: cannot open camera 1 (NS-5MP Color): camera 0 is in use by another program\n");
    const ProcessResult silent = Cli({"snap", "--device", "0", dir.file("x.png")});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_EQ(silent.err, "norvanescope-cli: camera 0 (MC-B) delivered no frames within 10 s\n");
}

}  // namespace
