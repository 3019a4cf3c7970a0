#pragma once
// CScopeDoc: one image window's document. Either the single live preview (the running camera
// picture) or a still document holding one picture: a capture, a file, an acquisition, or the
// result of counting, mixing, HDR, stitching or EDF. Every document owns the overlay of its
// picture (an element manager). The menu and toolbar commands of an image window come here
// through one command table (DocCommands) that the user interface builds its actions from.
//
// Threads: documents live on the user-interface thread. The live frame path reads the live
// document's processing switches on the camera thread: those are atomics.

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

#include "document/processing.h"
#include "image/obj_image.h"

class CGVLElemMgr;
class CRecorder;
class CScopeDoc;
class IScopePrompt;

// What a document needs from its windows and the main frame. The user interface implements it;
// without one (command-line tool, tests) every call does nothing.
class IScopeDocFrame {
public:
    virtual ~IScopeDocFrame() = default;
    virtual void SetStatusText(int /*pane*/, const QString& /*text*/) {}
    virtual void SetZoomSelection(int /*index*/) {}
    // The camera pane learns that the preview stopped (the live document went away).
    virtual void PreviewStopped() {}
    virtual void RefreshLayout(CScopeDoc& /*doc*/) {}
    virtual void Repaint(CScopeDoc& /*doc*/) {}
    virtual void TitleChanged(CScopeDoc& /*doc*/) {}
    // Commands served by windows and dialogs (Save As, Save Option, Resolution, Binary, RGB,
    // calibration, measurement setting, recording, interval capture, full screen, the UVC
    // pages, counting, mixing, stitching, HDR, EDF). False when nothing serves the command yet.
    virtual bool RunWindowCommand(CScopeDoc& /*doc*/, int /*id*/) { return false; }
    // The framework's new-document step: a new document with its view. Without windows the
    // document is made and kept by the core (NewDocumentWithoutView).
    virtual CScopeDoc* NewDocument();
};

// A new document as the framework would make it, without a view: constructed, given the view's
// decision (with the camera's current resolution) and the new-document step. Kept until
// CloseDocumentWithoutView; null when the document was refused.
CScopeDoc* NewDocumentWithoutView();
void CloseDocumentWithoutView(CScopeDoc* doc);

// Process-wide state that decides what a new document becomes (user-interface thread only).
extern bool g_bLiveDocExists;
extern bool g_bTwainRequest;
// The acquired picture waiting for its document while g_bTwainRequest is set: a movable memory
// handle of a packed device-independent bitmap, freed by the acquisition right after the
// document is made.
extern void* g_hTwainImage;
extern bool g_bMixRequest;
extern bool g_bCountingRequest;
extern bool g_bHdrRequest;
extern bool g_bAutoStitchRequest;
extern bool g_bSemiStitchRequest;
extern int g_nCountingNo;

// The application's part of it.
struct CScopeAppState {
    int m_nNewDocKind = 0;        // 1: the next document holds a still picture
    FCObjImage m_pSharedImage;    // the mix result handed to the next new document
    FCObjImage m_twainImage;      // the acquired picture handed to the next new document
    FCObjImage m_countingResult;  // the counting result handed to the next new document
    int m_nMixCount = 0;
    IScopeDocFrame* frame = nullptr;
    IScopePrompt* prompt = nullptr;
};
CScopeAppState& theApp();

// Command identifiers of the image window.
enum DocCommandId : int {
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_SAVE_PLUS_MEASURE = 32857,
    ID_SAVE_ONLY_IMAGE = 32858,
    ID_SAVE_AS_ONLY_IMAGE = 32859,
    ID_SAVE_AS_PLUS_MEASURE = 32860,
    ID_SAVE_OPTION = 32877,
    ID_SAVE_RESOLUTION = 32926,
    ID_CAPTURE = 32842,
    ID_PREVIEW = 32843,
    ID_PAUSE = 32900,
    ID_LIVE_NOTHING = 32901,
    ID_RECORD = 32902,
    ID_INTERVAL_CAPTURE = 32903,
    ID_FULL_SCREEN = 32886,
    ID_UVC_PAGES = 32890,
    ID_NOTHING = 32876,
    ID_ZOOM = 32920,
    ID_PROCESS_ENABLE = 32911,
    ID_FLIP_VERTICAL = 32904,
    ID_FLIP_HORIZONTAL = 32905,
    ID_GRAY = 32906,
    ID_NEGATIVE = 32907,
    ID_EMBOSS = 32908,
    ID_SHARPEN = 32909,
    ID_BINARY = 32912,
    ID_RGB = 32914,
    ID_CROSS_DASHED = 32928,
    ID_CROSS_SOLID = 32927,
    ID_TOOL_SELECT = 32850,
    ID_TOOL_LINE = 32851,
    ID_TOOL_ANGLE = 32896,
    ID_TOOL_RECT = 32897,
    ID_TOOL_POLYGON = 32923,
    ID_TOOL_CIRCLE = 32898,
    ID_TOOL_TRICIRCLE = 32899,
    ID_TOOL_MOVE = 32891,
    ID_TOOL_DELETE = 32855,
    ID_TOOL_DELETE_ALL = 32856,
    ID_TOOL_COUNTING = 32921,
    ID_TOOL_COUNTING2 = 32982,
    ID_TOOL_COUNTER_B = 32980,
    ID_TOOL_COUNTER_C = 32981,
    ID_TOOL_COUNTER_D = 32983,
    ID_TOOL_ARROW = 32924,
    ID_TOOL_TEXT = 32925,
    ID_CALIBRATION = 32869,
    ID_MEASURE_SETTING = 32870,
    ID_EXPORT_DATA = 32922,
    ID_WATERSHED = 32940,
    ID_SPLIT_OBJECTS = 32948,
    ID_COUNTING_RESULTS = 32942,
    ID_MIX = 32947,
    ID_STITCHING = 32946,
    ID_EDF = 32944,
    ID_HDR = 32941,
    ID_AUTO_STITCH_START = 32953,
    ID_AUTO_STITCH_STOP = 32954,
    ID_SEMI_STITCH_START = 32955,
    ID_SEMI_STITCH_STOP = 32956,
};

// One command of the image window: its menu text (none for toolbar-only commands), what it does
// and its update rule.
struct DocCommand {
    int id;
    const char* menuText;  // null: reached from a toolbar or the zoom list only
    void (*handler)(CScopeDoc& doc);
    bool (*enabled)(const CScopeDoc& doc);  // null: always enabled
    bool (*checked)(const CScopeDoc& doc);  // null: never checked
};
const std::vector<DocCommand>& DocCommands();
const DocCommand* FindDocCommand(int id);

class CScopeDoc {
public:
    static constexpr int kZoomCount = 11;

    CScopeDoc();
    ~CScopeDoc();
    CScopeDoc(const CScopeDoc&) = delete;
    CScopeDoc& operator=(const CScopeDoc&) = delete;

    // Every document in creation order.
    static const std::vector<CScopeDoc*>& AllDocuments();
    // The first document that is the live preview, or null.
    static CScopeDoc* FindLiveDocument();

    // The view's decision when it is created: live when no live document exists, the
    // application asks for no still picture and this document may go live. cameraWidth and
    // cameraHeight are the camera's current resolution.
    void OnViewCreated(bool hasView, int cameraWidth, int cameraHeight);
    // The new-document step after the view exists; false when the document is refused.
    bool OnNewDocument();
    // Opens a picture file; false (after "Invalid Image Format") when it cannot be read.
    bool OnOpenDocument(const QString& path);
    // Stops the workers a closing document runs.
    void OnCloseDocument();
    // The live camera goes away (its window closes, another camera is switched to, it is
    // unplugged, the program quits): a recording still running is finished into a playable file.
    void CameraGoingAway();
    // After the device list changed: when the open camera is no longer attached, the live
    // document's camera has gone away.
    static void CameraListChanged();

    // Captures one camera frame into target (24 bits), with the live document's processing
    // when it is enabled. False when the camera delivered nothing (target then unchanged).
    bool CaptureFrame(FCObjImage& target);
    // Rebuilds the still picture from the unprocessed copy with this document's switches.
    void ReapplyProcessing();
    // The calibration and the measurement display values (colours, precision, font) of another
    // document's overlay.
    void TakeMeasureSettings(const CScopeDoc& from);

    // Commands.
    bool OnCommand(int id);
    // The zoom list's selection change (command ID_ZOOM).
    void SelectZoom(int index);
    // The current overlay tool; leaving a tool finishes what it left half-drawn.
    void SetTool(int tool);
    bool IsCommandEnabled(int id) const;
    bool IsCommandChecked(int id) const;

    // Saving.
    bool SaveImage(const QString& path, bool withMeasure, bool withRuler, bool withTime,
                   bool withTitle, const QString& title, const QString& subject,
                   const QString& author, const QString& comment);
    // The path written, or empty when the save failed.
    QString QuickSave();
    // One picture of an interval capture; path (when given) receives the file's path, also when
    // the save failed.
    bool IntervalSave(QString* path = nullptr);
    bool SaveToPath(const QString& path);
    bool FixedFileSave(bool withOverlay);

    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);
    CGVLElemMgr& ElemMgr() { return *m_pElemMgr; }
    const CGVLElemMgr& ElemMgr() const { return *m_pElemMgr; }
    // The live recording: its state (m_nRecordState), file and encoder; the Record dialog and
    // the frame path's recording hook work on it.
    CRecorder& Recorder() { return *m_pRecorder; }

    // The processing switches as one consistent copy, and back.
    ProcessFlags GetProcessFlags() const;
    void SetProcessFlags(const ProcessFlags& flags);
    bool IsLiveAndPlaying() const { return m_bLive && m_bPlaying; }
    // A still picture captured, made or changed here and not saved since: closing it loses
    // work. The live picture never is (it is the camera's).
    bool IsModified() const { return m_bModified && !m_bLive; }
    // Closing goes ahead without saving.
    void DiscardChanges() { m_bModified = false; }

    bool m_bLive = false;
    std::atomic<bool> m_bPlaying{false};
    bool m_bMayGoLive = false;
    int m_nImageState = 0;
    FCObjImage m_image;
    FCObjImage m_imageOriginal;
    FCObjImage m_imageLive;
    FCObjImage m_imageCompose;
    std::unique_ptr<FCObjImage> m_pCxImage;  // the copy that printing and mixing use
    std::unique_ptr<CGVLElemMgr> m_pElemMgr;
    std::unique_ptr<CRecorder> m_pRecorder;
    int m_nTool = 0;
    int m_nZoomIndex = 0;
    int m_nFrameWidth = 1280;
    int m_nFrameHeight = 1024;
    int m_nDisplayWidth = 0;
    int m_nDisplayHeight = 0;
    bool m_bSaveWithMeasure = true;
    int m_nSaveResolution = 1;
    std::atomic<bool> m_bProcessEnable{false};
    std::atomic<bool> m_bFlipVertical{false};
    std::atomic<bool> m_bFlipHorizontal{false};
    std::atomic<bool> m_bGray{false};
    std::atomic<bool> m_bNegative{false};
    std::atomic<bool> m_bBinary{false};
    std::atomic<bool> m_bEmboss{false};
    std::atomic<bool> m_bSharpen{false};
    std::atomic<bool> m_bRgbGain{false};
    std::atomic<int> m_nBinaryThreshold{50};
    std::atomic<int> m_nGainRed{0};
    std::atomic<int> m_nGainGreen{0};
    std::atomic<int> m_nGainBlue{0};
    bool m_bCrossSolid = false;
    bool m_bCrossDashed = false;
    QString m_strPath;
    // The Calibration command has the ruler and its dialog shown.
    bool m_bCalibrationShown = false;
    // Counting: the segmentation of a counting document (0 in every other document, deleted
    // with it), the split mode ("Split Objects") and a separating line being drawn.
    int m_hSegm = 0;
    bool m_bSplitMode = false;
    bool m_bSplitDrawing = false;

private:
    friend struct DocCommandHandlers;
    bool CaptureCase();
    void CopyToCxImage();
    // Burns the chosen overlay parts into a fresh buffer of the picture's size.
    std::vector<uint8_t> BurnOverlay(bool withMeasure, bool withRuler, bool withTime, bool withTitle,
                                     const QString& title);
    void Message(const QString& caption, const QString& text) const;
    void ToggleProcessing(std::atomic<bool> CScopeDoc::*flag);
    void ToggleCross(bool dashed);

    QString m_strTitle;
    bool m_bModified = false;
};

// "%s%s%04d.%s" of folder, prefix, number and extension for the first number, counting up from
// first, whose file does not exist. The folder ends with a separator.
QString MakeUniqueName(const QString& folder, const QString& prefix, const QString& extension, int first);

// Inserts the summary segment (title, subject, author, comment) after the first 20 bytes of a
// JPEG file. False (after telling the user through the prompt, when one is given) when the file
// cannot be read or written.
bool WriteJpegSummary(const QString& path, const QString& title, const QString& subject,
                      const QString& author, const QString& comment, IScopePrompt* prompt = nullptr);
// The segment itself (marker to the last text), for the texts as given.
QByteArray JpegSummarySegment(const QString& title, const QString& subject, const QString& author,
                              const QString& comment);
