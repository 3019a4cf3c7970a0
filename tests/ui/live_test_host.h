#pragma once
// What the main frame does for the live side, for the live tests: image windows in an MDI area,
// status panes, layout and repaint requests, the full-screen and recording commands, camera
// switching (ICameraSwitchHost) and the camera pane following the open camera.

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <map>

#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "ui/camera_pane.h"
#include "ui/child_frame.h"
#include "ui/scope_view.h"
#include "ui/video_wnd.h"

class LiveTestHost : public IScopeDocFrame, public ICameraSwitchHost {
public:
    QMdiArea* area = nullptr;
    CCameraPane* pane = nullptr;
    std::map<int, QString> status;
    int recordRequests = 0;

    // IScopeDocFrame
    void SetStatusText(int pane, const QString& text) override { status[pane] = text; }
    void PreviewStopped() override {
        if (pane) pane->ResetPages();
    }
    void RefreshLayout(CScopeDoc& doc) override {
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->RecalcLayout();
    }
    void Repaint(CScopeDoc& doc) override {
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->RepaintPicture();
    }
    bool RunWindowCommand(CScopeDoc& doc, int id) override {
        if (id == ID_RECORD) {
            ++recordRequests;
            return true;
        }
        if (id != ID_FULL_SCREEN) return false;
        if (CScopeView* v = CScopeView::ForDocument(&doc)) v->ToggleFullScreen();
        return true;
    }
    CScopeDoc* NewDocument() override {
        CChildFrame* frame = CChildFrame::Create();
        if (!frame) return nullptr;
        if (area) area->addSubWindow(frame);
        frame->show();
        if (frame->Document()->m_bLive && pane) pane->UpdateForCamera();
        return frame->Document();
    }

    // ICameraSwitchHost
    bool HasLiveDocument() override { return CScopeDoc::FindLiveDocument() != nullptr; }
    void OpenLiveDocument() override {
        theApp().m_nNewDocKind = 0;
        NewDocument();
    }
    void* LiveVideoWindow() override {
        CScopeView* v = LiveView();
        return v ? static_cast<void*>(v->VideoWindow()) : nullptr;
    }
    CameraFrameSink LiveFrameSink() override { return &CVideoWnd::OnFrame; }
    void LiveCameraClosing() override {
        if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->CameraGoingAway();
    }
    void RebuildPane(int) override {
        if (pane) pane->UpdateForCamera();
    }
    void SetDocumentTitle(const std::u16string& title) override {
        if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->SetTitle(QString::fromStdU16String(title));
    }
    void SetFrameSize(int width, int height) override {
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        if (!live) return;
        live->m_nFrameWidth = width;
        live->m_nFrameHeight = height;
        RefreshLayout(*live);
    }
    void ShowStatus(int pane, const std::string& text) override {
        SetStatusText(pane, QString::fromStdString(text));
    }

    static CScopeView* LiveView() {
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        return live ? CScopeView::ForDocument(live) : nullptr;
    }
    static CVideoWnd* LiveVideo() {
        CScopeView* v = LiveView();
        return v ? v->VideoWindow() : nullptr;
    }
    // The first device entry of a kind after a fresh enumeration, or -1.
    static int DeviceOfKind(int kind) {
        int count = 0;
        theCameraManager().EnumerateDevices(&count);
        for (const CameraDeviceEntry& e : theCameraManager().Devices())
            if (e.kind == kind) return e.listIndex;
        return -1;
    }
    // Switches to device i (opening the live document when there is none) and waits until its
    // window has painted two frames; null when it does not.
    CVideoWnd* GoLive(int device) {
        if (device < 0) return nullptr;
        theCameraManager().SwitchCamera(device, *this);
        CVideoWnd* video = LiveVideo();
        if (!video) return nullptr;
        const uint64_t before = video->FramesPainted();
        if (!QTest::qWaitFor([&] { return video->FramesPainted() >= before + 2; }, 30000)) return nullptr;
        return video;
    }
    // Closes every image window (the live one stops and closes the camera).
    void CloseAll() {
        if (!area) return;
        for (QMdiSubWindow* w : area->subWindowList()) delete w;
    }
};
