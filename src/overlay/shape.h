#pragma once
// CGVLShape: the base of every overlay element. Points are image pixels; drawing and
// invalidation are in window pixels (image pixels times the owner's zoom, truncated).

#include <QPoint>
#include <QRect>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "overlay/calibration.h"
#include "overlay/overlay_painter.h"

class CGVLElemMgr;

// Tool codes of the document (what a left press over the picture does).
namespace GVLTool {
inline constexpr int kNone = 0;
inline constexpr int kPoint = 1;
inline constexpr int kLine = 2;
inline constexpr int kAngle = 3;
inline constexpr int kRect = 4;
inline constexpr int kPolygon = 5;
inline constexpr int kCircle = 6;
inline constexpr int kCircleT = 7;
inline constexpr int kMove = 9;
inline constexpr int kDelete = 200;
inline constexpr int kDeleteAll = 201;
inline constexpr int kCounterCircle = 202;
inline constexpr int kCounterRect = 203;
inline constexpr int kCounterTriangle = 204;
inline constexpr int kCounterHexagon = 205;
inline constexpr int kArrow = 206;
inline constexpr int kText = 208;
}  // namespace GVLTool

// Element type codes.
namespace GVLType {
inline constexpr int kPoint = 1;
inline constexpr int kLine = 2;
inline constexpr int kAngle = 3;
inline constexpr int kRect = 4;
inline constexpr int kPolygon = 5;
inline constexpr int kCircle = 6;
inline constexpr int kCircleT = 7;
inline constexpr int kRuler = 9;
inline constexpr int kCounterCircle = 11;
inline constexpr int kCounterRect = 12;
inline constexpr int kCounterTriangle = 13;
inline constexpr int kCounterHexagon = 14;
inline constexpr int kArrow = 15;
inline constexpr int kText = 17;
}  // namespace GVLType

class CGVLShape {
public:
    // Hit results besides point indices.
    static constexpr int kHitNone = -1;
    static constexpr int kHitWhole = 10000;

    CGVLShape(CGVLElemMgr* pMgr, uint32_t id);
    virtual ~CGVLShape() = default;
    CGVLShape(const CGVLShape&) = delete;
    CGVLShape& operator=(const CGVLShape&) = delete;

    int GetType() const { return m_nType; }
    uint32_t GetID() const { return m_dwID; }
    // Copy into the blocks shared by all elements of the owner.
    void SetCalibration(const GVLCalibration& calib) { *m_pCalib = calib; }
    void SetDisplay(const GVLDisplay& display) { *m_pDisplay = display; }

    // Calibrated values; 0 where they do not apply or the element is incomplete.
    virtual double GetLength() const { return 0.0; }
    virtual double GetPerimeter() const { return 0.0; }
    virtual double GetArea() const { return 0.0; }

    virtual void Draw(COverlayDC& dc) { (void)dc; }

    // Mouse events in image pixels with the owner's current tool; -1 when not taken.
    virtual int OnLButtonDown(unsigned nFlags, int x, int y, int nTool);
    virtual int OnRButtonDown(unsigned nFlags, int x, int y, int nTool);
    virtual int OnLButtonUp(unsigned nFlags, int x, int y, int nTool);
    virtual int OnMouseMove(unsigned nFlags, int x, int y, int nTool);

    virtual void InvalidateArea() {}
    // -1, a point index, or kHitWhole.
    virtual int HitTest(int x, int y) const;
    void SetSelected(bool bSelected) { m_bSelected = bSelected; }

    int AddPoint(int x, int y);
    const QPoint* GetPoint(int i) const;
    int SetPoint(int i, int x, int y);
    int PointCount() const { return static_cast<int>(m_arrPoints.size()); }

    virtual int DragBody(int x, int y);
    virtual int HitHandle(int x, int y) const;
    virtual bool HitBody(int x, int y) const {
        (void)x;
        (void)y;
        return false;
    }

    // Drawing primitives in window pixels; dotted is the element's selection.
    void DrawHandle(COverlayDC& dc, int x, int y) const;
    void DrawLine(COverlayDC& dc, bool dotted, int x1, int y1, int x2, int y2) const;
    void DrawArc(COverlayDC& dc, bool dotted, int left, int top, int right, int bottom, int xs,
                 int ys, int xe, int ye) const;
    void DrawEllipse(COverlayDC& dc, bool dotted, int left, int top, int right, int bottom) const;
    void DrawArrow(COverlayDC& dc, bool dotted, int x1, int y1, int x2, int y2) const;

    // Invalidates what the element covered and has the owner destroy it: nothing of the
    // element may be touched after this call.
    virtual void Remove();

    void SetOrigin(QPoint pt) { m_ptOrigin = pt; }
    bool IsOrigin(QPoint pt) const { return pt == m_ptOrigin; }

    // The texts the element draws, in drawing order, as drawn.
    virtual QStringList ResultTexts() const { return {}; }

    bool IsDragging() const { return m_bDragging; }
    bool IsSelected() const { return m_bSelected; }
    int DragTarget() const { return m_nDragTarget; }

protected:
    // The window area covered before removal.
    virtual QRect RemovedArea() const { return {}; }

    // Steps of a left press shared by the elements: the hit test, the delete tool and the move
    // tool. true when the press is settled; then 'result' is the answer and, after a removal,
    // the element is gone.
    bool CommonPress(int x, int y, int nTool, int& result);
    // A press for elements drawn by dragging from their first point: the common protocol,
    // else the element's own tool on an empty element starts it here.
    int DraggedShapePress(int x, int y, int nTool, int nOwnTool);
    // A press for one-point elements (labels, text): delete, or place the point with the own
    // tool on an empty element (following the mouse when asked), or move the point.
    int SinglePointPress(int x, int y, int nTool, bool ownTool, bool followMouse);
    // The movement of a held handle or body.
    int CommonMove(int x, int y);
    void CommonRelease(bool ownTool);

    float Zoom() const;
    int Win(int v) const;
    QPoint Win(const QPoint& pt) const;
    int Precision() const;
    // 1, 2 or 3.
    int FontSize() const;
    void Invalidate(const QRect& rc, bool erase = true) const;
    void InvalidateWindow() const;
    // Background mode, element font and text colour, before an element draws text.
    void PrepareText(COverlayDC& dc) const;
    const GVLCalibration& Calib() const { return *m_pCalib; }
    const GVLDisplay& Display() const { return *m_pDisplay; }

    QPoint m_ptOrigin;
    CGVLElemMgr* m_pMgr;
    uint32_t m_dwID;
    GVLCalibration* m_pCalib;
    GVLDisplay* m_pDisplay;
    int m_nType = 0;
    std::vector<QPoint> m_arrPoints;
    bool m_bDragging = false;
    bool m_bSelected = false;
    QPoint m_ptAnchor;
    int m_nDragTarget = kHitNone;
};

// Element font cell height and average width for a font size (1, 2, 3; others as 1).
int GVLFontHeight(int nFontSize);
int GVLFontWidth(int nFontSize);

// A rectangle from two corners in any order, right and bottom exclusive.
QRect GVLBox(int left, int top, int right, int bottom);
