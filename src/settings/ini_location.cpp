#include "settings/ini_location.h"

#include <QFile>

#include "settings/language_table.h"
#include "settings/profile_file.h"

namespace {
const QString kDefaultIniName = QStringLiteral("Setting.ini");
constexpr int kReadChars = 1023;
}  // namespace

QString CIniLocation::ProgramFolder(const QString& program) {
    const qsizetype slash = program.lastIndexOf(u'/');
    if (slash <= 0) return QStringLiteral("./");
    return program.left(slash + 1);
}

QString CIniLocation::IniName(const QStringList& otherArguments, bool* fromOption) {
    if (fromOption) *fromOption = false;
    const QString rest = otherArguments.join(u' ');
    const qsizetype at = rest.indexOf(QLatin1String("/ini"), 0, Qt::CaseInsensitive);
    if (at < 0) return kDefaultIniName;
    // "/ini", one separator, then the name up to the next blank.
    const qsizetype from = at + 4 + 1;
    if (from >= rest.size()) return kDefaultIniName;
    qsizetype end = from;
    while (end < rest.size() && rest[end] != u' ' && rest[end] != u'\t') ++end;
    QString name = rest.mid(from, end - from);
    // An empty name would make a hidden ".ini"; a folder part could reach outside the
    // program folder.
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\')) return kDefaultIniName;
    if (name.size() < 4 || !name.endsWith(QLatin1String(".ini"))) name += QLatin1String(".ini");
    if (fromOption) *fromOption = true;
    return name;
}

CIniLocation::CIniLocation(const QStringList& arguments, const QString& dataFolder,
                           const QLocale& locale) {
    m_strExeFolder = ProgramFolder(arguments.isEmpty() ? QString() : arguments.front());
    bool fromOption = false;
    m_strIniName = IniName(arguments.mid(1), &fromOption);

    const QString besideProgram = m_strExeFolder + m_strIniName;
    m_strExeIni = besideProgram;
    if (fromOption && !QFile::exists(m_strExeIni)) m_strExeIni = m_strExeFolder + kDefaultIniName;

    m_strUserIni = besideProgram;
    if (QFile::exists(m_strUserIni)) m_strUserIni = dataFolder + m_strIniName;
    m_bUserIniExists = QFile::exists(m_strUserIni);
    // QFile::copy never overwrites: the user's copy, once made, stays theirs.
    if (!m_bUserIniExists) QFile::copy(besideProgram, m_strUserIni);

    m_strLanguage = ReadString(QStringLiteral("Language"), QStringLiteral("de"));
    if (m_strLanguage == QLatin1String("auto"))
        m_strLanguage = QLatin1String(LanguageIdForLocale(locale).iso639);
}

QString CIniLocation::ReadString(const QString& key, const QString& def) const {
    const QString section = QStringLiteral("Norvane");
    if (m_bUserIniExists) {
        const QString v = CProfileFile(m_strUserIni).GetString(section, key, {}, kReadChars);
        if (!v.isEmpty()) return v;
    }
    const QString v = CProfileFile(m_strExeIni).GetString(section, key, {}, kReadChars);
    return v.isEmpty() ? def : v;
}
