#include "overlay/overlay_painter.h"

#include <QFontMetrics>
#include <QPen>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Arial's design metrics (units per em 2048): ascent + descent 2288, average width 904. A font
// request names the cell height and the average width, Qt wants the em size and a stretch.
constexpr double kCellPerEm = 2288.0 / 2048.0;
constexpr double kAvgWidthPerEm = 904.0 / 2048.0;

}  // namespace

COverlayDC::COverlayDC(QPainter* painter) : m_p(painter), m_textColor(Qt::black) {
    m_p->setRenderHint(QPainter::Antialiasing, false);
    m_p->setRenderHint(QPainter::TextAntialiasing, false);
    m_p->setBrush(Qt::NoBrush);
    m_p->setBackgroundMode(Qt::TransparentMode);
}

void COverlayDC::SetPen(const QColor& color, int width, GVLPenStyle style) {
    QPen pen(color);
    pen.setWidth(width);
    pen.setCosmetic(true);
    // Both ends drawn; Line() leaves the last pixel out itself.
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    switch (style) {
        case GVLPenStyle::Solid:
            pen.setStyle(Qt::SolidLine);
            break;
        case GVLPenStyle::Dotted:
            pen.setStyle(Qt::DotLine);
            break;
        case GVLPenStyle::Dashed:
            pen.setStyle(Qt::DashLine);
            break;
    }
    m_p->setPen(pen);
    m_penColor = color;
}

void COverlayDC::SetBackground(bool opaque, const QColor& color) {
    m_p->setBackgroundMode(opaque ? Qt::OpaqueMode : Qt::TransparentMode);
    if (opaque) m_p->setBackground(color);
}

void COverlayDC::SelectFont(int height, int width, int weight) {
    if (height == m_fontHeight && width == m_fontWidth && weight == m_fontWeight) return;
    const int pixelSize = std::max(1, static_cast<int>(std::lround(height / kCellPerEm)));
    const int stretch = std::clamp(
        static_cast<int>(std::lround(100.0 * width / (pixelSize * kAvgWidthPerEm))), 1, 4000);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setStretch(stretch);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 100, 900)));
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    m_font = font;
    m_p->setFont(m_font);
    m_ascent = m_p->fontMetrics().ascent();
    m_fontHeight = height;
    m_fontWidth = width;
    m_fontWeight = weight;
}

void COverlayDC::Line(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int n = std::max(std::abs(dx), std::abs(dy));
    if (n == 0) return;
    // Qt leaves out the end with the larger coordinate whichever way a line runs; stop one
    // step short of (x2, y2) and draw both ends instead.
    const int ex = x1 + static_cast<int>(std::lround(static_cast<double>(dx) * (n - 1) / n));
    const int ey = y1 + static_cast<int>(std::lround(static_cast<double>(dy) * (n - 1) / n));
    if (ex == x1 && ey == y1)
        m_p->drawPoint(x1, y1);
    else
        m_p->drawLine(x1, y1, ex, ey);
}

void COverlayDC::Pixel(int x, int y, const QColor& color) {
    const QPen saved = m_p->pen();
    m_p->setPen(QPen(color, 1));
    m_p->drawPoint(x, y);
    m_p->setPen(saved);
}

void COverlayDC::Ellipse(int left, int top, int right, int bottom) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return;
    m_p->drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
}

void COverlayDC::Rectangle(int left, int top, int right, int bottom) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return;
    m_p->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

void COverlayDC::Polygon(const QPoint* points, int count) {
    if (count < 2) return;
    m_p->drawPolygon(points, count);
}

void COverlayDC::Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return;
    const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    // Qt counts angles counter-clockwise from three o'clock with y pointing up.
    const double a0 = std::atan2(cy - ys, xs - cx) * 180.0 / M_PI;
    const double a1 = std::atan2(cy - ye, xe - cx) * 180.0 / M_PI;
    double span = a1 - a0;
    while (span < 0) span += 360.0;
    while (span >= 360.0) span -= 360.0;
    const int a16 = static_cast<int>(std::lround(a0 * 16.0));
    const int span16 = static_cast<int>(std::lround(span * 16.0));
    if (span16 == 0) return;
    m_p->drawArc(QRect(left, top, right - left - 1, bottom - top - 1), a16, span16);
}

void COverlayDC::Text(int x, int y, const QString& text) {
    if (text.isEmpty()) return;
    const QPen saved = m_p->pen();
    m_p->setPen(m_textColor);
    m_p->drawText(QPoint(x, y + m_ascent), text);
    m_p->setPen(saved);
}

QSize COverlayDC::TextExtent(const QString& text) {
    const QFontMetrics fm = m_p->fontMetrics();
    return QSize(fm.horizontalAdvance(text), fm.height());
}
