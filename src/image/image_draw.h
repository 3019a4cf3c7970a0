#pragma once
// Drawing a picture onto a QPainter, and a double-buffered painting helper.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <memory>

#include "image/obj_image.h"

// Stretches the source rectangle of the picture (picture pixels, top-left origin) onto the
// destination rectangle with a plain copy (no smoothing, alpha ignored).
void DrawTo(const FCObjImage& img, QPainter* painter, const QRect& dst, const QRect& src);

// Draws the whole picture centred in the rectangle, shrunk to fit when it is larger, never
// enlarged. Returns where it was drawn (empty when nothing was drawn).
QRect DrawFitted(const FCObjImage& img, QPainter* painter, const QRect& rc);

// The rectangle DrawFitted uses.
QRect FittedRect(int imageWidth, int imageHeight, const QRect& rc);

// A QImage that shares the picture's pixel block, rows in storage order (bottom row first).
// Pictures of 4 bits are copied to 8 bits, since Qt has no 4-bit form. Null when invalid.
QImage WrapStorageOrder(const FCObjImage& img);

// Paint into an off-screen buffer, then copy it to the target in one step to avoid flicker.
// The buffer starts black; its painter uses the target's coordinates.
class FCBufferedPainter {
public:
    FCBufferedPainter(QPainter* target, const QRect& rc);
    ~FCBufferedPainter();
    FCBufferedPainter(const FCBufferedPainter&) = delete;
    FCBufferedPainter& operator=(const FCBufferedPainter&) = delete;

    QPainter* painter() { return m_painter.get(); }
    const QImage& buffer() const { return m_buffer; }
    // Copies the buffer to the target at the rectangle's top-left corner.
    void Flush();

private:
    QPainter* m_target;
    QRect m_rc;
    QImage m_buffer;
    std::unique_ptr<QPainter> m_painter;
};
