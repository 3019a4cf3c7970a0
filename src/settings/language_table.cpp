#include "settings/language_table.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QReadWriteLock>
#include <QStringDecoder>
#include <atomic>

namespace {

struct LocaleRow {
    int id;
    QLocale::Language language;
    QLocale::Territory territory;
    const char* iso639;
    const char* iso3166;
};

// The first row of a language is its primary one, used for territories not listed.
constexpr LocaleRow kLocales[] = {
    {1033, QLocale::English, QLocale::UnitedStates, "en", "US"},
    {2057, QLocale::English, QLocale::UnitedKingdom, "en", "GB"},
    {3081, QLocale::English, QLocale::Australia, "en", "AU"},
    {4105, QLocale::English, QLocale::Canada, "en", "CA"},
    {6153, QLocale::English, QLocale::Ireland, "en", "IE"},
    {5129, QLocale::English, QLocale::NewZealand, "en", "NZ"},
    {16393, QLocale::English, QLocale::India, "en", "IN"},
    {1031, QLocale::German, QLocale::Germany, "de", "DE"},
    {2055, QLocale::German, QLocale::Switzerland, "de", "CH"},
    {3079, QLocale::German, QLocale::Austria, "de", "AT"},
    {4103, QLocale::German, QLocale::Luxembourg, "de", "LU"},
    {5127, QLocale::German, QLocale::Liechtenstein, "de", "LI"},
    {1036, QLocale::French, QLocale::France, "fr", "FR"},
    {2060, QLocale::French, QLocale::Belgium, "fr", "BE"},
    {3084, QLocale::French, QLocale::Canada, "fr", "CA"},
    {4108, QLocale::French, QLocale::Switzerland, "fr", "CH"},
    {5132, QLocale::French, QLocale::Luxembourg, "fr", "LU"},
    {2052, QLocale::Chinese, QLocale::China, "zh", "CN"},
    {1028, QLocale::Chinese, QLocale::Taiwan, "zh", "TW"},
    {3076, QLocale::Chinese, QLocale::HongKong, "zh", "HK"},
    {4100, QLocale::Chinese, QLocale::Singapore, "zh", "SG"},
    {1041, QLocale::Japanese, QLocale::Japan, "ja", "JP"},
    {1042, QLocale::Korean, QLocale::SouthKorea, "ko", "KR"},
    {3082, QLocale::Spanish, QLocale::Spain, "es", "ES"},
    {2058, QLocale::Spanish, QLocale::Mexico, "es", "MX"},
    {11274, QLocale::Spanish, QLocale::Argentina, "es", "AR"},
    {1040, QLocale::Italian, QLocale::Italy, "it", "IT"},
    {2064, QLocale::Italian, QLocale::Switzerland, "it", "CH"},
    {1043, QLocale::Dutch, QLocale::Netherlands, "nl", "NL"},
    {2067, QLocale::Dutch, QLocale::Belgium, "nl", "BE"},
    {2070, QLocale::Portuguese, QLocale::Portugal, "pt", "PT"},
    {1046, QLocale::Portuguese, QLocale::Brazil, "pt", "BR"},
    {1049, QLocale::Russian, QLocale::Russia, "ru", "RU"},
    {1058, QLocale::Ukrainian, QLocale::Ukraine, "uk", "UA"},
    {1045, QLocale::Polish, QLocale::Poland, "pl", "PL"},
    {1029, QLocale::Czech, QLocale::CzechRepublic, "cs", "CZ"},
    {1051, QLocale::Slovak, QLocale::Slovakia, "sk", "SK"},
    {1038, QLocale::Hungarian, QLocale::Hungary, "hu", "HU"},
    {1048, QLocale::Romanian, QLocale::Romania, "ro", "RO"},
    {1026, QLocale::Bulgarian, QLocale::Bulgaria, "bg", "BG"},
    {1050, QLocale::Croatian, QLocale::Croatia, "hr", "HR"},
    {1060, QLocale::Slovenian, QLocale::Slovenia, "sl", "SI"},
    {1061, QLocale::Estonian, QLocale::Estonia, "et", "EE"},
    {1062, QLocale::Latvian, QLocale::Latvia, "lv", "LV"},
    {1063, QLocale::Lithuanian, QLocale::Lithuania, "lt", "LT"},
    {1053, QLocale::Swedish, QLocale::Sweden, "sv", "SE"},
    {1030, QLocale::Danish, QLocale::Denmark, "da", "DK"},
    {1044, QLocale::NorwegianBokmal, QLocale::Norway, "nb", "NO"},
    {1035, QLocale::Finnish, QLocale::Finland, "fi", "FI"},
    {1039, QLocale::Icelandic, QLocale::Iceland, "is", "IS"},
    {1032, QLocale::Greek, QLocale::Greece, "el", "GR"},
    {1055, QLocale::Turkish, QLocale::Turkey, "tr", "TR"},
    {1037, QLocale::Hebrew, QLocale::Israel, "he", "IL"},
    {1025, QLocale::Arabic, QLocale::SaudiArabia, "ar", "SA"},
    {3073, QLocale::Arabic, QLocale::Egypt, "ar", "EG"},
    {1065, QLocale::Persian, QLocale::Iran, "fa", "IR"},
    {1081, QLocale::Hindi, QLocale::India, "hi", "IN"},
    {1054, QLocale::Thai, QLocale::Thailand, "th", "TH"},
    {1066, QLocale::Vietnamese, QLocale::Vietnam, "vi", "VN"},
    {1057, QLocale::Indonesian, QLocale::Indonesia, "id", "ID"},
    {1086, QLocale::Malay, QLocale::Malaysia, "ms", "MY"},
};

QReadWriteLock g_lock;
QHash<QString, QString> g_table;
std::atomic<bool> g_bTranslate{false};

void ParseInto(const QString& text, QHash<QString, QString>& table) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto isEol = [&](qsizetype k) { return text[k] == u'\r' || text[k] == u'\n'; };
    while (i < n) {
        qsizetype end = i;
        while (end < n && !isEol(end)) ++end;
        if (!QStringView(text).mid(i, end - i).startsWith(u"//")) {
            const qsizetype tab = text.indexOf(u'\t', i);
            if (tab >= 0 && tab < end && tab + 1 < end)
                table.insert(text.mid(i, tab - i), text.mid(tab + 1, end - tab - 1));
        }
        i = end;
        while (i < n && isEol(i)) ++i;
    }
}

}  // namespace

LanguageId LanguageIdForLocale(const QLocale& locale) {
    const LocaleRow* primary = nullptr;
    for (const LocaleRow& r : kLocales) {
        if (r.language != locale.language()) continue;
        if (r.territory == locale.territory()) return {r.id, r.iso639, r.iso3166};
        if (!primary) primary = &r;
    }
    const LocaleRow& r = primary ? *primary : kLocales[0];
    return {r.id, r.iso639, r.iso3166};
}

int SystemLanguageId() {
    return LanguageIdForLocale(QLocale::system()).id;
}

QString LanguageFilePath(const QString& code, const QString& folder, const QLocale& locale) {
    auto path = [&](const QString& c) {
        return folder + QLatin1String("strings") + u'_' + c + u'.' + QLatin1String("txt");
    };
    if (code != QLatin1String("auto")) return path(code);
    const LanguageId id = LanguageIdForLocale(locale);
    const QString withCountry = path(QLatin1String(id.iso639) + u'-' + QLatin1String(id.iso3166));
    if (QFileInfo::exists(withCountry)) return withCountry;
    return path(QLatin1String(id.iso639));
}

bool OpenLanguageFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    // At most 3 bytes of UTF-8 make one UTF-16 unit: this covers the units that count.
    const QByteArray bytes = f.read(qint64(kLanguageFileMaxUnits) * 3 + 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (text.size() > kLanguageFileMaxUnits) {
        text.truncate(kLanguageFileMaxUnits);
        // Never keep half of a surrogate pair.
        if (text.back().isHighSurrogate()) text.chop(1);
    }
    QHash<QString, QString> parsed;
    ParseInto(text, parsed);
    QWriteLocker lock(&g_lock);
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it) g_table.insert(it.key(), it.value());
    g_bTranslate = true;
    return true;
}

bool LoadLanguage(const QString& code, const QString& folder, const QLocale& locale) {
    return OpenLanguageFile(LanguageFilePath(code, folder, locale)) ||
           OpenLanguageFile(LanguageFilePath(QStringLiteral("en"), folder, locale));
}

QString Translate(const QString& text) {
    if (!g_bTranslate) return text;
    QReadLocker lock(&g_lock);
    const auto it = g_table.constFind(text);
    return it == g_table.cend() ? text : it.value();
}

void ClearLanguageTable() {
    QWriteLocker lock(&g_lock);
    g_table.clear();
    g_bTranslate = false;
}
