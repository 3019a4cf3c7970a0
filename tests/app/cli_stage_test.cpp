// norvanescope-cli stage: a script steers a simulated camera's stage and reads where it truly
// is, in micrometres and in live pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "test_support.h"

namespace {

struct Position {
    double xUm = 0, yUm = 0, xPx = 0, yPx = 0;
};

// The "position X Y um X Y px" lines of the output.
std::vector<Position> Positions(const std::string& out) {
    std::vector<Position> found;
    std::istringstream in(out);
    std::string word, um, px;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        Position p;
        if (l >> word && word == "position" && l >> p.xUm >> p.yUm >> um >> p.xPx >> p.yPx >> px && um == "um" &&
            px == "px")
            found.push_back(p);
    }
    return found;
}

TEST(CliStage, MovesPathsAndTruePositions) {
    setenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1,maker=1", 1);
    TempDir dir;
    const std::string path = "# serpentine\n0 -20\n640, -20\n640 300\n";
    WriteFileBytes(dir.file("path.txt"), std::vector<uint8_t>(path.begin(), path.end()));
    const ProcessResult r = RunProcess(BinPath("norvanescope-cli"),
                                       {"stage", "--device", "0", "--still", "--to", "100,200", "--by", "-10,5",
                                        "--pixels", "20,0", "--path", dir.file("path.txt"), "--speed", "50000"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_NE(r.out.find("microns-per-pixel 0.500000 0.500000"), std::string::npos) << r.out;
    const std::vector<Position> p = Positions(r.out);
    ASSERT_EQ(p.size(), 7u) << r.out;
    EXPECT_DOUBLE_EQ(p[1].xUm, 100);
    EXPECT_DOUBLE_EQ(p[1].yUm, 200);
    EXPECT_DOUBLE_EQ(p[1].xPx, 200);  // 0.5 um per pixel
    EXPECT_DOUBLE_EQ(p[2].xUm, 90);
    EXPECT_DOUBLE_EQ(p[2].yUm, 205);
    EXPECT_DOUBLE_EQ(p[3].xUm, 80);  // the picture moved 20 pixels right: the field 10 um left
    EXPECT_DOUBLE_EQ(p[4].yUm, -20);
    EXPECT_DOUBLE_EQ(p[5].xUm, 640);
    EXPECT_DOUBLE_EQ(p[6].yPx, 600);

    // Bad requests: one line on stderr, non-zero status, nothing moved.
    WriteFileBytes(dir.file("bad.txt"), {'1', ' ', 'x', '\n'});
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } bad[] = {
        {{"stage", "--device", "0", "--to", "1"}, "--to needs two numbers"},
        {{"stage", "--device", "0", "--path", dir.file("bad.txt")}, "line 1"},
        {{"stage", "--device", "0", "--path", dir.file("missing.txt")}, "cannot read"},
        {{"stage", "--device", "9"}, "no camera 9"},
        {{"stage", "--device", "0", "--speed", "-1"}, "--speed"},
    };
    for (const auto& b : bad) {
        const ProcessResult e = RunProcess(BinPath("norvanescope-cli"), b.args);
        EXPECT_NE(e.exitCode, 0) << b.reason;
        EXPECT_NE(e.err.find(b.reason), std::string::npos) << e.err;
        EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << e.err;
    }
    EXPECT_EQ(RunProcess(BinPath("norvanescope-cli"), {"stage"}).exitCode, 2);
    unsetenv("NORVANESCOPE_SIM_CAMERAS");
}

}  // namespace
