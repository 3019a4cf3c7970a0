// The three-click construction shared by the angle and the three-point circle.

#include <algorithm>
#include <cmath>

#include "overlay/element_manager.h"
#include "overlay/elements.h"

CGVLThreeClickShape::CGVLThreeClickShape(CGVLElemMgr* pMgr, uint32_t id, int nOwnTool)
    : CGVLShape(pMgr, id), m_nOwnTool(nOwnTool) {}

int CGVLThreeClickShape::OnLButtonDown(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    int result = -1;
    if (CommonPress(x, y, nTool, result)) return result;
    if (nTool == m_nOwnTool && PointCount() < 3) {
        m_nDragTarget = m_nClicks;
        m_bSelected = true;
        if (m_nClicks == 0) {
            m_ptRubber = QPoint(x, y);
            m_bDragging = true;
        }
    }
    InvalidateArea();
    return m_nDragTarget;
}

int CGVLThreeClickShape::OnMouseMove(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags, (void)nTool;
    if (!m_bDragging) return -1;
    if (PointCount() < 3) {
        // Still being built: only the rubber band follows the mouse.
        m_nDragTarget = std::max(m_nClicks - 1, 0);
        m_ptRubber = QPoint(x, y);
        InvalidateArea();
        m_bSelected = true;
        return m_nDragTarget;
    }
    return CommonMove(x, y);
}

int CGVLThreeClickShape::OnLButtonUp(unsigned nFlags, int x, int y, int nTool) {
    (void)nFlags;
    const bool building = m_bDragging && PointCount() < 3;
    if (building && nTool == m_nOwnTool) {
        InvalidateArea();
        AddPoint(x, y);
        ++m_nClicks;
        m_bSelected = false;
        if (PointCount() >= 3) {
            m_nDragTarget = kHitNone;
            m_bDragging = false;
        }
        InvalidateWindow();
        return -1;
    }
    // Elements drawn in between leave one under construction alone; the move tool ends it.
    if (building && nTool != GVLTool::kMove) return -1;
    CommonRelease(nTool == m_nOwnTool);
    InvalidateWindow();
    return -1;
}
