#include "overlay/ruler_file.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <cmath>

#include "overlay/calibration.h"
#include "settings/app_settings.h"

namespace {

constexpr qint64 kNumberLimit = 1000000000;
// A ruler file is a few hundred bytes; a larger file chosen by mistake is not read whole.
constexpr qint64 kReadLimit = 64 * 1024;
constexpr char kLineEnd[] = "\r\r\n";

int ParseInt(const QByteArray& line) {
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    qint64 value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        value = std::min(value * 10 + (line[i] - '0'), kNumberLimit);
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

QByteArray RulerFileBytes(const RulerFileData& d) {
    QByteArray out;
    auto text = [&out](const QString& s) { out += s.toUtf8() + kLineEnd; };
    auto number = [&out](qint64 n) { out += QByteArray::number(n) + kLineEnd; };
    text(d.xPerPixel);
    text(d.yPerPixel);
    text(d.xReal);
    text(d.yReal);
    number(kRulerFileOrigin);
    number(qint64(d.xLength) + kRulerFileOrigin);
    number(d.xLength);
    number(kRulerFileOrigin);
    number(qint64(d.yLength) + kRulerFileOrigin);
    number(d.yLength);
    number(d.unit);
    return out;
}

RulerFileData ParseRulerFile(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    // The part after the last LF is a line only when it holds something.
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    for (QByteArray& l : lines)
        while (l.endsWith('\r')) l.chop(1);
    auto line = [&lines](int i) { return i < lines.size() ? lines[i] : QByteArray(); };

    RulerFileData d;
    d.xPerPixel = QString::fromUtf8(line(0));
    d.yPerPixel = QString::fromUtf8(line(1));
    d.xReal = QString::fromUtf8(line(2));
    d.yReal = QString::fromUtf8(line(3));
    d.xStart = ParseInt(line(4));
    d.xEnd = ParseInt(line(5));
    d.xLength = ParseInt(line(6));
    d.yStart = ParseInt(line(7));
    d.yEnd = ParseInt(line(8));
    d.yLength = ParseInt(line(9));
    d.unit = ParseInt(line(10));
    return d;
}

bool WriteRulerFile(const QString& path, const RulerFileData& data, QString* error) {
    QSaveFile f(path);
    const QByteArray bytes = RulerFileBytes(data);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}

std::optional<RulerFileData> ReadRulerFile(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return std::nullopt;
    }
    return ParseRulerFile(f.read(kReadLimit));
}

double RulerPhysicalValue(const QString& text) {
    const double v = CalibrationFromText(text);
    return std::isfinite(v) ? v : 0.0;
}

double RulerUnitsPerPixel(const QString& physical, int pixelLength) {
    if (pixelLength <= 0) return 0.0;
    const double v = RulerPhysicalValue(physical) / pixelLength;
    return std::isfinite(v) ? v : 0.0;
}

QString RulerPerPixelText(const QString& physical, int pixelLength) {
    return GVLFixed(RulerUnitsPerPixel(physical, pixelLength), 8);
}
