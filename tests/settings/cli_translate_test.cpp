#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <cstdlib>

#include "settings/ini_location.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"
#include "test_support.h"

namespace {

QString BinFolder() {
    return QString::fromStdString(BinPath("norvanescope-cli")).section(u'/', 0, -2) + u'/';
}

ProcessResult Translate(const std::vector<std::string>& args) {
    std::vector<std::string> all{"translate"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(BinPath("norvanescope-cli"), all);
}

TEST(CliTranslate, TranslatesThroughTheShippedFiles) {
    const struct {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"--lang", "de", "Cancel"}, "Abbrechen\n"},
        {{"Hint", "--lang", "de"}, "Hinweis\n"},
        {{"--lang", "de", "cancel"}, "cancel\n"},
        {{"--lang", "de", "not a program text"}, "not a program text\n"},
        {{"--lang", "en", "Cancel"}, "Cancel\n"},
        // No French file: start-up falls back to English, whose keys hold the long texts.
        {{"--lang", "fr", "Version"}, nullptr},
        {{"--lang", "de", "Save &As..."}, "Speichern &unter...\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Translate(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        if (c.out)
            EXPECT_EQ(r.out, c.out);
        else
            EXPECT_TRUE(r.out.starts_with("NorvaneScope ")) << r.out;
    }
}

TEST(CliTranslate, AutoFollowsTheSystemLanguage) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const ProcessResult r = Translate({"--lang", "auto", "Cancel"});
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Abbrechen\n");
}

TEST(CliTranslate, BadUsageFailsWithOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"--lang", "de"}, {"Cancel"}, {"--lang", "de", "a", "b"}, {"--lang", "../x", "OK"}};
    for (const auto& args : cases) {
        const ProcessResult r = Translate(args);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// Keys of a language file in file order; the value of each.
QList<std::pair<QString, QString>> Entries(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QList<std::pair<QString, QString>> out;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("//")) || !line.contains(u'\t')) continue;
        out.append({line.section(u'\t', 0, 0), line.section(u'\t', 1)});
    }
    return out;
}

TEST(ShippedData, LanguageFilesCoverTheSameTexts) {
    const auto en = Entries(BinFolder() + "strings_en.txt");
    const auto de = Entries(BinFolder() + "strings_de.txt");
    ASSERT_FALSE(en.isEmpty());
    QSet<QString> enKeys, deKeys;
    for (const auto& [k, v] : en) {
        EXPECT_FALSE(enKeys.contains(k)) << "twice in English: " << k.toStdString();
        EXPECT_FALSE(v.isEmpty() || v.endsWith(u'\r')) << k.toStdString();
        enKeys.insert(k);
    }
    for (const auto& [k, v] : de) {
        EXPECT_FALSE(deKeys.contains(k)) << "twice in German: " << k.toStdString();
        EXPECT_FALSE(v.isEmpty() || v.endsWith(u'\r')) << k.toStdString();
        deKeys.insert(k);
    }
    for (const QString& k : enKeys - deKeys) ADD_FAILURE() << "no German for " << k.toStdString();
    for (const QString& k : deKeys - enKeys) ADD_FAILURE() << "not in English: " << k.toStdString();
}

TEST(ShippedData, SettingsFileOffersTheShippedLanguages) {
    CProfileFile ini(BinFolder() + "Setting.ini");
    EXPECT_EQ(ini.GetString("Norvane", "Language", "de"), "auto");
    EXPECT_EQ(ini.GetString("Image", "DefaultImageName"), "default_image.bmp");
    EXPECT_EQ(ini.GetInt("RGBGAIN", "Total", -1), 0);
    for (int n = 1; n <= 2; ++n) {
        const QString code = ini.GetString("Norvane", QStringLiteral("LangName%1").arg(n));
        EXPECT_EQ(ini.GetInt("Norvane", QStringLiteral("LangID%1").arg(n), 0), 37000 + n);
        EXPECT_TRUE(QFile::exists(LanguageFilePath(code, BinFolder()))) << code.toStdString();
    }
}

}  // namespace
