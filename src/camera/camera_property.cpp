#include "camera/camera_property.h"

#include <QString>
#include <QStringList>

#include <cmath>

namespace {

constexpr const char* kNames[] = {"ae",         "ae-target", "exposure-us", "gain",  "wb",    "gamma",
                                  "contrast",   "saturation", "hue",        "brightness", "sharpen",
                                  "hflip",      "vflip",      "speed",      "mains"};
static_assert(std::size(kNames) == static_cast<size_t>(CameraPropertyId::Video));

constexpr const char* kVideoPrefix = "uvc:";

std::string Number(double v) {
    return QString::number(v, 'g', 15).toStdString();
}

std::string RangeText(const CameraPropertyInfo& info) {
    return QStringLiteral("(%1 to %2)").arg(QString::number(info.min, 'g', 15), QString::number(info.max, 'g', 15)).toStdString();
}

std::optional<double> ReadNumber(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

CameraPropertyInfo DescribeProperty(CameraPropertyId id, CameraValueKind kind, double min, double max,
                                    std::string unit) {
    CameraPropertyInfo p;
    p.key = {id};
    p.name = CameraPropertyName(p.key);
    p.kind = kind;
    p.min = min;
    p.max = max;
    p.unit = std::move(unit);
    return p;
}

std::string CameraPropertyName(CameraPropertyKey key) {
    if (key.id == CameraPropertyId::Video) return std::string(kVideoPrefix).append(std::to_string(key.video));
    return kNames[static_cast<int>(key.id)];
}

const CameraPropertyInfo* FindCameraProperty(const CameraProperties& list, const std::string& name) {
    for (const CameraPropertyInfo& p : list)
        if (p.name == name) return &p;
    if (name.rfind(kVideoPrefix, 0) != 0) return nullptr;
    bool ok = false;
    const int number = QString::fromStdString(name.substr(4)).toInt(&ok);
    if (!ok) return nullptr;
    for (const CameraPropertyInfo& p : list)
        if (p.key.video == number) return &p;
    return nullptr;
}

const CameraPropertyInfo* FindCameraProperty(const CameraProperties& list, CameraPropertyKey key) {
    for (const CameraPropertyInfo& p : list)
        if (p.key == key) return &p;
    return nullptr;
}

std::string FormatCameraValue(const CameraPropertyInfo& info, const CameraPropertyValue& value, bool keepLevel) {
    const auto& v = value.v;
    switch (info.kind) {
        case CameraValueKind::Toggle:
        case CameraValueKind::Choice:
            return std::to_string(static_cast<int>(std::lround(v[0])));
        case CameraValueKind::Triple:
            return Number(v[0]) + "," + Number(v[1]) + "," + Number(v[2]);
        case CameraValueKind::Switched:
            if (v[0] != 0) return "on," + Number(v[1]);
            return keepLevel ? "off," + Number(v[1]) : "off";
        case CameraValueKind::Number:
            break;
    }
    return Number(v[0]) + (info.hasAuto && value.automatic ? ",auto" : "");
}

std::optional<CameraPropertyValue> ParseCameraValue(const CameraPropertyInfo& info, const std::string& text,
                                                    std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<CameraPropertyValue> {
        if (error) *error = info.name + ": " + why;
        return std::nullopt;
    };
    if (info.readOnly) return fail("cannot be set");
    const QStringList parts = QString::fromStdString(text).split(u',');
    const auto inRange = [&](double x) { return x >= info.min && x <= info.max; };
    CameraPropertyValue out;
    switch (info.kind) {
        case CameraValueKind::Toggle: {
            const auto v = parts.size() == 1 ? ReadNumber(parts[0]) : std::nullopt;
            if (!v || (*v != 0 && *v != 1)) return fail("\"" + text + "\" is not 0 or 1");
            out.v[0] = *v;
            return out;
        }
        case CameraValueKind::Choice: {
            const auto v = parts.size() == 1 ? ReadNumber(parts[0]) : std::nullopt;
            if (!v || *v != std::floor(*v)) return fail("\"" + text + "\" is not a whole number");
            if (!inRange(*v)) return fail(Number(*v) + " is out of range " + RangeText(info));
            out.v[0] = *v;
            return out;
        }
        case CameraValueKind::Triple: {
            if (parts.size() != 3) return fail("\"" + text + "\" is not three numbers R,G,B");
            for (int i = 0; i < 3; ++i) {
                const auto v = ReadNumber(parts[i]);
                if (!v) return fail("\"" + text + "\" is not three numbers R,G,B");
                if (!inRange(*v)) return fail(Number(*v) + " is out of range " + RangeText(info));
                out.v[static_cast<size_t>(i)] = *v;
            }
            return out;
        }
        case CameraValueKind::Switched: {
            const QString state = parts[0].trimmed();
            if (state == QLatin1String("off") && parts.size() <= 2) {
                out.v[0] = 0;
                out.v[1] = info.min;
                if (parts.size() == 2) {
                    const auto level = ReadNumber(parts[1]);
                    if (!level || !inRange(*level)) return fail("\"" + text + "\" has no level in " + RangeText(info));
                    out.v[1] = *level;
                }
                return out;
            }
            const auto level = parts.size() == 2 && state == QLatin1String("on") ? ReadNumber(parts[1]) : std::nullopt;
            if (!level) return fail("\"" + text + "\" is not on,LEVEL or off");
            if (!inRange(*level)) return fail(Number(*level) + " is out of range " + RangeText(info));
            out.v[0] = 1;
            out.v[1] = *level;
            return out;
        }
        case CameraValueKind::Number:
            break;
    }
    if (parts.size() > 2 || (parts.size() == 2 && parts[1].trimmed() != QLatin1String("auto")))
        return fail("\"" + text + "\" is not a number (with ,auto at most)");
    const auto v = ReadNumber(parts[0]);
    if (!v) return fail("\"" + text + "\" is not a number");
    if (!inRange(*v)) return fail(Number(*v) + " is out of range " + RangeText(info));
    out.v[0] = *v;
    if (parts.size() == 2) {
        if (!info.hasAuto) return fail("has no automatic mode");
        out.automatic = true;
    }
    return out;
}
