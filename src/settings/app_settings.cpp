#include "settings/app_settings.h"

#include <QLocale>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cmath>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>
#include <memory>

CAppSettings theSettings;

class CRegKey {
public:
    explicit CRegKey(QSettings& s) : m_s(s) {}
    QSettings& settings() { return m_s; }

private:
    QSettings& m_s;
};

namespace {

struct KeyParts {
    QString company, product, group;
};

KeyParts SplitKeyPath(const QString& keyPath) {
    QStringList parts = keyPath.split(u'\\');
    KeyParts k;
    if (!parts.isEmpty() && parts.front() == QLatin1String("Software")) parts.pop_front();
    if (!parts.isEmpty()) k.company = parts.takeFirst();
    if (!parts.isEmpty()) k.product = parts.takeFirst();
    k.group = parts.join(u'/');
    return k;
}

std::unique_ptr<QSettings> OpenStore(const KeyParts& k) {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, k.company,
                                       k.product);
}

// A value that the INI reader split at its commas comes back as a list.
QString TextOf(const QVariant& v) {
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1String(", "));
    return v.toString();
}

}  // namespace

QString RegistryKeyPath(const QString& productTitle, const QString& group) {
    return QStringLiteral("Software\\%1\\%2\\%3")
        .arg(QLatin1String(kCompanyKey), productTitle, group);
}

int CRegSettings::Load() {
    const KeyParts k = SplitKeyPath(m_strKeyPath);
    auto store = OpenStore(k);
    if (k.group.isEmpty() || !store->childGroups().contains(k.group)) {
        Exchange(nullptr, false, true);
        return kRegNotFound;
    }
    store->beginGroup(k.group);
    CRegKey key(*store);
    return Exchange(&key, false, false);
}

int CRegSettings::Save() {
    const KeyParts k = SplitKeyPath(m_strKeyPath);
    if (k.group.isEmpty()) return kRegNotFound;
    auto store = OpenStore(k);
    if (!store->isWritable() || store->status() != QSettings::NoError) return kRegAccessDenied;
    store->beginGroup(k.group);
    CRegKey key(*store);
    const int rc = Exchange(&key, true, false);
    store->endGroup();
    store->sync();
    if (rc != kRegOk) return rc;
    return store->status() == QSettings::NoError ? kRegOk : kRegAccessDenied;
}

int CRegSettings::ExchangeFields(CRegKey* key, bool bSave, bool bDefaults,
                                 std::span<const Field> fields) {
    int rc = kRegOk;
    for (const Field& f : fields) {
        if (bDefaults || !key) {
            if (f.pInt) *f.pInt = f.defInt;
            if (f.pText) *f.pText = QString::fromUtf8(f.defText);
            continue;
        }
        QSettings& s = key->settings();
        const QString name = QLatin1String(f.name);
        if (bSave) {
            if (!s.isWritable()) return kRegAccessDenied;
            if (f.pInt)
                s.setValue(name, *f.pInt);
            else
                s.setValue(name, *f.pText);
            continue;
        }
        rc = kRegOk;
        if (!s.contains(name)) {
            rc = kRegNotFound;
        } else if (f.pInt) {
            bool ok = false;
            const int v = TextOf(s.value(name)).trimmed().toInt(&ok);
            if (ok)
                *f.pInt = v;
            else
                rc = kRegInvalidData;
        } else {
            *f.pText = TextOf(s.value(name));
        }
        if (rc != kRegOk) {
            if (f.pInt) *f.pInt = f.defInt;
            if (f.pText) *f.pText = QString::fromUtf8(f.defText);
        }
    }
    return rc;
}

#define NS_INT(name, def)                   \
    Field {                                 \
#name, &name, nullptr, def, nullptr \
    }
#define NS_TEXT(name, def)            \
    Field {                           \
#name, nullptr, &name, 0, def \
    }

CamPaneRegistry::CamPaneRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CamPaneRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {
        NS_INT(bCamPaneVisible, 65535),
        NS_INT(bCamDeviceIndex, 0),
        NS_INT(mControlUIType, 0),
    };
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CamVideoRegistry::CamVideoRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CamVideoRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {NS_INT(ZoomCurSel, 10)};
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CMeasureRegistry::CMeasureRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CMeasureRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {
        NS_TEXT(m_unit_dcxPerPixel, "0.20"),
        NS_TEXT(m_unit_dcyPerPixel, "0.20"),
        NS_INT(m_unit_Unit, 0),
        NS_TEXT(m_unit_dcxReal, "10.00"),
        NS_TEXT(m_unit_dcyReal, "10.00"),
        NS_INT(m_color_Adjust, 2),
        NS_INT(m_color_Coord, 0),
        NS_INT(m_color_Ruler, 3),
        NS_INT(m_color_Text, 2),
        NS_INT(FontSize, 2),
        NS_INT(Precision, 3),
        NS_INT(FontBackground, 1),
        NS_INT(m_nXStart, 50),
        NS_INT(m_nXEnd, 100),
        NS_INT(m_nYStart, 50),
        NS_INT(m_nYEnd, 100),
        NS_INT(m_nXRealPixelLength, 50),
        NS_INT(m_nYRealPixelLength, 50),
    };
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CProcessRegistry::CProcessRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CProcessRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {NS_INT(bFlip, 0), NS_INT(bMirror, 0)};
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CSaveRegistry::CSaveRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CSaveRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {
        NS_TEXT(Prefix, "Image"), NS_TEXT(StartSuffix, "Image"),
        NS_TEXT(FilePath, ""),    NS_TEXT(Title, ""),
        NS_TEXT(Author, ""),      NS_INT(ImageType, 0),
        NS_INT(bMeasure, 0),      NS_INT(bRuler, 0),
        NS_INT(bTitle, 0),        NS_INT(bTime, 1),
        NS_INT(Suffix, 0),        NS_INT(bBmp, 1),
        NS_INT(bScale, 0),
    };
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CSaveAsRegistry::CSaveAsRegistry(QString keyPath) : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CSaveAsRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {
        NS_TEXT(FilePath, ""), NS_TEXT(Title, ""),   NS_TEXT(Author, ""), NS_TEXT(Subject, ""),
        NS_TEXT(Comment, ""),  NS_INT(ImageType, 0), NS_INT(bMeasure, 1), NS_INT(bRuler, 0),
        NS_INT(bTitle, 0),     NS_INT(bTime, 0),     NS_INT(bScale, 0),
    };
    return ExchangeFields(key, bSave, bDefaults, fields);
}

CMeasureDlgSettingRegistry::CMeasureDlgSettingRegistry(QString keyPath)
    : CRegSettings(std::move(keyPath)) {
    Exchange(nullptr, false, true);
}
int CMeasureDlgSettingRegistry::Exchange(CRegKey* key, bool bSave, bool bDefaults) {
    const Field fields[] = {
        NS_INT(Magnification, 0),  NS_INT(Unit, 0),      NS_INT(X_RulerLength, 50),
        NS_INT(Y_RulerLength, 50), NS_TEXT(XUnit, "10"), NS_TEXT(YUnit, "10"),
    };
    return ExchangeFields(key, bSave, bDefaults, fields);
}

#undef NS_INT
#undef NS_TEXT

double CalibrationFromText(const QString& text) {
    // Like atof: the longest leading decimal number, ignoring blanks before it.
    const QString t = text.trimmed();
    qsizetype n = 0;
    if (n < t.size() && (t[n] == u'+' || t[n] == u'-')) ++n;
    const qsizetype digitsFrom = n;
    while (n < t.size() && t[n].isDigit() && t[n].unicode() < 128) ++n;
    qsizetype digits = n - digitsFrom;
    if (n < t.size() && t[n] == u'.') {
        const qsizetype frac = ++n;
        while (n < t.size() && t[n] >= u'0' && t[n] <= u'9') ++n;
        digits += n - frac;
    }
    if (digits == 0) return 0;
    qsizetype end = n;
    if (n < t.size() && (t[n] == u'e' || t[n] == u'E')) {
        qsizetype e = n + 1;
        if (e < t.size() && (t[e] == u'+' || t[e] == u'-')) ++e;
        const qsizetype expFrom = e;
        while (e < t.size() && t[e] >= u'0' && t[e] <= u'9') ++e;
        if (e > expFrom) end = e;
    }
    bool ok = false;
    const double v = t.left(end).toDouble(&ok);  // QString::toDouble is locale-free
    return ok ? v : 0;
}

QString CalibrationToText(double value) {
    // The shortest decimal text that reads back to the same number: two decimals would turn
    // 0.04761905 into 0.05 and 0.004 into 0. QString::number ignores the locale, so a German
    // desktop still writes a point.
    if (!std::isfinite(value)) return QStringLiteral("0");
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

namespace {
// Fills theSettings from the store, or with every group's defaults when fromStore is false.
void FillSettings(const QString& productTitle, bool fromStore) {
    CAppSettings& s = theSettings;
    auto path = [&](const char* group) { return RegistryKeyPath(productTitle, group); };

    CamPaneRegistry pane(path("CameraPane"));
    if (fromStore) pane.Load();
    s.cameraPane = {pane.bCamPaneVisible, pane.bCamDeviceIndex, pane.mControlUIType};

    CamVideoRegistry video(path("ZoomCurSel"));
    if (fromStore) video.Load();
    s.zoom.ZoomCurSel = video.ZoomCurSel;

    CMeasureRegistry m(path("Measure"));
    if (fromStore) m.Load();
    s.measure = {CalibrationFromText(m.m_unit_dcxPerPixel),
                 CalibrationFromText(m.m_unit_dcyPerPixel),
                 m.m_unit_Unit,
                 CalibrationFromText(m.m_unit_dcxReal),
                 CalibrationFromText(m.m_unit_dcyReal),
                 m.m_color_Adjust,
                 m.m_color_Coord,
                 m.m_color_Ruler,
                 m.m_color_Text,
                 m.FontSize,
                 m.Precision,
                 m.FontBackground,
                 m.m_nXStart,
                 m.m_nXEnd,
                 m.m_nYStart,
                 m.m_nYEnd,
                 m.m_nXRealPixelLength,
                 m.m_nYRealPixelLength};

    CProcessRegistry p(path("Process"));
    if (fromStore) p.Load();
    s.process = {p.bFlip, p.bMirror};

    CSaveRegistry sv(path("Save"));
    if (fromStore) sv.Load();
    s.save = {sv.Prefix,    sv.StartSuffix, sv.FilePath, sv.Title,  sv.Author,
              sv.ImageType, sv.bMeasure,    sv.bRuler,   sv.bTitle, sv.bTime,
              sv.Suffix,    sv.bBmp,        sv.bScale};

    CSaveAsRegistry sa(path("SaveAs"));
    if (fromStore) sa.Load();
    s.saveAs = {sa.FilePath, sa.Title,  sa.Author, sa.Subject, sa.Comment, sa.ImageType,
                sa.bMeasure, sa.bRuler, sa.bTitle, sa.bTime,   sa.bScale};

    CMeasureDlgSettingRegistry d(path("MeasureDlgSetting"));
    if (fromStore) d.Load();
    s.measureDlg = {d.Magnification, d.Unit, d.X_RulerLength, d.Y_RulerLength, d.XUnit, d.YUnit};

    s.bLoaded = fromStore;
}
}  // namespace

QString SettingsStorePath(const QString& productTitle) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QLatin1String(kCompanyKey) + u'/' + productTitle + QLatin1String(".ini");
}

namespace {

// The INI reader turns a value (or a list item) that reads as "@Variant(..." or
// "@DateTime(..." into an object decoded from the bytes that follow; we only ever write texts,
// numbers and byte arrays. What follows walks the file the way that reader does (its lines,
// quotes, commas and escapes) far enough to see how each value begins.

bool IsIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One logical line from `pos`: blanks before it skipped, comment lines dropped, a line break
// inside quotes or after a backslash kept. Sets [start, end) and the first "=" outside quotes.
bool NextIniLine(const QByteArray& d, qsizetype& pos, qsizetype& start, qsizetype& end,
                 qsizetype& equals) {
    const qsizetype n = d.size();
    bool inQuotes = false;
    equals = -1;
    start = pos;
    while (start < n && IsIniSpace(d[start])) ++start;
    qsizetype i = start;
    while (i < n) {
        const char ch = d[i++];
        if (ch == '=') {
            if (!inQuotes && equals < 0) equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < n) {
                const char e = d[i++];
                if (i < n && ((e == '\n' && d[i] == '\r') || (e == '\r' && d[i] == '\n'))) ++i;
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (ch == ';') {
            if (i == start + 1) {
                while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    end = i;
    return end > start;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadsAsObject(const std::u16string& item) {
    auto starts = [&](const char* w) {
        const std::u16string_view v(item);
        for (size_t k = 0; w[k]; ++k)
            if (k >= v.size() || v[k] != char16_t(w[k])) return false;
        return true;
    };
    return starts("@Variant(") || starts("@DateTime(");
}

// Whether some item of the value in [i, to) reads as a serialised object. Only the first
// characters of each item are decoded (bytes beyond ASCII cannot make one).
bool ValueHoldsObject(const QByteArray& d, qsizetype i, const qsizetype to) {
    constexpr size_t kEnough = 10;  // "@DateTime(" is the longest mark
    std::u16string item;
    bool inQuotes = false;
    auto add = [&](char16_t c) {
        if (item.size() < kEnough) item.push_back(c);
    };
    auto skipBlanks = [&] {
        while (i < to && (d[i] == ' ' || d[i] == '\t')) ++i;
    };
    skipBlanks();
    while (i < to) {
        const char ch = d[i];
        if (ch == '\\') {
            if (++i >= to) break;
            const char e = d[i++];
            static constexpr char kCodes[][2] = {{'a', '\a'},  {'b', '\b'}, {'f', '\f'},
                                                 {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                                                 {'v', '\v'},  {'"', '"'},  {'?', '?'},
                                                 {'\'', '\''}, {'\\', '\\'}};
            bool coded = false;
            for (const auto& code : kCodes)
                if (e == code[0]) {
                    add(char16_t(code[1]));
                    coded = true;
                    break;
                }
            if (coded) continue;
            if ((e == 'x' && i < to && HexDigit(d[i]) >= 0) || (e >= '0' && e <= '7')) {
                // Any number of digits; only the low 16 bits of the value count.
                const bool hex = e == 'x';
                uint32_t v = hex ? 0 : uint32_t(e - '0');
                for (; i < to; ++i) {
                    const int digit = hex ? HexDigit(d[i]) : (d[i] >= '0' && d[i] <= '7' ? d[i] - '0' : -1);
                    if (digit < 0) break;
                    v = ((v << (hex ? 4 : 3)) + uint32_t(digit)) & 0xFFFF;
                }
                add(char16_t(v));
            } else if ((e == '\n' || e == '\r') && i < to && (d[i] == '\n' || d[i] == '\r') &&
                       d[i] != e) {
                ++i;  // an escaped line break, CR LF or LF CR
            }
            // Any other escaped character is dropped.
        } else if (ch == '"') {
            ++i;
            inQuotes = !inQuotes;
            if (!inQuotes) skipBlanks();
        } else if (ch == ',' && !inQuotes) {
            if (ReadsAsObject(item)) return true;
            item.clear();
            ++i;
            skipBlanks();
        } else {
            add(char16_t(static_cast<unsigned char>(ch)));
            ++i;
        }
    }
    return ReadsAsObject(item);
}

bool HoldsSerialisedObjects(const QByteArray& d) {
    qsizetype pos = d.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype start = 0, end = 0, equals = -1;
    while (NextIniLine(d, pos, start, end, equals)) {
        if (d[start] == '[' || equals < 0) continue;
        if (ValueHoldsObject(d, equals + 1, end)) return true;
    }
    return false;
}

}  // namespace

StoreCheck GuardSettingsStore(const QString& path) {
    QFile f(path);
    if (!f.exists()) return StoreCheck::Sound;
    bool damaged = f.size() > kMaxSettingsStoreBytes;
    if (!damaged) {
        if (!f.open(QIODevice::ReadOnly)) return StoreCheck::Sound;  // QSettings cannot read it either
        damaged = HoldsSerialisedObjects(f.readAll());
        f.close();
    }
    if (!damaged) return StoreCheck::Sound;
    // Kept for the user to look at; an older one of that name gives way.
    const QString aside = path + QLatin1String(".damaged");
    QFile::remove(aside);
    return QFile::rename(path, aside) ? StoreCheck::SetAside : StoreCheck::Unusable;
}

void LoadAllSettings(const QString& productTitle) {
    // QSettings also reads the company's file beside the product's folder.
    const QString companyFile = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                u'/' + QLatin1String(kCompanyKey) + QLatin1String(".ini");
    const bool usable = GuardSettingsStore(SettingsStorePath(productTitle)) != StoreCheck::Unusable &&
                        GuardSettingsStore(companyFile) != StoreCheck::Unusable;
    FillSettings(productTitle, usable);
}

void LoadDefaultSettings() { FillSettings(QStringLiteral("NorvaneScope"), false); }


void SaveAllSettings(const QString& productTitle) {
    const CAppSettings& s = theSettings;
    if (!s.bLoaded) return;
    auto path = [&](const char* group) { return RegistryKeyPath(productTitle, group); };

    CamPaneRegistry pane(path("CameraPane"));
    pane.bCamPaneVisible = s.cameraPane.bCamPaneVisible;
    pane.bCamDeviceIndex = s.cameraPane.bCamDeviceIndex;
    pane.mControlUIType = s.cameraPane.mControlUIType;
    pane.Save();

    CamVideoRegistry video(path("ZoomCurSel"));
    video.ZoomCurSel = s.zoom.ZoomCurSel;
    video.Save();

    const CAppSettings::Measure& sm = s.measure;
    CMeasureRegistry m(path("Measure"));
    m.m_unit_dcxPerPixel = CalibrationToText(sm.m_unit_dcxPerPixel);
    m.m_unit_dcyPerPixel = CalibrationToText(sm.m_unit_dcyPerPixel);
    m.m_unit_Unit = sm.m_unit_Unit;
    m.m_unit_dcxReal = CalibrationToText(sm.m_unit_dcxReal);
    m.m_unit_dcyReal = CalibrationToText(sm.m_unit_dcyReal);
    m.m_color_Adjust = sm.m_color_Adjust;
    m.m_color_Coord = sm.m_color_Coord;
    m.m_color_Ruler = sm.m_color_Ruler;
    m.m_color_Text = sm.m_color_Text;
    m.FontSize = sm.FontSize;
    m.Precision = sm.Precision;
    m.FontBackground = sm.FontBackground;
    m.m_nXStart = sm.m_nXStart;
    m.m_nXEnd = sm.m_nXEnd;
    m.m_nYStart = sm.m_nYStart;
    m.m_nYEnd = sm.m_nYEnd;
    m.m_nXRealPixelLength = sm.m_nXRealPixelLength;
    m.m_nYRealPixelLength = sm.m_nYRealPixelLength;
    m.Save();

    CProcessRegistry p(path("Process"));
    p.bFlip = s.process.bFlip;
    p.bMirror = s.process.bMirror;
    p.Save();

    CSaveRegistry sv(path("Save"));
    sv.Prefix = s.save.Prefix;
    sv.StartSuffix = s.save.StartSuffix;
    sv.FilePath = s.save.FilePath;
    sv.Title = s.save.Title;
    sv.Author = s.save.Author;
    sv.ImageType = s.save.ImageType;
    sv.bMeasure = s.save.bMeasure;
    sv.bRuler = s.save.bRuler;
    sv.bTitle = s.save.bTitle;
    sv.bTime = s.save.bTime;
    sv.Suffix = s.save.Suffix;
    sv.bBmp = s.save.bBmp;
    sv.bScale = s.save.bScale;
    sv.Save();

    CSaveAsRegistry sa(path("SaveAs"));
    sa.FilePath = s.saveAs.FilePath;
    sa.Title = s.saveAs.Title;
    sa.Author = s.saveAs.Author;
    sa.Subject = s.saveAs.Subject;
    sa.Comment = s.saveAs.Comment;
    sa.ImageType = s.saveAs.ImageType;
    sa.bMeasure = s.saveAs.bMeasure;
    sa.bRuler = s.saveAs.bRuler;
    sa.bTitle = s.saveAs.bTitle;
    sa.bTime = s.saveAs.bTime;
    sa.bScale = s.saveAs.bScale;
    sa.Save();

    CMeasureDlgSettingRegistry d(path("MeasureDlgSetting"));
    d.Magnification = s.measureDlg.Magnification;
    d.Unit = s.measureDlg.Unit;
    d.X_RulerLength = s.measureDlg.X_RulerLength;
    d.Y_RulerLength = s.measureDlg.Y_RulerLength;
    d.XUnit = s.measureDlg.XUnit;
    d.YUnit = s.measureDlg.YUnit;
    d.Save();
}

namespace {

struct SettingRef {
    const char* group;
    const char* name;
    int* i = nullptr;
    double* d = nullptr;
    QString* t = nullptr;
};

std::vector<SettingRef> SettingRefs() {
    CAppSettings& s = theSettings;
    auto& m = s.measure;
    auto& sv = s.save;
    auto& sa = s.saveAs;
    auto& md = s.measureDlg;
    auto I = [](const char* g, const char* n, int* p) { return SettingRef{g, n, p, nullptr, nullptr}; };
    auto D = [](const char* g, const char* n, double* p) { return SettingRef{g, n, nullptr, p, nullptr}; };
    auto T = [](const char* g, const char* n, QString* p) { return SettingRef{g, n, nullptr, nullptr, p}; };
    return {
        I("CameraPane", "bCamPaneVisible", &s.cameraPane.bCamPaneVisible),
        I("CameraPane", "bCamDeviceIndex", &s.cameraPane.bCamDeviceIndex),
        I("CameraPane", "mControlUIType", &s.cameraPane.mControlUIType),
        I("ZoomCurSel", "ZoomCurSel", &s.zoom.ZoomCurSel),
        D("Measure", "m_unit_dcxPerPixel", &m.m_unit_dcxPerPixel),
        D("Measure", "m_unit_dcyPerPixel", &m.m_unit_dcyPerPixel),
        I("Measure", "m_unit_Unit", &m.m_unit_Unit),
        D("Measure", "m_unit_dcxReal", &m.m_unit_dcxReal),
        D("Measure", "m_unit_dcyReal", &m.m_unit_dcyReal),
        I("Measure", "m_color_Adjust", &m.m_color_Adjust),
        I("Measure", "m_color_Coord", &m.m_color_Coord),
        I("Measure", "m_color_Ruler", &m.m_color_Ruler),
        I("Measure", "m_color_Text", &m.m_color_Text),
        I("Measure", "FontSize", &m.FontSize),
        I("Measure", "Precision", &m.Precision),
        I("Measure", "FontBackground", &m.FontBackground),
        I("Measure", "m_nXStart", &m.m_nXStart),
        I("Measure", "m_nXEnd", &m.m_nXEnd),
        I("Measure", "m_nYStart", &m.m_nYStart),
        I("Measure", "m_nYEnd", &m.m_nYEnd),
        I("Measure", "m_nXRealPixelLength", &m.m_nXRealPixelLength),
        I("Measure", "m_nYRealPixelLength", &m.m_nYRealPixelLength),
        I("Process", "bFlip", &s.process.bFlip),
        I("Process", "bMirror", &s.process.bMirror),
        T("Save", "Prefix", &sv.Prefix),
        T("Save", "StartSuffix", &sv.StartSuffix),
        T("Save", "FilePath", &sv.FilePath),
        T("Save", "Title", &sv.Title),
        T("Save", "Author", &sv.Author),
        I("Save", "ImageType", &sv.ImageType),
        I("Save", "bMeasure", &sv.bMeasure),
        I("Save", "bRuler", &sv.bRuler),
        I("Save", "bTitle", &sv.bTitle),
        I("Save", "bTime", &sv.bTime),
        I("Save", "Suffix", &sv.Suffix),
        I("Save", "bBmp", &sv.bBmp),
        I("Save", "bScale", &sv.bScale),
        T("SaveAs", "FilePath", &sa.FilePath),
        T("SaveAs", "Title", &sa.Title),
        T("SaveAs", "Author", &sa.Author),
        T("SaveAs", "Subject", &sa.Subject),
        T("SaveAs", "Comment", &sa.Comment),
        I("SaveAs", "ImageType", &sa.ImageType),
        I("SaveAs", "bMeasure", &sa.bMeasure),
        I("SaveAs", "bRuler", &sa.bRuler),
        I("SaveAs", "bTitle", &sa.bTitle),
        I("SaveAs", "bTime", &sa.bTime),
        I("SaveAs", "bScale", &sa.bScale),
        I("MeasureDlgSetting", "Magnification", &md.Magnification),
        I("MeasureDlgSetting", "Unit", &md.Unit),
        I("MeasureDlgSetting", "X_RulerLength", &md.X_RulerLength),
        I("MeasureDlgSetting", "Y_RulerLength", &md.Y_RulerLength),
        T("MeasureDlgSetting", "XUnit", &md.XUnit),
        T("MeasureDlgSetting", "YUnit", &md.YUnit),
    };
}

}  // namespace

bool SetSettingValue(const QString& group, const QString& name, const QString& text) {
    for (const SettingRef& r : SettingRefs()) {
        if (group != QLatin1String(r.group) || name != QLatin1String(r.name)) continue;
        bool ok = true;
        if (r.t) {
            *r.t = text;
        } else if (r.i) {
            const int v = text.trimmed().toInt(&ok);
            if (ok) *r.i = v;
        } else {
            const double v = text.trimmed().toDouble(&ok);
            ok = ok && std::isfinite(v);
            if (ok) *r.d = v;
        }
        return ok;
    }
    return false;
}
