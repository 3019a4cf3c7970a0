// norvanescope-cli as scripts use it: exact output lines, exit status, one-line reasons.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "image/obj_image.h"
#include "test_support.h"

namespace {

ProcessResult Cli(const std::vector<std::string>& args) {
    return RunProcess(BinPath("norvanescope-cli"), args);
}

int Lines(const std::string& s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        FCObjImage grey;
        ASSERT_TRUE(grey.Allocate(33, 21, 8));
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 33; ++x) grey.WritePixel(x, y, (x * 7 + y) & 0xFF);
        ASSERT_TRUE(grey.SaveToFile(dir.file("grey.bmp")));
        ASSERT_TRUE(grey.SaveToFile(dir.file("grey.png")));
        const ProcessResult r =
            RunProcess("convert", {dir.file("grey.png"), dir.file("grey.png"), dir.file("grey.png"),
                                   dir.file("three.tif")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    TempDir dir;
};

}  // namespace

TEST_F(CliTest, Info) {
    struct Case {
        const char* file;
        const char* out;
    } cases[] = {
        {"grey.bmp", "width 33\nheight 21\nbits 8\nframes 1\n"},
        {"grey.png", "width 33\nheight 21\nbits 8\nframes 1\n"},
        {"three.tif", "width 33\nheight 21\nbits 8\nframes 3\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Cli({"info", dir.file(c.file)});
        EXPECT_EQ(r.exitCode, 0) << c.file << r.err;
        EXPECT_EQ(r.out, c.out) << c.file;
    }
}

TEST_F(CliTest, ConvertToTrueColourOrKeepingTheDepth) {
    ProcessResult r = Cli({"convert", dir.file("grey.bmp"), dir.file("out.tga")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Cli({"info", dir.file("out.tga")}).out, "width 33\nheight 21\nbits 24\nframes 1\n");
    r = Cli({"convert", dir.file("grey.bmp"), dir.file("kept.png"), "--keep-depth"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Cli({"info", dir.file("kept.png")}).out, "width 33\nheight 21\nbits 8\nframes 1\n");
    // Same pixels either way.
    FCObjImage a, b;
    ASSERT_TRUE(a.LoadFromFile(dir.file("out.tga")));
    ASSERT_TRUE(b.LoadFromFile(dir.file("kept.png")));
    b.ToTrueColor24();
    EXPECT_EQ(0, memcmp(a.GetMemStart(), b.GetMemStart(), a.PixelBytes()));
}

TEST_F(CliTest, FailuresNameTheReasonInOneLine) {
    WriteFileBytes(dir.file("broken.bmp"), {'B', 'M', 1, 2, 3});
    struct Case {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"info", dir.file("a.pcx")}, "no handler for the extension"},
        {{"info", dir.file("missing.png")}, "cannot read"},
        {{"info", dir.file("broken.bmp")}, "cannot read"},
        {{"convert", dir.file("grey.bmp"), dir.file("out.ico")}, "no handler for the extension"},
        {{"convert", dir.file("grey.bmp"), dir.file("out")}, "no handler for the extension"},
        {{"convert", dir.file("a.xyz"), dir.file("out.png")}, "no handler for the extension"},
        {{"convert", dir.file("broken.bmp"), dir.file("out.png")}, "cannot read"},
        {{"convert", dir.file("grey.bmp"), dir.file("no/such/folder/out.png")}, "cannot write"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Cli(c.args);
        EXPECT_NE(r.exitCode, 0) << c.args[1];
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"info"}, {"convert", dir.file("grey.bmp")}}) {
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "no arguments" : args[0]);
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
}
