// The measuring dialogs on real documents in the real main window: the measurement setting with
// its colour lists, the ruler setting with its ruler files, and the text input.
//
// With NS_SCREENSHOT_DIR set, the screenshots slot also saves every dialog in English and
// German as PNG files into that folder.

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"
#include "overlay/ruler_file.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/child_frame.h"
#include "ui/gvl_wnd.h"
#include "ui/input_text_dlg.h"
#include "ui/main_frame.h"
#include "ui/measure_color_dlg.h"
#include "ui/ruler_setting_dlg.h"
#include "ui/scope_view.h"

namespace {

// Runs act on the next modal dialog of type T once it is up. exec() would wait forever for a
// dialog that never comes: after two minutes the watcher rejects whatever modal dialog is open
// instead, and *seen stays false.
template <class T>
void WhenModal(std::function<void(T*)> act, bool* seen = nullptr) {
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act, seen] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            if (seen) *seen = true;
            QPointer<QDialog> open(w);
            act(w);
            // A failed check leaves act early: close the dialog so exec() returns.
            if (open && open->isVisible()) open->reject();
            return;
        }
        if (++*ticks > 6000) {
            timer->stop();
            timer->deleteLater();
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
        }
    });
    timer->start(20);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) : QObject(w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

// The prompt the overlay asks for text, answered by the text dialog.
class DialogPrompt : public CRecordingPrompt {
public:
    std::optional<QStringList> askLines(const QString& caption, const QString& label) override {
        return RunInputTextDialog(caption, label, nullptr);
    }
};

// Types a name into a file dialog's name box, as the user does.
void TypeFileName(QFileDialog* fd, const QString& name) {
    auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) qFatal("file dialog without its name box");
    edit->clear();
    QTest::keyClicks(edit, name);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

template <class W>
W* Child(QWidget* parent, const char* name) {
    W* w = parent->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no child %s", name);
    return w;
}

QPoint Ruler(const CGVLElemMgr& mgr, int i) {
    auto lock = mgr.Lock();
    return *mgr.GetElement(0)->GetPoint(i);
}

}  // namespace

class MeasureDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CMainFrame> m_frame;
    QString m_picture;

    // A still document of a 480 x 360 picture in its own window.
    CChildFrame* OpenPicture() {
        CChildFrame* child = m_frame->OpenDocumentFile(m_picture);
        if (child) {
            child->show();
            QCoreApplication::processEvents();
        }
        return child;
    }
    // The Calibration command as the main window runs it.
    static void Calibration(CScopeDoc& doc, QWidget* parent) {
        doc.OnCommand(ID_CALIBRATION);
        ToggleRulerSettingDialog(doc, parent);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
        g_bShowSplash = false;
        InitAppFolders(m_dir.path(), m_dir.path());
        QVERIFY(QDir().mkpath(g_strDataFolder + QStringLiteral("nrrdata")));
        LoadDefaultSettings();
        FCObjImage img;
        QVERIFY(img.Allocate(480, 360, 24));
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 480; ++x) {
                uint8_t* p = img.PixelPointer(x, y);
                p[0] = p[1] = p[2] = static_cast<uint8_t>(60 + (x + y) % 100);
            }
        m_picture = m_dir.filePath(QStringLiteral("slide.bmp"));
        QVERIFY(img.SaveToFile(m_picture.toStdString()));
        m_frame = std::make_unique<CMainFrame>();
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }
    void cleanupTestCase() { m_frame.reset(); }
    void init() {
        LoadDefaultSettings();
        InitAppFolders(m_dir.path(), m_dir.path());
    }
    // A test that failed half-way leaves its window: the next one must get a new document.
    void cleanup() {
        for (QMdiSubWindow* w : m_frame->MdiArea()->subWindowList()) delete w;
    }

    // ---- Measurement setting ----

    void measureSettingShowsTheOverlayValuesAndOkAppliesThem() {
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        CGVLElemMgr& mgr = doc.ElemMgr();
        mgr.SetDisplay(GVLDisplay{/*coord*/ 4, /*ruler*/ 5, /*adjust*/ -3, /*text*/ 7});
        mgr.SetPrecision(0);
        mgr.SetFontSize(3);
        mgr.SetFontBackground(2);
        auto* paints = new PaintCounter(child->View()->OverlayWindow());

        bool seen = false;
        WhenModal<CMeasureColorDlg>(
            [](CMeasureColorDlg* dlg) {
                auto* ruler = Child<CColorSelectComboBox>(dlg, "MeasurementColor");
                auto* point = Child<CColorSelectComboBox>(dlg, "PointColor");
                auto* text = Child<CColorSelectComboBox>(dlg, "TextColor");
                auto* coord = Child<CColorSelectComboBox>(dlg, "CoordinateColor");
                QCOMPARE(dlg->windowTitle(), QStringLiteral("Measure Setting"));
                QCOMPARE(ruler->count(), 8);
                QCOMPARE(ruler->currentIndex(), 5);
                QCOMPARE(point->currentIndex(), 0);  // negative: black
                QCOMPARE(text->currentIndex(), 7);
                QCOMPARE(coord->currentIndex(), 4);
                QVERIFY(!coord->isVisible());
                QCOMPARE(Child<QComboBox>(dlg, "Precision")->currentText(), QStringLiteral("1"));
                QCOMPARE(Child<QComboBox>(dlg, "FontSize")->currentText(), QStringLiteral("Big"));
                QCOMPARE(Child<QComboBox>(dlg, "Background")->currentText(),
                         QStringLiteral("Gray"));
                QCOMPARE(Child<QComboBox>(dlg, "FontSize")->count(), 3);
                point->setCurrentIndex(6);
                Child<QComboBox>(dlg, "FontSize")->setCurrentIndex(0);
                Child<QComboBox>(dlg, "Background")->setCurrentIndex(0);
                Child<QComboBox>(dlg, "Precision")->setCurrentIndex(3);
                dlg->accept();
            },
            &seen);
        const int paintsBefore = paints->count;
        QVERIFY(RunMeasureSettingDialog(doc, m_frame.get()));
        QVERIFY(seen);
        const GVLDisplay d = mgr.GetDisplay();
        QCOMPARE(d.m_color_Ruler, 5);
        QCOMPARE(d.m_color_Adjust, 6);
        QCOMPARE(d.m_color_Text, 7);
        QCOMPARE(d.m_color_Coord, 4);
        QCOMPARE(mgr.GetPrecision(), 4);
        QCOMPARE(mgr.GetFontSize(), 1);
        QCOMPARE(mgr.GetFontBackground(), 1);
        // The window shows the new look.
        QTRY_VERIFY_WITH_TIMEOUT(paints->count > paintsBefore, 30000);

        // The values reach the settings when the document goes.
        delete child;
        QCOMPARE(theSettings.measure.m_color_Adjust, 6);
        QCOMPARE(theSettings.measure.Precision, 4);
        QCOMPARE(theSettings.measure.FontSize, 1);
        QCOMPARE(theSettings.measure.FontBackground, 1);
    }

    void measureSettingCancelAndOutOfRangeValues() {
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CGVLElemMgr& mgr = child->Document()->ElemMgr();
        // Values only edited settings can hold: no list entry matches them.
        mgr.SetDisplay(GVLDisplay{4, 9, 3, 2});
        mgr.SetPrecision(6);
        mgr.SetFontSize(2);
        mgr.SetFontBackground(1);

        WhenModal<CMeasureColorDlg>([](CMeasureColorDlg* dlg) {
            Child<CColorSelectComboBox>(dlg, "TextColor")->setCurrentIndex(1);
            Child<QComboBox>(dlg, "FontSize")->setCurrentIndex(2);
            dlg->reject();
        });
        QVERIFY(!RunMeasureSettingDialog(*child->Document(), m_frame.get()));
        QCOMPARE(mgr.GetDisplay().m_color_Text, 2);
        QCOMPARE(mgr.GetFontSize(), 2);

        // OK without touching them keeps what the lists cannot show.
        WhenModal<CMeasureColorDlg>([](CMeasureColorDlg* dlg) {
            QCOMPARE(Child<CColorSelectComboBox>(dlg, "MeasurementColor")->currentIndex(), -1);
            QCOMPARE(Child<QComboBox>(dlg, "Precision")->currentIndex(), -1);
            dlg->accept();
        });
        QVERIFY(RunMeasureSettingDialog(*child->Document(), m_frame.get()));
        QCOMPARE(mgr.GetDisplay().m_color_Ruler, 9);
        QCOMPARE(mgr.GetPrecision(), 6);
        delete child;
    }

    void colorListDrawsSwatchesOfTheOverlayColors() {
        CColorSelectComboBox list;
        list.FillColors();
        list.FillColors();  // colours already in the list are not added again
        QCOMPARE(list.count(), 8);
        QCOMPARE(list.currentIndex(), 0);
        QCOMPARE(list.ColorAt(0), QColor(0, 0, 0));
        QCOMPARE(list.ColorAt(2), QColor(255, 0, 0));
        QCOMPARE(list.ColorAt(5), QColor(0, 255, 255));
        QCOMPARE(list.ColorAt(7), QColor(255, 255, 0));
        QCOMPARE(list.AddColor(QColor(0, 0, 255)), 4);
        QCOMPARE(list.count(), 8);
        QVERIFY(!list.ColorAt(8).isValid());
        for (int i = 0; i < list.count(); ++i) QVERIFY(list.itemText(i).isEmpty());

        // The closed list shows the chosen colour; a disabled one shows none.
        list.setCurrentIndex(2);
        list.resize(list.sizeHint());
        auto countRed = [&list] {
            const QImage shot = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
            int red = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixel(x, y) == qRgb(255, 0, 0)) ++red;
            return red;
        };
        QVERIFY(countRed() >= 40 * 6);
        list.setEnabled(false);
        QCOMPARE(countRed(), 0);
    }

    // ---- Text input ----

    void enterAcceptsAndCtrlEnterBreaksTheLine() {
        struct Case {
            const char* name;
            Qt::Key key;
            Qt::KeyboardModifiers finish;
        } cases[] = {
            {"Return", Qt::Key_Return, Qt::NoModifier},
            {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier},
            {"Shift+Return", Qt::Key_Return, Qt::ShiftModifier},
        };
        for (const Case& c : cases) {
            bool seen = false;
            WhenModal<CInputTextDlg>(
                [c](CInputTextDlg* dlg) {
                    QCOMPARE(dlg->windowTitle(), QStringLiteral("Input Text"));
                    QWidget* edit = dlg->Edit();
                    QTest::keyClicks(edit, QStringLiteral("ab"));
                    QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
                    QTest::keyClicks(edit, QStringLiteral("cde"));
                    QTest::keyClick(edit, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
                    QTest::keyClicks(edit, QStringLiteral("f"));
                    QVERIFY(dlg->isVisible());
                    QTest::keyClick(edit, c.key, c.finish);
                },
                &seen);
            const std::optional<QStringList> lines = RunInputTextDialog(
                QStringLiteral("Input Text"),
                QStringLiteral("Text(New line by pressing Ctrl+Enter)"), m_frame.get());
            QVERIFY2(seen, c.name);
            QVERIFY2(lines.has_value(), c.name);
            QCOMPARE(*lines, QStringList({"ab", "cde", "f"}));
        }

        WhenModal<CInputTextDlg>([](CInputTextDlg* dlg) {
            QTest::keyClicks(dlg->Edit(), QStringLiteral("gone"));
            QTest::keyClick(dlg->Edit(), Qt::Key_Escape);
        });
        QVERIFY(
            !RunInputTextDialog(QStringLiteral("Input Text"), QStringLiteral("x"), m_frame.get()));
    }

    void linesOf255CharactersOrMoreAreNotKept() {
        const QString l254(254, u'a'), l255(255, u'b'), l300(300, u'c');
        struct Case {
            const char* name;
            QStringList typed, kept;
        } cases[] = {
            {"254 kept", {"x", l254}, {"x", l254}},
            {"long first line left empty", {l255, "y"}, {"", "y"}},
            {"long last line left out", {"x", l255}, {"x"}},
            {"long lines in the middle", {"x", l255, l300, "z"}, {"x", "", "", "z"}},
            {"only long lines", {l300, l255}, {}},
            {"empty lines stay", {"", "x", ""}, {"", "x", ""}},
        };
        for (const Case& c : cases) QCOMPARE(KeptTextLines(c.typed), c.kept);

        // Typed into the text element's dialog: the element keeps the same lines.
        auto doc = std::make_unique<CScopeDoc>();
        DialogPrompt prompt;
        doc->ElemMgr().SetPrompt(&prompt);
        WhenModal<CInputTextDlg>([&](CInputTextDlg* dlg) {
            QTest::keyClicks(dlg->Edit(), l255 + QStringLiteral("!"));
            QTest::keyClick(dlg->Edit(), Qt::Key_Return, Qt::ControlModifier);
            QTest::keyClicks(dlg->Edit(), l254);
            QTest::keyClick(dlg->Edit(), Qt::Key_Return);
        });
        doc->ElemMgr().OnLButtonDown(1, 208, QPoint(40, 40));
        doc->ElemMgr().OnLButtonUp(0, 208, QPoint(40, 40));
        {
            auto lock = doc->ElemMgr().Lock();
            QCOMPARE(doc->ElemMgr().ElementCount(), 2);
            auto* text = dynamic_cast<CGVLAnoText*>(doc->ElemMgr().GetElement(1));
            QVERIFY(text);
            QCOMPARE(text->GetLines(), QStringList({"", l254}));
        }
        // Cancel leaves no element.
        WhenModal<CInputTextDlg>([](CInputTextDlg* dlg) { dlg->reject(); });
        doc->ElemMgr().OnLButtonDown(1, 208, QPoint(90, 90));
        QCOMPARE(doc->ElemMgr().ElementCount(), 2);
        doc->ElemMgr().SetPrompt(nullptr);
    }

    // ---- Ruler setting ----

    void calibrationCommandMakesAppliesShowsAndHidesTheDialog() {
        theSettings.measureDlg.Unit = 1;
        theSettings.measureDlg.Magnification = 3;
        theSettings.measureDlg.XUnit = QStringLiteral("10");
        theSettings.measureDlg.YUnit = QStringLiteral("20");
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        CGVLElemMgr& mgr = doc.ElemMgr();
        mgr.SetRulerPoints(QPoint(150, 60), QPoint(100, 100));
        QVERIFY(!RulerSettingDialogFor(doc));

        Calibration(doc, m_frame.get());
        QPointer<CRulerSettingDlg> dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);
        QVERIFY(dlg->isVisible());
        QVERIFY(mgr.IsRulerShown());
        QCOMPARE(dlg->parentWidget(), static_cast<QWidget*>(child->View()));
        // Near the top right corner of the screen.
        const QRect screen = dlg->screen()->geometry();
        QCOMPARE(dlg->frameGeometry().right(), screen.right() - CRulerSettingDlg::kScreenRightGap);
        QCOMPARE(dlg->frameGeometry().top(), screen.top() + CRulerSettingDlg::kScreenTopGap);
        // Refreshed from the ruler and applied.
        QCOMPARE(Child<QLineEdit>(dlg, "XStart")->text(), QStringLiteral("100"));
        QCOMPARE(Child<QLineEdit>(dlg, "XEnd")->text(), QStringLiteral("150"));
        QCOMPARE(Child<QLineEdit>(dlg, "XLength")->text(), QStringLiteral("50"));
        QCOMPARE(Child<QLineEdit>(dlg, "YStart")->text(), QStringLiteral("60"));
        QCOMPARE(Child<QLineEdit>(dlg, "YEnd")->text(), QStringLiteral("100"));
        QCOMPARE(Child<QLineEdit>(dlg, "YLength")->text(), QStringLiteral("40"));
        QCOMPARE(Child<QLineEdit>(dlg, "XPerPixel")->text(), QStringLiteral("0.20000000"));
        QCOMPARE(Child<QLineEdit>(dlg, "YPerPixel")->text(), QStringLiteral("0.50000000"));
        QCOMPARE(Child<QLineEdit>(dlg, "XReal")->text(), QStringLiteral("10"));
        QCOMPARE(Child<QComboBox>(dlg, "Unit")->currentText(), QStringLiteral("mm"));
        QCOMPARE(Child<QComboBox>(dlg, "Magnification")->currentText(), QStringLiteral("40 X"));
        bool perPixelLabel = false;
        for (QLabel* l : dlg->findChildren<QLabel*>())
            perPixelLabel |= l->text() == QStringLiteral("mm/pixel");
        QVERIFY(perPixelLabel);
        const GVLCalibration c = mgr.GetCalibration();
        QCOMPARE(c.m_unit_Unit, 1);
        QCOMPARE(c.m_unit_dcxPerPixel, 0.2);
        QCOMPARE(c.m_unit_dcyPerPixel, 0.5);
        QCOMPARE(c.m_unit_dcxReal, 10.0);
        QCOMPARE(c.m_unit_dcyReal, 20.0);
        QCOMPARE(theSettings.measure.m_nXStart, 100);
        QCOMPARE(theSettings.measure.m_nXEnd, 150);
        QCOMPARE(theSettings.measure.m_nYStart, 60);
        QCOMPARE(theSettings.measure.m_nYEnd, 100);
        QCOMPARE(theSettings.measureDlg.X_RulerLength, 50);
        QCOMPARE(theSettings.measureDlg.Y_RulerLength, 40);

        // The next use hides both, the one after shows the same dialog again.
        Calibration(doc, m_frame.get());
        QVERIFY(!dlg->isVisible());
        QVERIFY(!mgr.IsRulerShown());
        Calibration(doc, m_frame.get());
        QCOMPARE(RulerSettingDialogFor(doc), dlg.data());
        QVERIFY(dlg->isVisible());
        QVERIFY(mgr.IsRulerShown());

        // OK applies and hides the dialog; the ruler stays until the command hides it.
        QTest::mouseClick(dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QVERIFY(mgr.IsRulerShown());
        QVERIFY(doc.m_bCalibrationShown);

        // The dialog goes with the document's window.
        delete child;
        QVERIFY(dlg.isNull());
    }

    void editsUnitAndMagnificationTakeEffectWhenApplied() {
        theSettings.measureDlg.XUnit = QStringLiteral("10");
        theSettings.measureDlg.YUnit = QStringLiteral("10");
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        CGVLElemMgr& mgr = doc.ElemMgr();
        mgr.SetRulerPoints(QPoint(150, 50), QPoint(100, 100));
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);
        QCOMPARE(mgr.GetCalibration().m_unit_dcxPerPixel, 0.2);

        // Typing recomputes the shown value at once and remembers the text.
        auto* xReal = Child<QLineEdit>(dlg, "XReal");
        xReal->selectAll();
        QTest::keyClicks(xReal, QStringLiteral("2.5"));
        QCOMPARE(Child<QLineEdit>(dlg, "XPerPixel")->text(), QStringLiteral("0.05000000"));
        QCOMPARE(theSettings.measureDlg.XUnit, QStringLiteral("2.5"));
        auto* yReal = Child<QLineEdit>(dlg, "YReal");
        yReal->selectAll();
        QTest::keyClicks(yReal, QStringLiteral("abc"));
        QCOMPARE(Child<QLineEdit>(dlg, "YPerPixel")->text(), QStringLiteral("0.00000000"));
        QCOMPARE(theSettings.measureDlg.YUnit, QStringLiteral("abc"));
        // The unit relabels and is remembered; magnification is only remembered.
        Child<QComboBox>(dlg, "Unit")->setCurrentIndex(5);
        bool inchLabel = false;
        for (QLabel* l : dlg->findChildren<QLabel*>())
            inchLabel |= l->text() == QStringLiteral("inch/pixel");
        QVERIFY(inchLabel);
        QCOMPARE(theSettings.measureDlg.Unit, 5);
        Child<QComboBox>(dlg, "Magnification")->setCurrentIndex(5);
        QCOMPARE(theSettings.measureDlg.Magnification, 5);
        // Nothing of it is the calibration yet.
        GVLCalibration c = mgr.GetCalibration();
        QCOMPARE(c.m_unit_Unit, 0);
        QCOMPARE(c.m_unit_dcxPerPixel, 0.2);

        // Cancel applies too (it undoes nothing) and hides.
        QTest::mouseClick(dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        c = mgr.GetCalibration();
        QCOMPARE(c.m_unit_Unit, 5);
        QCOMPARE(c.m_unit_dcxPerPixel, 0.05);
        QCOMPARE(c.m_unit_dcxReal, 2.5);
        QCOMPARE(c.m_unit_dcyPerPixel, 0.0);  // not a number counts as 0
        QCOMPARE(c.m_unit_dcyReal, 0.0);
        delete child;
    }

    void yEqualsXCopiesTheHorizontalArm() {
        theSettings.measureDlg.XUnit = QStringLiteral("8");
        theSettings.measureDlg.YUnit = QStringLiteral("30");
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        CGVLElemMgr& mgr = doc.ElemMgr();
        mgr.SetRulerPoints(QPoint(90, 60), QPoint(50, 200));  // X-Length 40, Y-Start 60
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);
        QTest::mouseClick(Child<QPushButton>(dlg, "YEqualsX"), Qt::LeftButton);
        QCOMPARE(dlg->m_nYLength, 40);
        QCOMPARE(dlg->m_nYEnd, 100);
        QCOMPARE(Ruler(mgr, 0), QPoint(90, 60));
        QCOMPARE(Ruler(mgr, 1), QPoint(50, 100));
        QCOMPARE(Child<QLineEdit>(dlg, "YReal")->text(), QStringLiteral("8"));
        QCOMPARE(Child<QLineEdit>(dlg, "YPerPixel")->text(), QStringLiteral("0.20000000"));
        QCOMPARE(theSettings.measureDlg.YUnit, QStringLiteral("8"));
        QCOMPARE(theSettings.measure.m_nYEnd, 100);
        const GVLCalibration c = mgr.GetCalibration();
        QCOMPARE(c.m_unit_dcyPerPixel, 0.2);
        QCOMPARE(c.m_unit_dcyReal, 8.0);
        QVERIFY(dlg->isVisible());
        delete child;
    }

    void draggingTheRulerRefreshesTheDialog() {
        theSettings.measureDlg.XUnit = QStringLiteral("10");
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        CGVLElemMgr& mgr = doc.ElemMgr();
        mgr.SetRulerPoints(QPoint(150, 100), QPoint(100, 200));
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);
        QCOMPARE(doc.m_nTool, 0);

        // Drag the end of the horizontal arm in the picture window.
        CGVLWnd* wnd = child->View()->OverlayWindow();
        QVERIFY(wnd);
        const float zoom = mgr.GetZoom();
        auto win = [zoom](int x, int y) {
            return QPoint(static_cast<int>(x * zoom), static_cast<int>(y * zoom));
        };
        QTest::mousePress(wnd, Qt::LeftButton, Qt::NoModifier, win(150, 100));
        QMouseEvent move(QEvent::MouseMove, QPointF(win(250, 100)),
                         wnd->mapToGlobal(QPointF(win(250, 100))), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(wnd, &move);
        QTest::mouseRelease(wnd, Qt::LeftButton, Qt::NoModifier, win(250, 100));
        const QPoint p0 = Ruler(mgr, 0);
        QVERIFY2(p0.x() > 200, "the drag did not reach the ruler");
        const int length = p0.x() - 100;
        QTRY_COMPARE_WITH_TIMEOUT(Child<QLineEdit>(dlg, "XEnd")->text(), QString::number(p0.x()),
                                  30000);
        QCOMPARE(Child<QLineEdit>(dlg, "XLength")->text(), QString::number(length));
        QCOMPARE(Child<QLineEdit>(dlg, "XPerPixel")->text(),
                 RulerPerPixelText(QStringLiteral("10"), length));
        QCOMPARE(theSettings.measureDlg.X_RulerLength, length);
        QCOMPARE(theSettings.measure.m_nXEnd, p0.x());

        // The notice from elsewhere (the live window) refreshes the same way.
        mgr.SetRulerPoints(QPoint(130, 100), QPoint(100, 200));
        RulerChangedForDocument(doc);
        QCOMPARE(Child<QLineEdit>(dlg, "XLength")->text(), QStringLiteral("30"));
        delete child;
    }

    void activationShowsTheRuler() {
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);
        m_frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
        doc.ElemMgr().ShowRuler(false);
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg));
        QTRY_VERIFY_WITH_TIMEOUT(doc.ElemMgr().IsRulerShown(), 30000);
        delete child;
    }

    void rulerFilesSaveAndLoadTheCalibration() {
        theSettings.measureDlg.XUnit = QStringLiteral("10");
        theSettings.measureDlg.YUnit = QStringLiteral("5");
        theSettings.measureDlg.Unit = 2;
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        doc.ElemMgr().SetRulerPoints(QPoint(337, 20), QPoint(300, 70));  // X-Length 37, Y-Length 50
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);

        // Save through the file dialog: the extension is added.
        bool seen = false;
        WhenModal<QFileDialog>(
            [](QFileDialog* fd) {
                QCOMPARE(fd->defaultSuffix(), QStringLiteral("nrr"));
                QCOMPARE(fd->acceptMode(), QFileDialog::AcceptSave);
                QCOMPARE(QDir(fd->directory()).absolutePath(),
                         QDir(g_strDataFolder + QStringLiteral("nrrdata")).absolutePath());
                QVERIFY(fd->nameFilters().join(u' ').contains(QStringLiteral("*.nrr")));
                TypeFileName(fd, QStringLiteral("objective10"));
                static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, as the OK button
            },
            &seen);
        QTest::mouseClick(Child<QPushButton>(dlg, "Save"), Qt::LeftButton);
        QVERIFY(seen);
        const QString path = g_strDataFolder + QStringLiteral("nrrdata/objective10.nrr");
        QCOMPARE(ReadAll(path),
                 QByteArray("0.27027027\r\r\n0.10000000\r\r\n10\r\r\n5\r\r\n"
                            "100\r\r\n137\r\r\n37\r\r\n100\r\r\n150\r\r\n50\r\r\n2\r\r\n"));
        delete child;

        // Load it into another document through the file dialog.
        theSettings.measureDlg.XUnit = QStringLiteral("1");
        theSettings.measureDlg.YUnit = QStringLiteral("1");
        theSettings.measureDlg.Unit = 0;
        child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& other = *child->Document();
        other.ElemMgr().SetRulerPoints(QPoint(60, 40), QPoint(40, 90));
        Calibration(other, m_frame.get());
        dlg = RulerSettingDialogFor(other);
        QVERIFY(dlg);
        seen = false;
        WhenModal<QFileDialog>(
            [path](QFileDialog* fd) {
                QCOMPARE(fd->acceptMode(), QFileDialog::AcceptOpen);
                TypeFileName(fd, QFileInfo(path).fileName());
                static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, as the OK button
            },
            &seen);
        QTest::mouseClick(Child<QPushButton>(dlg, "Load"), Qt::LeftButton);
        QVERIFY(seen);
        // The calibration of the file; the ruler stays where it was laid, its arms (20 and 50
        // pixels) now measuring in that calibration.
        QCOMPARE(Ruler(other.ElemMgr(), 0), QPoint(60, 40));
        QCOMPARE(Ruler(other.ElemMgr(), 1), QPoint(40, 90));
        const GVLCalibration c = other.ElemMgr().GetCalibration();
        QCOMPARE(c.m_unit_Unit, 2);
        QCOMPARE(c.m_unit_dcxPerPixel, 0.27027027);
        QCOMPARE(c.m_unit_dcyPerPixel, 0.1);
        QCOMPARE(c.m_unit_dcxReal, 5.405405405);
        QCOMPARE(c.m_unit_dcyReal, 5.0);
        QCOMPARE(Child<QComboBox>(dlg, "Unit")->currentText(), QStringLiteral("cm"));
        QCOMPARE(Child<QLineEdit>(dlg, "XLength")->text(), QStringLiteral("20"));
        // OK keeps it.
        dlg->accept();
        QCOMPARE(other.ElemMgr().GetCalibration().m_unit_dcxPerPixel, 0.27027027);
        QCOMPARE(theSettings.measureDlg.XUnit, QStringLiteral("5.405405405"));
        QCOMPARE(theSettings.measureDlg.Unit, 2);
        delete child;
    }

    void damagedAndMissingRulerFiles() {
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        Calibration(doc, m_frame.get());
        CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
        QVERIFY(dlg);

        // An arm of no pixels (hand-edited file) calibrates to 0 instead of dividing by it.
        const QString zero = m_dir.filePath(QStringLiteral("zero.nrr"));
        {
            QFile f(zero);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x\ny\n10\n10\n100\n100\n0\n100\n120\n20\n9\n");  // LF endings, unit 9
        }
        const int unitBefore = doc.ElemMgr().GetCalibration().m_unit_Unit;
        QVERIFY(dlg->LoadFromFile(zero));
        GVLCalibration c = doc.ElemMgr().GetCalibration();
        QCOMPARE(c.m_unit_dcxPerPixel, 0.0);
        QCOMPARE(c.m_unit_dcyPerPixel, 0.5);
        QCOMPARE(c.m_unit_Unit, unitBefore);  // no such unit: kept
        QCOMPARE(Child<QLineEdit>(dlg, "XPerPixel")->text(), QStringLiteral("0.00000000"));
        const QPoint kept0 = Ruler(doc.ElemMgr(), 0), kept1 = Ruler(doc.ElemMgr(), 1);

        // A file of three lines: the rest is empty or 0.
        const QString shortFile = m_dir.filePath(QStringLiteral("short.nrr"));
        {
            QFile f(shortFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1\r\n2\r\n4\r\n");
        }
        QVERIFY(dlg->LoadFromFile(shortFile));
        QCOMPARE(Ruler(doc.ElemMgr(), 0), kept0);
        QCOMPARE(Ruler(doc.ElemMgr(), 1), kept1);
        c = doc.ElemMgr().GetCalibration();
        QCOMPARE(c.m_unit_dcxReal, 0.0);
        QCOMPARE(c.m_unit_dcyReal, 0.0);
        QCOMPARE(c.m_unit_dcxPerPixel, 0.0);
        QCOMPARE(c.m_unit_Unit, 0);

        // A file that cannot be opened is reported and changes nothing.
        doc.ElemMgr().SetRulerPoints(QPoint(150, 50), QPoint(100, 100));
        dlg->Apply();
        const GVLCalibration before = doc.ElemMgr().GetCalibration();
        QString message;
        WhenModal<QMessageBox>([&message](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        QVERIFY(!dlg->LoadFromFile(m_dir.filePath(QStringLiteral("missing.nrr"))));
        QVERIFY(message.contains(QStringLiteral("missing.nrr")));
        QCOMPARE(doc.ElemMgr().GetCalibration().m_unit_dcxPerPixel, before.m_unit_dcxPerPixel);
        QCOMPARE(Ruler(doc.ElemMgr(), 0), QPoint(150, 50));
        message.clear();
        WhenModal<QMessageBox>([&message](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        QVERIFY(!dlg->SaveToFile(m_dir.filePath(QStringLiteral("no/such/folder/a.nrr"))));
        QVERIFY(message.contains(QStringLiteral("a.nrr")));
        delete child;
    }

    // A document can go while one of its dialogs waits for the user (a camera unplugged closes
    // the live document): nothing may touch it afterwards.
    void documentClosingUnderAnOpenDialog() {
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        bool seen = false;
        WhenModal<CMeasureColorDlg>(
            [child](CMeasureColorDlg* dlg) {
                delete child;
                dlg->accept();
            },
            &seen);
        QVERIFY(!RunMeasureSettingDialog(*child->Document(), m_frame.get()));
        QVERIFY(seen);

        child = OpenPicture();
        QVERIFY(child);
        Calibration(*child->Document(), m_frame.get());
        QPointer<CRulerSettingDlg> dlg = RulerSettingDialogFor(*child->Document());
        QVERIFY(dlg);
        seen = false;
        WhenModal<QFileDialog>([child](QFileDialog*) { delete child; }, &seen);
        QMetaObject::invokeMethod(Child<QPushButton>(dlg, "Save"), "click", Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.isNull(), 30000);
        QVERIFY(seen);
    }

    // ---- Pictures of the dialogs for the documentation ----

    void screenshots() {
        const QString out = qEnvironmentVariable("NS_SCREENSHOT_DIR");
        if (out.isEmpty()) QSKIP("NS_SCREENSHOT_DIR not set");
        QVERIFY(QDir().mkpath(out));
        const QString bin = qEnvironmentVariable("NS_BIN_DIR") + QLatin1Char('/');
        CChildFrame* child = OpenPicture();
        QVERIFY(child);
        CScopeDoc& doc = *child->Document();
        doc.ElemMgr().SetRulerPoints(QPoint(150, 50), QPoint(100, 100));
        theSettings.measureDlg.XUnit = QStringLiteral("10");
        theSettings.measureDlg.YUnit = QStringLiteral("10");
        auto save = [&out](QWidget& w, const QString& name) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(w.grab().save(out + QLatin1Char('/') + name));
            w.hide();
        };
        for (const char* lang : {"en", "de"}) {
            ClearLanguageTable();
            QVERIFY(LoadLanguage(QLatin1String(lang), bin));
            const QString suffix = QStringLiteral("_%1.png").arg(QLatin1String(lang));
            {
                CMeasureColorDlg dlg(m_frame.get());
                dlg.LoadFrom(doc.ElemMgr());
                save(dlg, QStringLiteral("dialog_measure_setting") + suffix);
            }
            {
                CRulerSettingDlg dlg(&doc, m_frame.get());
                dlg.RefreshFromRuler();
                save(dlg, QStringLiteral("dialog_ruler_setting") + suffix);
            }
            {
                CInputTextDlg dlg(QStringLiteral("Input Text"),
                                  QStringLiteral("Text(New line by pressing Ctrl+Enter)"),
                                  m_frame.get());
                dlg.Edit()->setPlainText(QStringLiteral("Cell A\nnucleus"));
                save(dlg, QStringLiteral("dialog_input_text") + suffix);
            }
        }
        ClearLanguageTable();
        delete child;
    }
};

QTEST_MAIN(MeasureDialogsTest)
#include "measure_dialogs_test.moc"
