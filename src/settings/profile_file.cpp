#include "settings/profile_file.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace {

struct Line {
    QString text;
    QString eol;  // "\n", "\r\n", "\r" or empty for a last line without one
};

struct FileLines {
    std::vector<Line> lines;
    bool bom = false;
};

// nullopt when the file exists but cannot be read; no lines when it does not exist.
std::optional<FileLines> ReadLines(const QString& path) {
    FileLines out;
    QFile f(path);
    if (!f.exists()) return out;
    if (f.size() > kMaxProfileFileBytes || !f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        out.bom = true;
        bytes.remove(0, 3);
    }
    const QString text = QString::fromUtf8(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r') ++end;
        Line line{text.mid(start, end - start), {}};
        if (end < text.size()) {
            const bool crlf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
            line.eol = crlf ? QStringLiteral("\r\n") : QString(text[end]);
        }
        start = end + line.eol.size();
        out.lines.push_back(std::move(line));
    }
    return out;
}

std::optional<QString> SectionName(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(u'[')) return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    if (close < 0) return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

bool IsComment(const QString& line) {
    return line.trimmed().startsWith(u';');
}

// Position of "=" in a key line, or -1.
qsizetype KeySplit(const QString& line) {
    if (IsComment(line) || SectionName(line)) return -1;
    return line.indexOf(u'=');
}

bool SameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

struct Found {
    qsizetype section = -1;  // index of the section's header line
    qsizetype end = -1;      // index one past the section's last line
    qsizetype key = -1;      // index of the key's line
};

Found Find(const std::vector<Line>& lines, const QString& section, const QString& key) {
    Found f;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const auto name = SectionName(lines[i].text);
        if (!name) continue;
        if (f.section >= 0) {
            f.end = i;
            break;
        }
        if (SameName(*name, section)) f.section = i;
    }
    if (f.section < 0) return f;
    if (f.end < 0) f.end = qsizetype(lines.size());
    for (qsizetype i = f.section + 1; i < f.end; ++i) {
        const qsizetype eq = KeySplit(lines[i].text);
        if (eq >= 0 && SameName(lines[i].text.left(eq).trimmed(), key)) {
            f.key = i;
            break;
        }
    }
    return f;
}

QString ValueOf(const QString& line) {
    QString v = line.mid(KeySplit(line) + 1).trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

// The leading decimal integer of a value, like atoi but clamped to int; 0 when there is none.
int LeadingInt(const QString& v) {
    qsizetype n = 0;
    if (n < v.size() && (v[n] == u'-' || v[n] == u'+')) ++n;
    while (n < v.size() && v[n] >= u'0' && v[n] <= u'9') ++n;
    bool ok = false;
    const long long parsed = v.left(n).toLongLong(&ok);
    if (!ok) return 0;
    return int(std::clamp<long long>(parsed, INT_MIN, INT_MAX));
}

QString Clipped(QString value, int maxChars) {
    if (maxChars >= 0 && value.size() > maxChars) value.truncate(maxChars);
    return value;
}

bool HasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

}  // namespace

QString CProfileFile::GetString(const QString& section, const QString& key, const QString& def,
                                int maxChars) const {
    const auto file = ReadLines(m_path);
    QString value = def;
    if (file) {
        const Found f = Find(file->lines, section, key);
        if (f.key >= 0) value = ValueOf(file->lines[size_t(f.key)].text);
    }
    return Clipped(std::move(value), maxChars);
}

int CProfileFile::GetInt(const QString& section, const QString& key, int def) const {
    const auto file = ReadLines(m_path);
    if (!file) return def;
    const Found f = Find(file->lines, section, key);
    if (f.key < 0) return def;
    return LeadingInt(ValueOf(file->lines[size_t(f.key)].text));
}

QString CProfileSnapshot::Slot(const QString& section, const QString& key) {
    // Names compare without case, as Find does; a line break can be in neither.
    return section.toCaseFolded() + u'\n' + key.toCaseFolded();
}

CProfileSnapshot CProfileFile::Snapshot() const {
    CProfileSnapshot snap;
    const auto file = ReadLines(m_path);
    if (!file) return snap;
    // The first section of a name counts, and in it the first line of a key (as in Find).
    QHash<QString, bool> sectionsSeen;
    bool inFirst = false;
    QString section;
    for (const Line& l : file->lines) {
        if (const auto name = SectionName(l.text)) {
            section = *name;
            const QString folded = section.toCaseFolded();
            inFirst = !sectionsSeen.contains(folded);
            sectionsSeen.insert(folded, true);
            continue;
        }
        if (!inFirst) continue;
        const qsizetype eq = KeySplit(l.text);
        if (eq < 0) continue;
        const QString slot = CProfileSnapshot::Slot(section, l.text.left(eq).trimmed());
        if (!snap.m_values.contains(slot)) snap.m_values.insert(slot, ValueOf(l.text));
    }
    return snap;
}

QString CProfileSnapshot::GetString(const QString& section, const QString& key,
                                    const QString& def, int maxChars) const {
    const auto it = m_values.constFind(Slot(section, key));
    return Clipped(it == m_values.cend() ? def : it.value(), maxChars);
}

int CProfileSnapshot::GetInt(const QString& section, const QString& key, int def) const {
    const auto it = m_values.constFind(Slot(section, key));
    return it == m_values.cend() ? def : LeadingInt(it.value());
}

bool CProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (section.contains(u']') || key.contains(u'=') || key.trimmed().isEmpty()) return false;
    if (key.trimmed().startsWith(u';') || key.trimmed().startsWith(u'[')) return false;

    auto file = ReadLines(m_path);
    if (!file) return false;
    std::vector<Line>& lines = file->lines;
    // New lines take the file's own line ending.
    QString eol = QStringLiteral("\n");
    for (const Line& l : lines)
        if (!l.eol.isEmpty()) {
            eol = l.eol;
            break;
        }
    auto insertAt = [&](qsizetype at, QString text) {
        if (at > 0 && lines[size_t(at - 1)].eol.isEmpty()) lines[size_t(at - 1)].eol = eol;
        lines.insert(lines.begin() + at, Line{std::move(text), eol});
    };

    const Found f = Find(lines, section, key);
    if (f.key >= 0) {
        // Keep the key's spelling and the spacing around "=".
        QString& text = lines[size_t(f.key)].text;
        qsizetype eq = KeySplit(text) + 1;
        while (eq < text.size() && (text[eq] == u' ' || text[eq] == u'\t')) ++eq;
        text = text.left(eq) + value;
    } else if (f.section >= 0) {
        // After the section's last non-blank line, so blank separators stay between sections.
        qsizetype at = f.end;
        while (at > f.section + 1 && lines[size_t(at - 1)].text.trimmed().isEmpty()) --at;
        insertAt(at, key + u'=' + value);
    } else {
        insertAt(qsizetype(lines.size()), u'[' + section + u']');
        insertAt(qsizetype(lines.size()), key + u'=' + value);
    }

    QByteArray out;
    if (file->bom) out = "\xEF\xBB\xBF";
    for (const Line& l : lines) out += (l.text + l.eol).toUtf8();
    QSaveFile save(m_path);
    if (!save.open(QIODevice::WriteOnly)) return false;
    save.write(out);
    return save.commit();
}

bool CProfileFile::WriteInt(const QString& section, const QString& key, int value) {
    return WriteString(section, key, QString::number(value));
}
