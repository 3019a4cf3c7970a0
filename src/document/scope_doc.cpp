#include "document/scope_doc.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include "advanced/counting/counting_document.h"
#include "advanced/imagepro_segm.h"
#include "camera/acquisition/twain_protocol.h"
#include "camera/camera_manager.h"
#include "camera/recording/recorder.h"
#include "document/prompt.h"
#include "image/packed_dib.h"
#include "overlay/element_manager.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"

bool g_bLiveDocExists = false;
bool g_bTwainRequest = false;
void* g_hTwainImage = nullptr;
bool g_bMixRequest = false;
bool g_bCountingRequest = false;
bool g_bHdrRequest = false;
bool g_bAutoStitchRequest = false;
bool g_bSemiStitchRequest = false;
int g_nCountingNo = 0;

CScopeAppState& theApp() {
    static CScopeAppState app;
    return app;
}

namespace {

std::vector<CScopeDoc*>& Documents() {
    static std::vector<CScopeDoc*> docs;
    return docs;
}

IScopeDocFrame& Frame() {
    static IScopeDocFrame none;
    return theApp().frame ? *theApp().frame : none;
}

// Numbered default titles of captured documents, as a document framework gives them.
int g_nUntitled = 0;

// A title with a number, its text looked up in the language table as written there ("Mix %d").
QString NumberedTitle(const char* format, int number) {
    return Translate(QString::fromLatin1(format)).replace(QStringLiteral("%d"), QString::number(number));
}

}  // namespace

CScopeDoc::CScopeDoc()
    : m_pCxImage(std::make_unique<FCObjImage>()),
      m_pElemMgr(std::make_unique<CGVLElemMgr>()),
      m_pRecorder(std::make_unique<CRecorder>()) {
    m_bMayGoLive = theApp().m_nNewDocKind == 0 && !g_bLiveDocExists;
    m_nZoomIndex = theSettings.zoom.ZoomCurSel;
    m_bFlipVertical = theSettings.process.bFlip != 0;
    m_bFlipHorizontal = theSettings.process.bMirror != 0;

    // The overlay starts from the stored calibration and display values.
    const CAppSettings::Measure& m = theSettings.measure;
    GVLCalibration calib;
    calib.m_unit_Unit = m.m_unit_Unit;
    calib.m_unit_dcxPerPixel = m.m_unit_dcxPerPixel;
    calib.m_unit_dcyPerPixel = m.m_unit_dcyPerPixel;
    calib.m_unit_dcxReal = m.m_unit_dcxReal;
    calib.m_unit_dcyReal = m.m_unit_dcyReal;
    m_pElemMgr->SetCalibration(calib);
    GVLDisplay display;
    display.m_color_Adjust = m.m_color_Adjust;
    display.m_color_Coord = m.m_color_Coord;
    display.m_color_Ruler = m.m_color_Ruler;
    display.m_color_Text = m.m_color_Text;
    m_pElemMgr->SetDisplay(display);
    m_pElemMgr->SetPrecision(std::max(1, m.Precision));
    m_pElemMgr->SetFontSize(std::max(1, m.FontSize));
    m_pElemMgr->SetFontBackground(std::max(1, m.FontBackground));
    m_pElemMgr->SetPrompt(theApp().prompt);
    Documents().push_back(this);
}

CScopeDoc::~CScopeDoc() {
    // The recorder's destruction below waits until its files are finished.
    CameraGoingAway();
    if (m_bLive) {
        g_bLiveDocExists = false;
        Frame().PreviewStopped();
    }
    g_bMixRequest = false;
    if (m_hSegm) imagepro_segm_delete(m_hSegm);
    theSettings.zoom.ZoomCurSel = std::clamp(m_nZoomIndex, 0, kZoomCount - 1);
    theSettings.process.bFlip = m_bFlipVertical ? 1 : 0;
    theSettings.process.bMirror = m_bFlipHorizontal ? 1 : 0;
    CAppSettings::Measure& m = theSettings.measure;
    const GVLCalibration calib = m_pElemMgr->GetCalibration();
    m.m_unit_Unit = calib.m_unit_Unit;
    m.m_unit_dcxPerPixel = calib.m_unit_dcxPerPixel;
    m.m_unit_dcyPerPixel = calib.m_unit_dcyPerPixel;
    m.m_unit_dcxReal = calib.m_unit_dcxReal;
    m.m_unit_dcyReal = calib.m_unit_dcyReal;
    const GVLDisplay display = m_pElemMgr->GetDisplay();
    m.m_color_Adjust = display.m_color_Adjust;
    m.m_color_Coord = display.m_color_Coord;
    m.m_color_Ruler = display.m_color_Ruler;
    m.m_color_Text = display.m_color_Text;
    m.Precision = m_pElemMgr->GetPrecision();
    m.FontSize = m_pElemMgr->GetFontSize();
    m.FontBackground = m_pElemMgr->GetFontBackground();
    auto& docs = Documents();
    docs.erase(std::remove(docs.begin(), docs.end(), this), docs.end());
}

const std::vector<CScopeDoc*>& CScopeDoc::AllDocuments() { return Documents(); }

CScopeDoc* CScopeDoc::FindLiveDocument() {
    for (CScopeDoc* doc : Documents())
        if (doc->m_bLive) return doc;
    return nullptr;
}

void CScopeDoc::SetTitle(const QString& title) {
    m_strTitle = title;
    Frame().TitleChanged(*this);
}

void CScopeDoc::Message(const QString& caption, const QString& text) const {
    if (theApp().prompt) theApp().prompt->message(Translate(caption), Translate(text));
}

ProcessFlags CScopeDoc::GetProcessFlags() const {
    ProcessFlags f;
    f.bProcessEnable = m_bProcessEnable;
    f.bFlipVertical = m_bFlipVertical;
    f.bFlipHorizontal = m_bFlipHorizontal;
    f.bGray = m_bGray;
    f.bNegative = m_bNegative;
    f.bBinary = m_bBinary;
    f.bEmboss = m_bEmboss;
    f.bSharpen = m_bSharpen;
    f.bRgbGain = m_bRgbGain;
    f.nBinaryThreshold = m_nBinaryThreshold;
    f.nGainRed = m_nGainRed;
    f.nGainGreen = m_nGainGreen;
    f.nGainBlue = m_nGainBlue;
    return f;
}

void CScopeDoc::SetProcessFlags(const ProcessFlags& f) {
    m_bProcessEnable = f.bProcessEnable;
    m_bFlipVertical = f.bFlipVertical;
    m_bFlipHorizontal = f.bFlipHorizontal;
    m_bGray = f.bGray;
    m_bNegative = f.bNegative;
    m_bBinary = f.bBinary;
    m_bEmboss = f.bEmboss;
    m_bSharpen = f.bSharpen;
    m_bRgbGain = f.bRgbGain;
    m_nBinaryThreshold = f.nBinaryThreshold;
    m_nGainRed = f.nGainRed;
    m_nGainGreen = f.nGainGreen;
    m_nGainBlue = f.nGainBlue;
}

// ---- Coming into being ----

void CScopeDoc::OnViewCreated(bool hasView, int cameraWidth, int cameraHeight) {
    if (hasView) {
        // The view's display window carries the calibration ruler, element 0.
        m_pElemMgr->CreateElement(CGVLElemMgr::kCreateRuler);
        const CAppSettings::Measure& m = theSettings.measure;
        m_pElemMgr->SetRulerPoints(QPoint(m.m_nXEnd, m.m_nYStart), QPoint(m.m_nXStart, m.m_nYEnd));
    }
    if (hasView && theApp().m_nNewDocKind == 0 && !g_bLiveDocExists && m_bMayGoLive) {
        m_bLive = true;
        m_bPlaying = true;
        g_bLiveDocExists = true;
        m_nFrameWidth = cameraWidth;
        m_nFrameHeight = cameraHeight;
    }
    theApp().m_nNewDocKind = 0;
}

void CScopeDoc::CopyToCxImage() { *m_pCxImage = m_image; }

bool CScopeDoc::OnNewDocument() {
    if (!g_bTwainRequest && !g_bMixRequest && !g_bCountingRequest && !g_bLiveDocExists) return false;
    CCameraManager& cm = theCameraManager();
    if (m_bLive) {
        const CameraDeviceEntry& cam = cm.m_currentCamera;
        size_t n = 0;
        while (n < 260 && cam.name[n]) ++n;
        SetTitle(QString::fromUtf16(cam.name, static_cast<qsizetype>(n)));
        m_nImageState = 1;
        int w = m_nFrameWidth, h = m_nFrameHeight;
        cm.GetPreviewSize(&w, &h);
        m_nFrameWidth = w;
        m_nFrameHeight = h;
        Frame().SetStatusText(1, QStringLiteral("%1 x %2").arg(w).arg(h));
        m_imageLive.Allocate(w, h, cm.m_currentCamera.kind == KindMaker ? 32
                                   : cm.m_currentCamera.kind == KindUvc ? cm.LiveBitCount()
                                                                        : 24);
        cm.Play();
        m_bPlaying = true;
        return true;
    }
    if (g_bCountingRequest) {
        CountingCreateResult(*this);
        m_nImageState = 1;
        // A count is a new picture: closing it unsaved asks first.
        m_bModified = m_image.IsValid();
        g_bCountingRequest = false;
        ++g_nCountingNo;
        SetTitle(NumberedTitle("Counting %d", g_nCountingNo));
        return true;
    }
    if (!g_bTwainRequest && g_bMixRequest) {
        const FCObjImage& mixed = theApp().m_pSharedImage;
        if (mixed.IsValid() && m_image.Allocate(mixed.Width(), mixed.Height(), 24)) {
            FCObjImage copy = mixed;
            copy.ToTrueColor24();
            m_image = copy;
            m_imageOriginal = copy;
            m_nImageState = 1;
            m_nFrameWidth = copy.Width();
            m_nFrameHeight = copy.Height();
            CopyToCxImage();
            m_bModified = true;
        }
        g_bMixRequest = false;
        ++theApp().m_nMixCount;
        SetTitle(NumberedTitle("Mix %d", theApp().m_nMixCount));
        return true;
    }
    if (!g_bTwainRequest) return CaptureCase();
    g_bTwainRequest = false;
    // The picture is built from the transferred bitmap; only a 24-bit one fills the document.
    FCObjImage acquired;
    const bool built = g_hTwainImage &&
                       ImageFromPackedDib(static_cast<const uint8_t*>(TwGlobalLock(g_hTwainImage)),
                                          TwGlobalSize(g_hTwainImage), acquired);
    if (built && acquired.ColorBits() == 24) {
        m_image = acquired;
        m_imageOriginal = acquired;
        m_nImageState = 1;
        m_nFrameWidth = acquired.Width();
        m_nFrameHeight = acquired.Height();
        CopyToCxImage();
        m_bModified = true;
    }
    SetTitle(QStringLiteral("Untitled%1").arg(++g_nUntitled));
    return true;
}

void CScopeDoc::TakeMeasureSettings(const CScopeDoc& from) {
    CGVLElemMgr& to = *m_pElemMgr;
    const CGVLElemMgr& src = *from.m_pElemMgr;
    to.SetCalibration(src.GetCalibration());
    to.SetDisplay(src.GetDisplay());
    to.SetPrecision(src.GetPrecision());
    to.SetFontSize(src.GetFontSize());
    to.SetFontBackground(src.GetFontBackground());
}

bool CScopeDoc::CaptureCase() {
    // The same optics give the same units per pixel: a picture of the live camera measures as
    // the live picture does, not as the settings stood when the last document closed.
    if (const CScopeDoc* live = FindLiveDocument(); live && live != this) TakeMeasureSettings(*live);
    CaptureFrame(m_image);
    m_imageOriginal = m_image;
    if (m_image.IsValid()) {
        m_nFrameWidth = m_image.Width();
        m_nFrameHeight = m_image.Height();
    }
    CopyToCxImage();
    m_bModified = m_image.IsValid();
    // Live HDR and stitching start on this document once they exist; the titles are theirs.
    if (g_bHdrRequest) SetTitle(Translate(QStringLiteral("HDR")));
    else if (g_bAutoStitchRequest || g_bSemiStitchRequest) SetTitle(Translate(QStringLiteral("Stitching")));
    else SetTitle(QStringLiteral("Untitled%1").arg(++g_nUntitled));
    if (g_bHdrRequest || g_bAutoStitchRequest || g_bSemiStitchRequest)
        Frame().RunWindowCommand(*this, g_bHdrRequest ? ID_HDR : g_bAutoStitchRequest ? ID_AUTO_STITCH_START : ID_SEMI_STITCH_START);
    return true;
}

bool CScopeDoc::OnOpenDocument(const QString& path) {
    FCObjImage picture;
    if (!picture.LoadFromFile(path.toStdString())) {
        Message(QStringLiteral("NorvaneScope"), QStringLiteral("Invalid Image Format"));
        return false;
    }
    picture.ToTrueColor24();
    m_image.Swap(picture);
    m_nFrameWidth = m_image.Width();
    m_nFrameHeight = m_image.Height();
    m_nImageState = 2;
    m_imageOriginal = m_image;
    CopyToCxImage();
    m_strPath = path;
    SetTitle(QFileInfo(path).fileName());
    Frame().RefreshLayout(*this);
    theApp().m_nNewDocKind = 1;
    return true;
}

void CScopeDoc::OnCloseDocument() {
    // Live HDR and automatic stitching stop with their document; their workers come later.
    g_bAutoStitchRequest = false;
    g_bSemiStitchRequest = false;
}

void CScopeDoc::CameraGoingAway() { m_pRecorder->EndRecording(); }

void CScopeDoc::CameraListChanged() {
    CScopeDoc* live = FindLiveDocument();
    if (!live) return;
    CCameraManager& cm = theCameraManager();
    const CameraDeviceEntry& open = cm.m_currentCamera;
    for (const CameraDeviceEntry& e : cm.Devices())
        if (e.kind == open.kind && e.libraryIndex == open.libraryIndex &&
            std::equal(std::begin(e.name), std::end(e.name), std::begin(open.name)))
            return;
    live->CameraGoingAway();
}

// ---- Capture and processing ----

bool CScopeDoc::CaptureFrame(FCObjImage& target) {
    CCameraManager& cm = theCameraManager();
    int still = 0;
    cm.GetStillResolutionIndex(&still);
    int w = 0, h = 0;
    // The buffer is sized for the still the camera hands over, which need not be the live size.
    if (cm.GetStillResolutionSize(still, &w, &h) != 0 || w <= 0 || h <= 0) cm.GetPreviewSize(&w, &h);
    if (w <= 0 || h <= 0) return false;
    m_nFrameWidth = w;
    m_nFrameHeight = h;
    const int bits = cm.m_currentCamera.kind == KindMaker ? 24 : cm.StillBitCount();
    FCObjImage frame;
    if (!frame.Allocate(w, h, bits)) return false;
    if (cm.CaptureToBuffer(frame.GetMemStart(), still) != 0) return false;
    m_nImageState = 1;
    if (CScopeDoc* live = FindLiveDocument(); live && live->m_bProcessEnable) RunLiveChain(frame, live->GetProcessFlags());
    frame.ToTrueColor24();
    target.Swap(frame);
    return true;
}

void CScopeDoc::ReapplyProcessing() {
    if (!m_imageOriginal.IsValid()) return;
    m_image = m_imageOriginal;
    m_image.ToTrueColor24();
    RunStillChain(m_image, GetProcessFlags());
    m_bModified = true;
}
