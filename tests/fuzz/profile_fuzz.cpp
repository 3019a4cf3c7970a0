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
    const CProfileSnapshot snap = ini.Snapshot();
    const QString missing = QStringLiteral("\x01missing");
    std::vector<QString> before;
    for (const Key& k : kKeys) {
        const QString section = QLatin1String(k.section);
        before.push_back(ini.GetString(section, k.key, missing));
        // One reading for many keys answers as single reads do.
        NS_FUZZ_CHECK(snap.GetString(section, k.key, missing) == before.back());
        NS_FUZZ_CHECK(snap.GetInt(section, k.key, -7) == ini.GetInt(section, k.key, -7));
    }
    ReadRgbPresets(path);

    if (!ini.WriteString(QStringLiteral("Norvane"), QStringLiteral("Language"), QStringLiteral("xy")))
        return;
    for (size_t i = 0; i < kKeys.size(); ++i) {
        const QString now = ini.GetString(QLatin1String(kKeys[i].section), kKeys[i].key, missing);
        if (kKeys[i].key == QLatin1String("Language"))
            NS_FUZZ_CHECK(now == QLatin1String("xy"));
        else
            NS_FUZZ_CHECK(now == before[i]);
    }
}
