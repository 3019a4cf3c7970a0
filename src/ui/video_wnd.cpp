#include "ui/video_wnd.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>

#include "camera/camera_manager.h"
#include "camera/recording/recorder.h"
#include "document/scope_doc.h"
#include "image/image_draw.h"
#include "ui/gvl_wnd.h"
#include "ui/scope_view.h"
#include "ui/view_cursors.h"

std::atomic<bool> g_bLiveDisplay{true};

CVideoWnd::CVideoWnd(CScopeDoc* doc, CScopeView* view, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pView(view), m_pTarget(this) {
    setObjectName(QStringLiteral("VideoWnd"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 1280, 1024);
    m_rateClock.start();
    if (m_pDoc) {
        CRecorder* recorder = &m_pDoc->Recorder();
        m_path.SetRecordHook([recorder](uint8_t* bits, int w, int h, int bitCount) {
            recorder->RecordFrame(bits, w, h, bitCount);
        });
    }
    theCameraManager().OpenCamera(this, &CVideoWnd::OnFrame, this);
}

CVideoWnd::~CVideoWnd() {
    // The camera's thread must be quiet before the buffers go; m_lock is not held here, so a
    // frame in progress can finish.
    theCameraManager().Stop();
    theCameraManager().CloseCamera();
    {
        std::lock_guard lock(m_lock);
        m_bClosing = true;
        m_path.SetRecordHook(nullptr);
    }
    if (m_pDoc) {
        m_pDoc->CameraGoingAway();
        m_pDoc->ElemMgr().SetWindow(nullptr);
    }
    if (IScopeDocFrame* frame = theApp().frame)
        for (int pane = 1; pane <= 3; ++pane) frame->SetStatusText(pane, QStringLiteral(" "));
}

int CVideoWnd::OnFrame(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
    if (user && frame && header) static_cast<CVideoWnd*>(user)->HandleFrame(frame, *header);
    return 0;
}

void CVideoWnd::SetDisplaySize(QSize size) {
    m_nDisplayWidth = size.width();
    m_nDisplayHeight = size.height();
}

QSize CVideoWnd::DisplaySize() const { return QSize(m_nDisplayWidth.load(), m_nDisplayHeight.load()); }

bool CVideoWnd::HandleFrame(const uint8_t* frame, const FCBitmapInfoHeader& header) {
    if (!g_bLiveDisplay || !frame || !m_pDoc || !m_bAccepting) return false;
    // A camera that keeps delivering while paused must not replace the still of the pause.
    if (!m_pDoc->m_bPlaying) return false;
    CLiveFramePath::Target target;
    target.display = DisplaySize();
    target.fullScreen = m_bFullScreen;
    target.screen = QSize(m_nScreenWidth.load(), m_nScreenHeight.load());
    // The switches are atomics: one consistent copy per frame.
    const ProcessFlags flags = m_pDoc->GetProcessFlags();
    CLiveFramePath::Result result;
    {
        std::lock_guard lock(m_lock);
        if (m_bClosing) return false;
        result = m_path.Process(frame, header, m_pDoc->m_imageLive, flags, target, &m_pDoc->ElemMgr());
        if (result == CLiveFramePath::Dropped) return false;
        ++m_nFramesReceived;
        if (result == CLiveFramePath::Rendered) {
            m_bFrameSeen = true;
            // Posted under the lock: once the destructor has taken it, no frame reaches the
            // window, and a posted call dies with the window.
            ScheduleRepaint();
        }
    }
    return true;
}

void CVideoWnd::ScheduleRepaint() {
    // One repaint request in flight at a time: a slow user-interface thread skips frames
    // instead of piling up events.
    if (m_bRepaintPending.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bRepaintPending = false;
            if (m_pTarget) m_pTarget->update();
        },
        Qt::QueuedConnection);
}

float CVideoWnd::DisplayFrameRate() const {
    // No picture for two seconds: nothing is being displayed any more.
    if (m_rateClock.elapsed() > 2000) return 0.0f;
    return m_fDisplayRate;
}

void CVideoWnd::CountPaintedFrame() {
    ++m_nFramesPainted;
    ++m_nRateFrames;
    const qint64 ms = m_rateClock.elapsed();
    if (ms >= 1000) {
        m_fDisplayRate = static_cast<float>(m_nRateFrames * 1000.0 / static_cast<double>(ms));
        m_nRateFrames = 0;
        m_rateClock.restart();
    }
}

void CVideoWnd::SetFullScreen(bool on, QWidget* target) {
    QWidget* old = m_pTarget;
    m_pTarget = target ? target : this;
    if (on && m_pTarget != this) {
        m_nScreenWidth = m_pTarget->width();
        m_nScreenHeight = m_pTarget->height();
    }
    m_bFullScreen = on;
    if (old && old != m_pTarget) old->update();
    m_pTarget->update();
    update();
}

void CVideoWnd::PaintPlaying(QPainter& painter, QSize size) {
    if (m_path.TakeNewest(m_shown, m_shownRect)) CountPaintedFrame();
    const QRect all(QPoint(0, 0), size);
    if (m_shown.isNull()) {
        // Playing without a frame yet: nothing to show.
        painter.fillRect(all, Qt::black);
        return;
    }
    // A picture made for the other target (around a full-screen switch) goes to the corner
    // until the next frame.
    QRect dst = m_shownRect;
    if (!all.contains(dst)) dst = QRect(QPoint(0, 0), m_shown.size());
    for (const QRect& r : QRegion(all) - QRegion(dst)) painter.fillRect(r, Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(dst.topLeft(), m_shown);
}

void CVideoWnd::PaintStill(QPainter& painter, QSize size, bool fullScreen) {
    const QRect all(QPoint(0, 0), size);
    const FCObjImage& still = m_pDoc->m_image;
    if (!still.IsValid()) {
        painter.fillRect(all, Qt::black);
        return;
    }
    CGVLElemMgr& mgr = m_pDoc->ElemMgr();
    std::lock_guard lock(m_lock);
    QRect dst(QPoint(0, 0), DisplaySize());
    if (fullScreen) dst = FullScreenRect(QSize(still.Width(), still.Height()), size);
    if (dst.isEmpty()) {
        painter.fillRect(all, Qt::black);
        return;
    }
    m_path.ApplyOverlayZoom(mgr, fullScreen, dst.width(), still.Width());
    for (const QRect& r : QRegion(all) - QRegion(dst)) painter.fillRect(r, Qt::black);
    painter.save();
    painter.translate(dst.topLeft());
    if (fullScreen)
        DrawTo(still, &painter, QRect(QPoint(0, 0), dst.size()), QRect(0, 0, still.Width(), still.Height()));
    else
        m_still.Draw(painter, still, dst.size(), QRect(QPoint(0, 0), dst.size()));
    painter.setClipRect(QRect(QPoint(0, 0), dst.size()));
    mgr.Draw(painter, dst.width(), dst.height());
    painter.restore();
}

void CVideoWnd::PaintTo(QPainter& painter, QSize size, bool fullScreen) {
    if (!m_pDoc) {
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::black);
        return;
    }
    if (m_pDoc->m_bPlaying)
        PaintPlaying(painter, size);
    else
        PaintStill(painter, size, fullScreen);
}

void CVideoWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_bFullScreen) {
        PaintTo(painter, size(), false);
        return;
    }
    // In full screen the pictures go to the full-screen window; this window keeps what it
    // showed last (its overlay zoom is the full-screen one meanwhile).
    painter.fillRect(rect(), Qt::black);
    if (!m_pDoc->m_bPlaying || m_shown.isNull()) return;
    painter.drawImage(QPoint(0, 0), m_shown);
}

void CVideoWnd::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    update();
}

void CVideoWnd::mousePressEvent(QMouseEvent* e) {
    if (m_pDoc) {
        const unsigned flags = OverlayKeyFlags(e->buttons(), e->modifiers());
        if (e->button() == Qt::LeftButton)
            m_pDoc->ElemMgr().OnLButtonDown(flags, m_pDoc->m_nTool, e->position().toPoint());
        else if (e->button() == Qt::RightButton)
            m_pDoc->ElemMgr().OnRButtonDown(flags, m_pDoc->m_nTool, e->position().toPoint());
    }
    UpdateCursor();
    e->accept();
}

void CVideoWnd::mouseReleaseEvent(QMouseEvent* e) {
    if (m_pDoc && e->button() == Qt::LeftButton)
        m_pDoc->ElemMgr().OnLButtonUp(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool,
                                      e->position().toPoint());
    e->accept();
}

void CVideoWnd::mouseMoveEvent(QMouseEvent* e) {
    if (m_pDoc)
        m_pDoc->ElemMgr().OnMouseMove(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool,
                                      e->position().toPoint());
    UpdateCursor();
    e->accept();
}

void CVideoWnd::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_pView) {
        // What the full-screen command (32886) runs.
        m_pView->ToggleFullScreen();
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

bool CVideoWnd::event(QEvent* e) {
    if (e->type() == QEvent::Enter) UpdateCursor();
    return QWidget::event(e);
}

void CVideoWnd::UpdateCursor() {
    if (!m_pDoc || m_pDoc->m_bPlaying) {
        unsetCursor();
        return;
    }
    setCursor(CursorForTool(m_pDoc->m_nTool));
}

void CVideoWnd::InvalidateRect(const QRect& rc, bool) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, rc] { update(rc); }, Qt::QueuedConnection);
        return;
    }
    update(rc);
}

void CVideoWnd::InvalidateAll() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        return;
    }
    update();
}

void CVideoWnd::RulerChanged() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &CVideoWnd::rulerChanged, Qt::QueuedConnection);
        return;
    }
    emit rulerChanged();
}
