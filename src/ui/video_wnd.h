#pragma once
// CVideoWnd: the live document's picture window. Creating it opens the current camera with this
// window as the frame sink; destroying it stops and closes the camera.
//
// Frames arrive on the camera's thread: HandleFrame copies, processes, records (the document's
// recorder) and draws each into an off-screen picture (CLiveFramePath) under m_lock; the
// user-interface thread then shows only the newest finished picture (one pending slot, one
// queued repaint at most). Destroying the window ends a recording still running.
//
// Lock order: m_lock (this window) -> the recorder's lock, then m_lock -> the overlay's lock
// (CGVLElemMgr) -> the frame path's hand-off lock. The user-interface thread paints a playing
// picture with the hand-off lock only, and never waits for the camera thread (Stop,
// CloseCamera) while holding m_lock.

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>

#include "camera/camera_types.h"
#include "document/live_frame_path.h"
#include "document/view_layout.h"
#include "overlay/element_manager.h"

class CScopeDoc;
class CScopeView;
class IStageControl;
class QKeyEvent;

// The live picture may be switched off while live stitching runs (frames are dropped).
extern std::atomic<bool> g_bLiveDisplay;

class CVideoWnd : public QWidget, public IGVLWindow {
    Q_OBJECT
public:
    static constexpr int kControlId = 2322;

    CVideoWnd(CScopeDoc* doc, CScopeView* view, QWidget* parent = nullptr);
    ~CVideoWnd() override;

    // The frame sink handed to the camera (user = the window).
    static int OnFrame(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user);
    // Handles one frame as the camera thread does; returns false when it was dropped.
    bool HandleFrame(const uint8_t* frame, const FCBitmapInfoHeader& header);

    // Frames are taken once the document has its live buffer (after its new-document step).
    void StartFrames() { m_bAccepting = true; }
    // The display size the view's layout chose (user-interface thread; read per frame).
    void SetDisplaySize(QSize size);
    QSize DisplaySize() const;

    // Frames handled so far, and the display frame rate (frames painted per second).
    uint64_t FramesReceived() const { return m_nFramesReceived.load(); }
    uint64_t FramesPainted() const { return m_nFramesPainted; }
    float DisplayFrameRate() const;
    bool FrameSeen() const { return m_bFrameSeen.load(); }
    const CLiveFramePath& FramePath() const { return m_path; }

    // The full-screen flag: frames are drawn letterboxed on the full-screen window.
    bool IsFullScreen() const { return m_bFullScreen; }
    void SetFullScreen(bool on, QWidget* target);

    // The picture and overlay as painted, into any painter of the given size (the window's, or
    // the screen's in full screen).
    void PaintTo(QPainter& painter, QSize size, bool fullScreen);
    // Where the last shown picture went on its target (full-screen letterbox or display size).
    QRect ShownRect() const { return m_shownRect; }

    // The stage under a simulated camera, moved as a hand moves a slide: dragging with the
    // right mouse button carries the specimen with the pointer; the arrow keys move the field of
    // view at the pane's stage speed (Shift: a tenth). A right click without a drag still goes
    // to the overlay (it closes a polygon). StageKey takes the arrow keys the view receives;
    // true when one was used.
    bool StageKey(QKeyEvent* e);
    void StopStageKeys();
    // The specimen moves by (dx, dy) pixels of the picture as shown (zoom undone, processing
    // flips taken into account). False without a stage.
    bool MoveSpecimen(double dx, double dy);

    // IGVLWindow
    void InvalidateRect(const QRect& rc, bool erase) override;
    void InvalidateAll() override;
    void RulerChanged() override;

signals:
    void rulerChanged();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    void UpdateCursor();
    void StageKeyTick();
    void ScheduleRepaint();
    void CountPaintedFrame();
    // The playing picture: the newest finished one, drawn where it was made for.
    void PaintPlaying(QPainter& painter, QSize size);
    // The paused still with its overlay (user-interface thread, under m_lock).
    void PaintStill(QPainter& painter, QSize size, bool fullScreen);

    CScopeDoc* m_pDoc = nullptr;
    CScopeView* m_pView = nullptr;
    QWidget* m_pTarget = nullptr;  // where frames are shown: this window or the full-screen one
    std::atomic<bool> m_bFullScreen{false};
    std::atomic<int> m_nScreenWidth{0}, m_nScreenHeight{0};
    std::atomic<int> m_nDisplayWidth{0}, m_nDisplayHeight{0};
    std::atomic<bool> m_bAccepting{false};

    mutable std::mutex m_lock;  // the document's live buffer, the frame path, all drawing
    CLiveFramePath m_path;
    bool m_bClosing = false;  // under m_lock: frames arriving during destruction are dropped

    QImage m_shown;  // user-interface thread: the picture on screen
    QRect m_shownRect;
    CDisplayPicture m_still;  // the paused still at display size

    std::atomic<bool> m_bFrameSeen{false};
    std::atomic<bool> m_bRepaintPending{false};
    std::atomic<uint64_t> m_nFramesReceived{0};
    uint64_t m_nFramesPainted = 0;
    // Stage steering (user-interface thread).
    std::unique_ptr<IStageControl> m_stage;  // while a right-button drag runs
    QPoint m_rightPress;
    QPointF m_rightLast;
    unsigned m_rightFlags = 0;
    bool m_bRightPending = false;
    bool m_bStageDragging = false;
    int m_nHeldArrows = 0;  // bits: left, right, up, down
    QTimer m_stageKeyTimer;
    QElapsedTimer m_stageKeyClock;
    QElapsedTimer m_rateClock;
    uint64_t m_nRateFrames = 0;
    float m_fDisplayRate = 0.0f;
};
