// The element manager: routing, identities, CSV export, drawing and burn-in pixels, and drawing
// on another thread while the overlay is edited.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <set>

#include "image/obj_image.h"
#include "overlay/overlay_painter.h"
#include "overlay_fixture.h"
#include "test_support.h"

namespace {

TEST_F(OverlayTest, ManagerStartsWithTheRulerAndNeverLosesIt) {
    ASSERT_EQ(Count(), 1);
    CGVLShape* ruler = mgr.GetElement(0);
    EXPECT_EQ(ruler->GetType(), GVLType::kRuler);
    EXPECT_EQ(mgr.CreateElement(CGVLElemMgr::kCreateRuler), ruler);  // no second ruler
    mgr.DeleteElement(ruler->GetID());
    ruler->Remove();
    mgr.DeleteAll();
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(mgr.GetElement(0), ruler);
    for (int bad : {-1, 7, 9, 11, 15, 17, 100}) EXPECT_EQ(mgr.CreateElement(bad), nullptr) << bad;
    EXPECT_EQ(Count(), 1);
}

TEST_F(OverlayTest, IdentitiesAreUniqueEvenWithinOneMillisecond) {
    for (int i = 0; i < 50; ++i) mgr.CreateElement(1);
    std::set<uint32_t> ids;
    for (int i = 0; i < Count(); ++i) ids.insert(mgr.GetElement(i)->GetID());
    EXPECT_EQ(static_cast<int>(ids.size()), Count());
    // So removing one element removes that one and no other.
    const uint32_t id = mgr.GetElement(20)->GetID();
    mgr.GetElement(20)->Remove();
    EXPECT_EQ(mgr.FindElement(id), -1);
    EXPECT_EQ(Count(), 50);
    mgr.DeleteElement(123456);  // unknown: ignored
    EXPECT_EQ(Count(), 50);
}

TEST_F(OverlayTest, OneDeletePressRemovesEverythingUnderIt) {
    Drag(GVLTool::kLine, {{0, 50}, {0, 50}, {200, 50}});
    Drag(GVLTool::kRect, {{50, 20}, {150, 100}});
    Click(GVLTool::kPoint, {300, 300});
    ASSERT_EQ(Count(), 4);
    Click(GVLTool::kDelete, {100, 50});
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Last()->GetType(), GVLType::kPoint);
}

TEST_F(OverlayTest, MovePressStopsAtTheTopmostElement) {
    Drag(GVLTool::kRect, {{0, 0}, {100, 100}});
    Drag(GVLTool::kRect, {{20, 20}, {80, 80}});
    Drag(GVLTool::kMove, {{50, 50}, {60, 50}});
    EXPECT_EQ(*mgr.GetElement(1)->GetPoint(0), QPoint(0, 0));
    EXPECT_EQ(*mgr.GetElement(2)->GetPoint(0), QPoint(30, 20));
}

TEST_F(OverlayTest, OriginIsKeptInImagePixels) {
    mgr.SetZoom(2.0f);
    Click(GVLTool::kPoint, {10, 10});
    mgr.SetOrigin({200, 101});
    EXPECT_EQ(mgr.GetOrigin(), QPoint(100, 50));
    EXPECT_TRUE(Last()->IsOrigin({100, 50}));
    Click(GVLTool::kPoint, {20, 20});
    EXPECT_TRUE(Last()->IsOrigin({100, 50}));
}

TEST_F(OverlayTest, TextElementDeletedWhileItsDialogIsOpenIsNotTouched) {
    // A prompt whose answer arrives after the element is gone (another event deleted it).
    class DeletingPrompt : public CRecordingPrompt {
    public:
        CGVLElemMgr* mgr = nullptr;
        std::optional<QStringList> askLines(const QString&, const QString&) override {
            mgr->DeleteAll();
            return QStringList{"late"};
        }
    } late;
    late.mgr = &mgr;
    mgr.SetPrompt(&late);
    Click(GVLTool::kText, {10, 10});
    EXPECT_EQ(Count(), 1);
}

TEST_F(OverlayTest, InvalidatedAreasAreInWindowPixels) {
    mgr.SetZoom(2.0f);
    auto box = [](int l, int t, int r, int b) { return QRect(QPoint(l, t), QPoint(r - 1, b - 1)); };
    auto* line = mgr.CreateElement(1);
    line->AddPoint(100, 100);
    line->AddPoint(200, 150);
    auto* point = mgr.CreateElement(0);
    point->AddPoint(50, 40);
    auto* label = mgr.CreateElement(CGVLElemMgr::kCreateCounter);
    label->AddPoint(50, 40);
    const struct {
        CGVLShape* element;
        QRect area;
    } cases[] = {
        {line, box(200 - 50, 200 - 50, 400 + 250, 300 + 50)},
        {point, box(100 - 20, 80 - 30, 100 + 100, 80 + 20)},
        {label, box(100 - 140, 80 - 40, 100 + 40, 80 + 40)},
        {mgr.GetElement(0), box(100 - 5, 100 - 5, 200 + 100, 200 + 50)},  // the ruler
    };
    for (const auto& c : cases) {
        wnd.rects.clear();
        c.element->InvalidateArea();
        ASSERT_EQ(wnd.rects.size(), 1u);
        EXPECT_EQ(wnd.rects[0], c.area) << c.element->GetType();
    }
    // Removal repaints the covered area without erasing the background first.
    wnd.rects.clear();
    wnd.erases.clear();
    line->Remove();
    ASSERT_EQ(wnd.rects.size(), 1u);
    EXPECT_EQ(wnd.rects[0], box(200 - 100, 200 - 30, 400 + 100, 300 + 30));
    EXPECT_FALSE(wnd.erases[0]);
}

// ---------------------------------------------------------------- CSV

class CsvTest : public OverlayTest {
protected:
    // A line of 25 mm, then a point, arrow, text and counter that are not exported, then a
    // circle of radius 2.5 and area 19.63.
    void Build() {
        SetPerPixel(0.25, 0.25, 1);
        Drag(GVLTool::kLine, {{0, 0}, {0, 0}, {60, 80}});
        Click(GVLTool::kPoint, {300, 300});
        Drag(GVLTool::kArrow, {{400, 400}, {400, 400}, {300, 350}});
        prompt.queueLines({"note"});
        Click(GVLTool::kText, {10, 300});
        Click(GVLTool::kCounterCircle, {500, 100});
        Drag(GVLTool::kCircle, {{200, 200}, {206, 208}});  // radius 10
        ASSERT_EQ(Count(), 7);
    }
};

TEST_F(CsvTest, RowsAndSeparatorsByLanguage) {
    Build();
    const std::string comma =
        "No.,Type,Result,Unit\n1,Line distance,25.00, mm\n2,Circle radius,2.50, mm\n2,Circle "
        "area,19.63, mm2\n";
    std::string semi = comma;
    std::replace(semi.begin(), semi.end(), ',', ';');
    for (int id : {1033, 2052, 1041, 0}) EXPECT_EQ(mgr.CsvTable(id).toStdString(), comma) << id;
    for (int id : {1031, 2055, 3079, 4103, 5127, 1036, 2060, 3084, 4108, 5132})
        EXPECT_EQ(mgr.CsvTable(id).toStdString(), semi) << id;
}

TEST_F(CsvTest, EveryMeasurementTypeWithThePrecisionAsDecimals) {
    SetPerPixel(1, 1, 0);
    mgr.SetPrecision(3);
    Click(GVLTool::kAngle, {200, 100});
    Click(GVLTool::kAngle, {100, 100});
    Click(GVLTool::kAngle, {100, 0});
    Drag(GVLTool::kRect, {{0, 0}, {30, 20}});
    Click(GVLTool::kPolygon, {0, 0});
    Click(GVLTool::kPolygon, {10, 0});
    RDown(GVLTool::kPolygon, {10, 10});
    Click(GVLTool::kCircleT, {0, 0});
    Click(GVLTool::kCircleT, {10, 0});
    Click(GVLTool::kCircleT, {0, 10});
    EXPECT_EQ(mgr.CsvTable(1033).toStdString(),
              "No.,Type,Result,Unit\n"
              "1,Angle,270.000,degree\n"
              "2,Rect area,600.000, um2\n"
              "3,Ploygon area,50.000, um2\n"
              "4,Tri-circle radius,7.000, um\n"
              "4,Tri-circle area,153.938, um2\n");
    mgr.SetPrecision(0);
    EXPECT_EQ(mgr.CsvTable(1033).toStdString(), "No.,Type,Result,Unit\n");
}

TEST_F(CsvTest, ExportAsksForAFileAndWritesTheTable) {
    TempDir dir;
    Build();
    prompt.queueSaveFile(QString::fromStdString(dir.file("table")));
    ASSERT_TRUE(mgr.ExportCsv(1033));
    ASSERT_EQ(prompt.calls().size(), 2u);  // the text, then the file
    const CRecordingPrompt::Call& ask = prompt.calls()[1];
    EXPECT_EQ(ask.kind, CRecordingPrompt::Kind::SaveFile);
    EXPECT_TRUE(QRegularExpression("^\\d{14}$").match(ask.text).hasMatch())
        << ask.text.toStdString();
    const std::vector<uint8_t> bytes = ReadFileBytes(dir.file("table.csv"));  // default extension
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), mgr.CsvTable(1033).toStdString());
}

TEST_F(CsvTest, NothingToExportAsksNothing) {
    EXPECT_TRUE(mgr.ExportCsv(1033));
    EXPECT_TRUE(prompt.calls().empty());
}

TEST_F(CsvTest, CancelWritesNothingAndAnUnwritableFileIsReported) {
    TempDir dir;
    Build();
    prompt.clearCalls();
    prompt.queueSaveFileCancel();
    EXPECT_TRUE(mgr.ExportCsv(1033));
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).isEmpty());

    prompt.queueSaveFile(QString::fromStdString(dir.file("missing/folder/x.csv")));
    EXPECT_FALSE(mgr.ExportCsv(1033));
    ASSERT_EQ(prompt.calls().size(), 3u);
    EXPECT_EQ(prompt.calls()[2].kind, CRecordingPrompt::Kind::Message);
    EXPECT_EQ(prompt.calls()[2].caption, "Error");
}

// ---------------------------------------------------------------- drawing

constexpr QRgb kGreen = 0x00FF00, kBlue = 0x0000FF, kMagenta = 0xFF00FF, kGray = 0x808080;

TEST_F(OverlayTest, CrossLinesLeaveThreePixelsFreeAroundTheCentre) {
    for (bool solid : {true, false}) {
        mgr.SetCross(solid, !solid);
        const QImage img = Render(640, 480);
        EXPECT_EQ(PixelAt(img, 320, 240), kGreen);
        EXPECT_EQ(PixelAt(img, 320, 236), kGreen);
        EXPECT_EQ(PixelAt(img, 320, 244), kGreen);
        EXPECT_EQ(PixelAt(img, 316, 240), kGreen);
        EXPECT_EQ(PixelAt(img, 324, 240), kGreen);
        for (int d = 1; d <= 3; ++d) {
            EXPECT_EQ(PixelAt(img, 320, 240 - d), 0u) << d;
            EXPECT_EQ(PixelAt(img, 320, 240 + d), 0u) << d;
            EXPECT_EQ(PixelAt(img, 320 - d, 240), 0u) << d;
            EXPECT_EQ(PixelAt(img, 320 + d, 240), 0u) << d;
        }
        int drawn = 0;
        for (int y = 0; y < 480; ++y) drawn += PixelAt(img, 320, y) != 0;
        // Lines leave their last pixel out, so the top row stays free as well.
        EXPECT_EQ(PixelAt(img, 320, 0), 0u);
        if (solid) {
            EXPECT_EQ(drawn, 480 - 7);
        } else {  // the opaque background shows gray in the gaps
            int green = 0;
            for (int y = 0; y < 480; ++y) green += PixelAt(img, 320, y) == kGreen;
            EXPECT_LT(green, 400);
            EXPECT_GT(green, 150);
        }
    }
    mgr.SetCross(false, false);
    const QImage none = Render(640, 480);
    EXPECT_EQ(PixelAt(none, 320, 240), 0u);
}

TEST_F(OverlayTest, PointMarkerAndTextScaleWithTheZoom) {
    mgr.SetDisplay(GVLDisplay{4, 3, 6, 4});  // adjust magenta
    mgr.SetZoom(2.0f);
    mgr.SetFontSize(1);
    mgr.SetFontBackground(1);
    Click(GVLTool::kPoint, {100, 80});  // image (50, 40)
    QImage img = Render();
    EXPECT_EQ(PixelAt(img, 94, 80), kMagenta);
    EXPECT_EQ(PixelAt(img, 106, 80), kMagenta);
    EXPECT_EQ(PixelAt(img, 93, 80), 0u);
    EXPECT_EQ(PixelAt(img, 107, 80), 0u);
    EXPECT_EQ(PixelAt(img, 100, 74), kMagenta);
    EXPECT_EQ(PixelAt(img, 100, 86), kMagenta);
    EXPECT_EQ(PixelAt(img, 100, 87), 0u);
    EXPECT_EQ(PixelAt(img, 100, 80), kBlue);  // the small inner cross
    // The text "(50, 40)" in a 20-pixel cell with its top-left corner at window (100, 60).
    mgr.SetFontBackground(0);
    img = Render();
    EXPECT_EQ(PixelAt(img, 100, 60), kGray);
    EXPECT_EQ(PixelAt(img, 99, 60), 0u);
    EXPECT_EQ(PixelAt(img, 100, 59), 0u);
    EXPECT_EQ(PixelAt(img, 106, 80), kMagenta);  // below the cell
}

TEST_F(OverlayTest, HandleIsCentredOnTheZoomedPoint) {
    mgr.SetDisplay(GVLDisplay{4, 3, 6, 4});
    mgr.SetZoom(1.5f);
    auto* line = mgr.CreateElement(1);
    line->AddPoint(150, 100);
    line->AddPoint(150, 300);
    line->SetSelected(true);
    const QImage img = Render();
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 130; y < 170; ++y)
        for (int x = 205; x < 245; ++x)
            if (PixelAt(img, x, y) == kMagenta) {
                sx += x;
                sy += y;
                ++n;
            }
    ASSERT_GT(n, 10);
    // The box (220, 145)-(230, 155) with exclusive right and bottom edges.
    EXPECT_NEAR(sx / n, 224.5, 0.5);
    EXPECT_NEAR(sy / n, 149.5, 0.5);
}

TEST_F(OverlayTest, ResultTextLandsAtItsLabelPosition) {
    for (float zoom : {1.0f, 2.0f}) {
        mgr.DeleteAll();
        mgr.SetZoom(zoom);
        auto* line = mgr.CreateElement(1);
        line->AddPoint(100, 100);
        line->AddPoint(200, 150);
        const QImage img = Render(800, 600);
        const int x = static_cast<int>(160 * zoom), y = static_cast<int>(105 * zoom);
        EXPECT_EQ(PixelAt(img, x, y), kGray) << zoom;
        EXPECT_EQ(PixelAt(img, x - 1, y), 0u) << zoom;
        EXPECT_EQ(PixelAt(img, x, y - 1), 0u) << zoom;
    }
    mgr.SetFontBackground(1);  // transparent: no gray box
    const QImage clear = Render(800, 600);
    int gray = 0;
    for (int yy = 0; yy < 600; ++yy)
        for (int xx = 0; xx < 800; ++xx) gray += PixelAt(clear, xx, yy) == kGray;
    EXPECT_EQ(gray, 0);
}

TEST_F(OverlayTest, TextLinesAndPolygonTextFollowTheFontSize) {
    mgr.SetFontSize(2);
    prompt.queueLines({"ab", "cde"});
    Click(GVLTool::kText, {100, 100});
    QImage img = Render();
    // Line boxes of 28 pixels with 5 between: the second starts 33 below the first.
    EXPECT_EQ(PixelAt(img, 100, 100), kGray);
    EXPECT_EQ(PixelAt(img, 100, 132), 0u);
    EXPECT_EQ(PixelAt(img, 100, 133), kGray);

    mgr.DeleteAll();
    mgr.SetFontSize(3);
    Click(GVLTool::kPolygon, {200, 200});
    Click(GVLTool::kPolygon, {300, 200});
    RDown(GVLTool::kPolygon, {300, 300});
    img = Render();
    EXPECT_EQ(PixelAt(img, 200, 160), kGray);  // 3 * 10 + 10 above the first vertex
    EXPECT_EQ(PixelAt(img, 200, 159), 0u);
}

TEST_F(OverlayTest, FontSizesOutsideOneToThreeDrawLikeOne) {
    prompt.queueLines({"Sample 123"});
    Click(GVLTool::kText, {50, 50});
    auto render = [&](int size) {
        mgr.SetFontSize(size);
        return Render(400, 200);
    };
    const QImage one = render(1);
    EXPECT_EQ(render(0), one);
    EXPECT_EQ(render(4), one);
    EXPECT_NE(render(2), one);
    // Cell height 20 for size 1.
    EXPECT_EQ(PixelAt(one, 50, 69), kGray);
    EXPECT_EQ(PixelAt(one, 50, 70), 0u);
}

TEST_F(OverlayTest, PrecisionOutsideOneToFiveDrawsNoText) {
    auto* line = mgr.CreateElement(1);
    line->AddPoint(100, 100);
    line->AddPoint(300, 100);
    mgr.SetPrecision(6);
    const QImage img = Render();
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const QRgb c = PixelAt(img, x, y);
            ASSERT_TRUE(c == 0 || c == kGreen) << x << "," << y;
        }
}

// ---------------------------------------------------------------- burn-in

class BurnInTest : public OverlayTest {
protected:
    // The burn-in merged into a picture filled with one colour, as saving does.
    FCObjImage Burn(int w, int h, const GVLBurnInOptions& opt, uint8_t fill = 255) {
        std::vector<uint8_t> buffer(GVLBurnInBytes(w, h), 0xAB);
        EXPECT_TRUE(mgr.BurnIn(buffer.data(), w, h, opt));
        FCObjImage pic;
        EXPECT_TRUE(pic.Allocate(w, h, 24));
        std::memset(pic.GetMemStart(), fill, pic.PixelBytes());
        EXPECT_TRUE(GVLMergeBurnIn(pic, buffer.data()));
        return pic;
    }
    static QRgb At(const FCObjImage& pic, int x, int y) {
        const uint8_t* p = pic.GetRow(y) + 3 * x;
        return qRgb(p[2], p[1], p[0]);
    }
};

TEST_F(BurnInTest, ColourIndexZeroSurvivesTheMerge) {
    mgr.SetDisplay(GVLDisplay{0, 0, 0, 0});
    mgr.SetFontBackground(1);
    mgr.SetFontSize(1);  // the text above the line ends in the row above it
    auto* line = mgr.CreateElement(1);
    line->AddPoint(10, 20);
    line->AddPoint(90, 20);
    GVLBurnInOptions opt;
    opt.measurements = true;
    const FCObjImage pic = Burn(200, 100, opt);
    EXPECT_EQ(At(pic, 10, 20), qRgb(1, 1, 1));
    EXPECT_EQ(At(pic, 89, 20), qRgb(1, 1, 1));
    EXPECT_EQ(At(pic, 90, 20), qRgb(255, 255, 255));  // the last pixel of a line is left out
    EXPECT_EQ(At(pic, 10, 21), qRgb(255, 255, 255));
}

TEST_F(BurnInTest, PartsAreChosenAndTheWindowZoomIsIgnored) {
    mgr.SetZoom(2.0f);
    mgr.SetCross(true, false);
    mgr.SetFontBackground(1);
    auto* line = mgr.CreateElement(1);
    line->AddPoint(10, 20);
    line->AddPoint(90, 20);
    GVLBurnInOptions opt;  // cross lines only
    FCObjImage pic = Burn(400, 300, opt, 0);
    EXPECT_EQ(At(pic, 200, 150), kGreen | 0xFF000000);
    EXPECT_EQ(At(pic, 30, 20), qRgb(0, 0, 0));   // no measurements
    EXPECT_EQ(At(pic, 100, 50), qRgb(0, 0, 0));  // no ruler, though hidden on screen anyway

    opt.measurements = true;
    opt.ruler = true;
    pic = Burn(400, 300, opt, 0);
    EXPECT_EQ(At(pic, 30, 20), kGreen | 0xFF000000);   // at picture scale
    EXPECT_EQ(At(pic, 100, 50), kGreen | 0xFF000000);  // the hidden ruler's horizontal arm end
    EXPECT_EQ(At(pic, 50, 90), kGreen | 0xFF000000);   // its vertical arm
    EXPECT_FLOAT_EQ(mgr.GetZoom(), 2.0f);
}

TEST_F(BurnInTest, DateAndTitleAtTheLowerRight) {
    GVLBurnInOptions opt;
    opt.date = true;
    opt.title = true;
    opt.titleText = "Slide 7";
    opt.today = QDate(2024, 3, 5);
    mgr.SetFontBackground(1);
    const int w = 500, h = 300;
    const FCObjImage pic = Burn(w, h, opt, 0);

    // What those texts look like in the burn-in font, drawn on their own.
    auto reference = [&](const QString& date) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(0);
        QPainter p(&img);
        COverlayDC dc(&p);
        dc.SelectFont(12, 7, 100);
        dc.SetTextColor(GVLColor(4));
        dc.Text(w - 100, h - 40, date);
        dc.Text(w - 100, h - 60, "Slide 7");
        p.end();
        return img;
    };
    auto matches = [&](const QImage& ref) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (PixelAt(ref, x, y) != (At(pic, x, y) & 0xFFFFFF)) return false;
        return true;
    };
    EXPECT_TRUE(matches(reference("2024-3-5")));
    EXPECT_FALSE(matches(reference("2024-03-05")));
    int lit = 0;
    for (int y = h - 40; y < h - 28; ++y)
        for (int x = w - 100; x < w; ++x) lit += At(pic, x, y) != qRgb(0, 0, 0);
    EXPECT_GT(lit, 10);
}

TEST_F(BurnInTest, RefusesBadSizes) {
    uint8_t b[16] = {};
    EXPECT_FALSE(mgr.BurnIn(nullptr, 10, 10, {}));
    EXPECT_FALSE(mgr.BurnIn(b, 0, 10, {}));
    EXPECT_FALSE(mgr.BurnIn(b, 10, -1, {}));
    EXPECT_EQ(GVLBurnInBytes(3, 2), 2u * 12u);
    EXPECT_EQ(GVLBurnInBytes(4, 1), 12u);
}

}  // namespace
