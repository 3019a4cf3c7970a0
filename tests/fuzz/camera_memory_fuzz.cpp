// The per-camera memory file: whatever it holds, reading it gives each camera's values as texts,
// and every text the property model takes back lies within the setting's range and survives a
// second round through text unchanged; a text it refuses says why.
#include <QString>

#include <string>
#include <vector>

#include "camera/camera_memory.h"
#include "camera/camera_property.h"
#include "fuzz_target.h"

namespace {

// One description of each kind of value, with the ranges the cameras use.
std::vector<CameraPropertyInfo> Descriptions() {
    std::vector<CameraPropertyInfo> out;
    auto add = [&](const char* name, CameraValueKind kind, double min, double max, bool hasAuto) {
        CameraPropertyInfo p;
        p.key = {CameraPropertyId::Video, static_cast<int>(out.size())};
        p.name = name;
        p.kind = kind;
        p.min = min;
        p.max = max;
        p.hasAuto = hasAuto;
        out.push_back(p);
    };
    add("ae", CameraValueKind::Toggle, 0, 1, false);
    add("exposure-us", CameraValueKind::Number, 50, 2000000, false);
    add("uvc:14", CameraValueKind::Number, 3, 2047, true);
    add("wb", CameraValueKind::Triple, 20, 200, false);
    add("sharpen", CameraValueKind::Switched, 30, 100, false);
    add("speed", CameraValueKind::Choice, 0, 2, false);
    add("hue", CameraValueKind::Number, -180, 180, false);
    return out;
}

bool InRange(const CameraPropertyInfo& p, const CameraPropertyValue& v) {
    switch (p.kind) {
        case CameraValueKind::Triple:
            for (double x : v.v)
                if (x < p.min || x > p.max) return false;
            return true;
        case CameraValueKind::Switched:
            return (v.v[0] == 0 || v.v[0] == 1) && v.v[1] >= p.min && v.v[1] <= p.max;
        default:
            return v.v[0] >= p.min && v.v[0] <= p.max && (p.hasAuto || !v.automatic);
    }
}

void Check(const std::vector<CameraPropertyInfo>& list, const std::string& text) {
    for (const CameraPropertyInfo& p : list) {
        std::string why;
        const auto v = ParseCameraValue(p, text, &why);
        if (!v) {
            NS_FUZZ_CHECK(!why.empty());
            continue;
        }
        NS_FUZZ_CHECK(InRange(p, *v));
        const std::string again = FormatCameraValue(p, *v, true);
        const auto w = ParseCameraValue(p, again, &why);
        NS_FUZZ_CHECK(w.has_value());
        NS_FUZZ_CHECK(w && FormatCameraValue(p, *w, true) == again);
    }
}

}  // namespace

NS_FUZZ_TARGET(camera_memory) {
    static const std::vector<CameraPropertyInfo> kList = Descriptions();
    const QString path = QString::fromStdString(ns_fuzz::ScratchFile("cameras.ini", data, size));
    CCameraMemory memory(path);
    for (const std::string& identity : memory.Identities()) {
        for (const auto& [name, text] : memory.Remembered(identity)) {
            (void)FindCameraProperty(kList, name);
            Check(kList, text);
        }
        for (const auto& [name, text] : memory.Defaults(identity)) Check(kList, text);
    }
}
