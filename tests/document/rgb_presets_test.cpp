// RGB presets in the settings file: read with their defaults, written in place.

#include <gtest/gtest.h>

#include "document/rgb_presets.h"
#include "test_support.h"

namespace {

std::string Text(const std::string& path) {
    const std::vector<uint8_t> b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

TEST(RgbPresets, ReadWithDefaultsAndWriteKeepingOtherLines) {
    TempDir dir;
    const std::string ini = dir.file("Setting.ini");
    const std::string before =
        "; presets\r\n[RGBGAIN]\r\nTotal=3\r\nRGBGAINNAME0=Warm\r\nRGAIN0=40\r\nGGAIN0=30\r\nBGAIN0=20\r\n"
        "RGAIN1=10\r\nRGBGAINNAME2=Old\r\nRGAIN2=1\r\nGGAIN2=2\r\nBGAIN2=3\r\n[Save]\r\nbBmp=1\r\n";
    WriteFileBytes(ini, std::vector<uint8_t>(before.begin(), before.end()));
    const QString path = QString::fromStdString(ini);
    std::vector<RgbPreset> p = ReadRgbPresets(path);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].name, "Warm");
    EXPECT_EQ(p[0].blue, "20");
    // Missing keys read as their defaults.
    EXPECT_EQ(p[1].name, "RgbGainName");
    EXPECT_EQ(p[1].red, "10");
    EXPECT_EQ(p[1].green, "32");

    // A shorter list: the count and rows 0..1 change; row 2's keys stay, as do other sections.
    p.erase(p.begin());
    p[0].name = "Cool";
    ASSERT_TRUE(WriteRgbPresets(path, p));
    const std::string after = Text(ini);
    EXPECT_NE(after.find("; presets"), std::string::npos);
    EXPECT_NE(after.find("Total=2"), std::string::npos);
    EXPECT_NE(after.find("RGBGAINNAME0=Cool"), std::string::npos);
    EXPECT_NE(after.find("RGBGAINNAME1=Old"), std::string::npos);
    EXPECT_NE(after.find("RGBGAINNAME2=Old"), std::string::npos);  // left from the longer list
    EXPECT_NE(after.find("[Save]\r\nbBmp=1"), std::string::npos);
    const std::vector<RgbPreset> again = ReadRgbPresets(path);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].name, "Cool");
    EXPECT_EQ(again[1].blue, "3");
    // No file: no presets; writing creates it.
    const QString fresh = QString::fromStdString(dir.file("new.ini"));
    EXPECT_TRUE(ReadRgbPresets(fresh).empty());
    ASSERT_TRUE(WriteRgbPresets(fresh, {{"A", "1", "2", "3"}}));
    EXPECT_EQ(ReadRgbPresets(fresh).size(), 1u);
}

}  // namespace
