#pragma once
// The overlay elements: measurements, counter labels, annotations and the calibration ruler.

#include <QString>
#include <QStringList>

#include "overlay/shape.h"

// A measured distance. Built by one drag: the point where the drag started stays, the other
// end follows the mouse.
class CGVLLine : public CGVLShape {
public:
    CGVLLine(CGVLElemMgr* pMgr, uint32_t id);
    double GetLength() const override;
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;
    // Top-left corner of the result text, image pixels.
    QPoint LabelPosition() const;

protected:
    QRect RemovedArea() const override;
    // Ends closer than this in both directions make no element.
    virtual int MinSpan() const { return 5; }
    virtual int OwnTool() const { return GVLTool::kLine; }
};

// A marked point with its pixel coordinates.
class CGVLPoint : public CGVLShape {
public:
    CGVLPoint(CGVLElemMgr* pMgr, uint32_t id);
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;
};

// A numbered counting label in a circle, rectangle, triangle or hexagon frame (types 11..14).
class CGVLNo : public CGVLShape {
public:
    CGVLNo(CGVLElemMgr* pMgr, uint32_t id);
    void SetType(int nType) { m_nType = nType; }
    int GetNumber() const { return m_nNumber; }
    void SetNumber(int n) { m_nNumber = n; }
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;

private:
    int m_nNumber = 0;
};

// An element built by three clicks of its own tool, with a rubber band to the mouse between
// clicks; once complete it follows the common editing protocol.
class CGVLThreeClickShape : public CGVLShape {
public:
    CGVLThreeClickShape(CGVLElemMgr* pMgr, uint32_t id, int nOwnTool);
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;

protected:
    int m_nClicks = 0;
    QPoint m_ptRubber;

private:
    int m_nOwnTool;
};

// The angle between two arms; built by three clicks (arm end, vertex, arm end).
class CGVLAngle : public CGVLThreeClickShape {
public:
    CGVLAngle(CGVLElemMgr* pMgr, uint32_t id);
    // Degrees in [0, 360), from image pixels; 0 without three points.
    double GetAngle() const;
    void Draw(COverlayDC& dc) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;
};

// An axis-parallel rectangle: p0 top-left, p1 top-right, p2 bottom-left, p3 bottom-right.
class CGVLRect : public CGVLShape {
public:
    CGVLRect(CGVLElemMgr* pMgr, uint32_t id);
    double GetPerimeter() const override;
    double GetArea() const override;
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;
};

// A circle dragged from its centre (p0) to its rim (p1).
class CGVLCircle : public CGVLShape {
public:
    CGVLCircle(CGVLElemMgr* pMgr, uint32_t id);
    // Whole image pixels.
    int PixelRadius() const;
    double GetRadius() const;
    double GetPerimeter() const override;
    double GetArea() const override;
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;
};

// The circle through three points: integer centre and radius. Fails (leaving both untouched)
// when the points are collinear or two of them coincide, or when the centre lies beyond any
// picture.
bool CircleFromThreePoints(QPoint p0, QPoint p1, QPoint p2, QPoint& centre, int& radius);

// The circle through three clicked points.
class CGVLCircleT : public CGVLThreeClickShape {
public:
    CGVLCircleT(CGVLElemMgr* pMgr, uint32_t id);
    // From the image points; false (centre and radius 0) without a circle.
    bool GetCircle(QPoint& centre, int& radius) const;
    double GetRadius() const;
    double GetArea() const override;
    void Draw(COverlayDC& dc) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override;

protected:
    QRect RemovedArea() const override;

private:
    QRect WindowArea() const;
};

// A polygon of clicked vertices, closed by a right click.
class CGVLPolygon : public CGVLShape {
public:
    CGVLPolygon(CGVLElemMgr* pMgr, uint32_t id);
    bool IsClosed() const { return m_bClosed; }
    // Another tool was chosen while it was drawn: closed through its corners when it has three,
    // removed otherwise (nothing half-drawn stays behind).
    void FinishOrRemove();
    double GetArea() const override;
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnRButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    QStringList ResultTexts() const override;
    int GetDragTarget() const { return m_nDragTarget; }
    // 1 when (x, y) lies within 10 pixels of a vertex of a polygon of more than three, else -1.
    int NearVertex(int x, int y) const;

protected:
    QRect RemovedArea() const override;

private:
    QRect Area() const;
    int m_nClicks = 0;
    QPoint m_ptRubber;
    bool m_bClosed = false;
    // The last left press went to this polygon: only its release adds a vertex.
    bool m_bPressed = false;
    // A vertex is held by the move tool.
    bool m_bEditing = false;
};

// An arrow annotation: p0 tail, p1 head. Built like the line, so the head marks where the drag
// started.
class CGVLAnoArrow : public CGVLLine {
public:
    CGVLAnoArrow(CGVLElemMgr* pMgr, uint32_t id);
    void Draw(COverlayDC& dc) override;
    QStringList ResultTexts() const override { return {}; }

protected:
    int MinSpan() const override { return 10; }
    int OwnTool() const override { return GVLTool::kArrow; }
};

// A text annotation; p0 is the top-left corner of the first line.
class CGVLAnoText : public CGVLShape {
public:
    static constexpr int kMaxLineLength = 255;

    CGVLAnoText(CGVLElemMgr* pMgr, uint32_t id);
    // The lines as typed: a line of 255 characters or more is left empty (dropped when last).
    void SetTextLines(const QStringList& typed);
    const QStringList& GetLines() const { return m_arrLines; }
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    int DragBody(int x, int y) override;
    bool HitBody(int x, int y) const override;
    QStringList ResultTexts() const override { return m_arrLines; }

protected:
    QRect RemovedArea() const override;

private:
    int LongestLine() const;
    QStringList m_arrLines;
    int m_nCharWidth = 8;
    int m_nCharHeight = 20;
};

// The L-shaped calibration ruler: p0 = (X end, Y start), p1 = (X start, Y end). Dragging the
// end of an arm recalibrates the owner.
class CGVLRuler : public CGVLShape {
public:
    CGVLRuler(CGVLElemMgr* pMgr, uint32_t id);
    void Draw(COverlayDC& dc) override;
    int OnLButtonDown(unsigned nFlags, int x, int y, int nTool) override;
    int OnLButtonUp(unsigned nFlags, int x, int y, int nTool) override;
    int OnMouseMove(unsigned nFlags, int x, int y, int nTool) override;
    void InvalidateArea() override;
    // 0 none, 1 the whole ruler, 2 end of the horizontal arm, 3 end of the vertical arm.
    int HitTest(int x, int y) const override;
    QStringList ResultTexts() const override;
    void Remove() override {}

private:
    int m_nHitZone = 0;
    QPoint m_ptLast;
    int m_nLimit = 0;
};
