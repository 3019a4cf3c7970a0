// The settings file "Setting.ini": every read the program makes of it (language list, default
// picture name, save options, RGB presets), and the write of the language choice, which must
// leave every other value as it was.
#include <QString>
#include <vector>

#include "document/rgb_presets.h"
#include "fuzz_target.h"
#include "settings/profile_file.h"

namespace {

struct Key {
    const char* section;
    QString key;
};

std::vector<Key> ProgramKeys() {
    std::vector<Key> keys = {
        {"Lang", "LangId"},          {"Norvane", "Language"}, {"Image", "DefaultImageName"},
        {"Save", "FilePath"},        {"Save", "Prefix"},      {"Save", "Title"},
        {"Save", "Author"},          {"Save", "Suffix"},      {"Save", "bBmp"},
        {"Save", "bTime"},           {"Save", "bMeasure"},    {"Save", "bRuler"},
        {"Save", "bScale"},          {"Save", "bTitle"},      {"RGBGAIN", "Total"},
    };
    for (int n = 1; n <= 7; ++n) {
        keys.push_back({"Norvane", QStringLiteral("LangName%1").arg(n)});
        keys.push_back({"Norvane", QStringLiteral("LangID%1").arg(n)});
    }
    for (int i = 0; i < 4; ++i)
        for (const char* k : {"RGBGAINNAME%1", "RGAIN%1", "GGAIN%1", "BGAIN%1"})
            keys.push_back({"RGBGAIN", QString::fromLatin1(k).arg(i)});
    return keys;
}

}  // namespace

NS_FUZZ_TARGET(profile) {
    static const std::vector<Key> kKeys = ProgramKeys();
    const QString path = QString::fromStdString(ns_fuzz::ScratchFile("Setting.ini", data, size));
    CProfileFile ini(path);
    const CProfileSnapshot before = ini.Snapshot();
    const QString missing = QStringLiteral("\x01missing");
    // Single reads (a pass over the file each) answer as one reading for many keys does.
    for (size_t i = 0; i < kKeys.size(); i += 7) {
        const QString section = QLatin1String(kKeys[i].section);
        NS_FUZZ_CHECK(ini.GetString(section, kKeys[i].key, missing) ==
                      before.GetString(section, kKeys[i].key, missing));
        NS_FUZZ_CHECK(ini.GetInt(section, kKeys[i].key, -7) == before.GetInt(section, kKeys[i].key, -7));
    }
    ReadRgbPresets(path);

    if (!ini.WriteString(QStringLiteral("Norvane"), QStringLiteral("Language"), QStringLiteral("xy")))
        return;
    const CProfileSnapshot after = ini.Snapshot();
    for (const Key& k : kKeys) {
        const QString section = QLatin1String(k.section);
        const QString now = after.GetString(section, k.key, missing);
        if (k.key == QLatin1String("Language"))
            NS_FUZZ_CHECK(now == QLatin1String("xy"));
        else
            NS_FUZZ_CHECK(now == before.GetString(section, k.key, missing));
    }
}
