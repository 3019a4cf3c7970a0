// The image views through real widgets: layout at several zooms and client sizes, scrolling,
// painting, every measuring and annotation tool with the mouse at every zoom, the commands a
// view's document offers, printing, the space key, the child frame and the live window on a
// simulated camera.

#include <QMdiArea>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>

#include "camera/camera_manager.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/child_frame.h"
#include "ui/full_screen_wnd.h"
#include "ui/gvl_wnd.h"
#include "ui/scope_view.h"
#include "ui/video_wnd.h"
#include "ui/view_cursors.h"

namespace {

// The main frame's part as far as views need it: status panes, the zoom box, and the layout
// and repaint requests routed to the document's view.
class TestHost : public IScopeDocFrame {
public:
    void SetStatusText(int pane, const QString& text) override { status[pane] = text; }
    void SetZoomSelection(int index) override { zoomSelection = index; }
    void RefreshLayout(CScopeDoc& doc) override {
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->RecalcLayout();
    }
    void Repaint(CScopeDoc& doc) override {
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->RepaintPicture();
    }
    bool RunWindowCommand(CScopeDoc& doc, int id) override {
        if (id != ID_FULL_SCREEN) return false;
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->ToggleFullScreen();
        return true;
    }
    std::map<int, QString> status;
    int zoomSelection = -1;
};

// A still document in a view of an exact client size, as a child frame holds them.
struct StillView {
    std::unique_ptr<CScopeDoc> doc;
    std::unique_ptr<CScopeView> view;
    ~StillView() {
        view.reset();
        if (doc) doc->OnCloseDocument();
    }
    CGVLWnd* wnd() const { return view->OverlayWindow(); }
    CGVLElemMgr& mgr() const { return doc->ElemMgr(); }
};

// Image pixel -> a window pixel that maps back onto it (or as near as the zoom allows).
QPoint ToWindow(QPoint image, float scale) {
    return QPoint(static_cast<int>(std::ceil(image.x() * scale - 1e-4)),
                  static_cast<int>(std::ceil(image.y() * scale - 1e-4)));
}

bool Near(QPoint a, QPoint b, double tol) {
    return std::abs(a.x() - b.x()) <= tol && std::abs(a.y() - b.y()) <= tol;
}

QString Pt(QPoint p) { return QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y()); }

QRgb Rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TestHost m_host;
    CRecordingPrompt m_prompt;

    // A picture file: left half red, right half blue, or all black.
    QString Picture(int w, int h, bool black = false) {
        const QString path = m_dir.filePath(QStringLiteral("pic_%1x%2_%3.bmp").arg(w).arg(h).arg(black));
        if (QFile::exists(path)) return path;
        FCObjImage img;
        img.Allocate(w, h, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = img.PixelPointer(x, y);
                const bool left = x < w / 2;
                p[0] = black ? 0 : left ? 0 : 255;
                p[1] = 0;
                p[2] = black ? 0 : left ? 255 : 0;
            }
        img.SaveToFile(path.toStdString());
        return path;
    }

    std::unique_ptr<StillView> OpenStill(const QString& path, int zoom, QSize client) {
        theSettings.zoom.ZoomCurSel = zoom;
        theApp().m_nNewDocKind = 1;
        auto s = std::make_unique<StillView>();
        s->doc = std::make_unique<CScopeDoc>();
        s->view = std::make_unique<CScopeView>(s->doc.get());
        s->view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        if (!s->doc->OnOpenDocument(path)) return nullptr;
        s->view->OnInitialUpdate();
        s->view->resize(client);
        s->view->show();
        if (!QTest::qWaitForWindowExposed(s->view.get())) return nullptr;
        return s;
    }

    // Press, move through the points, release: window pixels of the overlay window.
    static void Drag(QWidget* w, std::initializer_list<QPoint> path) {
        const QPoint* p = path.begin();
        QTest::mousePress(w, Qt::LeftButton, {}, *p);
        for (++p; p != path.end(); ++p) QTest::mouseMove(w, *p);
        QTest::mouseRelease(w, Qt::LeftButton, {}, *(path.end() - 1));
    }
    static void Click(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseClick(w, b, {}, p); }

    static CGVLShape* Last(CGVLElemMgr& m) { return m.GetElement(m.ElementCount() - 1); }

    static void StartSimulatedCamera() {
        setenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1", 1);
        CCameraManager& cm = theCameraManager();
        cm.Startup();
        int n = 0;
        cm.EnumerateDevices(&n);
        QVERIFY2(n >= 1, "no simulated camera");
        QVERIFY(cm.SelectDevice(0));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(m_dir.path(), m_dir.path());
    }

    void init() {
        theSettings = CAppSettings{};
        theSettings.save.FilePath = m_dir.path();
        theApp().frame = &m_host;
        theApp().prompt = &m_prompt;
        theApp().m_nNewDocKind = 0;
        m_host = TestHost{};
        m_prompt.clearAnswers();
        m_prompt.clearCalls();
    }

    void cleanup() {
        CCameraManager& cm = theCameraManager();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
    }

    // ---------------------------------------------------------------- layout

    void layoutThroughWidgets_data() {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("display");
        QTest::addColumn<float>("scale");
        QTest::addColumn<QPoint>("pos");
        // The overlay origin in picture pixels: the centring offset on each axis where the frame
        // is at least as large as the client, divided by the scale.
        QTest::addColumn<QPoint>("origin");
        QTest::newRow("fit wide") << QSize(2000, 1000) << 10 << QSize(800, 600) << QSize(800, 400) << 0.4f << QPoint(0, 100) << QPoint(0, 250);
        QTest::newRow("fit tall") << QSize(1000, 2000) << 10 << QSize(800, 600) << QSize(300, 600) << 0.3f << QPoint(250, 0) << QPoint(833, 0);
        QTest::newRow("100% scrolls") << QSize(2000, 1000) << 4 << QSize(800, 600) << QSize(2000, 1000) << 1.0f << QPoint(0, 0) << QPoint(0, 0);
        QTest::newRow("100% centred") << QSize(400, 300) << 4 << QSize(800, 600) << QSize(400, 300) << 1.0f << QPoint(200, 150) << QPoint(0, 0);
        QTest::newRow("67%") << QSize(1280, 1024) << 6 << QSize(1000, 800) << QSize(853, 682) << 0.667f << QPoint(73, 59) << QPoint(109, 88);
        QTest::newRow("33%") << QSize(1280, 1024) << 8 << QSize(1000, 800) << QSize(426, 341) << 0.334f << QPoint(287, 229) << QPoint(859, 685);
        QTest::newRow("250% scrolls") << QSize(400, 300) << 0 << QSize(800, 600) << QSize(1000, 750) << 2.5f << QPoint(0, 0) << QPoint(0, 0);
    }
    void layoutThroughWidgets() {
        QFETCH(QSize, frame);
        QFETCH(int, zoom);
        QFETCH(QSize, client);
        QFETCH(QSize, display);
        QFETCH(float, scale);
        QFETCH(QPoint, pos);
        QFETCH(QPoint, origin);
        auto s = OpenStill(Picture(frame.width(), frame.height()), zoom, client);
        QVERIFY(s);
        QCOMPARE(QSize(s->doc->m_nDisplayWidth, s->doc->m_nDisplayHeight), display);
        QCOMPARE(s->mgr().GetZoom(), scale);
        QCOMPARE(s->wnd()->geometry(), QRect(pos, display));
        QCOMPARE(s->mgr().GetOrigin(), origin);
        const bool scrolls = display.width() > client.width();
        QCOMPARE(s->view->horizontalScrollBar()->maximum() > 0, scrolls);
        // The picture is painted at the display size: red on the left, blue on the right.
        const QImage shot = s->wnd()->grab().toImage();
        QCOMPARE(shot.size(), display);
        QCOMPARE(Rgb(shot, 2, 2), qRgb(255, 0, 0) & 0xFFFFFF);
        QCOMPARE(Rgb(shot, display.width() - 3, display.height() - 3), qRgb(0, 0, 255) & 0xFFFFFF);
        // Around a centred picture the view is grey.
        if (pos.x() > 6) {
            const QImage around = s->view->viewport()->grab().toImage();
            QCOMPARE(Rgb(around, 2, client.height() / 2), qRgb(128, 128, 128) & 0xFFFFFF);
            QCOMPARE(Rgb(around, client.width() - 3, client.height() / 2), qRgb(128, 128, 128) & 0xFFFFFF);
        }
    }

    void fittingFollowsTheClientAndTheZoomBox() {
        auto s = OpenStill(Picture(2000, 1000), 10, QSize(800, 600));
        QVERIFY(s);
        s->view->resize(1000, 600);
        QTRY_COMPARE(QSize(s->doc->m_nDisplayWidth, s->doc->m_nDisplayHeight), QSize(1000, 500));
        QCOMPARE(s->mgr().GetZoom(), 0.5f);
        s->view->resize(1000, 400);
        QTRY_COMPARE(QSize(s->doc->m_nDisplayWidth, s->doc->m_nDisplayHeight), QSize(800, 400));
        QCOMPARE(s->wnd()->geometry(), QRect(100, 0, 800, 400));
        // The zoom box's choice lays the view out again and drops the tool.
        s->doc->m_nTool = 2;
        s->doc->SelectZoom(7);
        QCOMPARE(QSize(s->doc->m_nDisplayWidth, s->doc->m_nDisplayHeight), QSize(1000, 500));
        QCOMPARE(s->mgr().GetZoom(), 0.5f);
        QCOMPARE(s->doc->m_nTool, 0);
        QCOMPARE(s->wnd()->grab().toImage().size(), QSize(1000, 500));
    }

    void scrollingMovesTheOverlayOrigin() {
        for (int zoom : {4, 1}) {
            auto s = OpenStill(Picture(2000, 1000), zoom, QSize(800, 600));
            QVERIFY(s);
            const float scale = s->mgr().GetZoom();
            s->view->horizontalScrollBar()->setValue(300);
            s->view->verticalScrollBar()->setValue(200);
            QCOMPARE(s->view->ScrollPosition(), QPoint(300, 200));
            QCOMPARE(s->wnd()->pos(), QPoint(-300, -200));
            QCOMPARE(s->mgr().GetOrigin(), QPoint(static_cast<int>(-300 / scale), static_cast<int>(-200 / scale)));
            // The mouse still lands on the right picture pixel: the window moved, not the picture.
            s->doc->OnCommand(ID_TOOL_LINE);
            const QPoint a(400, 300), b(600, 350);
            const QPoint wa = ToWindow(a, scale), wb = ToWindow(b, scale);
            Drag(s->wnd(), {wa, wa + QPoint(1, 0), wb});
            QCOMPARE(s->mgr().ElementCount(), 2);
            const CGVLShape* line = Last(s->mgr());
            QVERIFY2(Near(*line->GetPoint(0), b, 1), qPrintable(Pt(*line->GetPoint(0))));
            QVERIFY2(Near(*line->GetPoint(1), a, 1), qPrintable(Pt(*line->GetPoint(1))));
            // A new layout scrolls back to the corner.
            s->view->RecalcLayout();
            QCOMPARE(s->view->ScrollPosition(), QPoint(0, 0));
            QCOMPARE(s->wnd()->pos(), QPoint(0, 0));
        }
    }

    void stillWithoutPictureIsGray() {
        theApp().m_nNewDocKind = 1;
        CScopeDoc doc;
        {
            CScopeView view(&doc);
            view.OnInitialUpdate();
            view.resize(400, 300);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QVERIFY(!doc.m_bLive);
            const QImage shot = view.OverlayWindow()->grab().toImage();
            QVERIFY(view.OverlayWindow()->GrayFilled());
            QCOMPARE(Rgb(shot, 5, 5), qRgb(128, 128, 128) & 0xFFFFFF);
            QVERIFY(!view.CanPrint());
        }
        QCOMPARE(theApp().m_nNewDocKind, 0);
    }

    // ---------------------------------------------------------------- the mouse

    void lineImageCoordinatesAtZoom_data() {
        QTest::addColumn<int>("zoom");
        QTest::newRow("50%") << 7;
        QTest::newRow("200%") << 1;
        QTest::newRow("67%") << 6;
    }
    void lineImageCoordinatesAtZoom() {
        QFETCH(int, zoom);
        auto s = OpenStill(Picture(1000, 800), zoom, QSize(900, 700));
        QVERIFY(s);
        QVERIFY(s->doc->OnCommand(ID_TOOL_LINE));
        const float scale = s->mgr().GetZoom();
        const QPoint a(100, 80), b(300, 200);
        Drag(s->wnd(), {ToWindow(a, scale), ToWindow(a, scale) + QPoint(1, 0), ToWindow(b, scale)});
        QCOMPARE(s->mgr().ElementCount(), 2);
        const CGVLShape* line = Last(s->mgr());
        QCOMPARE(line->GetType(), GVLType::kLine);
        QVERIFY2(Near(*line->GetPoint(0), b, 1.0 / scale + 1), qPrintable(Pt(*line->GetPoint(0))));
        QVERIFY2(Near(*line->GetPoint(1), a, 1.0 / scale + 1), qPrintable(Pt(*line->GetPoint(1))));
        // Painted where the picture shows those pixels.
        const QImage shot = s->wnd()->grab().toImage();
        const QPoint mid = ToWindow((a + b) / 2, scale);
        bool drawn = false;
        for (int dy = -2; dy <= 2 && !drawn; ++dy)
            for (int dx = -2; dx <= 2 && !drawn; ++dx) {
                const QRgb c = Rgb(shot, mid.x() + dx, mid.y() + dy);
                drawn = c != (qRgb(255, 0, 0) & 0xFFFFFF) && c != (qRgb(0, 0, 255) & 0xFFFFFF);
            }
        QVERIFY(drawn);
    }

    void everyToolAtEveryZoom() {
        const QString path = Picture(1600, 1200, true);
        for (int zoom = 0; zoom < CScopeDoc::kZoomCount; ++zoom) {
            auto s = OpenStill(path, zoom, QSize(1000, 800));
            QVERIFY(s);
            CGVLElemMgr& m = s->mgr();
            GVLCalibration calib;
            calib.m_unit_dcxPerPixel = calib.m_unit_dcyPerPixel = 1.0;
            m.SetCalibration(calib);
            const float scale = m.GetZoom();
            const double tol = 1.0 / scale + 1.0;
            QWidget* w = s->wnd();
            const auto W = [scale](int x, int y) { return ToWindow(QPoint(x, y), scale); };
            const QString at = QStringLiteral("zoom %1").arg(zoom);
            int expectedCount = 1;
            const auto expectLast = [&](int type) {
                QVERIFY2(Last(m)->GetType() == type && m.ElementCount() == ++expectedCount,
                         qPrintable(at + QStringLiteral(": type %1, wanted %2").arg(Last(m)->GetType()).arg(type)));
            };

            QVERIFY(s->doc->OnCommand(ID_TOOL_SELECT));  // point
            Click(w, W(280, 60));
            expectLast(GVLType::kPoint);
            QVERIFY2(Near(*Last(m)->GetPoint(0), {280, 60}, tol), qPrintable(at));

            QVERIFY(s->doc->OnCommand(ID_TOOL_LINE));
            Drag(w, {W(20, 20), W(20, 20) + QPoint(1, 0), W(200, 20)});
            expectLast(GVLType::kLine);
            QVERIFY2(std::abs(Last(m)->GetLength() - 180.0) <= 2 * tol, qPrintable(at));

            QVERIFY(s->doc->OnCommand(ID_TOOL_ANGLE));
            Click(w, W(260, 120));
            Click(w, W(100, 120));
            Click(w, W(100, 30));
            expectLast(GVLType::kAngle);
            const double angle = static_cast<CGVLAngle*>(Last(m))->GetAngle();
            QVERIFY2(std::abs(angle - 270.0) <= 3.0, qPrintable(at + QStringLiteral(" angle %1").arg(angle)));

            QVERIFY(s->doc->OnCommand(ID_TOOL_RECT));
            Drag(w, {W(40, 140), W(240, 260)});
            expectLast(GVLType::kRect);
            QVERIFY2(std::abs(Last(m)->GetArea() - 200.0 * 120.0) <= 340.0 * 2 * tol, qPrintable(at));

            QVERIFY(s->doc->OnCommand(ID_TOOL_POLYGON));
            Click(w, W(40, 280));
            Click(w, W(240, 280));
            Click(w, W(240, 300), Qt::RightButton);
            expectLast(GVLType::kPolygon);
            QCOMPARE(Last(m)->PointCount(), 3);
            QVERIFY2(std::abs(Last(m)->GetArea() - 2000.0) <= 300.0 * 2 * tol, qPrintable(at));

            QVERIFY(s->doc->OnCommand(ID_TOOL_CIRCLE));
            Drag(w, {W(150, 200), W(150, 200) + QPoint(1, 0), W(190, 200)});
            expectLast(GVLType::kCircle);
            const double r = static_cast<CGVLCircle*>(Last(m))->GetRadius();
            QVERIFY2(std::abs(r - 40.0) <= 2 * tol, qPrintable(at + QStringLiteral(" radius %1").arg(r)));

            QVERIFY(s->doc->OnCommand(ID_TOOL_TRICIRCLE));
            Click(w, W(300, 100));
            Click(w, W(300, 200));
            Click(w, W(200, 200));
            expectLast(GVLType::kCircleT);
            const double rt = static_cast<CGVLCircleT*>(Last(m))->GetRadius();
            QVERIFY2(std::abs(rt - 70.71) <= 2 * tol, qPrintable(at + QStringLiteral(" radius %1").arg(rt)));

            const int counters[] = {ID_TOOL_COUNTING, ID_TOOL_COUNTER_B, ID_TOOL_COUNTER_C, ID_TOOL_COUNTER_D};
            for (int i = 0; i < 4; ++i) {
                QVERIFY(s->doc->OnCommand(counters[i]));
                Click(w, W(30 + 40 * i, 310));
                expectLast(GVLType::kCounterCircle + i);
                QCOMPARE(static_cast<CGVLNo*>(Last(m))->GetNumber(), 1);
            }

            QVERIFY(s->doc->OnCommand(ID_TOOL_ARROW));
            Drag(w, {W(200, 240), W(200, 240) + QPoint(1, 0), W(300, 260)});
            expectLast(GVLType::kArrow);

            m_prompt.queueLines({QStringLiteral("note")});
            QVERIFY(s->doc->OnCommand(ID_TOOL_TEXT));
            Click(w, W(320, 300));
            expectLast(GVLType::kText);
            QCOMPARE(static_cast<CGVLAnoText*>(Last(m))->GetLines(), QStringList{QStringLiteral("note")});
            QCOMPARE(m.ElementCount(), 14);

            // Move the point by its handle.
            CGVLShape* point = m.GetElement(1);
            QVERIFY(s->doc->OnCommand(ID_TOOL_MOVE));
            const QPoint from = W(point->GetPoint(0)->x(), point->GetPoint(0)->y());
            Drag(w, {from, from + QPoint(2, 0), W(280, 100)});
            QVERIFY2(Near(*point->GetPoint(0), {280, 100}, tol), qPrintable(at + Pt(*point->GetPoint(0))));

            // Delete the first counter.
            QVERIFY(s->doc->OnCommand(ID_TOOL_DELETE));
            Click(w, W(30, 310));
            QCOMPARE(m.ElementCount(), 13);
            for (int i = 0; i < m.ElementCount(); ++i) QVERIFY(m.GetElement(i)->GetType() != GVLType::kCounterCircle);

            QVERIFY(s->doc->OnCommand(ID_TOOL_DELETE_ALL));
            QCOMPARE(m.ElementCount(), 1);
        }
    }

    void crossRulerCsvAndSaveOnAStill() {
        theSettings.measure.m_nXStart = 100;
        theSettings.measure.m_nXEnd = 300;
        theSettings.measure.m_nYStart = 100;
        theSettings.measure.m_nYEnd = 300;
        for (int zoom : {7, 1}) {
            auto s = OpenStill(Picture(1000, 800, true), zoom, QSize(900, 700));
            QVERIFY(s);
            CGVLElemMgr& m = s->mgr();
            const float scale = m.GetZoom();
            QWidget* w = s->wnd();

            // Cross lines through the middle of the shown picture.
            QVERIFY(s->doc->OnCommand(ID_CROSS_SOLID));
            const QImage crossed = w->grab().toImage();
            const int cx = s->doc->m_nDisplayWidth / 2;
            QVERIFY(Rgb(crossed, cx, 2) != 0);
            QVERIFY(s->doc->OnCommand(ID_CROSS_SOLID));
            QCOMPARE(Rgb(w->grab().toImage(), cx, 2), 0u);

            // Calibration: the ruler's horizontal arm dragged from 200 to 300 pixels.
            QSignalSpy ruler(s->view.get(), &CScopeView::rulerChanged);
            QVERIFY(s->doc->OnCommand(ID_CALIBRATION));
            QVERIFY(m.IsRulerShown());
            GVLCalibration c = m.GetCalibration();
            c.m_unit_dcxReal = 30.0;
            m.SetCalibration(c);
            const QPoint end = ToWindow({300, 100}, scale);
            Drag(w, {end, end + QPoint(1, 0), ToWindow({400, 100}, scale)});
            QVERIFY(ruler.count() > 0);
            const double xpp = m.GetCalibration().m_unit_dcxPerPixel;
            QVERIFY2(std::abs(xpp - 0.1) < 0.002, qPrintable(QString::number(xpp)));

            // A measurement, exported as CSV through the prompt.
            QVERIFY(s->doc->OnCommand(ID_TOOL_RECT));
            Drag(w, {ToWindow({500, 400}, scale), ToWindow({700, 600}, scale)});
            QCOMPARE(m.ElementCount(), 2);
            const QString csv = m_dir.filePath(QStringLiteral("table%1.csv").arg(zoom));
            m_prompt.queueSaveFile(csv);
            QVERIFY(s->doc->OnCommand(ID_EXPORT_DATA));
            QFile table(csv);
            QVERIFY(table.open(QIODevice::ReadOnly));
            QCOMPARE(table.readAll(), m.CsvTable(SystemLanguageId()));
            QVERIFY(m.CsvTable(SystemLanguageId()).contains("Rect area"));

            // Save: the picture with the measurement burned in.
            theSettings.save.bMeasure = 1;
            m_prompt.clearCalls();
            QVERIFY(s->doc->OnCommand(ID_FILE_SAVE));
            QVERIFY(!m_prompt.calls().empty());
            const QString said = m_prompt.calls().back().text;
            const QString saved = said.mid(said.indexOf(QStringLiteral("  ")) + 2);
            FCObjImage back;
            QVERIFY2(back.LoadFromFile(saved.toStdString()), qPrintable(said));
            QCOMPARE(back.Width(), 1000);
            QCOMPARE(back.Height(), 800);
            const uint8_t* edge = back.PixelPointer(600, 400);  // on the rectangle's top edge
            QVERIFY(edge[0] || edge[1] || edge[2]);
        }
    }

    void processingShowsAtOnce() {
        // The shown picture is cached between repaints; a processed picture must replace it.
        auto s = OpenStill(Picture(400, 300), 7, QSize(600, 400));
        QVERIFY(s);
        QCOMPARE(Rgb(s->wnd()->grab().toImage(), 5, 5), qRgb(255, 0, 0) & 0xFFFFFF);
        QVERIFY(s->doc->OnCommand(ID_PROCESS_ENABLE));
        QVERIFY(s->doc->OnCommand(ID_NEGATIVE));
        QCOMPARE(Rgb(s->wnd()->grab().toImage(), 5, 5), qRgb(0, 255, 255) & 0xFFFFFF);
        QVERIFY(s->doc->OnCommand(ID_NEGATIVE));
        QCOMPARE(Rgb(s->wnd()->grab().toImage(), 5, 5), qRgb(255, 0, 0) & 0xFFFFFF);
    }

    void cursorsFollowTheTool() {
        auto s = OpenStill(Picture(400, 300), 4, QSize(600, 400));
        QVERIFY(s);
        const struct {
            int tool;
            Qt::CursorShape shape;
            const QCursor* cursor;
        } cases[] = {{9, Qt::BitmapCursor, &ViewCursor(ViewCursorKind::Move)},
                     {2, Qt::BitmapCursor, &ViewCursor(ViewCursorKind::Draw)},
                     {8, Qt::BitmapCursor, &ViewCursor(ViewCursorKind::Draw)},
                     {202, Qt::ArrowCursor, nullptr},
                     {0, Qt::ArrowCursor, nullptr}};
        int x = 50;
        for (const auto& c : cases) {
            s->doc->m_nTool = c.tool;
            QTest::mouseMove(s->wnd(), QPoint(x += 3, 50));
            QCOMPARE(s->wnd()->cursor().shape(), c.shape);
            if (c.cursor)
                QCOMPARE(s->wnd()->cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                         c.cursor->pixmap().toImage().convertToFormat(QImage::Format_ARGB32));
        }
        QVERIFY(ViewCursor(ViewCursorKind::Move).pixmap().toImage() != ViewCursor(ViewCursorKind::Draw).pixmap().toImage());
        QCOMPARE(ViewCursor(ViewCursorKind::Pen).hotSpot(), QPoint(1, 30));
    }

    // ---------------------------------------------------------------- commands, printing, keys

    void stillCommandsPrintingAndTheSpaceKey() {
        auto s = OpenStill(Picture(400, 300), 4, QSize(600, 400));
        QVERIFY(s);
        QVERIFY(!s->doc->IsCommandEnabled(ID_FULL_SCREEN));
        QVERIFY(!s->doc->IsCommandEnabled(ID_CAPTURE));
        QVERIFY(s->doc->IsCommandEnabled(ID_TOOL_LINE));
        QVERIFY(s->doc->IsCommandEnabled(ID_MIX));
        QVERIFY(s->view->CanPrint());
        // The full-screen command of a still picture does nothing.
        s->view->ToggleFullScreen();
        QVERIFY(!s->view->IsFullScreen());

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = m_dir.filePath(QStringLiteral("page.pdf"));
        printer.setOutputFileName(pdf);
        QVERIFY(s->view->Print(printer));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        QVERIFY(bytes.size() > 1000);

        // Space is taken by the view, wherever it is sent; other keys pass.
        QSignalSpy take(s->view.get(), &CScopeView::takeFrameRequested);
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QVERIFY(QCoreApplication::sendEvent(s->wnd(), &space));
        QCOMPARE(take.count(), 1);
        QTest::keyClick(s->view.get(), Qt::Key_Space);
        QCOMPARE(take.count(), 2);
        QTest::keyClick(s->wnd(), Qt::Key_A);
        QCOMPARE(take.count(), 2);
    }

    // A picture larger than the page is printed whole, scaled down to fit; the page is read
    // back by poppler, an independent reader.
    void printFitsThePage() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdftoppm is missing: run scripts/setup.sh");
        auto s = OpenStill(Picture(1280, 960), 4, QSize(600, 400));
        QVERIFY(s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Portrait);
        const QString pdf = m_dir.filePath(QStringLiteral("a4.pdf"));
        printer.setOutputFileName(pdf);
        QVERIFY(s->view->Print(printer));
        QProcess ppm;
        ppm.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                   QStringLiteral("-singlefile"), pdf, m_dir.filePath(QStringLiteral("a4"))});
        QVERIFY(ppm.waitForFinished(60000));
        QCOMPARE(ppm.exitCode(), 0);
        const QImage page(m_dir.filePath(QStringLiteral("a4.png")));
        QVERIFY(!page.isNull());
        // The red left half and the blue right half, both whole: equally wide, 4:3 together.
        QRect red, blue;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60) red |= QRect(x, y, 1, 1);
                if (c.blue() > 200 && c.green() < 60 && c.red() < 60) blue |= QRect(x, y, 1, 1);
            }
        QVERIFY(!red.isEmpty() && !blue.isEmpty());
        QVERIFY2(std::abs(red.width() - blue.width()) <= 2,
                 qPrintable(QStringLiteral("%1 %2").arg(red.width()).arg(blue.width())));
        const QRect whole = red | blue;
        QVERIFY(std::abs(whole.width() * 3 - whole.height() * 4) <= 12);
        QVERIFY(page.rect().contains(whole));
        // Scaled to the printable width, not smaller than it must be.
        QVERIFY(whole.width() > page.width() * 8 / 10);
    }

    void childFrameOwnsItsDocument() {
        QMdiArea area;
        area.setViewMode(QMdiArea::TabbedView);
        area.resize(900, 700);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        theSettings.zoom.ZoomCurSel = 7;
        CChildFrame* frame = CChildFrame::Create(Picture(640, 480));
        QVERIFY(frame);
        CScopeDoc* doc = frame->Document();
        QCOMPARE(CChildFrame::ForDocument(doc), frame);
        QCOMPARE(CScopeView::ForDocument(doc), frame->View());
        QVERIFY(!doc->m_bLive);
        QCOMPARE(theApp().m_nNewDocKind, 1);  // the open step asks for a still next
        QCOMPARE(frame->windowTitle(), QStringLiteral("pic_640x480_0.bmp"));
        QSignalSpy activated(frame, &CChildFrame::activated);
        area.addSubWindow(frame);
        frame->show();
        area.setActiveSubWindow(frame);
        QTRY_VERIFY(activated.count() >= 1);
        QCOMPARE(activated.first().first().toInt(), 7);
        QCOMPARE(m_host.zoomSelection, 7);
        QVERIFY(frame->IconSet());
        QCOMPARE(theApp().m_nNewDocKind, 0);
        QVERIFY(frame->isMaximized());
        QCOMPARE(frame->systemMenu(), nullptr);
        QCOMPARE(QSize(doc->m_nDisplayWidth, doc->m_nDisplayHeight), QSize(320, 240));

        // Closing destroys the document.
        QPointer<CChildFrame> guard(frame);
        QVERIFY(frame->close());
        QTRY_VERIFY(guard.isNull());
        const auto& docs = CScopeDoc::AllDocuments();
        QVERIFY(std::find(docs.begin(), docs.end(), doc) == docs.end());
        QCOMPARE(CScopeView::ForDocument(doc), nullptr);

        // A still document with nothing to show (no live document, no request) is refused.
        const size_t before = CScopeDoc::AllDocuments().size();
        theApp().m_nNewDocKind = 1;
        QCOMPARE(CChildFrame::Create(), nullptr);
        QCOMPARE(CScopeDoc::AllDocuments().size(), before);

        // A file that cannot be read leaves nothing behind either.
        QFile bad(m_dir.filePath(QStringLiteral("bad.bmp")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        QCOMPARE(CChildFrame::Create(bad.fileName()), nullptr);
        QCOMPARE(CScopeDoc::AllDocuments().size(), before);
    }

    // ---------------------------------------------------------------- live

    void liveWindowShowsFramesAndRates() {
        StartSimulatedCamera();
        theSettings.zoom.ZoomCurSel = 7;
        QMdiArea area;
        area.setViewMode(QMdiArea::TabbedView);
        area.resize(900, 700);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        CChildFrame* frame = CChildFrame::Create();
        QVERIFY(frame);
        area.addSubWindow(frame);
        frame->show();
        CScopeDoc* doc = frame->Document();
        CScopeView* view = frame->View();
        QVERIFY(doc->m_bLive);
        QVERIFY(g_bLiveDocExists);
        QVERIFY(view->VideoWindow());
        QVERIFY(!view->OverlayWindow());
        CVideoWnd* video = view->VideoWindow();
        int w = 0, h = 0;
        theCameraManager().GetPreviewSize(&w, &h);
        QCOMPARE(doc->m_nFrameWidth, w);
        QCOMPARE(video->size(), QSize(w / 2, h / 2));

        // Frames arrive on the camera's thread and are painted here.
        QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() >= 3, 20000);
        QCOMPARE(doc->m_imageLive.Width(), w);
        const QImage shot = video->grab().toImage();
        bool varied = false;
        for (int x = 0; x < shot.width() && !varied; x += 7) varied = shot.pixel(x, shot.height() / 2) != shot.pixel(0, 0);
        QVERIFY(varied);
        QTRY_VERIFY_WITH_TIMEOUT(m_host.status[2].startsWith(QStringLiteral("Capture:")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_host.status[3].startsWith(QStringLiteral("Display:")), 10000);
        QVERIFY(QRegularExpression(QStringLiteral("^Display:\\d+\\.\\d\\d$")).match(m_host.status[3]).hasMatch());

        // The mouse reaches the overlay on the live picture too.
        QVERIFY(doc->OnCommand(ID_TOOL_LINE));
        Drag(video, {QPoint(20, 20), QPoint(21, 20), QPoint(120, 70)});
        QCOMPARE(doc->ElemMgr().ElementCount(), 2);
        QCOMPARE(*Last(doc->ElemMgr())->GetPoint(0), QPoint(240, 140));

        QVERIFY(doc->IsCommandEnabled(ID_FULL_SCREEN));
        QVERIFY(!view->CanPrint());
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_dir.filePath(QStringLiteral("live.pdf")));
        QVERIFY(!view->Print(printer));

        // Full screen: the picture letterboxed on the full-screen window, the overlay scaled.
        QVERIFY(doc->OnCommand(ID_FULL_SCREEN));
        CFullScreenWnd* fs = view->FullScreenWindow();
        QVERIFY(fs && fs->isVisible());
        QVERIFY(view->IsFullScreen());
        QCOMPARE(fs->geometry(), view->screen()->geometry());
        const QRect letterbox = FullScreenRect(QSize(w, h), fs->size());
        QTRY_COMPARE(doc->ElemMgr().GetZoom(), static_cast<float>(letterbox.width()) / static_cast<float>(w));
        QTest::keyClick(fs, Qt::Key_Escape);
        QVERIFY(!fs->isVisible());
        QVERIFY(!view->IsFullScreen());
        video->update();
        QTRY_COMPARE(doc->ElemMgr().GetZoom(), 0.5f);

        // Paused: the command is disabled and the toggle does nothing; a full screen entered
        // before the pause can still be left.
        QVERIFY(doc->OnCommand(ID_FULL_SCREEN));
        QVERIFY(view->IsFullScreen());
        QVERIFY(doc->OnCommand(ID_PAUSE));
        QVERIFY(!doc->IsCommandEnabled(ID_FULL_SCREEN));
        QTest::keyClick(fs, Qt::Key_Escape);
        QVERIFY(!view->IsFullScreen());
        view->ToggleFullScreen();
        QVERIFY(!view->IsFullScreen());
        // The paused picture is the still the pause captured.
        QVERIFY(doc->m_image.IsValid());
        doc->m_nTool = 9;
        QTest::mouseMove(video, QPoint(60, 60));
        QCOMPARE(video->cursor().shape(), Qt::BitmapCursor);

        // Closing the live window closes the camera and clears the panes.
        QPointer<CChildFrame> guard(frame);
        frame->close();
        QTRY_VERIFY(guard.isNull());
        QVERIFY(!g_bLiveDocExists);
        QCOMPARE(m_host.status[1], QStringLiteral(" "));
        QCOMPARE(m_host.status[3], QStringLiteral(" "));
    }

    void liveBufferFollowsTheFrameSize() {
        // Frames handed straight to the window: a new size or depth reallocates, else reused.
        StartSimulatedCamera();
        CChildFrame* frame = CChildFrame::Create();
        QVERIFY(frame);
        std::unique_ptr<CChildFrame> owner(frame);
        CVideoWnd* video = frame->View()->VideoWindow();
        QVERIFY(video);
        theCameraManager().Stop();
        CScopeDoc* doc = frame->Document();
        const auto frameOf = [](int w, int h, int bits, uint8_t value) {
            FCBitmapInfoHeader hdr;
            hdr.biSize = 40;
            hdr.biWidth = w;
            hdr.biHeight = h;
            hdr.biPlanes = 1;
            hdr.biBitCount = static_cast<uint16_t>(bits);
            std::vector<uint8_t> bytes(static_cast<size_t>(DibStride(w, bits) * h), value);
            return std::pair{hdr, bytes};
        };
        auto [h1, b1] = frameOf(33, 17, 24, 10);  // rows padded to 4 bytes
        QVERIFY(video->HandleFrame(b1.data(), h1));
        QCOMPARE(doc->m_imageLive.Width(), 33);
        const uint8_t* block = doc->m_imageLive.GetMemStart();
        auto [h2, b2] = frameOf(33, 17, 24, 20);
        QVERIFY(video->HandleFrame(b2.data(), h2));
        QCOMPARE(doc->m_imageLive.GetMemStart(), block);
        QCOMPARE(doc->m_imageLive.PixelPointer(32, 16)[2], uint8_t(20));
        auto [h3, b3] = frameOf(64, 48, 32, 30);
        QVERIFY(video->HandleFrame(b3.data(), h3));
        QCOMPARE(doc->m_imageLive.Width(), 64);
        QCOMPARE(doc->m_imageLive.ColorBits(), 32);
        // Dropped while the live display is off, and for a header that describes no picture.
        g_bLiveDisplay = false;
        QVERIFY(!video->HandleFrame(b1.data(), h1));
        g_bLiveDisplay = true;
        FCBitmapInfoHeader bad = h1;
        bad.biBitCount = 7;
        QVERIFY(!video->HandleFrame(b1.data(), bad));
        QCOMPARE(CVideoWnd::OnFrame(0, b1.data(), &h1, nullptr), 0);
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
