// Counting in the program's core: the settings dialog's model, counting documents, counting
// again in place, the split mode and the results with their workbook.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <climits>
#include <memory>

#include "advanced/counting/counting_document.h"
#include "advanced/counting/counting_results.h"
#include "advanced/counting/counting_settings.h"
#include "advanced/imagepro_segm.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "segm_fixture.h"
#include "settings/app_settings.h"
#include "test_support.h"
#include "workbook_reader.h"

using namespace segm_test;

namespace {

FCObjImage ToPicture(const cv::Mat& bgr) {
    FCObjImage img;
    img.Allocate(bgr.cols, bgr.rows, 24);
    for (int y = 0; y < bgr.rows; ++y) std::memcpy(img.GetRow(y), bgr.ptr(y), bgr.cols * 3);
    return img;
}

cv::Mat ToMat(const FCObjImage& img) {
    cv::Mat m(img.Height(), img.Width(), CV_8UC3);
    for (int y = 0; y < img.Height(); ++y) std::memcpy(m.ptr(y), img.GetRow(y), img.Width() * 3);
    return m;
}

int PixelsOf(const FCObjImage& img, CountingColor c) {
    int n = 0;
    const cv::Vec3b bgr(c.b, c.g, c.r);
    const cv::Mat m = ToMat(img);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) n += m.at<cv::Vec3b>(y, x) == bgr;
    return n;
}

// Three discs of different sizes, and two that overlap into one object.
cv::Mat ThreeDiscs() {
    return DiscPicture(cv::Size(320, 200), {{60, 60, 14}, {160, 100, 22}, {260, 140, 30}}, Look{});
}
cv::Mat OverlappingPair() {
    return DiscPicture(cv::Size(300, 200), {{135, 100, 30}, {165, 100, 30}}, Look{});
}

const CountingColor kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};

class Counting : public ::testing::Test {
protected:
    void SetUp() override {
        theSettings = CAppSettings{};
        theApp().prompt = &prompt;
        theApp().m_nNewDocKind = 0;
        g_CountingSettings.Reset();
    }
    void TearDown() override {
        for (CScopeDoc* d : std::vector<CScopeDoc*>(CScopeDoc::AllDocuments()))
            if (!IsOwned(d)) CloseDocumentWithoutView(d);
        owned.clear();
        theApp().prompt = nullptr;
    }
    bool IsOwned(const CScopeDoc* d) const {
        for (const auto& o : owned)
            if (o.get() == d) return true;
        return false;
    }
    // A still document holding the picture, as an opened file gives one.
    CScopeDoc* Still(const cv::Mat& bgr) {
        theApp().m_nNewDocKind = 1;
        owned.push_back(std::make_unique<CScopeDoc>());
        CScopeDoc* d = owned.back().get();
        d->OnViewCreated(true, 0, 0);
        d->m_image = ToPicture(bgr);
        d->m_imageOriginal = d->m_image;
        d->m_nImageState = 2;
        d->m_nFrameWidth = bgr.cols;
        d->m_nFrameHeight = bgr.rows;
        return d;
    }
    // Watershed with the dialog answered by `choose` and OK; the new counting document.
    CScopeDoc* Watershed(CScopeDoc& doc,
                         const std::function<void(CCountingSettingsModel&)>& choose = {}) {
        CountingBegin(doc);
        CCountingSettingsModel model(doc.m_hSegm);
        if (choose) choose(model);
        model.Accept();
        const size_t before = CScopeDoc::AllDocuments().size();
        EXPECT_TRUE(CountingAccepted(doc));
        if (CScopeDoc::AllDocuments().size() == before) return nullptr;
        return CScopeDoc::AllDocuments().back();
    }

    CRecordingPrompt prompt;
    TempDir dir;
    std::vector<std::unique_ptr<CScopeDoc>> owned;
};

}  // namespace

TEST_F(Counting, TheDialogOpensForANewCountingWithBlueOutlinesAndNoFilters) {
    g_CountingSettings.m_nTabColorIndex = 5;  // left from an earlier counting
    CScopeDoc* doc = Still(ThreeDiscs());
    CountingBegin(*doc);
    CCountingSettingsModel model(0);
    EXPECT_EQ(model.OutlineStyle(), 0);
    EXPECT_EQ(model.TabStyle(), 0);
    EXPECT_EQ(g_CountingSettings.m_nOutlineColorIndex, 4);
    EXPECT_EQ(g_CountingSettings.m_crOutline, kBlue);
    EXPECT_EQ(g_CountingSettings.m_nTabColorIndex, 0);
    EXPECT_FALSE(model.ByArea() || model.ByPerimeter() || model.Hole());
    for (auto e : {CCountingSettingsModel::MinArea, CCountingSettingsModel::MaxArea,
                   CCountingSettingsModel::MinPerimeter, CCountingSettingsModel::MaxPerimeter}) {
        EXPECT_TRUE(model.EditText(e).isEmpty());
        EXPECT_FALSE(model.EditEnabled(e));
    }
    for (int v = 0; v < 6; ++v)
        EXPECT_EQ(model.ValueText(static_cast<CCountingSettingsModel::Value>(v)), "0");
    EXPECT_TRUE(model.OkEnabled());
    model.SetByArea(true);
    EXPECT_TRUE(model.EditEnabled(CCountingSettingsModel::MinArea));
    EXPECT_FALSE(model.EditEnabled(CCountingSettingsModel::MinPerimeter));
}

TEST_F(Counting, EditsReadAsBoundsAndACheckedFilterWithEmptyEditsPassesMinusOne) {
    struct Case {
        const char* text;
        int bound;
    } cases[] = {{"", -1}, {"  ", -1}, {"0", 0}, {"250", 250}, {"99999999999", INT_MAX}};
    for (const Case& c : cases)
        EXPECT_EQ(CCountingSettingsModel::BoundOf(c.text), c.bound) << c.text;

    CScopeDoc* doc = Still(ThreeDiscs());
    CScopeDoc* counted = Watershed(*doc, [](CCountingSettingsModel& m) {
        m.SetByArea(true);
        m.SetByPerimeter(true);
        m.SetEditText(CCountingSettingsModel::MaxPerimeter, "500");
    });
    ASSERT_NE(counted, nullptr);
    EXPECT_EQ(g_CountingSettings.m_nMinArea, -1);
    EXPECT_EQ(g_CountingSettings.m_nMaxArea, -1);
    EXPECT_EQ(g_CountingSettings.m_nMaxPerimeter, 500);
    unsigned char byArea = 0, byPerimeter = 0;
    imagepro_segm_get_findbyareaorlength(counted->m_hSegm, &byArea, &byPerimeter);
    EXPECT_EQ(byArea, 1);
    EXPECT_EQ(imagepro_segm_get_Rangeminarea(counted->m_hSegm), -1);
    EXPECT_EQ(imagepro_segm_get_Rangemaxarea(counted->m_hSegm), -1);
    EXPECT_EQ(imagepro_segm_get_Rangemaxlength(counted->m_hSegm), 500);
    EXPECT_EQ(imagepro_segm_get_contournum(counted->m_hSegm), 3);
}

TEST_F(Counting, WatershedOpensCountingDocumentsNumberedInTurn) {
    CScopeDoc* doc = Still(ThreeDiscs());
    EXPECT_TRUE(doc->IsCommandEnabled(ID_WATERSHED));
    EXPECT_FALSE(doc->IsCommandEnabled(ID_SPLIT_OBJECTS));
    EXPECT_FALSE(doc->IsCommandEnabled(ID_COUNTING_RESULTS));
    const int first = g_nCountingNo + 1;
    CScopeDoc* one = Watershed(*doc);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->GetTitle(), QStringLiteral("Counting %1").arg(first));
    EXPECT_NE(one->m_hSegm, 0);
    EXPECT_EQ(doc->m_hSegm, 0);
    EXPECT_FALSE(g_bCountingRequest);
    EXPECT_EQ(one->m_nImageState, 1);
    EXPECT_EQ(one->m_image.Width(), 320);
    EXPECT_EQ(one->m_image.Height(), 200);
    // Its picture is the result: the source with blue outlines; its unprocessed copy the same.
    EXPECT_GT(PixelsOf(one->m_image, kBlue), 100);
    EXPECT_EQ(PixelsOf(doc->m_image, kBlue), 0);
    EXPECT_EQ(std::memcmp(one->m_image.GetMemStart(), one->m_imageOriginal.GetMemStart(),
                          one->m_image.PixelBytes()),
              0);
    EXPECT_TRUE(one->IsCommandEnabled(ID_SPLIT_OBJECTS));
    EXPECT_TRUE(one->IsCommandEnabled(ID_COUNTING_RESULTS));

    // The number keeps counting when the first document is gone.
    CloseDocumentWithoutView(one);
    CScopeDoc* two = Watershed(*doc);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->GetTitle(), QStringLiteral("Counting %1").arg(first + 1));
}

TEST_F(Counting, WatershedOnACountingDocumentCountsAgainInPlace) {
    CScopeDoc* doc = Still(ThreeDiscs());
    CScopeDoc* counted = Watershed(*doc, [](CCountingSettingsModel& m) {
        m.SetByArea(true);
        m.SetEditText(CCountingSettingsModel::MinArea, "1000");
    });
    ASSERT_NE(counted, nullptr);
    const int h = counted->m_hSegm;
    EXPECT_EQ(imagepro_segm_get_contournum(h), 2);

    // The dialog shows what the document was counted with; OK waits for a change.
    CountingBegin(*counted);
    CCountingSettingsModel model(h);
    EXPECT_FALSE(model.OkEnabled());
    EXPECT_TRUE(model.ByArea());
    EXPECT_EQ(model.EditText(CCountingSettingsModel::MinArea), "1000");
    EXPECT_EQ(model.EditText(CCountingSettingsModel::MaxArea), "");
    EXPECT_EQ(model.ValueText(CCountingSettingsModel::MinAreaValue),
              QString::asprintf("%.1f", imagepro_segm_get_min_area(h)));
    EXPECT_EQ(model.ValueText(CCountingSettingsModel::AvePerimeterValue),
              QString::asprintf("%.1f", imagepro_segm_get_ave_length(h)));
    EXPECT_NE(model.ValueText(CCountingSettingsModel::MaxAreaValue), "0.0");
    // A style goes to the segmentation at once; the filter waits for OK.
    model.SetOutlineStyle(1);
    EXPECT_TRUE(model.OkEnabled());
    EXPECT_EQ(imagepro_segm_get_contourlinetype(h), 1);
    model.SetEditText(CCountingSettingsModel::MinArea, "");
    EXPECT_EQ(imagepro_segm_get_Rangeminarea(h), 1000);
    model.Accept();

    const size_t documents = CScopeDoc::AllDocuments().size();
    const QString title = counted->GetTitle();
    EXPECT_TRUE(CountingAccepted(*counted));
    EXPECT_EQ(CScopeDoc::AllDocuments().size(), documents);
    EXPECT_EQ(counted->GetTitle(), title);
    EXPECT_EQ(counted->m_hSegm, h);
    EXPECT_EQ(imagepro_segm_get_contournum(h), 3);
    // Filled now, in the outline colour.
    EXPECT_GT(PixelsOf(counted->m_image, kBlue), 1500);
}

TEST_F(Counting, ReopeningTheDialogKeepsTheColoursTheDocumentWasCountedWith) {
    CScopeDoc* a = Still(ThreeDiscs());
    CScopeDoc* redDoc = Watershed(*a, [](CCountingSettingsModel& m) { m.SetOutlineColor(2); });
    ASSERT_NE(redDoc, nullptr);
    CScopeDoc* b = Still(OverlappingPair());
    ASSERT_NE(Watershed(*b, [](CCountingSettingsModel& m) { m.SetOutlineColor(3); }), nullptr);
    // Back on the red document, only the label style changes.
    CountingBegin(*redDoc);
    CCountingSettingsModel model(redDoc->m_hSegm);
    EXPECT_EQ(model.OutlineColorIndex(), 2);
    model.SetTabStyle(1);
    model.Accept();
    ASSERT_TRUE(CountingAccepted(*redDoc));
    EXPECT_GT(PixelsOf(redDoc->m_image, kRed), 100);
    EXPECT_EQ(PixelsOf(redDoc->m_image, kGreen), 0);
}

TEST_F(Counting, AColourChosenAndCancelledStillColoursTheNextRun) {
    CScopeDoc* doc = Still(ThreeDiscs());
    CScopeDoc* counted = Watershed(*doc);
    ASSERT_NE(counted, nullptr);
    {
        CountingBegin(*counted);
        CCountingSettingsModel model(counted->m_hSegm);
        model.SetOutlineColor(7);  // yellow, then Cancel: no Accept, no counting
    }
    EXPECT_EQ(g_CountingSettings.m_nOutlineColorIndex, 7);
    EXPECT_EQ(g_CountingSettings.m_crOutline, kYellow);
    EXPECT_EQ(PixelsOf(counted->m_image, kYellow), 0);
    // The next run, a click in split mode that draws no line, draws in yellow.
    ASSERT_TRUE(counted->OnCommand(ID_SPLIT_OBJECTS));
    CountingSplitPress(*counted, QPoint(5, 5));
    CountingSplitRelease(*counted);
    EXPECT_GT(PixelsOf(counted->m_image, kYellow), 100);
    EXPECT_EQ(PixelsOf(counted->m_image, kBlue), 0);
}

TEST_F(Counting, SplitModeDrawsALineAtTheViewsZoomAndMeasuringToolsEndIt) {
    CScopeDoc* doc = Still(OverlappingPair());
    CScopeDoc* counted = Watershed(*doc);
    ASSERT_NE(counted, nullptr);
    ASSERT_EQ(imagepro_segm_get_contournum(counted->m_hSegm), 1);
    ASSERT_TRUE(counted->OnCommand(ID_SPLIT_OBJECTS));
    EXPECT_TRUE(counted->m_bSplitMode);
    // Shown at 200 %: window pixels are twice the picture's.
    counted->ElemMgr().SetZoom(2.0f);
    CountingSplitPress(*counted, QPoint(300, 110));
    EXPECT_TRUE(counted->m_bSplitDrawing);
    CountingSplitMove(*counted, QPoint(302, 200));
    CountingSplitMove(*counted, QPoint(300, 290));
    CountingSplitRelease(*counted);
    EXPECT_FALSE(counted->m_bSplitDrawing);
    EXPECT_EQ(imagepro_segm_get_contournum(counted->m_hSegm), 2);

    struct Case {
        int command;
        bool ends;
    } cases[] = {{ID_TOOL_ANGLE, true},     {ID_TOOL_RECT, true}, {ID_TOOL_CIRCLE, true},
                 {ID_TOOL_TRICIRCLE, true}, {ID_TOOL_MOVE, true}, {ID_TOOL_LINE, false},
                 {ID_TOOL_POLYGON, false}};
    for (const Case& c : cases) {
        counted->m_bSplitMode = true;
        ASSERT_TRUE(counted->OnCommand(c.command));
        EXPECT_EQ(counted->m_bSplitMode, !c.ends) << c.command;
    }
}

TEST_F(Counting, ThreeObjectsFillRowsTwoToFiveOfTheWorkbookWithTheAverageLast) {
    CScopeDoc* doc = Still(ThreeDiscs());
    CScopeDoc* counted = Watershed(*doc);
    ASSERT_NE(counted, nullptr);
    const std::vector<CountingRow> rows = CountingResultRows(counted->m_hSegm, "Average:");
    ASSERT_EQ(rows.size(), 4u);
    std::vector<imagepro_contour> records(3);
    ASSERT_EQ(imagepro_segm_get_contourdata(counted->m_hSegm, records.data(), 3), 3);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[0].centre,
              QString::asprintf("(%.1f,%.1f)", records[0].centerX, records[0].centerY));
    EXPECT_EQ(rows[2].area, QString::asprintf("%.1f", records[2].area));
    EXPECT_EQ(rows[3].number, "Average:");
    EXPECT_TRUE(rows[3].centre.isEmpty());
    EXPECT_EQ(rows[3].area,
              QString::asprintf("%.1f", (records[0].area + records[1].area + records[2].area) / 3));

    const QString path = QString::fromStdString(dir.file("results.xlsx"));
    prompt.queueSaveFile(path);
    EXPECT_TRUE(ExportCountingResults(*counted));
    const WorkbookCells book = ReadWorkbook(path.toStdString());
    ASSERT_TRUE(book.ok);
    EXPECT_EQ(book.sheetNames, QStringList{"sheet1"});
    EXPECT_EQ(book.lastRow, 5);
    const char* headers[] = {"No.", "core", "Area", "Perimeter"};
    const char* columns[] = {"A", "B", "C", "D"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(book.cells.at(std::string(columns[c]) + "1"), headers[c]);
        EXPECT_GE(book.columnWidths.at(c + 1), 16.0);  // 16, with the writer's padding
        EXPECT_LT(book.columnWidths.at(c + 1), 17.0);
    }
    for (size_t k = 0; k < rows.size(); ++k) {
        const std::string r = std::to_string(k + 2);
        EXPECT_EQ(book.cells.at("A" + r), rows[k].number);
        EXPECT_EQ(book.cells.at("C" + r), rows[k].area);
        EXPECT_EQ(book.cells.at("D" + r), rows[k].perimeter);
        EXPECT_TRUE(book.isText.at("C" + r)) << "numbers are written as text";
    }
    EXPECT_EQ(book.cells.at("B2"), rows[0].centre);
    EXPECT_EQ(book.cells.at("A5"), "Average:");
}

TEST_F(Counting, ExportWithoutObjectsCancelOrFailure) {
    cv::Mat empty(120, 160, CV_8UC3, cv::Scalar(230, 230, 230));
    CScopeDoc* counted = Watershed(*Still(empty));
    ASSERT_NE(counted, nullptr);
    EXPECT_TRUE(CountingResultRows(counted->m_hSegm, "Average:").empty());

    // No objects: the headers alone.
    const std::string path = dir.file("empty.xlsx");
    prompt.queueSaveFile(QString::fromStdString(path));
    EXPECT_TRUE(ExportCountingResults(*counted));
    const WorkbookCells book = ReadWorkbook(path);
    ASSERT_TRUE(book.ok);
    EXPECT_EQ(book.lastRow, 1);
    EXPECT_EQ(book.cells.size(), 4u);

    // Cancel closes the results, writing nothing; the suggested name is the time, unpadded.
    prompt.clearCalls();
    prompt.queueSaveFileCancel();
    EXPECT_TRUE(ExportCountingResults(*counted, QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9))));
    ASSERT_EQ(prompt.calls().size(), 1u);
    EXPECT_EQ(prompt.calls()[0].text, "202435789.xlsx");
    EXPECT_EQ(CountingDefaultFileName(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58))),
              "20251231235958");

    // A file that cannot be written: the reason, the dialog stays, an existing file is intact.
    prompt.clearCalls();
    prompt.queueSaveFile(QString::fromStdString(dir.file("no/such/folder/x.xlsx")));
    EXPECT_FALSE(ExportCountingResults(*counted));
    ASSERT_EQ(prompt.calls().size(), 2u);
    EXPECT_TRUE(prompt.calls()[1].text.startsWith("Create Excel failed!"));
    EXPECT_GT(prompt.calls()[1].text.size(), QString("Create Excel failed!").size() + 2);
    // The workbook is written beside the target first: when that fails, the old file stays.
    const std::vector<uint8_t> before = ReadFileBytes(path);
    ASSERT_FALSE(before.empty());
    QDir(QString::fromStdString(dir.path())).mkdir(".empty.xlsx.partial");  // blocks the new file
    QString reason;
    EXPECT_FALSE(
        WriteCountingWorkbook(QString::fromStdString(path), CountingHeaders(), {}, &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(ReadFileBytes(path), before);
}
