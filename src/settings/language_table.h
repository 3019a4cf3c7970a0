#pragma once
// The language table: English user-visible texts mapped to the chosen language, loaded from
// "strings_<code>.txt" beside the program. Every shown text passes through Translate.

#include <QLocale>
#include <QString>

// Windows language identifier of a locale (1033 English US, 1031 German, 2052 Chinese PRC, ...),
// with its ISO 639 language and ISO 3166 country names. Unknown locales count as 1033.
struct LanguageId {
    int id;
    const char* iso639;
    const char* iso3166;
};
LanguageId LanguageIdForLocale(const QLocale& locale);
// The identifier of the system's user-interface language.
int SystemLanguageId();

// folder ends in "/". "auto": the file for language-country of the locale when it exists,
// else the file for the language alone.
QString LanguageFilePath(const QString& code, const QString& folder,
                         const QLocale& locale = QLocale::system());

// Reads a UTF-8 language file into the table (adding to it, later lines replacing earlier
// ones) and switches translation on. false when the file cannot be opened.
bool OpenLanguageFile(const QString& path);

// Start-up's loading: the file for code, else the English one. false when neither opens.
bool LoadLanguage(const QString& code, const QString& folder,
                  const QLocale& locale = QLocale::system());

// The table's text for an English text, or the text itself. Safe from any thread.
QString Translate(const QString& text);

// Empties the table and switches translation off.
void ClearLanguageTable();

// Decoded text beyond this many UTF-16 units of a language file is ignored.
inline constexpr int kLanguageFileMaxUnits = 32000 - 1;
