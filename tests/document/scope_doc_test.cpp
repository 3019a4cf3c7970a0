// The image document: how documents come into being, the command table's rules, capture and
// saving, on the real camera manager with simulated cameras.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <cstring>

#include "camera/camera_manager.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "test_support.h"

namespace {

FCObjImage Pattern(int w, int h) {
    FCObjImage img;
    img.Allocate(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.PixelPointer(x, y);
            p[0] = static_cast<uint8_t>(x * 3);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>(x + y);
        }
    return img;
}

class Documents : public ::testing::Test {
protected:
    void SetUp() override {
        theSettings = CAppSettings{};
        InitAppFolders(QString::fromStdString(dir.path()), QString::fromStdString(dir.path()));
        QDir().mkpath(g_strDataFolder);
        theApp().prompt = &prompt;
        theApp().m_nNewDocKind = 0;
        theApp().m_nMixCount = 0;
    }
    void TearDown() override {
        for (CScopeDoc* d : std::vector<CScopeDoc*>(CScopeDoc::AllDocuments())) CloseDocumentWithoutView(d);
        theApp().prompt = nullptr;
        CCameraManager& cm = theCameraManager();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
    }
    // A still document holding a file.
    CScopeDoc* OpenPicture(const FCObjImage& picture, const std::string& name) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(picture.SaveToFile(path));
        // Opening a file is the framework's open step on a fresh document.
        theApp().m_nNewDocKind = 1;
        owned.push_back(std::make_unique<CScopeDoc>());
        CScopeDoc* d = owned.back().get();
        d->OnViewCreated(true, 0, 0);
        EXPECT_TRUE(d->OnOpenDocument(QString::fromStdString(path)));
        return d;
    }
    // Starts a simulated camera the way start-up and the live window do.
    CScopeDoc* StartLive(const char* cameras = "none,mc-a=1") {
        setenv("NORVANESCOPE_SIM_CAMERAS", cameras, 1);
        CCameraManager& cm = theCameraManager();
        cm.Startup();
        int n = 0;
        cm.EnumerateDevices(&n);
        EXPECT_GE(n, 1);
        cm.SelectDevice(0);
        cm.OpenCamera(nullptr, nullptr, nullptr);
        CScopeDoc* live = NewDocumentWithoutView();
        EXPECT_NE(live, nullptr);
        return live;
    }
    TempDir dir;
    CRecordingPrompt prompt;
    std::vector<std::unique_ptr<CScopeDoc>> owned;
};

TEST_F(Documents, OpeningAPictureMakesAStillTrueColourDocument) {
    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(400, 300, 8));
    CScopeDoc* d = OpenPicture(grey, "grey.png");
    EXPECT_FALSE(d->m_bLive);
    EXPECT_EQ(d->m_image.ColorBits(), 24);
    EXPECT_EQ(d->m_nFrameWidth, 400);
    EXPECT_EQ(d->m_nFrameHeight, 300);
    EXPECT_EQ(d->m_nImageState, 2);
    EXPECT_EQ(d->m_pCxImage->Width(), 400);
    EXPECT_EQ(theApp().m_nNewDocKind, 1);

    // An unreadable file: a message and no picture.
    QFile bad(QString::fromStdString(dir.file("bad.bmp")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    CScopeDoc other;
    EXPECT_FALSE(other.OnOpenDocument(bad.fileName()));
    ASSERT_FALSE(prompt.calls().empty());
    EXPECT_EQ(prompt.calls().back().text, "Invalid Image Format");
}

TEST_F(Documents, ProcessingCommandsFollowEnableAndRebuildFromTheOriginal) {
    CScopeDoc* d = OpenPicture(Pattern(32, 16), "p.bmp");
    const FCObjImage original = d->m_image;
    EXPECT_FALSE(d->IsCommandEnabled(ID_NEGATIVE));
    EXPECT_FALSE(d->OnCommand(ID_NEGATIVE));
    EXPECT_TRUE(d->IsCommandEnabled(ID_PROCESS_ENABLE));
    ASSERT_TRUE(d->OnCommand(ID_PROCESS_ENABLE));
    EXPECT_TRUE(d->IsCommandChecked(ID_PROCESS_ENABLE));
    ASSERT_TRUE(d->OnCommand(ID_NEGATIVE));
    EXPECT_TRUE(d->IsCommandChecked(ID_NEGATIVE));
    EXPECT_EQ(d->m_image.PixelPointer(3, 2)[0], static_cast<uint8_t>(255 - 9));
    // Enable off keeps the flags and the processed picture.
    ASSERT_TRUE(d->OnCommand(ID_PROCESS_ENABLE));
    EXPECT_TRUE(d->m_bNegative);
    EXPECT_EQ(d->m_image.PixelPointer(3, 2)[0], static_cast<uint8_t>(255 - 9));
    ASSERT_TRUE(d->OnCommand(ID_PROCESS_ENABLE));
    ASSERT_TRUE(d->OnCommand(ID_NEGATIVE));
    EXPECT_EQ(std::memcmp(d->m_image.GetMemStart(), original.GetMemStart(), original.PixelBytes()), 0);
    // Still documents refuse the live-only commands.
    for (int id : {ID_CAPTURE, ID_PAUSE, ID_PREVIEW, ID_FULL_SCREEN, ID_RECORD, ID_SAVE_RESOLUTION})
        EXPECT_FALSE(d->IsCommandEnabled(id)) << id;
    EXPECT_TRUE(d->IsCommandEnabled(ID_MIX));
}

TEST_F(Documents, CrossLinesAndToolsFromTheTable) {
    CScopeDoc* d = OpenPicture(Pattern(8, 8), "c.bmp");
    d->OnCommand(ID_CROSS_SOLID);
    d->OnCommand(ID_CROSS_DASHED);  // hides the solid one
    EXPECT_TRUE(d->m_bCrossDashed);
    EXPECT_FALSE(d->m_bCrossSolid);
    EXPECT_TRUE(d->ElemMgr().IsCrossDashed());
    EXPECT_FALSE(d->ElemMgr().IsCrossSolid());
    d->OnCommand(ID_CROSS_DASHED);
    EXPECT_FALSE(d->m_bCrossDashed || d->m_bCrossSolid);
    const std::pair<int, int> tools[] = {{ID_TOOL_LINE, 2},    {ID_TOOL_ANGLE, 3},    {ID_TOOL_RECT, 4},
                                         {ID_TOOL_POLYGON, 5}, {ID_TOOL_CIRCLE, 6},   {ID_TOOL_TRICIRCLE, 7},
                                         {ID_TOOL_MOVE, 9},    {ID_TOOL_DELETE, 200}, {ID_TOOL_COUNTER_D, 205},
                                         {ID_TOOL_ARROW, 206}, {ID_TOOL_TEXT, 208},   {ID_TOOL_SELECT, 1}};
    for (auto [id, tool] : tools) {
        ASSERT_TRUE(d->OnCommand(id));
        EXPECT_EQ(d->m_nTool, tool);
        if (tool != 1) {
            EXPECT_TRUE(d->IsCommandChecked(id)) << id;
        }
    }
    d->OnCommand(ID_CALIBRATION);
    EXPECT_TRUE(d->IsCommandChecked(ID_CALIBRATION));
    EXPECT_TRUE(d->ElemMgr().IsRulerShown());
    EXPECT_EQ(d->m_nTool, 0);
    d->OnCommand(ID_CALIBRATION);
    EXPECT_FALSE(d->ElemMgr().IsRulerShown());
    // Every command of the table answers its rules and can be looked up.
    for (const DocCommand& c : DocCommands()) EXPECT_EQ(FindDocCommand(c.id), &c);
}

TEST_F(Documents, MixDocumentsAreNumberedFromOne) {
    theApp().m_pSharedImage = Pattern(20, 10);
    for (int n = 1; n <= 2; ++n) {
        g_bMixRequest = true;
        theApp().m_nNewDocKind = 1;
        CScopeDoc* d = NewDocumentWithoutView();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->GetTitle(), QStringLiteral("Mix %1").arg(n));
        EXPECT_EQ(d->m_image.Width(), 20);
        EXPECT_EQ(d->m_nImageState, 1);
        CloseDocumentWithoutView(d);  // destruction clears the request
        EXPECT_FALSE(g_bMixRequest);
    }
}

TEST_F(Documents, LiveDocumentLifeAndCapture) {
    CScopeDoc* live = StartLive();
    EXPECT_TRUE(live->m_bLive);
    EXPECT_TRUE(g_bLiveDocExists);
    EXPECT_EQ(live->GetTitle(), "MC-A");
    EXPECT_EQ(live->m_nFrameWidth, 1280);
    EXPECT_EQ(live->m_imageLive.ColorBits(), 24);
    EXPECT_TRUE(live->IsCommandEnabled(ID_CAPTURE));
    EXPECT_FALSE(live->IsCommandEnabled(ID_PREVIEW));
    EXPECT_FALSE(live->IsCommandEnabled(ID_MIX));
    // A second new document while live exists is a capture: a still of the camera.
    ASSERT_TRUE(live->OnCommand(ID_CAPTURE));
    ASSERT_EQ(CScopeDoc::AllDocuments().size(), 2u);
    CScopeDoc* still = CScopeDoc::AllDocuments().back();
    EXPECT_FALSE(still->m_bLive);
    EXPECT_EQ(still->m_nImageState, 1);
    EXPECT_TRUE(still->m_image.IsValid());
    EXPECT_EQ(still->m_image.ColorBits(), 24);
    EXPECT_EQ(still->m_imageOriginal.Width(), still->m_image.Width());
    // Pause captures into the live document; capture is then disabled, preview enabled.
    ASSERT_TRUE(live->OnCommand(ID_PAUSE));
    EXPECT_FALSE(live->m_bPlaying);
    EXPECT_TRUE(live->m_image.IsValid());
    EXPECT_FALSE(live->IsCommandEnabled(ID_CAPTURE));
    ASSERT_TRUE(live->OnCommand(ID_PREVIEW));
    EXPECT_TRUE(live->m_bPlaying);
    // Closing the live document lets a new preview start.
    CloseDocumentWithoutView(live);
    EXPECT_FALSE(g_bLiveDocExists);
    EXPECT_EQ(CScopeDoc::FindLiveDocument(), nullptr);
}

TEST_F(Documents, QuickSaveNamesFilesAndCounts) {
    CScopeDoc* d = OpenPicture(Pattern(16, 8), "q.bmp");
    const QString pics = QString::fromStdString(dir.file("pics"));
    for (const QString& folder : {pics, pics + "/"}) {
        theSettings.save.FilePath = folder;
        theSettings.save.StartSuffix = "Image";
        theSettings.save.Suffix = 7;
        theSettings.save.bBmp = 2;
        prompt.clearCalls();
        d->QuickSave();
        EXPECT_TRUE(QFile::exists(pics + "/Image7.jpg"));
        ASSERT_EQ(prompt.calls().size(), 1u);
        EXPECT_EQ(prompt.calls()[0].text, "Picture has successfully saved to  " + pics + "/Image7.jpg");
        d->QuickSave();
        EXPECT_TRUE(QFile::exists(pics + "/Image8.jpg"));
        EXPECT_EQ(theSettings.save.Suffix, 9);
        QFile::remove(pics + "/Image7.jpg");
    }
    // An unwritable folder: the failure is reported and the counter still advances.
    theSettings.save.FilePath = QString::fromStdString(dir.file("no/such/folder"));
    theSettings.save.Suffix = 1;
    prompt.clearCalls();
    d->QuickSave();
    ASSERT_EQ(prompt.calls().size(), 1u);
    EXPECT_EQ(prompt.calls()[0].text, "Save image failed33.");
    EXPECT_EQ(theSettings.save.Suffix, 2);
}

TEST_F(Documents, JpegSummarySegmentBytes) {
    const QByteArray empty = JpegSummarySegment({}, {}, {}, {});
    ASSERT_EQ(empty.size(), 2 + 94);
    EXPECT_EQ(static_cast<uint8_t>(empty[2]), 0);
    EXPECT_EQ(static_cast<uint8_t>(empty[3]), 94);
    const QByteArray a = JpegSummarySegment("A", "", "", "");
    auto le32 = [&](const QByteArray& b, int at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                                     static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint8_t>(b[at + 3]) << 24);
    };
    // Entries start after marker, length, "Exif\0\0", the TIFF header and the count: byte 20.
    EXPECT_EQ(static_cast<uint8_t>(a[20]) | static_cast<uint8_t>(a[21]) << 8, 0x9C9B);
    EXPECT_EQ(le32(a, 24), 8u);         // "A", two blanks, terminator
    EXPECT_EQ(le32(a, 28), 62u);        // title offset
    EXPECT_EQ(le32(a, 12 + 28), 70u);   // comment offset
    EXPECT_EQ(a.mid(10, 4), QByteArray("II*\0", 4));
    EXPECT_EQ(a.mid(2 + 70, 8), QByteArray("A\0 \0 \0\0\0", 8));

    // Saved files: ".jpg" gets the segment right after the first 20 bytes; ".JPG" does not.
    CScopeDoc* d = OpenPicture(Pattern(16, 8), "s.bmp");
    const QString lower = QString::fromStdString(dir.file("x.jpg")), upper = QString::fromStdString(dir.file("y.JPG"));
    ASSERT_TRUE(d->SaveImage(lower, false, false, false, false, "T", "S", "Au", "C"));
    ASSERT_TRUE(d->SaveImage(upper, false, false, false, false, "T", "S", "Au", "C"));
    const std::vector<uint8_t> withSeg = ReadFileBytes(lower.toStdString());
    const std::vector<uint8_t> without = ReadFileBytes(upper.toStdString());
    const QByteArray seg = JpegSummarySegment("T", "S", "Au", "C");
    ASSERT_EQ(withSeg.size(), without.size() + seg.size());
    EXPECT_EQ(std::memcmp(withSeg.data() + 20, seg.constData(), seg.size()), 0);
    EXPECT_EQ(std::memcmp(withSeg.data(), without.data(), 20), 0);
    EXPECT_EQ(std::memcmp(withSeg.data() + 20 + seg.size(), without.data() + 20, without.size() - 20), 0);
}

TEST_F(Documents, BlackOverlayIsTransparentAndOtherColoursBurnIn) {
    CScopeDoc* d = OpenPicture(Pattern(64, 48), "o.bmp");
    d->ElemMgr().SetZoom(2.0f);
    d->OnCommand(ID_TOOL_LINE);
    d->ElemMgr().OnLButtonDown(0, d->m_nTool, QPoint(10, 20));
    d->ElemMgr().OnMouseMove(0, d->m_nTool, QPoint(12, 20));
    d->ElemMgr().OnMouseMove(0, d->m_nTool, QPoint(100, 20));
    d->ElemMgr().OnLButtonUp(0, d->m_nTool, QPoint(100, 20));
    ASSERT_EQ(d->ElemMgr().ElementCount(), 2);  // the ruler and the line
    const QString with = QString::fromStdString(dir.file("with.bmp"));
    const QString without = QString::fromStdString(dir.file("without.bmp"));
    ASSERT_TRUE(d->SaveImage(with, true, false, false, false, {}, {}, {}, {}));
    ASSERT_TRUE(d->SaveImage(without, false, false, false, false, {}, {}, {}, {}));
    EXPECT_EQ(d->ElemMgr().GetZoom(), 2.0f);  // restored after the burn-in
    FCObjImage a, b;
    ASSERT_TRUE(a.LoadFromFile(with.toStdString()));
    ASSERT_TRUE(b.LoadFromFile(without.toStdString()));
    EXPECT_EQ(std::memcmp(b.GetMemStart(), d->m_image.GetMemStart(), b.PixelBytes()), 0);
    EXPECT_NE(std::memcmp(a.GetMemStart(), b.GetMemStart(), a.PixelBytes()), 0);
    // The document's picture is untouched by saving.
    EXPECT_EQ(std::memcmp(d->m_image.GetMemStart(), d->m_imageOriginal.GetMemStart(), b.PixelBytes()), 0);
}

TEST_F(Documents, LiveSavesResizeAndSkipProcessingWithoutMeasurements) {
    CScopeDoc* live = StartLive();
    live->m_nSaveResolution = 3;
    live->m_bProcessEnable = true;
    live->m_bNegative = true;
    const QString big = QString::fromStdString(dir.file("big.bmp"));
    ASSERT_TRUE(live->SaveImage(big, false, false, false, false, {}, {}, {}, {}));
    FCObjImage saved;
    ASSERT_TRUE(saved.LoadFromFile(big.toStdString()));
    EXPECT_EQ(saved.Width(), 2048);
    EXPECT_EQ(saved.Height(), 1536);
    EXPECT_TRUE(live->m_bProcessEnable);  // restored after the capture
    // After Pause the picture is saved at the camera's size.
    ASSERT_TRUE(live->OnCommand(ID_PAUSE));
    const QString paused = QString::fromStdString(dir.file("paused.bmp"));
    ASSERT_TRUE(live->SaveImage(paused, false, false, false, false, {}, {}, {}, {}));
    ASSERT_TRUE(saved.LoadFromFile(paused.toStdString()));
    EXPECT_EQ(saved.Width(), live->m_image.Width());
}

TEST_F(Documents, UniqueNamesSkipExistingFiles) {
    const QString folder = QString::fromStdString(dir.path()) + "/";
    EXPECT_EQ(MakeUniqueName(folder, "Stitch_", "jpg", 0), folder + "Stitch_0000.jpg");
    QFile f(folder + "Stitch_0000.jpg");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(MakeUniqueName(folder, "Stitch_", "jpg", 0), folder + "Stitch_0001.jpg");
}

TEST_F(Documents, FixedFileSaveKeepsThePicture) {
    CScopeDoc* d = OpenPicture(Pattern(40, 30), "f.bmp");
    d->OnCommand(ID_TOOL_LINE);
    d->ElemMgr().OnLButtonDown(0, d->m_nTool, QPoint(2, 5));
    d->ElemMgr().OnMouseMove(0, d->m_nTool, QPoint(3, 5));
    d->ElemMgr().OnMouseMove(0, d->m_nTool, QPoint(35, 5));
    d->ElemMgr().OnLButtonUp(0, d->m_nTool, QPoint(35, 5));
    const FCObjImage before = d->m_image;
    ASSERT_TRUE(d->OnCommand(ID_SAVE_PLUS_MEASURE));
    EXPECT_TRUE(d->m_bSaveWithMeasure);
    EXPECT_EQ(std::memcmp(before.GetMemStart(), d->m_image.GetMemStart(), before.PixelBytes()), 0);
    FCObjImage withLine;
    ASSERT_TRUE(withLine.LoadFromFile((g_strExeFolder + g_strDefaultImageName).toStdString()));
    EXPECT_NE(std::memcmp(before.GetMemStart(), withLine.GetMemStart(), before.PixelBytes()), 0);
    ASSERT_TRUE(d->OnCommand(ID_SAVE_ONLY_IMAGE));
    EXPECT_FALSE(d->m_bSaveWithMeasure);
    FCObjImage plain;
    ASSERT_TRUE(plain.LoadFromFile((g_strExeFolder + g_strDefaultImageName).toStdString()));
    EXPECT_EQ(std::memcmp(before.GetMemStart(), plain.GetMemStart(), before.PixelBytes()), 0);
}

}  // namespace

// A picture taken from the live camera measures as the live picture does: same calibration,
// same result texts, whatever the settings held when the last document closed.
TEST_F(Documents, CapturesCarryTheLiveCalibrationAndDisplay) {
    CScopeDoc* live = StartLive();
    ASSERT_NE(live, nullptr);
    GVLCalibration calib = live->ElemMgr().GetCalibration();
    calib.m_unit_Unit = 0;  // micrometres
    calib.m_unit_dcxPerPixel = calib.m_unit_dcyPerPixel = 0.04761905;
    live->ElemMgr().SetCalibration(calib);
    live->ElemMgr().SetPrecision(4);
    GVLDisplay display = live->ElemMgr().GetDisplay();
    display.m_color_Ruler = 5;
    live->ElemMgr().SetDisplay(display);
    ASSERT_NE(theSettings.measure.m_unit_dcxPerPixel, 0.04761905);

    auto measure = [](CScopeDoc* doc) {
        CGVLElemMgr& m = doc->ElemMgr();
        m.SetZoom(1.0f);
        m.SetOrigin(QPoint(0, 0));
        // The line starts at the first move after the press.
        m.OnLButtonDown(1, 2, QPoint(300, 200));
        m.OnMouseMove(1, 2, QPoint(300, 200));
        m.OnMouseMove(1, 2, QPoint(520, 200));
        m.OnLButtonUp(0, 2, QPoint(520, 200));
        const CGVLShape* line = m.GetElement(m.ElementCount() - 1);
        return line ? line->ResultTexts() : QStringList();
    };
    const QStringList onLive = measure(live);
    ASSERT_FALSE(onLive.isEmpty());
    EXPECT_TRUE(onLive.join(' ').contains(QStringLiteral("L=10.4762 um"))) << onLive.join(' ').toStdString();

    // Capture (Snap) and Pause both take pictures of this camera.
    ASSERT_TRUE(live->OnCommand(ID_CAPTURE));
    CScopeDoc* still = CScopeDoc::AllDocuments().back();
    ASSERT_NE(still, live);
    EXPECT_EQ(still->ElemMgr().GetCalibration().m_unit_dcxPerPixel, 0.04761905);
    EXPECT_EQ(still->ElemMgr().GetCalibration().m_unit_Unit, 0);
    EXPECT_EQ(still->ElemMgr().GetPrecision(), 4);
    EXPECT_EQ(still->ElemMgr().GetDisplay().m_color_Ruler, 5);
    EXPECT_EQ(measure(still), onLive);
}
