#pragma once
// Where the settings file is: the one installed beside the program and the per-user copy in
// the data folder, which the first start makes from it. Also yields the language code.

#include <QLocale>
#include <QString>
#include <QStringList>

class CIniLocation {
public:
    // arguments: the command line, program first. dataFolder ends in "/".
    CIniLocation(const QStringList& arguments, const QString& dataFolder,
                 const QLocale& locale = QLocale::system());

    // Key of section "Norvane": from the per-user copy when it existed at start and holds a
    // value, else from the file beside the program, else def.
    QString ReadString(const QString& key, const QString& def) const;

    // The program's folder from its path on the command line, ending in "/"; "./" when the
    // path has no folder part.
    static QString ProgramFolder(const QString& program);
    // The settings-file name chosen by "/ini NAME" among the other arguments, or "Setting.ini".
    // The flag tells whether the name came from the option.
    static QString IniName(const QStringList& otherArguments, bool* fromOption = nullptr);

    QString m_strExeFolder;
    QString m_strExeIni;
    QString m_strUserIni;
    QString m_strIniName;
    bool m_bUserIniExists = false;
    QString m_strLanguage;
};
