// The Binary and RGB dialogs on a still picture and on the live document, the RGB presets in the
// settings file, and the sortable list that shows them.
//
// With NS_SCREENSHOT_DIR set, renderScreenshots writes the dialogs in English and German there.

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <memory>

#include "document/prompt.h"
#include "document/rgb_presets.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"
#include "ui/binary_dlg.h"
#include "ui/rgb_dlg.h"
#include "ui/sort_list_ctrl.h"

namespace {

using Bgr = std::array<int, 3>;

// The window side of a document, as far as the dialogs use it: how often it was asked to repaint.
class RepaintRecorder : public IScopeDocFrame {
public:
    void Repaint(CScopeDoc&) override { ++repaints; }
    int repaints = 0;
};

// A 4x1 picture: white, grey 100, black, and (B,G,R) = (0, 10, 250).
FCObjImage TestPicture() {
    FCObjImage img;
    img.Allocate(4, 1, 24);
    const Bgr pixels[] = {{255, 255, 255}, {100, 100, 100}, {0, 0, 0}, {0, 10, 250}};
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 3; ++c) img.PixelPointer(x, 0)[c] = static_cast<uint8_t>(pixels[x][c]);
    return img;
}

Bgr PixelAt(const FCObjImage& img, int x) {
    const uint8_t* p = img.PixelPointer(x, 0);
    return {p[0], p[1], p[2]};
}

std::unique_ptr<CScopeDoc> StillDocument() {
    auto doc = std::make_unique<CScopeDoc>();
    doc->m_imageOriginal = TestPicture();
    doc->m_image = doc->m_imageOriginal;
    return doc;
}

void WritePresetFile(const QString& path, const std::vector<RgbPreset>& presets) {
    QFile::remove(path);
    QVERIFY(WriteRgbPresets(path, presets));
}

}  // namespace

class ProcessDialogsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    CRecordingPrompt m_prompt;
    RepaintRecorder m_frame;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // The list layouts go to a profile of this run only.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("profile"));
        g_strIniPath = m_dir.filePath("Setting.ini");
        LoadDefaultSettings();
        theApp().prompt = &m_prompt;
        theApp().frame = &m_frame;
    }
    void cleanupTestCase() {
        theApp().prompt = nullptr;
        theApp().frame = nullptr;
    }
    void init() {
        m_prompt.clearCalls();
        m_prompt.clearAnswers();
        m_frame.repaints = 0;
        QFile::remove(g_strIniPath);
    }

    // ---- Binary ----

    void binaryOpensFromTheDocument() {
        auto doc = StillDocument();
        doc->m_nBinaryThreshold = 77;
        CBinaryDlg dlg(*doc);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Binary"));
        QVERIFY(!dlg.EnableCheck()->isChecked());
        QCOMPARE(dlg.Slider()->minimum(), 0);
        QCOMPARE(dlg.Slider()->maximum(), 255);
        QCOMPARE(dlg.Slider()->value(), 77);
        QCOMPARE(dlg.ValueLabel()->text(), QStringLiteral("77"));
        for (QWidget* w :
             {static_cast<QWidget*>(dlg.Slider()), static_cast<QWidget*>(dlg.ValueLabel()),
              static_cast<QWidget*>(dlg.MinLabel()), static_cast<QWidget*>(dlg.MaxLabel())})
            QVERIFY(!w->isEnabled());
        QCOMPARE(dlg.MinLabel()->text(), QStringLiteral("0"));
        QCOMPARE(dlg.MaxLabel()->text(), QStringLiteral("255"));
    }

    void binaryReprocessesAStillPicture() {
        auto doc = StillDocument();
        CBinaryDlg dlg(*doc);
        dlg.show();

        dlg.EnableCheck()->click();
        QVERIFY(doc->m_bBinary);
        QVERIFY(dlg.Slider()->isEnabled() && dlg.ValueLabel()->isEnabled());
        // Threshold 50: white (grey 181) and grey 100 (grey 71) turn white, black stays black.
        QCOMPARE(PixelAt(doc->m_image, 0), (Bgr{255, 255, 255}));
        QCOMPARE(PixelAt(doc->m_image, 1), (Bgr{255, 255, 255}));
        QCOMPARE(PixelAt(doc->m_image, 2), (Bgr{0, 0, 0}));
        QCOMPARE(m_frame.repaints, 1);

        dlg.Slider()->setValue(100);
        QCOMPARE(doc->m_nBinaryThreshold.load(), 100);
        QCOMPARE(dlg.ValueLabel()->text(), QStringLiteral("100"));
        QCOMPARE(PixelAt(doc->m_image, 1), (Bgr{0, 0, 0}));
        QCOMPARE(PixelAt(doc->m_image, 0), (Bgr{255, 255, 255}));
        QCOMPARE(m_frame.repaints, 2);

        dlg.EnableCheck()->click();
        QVERIFY(!doc->m_bBinary);
        QVERIFY(!dlg.Slider()->isEnabled());
        QCOMPARE(PixelAt(doc->m_image, 1), (Bgr{100, 100, 100}));
        QCOMPARE(PixelAt(doc->m_image, 3), (Bgr{0, 10, 250}));
    }

    void binaryOnTheLiveDocumentOnlyStores() {
        auto doc = StillDocument();
        doc->m_bLive = true;
        CBinaryDlg dlg(*doc);
        dlg.EnableCheck()->click();
        dlg.Slider()->setValue(200);
        QVERIFY(doc->m_bBinary);
        QCOMPARE(doc->m_nBinaryThreshold.load(), 200);
        // The frame path applies it; the dialog leaves the picture and the window alone.
        QCOMPARE(PixelAt(doc->m_image, 1), (Bgr{100, 100, 100}));
        QCOMPARE(m_frame.repaints, 0);
    }

    // ---- RGB ----

    void rgbOpensCollapsedAndDisabled() {
        auto doc = StillDocument();
        doc->m_nGainRed = 5;
        doc->m_nGainGreen = 6;
        doc->m_nGainBlue = 70;  // out of the slider's range
        CRgbDlg dlg(*doc);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("RGB Adjusting"));
        QVERIFY(!dlg.EnableCheck()->isChecked());
        QCOMPARE(dlg.Slider(CRgbDlg::kRed)->value(), 5);
        QCOMPARE(dlg.ValueLabel(CRgbDlg::kGreen)->text(), QStringLiteral("6"));
        QCOMPARE(dlg.Slider(CRgbDlg::kBlue)->maximum(), 63);
        QCOMPARE(dlg.ValueLabel(CRgbDlg::kBlue)->text(), QStringLiteral("63"));
        for (int c = 0; c < CRgbDlg::kChannels; ++c) QVERIFY(!dlg.Slider(c)->isEnabled());
        QVERIFY(!dlg.AddButton()->isEnabled() && !dlg.ApplyButton()->isEnabled() &&
                !dlg.DeleteButton()->isEnabled());
        QVERIFY(dlg.OkButton()->isEnabled() && dlg.CancelButton()->isEnabled());
        QCOMPARE(dlg.AddButton()->toolTip(), QStringLiteral("Add current rgb values to list"));
        // Opening changes nothing in the document.
        QCOMPARE(doc->m_nGainBlue.load(), 70);

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect screen = dlg.screen()->geometry();
        QCOMPARE(dlg.pos(), QPoint(screen.width() - 415, 130));
        QVERIFY(dlg.width() >= 360);
        QVERIFY(!dlg.IsExpanded());
        const int collapsed = dlg.height();

        dlg.AdvancedButton()->click();
        QVERIFY(dlg.IsExpanded() && dlg.PresetPanel()->isVisible());
        QCOMPARE(dlg.AdvancedButton()->text(), QStringLiteral("Advanced <<"));
        QTRY_VERIFY(dlg.height() > collapsed);
        dlg.AdvancedButton()->click();
        QVERIFY(!dlg.IsExpanded());
        QCOMPARE(dlg.AdvancedButton()->text(), QStringLiteral("Advanced >>"));
        QTRY_COMPARE(dlg.height(), collapsed);
    }

    void rgbReprocessesAndCancelRestores() {
        WritePresetFile(g_strIniPath, {{"Old", "1", "2", "3"}});
        auto doc = StillDocument();
        doc->m_nGainGreen = 4;
        auto dlg = std::make_unique<CRgbDlg>(*doc);
        dlg->show();

        dlg->EnableCheck()->click();
        QVERIFY(doc->m_bRgbGain);
        QVERIFY(dlg->Slider(CRgbDlg::kRed)->isEnabled() && dlg->ApplyButton()->isEnabled());
        dlg->Slider(CRgbDlg::kRed)->setValue(10);
        dlg->Slider(CRgbDlg::kGreen)->setValue(20);
        QCOMPARE(doc->m_nGainRed.load(), 10);
        QCOMPARE(doc->m_nGainGreen.load(), 20);
        QCOMPARE(dlg->ValueLabel(CRgbDlg::kRed)->text(), QStringLiteral("10"));
        // Red 250 + 10 saturates, green 10 + 20, blue untouched.
        QCOMPARE(PixelAt(doc->m_image, 3), (Bgr{0, 30, 255}));
        QCOMPARE(PixelAt(doc->m_image, 2), (Bgr{0, 20, 10}));
        QVERIFY(m_frame.repaints >= 3);

        // A preset added meanwhile survives the Cancel.
        dlg->AdvancedButton()->click();
        dlg->AddButton()->click();
        dlg->NameEdit()->setText(QStringLiteral("Warm"));
        dlg->ConfirmButton()->click();

        dlg->CancelButton()->click();
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QVERIFY(!doc->m_bRgbGain);
        QCOMPARE(doc->m_nGainRed.load(), 0);
        QCOMPARE(doc->m_nGainGreen.load(), 4);
        for (int x = 0; x < 4; ++x)
            QCOMPARE(PixelAt(doc->m_image, x), PixelAt(doc->m_imageOriginal, x));
        const std::vector<RgbPreset> stored = ReadRgbPresets(g_strIniPath);
        QCOMPARE(stored.size(), size_t(2));
        QCOMPARE(stored[1].name, QStringLiteral("Warm"));
        QCOMPARE(stored[1].red, QStringLiteral("10"));
        QCOMPARE(stored[1].green, QStringLiteral("20"));
        QCOMPARE(stored[1].blue, QStringLiteral("0"));
    }

    void rgbCloseBoxActsAsCancel() {
        auto doc = StillDocument();
        CRgbDlg dlg(*doc);
        dlg.show();
        dlg.EnableCheck()->click();
        dlg.Slider(CRgbDlg::kBlue)->setValue(33);
        dlg.close();
        QVERIFY(!doc->m_bRgbGain);
        QCOMPARE(doc->m_nGainBlue.load(), 0);
        QCOMPARE(PixelAt(doc->m_image, 2), (Bgr{0, 0, 0}));
    }

    void rgbOkKeepsValues() {
        auto doc = StillDocument();
        doc->m_bLive = true;
        CRgbDlg dlg(*doc);
        dlg.show();
        dlg.EnableCheck()->click();
        dlg.Slider(CRgbDlg::kBlue)->setValue(33);
        dlg.OkButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(doc->m_bRgbGain);
        QCOMPARE(doc->m_nGainBlue.load(), 33);
        // The live picture takes the values with its next frame.
        QCOMPARE(PixelAt(doc->m_image, 2), (Bgr{0, 0, 0}));
        QCOMPARE(m_frame.repaints, 0);
        // OK writes the (empty) list as well.
        QCOMPARE(CProfileFile(g_strIniPath).GetString("RGBGAIN", "Total"), QStringLiteral("0"));
    }

    void rgbAddAndConfirm() {
        WritePresetFile(g_strIniPath, {{"A", "1", "2", "3"}, {"B", "4", "5", "6"}});
        auto doc = StillDocument();
        doc->m_bRgbGain = true;
        doc->m_nGainRed = 7;
        doc->m_nGainGreen = 8;
        doc->m_nGainBlue = 9;
        CRgbDlg dlg(*doc);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.AdvancedButton()->click();
        CSortListCtrl* list = dlg.PresetList();
        QCOMPARE(list->ItemCount(), 2);
        QCOMPARE(list->ItemText(1, CRgbDlg::kColNo), QStringLiteral("1"));
        QCOMPARE(list->ItemText(1, CRgbDlg::kColName), QStringLiteral("B"));
        QCOMPARE(list->headerItem()->text(CRgbDlg::kColGreen), QStringLiteral("Green"));

        QVERIFY(dlg.NameRow()->isHidden());
        dlg.AddButton()->click();
        QVERIFY(dlg.NameRow()->isVisible());
        QTRY_VERIFY(dlg.NameEdit()->hasFocus());

        // No name: a hint, and the edit keeps the focus.
        dlg.ConfirmButton()->click();
        QCOMPARE(m_prompt.calls().size(), size_t(1));
        QCOMPARE(m_prompt.calls()[0].caption, QStringLiteral("Hint"));
        QCOMPARE(m_prompt.calls()[0].text, QStringLiteral("Input name first"));
        QCOMPARE(list->ItemCount(), 2);
        QVERIFY(dlg.NameRow()->isVisible());

        // Enter in the name edit confirms; it does not close the dialog.
        QTest::keyClicks(dlg.NameEdit(), QStringLiteral("Cool"));
        QTest::keyClick(dlg.NameEdit(), Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(list->ItemCount(), 3);
        const QStringList expected{"2", "Cool", "7", "8", "9"};
        for (int col = 0; col < 5; ++col) QCOMPARE(list->ItemText(2, col), expected[col]);
        QVERIFY(dlg.NameRow()->isHidden());

        // A second Add hides the row again without adding.
        dlg.AddButton()->click();
        dlg.AddButton()->click();
        QVERIFY(dlg.NameRow()->isHidden());
        QCOMPARE(list->ItemCount(), 3);

        // A pasted line break would make the name unwritable.
        dlg.AddButton()->click();
        dlg.NameEdit()->setText(QStringLiteral(" Two\nLines "));
        dlg.ConfirmButton()->click();
        QCOMPARE(list->ItemText(3, CRgbDlg::kColName), QStringLiteral("Two Lines"));

        dlg.OkButton()->click();
        const std::vector<RgbPreset> stored = ReadRgbPresets(g_strIniPath);
        QCOMPARE(stored.size(), size_t(4));
        QCOMPARE(stored[2].name, QStringLiteral("Cool"));
        QCOMPARE(stored[2].blue, QStringLiteral("9"));
        QCOMPARE(stored[3].name, QStringLiteral("Two Lines"));
    }

    void rgbApplyAndDelete() {
        WritePresetFile(
            g_strIniPath,
            {{"A", "1", "2", "3"}, {"Wild", "99", "-5", " 12"}, {"C", "40", "41", "42"}});
        auto doc = StillDocument();
        doc->m_bRgbGain = true;
        CRgbDlg dlg(*doc);
        dlg.show();
        dlg.AdvancedButton()->click();
        CSortListCtrl* list = dlg.PresetList();

        // Without a selection both refuse with a hint.
        dlg.ApplyButton()->click();
        dlg.DeleteButton()->click();
        QCOMPARE(m_prompt.calls().size(), size_t(2));
        for (const auto& call : m_prompt.calls()) {
            QCOMPARE(call.caption, QStringLiteral("Hint"));
            QCOMPARE(call.text, QStringLiteral("Select One item first"));
        }
        QCOMPARE(list->ItemCount(), 3);

        list->SelectRow(2);
        dlg.ApplyButton()->click();
        QCOMPARE(dlg.Slider(CRgbDlg::kRed)->value(), 40);
        QCOMPARE(dlg.ValueLabel(CRgbDlg::kBlue)->text(), QStringLiteral("42"));
        QCOMPARE(doc->m_nGainGreen.load(), 41);
        QCOMPARE(PixelAt(doc->m_image, 2), (Bgr{42, 41, 40}));
        QVERIFY(doc->m_bRgbGain);

        // Values outside the slider's range are held to it, never negative.
        list->SelectRow(1);
        dlg.ApplyButton()->click();
        QCOMPARE(doc->m_nGainRed.load(), 63);
        QCOMPARE(doc->m_nGainGreen.load(), 0);
        QCOMPARE(doc->m_nGainBlue.load(), 12);
        QCOMPARE(PixelAt(doc->m_image, 3), (Bgr{12, 10, 255}));

        // Delete writes at once and numbers the rows again.
        list->SelectRow(0);
        dlg.DeleteButton()->click();
        QCOMPARE(list->ItemCount(), 2);
        QCOMPARE(list->ItemText(0, CRgbDlg::kColNo), QStringLiteral("0"));
        QCOMPARE(list->ItemText(0, CRgbDlg::kColName), QStringLiteral("Wild"));
        QCOMPARE(list->ItemText(1, CRgbDlg::kColNo), QStringLiteral("1"));
        const CProfileFile ini(g_strIniPath);
        QCOMPARE(ini.GetString("RGBGAIN", "Total"), QStringLiteral("2"));
        QCOMPARE(ini.GetString("RGBGAIN", "RGBGAINNAME1"), QStringLiteral("C"));
        // Keys of the longer list stay behind, unread.
        QCOMPARE(ini.GetString("RGBGAIN", "RGBGAINNAME2"), QStringLiteral("C"));
    }

    // ---- The sortable list ----

    void compareTexts_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("numbers") << "9"
                                 << "10" << -1;
        QTest::newRow("numbers reversed") << "10"
                                          << "9" << 1;
        QTest::newRow("leading zeros") << "007"
                                       << "7" << 0;
        QTest::newRow("longer than 64 bits") << "123456789012345678901234567890"
                                             << "99" << 1;
        QTest::newRow("text") << "abc"
                              << "abd" << -1;
        QTest::newRow("case-sensitive") << "B"
                                        << "a" << -1;
        QTest::newRow("mixed is text") << "10a"
                                       << "9" << -1;
        QTest::newRow("sign is not a digit") << "-5"
                                             << "3" << -1;
        QTest::newRow("empty") << ""
                               << "1" << -1;
    }
    void compareTexts() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        const int r = CSortListCtrl::CompareTexts(a, b);
        QCOMPARE((r > 0) - (r < 0), sign);
    }

    void headingClickSortsAndToggles() {
        CSortListCtrl list(9001);
        list.SetColumns(QStringLiteral("No.,40;Name,130"));
        const char* names[] = {"b", "C", "a", "D"};
        const int numbers[] = {10, 2, 33, 9};
        for (int i = 0; i < 4; ++i) list.AddItem({QString::number(numbers[i]), names[i]});
        // Adding does not sort.
        QCOMPARE(list.ItemText(3, 0), QStringLiteral("9"));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        auto clickHeading = [&](int column) {
            QHeaderView* h = list.header();
            const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2,
                            h->height() / 2);
            QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
        };
        auto column = [&](int c) {
            QStringList out;
            for (int r = 0; r < list.ItemCount(); ++r) out << list.ItemText(r, c);
            return out;
        };
        clickHeading(0);
        QCOMPARE(column(0), (QStringList{"2", "9", "10", "33"}));
        clickHeading(0);
        QCOMPARE(column(0), (QStringList{"33", "10", "9", "2"}));
        clickHeading(1);
        QVERIFY(list.SortAscending());
        QCOMPARE(column(1), (QStringList{"C", "D", "a", "b"}));
    }

    void columnLayoutIsKeptPerControlId() {
        {
            CSortListCtrl list(9002);
            list.SetColumns(QStringLiteral("No.,40;Name,130;Red,50"));
            list.setColumnWidth(1, 211);
            list.header()->moveSection(2, 0);  // Red first
        }
        {
            CSortListCtrl list(9002);
            list.SetColumns(QStringLiteral("No.,40;Name,130;Red,50"));
            QCOMPARE(list.columnWidth(1), 211);
            QCOMPARE(list.header()->visualIndex(2), 0);
            QCOMPARE(list.header()->visualIndex(0), 1);
        }
        QSettings profile(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kCompanyKey),
                          QLatin1String(kBrandTitle));
        QVERIFY(profile.contains(QStringLiteral("ListCtrls/9002")));
        {
            // Another control starts from its own widths; a stored layout of another column
            // count is ignored.
            CSortListCtrl other(9003);
            other.SetColumns(QStringLiteral("No.,40;Name,130;Red,50"));
            QCOMPARE(other.columnWidth(1), 130);
            CSortListCtrl fewer(9002);
            fewer.SetColumns(QStringLiteral("No.,40;Name,130"));
            QCOMPARE(fewer.columnWidth(1), 130);
            QCOMPARE(fewer.header()->visualIndex(0), 0);
        }
    }

    // ---- Pictures of the dialogs ----

    void renderScreenshots() {
        const QByteArray dir = qgetenv("NS_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("NS_SCREENSHOT_DIR not set");
        QDir().mkpath(QString::fromLocal8Bit(dir));
        WritePresetFile(g_strIniPath,
                        {{"Daylight", "12", "20", "31"}, {"Halogen", "0", "8", "40"}});
        for (const char* lang : {"en", "de"}) {
            ClearLanguageTable();
            if (QByteArray(lang) == "de")
                QVERIFY(LoadLanguage("de", QCoreApplication::applicationDirPath() + "/"));
            auto shoot = [&](QWidget& w, const char* name) {
                w.show();
                QVERIFY(QTest::qWaitForWindowExposed(&w));
                const QString file = QStringLiteral("%1/dialog_%2_%3.png")
                                         .arg(QString::fromLocal8Bit(dir), name, lang);
                QVERIFY(w.grab().save(file));
            };
            auto doc = StillDocument();
            doc->m_bBinary = true;
            doc->m_nBinaryThreshold = 128;
            CBinaryDlg binary(*doc);
            shoot(binary, "binary");
            doc->m_bRgbGain = true;
            doc->m_nGainRed = 20;
            CRgbDlg rgb(*doc);
            shoot(rgb, "rgb");
            rgb.AdvancedButton()->click();
            rgb.AddButton()->click();
            rgb.PresetList()->SelectRow(1);
            shoot(rgb, "rgb_presets");
            rgb.close();
        }
        ClearLanguageTable();
    }
};

QTEST_MAIN(ProcessDialogsTest)
#include "process_dialogs_test.moc"
