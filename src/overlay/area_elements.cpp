// Rectangle, circle and three-point circle.

#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

namespace {

// Centres and radii beyond this are no circle any picture can show.
constexpr double kMaxCircleCoord = 1 << 24;

bool InCircle(int x, int y, QPoint c, int r) {
    const int64_t dx = x - c.x(), dy = y - c.y();
    return dx * dx + dy * dy < static_cast<int64_t>(r) * r;
}

}  // namespace

// ---------------------------------------------------------------- rectangle

CGVLRect::CGVLRect(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kRect;
}

double CGVLRect::GetArea() const {
    if (PointCount() != 4) return 0.0;
    return std::abs(m_arrPoints[3].x() - m_arrPoints[0].x()) * Calib().m_unit_dcxPerPixel *
           std::abs(m_arrPoints[3].y() - m_arrPoints[0].y()) * Calib().m_unit_dcyPerPixel;
}

double CGVLRect::GetPerimeter() const {
    if (PointCount() != 4) return 0.0;
    return (std::abs(m_arrPoints[3].x() - m_arrPoints[0].x()) * Calib().m_unit_dcxPerPixel +
            std::abs(m_arrPoints[3].y() - m_arrPoints[0].y()) * Calib().m_unit_dcyPerPixel) *
           2;
}

QStringList CGVLRect::ResultTexts() const {
    if (PointCount() != 4) return {};
    return {GVLResultText(GVLResult::Area, GetArea(), Precision(), Calib().m_unit_Unit)};
}

void CGVLRect::Draw(COverlayDC& dc) {
    if (PointCount() != 4) return;
    QPoint w[4];
    for (int i = 0; i < 4; ++i) w[i] = Win(m_arrPoints[static_cast<size_t>(i)]);
    DrawLine(dc, m_bSelected, w[0].x(), w[0].y(), w[1].x(), w[1].y());
    DrawLine(dc, m_bSelected, w[1].x(), w[1].y(), w[3].x(), w[3].y());
    DrawLine(dc, m_bSelected, w[0].x(), w[0].y(), w[2].x(), w[2].y());
    DrawLine(dc, m_bSelected, w[2].x(), w[2].y(), w[3].x(), w[3].y());
    PrepareText(dc);
    dc.Text(w[0].x(), w[0].y() - FontSize() * 10 - 10, ResultTexts().front());
    if (m_bSelected)
        for (const QPoint& p : w) DrawHandle(dc, p.x(), p.y());
}

int CGVLRect::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    return DraggedShapePress(x, y, nTool, GVLTool::kRect);
}

int CGVLRect::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    if (PointCount() == 1) {
        const QPoint p0 = m_arrPoints[0];
        AddPoint(x, p0.y());
        AddPoint(p0.x(), y);
        AddPoint(x, y);
        m_nDragTarget = 3;
    }
    return CommonMove(x, y);
}

int CGVLRect::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y;
    CommonRelease(nTool == GVLTool::kRect);
    if (PointCount() < 4 || (std::abs(m_arrPoints[0].x() - m_arrPoints[3].x()) < 10 &&
                             std::abs(m_arrPoints[0].y() - m_arrPoints[3].y()) < 10))
        Remove();
    return -1;
}

void CGVLRect::InvalidateArea() {
    if (m_arrPoints.empty()) return;
    const QPoint a = Win(m_arrPoints.front()), b = Win(m_arrPoints.back());
    Invalidate(GVLBox(a.x() - 20, a.y() - 100, b.x() + 340, b.y() + 20));
}

QRect CGVLRect::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    const QPoint a = Win(m_arrPoints.front()), b = Win(m_arrPoints.back());
    return GVLBox(std::min(a.x(), b.x()) - 100, std::min(a.y(), b.y()) - 30,
                  std::max(a.x(), b.x()) + 100, std::max(a.y(), b.y()) + 30);
}

int CGVLRect::DragBody(int x, int y) {
    if (PointCount() != 4) return m_nDragTarget;
    QPoint& p0 = m_arrPoints[0];
    QPoint& p1 = m_arrPoints[1];
    QPoint& p2 = m_arrPoints[2];
    QPoint& p3 = m_arrPoints[3];
    // Each corner keeps the rectangle axis-parallel with sides of at least 10 pixels.
    switch (m_nDragTarget) {
        case 0:
            p0.setX(std::min(p0.x(), p3.x() - 10));
            p0.setY(std::min(p0.y(), p3.y() - 10));
            p1.setY(p0.y());
            p2.setX(p0.x());
            break;
        case 1:
            p1.setX(std::max(p1.x(), p0.x() + 10));
            p1.setY(std::min(p1.y(), p3.y() - 10));
            p0.setY(p1.y());
            p3.setX(p1.x());
            break;
        case 2:
            p2.setX(std::min(p2.x(), p3.x() - 10));
            p2.setY(std::max(p2.y(), p0.y() + 10));
            p0.setX(p2.x());
            p3.setY(p2.y());
            break;
        case 3:
            p3.setX(std::max(p3.x(), p0.x() + 10));
            p3.setY(std::max(p3.y(), p0.y() + 10));
            p1.setX(p3.x());
            p2.setY(p3.y());
            break;
        case kHitWhole:
            for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
            m_ptAnchor = QPoint(x, y);
            break;
        default:
            break;
    }
    return m_nDragTarget;
}

bool CGVLRect::HitBody(int x, int y) const {
    if (PointCount() != 4 || HitHandle(x, y) != kHitNone) return false;
    const QPoint& a = m_arrPoints[0];
    const QPoint& b = m_arrPoints[3];
    return std::min(a.x(), b.x()) <= x && x < std::max(a.x(), b.x()) &&
           std::min(a.y(), b.y()) <= y && y < std::max(a.y(), b.y());
}

// ---------------------------------------------------------------- circle

CGVLCircle::CGVLCircle(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kCircle;
}

int CGVLCircle::PixelRadius() const {
    if (PointCount() < 2) return 0;
    const double dx = m_arrPoints[0].x() - m_arrPoints[1].x(),
                 dy = m_arrPoints[0].y() - m_arrPoints[1].y();
    return static_cast<int>(std::sqrt(dx * dx + dy * dy));
}

double CGVLCircle::GetArea() const {
    const double r = PixelRadius();
    return r * 3.14159 * r * Calib().m_unit_dcxPerPixel * Calib().m_unit_dcyPerPixel;
}

double CGVLCircle::GetRadius() const {
    return PixelRadius() * (Calib().m_unit_dcxPerPixel + Calib().m_unit_dcyPerPixel) * 0.5;
}

double CGVLCircle::GetPerimeter() const {
    return PixelRadius() * 6.28318 * Calib().m_unit_dcxPerPixel;
}

QStringList CGVLCircle::ResultTexts() const {
    if (PointCount() != 2) return {};
    const int unit = Calib().m_unit_Unit;
    return {GVLResultText(GVLResult::Area, GetArea(), Precision(), unit),
            GVLResultText(GVLResult::Radius, GetRadius(), Precision(), unit)};
}

void CGVLCircle::Draw(COverlayDC& dc) {
    if (PointCount() != 2) return;
    const QPoint c = m_arrPoints[0];
    const int r = PixelRadius();
    DrawEllipse(dc, m_bSelected, Win(c.x() - r), Win(c.y() - r), Win(c.x() + r), Win(c.y() + r));
    PrepareText(dc);
    const QPoint w = Win(c);
    const QStringList texts = ResultTexts();
    dc.Text(w.x(), w.y() - 20, texts[0]);
    dc.Text(w.x(), w.y() - 48, texts[1]);
    if (m_bSelected)
        for (const QPoint& p : m_arrPoints) DrawHandle(dc, Win(p.x()), Win(p.y()));
}

int CGVLCircle::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    return DraggedShapePress(x, y, nTool, GVLTool::kCircle);
}

int CGVLCircle::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    if (PointCount() == 1) {
        AddPoint(x, y);
        m_nDragTarget = 1;
    }
    m_bSelected = true;
    InvalidateArea();
    // The rim follows the mouse; the centre handle carries the whole circle.
    if (m_nDragTarget == 1)
        SetPoint(1, x, y);
    else
        DragBody(x, y);
    InvalidateArea();
    return m_nDragTarget;
}

int CGVLCircle::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y;
    CommonRelease(nTool == GVLTool::kCircle);
    InvalidateWindow();
    if (PointCount() < 2 || PixelRadius() < 6) Remove();
    return -1;
}

void CGVLCircle::InvalidateArea() {
    if (m_arrPoints.empty()) return;
    const QPoint c = m_arrPoints[0];
    const int r = PixelRadius();
    Invalidate(GVLBox(Win(c.x() - r) - 50, Win(c.y() - r) - 40, Win(c.x() + r) + 250,
                      Win(c.y() + r) + 40));
}

QRect CGVLCircle::RemovedArea() const {
    if (m_arrPoints.empty()) return {};
    const QPoint c = m_arrPoints[0];
    const int r = PixelRadius();
    return GVLBox(Win(c.x() - r) - 30, Win(c.y() - r) - 100, Win(c.x() + r) + 30,
                  Win(c.y() + r) + 30);
}

int CGVLCircle::DragBody(int x, int y) {
    if (m_nDragTarget == 0 || m_nDragTarget == kHitWhole) {
        for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLCircle::HitBody(int x, int y) const {
    if (PointCount() != 2 || HitHandle(x, y) != kHitNone) return false;
    return InCircle(x, y, m_arrPoints[0], PixelRadius());
}

// ---------------------------------------------------------------- three-point circle

bool CircleFromThreePoints(QPoint p0, QPoint p1, QPoint p2, QPoint& centre, int& radius) {
    const int64_t a = p0.x(), b = p0.y(), c = p1.x(), d = p1.y(), e = p2.x(), f = p2.y();
    // Collinear points, and two points on one spot (no single circle passes through them).
    if ((c - a) * (f - b) - (d - b) * (e - a) == 0) return false;
    const double m01x = static_cast<double>((a + c + 1) / 2),
                 m01y = static_cast<double>((b + d + 1) / 2);
    const double m12x = static_cast<double>((c + e + 1) / 2),
                 m12y = static_cast<double>((d + f + 1) / 2);
    double cx = 0, cy = 0;
    if (b == d) {
        const double h = static_cast<double>(e - c) / static_cast<double>(d - f);
        cx = m01x;
        cy = std::trunc(m01x * h + m12y - m12x * h + 0.5);
    } else if (d == f) {
        const double u = static_cast<double>(c - a) / static_cast<double>(b - d);
        cx = m12x;
        cy = std::trunc(m12x * u + m01y - m01x * u + 0.5);
    } else {
        const double u = static_cast<double>(c - a) / static_cast<double>(b - d);
        const double h = static_cast<double>(e - c) / static_cast<double>(d - f);
        const double k1 = m01y - m01x * u, k2 = m12y - m12x * h;
        const double X = (k2 - k1) / (u - h);
        cx = std::trunc(X + 0.5);
        cy = std::trunc(X * u + k1 + 0.5);
    }
    if (!std::isfinite(cx) || !std::isfinite(cy) || std::abs(cx) > kMaxCircleCoord ||
        std::abs(cy) > kMaxCircleCoord)
        return false;
    const double r = std::trunc(std::sqrt((cx - a) * (cx - a) + (cy - b) * (cy - b)));
    if (r > kMaxCircleCoord) return false;
    centre = QPoint(static_cast<int>(cx), static_cast<int>(cy));
    radius = static_cast<int>(r);
    return true;
}

CGVLCircleT::CGVLCircleT(CGVLElemMgr* pMgr, uint32_t id)
    : CGVLThreeClickShape(pMgr, id, GVLTool::kCircleT) {
    m_nType = GVLType::kCircleT;
}

bool CGVLCircleT::GetCircle(QPoint& centre, int& radius) const {
    centre = QPoint();
    radius = 0;
    if (PointCount() != 3) return false;
    return CircleFromThreePoints(m_arrPoints[0], m_arrPoints[1], m_arrPoints[2], centre, radius);
}

double CGVLCircleT::GetArea() const {
    QPoint c;
    int ri = 0;
    GetCircle(c, ri);
    const double r = ri;
    return r * 3.14159 * Calib().m_unit_dcxPerPixel * r * Calib().m_unit_dcyPerPixel;
}

double CGVLCircleT::GetRadius() const {
    QPoint c;
    int r = 0;
    GetCircle(c, r);
    return r * (Calib().m_unit_dcxPerPixel + Calib().m_unit_dcyPerPixel) * 0.5;
}

QStringList CGVLCircleT::ResultTexts() const {
    QPoint c;
    int r = 0;
    if (!GetCircle(c, r)) return {};
    const int unit = Calib().m_unit_Unit;
    return {GVLResultText(GVLResult::Area, GetArea(), Precision(), unit),
            GVLResultText(GVLResult::Radius, GetRadius(), Precision(), unit)};
}

void CGVLCircleT::Draw(COverlayDC& dc) {
    const int n = PointCount();
    if (n == 3) {
        QPoint c;
        int r = 0;
        // Points that make no circle (in a window they may coincide at small zooms) draw none.
        if (CircleFromThreePoints(Win(m_arrPoints[0]), Win(m_arrPoints[1]), Win(m_arrPoints[2]), c,
                                  r)) {
            DrawEllipse(dc, m_bSelected, c.x() - r, c.y() - r, c.x() + r, c.y() + r);
            PrepareText(dc);
            // The window circle may exist where the image points make none (truncation).
            const QStringList texts = ResultTexts();
            if (texts.size() == 2) {
                dc.Text(c.x(), c.y() - 20, texts[0]);
                dc.Text(c.x(), c.y() - 48, texts[1]);
            }
        }
    }
    if (m_bSelected || n < 3)
        for (const QPoint& p : m_arrPoints) DrawHandle(dc, Win(p.x()), Win(p.y()));
}

QRect CGVLCircleT::WindowArea() const {
    const int n = PointCount();
    if (n == 0) return {};
    const QPoint w0 = Win(m_arrPoints[0]);
    if (n == 1) return GVLBox(w0.x() - 150, w0.y() - 30, w0.x() + 150, w0.y() + 30);
    const QPoint w1 = Win(m_arrPoints[1]);
    const QPoint w2 = n >= 3 ? Win(m_arrPoints[2]) : Win(m_ptRubber);
    QPoint c;
    int r = 0;
    QRect box;
    if (CircleFromThreePoints(w0, w1, w2, c, r))
        box = QRect(QPoint(c.x() - r, c.y() - r), QPoint(c.x() + r, c.y() + r));
    else
        box = QRect(w0, w0).united(QRect(w1, w1)).united(QRect(w2, w2));
    return GVLBox(box.left() - 50, box.top() - 50, box.right() + 250, box.bottom() + 50);
}

void CGVLCircleT::InvalidateArea() {
    Invalidate(WindowArea());
}

QRect CGVLCircleT::RemovedArea() const {
    return WindowArea();
}

int CGVLCircleT::DragBody(int x, int y) {
    if (m_nDragTarget == kHitWhole) {
        for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLCircleT::HitBody(int x, int y) const {
    if (HitHandle(x, y) != kHitNone) return false;
    QPoint c;
    int r = 0;
    return GetCircle(c, r) && InCircle(x, y, c, r);
}
