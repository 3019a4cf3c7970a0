#include "ui/view_cursors.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kSize = 32;

// Shapes are drawn twice, a white halo under black strokes, so they show on any picture.
template <class Draw>
QPixmap Outlined(Draw draw) {
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap));
    draw(p);
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap));
    draw(p);
    return pm;
}

QCursor MakeDraw() {
    // A thin cross-hair with an open centre and a dot in the middle.
    const QPixmap pm = Outlined([](QPainter& p) {
        const int c = kSize / 2;
        p.drawLine(c, 2, c, c - 4);
        p.drawLine(c, c + 4, c, kSize - 3);
        p.drawLine(2, c, c - 4, c);
        p.drawLine(c + 4, c, kSize - 3, c);
        p.drawPoint(c, c);
    });
    return QCursor(pm, kSize / 2, kSize / 2);
}

QCursor MakeMove() {
    // A cross with an arrow head at each end.
    const QPixmap pm = Outlined([](QPainter& p) {
        const int c = kSize / 2, lo = 3, hi = kSize - 4;
        p.drawLine(c, lo, c, hi);
        p.drawLine(lo, c, hi, c);
        for (int k = 1; k <= 4; ++k) {
            p.drawLine(c - k, lo + k, c + k, lo + k);
            p.drawLine(c - k, hi - k, c + k, hi - k);
            p.drawLine(lo + k, c - k, lo + k, c + k);
            p.drawLine(hi - k, c - k, hi - k, c + k);
        }
    });
    return QCursor(pm, kSize / 2, kSize / 2);
}

QCursor MakePen() {
    // A pencil from the top right down to its tip at the bottom left; the tip is the hot spot.
    const QPixmap pm = Outlined([](QPainter& p) {
        const QPoint tip(1, kSize - 2);
        p.drawLine(tip, QPoint(6, kSize - 4));
        p.drawLine(tip, QPoint(3, kSize - 7));
        p.drawLine(QPoint(6, kSize - 4), QPoint(kSize - 5, 10));
        p.drawLine(QPoint(3, kSize - 7), QPoint(kSize - 8, 7));
        p.drawLine(QPoint(kSize - 8, 7), QPoint(kSize - 5, 10));
        p.drawLine(QPoint(kSize - 8, 7), QPoint(kSize - 4, 2));
        p.drawLine(QPoint(kSize - 5, 10), QPoint(kSize - 1, 6));
        p.drawLine(QPoint(kSize - 4, 2), QPoint(kSize - 1, 6));
    });
    return QCursor(pm, 1, kSize - 2);
}

}  // namespace

const QCursor& ViewCursor(ViewCursorKind kind) {
    // Made on first use: cursors need the application's GUI part.
    static const QCursor draw = MakeDraw();
    static const QCursor move = MakeMove();
    static const QCursor pen = MakePen();
    switch (kind) {
        case ViewCursorKind::Move:
            return move;
        case ViewCursorKind::Pen:
            return pen;
        case ViewCursorKind::Draw:
        default:
            return draw;
    }
}

QCursor CursorForTool(int tool) {
    if (tool >= 1 && tool <= 8) return ViewCursor(ViewCursorKind::Draw);
    if (tool == 9) return ViewCursor(ViewCursorKind::Move);
    return QCursor(Qt::ArrowCursor);
}
