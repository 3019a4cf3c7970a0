#include "ui/video_wnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>

#include "camera/camera_manager.h"
#include "camera/stage_control.h"
#include "camera/recording/recorder.h"
#include "document/scope_doc.h"
#include "image/image_draw.h"
#include "ui/gvl_wnd.h"
#include "ui/scope_view.h"
#include "ui/stage_widget.h"
#include "ui/view_cursors.h"

namespace {
// A right press becomes a stage drag once the pointer moved this far (window pixels).
constexpr int kDragThreshold = 3;
constexpr int kStageKeyPeriodMs = 20;
enum Arrow : int { ArrowLeft = 1, ArrowRight = 2, ArrowUp = 4, ArrowDown = 8 };
int ArrowBit(int key) {
    switch (key) {
        case Qt::Key_Left: return ArrowLeft;
        case Qt::Key_Right: return ArrowRight;
        case Qt::Key_Up: return ArrowUp;
        case Qt::Key_Down: return ArrowDown;
        default: return 0;
    }
}
}  // namespace

std::atomic<bool> g_bLiveDisplay{true};

CVideoWnd::CVideoWnd(CScopeDoc* doc, CScopeView* view, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pView(view), m_pTarget(this) {
    setObjectName(QStringLiteral("VideoWnd"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 1280, 1024);
    m_stageKeyTimer.setInterval(kStageKeyPeriodMs);
    connect(&m_stageKeyTimer, &QTimer::timeout, this, &CVideoWnd::StageKeyTick);
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
    m_stageKeyTimer.stop();
    m_stage.reset();
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
        if (e->button() == Qt::LeftButton) {
            m_pDoc->ElemMgr().OnLButtonDown(flags, m_pDoc->m_nTool, e->position().toPoint());
        } else if (e->button() == Qt::RightButton) {
            m_stage = OpenCameraStage(theCameraManager());
            if (m_stage) {
                // A drag or a click: the release tells.
                m_bRightPending = true;
                m_bStageDragging = false;
                m_rightPress = e->position().toPoint();
                m_rightLast = e->position();
                m_rightFlags = flags;
            } else {
                m_pDoc->ElemMgr().OnRButtonDown(flags, m_pDoc->m_nTool, e->position().toPoint());
            }
        }
    }
    UpdateCursor();
    e->accept();
}

void CVideoWnd::mouseReleaseEvent(QMouseEvent* e) {
    if (m_pDoc && e->button() == Qt::LeftButton)
        m_pDoc->ElemMgr().OnLButtonUp(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool,
                                      e->position().toPoint());
    if (e->button() == Qt::RightButton && m_bRightPending) {
        m_bRightPending = false;
        if (!m_bStageDragging && m_pDoc) m_pDoc->ElemMgr().OnRButtonDown(m_rightFlags, m_pDoc->m_nTool, m_rightPress);
        m_bStageDragging = false;
        m_stage.reset();
        UpdateCursor();
    }
    e->accept();
}

void CVideoWnd::mouseMoveEvent(QMouseEvent* e) {
    if (m_bRightPending && (e->buttons() & Qt::RightButton)) {
        if (!m_bStageDragging &&
            (e->position().toPoint() - m_rightPress).manhattanLength() >= kDragThreshold)
            m_bStageDragging = true;
        if (m_bStageDragging) {
            const QPointF d = e->position() - m_rightLast;
            m_rightLast = e->position();
            MoveSpecimen(d.x(), d.y());
            UpdateCursor();
            e->accept();
            return;
        }
    }
    if (m_pDoc)
        m_pDoc->ElemMgr().OnMouseMove(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool,
                                      e->position().toPoint());
    UpdateCursor();
    e->accept();
}

bool CVideoWnd::MoveSpecimen(double dx, double dy) {
    if (!m_pDoc) return false;
    std::unique_ptr<IStageControl> own;
    IStageControl* stage = m_stage.get();
    if (!stage) {
        own = OpenCameraStage(theCameraManager());
        stage = own.get();
    }
    if (!stage) return false;
    // Window pixels to picture pixels: the zoom of the display.
    const QSize display = DisplaySize();
    const int fw = m_pDoc->m_nFrameWidth, fh = m_pDoc->m_nFrameHeight;
    if (display.isEmpty() || fw <= 0 || fh <= 0) return false;
    dx *= static_cast<double>(fw) / display.width();
    dy *= static_cast<double>(fh) / display.height();
    // A picture the processing flips shows the camera's picture mirrored.
    if (m_pDoc->m_bProcessEnable) {
        if (m_pDoc->m_bFlipHorizontal) dx = -dx;
        if (m_pDoc->m_bFlipVertical) dy = -dy;
    }
    return stage->MoveByPixels(dx, dy);
}

bool CVideoWnd::StageKey(QKeyEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
    const int bit = ArrowBit(e->key());
    if (!bit || !m_pDoc || !m_pDoc->m_bPlaying) return false;
    if (e->type() == QEvent::KeyPress && !OpenCameraStage(theCameraManager())) return false;
    e->accept();
    if (e->isAutoRepeat()) return true;
    if (e->type() == QEvent::KeyPress) {
        m_nHeldArrows |= bit;
        if (!m_stageKeyTimer.isActive()) {
            m_stageKeyClock.start();
            m_stageKeyTimer.start();
        }
    } else {
        StageKeyTick();  // the last bit of way before the key went up
        m_nHeldArrows &= ~bit;
        if (!m_nHeldArrows) StopStageKeys();
    }
    return true;
}

void CVideoWnd::StopStageKeys() {
    m_nHeldArrows = 0;
    m_stageKeyTimer.stop();
}

void CVideoWnd::StageKeyTick() {
    const double seconds = m_stageKeyClock.isValid() ? m_stageKeyClock.restart() / 1000.0 : 0;
    if (!m_nHeldArrows || seconds <= 0) return;
    const std::unique_ptr<IStageControl> stage = OpenCameraStage(theCameraManager());
    const std::optional<StagePosition> at = stage ? stage->Position() : std::nullopt;
    if (!at || at->micronsPerPixelX <= 0 || at->micronsPerPixelY <= 0) {
        StopStageKeys();
        return;
    }
    double speed = CStageWidget::Speed();
    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) speed /= 10;
    // Too long a pause (a busy window) moves no farther than a tenth of a second would.
    const double microns = speed * std::min(seconds, 0.1);
    const int sx = ((m_nHeldArrows & ArrowRight) ? 1 : 0) - ((m_nHeldArrows & ArrowLeft) ? 1 : 0);
    const int sy = ((m_nHeldArrows & ArrowDown) ? 1 : 0) - ((m_nHeldArrows & ArrowUp) ? 1 : 0);
    // The field of view goes the arrow's way: the specimen the other.
    double dx = -sx * microns / at->micronsPerPixelX;
    double dy = -sy * microns / at->micronsPerPixelY;
    if (m_pDoc && m_pDoc->m_bProcessEnable) {
        if (m_pDoc->m_bFlipHorizontal) dx = -dx;
        if (m_pDoc->m_bFlipVertical) dy = -dy;
    }
    stage->MoveByPixels(dx, dy);
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
    if (m_bStageDragging) {
        setCursor(Qt::ClosedHandCursor);
        return;
    }
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
