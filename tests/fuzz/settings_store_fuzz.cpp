// The per-user settings store, loaded as at start-up (guard, then every group), then saved and
// loaded again as at the next start.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "fuzz_target.h"
#include "settings/app_settings.h"

namespace {

// Types the INI reader makes of plain texts, lists and the forms we write (@ByteArray and the
// like); anything else came out of a serialised object.
bool PlainType(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::QString:
        case QMetaType::QStringList:
        case QMetaType::QByteArray:
        case QMetaType::QRect:
        case QMetaType::QSize:
        case QMetaType::QPoint:
            return true;
        case QMetaType::QVariantList:
            for (const QVariant& item : v.toList())
                if (!PlainType(item)) return false;
            return true;
        default:
            return false;
    }
}

bool ValidText(const QString& s) {
    return QStringView(s).isValidUtf16();
}

// theSettings: its integers, texts and calibration numbers.
struct Snapshot {
    QList<int> ints;
    QStringList texts;
    QList<double> numbers;
};

Snapshot Take() {
    const CAppSettings& s = theSettings;
    const auto& m = s.measure;
    Snapshot out;
    out.ints = {s.cameraPane.bCamPaneVisible, s.cameraPane.bCamDeviceIndex,
                s.cameraPane.mControlUIType, s.zoom.ZoomCurSel, m.m_unit_Unit, m.m_color_Adjust,
                m.m_color_Coord, m.m_color_Ruler, m.m_color_Text, m.FontSize, m.Precision,
                m.FontBackground, m.m_nXStart, m.m_nXEnd, m.m_nYStart, m.m_nYEnd,
                m.m_nXRealPixelLength, m.m_nYRealPixelLength, s.process.bFlip, s.process.bMirror,
                s.save.ImageType, s.save.bMeasure, s.save.bRuler, s.save.bTitle, s.save.bTime,
                s.save.Suffix, s.save.bBmp, s.save.bScale, s.saveAs.ImageType, s.saveAs.bMeasure,
                s.saveAs.bRuler, s.saveAs.bTitle, s.saveAs.bTime, s.saveAs.bScale,
                s.measureDlg.Magnification, s.measureDlg.Unit, s.measureDlg.X_RulerLength,
                s.measureDlg.Y_RulerLength};
    out.texts = {s.save.Prefix,    s.save.StartSuffix, s.save.FilePath,    s.save.Title,
                 s.save.Author,    s.saveAs.FilePath,  s.saveAs.Title,     s.saveAs.Author,
                 s.saveAs.Subject, s.saveAs.Comment,   s.measureDlg.XUnit, s.measureDlg.YUnit};
    out.numbers = {m.m_unit_dcxPerPixel, m.m_unit_dcyPerPixel, m.m_unit_dcxReal, m.m_unit_dcyReal};
    return out;
}

}  // namespace

NS_FUZZ_TARGET(settings_store) {
    // A product of its own per input: QSettings keeps files it has read in a process-wide cache.
    static int run = 0;
    const QString title = QStringLiteral("Fuzz%1").arg(++run);
    const QString path = SettingsStorePath(title);
    QDir().mkpath(QFileInfo(path).path());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    LoadAllSettings(title);
    // What the guard let through holds no decoded objects.
    if (QFileInfo::exists(path)) {
        QSettings store(path, QSettings::IniFormat);
        for (const QString& key : store.allKeys()) NS_FUZZ_CHECK(PlainType(store.value(key)));
    }
    const Snapshot loaded = Take();

    // Saved and read again (as at the next start), the values stay; the calibration numbers
    // as their two-decimal texts give them.
    SaveAllSettings(title);
    LoadAllSettings(title);
    const Snapshot again = Take();
    NS_FUZZ_CHECK(again.ints == loaded.ints);
    for (qsizetype i = 0; i < loaded.texts.size(); ++i)
        if (ValidText(loaded.texts[i])) NS_FUZZ_CHECK(again.texts[i] == loaded.texts[i]);
    for (qsizetype i = 0; i < loaded.numbers.size(); ++i)
        NS_FUZZ_CHECK(again.numbers[i] ==
                      CalibrationFromText(CalibrationToText(loaded.numbers[i])));

    QFile::remove(path);
    QFile::remove(path + QLatin1String(".damaged"));
}
