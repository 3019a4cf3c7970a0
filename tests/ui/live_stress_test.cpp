// The live picture under churn: for about twenty seconds, with frames flowing, cameras are
// switched, resolutions and zooms changed, full screen entered and left, the preview paused and
// resumed, lines drawn and the live document closed and opened again. Nothing may crash or hang,
// and at the end frames must still reach the window. Also the camera list without any camera.

#include <QComboBox>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "document/prompt.h"
#include "document/view_layout.h"
#include "live_test_host.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "ui/capture_page.h"

class LiveStressTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LiveTestHost m_host;
    CRecordingPrompt m_prompt;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(m_dir.path(), m_dir.path());
        theSettings = CAppSettings{};
        theSettings.save.FilePath = m_dir.path();
        theApp().frame = &m_host;
        theApp().prompt = &m_prompt;
    }

    void cleanupTestCase() {
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
    }

    void noCameraAttached() {
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
        theCameraManager().Startup();
        int count = 0;
        theCameraManager().EnumerateDevices(&count);
        if (count > 0) {
            theCameraManager().Shutdown();
            QSKIP("a real camera is attached");
        }
        {
            CCameraPane pane;
            const QList<CCameraPane::Task> tasks = pane.CameraTasks();
            QCOMPARE(tasks.size(), 2);
            QCOMPARE(tasks[0].text, QStringLiteral("No Camera"));
            QCOMPARE(tasks[0].command, 0);
            QVERIFY(tasks[1].text.isEmpty());
            QVERIFY(pane.TaskButtons().isEmpty());
            // Switching to a camera that is not there does nothing.
            m_host.StartSwitching(m_dir.filePath(QStringLiteral("cameras.ini")), &pane);
            m_host.SwitchTo(0);
            QVERIFY(!g_bLiveDocExists);
            m_host.StopSwitching();
        }
        theCameraManager().Shutdown();
    }

    void churnWhileFramesFlow() {
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1,mc-b=1,mc-d=1,maker=1");
        CCameraManager& cm = theCameraManager();
        cm.Startup();
        int devices = 0;
        cm.EnumerateDevices(&devices);
        QVERIFY(devices >= 4);
        QMdiArea area;
        area.setViewMode(QMdiArea::TabbedView);
        area.resize(1000, 760);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        CCameraPane pane;
        pane.show();
        m_host.area = &area;
        m_host.StartSwitching(m_dir.filePath(QStringLiteral("cameras.ini")), &pane);
        m_host.SwitchTo(0);
        QVERIFY(LiveTestHost::LiveVideo());

        QRandomGenerator rng(20240611);
        QElapsedTimer clock;
        clock.start();
        int actions = 0;
        while (clock.elapsed() < 20000) {
            CScopeDoc* live = CScopeDoc::FindLiveDocument();
            CScopeView* view = LiveTestHost::LiveView();
            switch (rng.bounded(8)) {
                case 0:
                    m_host.SwitchTo(rng.bounded(devices));
                    break;
                case 1: {
                    QComboBox* list = pane.CapturePage()->LiveList();
                    if (list->count() > 0) list->setCurrentIndex(rng.bounded(list->count()));
                    break;
                }
                case 2:
                    if (view) view->ToggleFullScreen();
                    break;
                case 3:
                    if (live) live->OnCommand(live->m_bPlaying ? ID_PAUSE : ID_PREVIEW);
                    break;
                case 4:
                    if (live) live->SelectZoom(rng.bounded(kZoomListCount));
                    break;
                case 5:
                    if (live && rng.bounded(3) == 0) {
                        delete CChildFrame::ForDocument(live);
                    } else if (!live) {
                        m_host.SwitchTo(rng.bounded(devices));
                    }
                    break;
                case 6:
                    if (CVideoWnd* video = LiveTestHost::LiveVideo(); video && live) {
                        live->m_nTool = 1;
                        QTest::mousePress(video, Qt::LeftButton, {}, QPoint(5, 5));
                        QTest::mouseMove(video, QPoint(40, 30));
                        QTest::mouseRelease(video, Qt::LeftButton, {}, QPoint(60, 40));
                        live->m_nTool = 0;
                    }
                    break;
                default:
                    // Frames handed in straight from here too, racing the camera's own.
                    if (CVideoWnd* video = LiveTestHost::LiveVideo()) {
                        FCBitmapInfoHeader hdr{};
                        hdr.biSize = 40;
                        hdr.biWidth = 320;
                        hdr.biHeight = 240;
                        hdr.biPlanes = 1;
                        hdr.biBitCount = 24;
                        std::vector<uint8_t> bytes(static_cast<size_t>(DibStride(320, 24) * 240), 77);
                        video->HandleFrame(bytes.data(), hdr);
                    }
                    break;
            }
            ++actions;
            QTest::qWait(static_cast<int>(rng.bounded(20, 250)));
        }
        qInfo("%d actions", actions);

        // Still alive: leave full screen, make sure a preview runs, and frames keep coming.
        if (!CScopeDoc::FindLiveDocument()) m_host.SwitchTo(0);
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        QVERIFY(live);
        if (CScopeView* view = LiveTestHost::LiveView(); view && view->IsFullScreen()) view->ToggleFullScreen();
        if (!live->m_bPlaying) QVERIFY(live->OnCommand(ID_PREVIEW));
        CVideoWnd* video = LiveTestHost::LiveVideo();
        QVERIFY(video);
        const uint64_t painted = video->FramesPainted();
        QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 2, 30000);

        m_host.CloseAll();
        QVERIFY(!g_bLiveDocExists);
        m_host.area = nullptr;
        m_host.StopSwitching();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
    }
};

QTEST_MAIN(LiveStressTest)
#include "live_stress_test.moc"
