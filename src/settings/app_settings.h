#pragma once
// The seven per-user settings groups and theSettings, their in-memory record. Groups are
// loaded once at start-up and written back once at exit; in between the program reads and
// changes theSettings directly (user-interface thread only).
//
// Each group lives under the key path "Software\<company>\<product title>\<group>", kept
// per user in an INI file through QSettings (organisation = company, application = product
// title, one INI group per settings group). Integers are written as integers, texts as texts.

#include <QString>
#include <span>

inline constexpr char kCompanyKey[] = "Norvane TECH";

// Result codes of Load, Save and Exchange, numbered like the registry's.
inline constexpr int kRegOk = 0;
inline constexpr int kRegNotFound = 2;
inline constexpr int kRegAccessDenied = 5;
inline constexpr int kRegInvalidData = 13;

enum class RegRoot { CurrentUser };

// An open group of the per-user store.
class CRegKey;

// "Software\Norvane TECH\<productTitle>\<group>".
QString RegistryKeyPath(const QString& productTitle, const QString& group);

class CRegSettings {
public:
    explicit CRegSettings(QString keyPath, RegRoot root = RegRoot::CurrentUser)
        : m_strKeyPath(std::move(keyPath)), m_hRoot(root) {}
    virtual ~CRegSettings() = default;

    // bDefaults: every value to its default, key unused. bSave: write every value in table
    // order, stopping at the first failure. Otherwise read every value; one that is missing
    // or unreadable takes its default. Returns 0 or the code of the failure / last read.
    virtual int Exchange(CRegKey* key, bool bSave, bool bDefaults) = 0;

    // A missing group gives every default and returns kRegNotFound.
    int Load();
    // Writes nothing and returns the error when the store cannot be written.
    int Save();

    const QString& KeyPath() const { return m_strKeyPath; }

protected:
    struct Field {
        const char* name;
        int* pInt;  // exactly one of pInt and pText is set
        QString* pText;
        int defInt;
        const char* defText;
    };
    static int ExchangeFields(CRegKey* key, bool bSave, bool bDefaults,
                              std::span<const Field> fields);

private:
    QString m_strKeyPath;
    RegRoot m_hRoot;
};

class CamPaneRegistry : public CRegSettings {
public:
    explicit CamPaneRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    int bCamPaneVisible, bCamDeviceIndex, mControlUIType;
};

class CamVideoRegistry : public CRegSettings {
public:
    explicit CamVideoRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    int ZoomCurSel;
};

class CMeasureRegistry : public CRegSettings {
public:
    explicit CMeasureRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    QString m_unit_dcxPerPixel, m_unit_dcyPerPixel;
    int m_unit_Unit;
    QString m_unit_dcxReal, m_unit_dcyReal;
    int m_color_Adjust, m_color_Coord, m_color_Ruler, m_color_Text;
    int FontSize, Precision, FontBackground;
    int m_nXStart, m_nXEnd, m_nYStart, m_nYEnd;
    int m_nXRealPixelLength, m_nYRealPixelLength;
};

class CProcessRegistry : public CRegSettings {
public:
    explicit CProcessRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    int bFlip, bMirror;
};

class CSaveRegistry : public CRegSettings {
public:
    explicit CSaveRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    QString Prefix, StartSuffix, FilePath, Title, Author;
    int ImageType, bMeasure, bRuler, bTitle, bTime, Suffix, bBmp, bScale;
};

class CSaveAsRegistry : public CRegSettings {
public:
    explicit CSaveAsRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    QString FilePath, Title, Author, Subject, Comment;
    int ImageType, bMeasure, bRuler, bTitle, bTime, bScale;
};

class CMeasureDlgSettingRegistry : public CRegSettings {
public:
    explicit CMeasureDlgSettingRegistry(QString keyPath);
    int Exchange(CRegKey* key, bool bSave, bool bDefaults) override;

    int Magnification, Unit, X_RulerLength, Y_RulerLength;
    QString XUnit, YUnit;
};

// The in-memory values of every group; empty texts and zeros until LoadAllSettings.
struct CAppSettings {
    struct CameraPane {
        int bCamPaneVisible = 0, bCamDeviceIndex = 0, mControlUIType = 0;
    } cameraPane;
    struct ZoomCurSel {
        int ZoomCurSel = 0;
    } zoom;
    struct Measure {
        double m_unit_dcxPerPixel = 0, m_unit_dcyPerPixel = 0;
        int m_unit_Unit = 0;
        double m_unit_dcxReal = 0, m_unit_dcyReal = 0;
        int m_color_Adjust = 0, m_color_Coord = 0, m_color_Ruler = 0, m_color_Text = 0;
        int FontSize = 0, Precision = 0, FontBackground = 0;
        int m_nXStart = 0, m_nXEnd = 0, m_nYStart = 0, m_nYEnd = 0;
        int m_nXRealPixelLength = 0, m_nYRealPixelLength = 0;
    } measure;
    struct Process {
        int bFlip = 0, bMirror = 0;
    } process;
    struct Save {
        QString Prefix, StartSuffix, FilePath, Title, Author;
        int ImageType = 0, bMeasure = 0, bRuler = 0, bTitle = 0, bTime = 0, Suffix = 0, bBmp = 0,
            bScale = 0;
    } save;
    struct SaveAs {
        QString FilePath, Title, Author, Subject, Comment;
        int ImageType = 0, bMeasure = 0, bRuler = 0, bTitle = 0, bTime = 0, bScale = 0;
    } saveAs;
    struct MeasureDlgSetting {
        int Magnification = 0, Unit = 0, X_RulerLength = 0, Y_RulerLength = 0;
        QString XUnit, YUnit;
    } measureDlg;

    // Set by LoadAllSettings. Until then SaveAllSettings writes nothing, so a run that ends
    // early (second instance, failed start) cannot replace stored settings with empty ones.
    bool bLoaded = false;
};

extern CAppSettings theSettings;

// The file of the product's per-user store (the INI file QSettings keeps it in).
QString SettingsStorePath(const QString& productTitle);

// The store is outside bytes: before anything reads it, a file that is too large to be ours or
// that holds values our program never writes (serialised Qt objects, which would wake Qt's
// decoders for any type, pictures included) is moved aside to "<file>.damaged" and the program
// starts from the defaults. Sound files are left as they are.
enum class StoreCheck { Sound, SetAside, Unusable };
StoreCheck GuardSettingsStore(const QString& path);
inline constexpr qint64 kMaxSettingsStoreBytes = 1 << 20;

// Guards the product's store, then loads every group of it into theSettings, in the order
// CameraPane, ZoomCurSel, Measure, Process, Save, SaveAs, MeasureDlgSetting. A store that is
// damaged and cannot be moved aside is not read (defaults) and not written at exit.
void LoadAllSettings(const QString& productTitle);
// Every group's defaults, without reading the store; SaveAllSettings still writes nothing after
// it (a tool run must not replace stored settings).
void LoadDefaultSettings();
// Sets one value by its group and name ("Save", "StartSuffix"), parsed by the value's type.
// False for an unknown group or value, or a text that is not a number where one is needed.
bool SetSettingValue(const QString& group, const QString& name, const QString& text);
// Writes theSettings back, same order; does nothing before LoadAllSettings.
void SaveAllSettings(const QString& productTitle);

// Calibration texts: a leading decimal number in the C locale (0 when none); back as the
// shortest decimal text that reads as the same number (older stores hold "%.2f" texts).
double CalibrationFromText(const QString& text);
QString CalibrationToText(double value);
