// Angle element.

#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

namespace {

// Bearing of an arm from the vertex, growing counter-clockwise on screen from straight down.
// An arm of length 0 points up (180).
double Bearing(int dx, int dy) {
    if (dx == 0) return dy > 0 ? 0.0 : 180.0;
    const double a = std::atan(static_cast<double>(dy) / dx) / 3.14159 * 180.0;
    return dx > 0 ? 90.0 - a : 270.0 - a;
}

// A point 20 pixels from the vertex along the arm; an arm of length 0 points up.
QPoint ArcEnd(QPoint v, QPoint end) {
    const double dx = end.x() - v.x(), dy = end.y() - v.y();
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d == 0) return {v.x(), v.y() - 20};
    return {v.x() + static_cast<int>(20 * dx / d), v.y() + static_cast<int>(20 * dy / d)};
}

bool InTriangle(QPoint p, QPoint a, QPoint b, QPoint c) {
    auto cross = [](QPoint o, QPoint u, QPoint w) {
        return static_cast<int64_t>(u.x() - o.x()) * (w.y() - o.y()) -
               static_cast<int64_t>(u.y() - o.y()) * (w.x() - o.x());
    };
    const int64_t d1 = cross(a, b, p), d2 = cross(b, c, p), d3 = cross(c, a, p);
    const bool neg = d1 < 0 || d2 < 0 || d3 < 0;
    const bool pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

QRect Bounds(const std::vector<QPoint>& pts) {
    int l = pts.front().x(), r = l, t = pts.front().y(), b = t;
    for (const QPoint& p : pts) {
        l = std::min(l, p.x());
        r = std::max(r, p.x());
        t = std::min(t, p.y());
        b = std::max(b, p.y());
    }
    return QRect(QPoint(l, t), QPoint(r, b));
}

}  // namespace

CGVLAngle::CGVLAngle(CGVLElemMgr* pMgr, uint32_t id)
    : CGVLThreeClickShape(pMgr, id, GVLTool::kAngle) {
    m_nType = GVLType::kAngle;
}

double CGVLAngle::GetAngle() const {
    if (PointCount() != 3) return 0.0;
    const QPoint& p0 = m_arrPoints[0];
    const QPoint& v = m_arrPoints[1];
    const QPoint& p2 = m_arrPoints[2];
    double a = Bearing(p0.x() - v.x(), p0.y() - v.y()) - Bearing(p2.x() - v.x(), p2.y() - v.y());
    if (a < 0) a += 360.0;
    if (a >= 360.0) a -= 360.0;
    return a;
}

QStringList CGVLAngle::ResultTexts() const {
    if (PointCount() != 3) return {};
    return {GVLResultText(GVLResult::Angle, GetAngle(), Precision(), Calib().m_unit_Unit)};
}

void CGVLAngle::Draw(COverlayDC& dc) {
    PrepareText(dc);
    const int n = PointCount();
    if (n == 0) return;
    std::vector<QPoint> w;
    for (const QPoint& p : m_arrPoints) w.push_back(Win(p));
    const QPoint rubber = Win(m_ptRubber);
    if (n == 1) {
        DrawLine(dc, m_bSelected, w[0].x(), w[0].y(), rubber.x(), rubber.y());
    } else if (n == 2) {
        DrawLine(dc, m_bSelected, w[0].x(), w[0].y(), w[1].x(), w[1].y());
        DrawLine(dc, m_bSelected, w[1].x(), w[1].y(), rubber.x(), rubber.y());
    } else {
        DrawLine(dc, m_bSelected, w[0].x(), w[0].y(), w[1].x(), w[1].y());
        DrawLine(dc, m_bSelected, w[1].x(), w[1].y(), w[2].x(), w[2].y());
        const QPoint v = w[1];
        const QPoint start = ArcEnd(v, w[2]), end = ArcEnd(v, w[0]);
        DrawArc(dc, m_bSelected, v.x() - 20, v.y() - 20, v.x() + 20, v.y() + 20, start.x(),
                start.y(), end.x(), end.y());
        dc.Text((w[0].x() + w[1].x() + w[2].x()) / 3, (w[0].y() + w[1].y() + w[2].y()) / 3,
                ResultTexts().front());
    }
    if (m_bSelected)
        for (const QPoint& p : w) DrawHandle(dc, p.x(), p.y());
}

void CGVLAngle::InvalidateArea() {
    if (PointCount() == 3) {
        const QRect b = Bounds({Win(m_arrPoints[0]), Win(m_arrPoints[1]), Win(m_arrPoints[2])});
        Invalidate(GVLBox(b.left() - 50, b.top() - 30, b.right() + 320, b.bottom() + 30));
        return;
    }
    std::vector<QPoint> pts{Win(m_ptRubber)};
    for (const QPoint& p : m_arrPoints) pts.push_back(Win(p));
    const QRect b = Bounds(pts);
    Invalidate(GVLBox(b.left() - 100, b.top() - 30, b.right() + 100, b.bottom() + 30));
}

QRect CGVLAngle::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    std::vector<QPoint> pts;
    for (const QPoint& p : m_arrPoints) pts.push_back(Win(p));
    const QRect b = Bounds(pts);
    return GVLBox(b.left() - 100, b.top() - 30, b.right() + 100, b.bottom() + 30);
}

int CGVLAngle::DragBody(int x, int y) {
    if (m_nDragTarget == kHitWhole) {
        for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLAngle::HitBody(int x, int y) const {
    if (PointCount() != 3 || HitHandle(x, y) != kHitNone) return false;
    return InTriangle(QPoint(x, y), m_arrPoints[0], m_arrPoints[1], m_arrPoints[2]);
}
