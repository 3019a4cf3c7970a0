// The image window's command table: what each command does and when it is enabled and checked.

#include <QCoreApplication>

#include <memory>

#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "settings/language_table.h"

namespace {

IScopeDocFrame& Frame() {
    static IScopeDocFrame none;
    return theApp().frame ? *theApp().frame : none;
}

std::vector<std::unique_ptr<CScopeDoc>>& OwnedDocuments() {
    static std::vector<std::unique_ptr<CScopeDoc>> docs;
    return docs;
}

bool LiveAndRunning(const CScopeDoc& d) { return d.m_bLive && d.m_bPlaying; }
bool LiveAndPaused(const CScopeDoc& d) { return d.m_bLive && !d.m_bPlaying; }
bool NotLive(const CScopeDoc& d) { return !d.m_bLive; }
bool ProcessingOn(const CScopeDoc& d) { return d.m_bProcessEnable; }
bool Never(const CScopeDoc&) { return false; }

// Commands served by windows and dialogs of the user interface.
void Window(CScopeDoc& d, int id) { Frame().RunWindowCommand(d, id); }

template <int Tool>
void SetTool(CScopeDoc& d) {
    d.SetTool(Tool);
}
template <int Tool>
bool ToolChecked(const CScopeDoc& d) {
    return d.m_nTool == Tool;
}

}  // namespace

CScopeDoc* IScopeDocFrame::NewDocument() { return NewDocumentWithoutView(); }

CScopeDoc* NewDocumentWithoutView() {
    auto doc = std::make_unique<CScopeDoc>();
    int w = 1280, h = 1024;
    theCameraManager().GetPreviewSize(&w, &h);
    doc->OnViewCreated(true, w, h);
    if (!doc->OnNewDocument()) return nullptr;
    OwnedDocuments().push_back(std::move(doc));
    return OwnedDocuments().back().get();
}

void CloseDocumentWithoutView(CScopeDoc* doc) {
    auto& docs = OwnedDocuments();
    for (auto it = docs.begin(); it != docs.end(); ++it)
        if (it->get() == doc) {
            doc->OnCloseDocument();
            docs.erase(it);
            theApp().m_nNewDocKind = 0;
            return;
        }
}

// Handlers that need the document's private parts.
struct DocCommandHandlers {
    static void Capture(CScopeDoc&) {
        if (g_bHdrRequest || g_bAutoStitchRequest || g_bSemiStitchRequest) return;
        Frame().NewDocument();
    }
    static void Preview(CScopeDoc& d) {
        if (!d.m_bLive) return;
        d.m_bPlaying = true;
        theCameraManager().Stop();
        theCameraManager().Play();
    }
    static void Pause(CScopeDoc& d) {
        if (!d.m_bLive) return;
        d.m_bPlaying = false;
        d.CaptureFrame(d.m_image);
        theCameraManager().Pause();
        Frame().Repaint(d);
    }
    static void Toggle(CScopeDoc& d, std::atomic<bool> CScopeDoc::*flag) { d.ToggleProcessing(flag); }
    static void Cross(CScopeDoc& d, bool dashed) { d.ToggleCross(dashed); }
    static void DeleteAll(CScopeDoc& d) {
        d.SetTool(201);
        d.m_pElemMgr->DeleteAll();
        d.m_nTool = 0;
        Frame().Repaint(d);
    }
    static void Calibration(CScopeDoc& d) {
        d.m_bCalibrationShown = !d.m_bCalibrationShown;
        d.m_pElemMgr->ShowRuler(d.m_bCalibrationShown);
        d.SetTool(0);
        Frame().RunWindowCommand(d, ID_CALIBRATION);
        Frame().Repaint(d);
    }
    static void Hdr(CScopeDoc& d) {
        if (d.m_bLive) {
            g_bHdrRequest = true;
            Frame().NewDocument();
        } else {
            Frame().RunWindowCommand(d, ID_HDR);
        }
    }
};

void CScopeDoc::ToggleProcessing(std::atomic<bool> CScopeDoc::*flag) {
    (this->*flag) = !(this->*flag);
    if (!m_bLive) {
        ReapplyProcessing();
        Frame().Repaint(*this);
    }
}

void CScopeDoc::ToggleCross(bool dashed) {
    if (dashed) {
        m_bCrossDashed = !m_bCrossDashed;
        if (m_bCrossDashed) m_bCrossSolid = false;
    } else {
        m_bCrossSolid = !m_bCrossSolid;
        if (m_bCrossSolid) m_bCrossDashed = false;
    }
    m_pElemMgr->SetCross(m_bCrossSolid, m_bCrossDashed);
    Frame().Repaint(*this);
}

void CScopeDoc::SelectZoom(int index) {
    m_nZoomIndex = std::clamp(index, 0, kZoomCount - 1);
    Frame().RefreshLayout(*this);
    SetTool(0);
}

void CScopeDoc::SetTool(int tool) {
    if (tool != m_nTool) {
        m_pElemMgr->ToolChanging();
        Frame().Repaint(*this);
    }
    m_nTool = tool;
}

const std::vector<DocCommand>& DocCommands() {
    using H = DocCommandHandlers;
#define NS_WINDOW(id) [](CScopeDoc& d) { Window(d, id); }
#define NS_TOGGLE(member) [](CScopeDoc& d) { H::Toggle(d, &CScopeDoc::member); }
#define NS_CHECKED(member) [](const CScopeDoc& d) -> bool { return d.member; }
    static const std::vector<DocCommand> table = {
        {ID_FILE_SAVE, "&Save           Ctrl+S", [](CScopeDoc& d) { d.QuickSave(); }, nullptr, nullptr},
        {ID_FILE_SAVE_AS, "Save &As...", NS_WINDOW(ID_FILE_SAVE_AS), nullptr, nullptr},
        {ID_SAVE_PLUS_MEASURE, "Save plus measure", [](CScopeDoc& d) { d.FixedFileSave(true); }, nullptr, nullptr},
        {ID_SAVE_ONLY_IMAGE, "Save only image", [](CScopeDoc& d) { d.FixedFileSave(false); }, nullptr, nullptr},
        {ID_SAVE_AS_ONLY_IMAGE, "Save As only image",
         [](CScopeDoc& d) {
             d.m_bSaveWithMeasure = false;
             Window(d, ID_FILE_SAVE_AS);
         },
         nullptr, nullptr},
        {ID_SAVE_AS_PLUS_MEASURE, "Save As plus measure",
         [](CScopeDoc& d) {
             d.m_bSaveWithMeasure = true;
             Window(d, ID_FILE_SAVE_AS);
         },
         nullptr, nullptr},
        {ID_SAVE_OPTION, "Save &Option", NS_WINDOW(ID_SAVE_OPTION), nullptr, nullptr},
        {ID_SAVE_RESOLUTION, nullptr, NS_WINDOW(ID_SAVE_RESOLUTION), LiveAndRunning, nullptr},
        {ID_CAPTURE, nullptr, H::Capture, LiveAndRunning, nullptr},
        {ID_PREVIEW, nullptr, H::Preview, LiveAndPaused, nullptr},
        {ID_PAUSE, nullptr, H::Pause, LiveAndRunning, nullptr},
        {ID_LIVE_NOTHING, nullptr, [](CScopeDoc&) {}, LiveAndRunning, nullptr},
        {ID_RECORD, nullptr, NS_WINDOW(ID_RECORD), LiveAndRunning, nullptr},
        {ID_INTERVAL_CAPTURE, nullptr, NS_WINDOW(ID_INTERVAL_CAPTURE), LiveAndRunning, nullptr},
        {ID_FULL_SCREEN, "&Full Screen", NS_WINDOW(ID_FULL_SCREEN), LiveAndRunning, nullptr},
        {ID_UVC_PAGES, nullptr,
         [](CScopeDoc& d) {
             if (theCameraManager().m_nKind == KindUvc) Window(d, ID_UVC_PAGES);
         },
         nullptr, nullptr},
        {ID_NOTHING, nullptr, [](CScopeDoc&) {}, nullptr, nullptr},
        {ID_ZOOM, nullptr, [](CScopeDoc& d) { d.SelectZoom(d.m_nZoomIndex); }, nullptr, nullptr},
        {ID_PROCESS_ENABLE, "&Enable", [](CScopeDoc& d) { d.m_bProcessEnable = !d.m_bProcessEnable; }, nullptr,
         NS_CHECKED(m_bProcessEnable)},
        {ID_FLIP_VERTICAL, "Flip &Vertical", NS_TOGGLE(m_bFlipVertical), ProcessingOn, NS_CHECKED(m_bFlipVertical)},
        {ID_FLIP_HORIZONTAL, "Flip &Horizontal", NS_TOGGLE(m_bFlipHorizontal), ProcessingOn,
         NS_CHECKED(m_bFlipHorizontal)},
        {ID_GRAY, "&Gray", NS_TOGGLE(m_bGray), ProcessingOn, NS_CHECKED(m_bGray)},
        {ID_NEGATIVE, "&Negative", NS_TOGGLE(m_bNegative), ProcessingOn, NS_CHECKED(m_bNegative)},
        {ID_EMBOSS, "E&mboss", NS_TOGGLE(m_bEmboss), ProcessingOn, NS_CHECKED(m_bEmboss)},
        {ID_SHARPEN, "&Sharpen", NS_TOGGLE(m_bSharpen), ProcessingOn, NS_CHECKED(m_bSharpen)},
        {ID_BINARY, "&Binary", NS_WINDOW(ID_BINARY), ProcessingOn, NS_CHECKED(m_bBinary)},
        {ID_RGB, "&RGB", NS_WINDOW(ID_RGB), ProcessingOn, NS_CHECKED(m_bRgbGain)},
        {ID_CROSS_DASHED, "Dashed C&ross Line", [](CScopeDoc& d) { H::Cross(d, true); }, nullptr,
         NS_CHECKED(m_bCrossDashed)},
        {ID_CROSS_SOLID, "&Cross Line", [](CScopeDoc& d) { H::Cross(d, false); }, nullptr, NS_CHECKED(m_bCrossSolid)},
        {ID_TOOL_SELECT, nullptr, SetTool<1>, nullptr, nullptr},
        {ID_TOOL_LINE, "&Line", SetTool<2>, nullptr, ToolChecked<2>},
        {ID_TOOL_ANGLE, "&Angle", SetTool<3>, nullptr, ToolChecked<3>},
        {ID_TOOL_RECT, "&Rect", SetTool<4>, nullptr, ToolChecked<4>},
        {ID_TOOL_POLYGON, "&Polygon", SetTool<5>, nullptr, ToolChecked<5>},
        {ID_TOOL_CIRCLE, "&Circle", SetTool<6>, nullptr, ToolChecked<6>},
        {ID_TOOL_TRICIRCLE, "&TriCircle", SetTool<7>, nullptr, ToolChecked<7>},
        {ID_TOOL_MOVE, "Mo&ve", SetTool<9>, nullptr, ToolChecked<9>},
        {ID_TOOL_DELETE, "&Delete", SetTool<200>, nullptr, ToolChecked<200>},
        {ID_TOOL_DELETE_ALL, "Delete&All", H::DeleteAll, nullptr, nullptr},
        {ID_TOOL_COUNTING, "Count&ing", SetTool<202>, nullptr, ToolChecked<202>},
        {ID_TOOL_COUNTING2, "Count&ing", SetTool<202>, nullptr, ToolChecked<202>},
        {ID_TOOL_COUNTER_B, nullptr, SetTool<203>, nullptr, ToolChecked<203>},
        {ID_TOOL_COUNTER_C, nullptr, SetTool<204>, nullptr, ToolChecked<204>},
        {ID_TOOL_COUNTER_D, nullptr, SetTool<205>, nullptr, ToolChecked<205>},
        {ID_TOOL_ARROW, "A&rrow", SetTool<206>, nullptr, ToolChecked<206>},
        {ID_TOOL_TEXT, "&Text", SetTool<208>, nullptr, ToolChecked<208>},
        {ID_CALIBRATION, "Calibratio&n", H::Calibration, nullptr, NS_CHECKED(m_bCalibrationShown)},
        {ID_MEASURE_SETTING, "&Setting", NS_WINDOW(ID_MEASURE_SETTING), nullptr, nullptr},
        {ID_EXPORT_DATA, "Ex&port data", [](CScopeDoc& d) { d.ElemMgr().ExportCsv(SystemLanguageId()); }, nullptr,
         nullptr},
        {ID_WATERSHED, "&Watershed", NS_WINDOW(ID_WATERSHED), NotLive, nullptr},
        // Counting's segmentation does not exist yet, so its follow-up commands stay disabled.
        {ID_SPLIT_OBJECTS, "&Split Objects", NS_WINDOW(ID_SPLIT_OBJECTS), Never, nullptr},
        {ID_COUNTING_RESULTS, "&Counting Results", NS_WINDOW(ID_COUNTING_RESULTS), Never, nullptr},
        {ID_MIX, "&Mix", NS_WINDOW(ID_MIX), NotLive, nullptr},
        {ID_STITCHING, "&Stitching", NS_WINDOW(ID_STITCHING), nullptr, nullptr},
        {ID_EDF, "&EDF", NS_WINDOW(ID_EDF), nullptr, nullptr},
        {ID_HDR, "&HDR", H::Hdr, nullptr, nullptr},
        {ID_AUTO_STITCH_START, "Start", NS_WINDOW(ID_AUTO_STITCH_START), [](const CScopeDoc& d) { return d.m_bLive; },
         nullptr},
        {ID_AUTO_STITCH_STOP, "Stop", NS_WINDOW(ID_AUTO_STITCH_STOP), Never, nullptr},
        {ID_SEMI_STITCH_START, "Start", NS_WINDOW(ID_SEMI_STITCH_START), [](const CScopeDoc& d) { return d.m_bLive; },
         nullptr},
        {ID_SEMI_STITCH_STOP, "Stop", NS_WINDOW(ID_SEMI_STITCH_STOP), Never, nullptr},
    };
#undef NS_WINDOW
#undef NS_TOGGLE
#undef NS_CHECKED
    return table;
}

const DocCommand* FindDocCommand(int id) {
    for (const DocCommand& c : DocCommands())
        if (c.id == id) return &c;
    return nullptr;
}

bool CScopeDoc::OnCommand(int id) {
    const DocCommand* c = FindDocCommand(id);
    if (!c || !IsCommandEnabled(id)) return false;
    // The tools that leave the counting split mode do so here once counting exists.
    c->handler(*this);
    return true;
}

bool CScopeDoc::IsCommandEnabled(int id) const {
    const DocCommand* c = FindDocCommand(id);
    return c && (!c->enabled || c->enabled(*this));
}

bool CScopeDoc::IsCommandChecked(int id) const {
    const DocCommand* c = FindDocCommand(id);
    return c && c->checked && c->checked(*this);
}
