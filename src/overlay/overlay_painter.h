#pragma once
// The one small drawing interface the overlay draws through. It wraps a QPainter with the
// drawing rules the overlay geometry is written for: integer window pixels, 1-pixel lines whose
// last pixel is left out, boxes whose right and bottom edges are exclusive, text placed by its
// top-left corner, and an optional opaque gray text background. The same code paints a window,
// the full screen and the burn-in buffer.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QSize>
#include <QString>

enum class GVLPenStyle { Solid, Dotted, Dashed };

class COverlayDC {
public:
    explicit COverlayDC(QPainter* painter);
    COverlayDC(const COverlayDC&) = delete;
    COverlayDC& operator=(const COverlayDC&) = delete;

    QPainter* painter() const { return m_p; }

    void SetPen(const QColor& color, int width, GVLPenStyle style);
    // Transparent, or opaque with this colour behind text and the gaps of styled lines.
    void SetBackground(bool opaque, const QColor& color = QColor(128, 128, 128));
    void SetTextColor(const QColor& color) { m_textColor = color; }
    // Cell height and average character width in pixels, weight 100..900, as a font request
    // for "Arial" (Liberation Sans here), never antialiased.
    void SelectFont(int height, int width, int weight);
    int FontHeight() const { return m_fontHeight; }
    int FontWidth() const { return m_fontWidth; }

    // From (x1, y1) up to, not including, (x2, y2).
    void Line(int x1, int y1, int x2, int y2);
    void Pixel(int x, int y, const QColor& color);
    // Outlines inside the box (left, top) .. (right, bottom), right and bottom exclusive.
    void Ellipse(int left, int top, int right, int bottom);
    void Rectangle(int left, int top, int right, int bottom);
    // The closed outline through the corners.
    void Polygon(const QPoint* points, int count);
    // The arc of the box's ellipse from the radial through (xs, ys) counter-clockwise (on
    // screen) to the radial through (xe, ye). Equal radials draw nothing.
    void Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);

    // Text with its top-left corner at (x, y), in the text colour of the selected font.
    void Text(int x, int y, const QString& text);
    QSize TextExtent(const QString& text);

private:
    QPainter* m_p;
    QColor m_penColor;
    QColor m_textColor;
    QFont m_font;
    int m_fontHeight = 0;
    int m_fontWidth = 0;
    int m_fontWeight = 0;
    int m_ascent = 0;
};
