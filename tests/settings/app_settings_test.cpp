#include "settings/app_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QSettings>

namespace {

// Each test uses a product title of its own, so stores never meet.
QString Title() {
    return QStringLiteral("SettingsTest_") +
           QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

QSettings Store(const QString& title) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, kCompanyKey, title);
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { theSettings = CAppSettings{}; }
    void TearDown() override {
        theSettings = CAppSettings{};
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(AppSettingsTest, FreshStoreLoadsEveryDefault) {
    LoadAllSettings(Title());
    const CAppSettings& s = theSettings;
    EXPECT_TRUE(s.bLoaded);
    EXPECT_EQ(s.cameraPane.bCamPaneVisible, 65535);
    EXPECT_EQ(s.zoom.ZoomCurSel, 10);
    EXPECT_DOUBLE_EQ(s.measure.m_unit_dcxPerPixel, 0.20);
    EXPECT_DOUBLE_EQ(s.measure.m_unit_dcyReal, 10.0);
    EXPECT_EQ(s.measure.m_color_Ruler, 3);
    EXPECT_EQ(s.measure.Precision, 3);
    EXPECT_EQ(s.measure.FontBackground, 1);
    EXPECT_EQ(s.measure.m_nXEnd, 100);
    EXPECT_EQ(s.measure.m_nYRealPixelLength, 50);
    EXPECT_EQ(s.save.Prefix, "Image");
    EXPECT_EQ(s.save.StartSuffix, "Image");
    EXPECT_EQ(s.save.bTime, 1);
    EXPECT_EQ(s.save.bBmp, 1);
    EXPECT_EQ(s.saveAs.bMeasure, 1);
    EXPECT_EQ(s.saveAs.bTime, 0);
    EXPECT_EQ(s.measureDlg.X_RulerLength, 50);
    EXPECT_EQ(s.measureDlg.XUnit, "10");
    // Loading alone writes nothing.
    EXPECT_TRUE(Store(Title()).childGroups().isEmpty());
}

TEST_F(AppSettingsTest, RoundTripKeepsValuesAndTypes) {
    LoadAllSettings(Title());
    CAppSettings& s = theSettings;
    const QString longText = QString(150, u'x') + QStringLiteral(", @tail ä");
    s.cameraPane.bCamPaneVisible = 0;
    s.cameraPane.mControlUIType = -7;
    s.zoom.ZoomCurSel = 4;
    // A calibration survives exactly: two decimals would make 0.04761905 5 % off and 0.004 zero.
    s.measure.m_unit_dcxPerPixel = 0.04761905;
    s.measure.m_unit_dcyPerPixel = 0.004;
    s.measure.m_unit_dcxReal = 1234.567;
    s.measure.m_unit_dcyReal = 0;
    s.measure.Precision = 5;
    s.measure.m_nYEnd = 777;
    s.process = {1, 1};
    s.save.Title = longText;
    s.save.Author = QStringLiteral("007");  // a text that looks like a number stays text
    s.save.Suffix = 123;
    s.saveAs.Comment = QStringLiteral("line; with = signs");
    s.saveAs.bScale = 1;
    s.measureDlg.YUnit = QStringLiteral("0.50");
    SaveAllSettings(Title());

    const QSettings raw = Store(Title());
    EXPECT_EQ(raw.value("Measure/m_unit_dcxPerPixel").toString(), "0.04761905");
    EXPECT_EQ(raw.value("Measure/m_unit_dcyPerPixel").toString(), "0.004");
    EXPECT_EQ(raw.value("Measure/m_unit_dcxReal").toString(), "1234.567");
    EXPECT_EQ(raw.value("Measure/m_unit_dcyReal").toString(), "0");
    EXPECT_EQ(raw.childGroups(), QStringList({"CameraPane", "Measure", "MeasureDlgSetting",
                                              "Process", "Save", "SaveAs", "ZoomCurSel"}));

    theSettings = CAppSettings{};
    LoadAllSettings(Title());
    EXPECT_EQ(s.cameraPane.bCamPaneVisible, 0);
    EXPECT_EQ(s.cameraPane.mControlUIType, -7);
    EXPECT_EQ(s.zoom.ZoomCurSel, 4);
    EXPECT_EQ(s.measure.m_unit_dcxPerPixel, 0.04761905);
    EXPECT_EQ(s.measure.m_unit_dcyPerPixel, 0.004);
    EXPECT_EQ(s.measure.m_unit_dcxReal, 1234.567);
    EXPECT_EQ(s.measure.Precision, 5);
    EXPECT_EQ(s.measure.m_nYEnd, 777);
    EXPECT_EQ(s.process.bMirror, 1);
    EXPECT_EQ(s.save.Title, longText);
    EXPECT_EQ(s.save.Author, "007");
    EXPECT_EQ(s.save.Suffix, 123);
    EXPECT_EQ(s.saveAs.Comment, "line; with = signs");
    EXPECT_EQ(s.saveAs.bScale, 1);
    EXPECT_EQ(s.measureDlg.YUnit, "0.50");
}

TEST_F(AppSettingsTest, CalibrationTextIgnoresTheLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Written in full, read back to the same number, whatever the locale.
    for (const double v : {0.125001, 0.2, 1.0 / 21, 1e-7, 123456.789, -0.5, 0.0}) {
        const QString text = CalibrationToText(v);
        EXPECT_FALSE(text.contains(u',')) << text.toStdString();
        EXPECT_EQ(CalibrationFromText(text), v) << text.toStdString();
    }
    EXPECT_EQ(CalibrationToText(0.2), "0.2");
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0.12", 0.12}, {"  2", 2}, {"1.5mm", 1.5}, {"-3.25", -3.25}, {"1e2", 100}, {".5", 0.5},
        {"0,12", 0},    {"abc", 0}, {"", 0},        {"-", 0},         {"7.", 7},    {"2e", 2},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(CalibrationFromText(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST_F(AppSettingsTest, UnreadableOrMissingValuesTakeTheirDefaults) {
    {
        QSettings raw = Store(Title());
        raw.setValue("Measure/Precision", "three");
        raw.setValue("Measure/m_unit_dcxPerPixel", "wide");
        raw.setValue("Measure/m_nXStart", " 12 ");
        raw.setValue("Save/Title", 42);  // an integer where text belongs is read as its text
    }
    CMeasureRegistry m(RegistryKeyPath(Title(), "Measure"));
    m.Precision = 99;
    // The last value of the table is missing: its code is the result.
    EXPECT_EQ(m.Load(), kRegNotFound);
    EXPECT_EQ(m.Precision, 3);
    EXPECT_EQ(m.m_nXStart, 12);
    EXPECT_EQ(m.m_nYRealPixelLength, 50);

    CProcessRegistry p(RegistryKeyPath(Title(), "Process"));
    p.bFlip = 1;
    EXPECT_EQ(p.Load(), kRegNotFound);  // no such group: all defaults
    EXPECT_EQ(p.bFlip, 0);

    LoadAllSettings(Title());
    EXPECT_EQ(theSettings.measure.m_unit_dcxPerPixel, 0);  // text that is no number
    EXPECT_EQ(theSettings.save.Title, "42");
    EXPECT_EQ(theSettings.save.StartSuffix, "Image");
}

TEST_F(AppSettingsTest, RunEndingBeforeLoadKeepsStoredSettings) {
    LoadAllSettings(Title());
    theSettings.zoom.ZoomCurSel = 3;
    theSettings.save.FilePath = QStringLiteral("/data/pictures");
    theSettings.measure.m_unit_dcxPerPixel = 0.5;
    SaveAllSettings(Title());

    // A second instance ends without loading: its empty record must not reach the store.
    theSettings = CAppSettings{};
    SaveAllSettings(Title());

    LoadAllSettings(Title());
    EXPECT_EQ(theSettings.zoom.ZoomCurSel, 3);
    EXPECT_EQ(theSettings.save.FilePath, "/data/pictures");
    EXPECT_DOUBLE_EQ(theSettings.measure.m_unit_dcxPerPixel, 0.5);
}

TEST_F(AppSettingsTest, KeyPathNamesCompanyProductAndGroup) {
    EXPECT_EQ(RegistryKeyPath("Scope", "Measure"), "Software\\Norvane TECH\\Scope\\Measure");
    CamVideoRegistry v(RegistryKeyPath(Title(), "ZoomCurSel"));
    v.ZoomCurSel = 6;
    EXPECT_EQ(v.Save(), kRegOk);
    EXPECT_EQ(Store(Title()).value("ZoomCurSel/ZoomCurSel").toInt(), 6);
    EXPECT_TRUE(Store(Title()).fileName().contains("Norvane TECH"));
}

void WriteStore(const QString& title, const QByteArray& bytes) {
    const QString path = SettingsStorePath(title);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST_F(AppSettingsTest, StorePathIsTheFileQSettingsReads) {
    EXPECT_EQ(SettingsStorePath(Title()), Store(Title()).fileName());
}

// A value the INI reader would decode as an object (QDataStream for any Qt type, a PNG picture
// here) never reaches it: the store is set aside whole and the run starts from the defaults.
TEST_F(AppSettingsTest, StoreWithSerialisedObjectsIsSetAside) {
    {
        QSettings raw = Store(Title());
        raw.setValue("ZoomCurSel/ZoomCurSel", 3);
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        raw.setValue("Workspace/Picture", picture);
    }
    const QString path = SettingsStorePath(Title());
    const QByteArray bytes = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_TRUE(bytes.contains("@Variant("));
    LoadAllSettings(Title());
    EXPECT_FALSE(QFileInfo::exists(path));
    QFile aside(path + ".damaged");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), bytes) << "kept for the user, byte for byte";
    EXPECT_EQ(theSettings.zoom.ZoomCurSel, 10);
    EXPECT_TRUE(theSettings.bLoaded) << "the next save writes a sound store";
}

TEST_F(AppSettingsTest, StoreGuardSeesThroughTheIniEscapes) {
    // Every line spells a value that the INI reader decodes as an object.
    const char* dangerous[] = {
        "a=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)",
        "a=\\x40Variant(x)",         // an escaped "@"
        "a=\\x1000040Variant(x)",    // only the low 16 bits of an escape count
        "a=\\100Variant(x)",         // octal
        "a=@\"Var\"iant(x)",          // quotes vanish
        "a=@Var\\qiant(x)",          // so do unknown escapes
        "a=one, @DateTime(x)",       // a list item
        "a=\"\n\", @Variant(x)",      // a quoted line break does not end the line
        "a= \t@Variant(x)",          // blanks before the value
    };
    for (const char* line : dangerous) {
        const QString title = Title() + QString::number(qHash(QByteArray(line)));
        WriteStore(title, QByteArray("[Workspace]\n") + line + "\n");
        EXPECT_EQ(GuardSettingsStore(SettingsStorePath(title)), StoreCheck::SetAside) << line;
    }
    // What we write ourselves, and look-alikes that read as plain text.
    const char* sound[] = {
        "a=@@Variant(x)",             // a text that begins with "@", as QSettings writes it
        "a=\"x, @Variant(y)\"",        // inside one quoted text
        "a=x@Variant(y)",             // not at the start of the value
        ";a=@Variant(x)",             // a comment
        "a=\\x41Variant(x)",          // "A", not "@"
        "Geometry=@ByteArray(\\0@Variant(\\x1)",
    };
    for (const char* line : sound) {
        const QString title = Title() + QString::number(qHash(QByteArray(line)));
        WriteStore(title, QByteArray("[Workspace]\n") + line + "\n");
        EXPECT_EQ(GuardSettingsStore(SettingsStorePath(title)), StoreCheck::Sound) << line;
    }
    // The program's own store, window layout included, is left alone.
    LoadAllSettings(Title());
    theSettings.save.Title = QStringLiteral("@home \"cells\", x=1; y\\z");
    SaveAllSettings(Title());
    {
        QSettings raw = Store(Title());
        QByteArray layout;
        for (int i = 0; i < 256; ++i) layout.append(char(i));
        raw.setValue("Workspace/State", layout + "@Variant(" + layout);
        raw.setValue("Workspace/Documents", QStringList{"@a.png", "b, c.tif"});
    }
    EXPECT_EQ(GuardSettingsStore(SettingsStorePath(Title())), StoreCheck::Sound);
    LoadAllSettings(Title());
    EXPECT_EQ(theSettings.save.Title, "@home \"cells\", x=1; y\\z");
}

TEST_F(AppSettingsTest, OversizedStoreIsSetAside) {
    WriteStore(Title(), QByteArray("[ZoomCurSel]\nZoomCurSel=4\n") +
                            QByteArray(kMaxSettingsStoreBytes, ';'));
    LoadAllSettings(Title());
    EXPECT_TRUE(QFileInfo::exists(SettingsStorePath(Title()) + ".damaged"));
    EXPECT_EQ(theSettings.zoom.ZoomCurSel, 10);
}

}  // namespace
