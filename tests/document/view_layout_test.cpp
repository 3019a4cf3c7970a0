// The view's arithmetic: zoom list, fitting, placement, grey margins, full-screen letterbox.

#include "document/view_layout.h"

#include <gtest/gtest.h>

namespace {

struct ZoomCase {
    int index;
    QSize frame;
    QSize display;
    float scale;
    const char* text;
};

TEST(ViewLayout, ZoomListGivesDisplaySizeScaleAndText) {
    const QSize client(4000, 4000);  // no fitting involved
    const ZoomCase cases[] = {
        {0, {1280, 1024}, {3200, 2560}, 2.5f, "250%"},  {1, {1280, 1024}, {2560, 2048}, 2.0f, "200%"},
        {2, {1281, 1023}, {1921, 1534}, 1.5f, "150%"},  {3, {1281, 1023}, {1601, 1278}, 1.25f, "125%"},
        {4, {1280, 1024}, {1280, 1024}, 1.0f, "100%"},  {5, {1281, 1023}, {960, 767}, 0.75f, "75%"},
        {6, {1280, 1024}, {853, 682}, 0.667f, "67%"},   {7, {1281, 1023}, {640, 511}, 0.5f, "50%"},
        {8, {1280, 1024}, {426, 341}, 0.334f, "33%"},   {9, {1281, 1023}, {320, 255}, 0.25f, "25%"},
    };
    for (const ZoomCase& c : cases) {
        SCOPED_TRACE(c.index);
        const ViewLayout l = ComputeViewLayout(c.index, c.frame, client, {});
        EXPECT_EQ(l.display, c.display);
        EXPECT_FLOAT_EQ(l.scale, c.scale);
        EXPECT_EQ(l.scroll, c.display);
        EXPECT_EQ(ZoomText(c.index), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(ZoomText(kZoomFitIndex), QString::fromUtf8("\u9002\u5408\u7a97\u53e3"));
    EXPECT_TRUE(ZoomText(-1).isEmpty());
    EXPECT_TRUE(ZoomText(11).isEmpty());
}

TEST(ViewLayout, FittingKeepsTheAspectRatio) {
    struct Case {
        QSize frame, client, display;
        float scale;
    };
    const Case cases[] = {
        {{2000, 1000}, {800, 600}, {800, 400}, 0.4f},     // width limits
        {{1000, 2000}, {800, 600}, {300, 600}, 0.3f},     // height limits
        {{400, 300}, {800, 600}, {800, 600}, 2.0f},       // small pictures grow
        {{3488, 2616}, {1280, 900}, {1200, 900}, 1200.0f / 3488.0f},
        {{100000, 50000}, {60000, 60000}, {60000, 30000}, 0.6f},  // products beyond 32 bits
    };
    for (const Case& c : cases) {
        const ViewLayout l = ComputeViewLayout(kZoomFitIndex, c.frame, c.client, {});
        EXPECT_EQ(l.display, c.display) << c.frame.width() << "x" << c.frame.height();
        EXPECT_FLOAT_EQ(l.scale, c.scale);
    }
}

TEST(ViewLayout, FittingWithoutPictureOrClientKeepsThePreviousSize) {
    ViewLayout previous;
    previous.display = QSize(640, 480);
    previous.scale = 0.5f;
    for (const auto& [frame, client] : {std::pair{QSize(0, 1024), QSize(800, 600)},
                                        std::pair{QSize(1280, 1024), QSize(0, 0)},
                                        std::pair{QSize(1280, 1024), QSize(800, 0)}}) {
        const ViewLayout l = ComputeViewLayout(kZoomFitIndex, frame, client, previous);
        EXPECT_EQ(l.display, QSize(640, 480));
        EXPECT_FLOAT_EQ(l.scale, 0.5f);
    }
}

TEST(ViewLayout, PlacementCentresSmallPicturesAndScrollsLargeOnes) {
    // Smaller than the client: centred, origin 0 because the frame fits.
    ViewLayout l = ComputeViewLayout(kZoom100Index, {400, 300}, {800, 600}, {});
    EXPECT_EQ(l.window, QRect(200, 150, 400, 300));
    EXPECT_EQ(l.origin, QPoint(0, 0));
    // Larger: at 0, 0 and scrolling.
    l = ComputeViewLayout(kZoom100Index, {2000, 1000}, {800, 600}, {});
    EXPECT_EQ(l.window, QRect(0, 0, 2000, 1000));
    EXPECT_EQ(l.origin, QPoint(0, 0));
    EXPECT_EQ(l.scroll, QSize(2000, 1000));
    // Wider than the client only: centred vertically.
    l = ComputeViewLayout(kZoom100Index, {2000, 300}, {800, 600}, {});
    EXPECT_EQ(l.window, QRect(0, 150, 2000, 300));
    // A frame larger than the client but zoomed below it: the origin takes the centring offset.
    l = ComputeViewLayout(9, {2000, 1000}, {800, 600}, {});
    EXPECT_EQ(l.display, QSize(500, 250));
    EXPECT_EQ(l.centre, QPoint(150, 175));
    EXPECT_EQ(l.origin, QPoint(150, 175));
    // Automatic stitching: the window covers the view.
    l = ComputeViewLayout(kZoom100Index, {400, 300}, {800, 600}, {}, true);
    EXPECT_EQ(l.window, QRect(0, 0, 800, 600));
}

TEST(ViewLayout, GreyMarginsAroundACentredPicture) {
    // 400 x 300 in 800 x 600: m = 205, t = 150.
    const auto r = GreyMarginRects({400, 300}, {800, 600});
    EXPECT_EQ(r[0], QRect(QPoint(0, 0), QPoint(204, 599)));
    EXPECT_EQ(r[1], QRect(QPoint(205, 0), QPoint(799, 154)));
    EXPECT_EQ(r[2], QRect(QPoint(594, 155), QPoint(799, 599)));
    EXPECT_EQ(r[3], QRect(QPoint(205, 444), QPoint(594, 599)));
    // Together they cover everything outside the picture (5 pixels of slack inside it).
    const QRect picture(200, 150, 400, 300);
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 800; x += 7) {
            if (picture.contains(x, y)) continue;
            const bool covered = r[0].contains(x, y) || r[1].contains(x, y) || r[2].contains(x, y) ||
                                 r[3].contains(x, y);
            ASSERT_TRUE(covered) << x << "," << y;
        }
    // A picture larger than the client: only thin strips remain.
    const auto big = GreyMarginRects({2000, 1000}, {800, 600});
    EXPECT_EQ(big[0], QRect(0, 0, 5, 600));
    EXPECT_EQ(big[1], QRect(5, 0, 795, 5));
}

TEST(ViewLayout, FullScreenLetterbox) {
    EXPECT_EQ(FullScreenRect({640, 480}, {1280, 1024}), QRect(0, 32, 1280, 960));
    EXPECT_EQ(FullScreenRect({1280, 1024}, {1920, 1080}), QRect(285, 0, 1350, 1080));
    EXPECT_EQ(FullScreenRect({1920, 1080}, {1920, 1080}), QRect(0, 0, 1920, 1080));
    EXPECT_TRUE(FullScreenRect({0, 480}, {1280, 1024}).isNull());
    EXPECT_TRUE(FullScreenRect({640, 480}, {0, 0}).isNull());
}

}  // namespace

// A printed picture keeps its physical size when it fits the page and is scaled down, aspect
// kept, when it does not: never cropped.
TEST(ViewLayout, PrintedPictureFitsThePage) {
    const QSize a4At600(4960, 7016);  // A4's printable area at 600 dpi, about
    const struct {
        QSize picture;
        double pictureDpi;
        QSize page;
        QRect expected;
    } cases[] = {
        {{960, 720}, 96, a4At600, {0, 0, 4960, 3720}},      // 10 x 7.5 in: too wide, scaled
        {{1280, 960}, 96, a4At600, {0, 0, 4960, 3720}},     // 13.3 in wide: fitted to the width
        {{480, 360}, 96, a4At600, {0, 0, 3000, 2250}},      // fits: its own size
        {{480, 3600}, 96, a4At600, {0, 0, 935, 7016}},      // tall: fitted to the height
        {{1200, 600}, 300, a4At600, {0, 0, 2400, 1200}},    // its own resolution counts
        {{1280, 960}, 96, {}, {0, 0, 8000, 6000}},          // no page known: physical size
    };
    for (const auto& c : cases) {
        const QRect r = PrintedRect(c.picture, QSizeF(c.pictureDpi, c.pictureDpi), QSizeF(600, 600), c.page);
        EXPECT_EQ(r, c.expected) << c.picture.width() << "x" << c.picture.height();
        if (!c.page.isEmpty()) EXPECT_TRUE(QRect(QPoint(0, 0), c.page).contains(r));
    }
    EXPECT_TRUE(PrintedRect({}, QSizeF(96, 96), QSizeF(600, 600), a4At600).isEmpty());
}
