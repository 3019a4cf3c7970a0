// The user manual the build writes beside the program (Help > How to use), read back by poppler.

#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace {

TEST(Manual, BothLanguagesArePdfsWithPagesAndTheirContent) {
    const struct {
        const char* file;
        const char* heading;
    } manuals[] = {{"NorvaneScope_en.pdf", "Calibrating on the stage micrometer"},
                   {"NorvaneScope_de.pdf", "Kalibrieren am Objektmikrometer"}};
    for (const auto& m : manuals) {
        const std::string path = BinPath(m.file);
        const ProcessResult info = RunProcess("pdfinfo", {path});
        ASSERT_EQ(info.exitCode, 0) << path << ": " << info.err;
        std::smatch pages;
        ASSERT_TRUE(std::regex_search(info.out, pages, std::regex("Pages:\\s+(\\d+)"))) << info.out;
        EXPECT_GE(std::stoi(pages[1]), 3) << m.file;
        const ProcessResult text = RunProcess("pdftotext", {"-enc", "UTF-8", path, "-"});
        ASSERT_EQ(text.exitCode, 0) << text.err;
        EXPECT_NE(text.out.find(m.heading), std::string::npos) << m.file;
        // The screenshots are in it: pages of pictures are far larger than pages of text.
        const ProcessResult images = RunProcess("pdfimages", {"-list", path});
        ASSERT_EQ(images.exitCode, 0) << images.err;
        EXPECT_GE(std::count(images.out.begin(), images.out.end(), '\n'), 2 + 3) << images.out;
    }
}

}  // namespace
