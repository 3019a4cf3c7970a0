#pragma once
// The RGB presets of the RGB dialog, kept in the settings file's section "RGBGAIN": "Total",
// then per row i "RGBGAINNAME%d", "RGAIN%d", "GGAIN%d" and "BGAIN%d". The values stay texts as
// the list shows them.

#include <QString>
#include <vector>

struct RgbPreset {
    QString name;
    QString red, green, blue;
};

// The presets of the file (missing names read "RgbGainName", missing values "32").
std::vector<RgbPreset> ReadRgbPresets(const QString& iniPath);
// Writes "Total" and every row; keys of higher rows from an earlier, longer list stay in the
// file. False when the file cannot be written.
bool WriteRgbPresets(const QString& iniPath, const std::vector<RgbPreset>& presets);
