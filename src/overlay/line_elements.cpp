// Line, point and counter label.

#include <QtMath>
#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

// ---------------------------------------------------------------- line

CGVLLine::CGVLLine(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kLine;
}

double CGVLLine::GetLength() const {
    if (PointCount() != 2) return 0.0;
    const double dx = m_arrPoints[0].x() - m_arrPoints[1].x();
    const double dy = m_arrPoints[0].y() - m_arrPoints[1].y();
    const double xpp = Calib().m_unit_dcxPerPixel, ypp = Calib().m_unit_dcyPerPixel;
    return std::sqrt(dx * dx * xpp * xpp + dy * dy * ypp * ypp);
}

QPoint CGVLLine::LabelPosition() const {
    if (PointCount() != 2) return {};
    const int x0 = m_arrPoints[0].x(), y0 = m_arrPoints[0].y();
    const int x1 = m_arrPoints[1].x(), y1 = m_arrPoints[1].y();
    const int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    if (x0 == x1) return {mx + 10, my - 20};
    if (y0 == y1) return {mx, my - 20};
    // Falling lines (rising on screen) take their text below, so it does not cross the line.
    if (static_cast<double>(y0 - y1) / (x0 - x1) < -0.08) return {mx + 10, my + 10};
    return {mx + 10, my - 20};
}

QStringList CGVLLine::ResultTexts() const {
    return {GVLResultText(GVLResult::Length, GetLength(), Precision(), Calib().m_unit_Unit)};
}

void CGVLLine::Draw(COverlayDC& dc) {
    PrepareText(dc);
    if (PointCount() != 2) return;
    const QPoint& p0 = m_arrPoints[0];
    const QPoint& p1 = m_arrPoints[1];
    DrawLine(dc, m_bSelected, Win(p0.x()), Win(p0.y()), Win(p1.x()), Win(p1.y()));
    if (m_bSelected) {
        const double dx = p0.x() - p1.x(), dy = p0.y() - p1.y();
        const double len = std::sqrt(dx * dx + dy * dy);
        if (len > 0) {
            const double ox = dy * 30.0 / len, oy = -dx * 30.0 / len;
            for (const double k : {1.0, -1.0}) {
                const int ax = static_cast<int>(p0.x() + k * ox),
                          ay = static_cast<int>(p0.y() + k * oy);
                const int bx = static_cast<int>(p1.x() + k * ox),
                          by = static_cast<int>(p1.y() + k * oy);
                DrawLine(dc, true, Win(ax), Win(ay), Win(bx), Win(by));
            }
        }
    }
    const QPoint label = Win(LabelPosition());
    dc.Text(label.x(), label.y(), ResultTexts().front());
    if (m_bSelected) {
        DrawHandle(dc, Win(p0.x()), Win(p0.y()));
        DrawHandle(dc, Win(p1.x()), Win(p1.y()));
    }
}

int CGVLLine::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    return DraggedShapePress(x, y, nTool, OwnTool());
}

int CGVLLine::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    if (PointCount() == 1) AddPoint(x, y);
    return CommonMove(x, y);
}

int CGVLLine::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y;
    CommonRelease(nTool == OwnTool());
    InvalidateWindow();
    const bool degenerate =
        PointCount() < 2 || (std::abs(m_arrPoints[0].x() - m_arrPoints[1].x()) < MinSpan() &&
                             std::abs(m_arrPoints[0].y() - m_arrPoints[1].y()) < MinSpan());
    if (degenerate) Remove();
    return -1;
}

void CGVLLine::InvalidateArea() {
    if (PointCount() == 1) {
        const QPoint w = Win(m_arrPoints[0]);
        Invalidate(GVLBox(w.x() - 10, w.y() - 10, w.x() + 10, w.y() + 10));
    } else if (PointCount() >= 2) {
        const QPoint a = Win(m_arrPoints[0]), b = Win(m_arrPoints[1]);
        Invalidate(GVLBox(std::min(a.x(), b.x()) - 50, std::min(a.y(), b.y()) - 50,
                          std::max(a.x(), b.x()) + 250, std::max(a.y(), b.y()) + 50));
    }
}

QRect CGVLLine::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    const QPoint a = Win(m_arrPoints.front()), b = Win(m_arrPoints.back());
    return GVLBox(std::min(a.x(), b.x()) - 100, std::min(a.y(), b.y()) - 30,
                  std::max(a.x(), b.x()) + 100, std::max(a.y(), b.y()) + 30);
}

int CGVLLine::DragBody(int x, int y) {
    if (m_nDragTarget == kHitWhole) {
        const QPoint d(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        for (QPoint& p : m_arrPoints) p += d;
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLLine::HitBody(int x, int y) const {
    if (PointCount() != 2) return false;
    const QPoint& a = m_arrPoints[0];
    const QPoint& b = m_arrPoints[1];
    return std::min(a.x(), b.x()) <= x && x <= std::max(a.x(), b.x()) &&
           std::min(a.y(), b.y()) <= y && y <= std::max(a.y(), b.y());
}

// ---------------------------------------------------------------- point

CGVLPoint::CGVLPoint(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kPoint;
}

QStringList CGVLPoint::ResultTexts() const {
    if (m_arrPoints.empty()) return {};
    return {QStringLiteral("(%1, %2)").arg(m_arrPoints[0].x()).arg(m_arrPoints[0].y())};
}

void CGVLPoint::Draw(COverlayDC& dc) {
    if (m_arrPoints.empty()) return;
    const int X = Win(m_arrPoints[0].x()), Y = Win(m_arrPoints[0].y());
    dc.SetPen(GVLColor(Display().m_color_Adjust), 1, GVLPenStyle::Solid);
    dc.Ellipse(X - 3, Y - 3, X + 4, Y + 4);
    dc.Line(X - 6, Y, X + 7, Y);
    dc.Line(X, Y - 6, X, Y + 7);
    dc.SetPen(GVLColor(Display().m_color_Coord), 1, GVLPenStyle::Solid);
    dc.Line(X - 2, Y, X + 3, Y);
    dc.Line(X, Y - 2, X, Y + 3);
    PrepareText(dc);
    dc.Text(X, Y - 20, ResultTexts().front());
}

int CGVLPoint::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    m_nDragTarget = HitTest(x, y);
    if (nTool == GVLTool::kDelete) {
        if (m_nDragTarget != kHitNone) Remove();
        return -1;
    }
    if (nTool == GVLTool::kPoint && m_arrPoints.empty()) {
        AddPoint(x, y);
        m_bDragging = true;
        m_nDragTarget = 0;
        InvalidateArea();
        return 0;
    }
    if (nTool == GVLTool::kMove) {
        if (m_nDragTarget == kHitNone) return -1;
        m_ptAnchor = QPoint(x, y);
        m_bDragging = true;
        m_nDragTarget = 0;
        InvalidateArea();
        return 0;
    }
    InvalidateArea();
    return m_nDragTarget;
}

int CGVLPoint::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging || m_arrPoints.empty()) return -1;
    InvalidateArea();
    SetPoint(0, x, y);
    InvalidateArea();
    return 0;
}

int CGVLPoint::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    InvalidateArea();
    m_bDragging = false;
    m_nDragTarget = kHitNone;
    return -1;
}

void CGVLPoint::InvalidateArea() {
    if (m_arrPoints.empty()) return;
    const QPoint w = Win(m_arrPoints[0]);
    Invalidate(GVLBox(w.x() - 20, w.y() - 30, w.x() + 100, w.y() + 20));
}

QRect CGVLPoint::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    const QPoint w = Win(m_arrPoints[0]);
    return GVLBox(w.x() - 10, w.y() - 20, w.x() + 80, w.y() + 10);
}

// ---------------------------------------------------------------- counter label

namespace {

bool IsCounterTool(int nTool) {
    return nTool >= GVLTool::kCounterCircle && nTool <= GVLTool::kCounterHexagon;
}

}  // namespace

CGVLNo::CGVLNo(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kCounterCircle;
}

QStringList CGVLNo::ResultTexts() const {
    return {QString::number(m_nNumber)};
}

void CGVLNo::Draw(COverlayDC& dc) {
    if (PointCount() != 1) return;
    const int X = Win(m_arrPoints[0].x()), Y = Win(m_arrPoints[0].y());
    PrepareText(dc);
    const QString text = QString::number(m_nNumber);
    const QSize ext = dc.TextExtent(text);
    dc.Text(X - ext.width() / 2, Y - ext.height() / 2, text);
    const int s = std::max(ext.width(), ext.height());
    dc.SetPen(GVLColor(Display().m_color_Ruler), 1,
              m_bSelected ? GVLPenStyle::Dotted : GVLPenStyle::Solid);
    switch (m_nType) {
        case GVLType::kCounterCircle:
            dc.Ellipse(X - s + 5, Y - s + 5, X + s - 5, Y + s - 5);
            break;
        case GVLType::kCounterRect:
            dc.Rectangle(X - s + 2, Y - s + 2, X + s - 2, Y + s - 2);
            break;
        case GVLType::kCounterTriangle: {
            const QPoint tri[3] = {{X, Y - s - 4}, {X - s, Y + s / 2}, {X + s, Y + s / 2}};
            dc.Polygon(tri, 3);
            break;
        }
        case GVLType::kCounterHexagon: {
            static constexpr double kAngles[6] = {0.52359, 1.57077, 2.61795,
                                                  3.66513, 4.71231, 5.75949};
            QPoint hex[6];
            for (int i = 0; i < 6; ++i)
                hex[i] = QPoint(static_cast<int>(X + std::cos(kAngles[i]) * s),
                                static_cast<int>(Y + std::sin(kAngles[i]) * s));
            dc.Polygon(hex, 6);
            break;
        }
        default:
            break;
    }
}

int CGVLNo::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    return SinglePointPress(x, y, nTool, IsCounterTool(nTool), true);
}

int CGVLNo::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    return CommonMove(x, y);
}

int CGVLNo::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y;
    CommonRelease(IsCounterTool(nTool));
    return -1;
}

void CGVLNo::InvalidateArea() {
    if (m_arrPoints.empty()) return;
    const QPoint w = Win(m_arrPoints[0]);
    Invalidate(GVLBox(w.x() - 140, w.y() - 40, w.x() + 40, w.y() + 40));
}

QRect CGVLNo::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    const QPoint w = Win(m_arrPoints[0]);
    return GVLBox(w.x() - 130, w.y() - 60, w.x() + 130, w.y() + 60);
}

int CGVLNo::DragBody(int x, int y) {
    if (m_nDragTarget == kHitWhole) {
        for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLNo::HitBody(int x, int y) const {
    if (PointCount() != 1) return false;
    const QPoint& p = m_arrPoints[0];
    return p.x() - 20 <= x && x < p.x() + 20 && p.y() - 20 <= y && y < p.y() + 20 &&
           HitHandle(x, y) == kHitNone;
}
