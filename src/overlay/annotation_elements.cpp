// Arrow and text annotations, and the calibration ruler.

#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

// ---------------------------------------------------------------- arrow

CGVLAnoArrow::CGVLAnoArrow(CGVLElemMgr* pMgr, uint32_t id) : CGVLLine(pMgr, id) {
    m_nType = GVLType::kArrow;
}

void CGVLAnoArrow::Draw(COverlayDC& dc) {
    if (PointCount() != 2) return;
    const QPoint a = Win(m_arrPoints[0]), b = Win(m_arrPoints[1]);
    DrawArrow(dc, m_bSelected, a.x(), a.y(), b.x(), b.y());
    if (m_bSelected) {
        DrawHandle(dc, a.x(), a.y());
        DrawHandle(dc, b.x(), b.y());
    }
}

// ---------------------------------------------------------------- text

CGVLAnoText::CGVLAnoText(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kText;
}

void CGVLAnoText::SetTextLines(const QStringList& typed) {
    m_arrLines.clear();
    for (int i = 0; i < typed.size(); ++i) {
        if (typed[i].size() >= kMaxLineLength) continue;
        while (m_arrLines.size() <= i) m_arrLines.append(QString());
        m_arrLines[i] = typed[i];
    }
}

int CGVLAnoText::LongestLine() const {
    qsizetype n = 0;
    for (const QString& s : m_arrLines) n = std::max(n, s.size());
    return static_cast<int>(n);
}

void CGVLAnoText::Draw(COverlayDC& dc) {
    if (PointCount() != 1) return;
    PrepareText(dc);
    m_nCharWidth = GVLFontWidth(FontSize());
    m_nCharHeight = GVLFontHeight(FontSize());
    const QPoint w = Win(m_arrPoints[0]);
    for (int i = 0; i < m_arrLines.size(); ++i)
        dc.Text(w.x(), w.y() + i * (m_nCharHeight + 5), m_arrLines[i]);
}

int CGVLAnoText::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    // Placed where pressed; it does not follow the mouse.
    return SinglePointPress(x, y, nTool, nTool == GVLTool::kText, false);
}

int CGVLAnoText::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    return CommonMove(x, y);
}

int CGVLAnoText::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y;
    CommonRelease(nTool == GVLTool::kText);
    return -1;
}

void CGVLAnoText::InvalidateArea() {
    if (PointCount() != 1) return;
    const QPoint w = Win(m_arrPoints[0]);
    const int lines = static_cast<int>(m_arrLines.size());
    const int width = (m_nCharWidth + 2) * LongestLine() + 50;
    Invalidate(GVLBox(w.x() - 140, w.y() - 140, w.x() + width,
                      w.y() + (GVLFontHeight(FontSize()) + 5) * lines + 20));
}

QRect CGVLAnoText::RemovedArea() const {
    if (PointCount() != 1) return {};
    const QPoint w = Win(m_arrPoints[0]);
    const int lines = static_cast<int>(m_arrLines.size());
    return GVLBox(w.x() - 40 - 100, w.y() - 40 - 30,
                  w.x() + m_nCharWidth * LongestLine() + 20 + 100,
                  w.y() + (m_nCharHeight + 7) * lines + 20 + 30);
}

int CGVLAnoText::DragBody(int x, int y) {
    if (m_nDragTarget == kHitWhole) {
        for (QPoint& p : m_arrPoints) p += QPoint(x - m_ptAnchor.x(), y - m_ptAnchor.y());
        m_ptAnchor = QPoint(x, y);
    }
    return m_nDragTarget;
}

bool CGVLAnoText::HitBody(int x, int y) const {
    if (PointCount() != 1 || HitHandle(x, y) != kHitNone) return false;
    const QPoint& p = m_arrPoints[0];
    const int right = p.x() + LongestLine() * m_nCharWidth;
    const int bottom = p.y() + static_cast<int>(m_arrLines.size()) * m_nCharHeight;
    return p.x() - 40 <= x && x < right && p.y() - 40 <= y && y < bottom;
}

// ---------------------------------------------------------------- ruler

CGVLRuler::CGVLRuler(CGVLElemMgr* pMgr, uint32_t id) : CGVLShape(pMgr, id) {
    m_nType = GVLType::kRuler;
    AddPoint(100, 50);
    AddPoint(50, 100);
}

QStringList CGVLRuler::ResultTexts() const {
    const int p = Precision(), unit = Calib().m_unit_Unit;
    return {GVLResultText(GVLResult::RulerArm, Calib().m_unit_dcxReal, p, unit),
            GVLResultText(GVLResult::RulerArm, Calib().m_unit_dcyReal, p, unit)};
}

void CGVLRuler::Draw(COverlayDC& dc) {
    if (PointCount() != 2) return;
    const int X0 = Win(m_arrPoints[0].x()), Y0 = Win(m_arrPoints[0].y());
    const int X1 = Win(m_arrPoints[1].x()), Y1 = Win(m_arrPoints[1].y());
    dc.SetPen(GVLColor(Display().m_color_Ruler), 1, GVLPenStyle::Solid);
    dc.Line(X1 - 5, Y0, X0, Y0);
    dc.Line(X0, Y0 - 5, X0, Y0 + 5);
    dc.Line(X1, Y0 - 5, X1, Y1);
    dc.Line(X1 - 5, Y1, X1 + 5, Y1);
    // The ruler keeps its small font whatever the element font size.
    dc.SetBackground(m_pMgr->CurFontBackground() != 1);
    dc.SelectFont(20, 8, 400);
    dc.SetTextColor(GVLColor(Display().m_color_Text));
    const QStringList texts = ResultTexts();
    dc.Text(X0 + 10, Y0 - 5, texts[0]);
    dc.Text(X1, Y1 + 5, texts[1]);
}

int CGVLRuler::HitTest(int x, int y) const {
    if (PointCount() != 2) return 0;
    const int x0 = m_arrPoints[0].x(), y0 = m_arrPoints[0].y();
    const int x1 = m_arrPoints[1].x(), y1 = m_arrPoints[1].y();
    if (GVLBox(x1 - 5, y0 - 5, x0 - 4, y1 - 4).contains(x, y)) return 1;
    if (GVLBox(x0 - 5, y0 - 5, x0 + 5, y0 + 5).contains(x, y)) return 2;
    if (GVLBox(x1 - 5, y1 - 5, x1 + 5, y1 + 5).contains(x, y)) return 3;
    return 0;
}

int CGVLRuler::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    // A hidden ruler ignores the mouse: the calibration never changes out of sight.
    m_nHitZone = m_pMgr->CurRulerShown() ? HitTest(x, y) : 0;
    if (m_nHitZone == 1) m_ptLast = QPoint(x, y);
    if (m_nHitZone == 2) m_nLimit = m_arrPoints[1].x() + 1;
    if (m_nHitZone == 3) m_nLimit = m_arrPoints[0].y() + 1;
    return -1;
}

int CGVLRuler::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    if (nTool != GVLTool::kNone && nTool != GVLTool::kMove) return -1;
    if (m_nHitZone == 0 || !m_pMgr->CurRulerShown() || PointCount() != 2) return -1;
    InvalidateArea();
    QPoint& p0 = m_arrPoints[0];
    QPoint& p1 = m_arrPoints[1];
    if (m_nHitZone == 1) {
        const QPoint d(x - m_ptLast.x(), y - m_ptLast.y());
        p0 += d;
        p1 += d;
        m_ptLast = QPoint(x, y);
    } else {
        if (m_nHitZone == 2)
            p0.setX(std::max(x, m_nLimit));
        else
            p1.setY(std::max(y, m_nLimit));
        // The typed physical lengths now span the new pixel lengths. An arm of no pixels
        // (possible only from stored settings) keeps its old value rather than dividing by 0.
        GVLCalibration& c = *m_pCalib;
        const int px = std::abs(p0.x() - p1.x()), py = std::abs(p0.y() - p1.y());
        if (px > 0) c.m_unit_dcxPerPixel = c.m_unit_dcxReal / px;
        if (py > 0) c.m_unit_dcyPerPixel = c.m_unit_dcyReal / py;
    }
    InvalidateArea();
    m_pMgr->ElementRulerChanged();
    return -1;
}

int CGVLRuler::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)x, (void)y, (void)nTool;
    InvalidateArea();
    m_nHitZone = 0;
    return -1;
}

void CGVLRuler::InvalidateArea() {
    if (PointCount() != 2) return;
    const QPoint a = Win(m_arrPoints[0]), b = Win(m_arrPoints[1]);
    Invalidate(GVLBox(b.x() - 5, a.y() - 5, a.x() + 100, b.y() + 50));
}
