// Image mix: the blend checked pixel by pixel against a reference written here (offsets both
// ways, transparency 0/50/100, sources smaller and larger than the destination, no overlap),
// the direction each offset moves the source, the smooth resize and the preview's scale.

#include "document/image_mix.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace {

using Rgb = std::array<int, 3>;  // b, g, r

FCObjImage Make(int w, int h, const std::function<Rgb(int x, int y)>& f) {
    FCObjImage img;
    EXPECT_TRUE(img.Allocate(w, h, 24));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = f(x, y);
            uint8_t* p = img.GetRow(y) + x * 3;
            for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(c[static_cast<size_t>(i)]);
        }
    return img;
}

Rgb At(const FCObjImage& img, int x, int y) {
    const uint8_t* p = img.GetRow(y) + x * 3;
    return {p[0], p[1], p[2]};
}

// Distinct, irregular colours so a shifted or mirrored placement cannot pass by accident.
Rgb DstColour(int x, int y) {
    return {(x * 37 + y * 11) % 256, (x * 5 + y * 71 + 3) % 256, 200 - x - y};
}
Rgb SrcColour(int x, int y) {
    return {(x * 53 + y * 29 + 100) % 256, 255 - x * 7 - y * 13, (x * y * 17 + 9) % 256};
}

// Reference: the destination pixel (X, Y) sees the source pixel (X + xOff, Y + yOff).
Rgb Expected(int X, int Y, int sw, int sh, int xOff, int yOff, int t) {
    const Rgb d = DstColour(X, Y);
    const int sx = X + xOff, sy = Y + yOff;
    if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) return d;
    const Rgb s = SrcColour(sx, sy);
    Rgb out{};
    for (size_t i = 0; i < 3; ++i)
        out[i] = static_cast<int>(
            std::floor((s[i] * (100.0 - t) + d[i] * static_cast<double>(t)) / 100.0 + 0.5));
    return out;
}

struct MixCase {
    int dw, dh, sw, sh, xOff, yOff;
};

TEST(ImageMix, BlendMatchesReferenceForOffsetsSizesAndTransparencies) {
    const MixCase cases[] = {
        {5, 4, 3, 2, 0, 0},  {5, 4, 3, 2, 1, 0},   {5, 4, 3, 2, -1, 0}, {5, 4, 3, 2, 0, 1},
        {5, 4, 3, 2, 0, -1}, {5, 4, 3, 2, -2, -3}, {5, 4, 3, 2, 2, -1}, {5, 4, 5, 4, 0, 0},
        {4, 3, 7, 6, 0, 0},  {4, 3, 7, 6, 2, 3},   {4, 3, 7, 6, -1, 1}, {5, 4, 3, 2, 9, 0},
        {5, 4, 3, 2, 0, -4}, {5, 4, 3, 2, -5, -4}, {7, 1, 1, 1, -6, 0}, {3, 5, 2, 6, 1, -2},
    };
    for (const MixCase& c : cases)
        for (int t : {0, 50, 100, 33}) {
            SCOPED_TRACE(testing::Message()
                         << "dst " << c.dw << "x" << c.dh << " src " << c.sw << "x" << c.sh
                         << " offset " << c.xOff << "," << c.yOff << " t " << t);
            const FCObjImage src = Make(c.sw, c.sh, SrcColour);
            const FCObjImage dst = Make(c.dw, c.dh, DstColour);
            FCObjImage out;
            ASSERT_TRUE(MixPictures(src, dst, c.xOff, c.yOff, t, out));
            ASSERT_EQ(out.Width(), c.dw);
            ASSERT_EQ(out.Height(), c.dh);
            ASSERT_EQ(out.ColorBits(), 24);
            for (int y = 0; y < c.dh; ++y)
                for (int x = 0; x < c.dw; ++x)
                    ASSERT_EQ(At(out, x, y), Expected(x, y, c.sw, c.sh, c.xOff, c.yOff, t))
                        << "at " << x << "," << y;
            // The inputs stay as they were.
            ASSERT_EQ(At(dst, 0, 0), DstColour(0, 0));
        }
}

TEST(ImageMix, PositiveOffsetsMoveTheSourceUpAndLeft) {
    // Black destination, source with one white pixel at (1, 1), no transparency.
    const FCObjImage dst = Make(3, 3, [](int, int) { return Rgb{0, 0, 0}; });
    const FCObjImage src = Make(3, 3, [](int x, int y) {
        return x == 1 && y == 1 ? Rgb{255, 255, 255} : Rgb{10, 10, 10};
    });
    struct {
        int xOff, yOff, wx, wy;
    } moves[] = {{0, 0, 1, 1}, {0, 1, 1, 0},  {0, -1, 1, 2},
                 {1, 0, 0, 1}, {-1, 0, 2, 1}, {1, 1, 0, 0}};
    for (const auto& m : moves) {
        SCOPED_TRACE(testing::Message() << "offset " << m.xOff << "," << m.yOff);
        FCObjImage out;
        ASSERT_TRUE(MixPictures(src, dst, m.xOff, m.yOff, 0, out));
        EXPECT_EQ(At(out, m.wx, m.wy), (Rgb{255, 255, 255}));
    }
    // Moved up by one: the bottom row is outside the source and keeps the destination.
    FCObjImage out;
    ASSERT_TRUE(MixPictures(src, dst, 0, 1, 0, out));
    EXPECT_EQ(At(out, 0, 2), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(out, 0, 1), (Rgb{10, 10, 10}));
}

TEST(ImageMix, MissingPictures) {
    const FCObjImage dst = Make(2, 2, DstColour);
    FCObjImage out;
    EXPECT_FALSE(MixPictures(dst, FCObjImage{}, 0, 0, 50, out));
    EXPECT_FALSE(out.IsValid());
    // Nothing to blend in: the destination as it was.
    ASSERT_TRUE(MixPictures(FCObjImage{}, dst, 0, 0, 50, out));
    EXPECT_EQ(At(out, 1, 1), DstColour(1, 1));
    // A picture of another depth is blended as 24 bits.
    FCObjImage gray;
    ASSERT_TRUE(gray.Allocate(2, 2, 8));
    std::vector<FCRgbQuad> pal(256);
    for (int i = 0; i < 256; ++i)
        pal[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(i), 0};
    ASSERT_TRUE(gray.WritePalette(256, pal.data()));
    gray.GetRow(0)[0] = 100;
    ASSERT_TRUE(MixPictures(gray,
                            Make(2, 2,
                                 [](int, int) {
                                     return Rgb{0, 0, 0};
                                 }),
                            0, 0, 50, out));
    EXPECT_EQ(At(out, 0, 0), (Rgb{50, 50, 50}));
}

TEST(ImageMix, BlendStopsAtTheFirstRowAfterACancel) {
    FCObjImage dst = Make(4, 6, DstColour);
    const FCObjImage src = Make(4, 6, SrcColour);
    int asked = 0;
    EXPECT_FALSE(MixInto(dst, src, 0, 0, 0, [&] { return ++asked == 3; }));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(At(dst, 0, 1), SrcColour(0, 1));  // rows before the cancel were blended
    EXPECT_EQ(At(dst, 0, 2), DstColour(0, 2));  // the rest was not
}

// ---- Resize ----

TEST(ImageMix, ResampleKeepsFlatColoursAndSameSizePictures) {
    const FCObjImage flat = Make(37, 23, [](int, int) { return Rgb{12, 200, 99}; });
    for (auto [w, h] : {std::pair{5, 3}, {37, 23}, {80, 61}, {1, 1}, {36, 1}}) {
        FCObjImage out;
        ASSERT_TRUE(ResampleSmooth(flat, w, h, out));
        ASSERT_EQ(out.Width(), w);
        ASSERT_EQ(out.Height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(At(out, x, y), (Rgb{12, 200, 99}));
    }
    const FCObjImage pattern = Make(9, 7, SrcColour);
    FCObjImage same;
    ASSERT_TRUE(ResampleSmooth(pattern, 9, 7, same));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(At(same, x, y), SrcColour(x, y));
}

TEST(ImageMix, ResampleIsSmooth) {
    // A one-pixel checkerboard halved averages to grey (skipping pixels would keep black or
    // white). The border pixels see fewer neighbours and are left out.
    const FCObjImage checker = Make(16, 16, [](int x, int y) {
        return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    });
    FCObjImage half;
    ASSERT_TRUE(ResampleSmooth(checker, 8, 8, half));
    for (int y = 1; y < 7; ++y)
        for (int x = 1; x < 7; ++x) ASSERT_NEAR(At(half, x, y)[0], 128, 1);

    // A ramp halved: inside, each output pixel is the mean of the two pixels it covers.
    const FCObjImage ramp = Make(32, 2, [](int x, int) { return Rgb{x * 8, x * 8, x * 8}; });
    FCObjImage small;
    ASSERT_TRUE(ResampleSmooth(ramp, 16, 2, small));
    for (int x = 1; x < 15; ++x) ASSERT_NEAR(At(small, x, 0)[1], 16 * x + 4, 1) << x;

    // Doubling: pixel centres interpolated, edges held.
    const FCObjImage two = Make(2, 1, [](int x, int) { return Rgb{x * 200, 0, 0}; });
    FCObjImage four;
    ASSERT_TRUE(ResampleSmooth(two, 4, 1, four));
    EXPECT_EQ(At(four, 0, 0)[0], 0);
    EXPECT_EQ(At(four, 1, 0)[0], 50);
    EXPECT_EQ(At(four, 2, 0)[0], 150);
    EXPECT_EQ(At(four, 3, 0)[0], 200);
}

TEST(ImageMix, ResampleRefusesAndCancels) {
    const FCObjImage img = Make(20, 10, SrcColour);
    FCObjImage out = Make(1, 1, DstColour);
    EXPECT_FALSE(ResampleSmooth(img, 0, 5, out));
    EXPECT_FALSE(ResampleSmooth(img, 5, -1, out));
    EXPECT_FALSE(ResampleSmooth(FCObjImage{}, 5, 5, out));
    int asked = 0;
    EXPECT_FALSE(ResampleSmooth(img, 10, 5, out, [&] { return ++asked == 4; }));
    EXPECT_EQ(asked, 4);
    // A refused or cancelled resize leaves the output alone.
    ASSERT_EQ(out.Width(), 1);
    EXPECT_EQ(At(out, 0, 0), DstColour(0, 0));
}

TEST(ImageMix, PreviewScaleSidesAndOffsets) {
    EXPECT_FLOAT_EQ(MixPreviewScale(4000, 3000), 0.1f);
    EXPECT_FLOAT_EQ(MixPreviewScale(3000, 4000), 0.1f);
    EXPECT_FLOAT_EQ(MixPreviewScale(300, 200), 1.0f);
    EXPECT_FLOAT_EQ(MixPreviewScale(400, 400), 1.0f);
    EXPECT_FLOAT_EQ(MixPreviewScale(800, 600), 0.5f);
    const float s = MixPreviewScale(4000, 3000);
    EXPECT_EQ(MixPreviewSide(4000, s), 400);
    EXPECT_EQ(MixPreviewSide(3000, s), 300);
    EXPECT_EQ(MixPreviewSide(5, s), 1);
    // The blend gets the negated offset, scaled and cut toward zero.
    EXPECT_EQ(MixPreviewOffset(15, s), -1);
    EXPECT_EQ(MixPreviewOffset(-15, s), 1);
    EXPECT_EQ(MixPreviewOffset(30, s), -3);
    EXPECT_EQ(MixPreviewOffset(7, 1.0f), -7);
}

}  // namespace
