#include "overlay/calibration.h"

#include <charconv>
#include <cmath>

namespace {

constexpr const char* kUnitNames[kGVLUnitCount] = {"um", "mm", "cm", "dm", "mil", "inch"};

constexpr QRgb kColors[8] = {
    qRgb(1, 1, 1),   qRgb(255, 255, 255), qRgb(255, 0, 0),   qRgb(0, 255, 0),
    qRgb(0, 0, 255), qRgb(0, 255, 255),   qRgb(255, 0, 255), qRgb(255, 255, 0),
};

}  // namespace

QString GVLUnitName(int unit) {
    if (unit < 0 || unit >= kGVLUnitCount) return {};
    return QString::fromLatin1(kUnitNames[unit]);
}

QString GVLUnitSuffix(int unit) {
    if (unit < 0 || unit >= kGVLUnitCount) return {};
    return QLatin1Char(' ') + QString::fromLatin1(kUnitNames[unit]);
}

QColor GVLColor(int index) {
    if (index < 0 || index >= 8) index = 0;
    return QColor(kColors[index]);
}

QString GVLFixed(double value, int decimals) {
    if (!std::isfinite(value)) return QString::number(value);
    // std::to_chars ignores the locale, unlike printf after setlocale(LC_ALL, "").
    char buf[400];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return {};
    return QString::fromLatin1(buf, res.ptr - buf);
}

QString GVLResultText(GVLResult kind, double value, int precision, int unit) {
    if (precision < 1 || precision > 5) return {};
    const QString v = GVLFixed(value, precision);
    switch (kind) {
        case GVLResult::Length:
            return QStringLiteral("L=") + v + GVLUnitSuffix(unit);
        case GVLResult::Angle:
            return QStringLiteral("A=") + v + QStringLiteral(" deg");
        case GVLResult::Area: {
            // Without a unit name the "2" would read as a digit of the value.
            const QString suffix = GVLUnitSuffix(unit);
            return QStringLiteral("S=") + v +
                   (suffix.isEmpty() ? suffix : suffix + QLatin1Char('2'));
        }
        case GVLResult::Radius:
            return QStringLiteral("R=") + v + GVLUnitSuffix(unit);
        case GVLResult::RulerArm:
            return v + GVLUnitSuffix(unit);
    }
    return {};
}
