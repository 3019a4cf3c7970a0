// norvanescope-cli count: its output lines, its options, its files and its refusals.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <sstream>

#include "advanced/segm_fixture.h"
#include "advanced/workbook_reader.h"
#include "test_support.h"

using namespace segm_test;

namespace {

ProcessResult Count(std::vector<std::string> args) {
    args.insert(args.begin(), "count");
    return RunProcess(BinPath("norvanescope-cli"), args);
}

std::vector<std::string> LinesOf(const std::string& s) {
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class CliCount : public ::testing::Test {
protected:
    void SetUp() override {
        // Discs of radius 12, 18 and 26 (areas about 452, 1018, 2124), and an overlapping pair.
        ASSERT_TRUE(
            cv::imwrite(discs, DiscPicture(cv::Size(320, 200),
                                           {{50, 50, 12}, {150, 90, 18}, {250, 130, 26}}, Look{})));
        ASSERT_TRUE(cv::imwrite(
            pair, DiscPicture(cv::Size(300, 200), {{135, 100, 30}, {165, 100, 30}}, Look{})));
    }
    TempDir dir;
    const std::string discs = dir.file("discs.png");
    const std::string pair = dir.file("pair.png");
};

}  // namespace

TEST_F(CliCount, PrintsTheObjectsAsTheResultsListShowsThemThenTheStatistics) {
    const ProcessResult r = Count({discs});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const auto lines = LinesOf(r.out);
    ASSERT_EQ(lines.size(), 1u + 3 + 1 + 6);
    EXPECT_EQ(lines[0], "objects 3");
    const std::regex object(R"((\d+) \((\d+\.\d),(\d+\.\d)\) (\d+\.\d) (\d+\.\d))");
    const double centres[3][2] = {{50, 50}, {150, 90}, {250, 130}};
    double sumArea = 0;
    for (int i = 0; i < 3; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[1 + i], m, object)) << lines[1 + i];
        EXPECT_EQ(std::stoi(m[1]), i + 1);
        EXPECT_NEAR(std::stod(m[2]), centres[i][0], 0.5);
        EXPECT_NEAR(std::stod(m[3]), centres[i][1], 0.5);
        sumArea += std::stod(m[4]);
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[4], m, std::regex(R"(Average: (\d+\.\d) (\d+\.\d))")))
        << lines[4];
    EXPECT_NEAR(std::stod(m[1]), sumArea / 3, 0.1);
    const char* stats[] = {"min-area",      "max-area",      "ave-area",
                           "min-perimeter", "max-perimeter", "ave-perimeter"};
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(
            std::regex_match(lines[5 + i], std::regex(std::string(stats[i]) + R"( \d+\.\d)")))
            << lines[5 + i];
    EXPECT_EQ(lines[7], "ave-area " + std::string(m[1]));
}

TEST_F(CliCount, BoundsLeftEmptyAreNoBound) {
    struct Case {
        std::vector<std::string> options;
        const char* first;
    } cases[] = {
        {{"--area", ",700"}, "objects 1"},      {{"--area", "700,"}, "objects 2"},
        {{"--area", "700,1500"}, "objects 1"},  {{"--area", ","}, "objects 3"},
        {{"--perimeter", "100,"}, "objects 2"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{discs};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProcessResult r = Count(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(LinesOf(r.out)[0], c.first) << c.options[1];
    }
    // Without objects: no average line, statistics 0.0.
    const ProcessResult none = Count({discs, "--area", "5000,"});
    ASSERT_EQ(none.exitCode, 0);
    EXPECT_EQ(
        LinesOf(none.out),
        (std::vector<std::string>{"objects 0", "min-area 0.0", "max-area 0.0", "ave-area 0.0",
                                  "min-perimeter 0.0", "max-perimeter 0.0", "ave-perimeter 0.0"}));
}

TEST_F(CliCount, SplitLinesSeparateObjectsAndTheFilesAreWritten) {
    EXPECT_EQ(LinesOf(Count({pair}).out)[0], "objects 1");
    const std::string picture = dir.file("result.png"), book = dir.file("result.xlsx");
    const ProcessResult r = Count({pair, "--split", "150,50,150,150", "--outline-color", "2",
                                   "--xlsx", book, "--out", picture});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesOf(r.out)[0], "objects 2");

    const cv::Mat drawn = cv::imread(picture);
    ASSERT_EQ(drawn.size(), cv::Size(300, 200));
    int red = 0;
    for (int y = 0; y < drawn.rows; ++y)
        for (int x = 0; x < drawn.cols; ++x)
            red += drawn.at<cv::Vec3b>(y, x) == cv::Vec3b(0, 0, 255);
    EXPECT_GT(red, 200);

    const WorkbookCells cells = ReadWorkbook(book);
    ASSERT_TRUE(cells.ok);
    EXPECT_EQ(cells.lastRow, 4);  // headers, two objects, the average
    EXPECT_EQ(cells.cells.at("A4"), "Average:");

    // Outline "nothing" leaves no outline colour in the picture.
    ASSERT_EQ(Count({pair, "--outline", "2", "--outline-color", "2", "--out", picture}).exitCode,
              0);
    const cv::Mat plain = cv::imread(picture);
    red = 0;
    for (int y = 0; y < plain.rows; ++y)
        for (int x = 0; x < plain.cols; ++x)
            red += plain.at<cv::Vec3b>(y, x) == cv::Vec3b(0, 0, 255);
    EXPECT_EQ(red, 0);
}

TEST_F(CliCount, BadInputGivesOneLineAndAFailure) {
    WriteFileBytes(dir.file("junk.png"), {1, 2, 3, 4, 5});
    const std::vector<std::vector<std::string>> cases = {
        {dir.file("missing.png")},
        {dir.file("junk.png")},
        {discs, "--area", "900,300"},
        {discs, "--area", "a,b"},
        {discs, "--area", "1,2,3"},
        {discs, "--perimeter", "-5,"},
        {discs, "--outline", "3"},
        {discs, "--tab-color", "8"},
        {discs, "--split", "1,2,3"},
        {discs, "--xlsx", dir.file("no/such/folder/x.xlsx")},
        {discs, "--out", dir.file("result.unknown")},
        {discs, "--frobnicate"},
    };
    for (const auto& args : cases) {
        const ProcessResult r = Count(args);
        EXPECT_NE(r.exitCode, 0) << args.back();
        EXPECT_EQ(LinesOf(r.err).size(), 1u) << args.back() << ": " << r.err;
    }
    EXPECT_EQ(Count({}).exitCode, 2);
}
