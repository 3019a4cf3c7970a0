#include "settings/language_table.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "test_support.h"

namespace {

void Write(const std::string& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

class LanguageTableTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLanguageTable(); }
    void TearDown() override { ClearLanguageTable(); }
    bool Load(const std::string& content) {
        Write(m_dir.file("strings_xx.txt"), content);
        return OpenLanguageFile(QString::fromStdString(m_dir.file("strings_xx.txt")));
    }
    QString folder() const { return QString::fromStdString(m_dir.path()) + u'/'; }
    TempDir m_dir;
};

TEST_F(LanguageTableTest, FileQuirks) {
    const struct {
        const char* file;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Cancel\tAbbrechen\n", "Cancel", "Abbrechen"},
        {"Cancel\tAbbrechen\n", "cancel", "cancel"},
        {"//Cancel\tAbbrechen\n", "Cancel", "Cancel"},
        {"Hint\t\nOK\tJa\n", "Hint", "Hint"},
        {"OK\tA\nOK\tB\n", "OK", "B"},
        {"OK\tA\r\nHint\tHinweis\r\n", "OK", "A"},
        {"OK\tA\r\nHint\tHinweis\r\n", "Hint", "Hinweis"},
        {"OK\tA\rHint\tHinweis", "Hint", "Hinweis"},
        {"Cancel Abbrechen\nOK\tJa", "Cancel Abbrechen", "Cancel Abbrechen"},
        {"Save &As...\tSpeichern &unter...\n", "Save &As...", "Speichern &unter..."},
        {"Status: \tZustand: \n", "Status: ", "Zustand: "},
        {"A\tb\tc\n", "A", "b\tc"},
        {"\xEF\xBB\xBFHint\tHinweis \xE2\x80\x93 \xC3\xA4\n", "Hint",
         "Hinweis \xE2\x80\x93 \xC3\xA4"},
        {"\n\n\r\n OK\tJa\n", " OK", "Ja"},
        {" //OK\tJa\n", " //OK", "Ja"},
    };
    for (const auto& c : cases) {
        ClearLanguageTable();
        ASSERT_TRUE(Load(c.file));
        EXPECT_EQ(Translate(QString::fromUtf8(c.key)), QString::fromUtf8(c.expected))
            << "file: " << c.file;
    }
}

TEST_F(LanguageTableTest, CommentOnlyAndMissingFiles) {
    EXPECT_FALSE(OpenLanguageFile(folder() + "strings_none.txt"));
    EXPECT_EQ(Translate("OK"), "OK");
    ASSERT_TRUE(Load("// nothing here\r\n// OK\tJa\r\n"));
    EXPECT_EQ(Translate("OK"), "OK");
    ASSERT_TRUE(Load(""));
    EXPECT_EQ(Translate("Hint"), "Hint");
}

TEST_F(LanguageTableTest, TextBeyondTheLimitIsIgnored) {
    // Fill so that the value "Rand" ends exactly on the last unit that counts.
    const std::string edge = "Edge\tRand";
    std::string filler = "// ";
    filler += std::string(kLanguageFileMaxUnits - edge.size() - 1 - 3, 'f');
    filler += '\n';
    ASSERT_EQ(filler.size() + edge.size(), size_t(kLanguageFileMaxUnits));
    ASSERT_TRUE(Load(filler + edge + "\nFar\tWeit\n"));
    EXPECT_EQ(Translate("Edge"), "Rand");
    EXPECT_EQ(Translate("Far"), "Far");

    // Units, not bytes, count: two-byte letters before the line shift nothing.
    ClearLanguageTable();
    std::string wide = "// ";
    for (size_t i = 0; i < filler.size() - 4; ++i) wide += "\xC3\xA4";  // 2 bytes, 1 unit
    wide += '\n';
    ASSERT_TRUE(Load(wide + "Edge\tRandX\n"));
    EXPECT_EQ(Translate("Edge"), "Rand");
}

TEST_F(LanguageTableTest, LanguageIdentifiersOfLocales) {
    const struct {
        QLocale locale;
        int id;
        const char* iso639;
        const char* iso3166;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), 1033, "en", "US"},
        {QLocale::c(), 1033, "en", "US"},
        {QLocale(QLocale::German, QLocale::Germany), 1031, "de", "DE"},
        {QLocale(QLocale::German, QLocale::Switzerland), 2055, "de", "CH"},
        {QLocale(QLocale::German, QLocale::Brazil), 1031, "de", "DE"},
        {QLocale(QLocale::Chinese, QLocale::China), 2052, "zh", "CN"},
        {QLocale(QLocale::Chinese, QLocale::Taiwan), 1028, "zh", "TW"},
        {QLocale(QLocale::French, QLocale::Canada), 3084, "fr", "CA"},
        {QLocale(QLocale::Zulu, QLocale::SouthAfrica), 1033, "en", "US"},
    };
    for (const auto& c : cases) {
        const LanguageId id = LanguageIdForLocale(c.locale);
        EXPECT_EQ(id.id, c.id) << c.locale.name().toStdString();
        EXPECT_STREQ(id.iso639, c.iso639);
        EXPECT_STREQ(id.iso3166, c.iso3166);
    }
}

TEST_F(LanguageTableTest, AutoPrefersLanguageAndCountry) {
    const QLocale swiss(QLocale::German, QLocale::Switzerland);
    EXPECT_EQ(LanguageFilePath("auto", folder(), swiss), folder() + "strings_de.txt");
    Write(m_dir.file("strings_de-CH.txt"), "OK\tGut\n");
    EXPECT_EQ(LanguageFilePath("auto", folder(), swiss), folder() + "strings_de-CH.txt");
    EXPECT_EQ(LanguageFilePath("auto", folder(), QLocale::c()), folder() + "strings_en.txt");
    EXPECT_EQ(LanguageFilePath("fr", folder(), swiss), folder() + "strings_fr.txt");
}

TEST_F(LanguageTableTest, StartUpFallsBackToEnglish) {
    EXPECT_FALSE(LoadLanguage("fr", folder()));
    EXPECT_EQ(Translate("OK"), "OK");
    Write(m_dir.file("strings_en.txt"), "WARNING:\tHandle with care.\n");
    ASSERT_TRUE(LoadLanguage("fr", folder()));
    EXPECT_EQ(Translate("WARNING:"), "Handle with care.");
    Write(m_dir.file("strings_fr.txt"), "WARNING:\tAttention.\n");
    ClearLanguageTable();
    ASSERT_TRUE(LoadLanguage("fr", folder()));
    EXPECT_EQ(Translate("WARNING:"), "Attention.");
}

}  // namespace
