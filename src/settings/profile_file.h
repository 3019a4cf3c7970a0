#pragma once
// The settings file "Setting.ini" and files like it: sections in brackets, then key=value
// lines. Sections and keys compare without case; every read goes to the file, and a write
// replaces one value in place, leaving every other line and comment as it was.

#include <QHash>
#include <QString>

// A file larger than this is no settings file of ours: it reads as missing and is not written.
inline constexpr qint64 kMaxProfileFileBytes = 4 << 20;

// One reading of a profile file, for callers that look up many keys: the same answers as
// CProfileFile's, from a single pass over the file.
class CProfileSnapshot {
public:
    QString GetString(const QString& section, const QString& key, const QString& def = {},
                      int maxChars = 32767) const;
    int GetInt(const QString& section, const QString& key, int def) const;

private:
    friend class CProfileFile;
    static QString Slot(const QString& section, const QString& key);
    QHash<QString, QString> m_values;  // by Slot(section, key): the value text
};

class CProfileFile {
public:
    explicit CProfileFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The value of key in section (blanks around it and one pair of enclosing quotes
    // removed), at most maxChars characters; def when the file, section or key is missing.
    // A key present with an empty value yields the empty text, not def.
    QString GetString(const QString& section, const QString& key, const QString& def = {},
                      int maxChars = 32767) const;
    // The leading decimal integer of the value (0 when there is none); def when missing.
    int GetInt(const QString& section, const QString& key, int def) const;

    // Creates the file, section or key as needed. Refuses texts that would break the line
    // structure (line breaks anywhere, "=" in a key, "]" in a section) and files that exist
    // but cannot be read, so a write never loses what is already there.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInt(const QString& section, const QString& key, int value);

    CProfileSnapshot Snapshot() const;

private:
    QString m_path;
};
