// The series maker and the stitch, hdr and edf commands of norvanescope-cli on simulated
// cameras: the stitched grid against the series' truth file, results read back with OpenCV,
// and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>

#include "test_support.h"

namespace {

ProcessResult Cli(const std::vector<std::string>& args) {
    return RunProcess(BinPath("norvanescope-cli"), args);
}

struct Offset {
    double x = 0, y = 0;
};

// "NNNN.png x=X y=Y ..." lines of a truth file.
std::map<std::string, Offset> ReadTruth(const std::string& path) {
    std::map<std::string, Offset> out;
    std::ifstream in(path);
    std::string line;
    const std::regex re(R"((\d{4}\.png) x=(-?[\d.]+) y=(-?[\d.]+).*)");
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_match(line, m, re)) out[m[1]] = {std::stod(m[2]), std::stod(m[3])};
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// The pictures a series printed ("saved PATH" lines), in order.
std::vector<std::string> Saved(const ProcessResult& r) {
    std::vector<std::string> out;
    for (const std::string& l : Lines(r.out))
        if (l.rfind("saved ", 0) == 0) out.push_back(l.substr(6));
    return out;
}

class CliAdvanced : public ::testing::Test {
protected:
    void SetUp() override { setenv("NORVANESCOPE_SIM_CAMERAS", "none,maker=2,mc-a=1", 1); }
    void TearDown() override { unsetenv("NORVANESCOPE_SIM_CAMERAS"); }
    TempDir dir;
};

// Device 0 is MC-A (a driver module, 320 x 240 stills of its whole sensor), device 2 the maker
// library's 1280 x 1024 camera.
TEST_F(CliAdvanced, StitchedGridLandsWithinAPixelOfTheTruthFile) {
    for (const char* device : {"0", "2"}) {
        SCOPED_TRACE(device);
        const std::string out = dir.file(std::string("grid") + device);
        const ProcessResult s = Cli({"series", "--device", device, "--grid", "3x2", "--overlap",
                                     "0.25", "--jitter", "12", out});
        ASSERT_EQ(s.exitCode, 0) << s.err;
        const std::vector<std::string> pictures = Saved(s);
        ASSERT_EQ(pictures.size(), 6u);
        EXPECT_EQ(pictures[5], out + "/0005.png");
        const std::map<std::string, Offset> truth = ReadTruth(out + "/truth.txt");
        ASSERT_EQ(truth.size(), 6u);

        std::vector<std::string> args = {"stitch", out + "/mosaic.tif"};
        args.insert(args.end(), pictures.begin(), pictures.end());
        const ProcessResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::regex tile(R"(tile (\d+) x=(-?\d+\.\d\d) y=(-?\d+\.\d\d))");
        std::vector<Offset> placed;
        int width = 0, height = 0;
        for (const std::string& l : Lines(r.out)) {
            std::smatch m;
            if (std::regex_match(l, m, tile)) {
                EXPECT_EQ(std::stoi(m[1]), static_cast<int>(placed.size()));
                placed.push_back({std::stod(m[2]), std::stod(m[3])});
            }
            if (l.rfind("width ", 0) == 0) width = std::stoi(l.substr(6));
            if (l.rfind("height ", 0) == 0) height = std::stoi(l.substr(7));
        }
        ASSERT_EQ(placed.size(), 6u);
        for (size_t i = 0; i < 6; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%04zu.png", i);
            const Offset t = truth.at(name);
            EXPECT_NEAR(placed[i].x - placed[0].x, t.x, 1.0) << name;
            EXPECT_NEAR(placed[i].y - placed[0].y, t.y, 1.0) << name;
        }
        EXPECT_EQ(Lines(r.out).back(), "saved " + out + "/mosaic.tif");
        const cv::Mat mosaic = cv::imread(out + "/mosaic.tif");
        EXPECT_EQ(mosaic.cols, width);
        EXPECT_EQ(mosaic.rows, height);
    }
}

TEST_F(CliAdvanced, ExposureAndFocusSeriesFuse) {
    const std::string exp = dir.file("exposures"), foc = dir.file("focus");
    const ProcessResult e =
        Cli({"series", "--device", "0", "--exposures", "2500,10000,40000", exp});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    std::ifstream truth(exp + "/truth.txt");
    const std::string text((std::istreambuf_iterator<char>(truth)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("exposure=10000\n0002.png"), std::string::npos) << text;
    // The field stays where it is (the stage is held against its slow wander).
    for (const auto& [name, offset] : ReadTruth(exp + "/truth.txt"))
        EXPECT_LT(std::hypot(offset.x, offset.y), 0.1) << name;
    std::vector<std::string> args = {"hdr", dir.file("hdr.jpg")};
    for (const std::string& p : Saved(e)) args.push_back(p);
    const ProcessResult h = Cli(args);
    ASSERT_EQ(h.exitCode, 0) << h.err;
    EXPECT_EQ(Lines(h.out), (std::vector<std::string>{"width 320", "height 240",
                                                      "saved " + dir.file("hdr.jpg")}));

    const ProcessResult f = Cli({"series", "--device", "0", "--focus", "-4:4:2", foc});
    ASSERT_EQ(f.exitCode, 0) << f.err;
    ASSERT_EQ(Saved(f).size(), 5u);
    args = {"edf", dir.file("edf.png")};
    for (const std::string& p : Saved(f)) args.push_back(p);
    const ProcessResult d = Cli(args);
    ASSERT_EQ(d.exitCode, 0) << d.err;
    EXPECT_EQ(Lines(d.out), (std::vector<std::string>{"width 320", "height 240",
                                                      "saved " + dir.file("edf.png")}));
    EXPECT_EQ(cv::imread(dir.file("edf.png")).cols, 320);
}

TEST_F(CliAdvanced, BadInputIsRefusedWithAReason) {
    const cv::Mat a(60, 80, CV_8UC3, cv::Scalar(30, 60, 90));
    cv::imwrite(dir.file("a.png"), a);
    cv::Mat b(60, 80, CV_8UC3);
    cv::randu(b, 0, 255);
    cv::imwrite(dir.file("b.png"), b);
    cv::imwrite(dir.file("wide.png"), cv::Mat(60, 90, CV_8UC3, cv::Scalar(1, 2, 3)));
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string reason;
    } cases[] = {
        {{"stitch", dir.file("o.jpg"), dir.file("a.png")},
         2,
         "usage: norvanescope-cli stitch OUT IN IN..."},
        {{"stitch", dir.file("o.jpg"), dir.file("a.png"), dir.file("missing.png")},
         1,
         "norvanescope-cli: cannot read \"" + dir.file("missing.png") + "\""},
        {{"hdr", dir.file("o.xyz"), dir.file("a.png"), dir.file("b.png")},
         1,
         "norvanescope-cli: no handler for the extension of \"" + dir.file("o.xyz") + "\""},
        {{"stitch", dir.file("o.jpg"), dir.file("a.png"), dir.file("b.png")},
         1,
         "norvanescope-cli: StitchingError"},
        {{"edf", dir.file("o.jpg"), dir.file("a.png"), dir.file("wide.png")},
         1,
         "norvanescope-cli: EDF: the pictures differ in size (80 x 60 and 90 x 60): a focus series "
         "shows one field"},
        {{"series", "--device", "0", "--grid", "1x1", "--overlap", "0.2", dir.file("s")},
         1,
         "norvanescope-cli: --grid needs COLUMNSxROWS, at least 2 and at most 400 fields"},
        {{"series", "--device", "0", "--grid", "2x2", "--overlap", "1.5", dir.file("s")},
         1,
         "norvanescope-cli: --overlap needs a fraction above 0 and below 1"},
        {{"series", "--device", "0", "--exposures", "100", dir.file("s")},
         1,
         "norvanescope-cli: --exposures needs at least two exposures"},
        {{"series", "--device", "0", "--focus", "0:2:1", "--exposures", "1,2", dir.file("s")},
         1,
         "norvanescope-cli: give one of --grid, --exposures and --focus"},
        {{"series", "--device", "7", "--focus", "0:2:1", dir.file("s")},
         1,
         "norvanescope-cli: no camera 7 (there are 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exit);
        EXPECT_EQ(Lines(r.err), std::vector<std::string>{c.reason});
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

}  // namespace
