#include "document/rgb_presets.h"

#include <algorithm>

#include "settings/profile_file.h"

namespace {
const QString kSection = QStringLiteral("RGBGAIN");
}

std::vector<RgbPreset> ReadRgbPresets(const QString& iniPath) {
    // One reading of the file for every key: a count read from it must not cost a pass over
    // the file per row.
    const CProfileSnapshot ini = CProfileFile(iniPath).Snapshot();
    const int total = ini.GetInt(kSection, QStringLiteral("Total"), 0);
    std::vector<RgbPreset> presets;
    // A damaged count must not make us read forever.
    for (int i = 0; i < std::min(total, 10000); ++i) {
        RgbPreset p;
        p.name = ini.GetString(kSection, QStringLiteral("RGBGAINNAME%1").arg(i), QStringLiteral("RgbGainName"));
        p.red = ini.GetString(kSection, QStringLiteral("RGAIN%1").arg(i), QStringLiteral("32"));
        p.green = ini.GetString(kSection, QStringLiteral("GGAIN%1").arg(i), QStringLiteral("32"));
        p.blue = ini.GetString(kSection, QStringLiteral("BGAIN%1").arg(i), QStringLiteral("32"));
        presets.push_back(p);
    }
    return presets;
}

bool WriteRgbPresets(const QString& iniPath, const std::vector<RgbPreset>& presets) {
    CProfileFile ini(iniPath);
    bool ok = ini.WriteString(kSection, QStringLiteral("Total"), QString::number(presets.size()));
    for (size_t i = 0; i < presets.size(); ++i) {
        const RgbPreset& p = presets[i];
        ok = ini.WriteString(kSection, QStringLiteral("RGBGAINNAME%1").arg(i), p.name) && ok;
        ok = ini.WriteString(kSection, QStringLiteral("RGAIN%1").arg(i), p.red) && ok;
        ok = ini.WriteString(kSection, QStringLiteral("GGAIN%1").arg(i), p.green) && ok;
        ok = ini.WriteString(kSection, QStringLiteral("BGAIN%1").arg(i), p.blue) && ok;
    }
    return ok;
}
