#include "overlay/shape.h"

#include <cmath>

#include "overlay/element_manager.h"

int GVLFontHeight(int nFontSize) {
    switch (nFontSize) {
        case 2:
            return 28;
        case 3:
            return 36;
        default:
            return 20;
    }
}

int GVLFontWidth(int nFontSize) {
    switch (nFontSize) {
        case 2:
            return 10;
        case 3:
            return 14;
        default:
            return 8;
    }
}

QRect GVLBox(int left, int top, int right, int bottom) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

CGVLShape::CGVLShape(CGVLElemMgr* pMgr, uint32_t id)
    : m_pMgr(pMgr),
      m_dwID(id),
      m_pCalib(pMgr->CalibrationBlock()),
      m_pDisplay(pMgr->DisplayBlock()) {}

int CGVLShape::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    return -1;
}

int CGVLShape::OnRButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    return -1;
}

int CGVLShape::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    return -1;
}

int CGVLShape::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    return -1;
}

int CGVLShape::HitTest(int x, int y) const {
    if (HitBody(x, y)) return kHitWhole;
    return HitHandle(x, y);
}

int CGVLShape::AddPoint(int x, int y) {
    m_arrPoints.emplace_back(x, y);
    return PointCount();
}

const QPoint* CGVLShape::GetPoint(int i) const {
    if (i < 0 || i >= PointCount()) return nullptr;
    return &m_arrPoints[static_cast<size_t>(i)];
}

int CGVLShape::SetPoint(int i, int x, int y) {
    if (i < 0 || i >= PointCount()) return -1;
    m_arrPoints[static_cast<size_t>(i)] = QPoint(x, y);
    return i;
}

int CGVLShape::DragBody(int x, int y) {
    (void)x, (void)y;
    return m_nDragTarget;
}

int CGVLShape::HitHandle(int x, int y) const {
    for (int i = 0; i < PointCount(); ++i) {
        const QPoint& p = m_arrPoints[static_cast<size_t>(i)];
        if (p.x() - 6 <= x && x < p.x() + 7 && p.y() - 6 <= y && y < p.y() + 7) return i;
    }
    return -1;
}

void CGVLShape::DrawHandle(COverlayDC& dc, int x, int y) const {
    dc.SetPen(GVLColor(Display().m_color_Adjust), 1, GVLPenStyle::Solid);
    dc.Ellipse(x - 5, y - 5, x + 5, y + 5);
}

void CGVLShape::DrawLine(COverlayDC& dc, bool dotted, int x1, int y1, int x2, int y2) const {
    dc.SetPen(GVLColor(Display().m_color_Ruler), 1,
              dotted ? GVLPenStyle::Dotted : GVLPenStyle::Solid);
    dc.Line(x1, y1, x2, y2);
}

void CGVLShape::DrawArc(COverlayDC& dc, bool dotted, int left, int top, int right, int bottom,
                        int xs, int ys, int xe, int ye) const {
    dc.SetPen(GVLColor(Display().m_color_Ruler), 1,
              dotted ? GVLPenStyle::Dotted : GVLPenStyle::Solid);
    dc.Arc(left, top, right, bottom, xs, ys, xe, ye);
}

void CGVLShape::DrawEllipse(COverlayDC& dc, bool dotted, int left, int top, int right,
                            int bottom) const {
    dc.SetPen(GVLColor(Display().m_color_Ruler), 1,
              dotted ? GVLPenStyle::Dotted : GVLPenStyle::Solid);
    dc.Ellipse(left, top, right, bottom);
}

void CGVLShape::DrawArrow(COverlayDC& dc, bool dotted, int x1, int y1, int x2, int y2) const {
    // At three pixels a dotted pattern would not show; the arrow is always solid.
    (void)dotted;
    dc.SetPen(GVLColor(Display().m_color_Ruler), 3, GVLPenStyle::Solid);
    dc.Line(x1, y1, x2, y2);
    const double t =
        std::atan2(static_cast<double>(y1 - y2), static_cast<double>(x1 - x2)) - 3.1415926;
    const double c = std::cos(t), s = std::sin(t);
    dc.Line(x2, y2, x2 - static_cast<int>(15 * c + 7.5 * s),
            y2 + static_cast<int>(7.5 * c - 15 * s));
    dc.Line(x2, y2, x2 + static_cast<int>(7.5 * s - 15 * c),
            y2 - static_cast<int>(15 * s + 7.5 * c));
}

void CGVLShape::Remove() {
    Invalidate(RemovedArea(), false);
    m_arrPoints.clear();
    CGVLElemMgr* pMgr = m_pMgr;
    const uint32_t id = m_dwID;
    pMgr->DeleteElement(id);  // destroys this element
}

bool CGVLShape::CommonPress(int x, int y, int nTool, int& result) {
    m_nDragTarget = HitTest(x, y);
    if (nTool == GVLTool::kDelete) {
        result = -1;
        if (m_bSelected || m_nDragTarget != kHitNone) Remove();
        return true;
    }
    if (nTool == GVLTool::kMove) {
        if (m_nDragTarget != kHitNone) {
            m_ptAnchor = QPoint(x, y);
            m_bDragging = true;
            m_bSelected = true;
            InvalidateArea();
            result = m_nDragTarget;
            return true;
        }
        m_bSelected = false;
    }
    return false;
}

int CGVLShape::CommonMove(int x, int y) {
    m_bSelected = true;
    InvalidateArea();
    if (m_nDragTarget != kHitNone && m_nDragTarget != kHitWhole) SetPoint(m_nDragTarget, x, y);
    DragBody(x, y);
    InvalidateArea();
    return m_nDragTarget;
}

void CGVLShape::CommonRelease(bool ownTool) {
    InvalidateArea();
    m_bDragging = false;
    m_nDragTarget = kHitNone;
    if (ownTool) m_bSelected = false;
}

float CGVLShape::Zoom() const {
    return m_pMgr->CurZoom();
}

int CGVLShape::Win(int v) const {
    return static_cast<int>(static_cast<float>(v) * Zoom());
}

QPoint CGVLShape::Win(const QPoint& pt) const {
    return QPoint(Win(pt.x()), Win(pt.y()));
}

int CGVLShape::Precision() const {
    return m_pMgr->CurPrecision();
}

int CGVLShape::FontSize() const {
    const int n = m_pMgr->CurFontSize();
    return (n >= 1 && n <= 3) ? n : 1;
}

void CGVLShape::Invalidate(const QRect& rc, bool erase) const {
    if (!rc.isEmpty()) m_pMgr->ElementInvalidate(rc, erase);
}

void CGVLShape::InvalidateWindow() const {
    m_pMgr->ElementInvalidateAll();
}

void CGVLShape::PrepareText(COverlayDC& dc) const {
    dc.SetBackground(m_pMgr->CurFontBackground() != 1);
    dc.SelectFont(GVLFontHeight(FontSize()), GVLFontWidth(FontSize()), 400);
    dc.SetTextColor(GVLColor(Display().m_color_Text));
}

int CGVLShape::SinglePointPress(int x, int y, int nTool, bool ownTool, bool followMouse) {
    m_nDragTarget = HitTest(x, y);
    if (nTool == GVLTool::kDelete) {
        if (m_bSelected || m_nDragTarget != kHitNone) Remove();
        return -1;
    }
    if (ownTool && m_arrPoints.empty()) {
        AddPoint(x, y);
        if (followMouse) m_bDragging = true;
        m_bSelected = true;
        m_nDragTarget = 0;
    } else if (nTool == GVLTool::kMove) {
        if (m_nDragTarget != kHitNone) {
            m_bDragging = true;
            m_bSelected = true;
            m_ptAnchor = QPoint(x, y);
            InvalidateArea();
            SetPoint(0, x, y);
            InvalidateArea();
            return m_nDragTarget;
        }
        m_bSelected = false;
    }
    InvalidateArea();
    return m_nDragTarget;
}

int CGVLShape::DraggedShapePress(int x, int y, int nTool, int nOwnTool) {
    int result = -1;
    if (CommonPress(x, y, nTool, result)) return result;
    if (nTool == nOwnTool && m_arrPoints.empty()) {
        AddPoint(x, y);
        m_bDragging = true;
        m_bSelected = true;
        m_nDragTarget = 0;
    }
    InvalidateArea();
    return m_nDragTarget;
}
