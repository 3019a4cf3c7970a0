// norvanescope-cli overlay SCRIPT: the whole engine through its scripting front end.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct ScriptRun {
    ProcessResult result;
    std::vector<std::string> lines;  // stdout lines
};

ScriptRun RunScript(const TempDir& dir, const std::string& script) {
    const std::string path = dir.file("script.txt");
    WriteFileBytes(path, std::vector<uint8_t>(script.begin(), script.end()));
    ScriptRun r;
    r.result = RunProcess(BinPath("norvanescope-cli"), {"overlay", path});
    std::istringstream in(r.result.out);
    for (std::string line; std::getline(in, line);) r.lines.push_back(line);
    return r;
}

TEST(CliOverlayTest, ListsEveryElementWithItsValues) {
    TempDir dir;
    const ScriptRun r = RunScript(dir, R"(# window pixels at zoom 2
calib 1 0.5 0.25 10 10
precision 2
zoom 2
tool 2
down 20 20
move 22 20
move 120 20   # 49 image pixels
up 120 20
zoom 1
tool 3
down 200 100
up 200 100
down 100 100
up 100 100
down 100 0
up 100 0
tool 5
down 0 0
up 0 0
down 10 0
up 10 0
rdown 10 10
tool 204
down 300 300
up 300 300
text "say \"hi\"" "two words"
tool 208
down 50 60
up 50 60
tool 6
down 400 400
move 410 400
up 410 400
list
)");
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    const std::vector<std::string> expected = {
        R"(0 type=9 id=1 points=100,50;50,100 text="10.00 mm\n10.00 mm")",
        R"(1 type=2 id=2 points=60,10;11,10 length=24.5 text="L=24.50 mm")",
        R"(2 type=3 id=3 points=200,100;100,100;100,0 angle=270 text="A=270.00 deg")",
        R"(3 type=5 id=4 points=0,0;10,0;10,10 closed=1 area=6.25 text="S=6.25 mm2")",
        R"(4 type=13 id=5 points=300,300 number=1 text="1")",
        R"(5 type=17 id=6 points=50,60 text="say \"hi\"\ntwo words")",
        R"(6 type=6 id=7 points=400,400;410,400 perimeter=31.4159 area=39.269875 radius=3.75 text="S=39.27 mm2\nR=3.75 mm")",
    };
    EXPECT_EQ(r.lines, expected);
}

TEST(CliOverlayTest, BurnsInAndExports) {
    TempDir dir;
    const ScriptRun r =
        RunScript(dir,
                  "blank 200 100\ncolors 4 2 3 4\nbackground 1\ntool 2\ndown 10 50\nmove 10 50\n"
                  "move 150 50\nup 150 50\nlangid 1036\nexport " +
                      dir.file("m.csv") + "\nburn " + dir.file("b.png") + " measure\n");
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.lines, (std::vector<std::string>{"exported " + dir.file("m.csv"),
                                                 "saved " + dir.file("b.png")}));
    const std::vector<uint8_t> csv = ReadFileBytes(dir.file("m.csv"));
    EXPECT_EQ(std::string(csv.begin(), csv.end()),
              "No.;Type;Result;Unit\n1;Line distance;28.00; um\n");
    const QImage img(QString::fromStdString(dir.file("b.png")));
    ASSERT_FALSE(img.isNull());
    ASSERT_EQ(img.size(), QSize(200, 100));
    // A red line on the black picture from the release point (150, 50) up to, not including,
    // the press point.
    EXPECT_EQ(img.pixel(150, 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(11, 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(10, 50) & 0xFFFFFF, 0u);
    EXPECT_EQ(img.pixel(80, 51) & 0xFFFFFF, 0u);
}

TEST(CliOverlayTest, NothingToExportWithOnlyTheRuler) {
    TempDir dir;
    const ScriptRun r = RunScript(dir, "export " + dir.file("m.csv") + "\n");
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.lines, std::vector<std::string>{"nothing to export"});
    EXPECT_TRUE(ReadFileBytes(dir.file("m.csv")).empty());
}

TEST(CliOverlayTest, StopsAtTheFirstBadLineWithItsNumber) {
    const struct {
        const char* script;
        int line;
        const char* reason;
    } cases[] = {
        {"tool 2\nfrobnicate 1\nlist\n", 2, "unknown command \"frobnicate\""},
        {"# c\n\ntool 8\n", 3, "bad argument for tool"},
        {"down 1\n", 1, "bad argument for down"},
        {"down 1 2x\n", 1, "bad argument for down"},
        {"zoom 0\n", 1, "bad argument for zoom"},
        {"calib 6 1 1 1 1\n", 1, "bad argument for calib"},
        {"calib 1 1 nan 1 1\n", 1, "bad argument for calib"},
        {"cross maybe\n", 1, "bad argument for cross"},
        {"text \"open\n", 1, "unterminated quote"},
        {"burn out.png\n", 1, "no picture"},
        {"blank 10 10\nburn out.png everything\n", 2, "is no burn-in option"},
        {"blank 10 10\nburn /no/such/folder/out.png\n", 2, "cannot write"},
        {"open /no/such/picture.bmp\n", 1, "cannot read"},
        {"blank 0 5\n", 1, "bad argument for blank"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const ScriptRun r = RunScript(dir, c.script);
        EXPECT_NE(r.result.exitCode, 0) << c.script;
        const std::string where = dir.file("script.txt") + ":" + std::to_string(c.line) + ": ";
        EXPECT_NE(r.result.err.find(where), std::string::npos)
            << c.script << " -> " << r.result.err;
        EXPECT_NE(r.result.err.find(c.reason), std::string::npos)
            << c.script << " -> " << r.result.err;
        EXPECT_EQ(std::count(r.result.err.begin(), r.result.err.end(), '\n'), 1) << r.result.err;
    }
}

TEST(CliOverlayTest, MissingScriptAndUsage) {
    EXPECT_NE(RunProcess(BinPath("norvanescope-cli"), {"overlay", "/no/such/script"}).exitCode, 0);
    EXPECT_NE(RunProcess(BinPath("norvanescope-cli"), {"overlay"}).exitCode, 0);
}

}  // namespace

namespace {

TEST(CliOverlayTest, SavesThroughTheDocument) {
    TempDir dir;
    const std::string pics = dir.file("pics");
    const ScriptRun r = RunScript(dir, "blank 60 40\n"
                                       "tool 2\ndown 5 20\nmove 6 20\nmove 50 20\nup 50 20\n"
                                       "saveas " + dir.file("a.jpg") + " measure title=T author=Me\n"
                                       "saveas " + dir.file("plain.bmp") + "\n"
                                       "saveas " + dir.file("lined.bmp") + " measure\n"
                                       "setting Save.FilePath=" + pics + "\n"
                                       "setting Save.StartSuffix=Shot\n"
                                       "setting Save.Suffix=7\n"
                                       "setting Save.bBmp=2\n"
                                       "quicksave\nquicksave\n");
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    const std::vector<std::string> expected = {
        "saved " + dir.file("a.jpg"), "saved " + dir.file("plain.bmp"), "saved " + dir.file("lined.bmp"),
        "saved " + pics + "/Shot7.jpg", "saved " + pics + "/Shot8.jpg"};
    EXPECT_EQ(r.lines, expected);
    // The JPEG carries the summary segment after its first 20 bytes.
    const std::vector<uint8_t> jpg = ReadFileBytes(dir.file("a.jpg"));
    ASSERT_GT(jpg.size(), 40u);
    EXPECT_EQ(jpg[20], 0xFF);
    EXPECT_EQ(jpg[21], 0xE1);
    EXPECT_EQ(std::string(jpg.begin() + 24, jpg.begin() + 28), "Exif");
    // Without "measure" the line stays out of the file.
    const QImage plain(QString::fromStdString(dir.file("plain.bmp")));
    const QImage lined(QString::fromStdString(dir.file("lined.bmp")));
    EXPECT_EQ(plain.pixel(20, 20), qRgb(0, 0, 0));
    EXPECT_NE(lined.pixel(20, 20), qRgb(0, 0, 0));
}

TEST(CliOverlayTest, SettingAndSaveErrors) {
    TempDir dir;
    struct Case {
        std::string script;
        std::string err;
    };
    const Case cases[] = {
        {"setting Save.Nothing=1\n", "bad argument for setting: no setting \"Save.Nothing\" takes \"1\""},
        {"setting Save.Suffix=x\n", "bad argument for setting: no setting \"Save.Suffix\" takes \"x\""},
        {"setting Suffix\n", "bad argument for setting: expected GROUP.VALUE=TEXT"},
        {"saveas " + dir.file("x.bmp") + "\n", "no picture: use blank or open first"},
        {"blank 4 4\nsaveas " + dir.file("x.bmp") + " bold\n", "bad argument for saveas: \"bold\" is no save option"},
        {"blank 4 4\nfixedsave both\n", "bad argument for fixedsave: expected plus or only"},
    };
    for (const Case& c : cases) {
        const ScriptRun r = RunScript(dir, c.script);
        EXPECT_NE(r.result.exitCode, 0) << c.script;
        EXPECT_NE(r.result.err.find(c.err), std::string::npos) << c.script << "\n" << r.result.err;
    }
    // A save that cannot be written reports the document's message and fails.
    const ScriptRun r = RunScript(dir, "blank 4 4\nsaveas " + dir.file("no/such/x.bmp") + "\n");
    EXPECT_NE(r.result.exitCode, 0);
    EXPECT_NE(r.result.err.find("Error: Save image failed33."), std::string::npos) << r.result.err;
}

}  // namespace
