#include "settings/ini_location.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "test_support.h"

namespace {

void Write(const std::string& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}
std::string Read(const std::string& path) {
    const auto b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

TEST(IniLocation, ProgramFolderAndIniName) {
    const struct {
        const char* program;
        const char* folder;
    } folders[] = {
        {"/opt/scope/norvanescope", "/opt/scope/"},
        {"bin/norvanescope", "bin/"},
        {"norvanescope", "./"},
        {"/norvanescope", "./"},
        {"", "./"},
    };
    for (const auto& c : folders) EXPECT_EQ(CIniLocation::ProgramFolder(c.program), c.folder);

    const struct {
        QStringList args;
        const char* name;
        bool fromOption;
    } names[] = {
        {{}, "Setting.ini", false},
        {{"/ini", "my"}, "my.ini", true},
        {{"/INI:my.ini"}, "my.ini", true},
        {{"-x", "/Ini", "lab.ini", "picture.bmp"}, "lab.ini", true},
        {{"/ini", "ab"}, "ab.ini", true},
        {{"/ini", "x.INI"}, "x.INI.ini", true},
        {{"/ini", "sub/my.ini"}, "Setting.ini", false},
        {{"/ini", "..\\my.ini"}, "Setting.ini", false},
        {{"/ini"}, "Setting.ini", false},
        {{"/ini", ""}, "Setting.ini", false},
    };
    for (const auto& c : names) {
        bool fromOption = !c.fromOption;
        EXPECT_EQ(CIniLocation::IniName(c.args, &fromOption), c.name)
            << c.args.join(' ').toStdString();
        EXPECT_EQ(fromOption, c.fromOption) << c.args.join(' ').toStdString();
    }
}

class IniLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(QString::fromStdString(m_prog.path() + "/bin"));
        m_exe = QString::fromStdString(m_prog.path() + "/bin/norvanescope");
        m_bin = m_prog.path() + "/bin/";
        m_data = QString::fromStdString(m_home.path()) + u'/';
    }
    CIniLocation Start(QStringList options = {}) {
        options.prepend(m_exe);
        return CIniLocation(options, m_data, QLocale(QLocale::English, QLocale::UnitedStates));
    }
    TempDir m_prog, m_home;
    QString m_exe, m_data;
    std::string m_bin;
};

TEST_F(IniLocationTest, FirstStartCopiesTheInstalledFileOnce) {
    Write(m_bin + "Setting.ini", "[Norvane]\nLanguage=auto\n");
    const CIniLocation first = Start();
    EXPECT_EQ(first.m_strExeFolder.toStdString(), m_bin);
    EXPECT_EQ(first.m_strExeIni.toStdString(), m_bin + "Setting.ini");
    EXPECT_EQ(first.m_strUserIni, m_data + "Setting.ini");
    EXPECT_FALSE(first.m_bUserIniExists);
    EXPECT_EQ(first.m_strLanguage, "en");  // "auto" on an English system
    EXPECT_EQ(Read(m_home.file("Setting.ini")), "[Norvane]\nLanguage=auto\n");

    // The user's copy now rules, and a later start never replaces it.
    Write(m_home.file("Setting.ini"), "[Norvane]\nLanguage=de\n");
    const CIniLocation second = Start();
    EXPECT_TRUE(second.m_bUserIniExists);
    EXPECT_EQ(second.m_strLanguage, "de");
    EXPECT_EQ(Read(m_home.file("Setting.ini")), "[Norvane]\nLanguage=de\n");

    // An empty value in the copy falls back to the installed file.
    Write(m_home.file("Setting.ini"), "[Norvane]\nLanguage=\n");
    EXPECT_EQ(Start().m_strLanguage, "en");
}

TEST_F(IniLocationTest, IniOptionChoosesTheFile) {
    Write(m_bin + "Setting.ini", "[Norvane]\nLanguage=it\n");
    Write(m_bin + "my.ini", "[Norvane]\nLanguage=fr\n");
    const CIniLocation loc = Start({"/ini", "my"});
    EXPECT_EQ(loc.m_strIniName, "my.ini");
    EXPECT_EQ(loc.m_strExeIni.toStdString(), m_bin + "my.ini");
    EXPECT_EQ(loc.m_strLanguage, "fr");
    EXPECT_TRUE(QFile::exists(m_data + "my.ini"));
    EXPECT_FALSE(QFile::exists(m_data + "Setting.ini"));

    // A named file that does not exist: reads come from the default file, nothing is copied.
    const CIniLocation missing = Start({"/ini", "gone"});
    EXPECT_EQ(missing.m_strExeIni.toStdString(), m_bin + "Setting.ini");
    EXPECT_EQ(missing.m_strUserIni.toStdString(), m_bin + "gone.ini");
    EXPECT_FALSE(missing.m_bUserIniExists);
    EXPECT_EQ(missing.m_strLanguage, "it");
    EXPECT_FALSE(QFile::exists(m_data + "gone.ini"));

    // A name with a folder part is ignored.
    EXPECT_EQ(Start({"/ini", "../my.ini"}).m_strLanguage, "it");
}

TEST_F(IniLocationTest, NoLanguageAnywhereMeansGerman) {
    EXPECT_EQ(Start().m_strLanguage, "de");
    Write(m_bin + "Setting.ini", "[Image]\nDefaultImageName=a.bmp\n");
    EXPECT_EQ(Start().m_strLanguage, "de");
}

}  // namespace
