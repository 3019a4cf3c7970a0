#include "ui/gvl_wnd.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>

#include <cstring>

#include "advanced/counting/counting_document.h"
#include "document/scope_doc.h"
#include "image/image_draw.h"
#include "image/obj_image.h"
#include "ui/scope_view.h"
#include "ui/view_cursors.h"

unsigned OverlayKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned f = 0;
    if (buttons & Qt::LeftButton) f |= 0x1;
    if (buttons & Qt::RightButton) f |= 0x2;
    if (modifiers & Qt::ShiftModifier) f |= 0x4;
    if (modifiers & Qt::ControlModifier) f |= 0x8;
    if (buttons & Qt::MiddleButton) f |= 0x10;
    return f;
}

CGVLWnd::CGVLWnd(CScopeDoc* doc, CScopeView* view, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pView(view) {
    setObjectName(QStringLiteral("GVLWnd"));
    setMouseTracking(true);
    // Every paint covers the whole exposed area.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 1280, 1024);
}

CGVLWnd::~CGVLWnd() {
    if (m_pDoc) {
        auto lock = m_pDoc->ElemMgr().Lock();
        m_pDoc->ElemMgr().SetWindow(nullptr);
    }
}

bool CGVLWnd::HoldsStill() const {
    if (!m_pDoc) return false;
    return (m_pDoc->m_nImageState == 1 && !m_pDoc->m_bLive) || m_pDoc->m_nImageState == 2;
}

void CGVLWnd::InvalidatePicture() {
    m_picture.Invalidate();
    update();
}

void CGVLWnd::PaintTo(QPainter& painter, const QRect& exposed) {
    const QSize display = m_pDoc ? QSize(m_pDoc->m_nDisplayWidth, m_pDoc->m_nDisplayHeight) : QSize();
    if (!m_pDoc || !HoldsStill()) {
        painter.fillRect(exposed, QColor(128, 128, 128));
        m_bGrayFilled = true;
        return;
    }
    if (!PaintStill(painter, m_picture, m_pDoc->m_image, m_pDoc->ElemMgr(), display, exposed)) m_bGrayFilled = true;
    if (m_pDoc->m_bSplitMode && m_pDoc->m_bSplitDrawing) {
        painter.setPen(QPen(QColor(255, 255, 0), 1));
        painter.drawLine(m_splitStart, m_splitEnd);
    }
}

void CGVLWnd::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    PaintTo(painter, e->rect());
}

void CGVLWnd::mousePressEvent(QMouseEvent* e) {
    if (!m_pDoc) return;
    const QPoint pt = e->position().toPoint();
    const unsigned flags = OverlayKeyFlags(e->buttons(), e->modifiers());
    if (e->button() == Qt::LeftButton && m_pDoc->m_bSplitMode) {
        CountingSplitPress(*m_pDoc, pt);
        m_splitStart = m_splitEnd = pt;
    } else if (e->button() == Qt::LeftButton)
        m_pDoc->ElemMgr().OnLButtonDown(flags, m_pDoc->m_nTool, pt);
    else if (e->button() == Qt::RightButton)
        m_pDoc->ElemMgr().OnRButtonDown(flags, m_pDoc->m_nTool, pt);
    UpdateCursor();
    e->accept();
}

void CGVLWnd::mouseReleaseEvent(QMouseEvent* e) {
    if (m_pDoc && e->button() == Qt::LeftButton) {
        if (!m_pDoc->m_bSplitMode)
            m_pDoc->ElemMgr().OnLButtonUp(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool,
                                          e->position().toPoint());
        else if (m_pDoc->m_hSegm)
            CountingSplitRelease(*m_pDoc);  // counts again and repaints the new picture
    }
    e->accept();
}

void CGVLWnd::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    if (m_pDoc && !m_pDoc->m_bSplitMode) {
        m_pDoc->ElemMgr().OnMouseMove(OverlayKeyFlags(e->buttons(), e->modifiers()), m_pDoc->m_nTool, pt);
    } else if (m_pDoc && m_pDoc->m_hSegm) {
        CountingSplitMove(*m_pDoc, pt);
        if (m_pDoc->m_bSplitDrawing) {
            update(QRect(m_splitStart, m_splitEnd).normalized().adjusted(-2, -2, 2, 2));
            m_splitEnd = pt;
            update(QRect(m_splitStart, m_splitEnd).normalized().adjusted(-2, -2, 2, 2));
        }
    }
    UpdateCursor();
    e->accept();
}

bool CGVLWnd::event(QEvent* e) {
    if (e->type() == QEvent::Enter) UpdateCursor();
    return QWidget::event(e);
}

void CGVLWnd::UpdateCursor() {
    // The tool changes through commands that do not tell the window: set it whenever the
    // pointer moves, as a set-cursor message would.
    if (!m_pDoc || m_pDoc->m_bLive) {
        unsetCursor();
        return;
    }
    setCursor(m_pDoc->m_bSplitMode ? ViewCursor(ViewCursorKind::Pen) : CursorForTool(m_pDoc->m_nTool));
}

void CGVLWnd::InvalidateRect(const QRect& rc, bool) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, rc] { update(rc); }, Qt::QueuedConnection);
        return;
    }
    update(rc);
}

void CGVLWnd::InvalidateAll() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        return;
    }
    update();
}

void CGVLWnd::RulerChanged() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &CGVLWnd::rulerChanged, Qt::QueuedConnection);
        return;
    }
    emit rulerChanged();
}
