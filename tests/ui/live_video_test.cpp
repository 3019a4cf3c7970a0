// The live picture: the frame path on its own (buffers, scaling, processing, recording, the
// newest-only hand-off, the full-screen letterbox), the live window on simulated cameras (zoom,
// full screen, pause), the camera pane and its capture page, the live document's life, a camera
// vanishing while it streams, and the displayed frame rate against the camera's.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "camera/module_loader.h"
#include "document/live_frame_path.h"
#include "document/prompt.h"
#include "document/view_layout.h"
#include "live_test_host.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "camera/stage_control.h"
#include "ui/capture_page.h"
#include "ui/stage_widget.h"
#include "ui/full_screen_wnd.h"

namespace {

FCBitmapInfoHeader HeaderOf(int w, int h, int bits) {
    FCBitmapInfoHeader hdr{};
    hdr.biSize = 40;
    hdr.biWidth = w;
    hdr.biHeight = h;
    hdr.biPlanes = 1;
    hdr.biBitCount = static_cast<uint16_t>(bits);
    return hdr;
}

// A DIB frame whose pixel (x, y from the top) is B = x, G = y, R = seed.
std::vector<uint8_t> Pattern(int w, int h, int bits, uint8_t seed) {
    const int64_t stride = DibStride(w, bits);
    std::vector<uint8_t> bytes(static_cast<size_t>(stride * h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = bytes.data() + (h - 1 - y) * stride + x * (bits / 8);
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = seed;
        }
    return bytes;
}

}  // namespace

class LiveVideoTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LiveTestHost m_host;
    CRecordingPrompt m_prompt;
    std::unique_ptr<QMdiArea> m_area;
    std::unique_ptr<CCameraPane> m_pane;

    // Simulated cameras attached, the manager started, the pane built, the area shown.
    void Start(const char* cameras) {
        qputenv("NORVANESCOPE_SIM_CAMERAS", cameras);
        theCameraManager().Startup();
        m_area = std::make_unique<QMdiArea>();
        m_area->setViewMode(QMdiArea::TabbedView);
        m_area->resize(1000, 760);
        m_area->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_area.get()));
        m_pane = std::make_unique<CCameraPane>();
        m_pane->resize(260, 700);
        m_pane->show();
        m_host.area = m_area.get();
        m_host.pane = m_pane.get();
    }

    // The live document on device i, with frames painted.
    CVideoWnd* GoLive(int device) { return m_host.GoLive(device); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(m_dir.path(), m_dir.path());
        // Two emulated UVC cameras for the whole run (read once, at the library's first use).
        qputenv("NORVANESCOPE_FAKE_V4L2", "2");
    }

    void init() {
        theSettings = CAppSettings{};
        theSettings.save.FilePath = m_dir.path();
        theApp().frame = &m_host;
        theApp().prompt = &m_prompt;
        theApp().m_nNewDocKind = 0;
        m_host.status.clear();
        m_host.recordRequests = 0;
        g_bLiveDisplay = true;
    }

    void cleanup() {
        m_host.CloseAll();
        m_host.pane = nullptr;
        m_pane.reset();
        m_area.reset();
        CCameraManager& cm = theCameraManager();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
        QVERIFY(!g_bLiveDocExists);
    }

    // ---------------------------------------------------------------- frame path

    void fullScreenLetterbox_data() {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("drawn");
        QTest::newRow("640x480 on 1280x1024") << QSize(640, 480) << QSize(1280, 1024) << QRect(0, 32, 1280, 960);
        QTest::newRow("1280x1024 on 1920x1080") << QSize(1280, 1024) << QSize(1920, 1080) << QRect(285, 0, 1350, 1080);
        QTest::newRow("same aspect") << QSize(800, 600) << QSize(1600, 1200) << QRect(0, 0, 1600, 1200);
    }

    void fullScreenLetterbox() {
        QFETCH(QSize, frame);
        QFETCH(QSize, screen);
        QFETCH(QRect, drawn);
        CLiveFramePath path;
        CGVLElemMgr mgr;
        FCObjImage live;
        const auto bytes = Pattern(frame.width(), frame.height(), 24, 9);
        CLiveFramePath::Target target{QSize(frame.width() / 2, frame.height() / 2), true, screen};
        QCOMPARE(path.Process(bytes.data(), HeaderOf(frame.width(), frame.height(), 24), live, {}, target, &mgr),
                 CLiveFramePath::Rendered);
        QImage picture;
        QRect where;
        QVERIFY(path.TakeNewest(picture, where));
        QCOMPARE(where, drawn);
        QCOMPARE(picture.size(), drawn.size());
        QCOMPARE(mgr.GetZoom(), static_cast<float>(drawn.width()) / static_cast<float>(frame.width()));
        // Back in the window: the display scale again, at the display size.
        target.fullScreen = false;
        QCOMPARE(path.Process(bytes.data(), HeaderOf(frame.width(), frame.height(), 24), live, {}, target, &mgr),
                 CLiveFramePath::Rendered);
        QVERIFY(path.TakeNewest(picture, where));
        QCOMPARE(where, QRect(QPoint(0, 0), target.display));
        QCOMPARE(mgr.GetZoom(), 0.5f);
    }

    void framePathBuffersPixelsAndHandOff() {
        CLiveFramePath path;
        FCObjImage live;
        CLiveFramePath::Target target{QSize(33, 17), false, {}};
        std::vector<int> recorded;
        path.SetRecordHook([&](uint8_t* bits, int w, int h, int bitCount) {
            // The processed frame: top-left pixel's blue byte.
            const int64_t stride = DibStride(w, bitCount);
            recorded.push_back(bits[(h - 1) * stride]);
        });
        for (int bits : {24, 32}) {
            const auto a = Pattern(33, 17, bits, 40);  // rows of 24-bit frames are padded
            QCOMPARE(path.Process(a.data(), HeaderOf(33, 17, bits), live, {}, target, nullptr), CLiveFramePath::Rendered);
            const uint8_t* block = live.GetMemStart();
            const uint64_t allocations = path.LiveAllocations();
            const uint64_t surfaces = path.SurfaceAllocations();
            QCOMPARE(path.Process(a.data(), HeaderOf(33, 17, bits), live, {}, target, nullptr), CLiveFramePath::Rendered);
            QCOMPARE(live.GetMemStart(), block);
            QCOMPARE(path.LiveAllocations(), allocations);
            QImage picture;
            QRect where;
            QVERIFY(path.TakeNewest(picture, where));
            QVERIFY(!path.TakeNewest(picture, where));  // only the newest, once
            QCOMPARE(picture.format(), QImage::Format_RGB32);
            // Top row first, B/G/R where they belong, opaque.
            QCOMPARE(picture.pixel(0, 0), qRgb(40, 0, 0));
            QCOMPARE(picture.pixel(32, 16), qRgb(40, 16, 32));
            QCOMPARE(path.SurfaceAllocations(), surfaces + (bits == 24 ? 1 : 0));

            // Processing follows the switches: negative only with Enable.
            ProcessFlags flags;
            flags.bNegative = true;
            recorded.clear();
            path.Process(a.data(), HeaderOf(33, 17, bits), live, flags, target, nullptr);
            flags.bProcessEnable = true;
            path.Process(a.data(), HeaderOf(33, 17, bits), live, flags, target, nullptr);
            QCOMPARE(recorded, (std::vector<int>{0, 255}));
            QVERIFY(path.TakeNewest(picture, where));
            QCOMPARE(picture.pixel(0, 0), qRgb(215, 255, 255));
        }
        // Halving the display: every second pixel; a new size reallocates the surfaces once.
        const auto big = Pattern(64, 48, 24, 7);
        target.display = QSize(32, 24);
        const uint64_t surfaces = path.SurfaceAllocations();
        QCOMPARE(path.Process(big.data(), HeaderOf(64, 48, 24), live, {}, target, nullptr), CLiveFramePath::Rendered);
        QCOMPARE(live.Width(), 64);
        QImage picture;
        QRect where;
        QVERIFY(path.TakeNewest(picture, where));
        QCOMPARE(picture.size(), QSize(32, 24));
        QCOMPARE(picture.pixel(5, 7), qRgb(7, 14, 10));
        // Three pictures rotate: after the first round no more allocations at this size.
        for (int i = 0; i < 6; ++i) {
            path.Process(big.data(), HeaderOf(64, 48, 24), live, {}, target, nullptr);
            if (i % 2) path.TakeNewest(picture, where);
        }
        QVERIFY(path.SurfaceAllocations() <= surfaces + 3);
        // Bad headers and a missing display size.
        QCOMPARE(path.Process(big.data(), HeaderOf(64, 48, 8), live, {}, target, nullptr), CLiveFramePath::Dropped);
        QCOMPARE(path.Process(big.data(), HeaderOf(0, 48, 24), live, {}, target, nullptr), CLiveFramePath::Dropped);
        target.display = QSize();
        QCOMPARE(path.Process(big.data(), HeaderOf(64, 48, 24), live, {}, target, nullptr), CLiveFramePath::Buffered);
    }

    // ---------------------------------------------------------------- live window

    void liveWindowZoomFullScreenAndPause() {
        Start("none,mc-a=1");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        CScopeDoc* doc = CScopeDoc::FindLiveDocument();
        CScopeView* view = LiveTestHost::LiveView();
        QVERIFY(doc && view);
        // Every zoom: the next pictures come at the new display size, the overlay at its scale.
        for (int zoom : {kZoom100Index, 7, kZoomFitIndex, 2}) {
            doc->SelectZoom(zoom);
            const QSize display(doc->m_nDisplayWidth, doc->m_nDisplayHeight);
            QCOMPARE(video->DisplaySize(), display);
            QTRY_VERIFY_WITH_TIMEOUT(video->ShownRect() == QRect(QPoint(0, 0), display), 20000);
            QCOMPARE(doc->ElemMgr().GetZoom(), view->Layout().scale);
        }
        // A line drawn on the live picture is in the next frames.
        doc->SelectZoom(kZoom100Index);
        QVERIFY(doc->OnCommand(ID_TOOL_LINE));
        QTest::mousePress(video, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(video, QPoint(11, 10));
        QTest::mouseMove(video, QPoint(200, 10));
        QTest::mouseRelease(video, Qt::LeftButton, {}, QPoint(200, 10));
        QCOMPARE(doc->ElemMgr().ElementCount(), 2);

        // Full screen by double click: letterboxed on the screen, the overlay at its scale.
        QTest::mouseDClick(video, Qt::LeftButton, {}, QPoint(50, 50));
        QVERIFY(view->IsFullScreen());
        CFullScreenWnd* fs = view->FullScreenWindow();
        const QRect box = FullScreenRect(QSize(doc->m_nFrameWidth, doc->m_nFrameHeight), fs->size());
        QTRY_VERIFY_WITH_TIMEOUT(video->ShownRect() == box, 20000);
        QCOMPARE(doc->ElemMgr().GetZoom(), static_cast<float>(box.width()) / static_cast<float>(doc->m_nFrameWidth));
        const QImage screen = fs->grab().toImage();
        if (box.top() > 0) QCOMPARE(screen.pixel(box.center().x(), box.top() - 1), qRgb(0, 0, 0));
        QVERIFY(screen.pixel(box.center()) != qRgb(0, 0, 0) || screen.pixel(box.center() + QPoint(9, 9)) != qRgb(0, 0, 0));
        QTest::keyClick(fs, Qt::Key_Escape);
        QVERIFY(!view->IsFullScreen());
        QTRY_VERIFY_WITH_TIMEOUT(video->ShownRect() == QRect(QPoint(0, 0), video->DisplaySize()), 20000);

        // Paused: frames are not drawn over the still; the paint shows the still.
        QVERIFY(doc->OnCommand(ID_PAUSE));
        QVERIFY(doc->m_image.IsValid());
        const auto frame = Pattern(64, 48, 24, 1);
        QVERIFY(!video->HandleFrame(frame.data(), HeaderOf(64, 48, 24)));
        const QImage still = video->grab().toImage();
        QVERIFY(!still.isNull());
        QVERIFY(doc->OnCommand(ID_PREVIEW));
        const uint64_t painted = video->FramesPainted();
        QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 2, 20000);
    }

    // ---------------------------------------------------------------- camera pane

    void cameraPaneListsAndLayouts() {
        Start("none,mc-a=1,maker=1");
        int count = 0;
        theCameraManager().EnumerateDevices(&count);
        QVERIFY(count >= 4);
        // Every device framed by empty tasks, commands 30000 + i.
        const QList<CCameraPane::Task> tasks = m_pane->CameraTasks();
        QCOMPARE(tasks.size(), 2 * count + 1);
        for (int i = 0; i < count; ++i) {
            QVERIFY(tasks[2 * i].text.isEmpty());
            QCOMPARE(tasks[2 * i + 1].command, 30000 + i);
            QVERIFY(!tasks[2 * i + 1].text.isEmpty());
        }
        QCOMPARE(m_pane->CameraListGroup()->Caption(), QStringLiteral("Camera List"));
        // Nothing open: the capture page is disabled.
        QVERIFY(!m_pane->CapturePage()->SnapButton()->isEnabled());

        struct Case {
            int kind;
            int layout;
            QStringList groups;
            QList<bool> open;
        };
        const QList<Case> cases = {
            {KindUvc, 2, {"Capture and resolution", "Exposure Control", "White Balance", "Color Adjust"}, {true, true, true, false}},
            {KindMaker, 0, {"Capture and resolution", "Exposure Control", "Sharpness", "White Balance", "Color Adjust", "Flip", "Power Frequency", "Frame Rate"},
             {true, true, true, true, false, false, false, false}},
            {KindModule1, 1, {"Capture and resolution", "Exposure Control", "White Balance", "Color Adjust", "Flip", "Power Frequency", "Frame Rate"},
             {true, true, true, false, false, false, false}},
        };
        QSignalSpy clicked(m_pane.get(), &CCameraPane::commandRequested);
        for (const Case& c : cases) {
            const int device = LiveTestHost::DeviceOfKind(c.kind);
            QVERIFY2(device >= 0, qPrintable(QStringLiteral("no camera of kind %1").arg(c.kind)));
            // Through the task button, as the main frame receives it.
            QToolButton* button = nullptr;
            for (QToolButton* b : m_pane->TaskButtons())
                if (b->property("command").toInt() == 30000 + device) button = b;
            QVERIFY(button);
            button->click();
            QCOMPARE(clicked.last().at(0).toInt(), 30000 + device);
            theCameraManager().SwitchCamera(clicked.last().at(0).toInt() - 30000, m_host);
            QCOMPARE(theCameraManager().m_currentCamera.kind, c.kind);
            QCOMPARE(m_pane->CurrentLayout(), c.layout);
            QCOMPARE(theSettings.cameraPane.mControlUIType, c.layout);
            QStringList captions;
            QList<bool> open;
            for (CTaskGroup* g : m_pane->Groups()) {
                captions << g->Caption();
                open << g->IsExpanded();
            }
            QCOMPARE(captions, c.groups);
            QCOMPARE(open, c.open);
            CCapturePage* page = m_pane->CapturePage();
            QVERIFY(page->SnapButton()->isEnabled());
            QVERIFY(page->LiveList()->isEnabled());
            QVERIFY(!page->SnapList()->isEnabled());
            int resolutions = 0;
            theCameraManager().GetResolutionCount(&resolutions);
            QCOMPARE(page->LiveList()->count(), resolutions);
            // Frames of the new camera reach the window.
            CVideoWnd* video = LiveTestHost::LiveVideo();
            QVERIFY(video);
            const uint64_t painted = video->FramesPainted();
            QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 1, 30000);
        }
        // A new pane starts in the layout kept last.
        CCameraPane second;
        QCOMPARE(second.CurrentLayout(), 1);
    }

    void capturePageResolutionSnapRecord() {
        Start("none,mc-a=1");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CCapturePage* page = m_pane->CapturePage();
        QVERIFY(page->LiveList()->count() >= 3);
        // Stills start at the size the camera shows (a module's remembered still index is 0).
        {
            int liveIndex = -1, stillIndex = -1;
            theCameraManager().GetResolutionIndex(&liveIndex);
            theCameraManager().GetStillResolutionIndex(&stillIndex);
            QCOMPARE(liveIndex, 2);
            QCOMPARE(stillIndex, liveIndex);
            QCOMPARE(page->SnapList()->currentIndex(), liveIndex);
        }
        // Away from the current entry first, so that each choice is a change.
        const int first = page->LiveList()->currentIndex() == 0 ? 1 : 0;
        for (int sel : {first, 2}) {
            page->LiveList()->setCurrentIndex(sel);
            int w = 0, h = 0, still = -1;
            theCameraManager().GetResolutionSize(sel, &w, &h);
            theCameraManager().GetStillResolutionIndex(&still);
            QCOMPARE(still, sel);
            QCOMPARE(page->SnapList()->currentIndex(), sel);
            QCOMPARE(m_host.status[1], QStringLiteral("%1 x %2").arg(w).arg(h));
            QCOMPARE(live->m_nFrameWidth, w);
            QCOMPARE(live->m_nFrameHeight, h);
            // The frames come at the new size and are shown at the new display size.
            QTRY_VERIFY_WITH_TIMEOUT(live->m_imageLive.Width() == w && live->m_imageLive.Height() == h, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(video->ShownRect().size() == QSize(live->m_nDisplayWidth, live->m_nDisplayHeight), 30000);
        }
        // Snap: a still document of the camera; Record: the live document's recording.
        const size_t docs = CScopeDoc::AllDocuments().size();
        QTest::mouseClick(page->SnapButton(), Qt::LeftButton);
        QCOMPARE(CScopeDoc::AllDocuments().size(), docs + 1);
        CScopeDoc* snapped = CScopeDoc::AllDocuments().back();
        QVERIFY(!snapped->m_bLive);
        QVERIFY(snapped->m_image.IsValid());
        QTest::mouseClick(page->RecordButton(), Qt::LeftButton);
        QCOMPARE(m_host.recordRequests, 1);
    }

    void liveDocumentLife() {
        Start("none,mc-a=2");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        QVERIFY(g_bLiveDocExists);
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        // New Preview makes no second live document: the next new document is a capture.
        QVERIFY(!CScopeDoc::FindLiveDocument()->IsCommandEnabled(ID_PREVIEW));
        CScopeDoc* second = m_host.NewDocument();
        QVERIFY(second && !second->m_bLive);
        QCOMPARE(CScopeDoc::FindLiveDocument(), live);

        // Rates in panes 2 and 3.
        QTRY_VERIFY_WITH_TIMEOUT(m_host.status[2].startsWith(QStringLiteral("Capture:")), 10000);
        QVERIFY(QRegularExpression(QStringLiteral("^Display:\\d+\\.\\d\\d$")).match(m_host.status[3]).hasMatch());

        // Switching to the second camera keeps the live document and its window (in front
        // again: the capture's tab covers it).
        m_area->setActiveSubWindow(CChildFrame::ForDocument(live));
        theCameraManager().SwitchCamera(1, m_host);
        QCOMPARE(theCameraManager().m_nCurrentDevice, 1);
        QCOMPARE(CScopeDoc::FindLiveDocument(), live);
        const uint64_t painted = video->FramesPainted();
        QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 1, 30000);

        // Closing the live document: pages reset, panes cleared; then a new preview starts.
        CChildFrame* frame = CChildFrame::ForDocument(live);
        QPointer<CChildFrame> guard(frame);
        frame->close();
        QTRY_VERIFY(guard.isNull());
        QVERIFY(!g_bLiveDocExists);
        QVERIFY(!m_pane->CapturePage()->LiveList()->isEnabled());
        QCOMPARE(m_pane->CapturePage()->LiveList()->count(), 0);
        QCOMPARE(m_host.status[1], QStringLiteral(" "));
        QCOMPARE(m_host.status[2], QStringLiteral(" "));
        QVERIFY(GoLive(0));
        QVERIFY(m_pane->CapturePage()->LiveList()->isEnabled());
    }

    // ---------------------------------------------------------------- rates

    void displayRateFollowsCaptureRate() {
        Start("none,mc-a=1");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        CCapturePage* page = m_pane->CapturePage();
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        live->SelectZoom(kZoomFitIndex);
        for (int sel = 0; sel < page->LiveList()->count(); ++sel) {
            page->LiveList()->setCurrentIndex(sel);
            int w = 0, h = 0;
            theCameraManager().GetResolutionSize(sel, &w, &h);
            QTRY_VERIFY_WITH_TIMEOUT(live->m_imageLive.Width() == w, 30000);
            QTest::qWait(3500);
            const float capture = theCameraManager().GetCaptureFrameRate();
            const float display = video->DisplayFrameRate();
            qInfo("%dx%d: capture %.2f, display %.2f", w, h, capture, display);
            QVERIFY(capture > 0.0f);
            // Frames are shown as fast as they come; a loaded machine may show fewer.
            QVERIFY2(display >= 0.5f * capture, qPrintable(QStringLiteral("%1x%2: %3 of %4").arg(w).arg(h).arg(display).arg(capture)));
            if (std::fabs(display - capture) > 0.15f * capture)
                qWarning("%dx%d: display %.2f differs from capture %.2f (loaded machine?)", w, h, display, capture);
        }
    }

    // Last: the simulated camera stays gone for the rest of the run.
    // ---------------------------------------------------------------- the stage

    // A right-button drag carries the specimen with the pointer: the stage moves by the dragged
    // distance; a right click without a drag still reaches the overlay; the arrow keys move the
    // field of view; the pane's button takes the stage to the micrometer, whose 10 um divisions
    // then stand in the picture at the stage's true scale.
    void stageFollowsTheHandAndReachesTheMicrometer() {
        Start("none,mc-a=1");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        std::unique_ptr<IStageControl> stage = OpenCameraStage(theCameraManager());
        QVERIFY(stage);
        QVERIFY(stage->SetDrift(false));
        const StagePosition start = *stage->Position();
        auto send = [video](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
            QMouseEvent e(type, at, video->mapToGlobal(at), Qt::RightButton, held, Qt::NoModifier);
            QCoreApplication::sendEvent(video, &e);
        };
        send(QEvent::MouseButtonPress, {200, 200}, Qt::RightButton);
        for (int i = 1; i <= 10; ++i) send(QEvent::MouseMove, {200 + 12 * i, 200 + 5 * i}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {320, 250}, Qt::NoButton);
        const StagePosition dragged = *stage->Position();
        // (120, 50) window pixels at the display's zoom.
        const double zx = double(live->m_nFrameWidth) / video->DisplaySize().width();
        const double zy = double(live->m_nFrameHeight) / video->DisplaySize().height();
        QVERIFY(std::abs(dragged.at.x - (start.at.x - 120 * zx * start.micronsPerPixelX)) < 1e-6);
        QVERIFY(std::abs(dragged.at.y - (start.at.y - 50 * zy * start.micronsPerPixelY)) < 1e-6);

        // A click closes the polygon being drawn, and leaves the stage alone.
        live->SetTool(5);
        CGVLElemMgr& mgr = live->ElemMgr();
        for (QPoint p : {QPoint(100, 100), QPoint(300, 100), QPoint(300, 260)}) {
            mgr.OnLButtonDown(1, 5, p);
            mgr.OnLButtonUp(0, 5, p);
        }
        send(QEvent::MouseButtonPress, {150, 240}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {150, 240}, Qt::NoButton);
        auto* polygon = dynamic_cast<CGVLPolygon*>(mgr.GetElement(mgr.ElementCount() - 1));
        QVERIFY(polygon && polygon->IsClosed());
        QCOMPARE(stage->Position()->at, dragged.at);

        // Right arrow: the field of view goes right, for as long as the key is held.
        CScopeView* view = LiveTestHost::LiveView();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &press);
        QTRY_VERIFY_WITH_TIMEOUT(stage->Position()->at.x > dragged.at.x + 1, 10000);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &release);
        const StagePoint stopped = stage->Position()->at;
        QTest::qWait(200);
        QCOMPARE(stage->Position()->at, stopped);
        QCOMPARE(stopped.y, dragged.at.y);

        // The pane's Stage group takes it to the micrometer.
        CStageWidget pane;
        pane.Refresh();
        QVERIFY(pane.isEnabled());
        QTest::mouseClick(pane.MicrometerButton(), Qt::LeftButton);
        QCOMPARE(stage->Position()->at, StageMicrometerPlace());
        QVERIFY(pane.PositionLabel()->text().contains(QStringLiteral("µm")));
        // A still there shows the ruled lines every 10 um: 10 / (um per pixel) pixels apart.
        FCObjImage still;
        QVERIFY(live->CaptureFrame(still));
        const double pitch = 10.0 / start.micronsPerPixelX * still.Width() / live->m_nFrameWidth;
        // A row 10 um below the field centre crosses every division line (20 um tall at least).
        const int row = still.Height() / 2 + static_cast<int>(10.0 / start.micronsPerPixelY);
        std::vector<int> grey(still.Width());
        for (int x = 0; x < still.Width(); ++x) {
            const uint8_t* p = still.PixelPointer(x, row);
            grey[x] = p[0] + p[1] + p[2];
        }
        const auto [lo, hi] = std::minmax_element(grey.begin(), grey.end());
        QVERIFY(*hi - *lo > 150);
        // Lines of a micrometre are thinner than a pixel may hold: well below the glass is a line.
        const int threshold = *hi - (*hi - *lo) / 4;
        std::vector<int> starts;
        for (int x = 1; x < still.Width(); ++x)
            if (grey[x] < threshold && grey[x - 1] >= threshold) starts.push_back(x);
        QVERIFY2(starts.size() > 20, qPrintable(QString::number(starts.size())));
        std::vector<double> gaps;
        for (size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        QVERIFY2(std::abs(gaps[gaps.size() / 2] - pitch) <= 1.0,
                 qPrintable(QStringLiteral("%1 %2").arg(gaps[gaps.size() / 2]).arg(pitch)));
    }

    void cameraVanishingWhileStreaming() {
        Start("none,mc-a=1,mc-b=1");
        CVideoWnd* video = GoLive(0);
        QVERIFY(video);
        ModuleState& module = theModules().State(theCameraManager().m_currentCamera.kind);
        QVERIFY(module.CameraSimSetFaults);
        // The camera goes while frames flow; the notice comes on another thread.
        QCOMPARE(module.CameraSimSetFaults(0, -1, 1), 0);
        std::thread notifier([pane = m_pane.get()] { CCameraPane::OnDeviceEvent(kDeviceRemoval, -1, pane); });
        notifier.join();
        int count = 0;
        theCameraManager().EnumerateDevices(&count);
        QTRY_VERIFY_WITH_TIMEOUT(m_pane->CameraTasks().size() == 2 * count + 1, 10000);
        QTest::qWait(500);
        // Still running: the window, the document and the list are there; a switch to the other
        // camera brings frames again.
        QVERIFY(CScopeDoc::FindLiveDocument());
        QVERIFY(!m_pane->CameraTasks().isEmpty());
        const int other = LiveTestHost::DeviceOfKind(KindModule2);
        QVERIFY(other >= 0);
        theCameraManager().SwitchCamera(other, m_host);
        const uint64_t painted = video->FramesPainted();
        QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 1, 30000);
        // Codes other than arrival and removal, and dead panes, are ignored.
        CCameraPane::OnDeviceEvent(7, 0, m_pane.get());
        CCameraPane::OnDeviceEvent(kDeviceArrival, 0, reinterpret_cast<CCameraPane*>(&count));
    }
};

QTEST_MAIN(LiveVideoTest)
#include "live_video_test.moc"
