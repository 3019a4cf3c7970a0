// The camera pages in the camera pane on simulated cameras of every family: ranges, formats,
// enabling rules, timers and Default buttons as the camera reads them back; the white-balance
// result handed over from the camera's thread; the pane marking the open camera, keeping its
// scroll position, sizing itself to German texts; settings remembered and defaults restored.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <linux/videodev2.h>

#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"
#include "document/prompt.h"
#include "live_test_host.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/camera_pages/choice_pages.h"
#include "ui/camera_pages/colour_pages.h"
#include "ui/camera_pages/exposure_page.h"
#include "ui/camera_pages/flip_page.h"
#include "ui/camera_pages/sharpness_page.h"
#include "ui/camera_pages/uvc_pages.h"
#include "ui/camera_pages/white_balance_page.h"
#include "ui/capture_page.h"

namespace {

CCameraManager& Cm() { return theCameraManager(); }

int CameraInt(int (CCameraManager::*get)(int*)) {
    int v = -12345;
    (Cm().*get)(&v);
    return v;
}

double UvcValue(int property, int* automatic = nullptr) {
    double v = -1;
    int a = -1;
    Cm().GetVideoProperty(property, &v, &a);
    if (automatic) *automatic = a;
    return v;
}

}  // namespace

class CameraPagesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LiveTestHost m_host;
    CRecordingPrompt m_prompt;
    std::unique_ptr<QMdiArea> m_area;
    std::unique_ptr<CCameraPane> m_pane;

    // Simulated cameras (and emulated UVC cameras) attached, the pane following the switch.
    void Start(const char* cameras, std::shared_ptr<CFakeV4l2> uvc = CFakeV4l2::Emulated(1)) {
        qputenv("NORVANESCOPE_SIM_CAMERAS", cameras);
        theUVCCamera().SetSys(std::move(uvc));
        Cm().Startup();
        m_area = std::make_unique<QMdiArea>();
        m_area->setViewMode(QMdiArea::TabbedView);
        m_area->resize(900, 700);
        m_area->show();
        m_pane = std::make_unique<CCameraPane>();
        m_pane->resize(300, 900);
        m_pane->show();
        m_host.area = m_area.get();
        m_host.StartSwitching(m_dir.filePath(QStringLiteral("cameras.ini")), m_pane.get());
    }
    // The live picture of the first camera of a kind; false when it shows no frames.
    bool GoLive(int kind) {
        int count = 0;
        Cm().EnumerateDevices(&count);
        for (int i = 0; i < count; ++i) {
            if (Cm().Devices()[static_cast<size_t>(i)].kind != kind) continue;
            m_host.SwitchTo(i);
            CVideoWnd* video = LiveTestHost::LiveVideo();
            if (!video) return false;
            const uint64_t before = video->FramesPainted();
            return QTest::qWaitFor([&] { return video->FramesPainted() >= before + 2; }, 30000);
        }
        return false;
    }
    template <class Page>
    Page* PageOf(CCameraPane::Page p) const {
        return static_cast<Page*>(m_pane->PageWidget(p));
    }
    void ExpandAll() {
        for (CTaskGroup* g : m_pane->Groups()) g->SetExpanded(true);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(m_dir.path(), m_dir.path());
    }

    void init() {
        theSettings = CAppSettings{};
        theApp().frame = &m_host;
        theApp().prompt = &m_prompt;
        theApp().m_nNewDocKind = 0;
        m_prompt.clearCalls();
        m_prompt.clearAnswers();
        QFile::remove(m_dir.filePath(QStringLiteral("cameras.ini")));
    }

    void cleanup() {
        m_host.CloseAll();
        m_host.StopSwitching();
        m_pane.reset();
        m_area.reset();
        Cm().Stop();
        Cm().CloseCamera();
        Cm().Shutdown();
        theUVCCamera().SetSys(nullptr);
        ClearLanguageTable();
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
    }

    // ---------------------------------------------------------------- exposure

    void exposureTimeShowsWhatTheCameraApplied_data() {
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("highSpeed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("maker") << QByteArray("none,maker=1") << int(KindMaker) << false << "25.000ms";
        // 25000 us in rows of 40 us, or of 27 us at high speed (925 rows).
        QTest::newRow("module") << QByteArray("none,mc-a=1") << int(KindModule1) << false << "25.000ms";
        QTest::newRow("module, high speed") << QByteArray("none,mc-a=1") << int(KindModule1) << true << "24.975ms";
    }

    void exposureTimeShowsWhatTheCameraApplied() {
        QFETCH(QByteArray, cameras);
        QFETCH(int, kind);
        QFETCH(bool, highSpeed);
        QFETCH(QString, shown);
        Start(cameras.constData());
        QVERIFY(GoLive(kind));
        if (highSpeed) PageOf<CCamFrameRate>(CCameraPane::PageFrameRate)->Button(1)->click();
        auto* page = m_pane->ExposurePage();
        QVERIFY(!page->AutoBox()->isChecked());
        QVERIFY(page->Time().Slider()->isEnabled());
        page->Time().Slider()->setValue(120);
        page->Time().Slider()->setValue(250);
        QCOMPARE(page->Time().Text(), shown);
        int64_t t = 0;
        QCOMPARE(Cm().GetExposureTime(&t), 0);
        QCOMPARE(QString::asprintf("%.3fms", t / 1000.0), shown);
        // The gain slider sets the camera's gain.
        page->Gain().Slider()->setValue(6);
        double gain = 0;
        Cm().GetAnalogGain(&gain);
        QCOMPARE(gain, 6.0);
        QCOMPARE(page->Gain().Text(), QStringLiteral("6"));
    }

    void automaticExposureFollowsTheCamera_data() {
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("regulatesGain");
        QTest::newRow("maker with auto gain") << QByteArray("none,maker=1") << int(KindMaker) << true;
        QTest::newRow("module") << QByteArray("none,mc-a=1") << int(KindModule1) << false;
    }

    void automaticExposureFollowsTheCamera() {
        QFETCH(QByteArray, cameras);
        QFETCH(int, kind);
        QFETCH(bool, regulatesGain);
        Start(cameras.constData());
        QVERIFY(GoLive(kind));
        auto* page = m_pane->ExposurePage();
        QVERIFY(page->TimerRunning());
        QVERIFY(!page->Target().Slider()->isEnabled());
        page->AutoBox()->click();
        QCOMPARE(CameraInt(&CCameraManager::GetAeState), 1);
        QVERIFY(!page->Time().Slider()->isEnabled());
        QVERIFY(page->Target().Slider()->isEnabled());
        // A camera that regulates its gain keeps the slider to itself.
        QCOMPARE(page->Gain().Slider()->isEnabled(), !regulatesGain);
        // A brighter target: the camera lengthens the exposure, and the page shows it within its
        // 300 ms.
        const QString before = page->Time().Text();
        page->Target().Slider()->setValue(250);
        QCOMPARE(CameraInt(&CCameraManager::GetAeTarget), 250);
        QTRY_VERIFY_WITH_TIMEOUT(page->Time().Text() != before, 20000);
        if (regulatesGain) {
            // The gain the camera chooses shows as well (a wide tolerance keeps its regulation
            // from undoing this one at once).
            QCOMPARE(Cm().Maker().Fn().NRCamera_Set_AeTarget(0, 250, 255), 0);
            QCOMPARE(Cm().SetAnalogGain(5), 0);
            QTRY_COMPARE_WITH_TIMEOUT(page->Gain().Slider()->value(), 5, 10000);
            QCOMPARE(page->Gain().Text(), QStringLiteral("5"));
        }
        // Default: automatic, target 128.
        page->AutoBox()->click();
        QCOMPARE(CameraInt(&CCameraManager::GetAeState), 0);
        page->DefaultButton()->click();
        QVERIFY(page->AutoBox()->isChecked());
        QCOMPARE(CameraInt(&CCameraManager::GetAeState), 1);
        QCOMPARE(CameraInt(&CCameraManager::GetAeTarget), 128);
        QCOMPARE(page->Target().Text(), QStringLiteral("128"));
    }

    // ---------------------------------------------------------------- white balance

    void moduleWhiteBalanceDefaults() {
        Start("none,mc-b=1");
        QVERIFY(GoLive(KindModule2));
        auto* page = PageOf<CWBDlg>(CCameraPane::PageWhiteBalance);
        QCOMPARE(page->Row(0).Slider()->minimum(), 20);
        QCOMPARE(page->Row(0).Slider()->maximum(), 200);
        QCOMPARE(page->Row(1).Text(), QStringLiteral("1.00"));  // 64 of 64
        page->DefaultsButton()->click();
        QCOMPARE(page->Row(0).Text(), QStringLiteral("1.16"));
        QCOMPARE(page->Row(1).Text(), QStringLiteral("1.00"));
        QCOMPARE(page->Row(2).Text(), QStringLiteral("1.50"));
        int r = 0, g = 0, b = 0;
        QCOMPARE(Cm().GetRgbGains(&r, &g, &b), 0);
        QCOMPARE(QList<int>({r, g, b}), QList<int>({74, 64, 96}));
        QCOMPARE(page->Row(0).Slider()->value(), 74);
        QCOMPARE(page->Row(2).Slider()->value(), 96);
    }

    void oneShotWhiteBalanceArrivesWithoutFreezingTheWindow_data() {
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<int>("kind");
        QTest::newRow("maker") << QByteArray("none,maker=1") << int(KindMaker);
        QTest::newRow("module") << QByteArray("none,mc-d=1") << int(KindModule4);
    }

    void oneShotWhiteBalanceArrivesWithoutFreezingTheWindow() {
        QFETCH(QByteArray, cameras);
        QFETCH(int, kind);
        Start(cameras.constData());
        QVERIFY(GoLive(kind));
        auto* page = PageOf<CWBDlg>(CCameraPane::PageWhiteBalance);
        // A strong cast to undo.
        page->Row(0).Slider()->setValue(150);
        page->Row(2).Slider()->setValue(40);
        int r = 0, g = 0, b = 0;
        Cm().GetRgbGains(&r, &g, &b);
        QCOMPARE(r, 150);
        QCOMPARE(b, 40);
        bool ticked = false;
        QTimer::singleShot(50, [&] { ticked = true; });
        page->WhiteBalanceButton()->click();
        QVERIFY(!page->WhiteBalanceButton()->isEnabled());  // waiting for the result
        // The window goes on while the camera measures; then the gains arrive on this thread.
        QTRY_VERIFY_WITH_TIMEOUT(ticked, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(page->WhiteBalanceButton()->isEnabled(), 20000);
        Cm().GetRgbGains(&r, &g, &b);
        QVERIFY(r != 150 || b != 40);
        QCOMPARE(page->Row(0).Slider()->value(), r);
        QCOMPARE(page->Row(2).Slider()->value(), b);
        const double scale = kind == KindMaker ? 100.0 : 64.0;
        QCOMPARE(page->Row(2).Text(), QString::asprintf("%.2f", b / scale));
    }

    // ---------------------------------------------------------------- colour

    void colourPages_data() {
        QTest::addColumn<QByteArray>("cameras");
        QTest::addColumn<int>("kind");
        QTest::newRow("maker") << QByteArray("none,maker=1") << int(KindMaker);
        QTest::newRow("module") << QByteArray("none,mc-c=1") << int(KindModule3);
    }

    void colourPages() {
        QFETCH(QByteArray, cameras);
        QFETCH(int, kind);
        Start(cameras.constData());
        QVERIFY(GoLive(kind));
        const bool maker = kind == KindMaker;
        auto* page = maker ? static_cast<CColourPage*>(PageOf<CColorAdjustDlg>(CCameraPane::PageColour))
                           : static_cast<CColourPage*>(PageOf<CDTCamColorAdjustDlg>(CCameraPane::PageModuleColour));
        using P = CameraPropertyId;
        struct Expect {
            P id;
            int min, max, defaultValue;
            int (CCameraManager::*get)(int*);
        };
        const QList<Expect> expected =
            maker ? QList<Expect>{{P::Gamma, 1, 255, 100, &CCameraManager::GetGamma},
                                  {P::Contrast, 0, 256, 100, &CCameraManager::GetContrast},
                                  {P::Saturation, 0, 200, 100, &CCameraManager::GetSaturation},
                                  {P::Hue, -180, 180, 0, &CCameraManager::GetHue},
                                  {P::Brightness, -100, 100, 0, &CCameraManager::GetBrightness}}
                  : QList<Expect>{{P::Gamma, 20, 255, 80, &CCameraManager::GetGamma},
                                  {P::Contrast, 20, 255, 30, &CCameraManager::GetContrast},
                                  {P::Saturation, 20, 255, 120, &CCameraManager::GetSaturation}};
        for (const Expect& e : expected) {
            const CSliderRow* row = page->RowOf(e.id);
            QVERIFY(row && row->Slider()->isEnabled());
            QCOMPARE(row->Slider()->minimum(), e.min);
            QCOMPARE(row->Slider()->maximum(), e.max);
            QCOMPARE(row->Slider()->value(), CameraInt(e.get));
            // A move sets the camera.
            row->Slider()->setValue(e.min + 7);
            QCOMPARE(CameraInt(e.get), e.min + 7);
            QCOMPARE(row->Text(), QString::number(e.min + 7));
        }
        page->DefaultButton()->click();
        for (const Expect& e : expected) {
            QCOMPARE(CameraInt(e.get), e.defaultValue);
            QCOMPARE(page->RowOf(e.id)->Slider()->value(), e.defaultValue);
        }
    }

    // ---------------------------------------------------------------- radio pages, flip, sharpness

    void choicesTheCameraOffers() {
        Start("none,mc-a=1,maker=1");
        auto* speed = PageOf<CCamFrameRate>(CCameraPane::PageFrameRate);
        auto* mains = PageOf<CCamPowerFre>(CCameraPane::PagePowerFrequency);
        // A module camera has two speeds and no DC lighting.
        QVERIFY(GoLive(KindModule1));
        QVERIFY(mains->Button(0)->isEnabled() && mains->Button(1)->isEnabled());
        QVERIFY(!mains->Button(2)->isEnabled());
        QVERIFY(!speed->Button(2)->isEnabled());
        QCOMPARE(mains->Checked(), CameraInt(&CCameraManager::GetLightFrequency));
        mains->Button(1)->click();
        QCOMPARE(CameraInt(&CCameraManager::GetLightFrequency), 1);
        speed->Button(1)->click();
        QCOMPARE(CameraInt(&CCameraManager::GetFrameSpeed), 1);
        QCOMPARE(speed->Checked(), 1);
        // A maker camera has all three of each.
        QVERIFY(GoLive(KindMaker));
        for (int i = 0; i < 3; ++i) QVERIFY(mains->Button(i)->isEnabled() && speed->Button(i)->isEnabled());
        QCOMPARE(mains->Checked(), 2);  // DC, the library's default
        speed->Button(2)->click();
        QCOMPARE(CameraInt(&CCameraManager::GetFrameSpeed), 2);
        auto* flip = PageOf<CCamFlipDlg>(CCameraPane::PageFlip);
        flip->Box(true)->click();
        int on = 0;
        Cm().GetFlip(true, &on);
        QCOMPARE(on, 1);
        Cm().GetFlip(false, &on);
        QCOMPARE(on, 0);
    }

    void sharpnessOfAMakerCamera() {
        Start("none,maker=1");
        QVERIFY(GoLive(KindMaker));
        auto* page = PageOf<CSharpnessDlg>(CCameraPane::PageSharpness);
        // Sharpening off: "30" and the slider disabled.
        QVERIFY(!page->EnableBox()->isChecked());
        QCOMPARE(page->Value()->text(), QStringLiteral("30"));
        QVERIFY(!page->Slider()->isEnabled());
        page->EnableBox()->click();
        QVERIFY(page->Slider()->isEnabled());
        int on = 0, level = 0;
        Cm().GetSharpen(&on, &level);
        QCOMPARE(on, 1);
        QCOMPARE(page->Slider()->value(), level);
        page->Slider()->setValue(70);
        Cm().GetSharpen(&on, &level);
        QCOMPARE(level, 70);
        QCOMPARE(page->Value()->text(), QStringLiteral("70"));
    }

    // ---------------------------------------------------------------- UVC pages

    void uvcPages() {
        Start("none");
        QVERIFY(GoLive(KindUvc));
        auto* exposure = PageOf<CUVCAutoExposureDlg>(CCameraPane::PageUvcExposure);
        auto* wb = PageOf<CUVCWBBDlg>(CCameraPane::PageUvcWhiteBalance);
        auto* colour = PageOf<CUVCColorAdjustDlg>(CCameraPane::PageUvcColour);
        ExpandAll();
        QVERIFY(exposure->Gain().Caption()->isVisible());
        // Automatic exposure as the camera starts; unchecking sends the slider's time, manual.
        QVERIFY(exposure->AutoBox()->isChecked());
        QVERIFY(!exposure->Time().Slider()->isEnabled());
        exposure->AutoBox()->click();
        QVERIFY(exposure->Time().Slider()->isEnabled());
        int automatic = -1;
        QCOMPARE(UvcValue(PropExposure, &automatic), double(exposure->Time().Pos()));
        QCOMPARE(automatic, 0);
        exposure->Time().Slider()->setValue(300);
        QCOMPARE(UvcValue(PropExposure), 300.0);
        // AWB on: the temperature waits; off: the slider's temperature goes to the camera.
        QVERIFY(wb->AutoBox()->isChecked());
        QVERIFY(!wb->Temperature().Slider()->isEnabled());
        wb->AutoBox()->click();
        QVERIFY(wb->Temperature().Slider()->isEnabled());
        QCOMPARE(UvcValue(PropWhiteBalance, &automatic), double(wb->Temperature().Pos()));
        QCOMPARE(automatic, 0);
        // Default returns to what the camera had when it opened, not to fixed numbers.
        const double saturation = UvcValue(PropSaturation), brightness = UvcValue(PropBrightness);
        colour->RowOf(CameraPropertyId::Saturation)->Slider()->setValue(80);
        colour->RowOf(CameraPropertyId::Brightness)->Slider()->setValue(-30);
        QCOMPARE(UvcValue(PropSaturation), 80.0);
        colour->DefaultButton()->click();
        QCOMPARE(UvcValue(PropSaturation), saturation);
        QCOMPARE(UvcValue(PropBrightness), brightness);
        QCOMPARE(colour->RowOf(CameraPropertyId::Brightness)->Slider()->value(), int(brightness));
    }

    void uvcCameraWithoutGainShowsNoGainRow() {
        FakeDeviceConfig noGain;
        noGain.missingControls = {V4L2_CID_GAIN};
        Start("none", std::make_shared<CFakeV4l2>(std::vector<FakeDeviceConfig>{noGain}));
        QVERIFY(GoLive(KindUvc));
        ExpandAll();
        auto* exposure = PageOf<CUVCAutoExposureDlg>(CCameraPane::PageUvcExposure);
        QVERIFY(exposure->isVisible());
        QVERIFY(!exposure->Gain().Caption()->isVisible());
        QVERIFY(!exposure->Gain().Slider()->isVisible());
        QVERIFY(!exposure->Gain().Value()->isVisible());
        QVERIFY(exposure->Time().Slider()->isVisible());
    }

    // ---------------------------------------------------------------- keys

    void enterAndEscapeStayWithThePages() {
        Start("none,maker=1");
        QVERIFY(GoLive(KindMaker));
        for (int p = CCameraPane::PageExposure; p < CCameraPane::PageCount; ++p) {
            QWidget* page = m_pane->PageWidget(static_cast<CCameraPane::Page>(p));
            for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QCoreApplication::sendEvent(page, &press);
                // The exposure page passes them on to the window; the others keep them.
                QCOMPARE(press.isAccepted(), p != CCameraPane::PageExposure);
            }
        }
        // Nothing closed.
        for (CTaskGroup* g : m_pane->Groups()) QVERIFY(g->isVisible());
    }

    // ---------------------------------------------------------------- the pane

    void paneMarksTheOpenCameraAndKeepsItsPlace() {
        Start("none,mc-b=2,mc-d=1,maker=1");
        int count = 0;
        Cm().EnumerateDevices(&count);
        m_pane->RefreshCameraList();
        QCOMPARE(m_pane->OpenCameraCommand(), 0);
        QVERIFY(GoLive(KindModule4));
        QCOMPARE(m_pane->OpenCameraCommand(), 30000 + Cm().m_nCurrentDevice);
        // MC-D's stills follow its live size: the Snap list shows that size.
        CCapturePage* capture = m_pane->CapturePage();
        QCOMPARE(capture->SnapList()->count(), capture->LiveList()->count());
        QCOMPARE(capture->SnapList()->currentIndex(), capture->LiveList()->currentIndex());
        QVERIFY(!capture->SnapList()->isEnabled());

        // Scrolled down, the pane stays where it is across switches within a family and between
        // families.
        ExpandAll();
        m_pane->resize(m_pane->width(), 400);
        QScrollBar* bar = m_pane->ScrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 200);
        bar->setValue(200);
        for (int device : {0, 1, 3, 2}) {
            m_host.SwitchTo(device);
            QCOMPARE(Cm().m_nCurrentDevice, device);
            QCOMPARE(m_pane->OpenCameraCommand(), 30000 + device);
            QTest::qWait(50);
            QCOMPARE(bar->value(), 200);
            ExpandAll();
        }
        // Clicking another camera moves the mark with the switch, not with the click.
        for (QToolButton* b : m_pane->TaskButtons()) {
            if (b->property("command").toInt() != 30000) continue;
            b->click();
            QCOMPARE(m_pane->OpenCameraCommand(), 30000 + Cm().m_nCurrentDevice);
        }
    }

    void germanTextsFitThePane_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("maker") << int(KindMaker);
        QTest::newRow("module") << int(KindModule1);
        QTest::newRow("UVC") << int(KindUvc);
    }

    void germanTextsFitThePane() {
        QFETCH(int, kind);
        QVERIFY(OpenLanguageFile(QCoreApplication::applicationDirPath() + QStringLiteral("/strings_de.txt")));
        Start("none,maker=1,mc-a=1");
        QVERIFY(GoLive(kind));
        ExpandAll();
        // At the narrowest the pane allows.
        m_pane->resize(m_pane->minimumSizeHint().width(), 1400);
        QTest::qWait(50);
        const QStringList captions = [&] {
            QStringList out;
            for (CTaskGroup* g : m_pane->Groups()) out << g->Caption();
            return out;
        }();
        QVERIFY(captions.contains(QStringLiteral("Farbanpassung")));
        int checked = 0;
        for (int p = 0; p < CCameraPane::PageCount; ++p) {
            QWidget* page = m_pane->PageWidget(static_cast<CCameraPane::Page>(p));
            if (!page->isVisible()) continue;
            for (QWidget* w : page->findChildren<QWidget*>()) {
                if (!w->isVisible()) continue;
                auto* label = qobject_cast<QLabel*>(w);
                auto* button = qobject_cast<QAbstractButton*>(w);
                if ((!label && !button) || (label && label->wordWrap())) continue;
                const QString text = label ? label->text() : button->text();
                if (text.isEmpty()) continue;
                ++checked;
                QVERIFY2(w->width() >= w->sizeHint().width(),
                         qPrintable(QStringLiteral("\"%1\": %2 of %3").arg(text).arg(w->width()).arg(w->sizeHint().width())));
                // Nor does the pane hide its end behind its edge.
                QWidget* viewport = m_pane->ScrollArea()->viewport();
                const int right = w->mapTo(viewport, QPoint(w->width(), 0)).x();
                QVERIFY2(right <= viewport->width(),
                         qPrintable(QStringLiteral("\"%1\" ends at %2 of %3").arg(text).arg(right).arg(viewport->width())));
            }
        }
        QVERIFY(checked > 10);
    }

    void settingsAreRememberedAndDefaultsRestored() {
        Start("none,mc-a=1");
        QVERIFY(GoLive(KindModule1));
        auto* page = m_pane->ExposurePage();
        page->Gain().Slider()->setValue(9);
        const std::string identity = Cm().OpenIdentity();
        QCOMPARE(QString::fromStdString(m_host.memory->Remembered(identity)["gain"]), QStringLiteral("9"));
        // The pane's defaults, after the user agrees.
        m_prompt.queueYesNo(true);
        m_pane->DefaultsButton()->click();
        QCOMPARE(m_prompt.calls().back().kind, CRecordingPrompt::Kind::YesNo);
        double gain = 0;
        Cm().GetAnalogGain(&gain);
        QCOMPARE(gain, 1.0);
        QCOMPARE(page->Gain().Slider()->value(), 1);
        QVERIFY(m_host.memory->Remembered(identity).empty());
    }
};

QTEST_MAIN(CameraPagesTest)
#include "camera_pages_test.moc"
