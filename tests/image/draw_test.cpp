// Drawing pictures onto a QPainter, and the double-buffered painting helper.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "image/image_draw.h"

namespace {

// A 3 x 2 picture with six distinct colours.
FCObjImage SixColours(int bits) {
    FCObjImage img;
    EXPECT_TRUE(img.Allocate(3, 2, 24));
    const uint32_t c[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    for (int i = 0; i < 6; ++i) img.WritePixel(i % 3, i / 3, c[i]);
    if (bits == 32) {
        FCObjImage deep;
        EXPECT_TRUE(deep.Allocate(3, 2, 32));
        for (int i = 0; i < 6; ++i) deep.WritePixel(i % 3, i / 3, c[i]);  // alpha 0: still drawn
        return deep;
    }
    return img;
}

QRgb Expected(const FCObjImage& img, int x, int y) {
    const uint32_t v = img.ReadPixel(x, y);
    return qRgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

}  // namespace

TEST(ImageDraw, DrawToKeepsOrientationAndScales) {
    for (int bits : {24, 32}) {
        const FCObjImage img = SixColours(bits);
        QImage canvas(20, 20, QImage::Format_RGB32);
        canvas.fill(Qt::gray);
        QPainter p(&canvas);
        DrawTo(img, &p, QRect(0, 0, 3, 2), QRect(0, 0, 3, 2));
        DrawTo(img, &p, QRect(10, 10, 6, 4), QRect(0, 0, 3, 2));  // twice the size
        DrawTo(img, &p, QRect(0, 10, 1, 1), QRect(2, 1, 1, 1));   // one source pixel
        p.end();
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(canvas.pixel(x, y), Expected(img, x, y)) << bits << ": " << x << "," << y;
                EXPECT_EQ(canvas.pixel(10 + 2 * x + 1, 10 + 2 * y + 1), Expected(img, x, y))
                    << bits;
            }
        EXPECT_EQ(canvas.pixel(0, 10), Expected(img, 2, 1));
        EXPECT_EQ(canvas.pixel(3, 0), qRgb(160, 160, 164)) << "nothing outside the destination";
    }
}

TEST(ImageDraw, IndexedPicturesUseTheirPalette) {
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(2, 1, 8));
    FCRgbQuad pal[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    img.WritePalette(2, pal);
    img.WritePixel(1, 0, 1);
    QImage canvas(2, 1, QImage::Format_RGB32);
    QPainter p(&canvas);
    DrawTo(img, &p, QRect(0, 0, 2, 1), QRect(0, 0, 2, 1));
    p.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(0, 0, 255));
}

TEST(ImageDraw, FittedRectangle) {
    struct Case {
        int w, h;
        QRect rc, expect;
    } cases[] = {
        {4000, 1000, QRect(0, 0, 400, 400), QRect(0, 150, 400, 100)},
        {100, 50, QRect(10, 20, 400, 400), QRect(160, 195, 100, 50)},  // never enlarged
        {1000, 4000, QRect(0, 0, 400, 400), QRect(150, 0, 100, 400)},
        {100000, 10, QRect(0, 0, 100, 100), QRect(0, 49, 100, 1)},  // at least one pixel
    };
    for (const Case& c : cases)
        EXPECT_EQ(FittedRect(c.w, c.h, c.rc), c.expect) << c.w << "x" << c.h;

    FCObjImage img;
    ASSERT_TRUE(img.Allocate(40, 10, 24));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) img.WritePixel(x, y, 0x00FF00);
    QImage canvas(20, 20, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    EXPECT_EQ(DrawFitted(img, &p, QRect(0, 0, 20, 20)), QRect(0, 7, 20, 5));
    p.end();
    EXPECT_EQ(canvas.pixel(10, 9), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(10, 6), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(10, 12), qRgb(0, 0, 0));
}

TEST(ImageDraw, BufferedPainterReachesTheTargetOnlyOnFlush) {
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    {
        FCBufferedPainter buffered(&p, QRect(2, 2, 4, 4));
        buffered.painter()->fillRect(QRect(3, 3, 1, 1), Qt::red);  // target coordinates
        EXPECT_EQ(target.pixel(3, 3), qRgb(255, 255, 255));
        buffered.Flush();
    }
    p.end();
    EXPECT_EQ(target.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(2, 2), qRgb(0, 0, 0)) << "the buffer starts black and is copied whole";
    EXPECT_EQ(target.pixel(6, 6), qRgb(255, 255, 255)) << "outside the rectangle untouched";
}
