// Polygon element.

#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

CGVLPolygon::CGVLPolygon(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kPolygon;
}

double CGVLPolygon::GetArea() const {
    const int n = PointCount();
    if (n < 3) return 0.0;
    double s = 0.0;
    for (int i = 0; i < n; ++i) {
        const QPoint& p = m_arrPoints[static_cast<size_t>(i)];
        const QPoint& q = m_arrPoints[static_cast<size_t>((i + 1) % n)];
        s += static_cast<double>(static_cast<int64_t>(p.x() - q.x()) * (p.y() + q.y())) * 0.5;
    }
    return std::abs(s * Calib().m_unit_dcxPerPixel * Calib().m_unit_dcyPerPixel);
}

QStringList CGVLPolygon::ResultTexts() const {
    if (!m_bClosed) return {};
    return {GVLResultText(GVLResult::Area, GetArea(), Precision(), Calib().m_unit_Unit)};
}

void CGVLPolygon::Draw(COverlayDC& dc) {
    PrepareText(dc);
    const int n = PointCount();
    if (n == 0) return;
    std::vector<QPoint> w;
    w.reserve(m_arrPoints.size());
    for (const QPoint& p : m_arrPoints) w.push_back(Win(p));
    for (int i = 1; i < n; ++i) DrawLine(dc, false, w[i - 1].x(), w[i - 1].y(), w[i].x(), w[i].y());
    if (!m_bClosed) {
        const QPoint r = Win(m_ptRubber);
        DrawLine(dc, false, w.back().x(), w.back().y(), r.x(), r.y());
        return;
    }
    DrawLine(dc, false, w.back().x(), w.back().y(), w[0].x(), w[0].y());
    dc.Text(w[0].x(), w[0].y() - FontSize() * 10 - 10, ResultTexts().front());
}

int CGVLPolygon::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    m_nDragTarget = HitTest(x, y);
    if (nTool == GVLTool::kDelete) {
        if (m_bSelected || m_nDragTarget != kHitNone) Remove();
        return -1;
    }
    if (nTool == GVLTool::kPolygon && !m_bClosed) {
        m_nDragTarget = m_nClicks;
        m_bSelected = true;
        if (m_nClicks == 0) {
            m_ptRubber = QPoint(x, y);
            m_bDragging = true;
        }
        m_bPressed = true;
    } else if (nTool == GVLTool::kMove) {
        if (m_nDragTarget != kHitNone) {
            m_ptAnchor = QPoint(x, y);
            m_bDragging = true;
            m_bSelected = true;
            m_bEditing = true;
            InvalidateArea();
            return m_nDragTarget;
        }
        m_bSelected = false;
    }
    InvalidateArea();
    return m_nDragTarget;
}

int CGVLPolygon::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    if (m_bEditing) {
        InvalidateArea();
        SetPoint(m_nDragTarget, x, y);
        InvalidateArea();
        return m_nDragTarget;
    }
    if (!m_bClosed) {
        m_nDragTarget = std::max(m_nClicks - 1, 0);
        m_ptRubber = QPoint(x, y);
        InvalidateArea();
        m_bSelected = true;
    }
    return m_nDragTarget;
}

int CGVLPolygon::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    if (nTool == GVLTool::kPolygon) {
        // Only the polygon that took the press gets the vertex, not every open one.
        if (m_bPressed && !m_bClosed) {
            InvalidateArea();
            AddPoint(x, y);
            ++m_nClicks;
            m_bSelected = false;
            InvalidateArea();
        }
        m_bPressed = false;
        return -1;
    }
    m_bPressed = false;
    m_bEditing = false;
    CommonRelease(false);
    return -1;
}

int CGVLPolygon::OnRButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    if (nTool != GVLTool::kPolygon) return -1;
    if (!m_bClosed) AddPoint(x, y);
    m_bClosed = true;
    m_bDragging = false;
    m_bPressed = false;
    m_nDragTarget = kHitNone;
    if (PointCount() < 3) {
        Remove();
        return -1;
    }
    InvalidateArea();
    return -1;
}

void CGVLPolygon::FinishOrRemove() {
    if (m_bClosed) return;
    InvalidateArea();
    m_bClosed = true;
    m_bDragging = false;
    m_bPressed = false;
    m_bSelected = false;
    m_nDragTarget = kHitNone;
    if (PointCount() < 3) {
        Remove();
        return;
    }
    InvalidateArea();
}

QRect CGVLPolygon::Area() const {
    std::vector<QPoint> pts;
    for (const QPoint& p : m_arrPoints) pts.push_back(Win(p));
    if (!m_bClosed || pts.size() <= 1) pts.push_back(Win(m_ptRubber));
    int l = pts.front().x(), r = l, t = pts.front().y(), b = t;
    for (const QPoint& p : pts) {
        l = std::min(l, p.x());
        r = std::max(r, p.x());
        t = std::min(t, p.y());
        b = std::max(b, p.y());
    }
    if (m_arrPoints.size() <= 1) return GVLBox(l, t, r + 1, b + 1);
    return GVLBox(l - 150, t - 150, r + 250, b + 150);
}

void CGVLPolygon::InvalidateArea() {
    Invalidate(Area(), false);
}

QRect CGVLPolygon::RemovedArea() const {
    return Area();
}

int CGVLPolygon::NearVertex(int x, int y) const {
    if (PointCount() <= 3) return -1;
    for (const QPoint& p : m_arrPoints)
        if (p.x() - 10 <= x && x < p.x() + 10 && p.y() - 10 <= y && y < p.y() + 10) return 1;
    return -1;
}
