#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <QFile>

#include "test_support.h"

namespace {

std::string Read(const std::string& path) {
    const auto b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}
void Write(const std::string& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

const char kFixture[] =
    "; installed defaults\r\n"
    "stray=before any section\r\n"
    "[Norvane]\r\n"
    "Language = de \r\n"
    "LangName1=\"  en  \"\r\n"
    "; LangName2=fr\r\n"
    "Empty=\r\n"
    "\r\n"
    "[save]\r\n"
    "Suffix = 41\r\n"
    "bBmp=1abc\r\n"
    "Neg=-5\r\n"
    "Word=yes\r\n"
    "\r\n"
    "[Norvane]\r\n"
    "Language=second section is never read\r\n";

TEST(ProfileFile, ReadsLikeAPrivateProfile) {
    TempDir dir;
    Write(dir.file("Setting.ini"), kFixture);
    CProfileFile ini(QString::fromStdString(dir.file("Setting.ini")));
    const struct {
        const char *section, *key, *expected;
    } cases[] = {
        {"Norvane", "Language", "de"},
        {"NORVANE", "language", "de"},
        {"Norvane", "LangName1", "  en  "},
        {"Norvane", "LangName2", "<def>"},
        {"Norvane", "Empty", ""},
        {"Norvane", "stray", "<def>"},
        {"Save", "SUFFIX", "41"},
        {"Missing", "Suffix", "<def>"},
        {"Norvane", "; LangName2", "<def>"},
    };
    // One reading for many keys answers exactly as single reads do.
    const CProfileSnapshot snap = ini.Snapshot();
    for (const auto& c : cases) {
        EXPECT_EQ(ini.GetString(c.section, c.key, "<def>"), c.expected)
            << c.section << "/" << c.key;
        EXPECT_EQ(snap.GetString(c.section, c.key, "<def>"), c.expected)
            << c.section << "/" << c.key;
        EXPECT_EQ(snap.GetInt(c.section, c.key, 7), ini.GetInt(c.section, c.key, 7));
    }
    EXPECT_EQ(ini.GetString("Norvane", "Language", {}, 1), "d");
    EXPECT_EQ(snap.GetString("Norvane", "Language", {}, 1), "d");
    EXPECT_EQ(ini.GetInt("Save", "Suffix", 7), 41);
    EXPECT_EQ(ini.GetInt("Save", "bBmp", 7), 1);
    EXPECT_EQ(ini.GetInt("Save", "Neg", 7), -5);
    EXPECT_EQ(ini.GetInt("Save", "Word", 7), 0);
    EXPECT_EQ(ini.GetInt("Save", "bTime", 7), 7);
    EXPECT_EQ(CProfileFile(QString::fromStdString(dir.file("none.ini")))
                  .GetString("Image", "DefaultImageName", "default_image.bmp"),
              "default_image.bmp");
}

TEST(ProfileFile, WriteChangesOneValueAndKeepsEveryOtherByte) {
    TempDir dir;
    const std::string path = dir.file("Setting.ini");
    Write(path, kFixture);
    CProfileFile ini(QString::fromStdString(path));

    ASSERT_TRUE(ini.WriteInt("SAVE", "suffix", 42));
    std::string expected = kFixture;
    expected.replace(expected.find("Suffix = 41"), 11, "Suffix = 42");
    EXPECT_EQ(Read(path), expected);

    // A new key goes after the section's last line, before its blank separator.
    ASSERT_TRUE(ini.WriteString("Save", "Prefix", "Cell"));
    expected.insert(expected.find("Word=yes\r\n") + 10, "Prefix=Cell\r\n");
    EXPECT_EQ(Read(path), expected);

    // A new section goes at the end, with the file's own line ending.
    ASSERT_TRUE(ini.WriteString("RGBGAIN", "Total", "0"));
    expected += "[RGBGAIN]\r\nTotal=0\r\n";
    EXPECT_EQ(Read(path), expected);
    EXPECT_EQ(ini.GetInt("rgbgain", "TOTAL", 9), 0);
}

TEST(ProfileFile, WriteCreatesFilesAndRefusesBrokenLines) {
    TempDir dir;
    const std::string path = dir.file("new.ini");
    CProfileFile ini(QString::fromStdString(path));
    ASSERT_TRUE(ini.WriteString("Lang", "LangId", "1031"));
    EXPECT_EQ(Read(path), "[Lang]\nLangId=1031\n");

    // A last line without a line end gets one before anything is added after it.
    Write(path, "\xEF\xBB\xBF[Save]\nTitle=x");
    ASSERT_TRUE(ini.WriteString("Save", "Author", "Ann"));
    EXPECT_EQ(Read(path), "\xEF\xBB\xBF[Save]\nTitle=x\nAuthor=Ann\n");
    EXPECT_EQ(ini.GetString("Save", "Title"), "x");

    const std::string before = Read(path);
    EXPECT_FALSE(ini.WriteString("Save", "Title", "a\n[Norvane]\nLanguage=xx"));
    EXPECT_FALSE(ini.WriteString("Save", "Ti=tle", "a"));
    EXPECT_FALSE(ini.WriteString("Sa]ve", "Title", "a"));
    EXPECT_FALSE(ini.WriteString("Save", "", "a"));
    EXPECT_EQ(Read(path), before);

    // An existing file that cannot be read is never replaced, nor one too large to be ours.
    EXPECT_FALSE(CProfileFile(QString::fromStdString(dir.path())).WriteString("A", "b", "c"));
    const std::string huge = "[Save]\nTitle=x\n" + std::string(kMaxProfileFileBytes, ';');
    Write(path, huge);
    EXPECT_EQ(ini.GetString("Save", "Title", "<def>"), "<def>");
    EXPECT_FALSE(ini.WriteString("Save", "Author", "Ann"));
    EXPECT_EQ(Read(path).size(), huge.size());
}

}  // namespace
