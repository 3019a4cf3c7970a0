#include "camera/sim/virtual_slide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "camera/sim/sim_stage.h"

namespace {

bool SameTile(const SpecimenTile& a, const SpecimenTile& b) {
    return std::memcmp(a.plane.data(), b.plane.data(), sizeof(a.plane)) == 0;
}

TEST(VirtualSpecimen, SameSeedSamePixelsAtEveryLevelAndBlur) {
    CVirtualSpecimen a(7), b(7), other(8);
    struct Case {
        int level, blur;
        int64_t tx, ty;
    } cases[] = {{0, 0, 160, 150}, {0, 3, 160, 150}, {2, 0, 40, 37}, {1, 8, 80, 75}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " blur " << c.blur);
        auto ta = a.Tile(c.level, c.blur, c.tx, c.ty);
        EXPECT_TRUE(SameTile(*ta, *b.Tile(c.level, c.blur, c.tx, c.ty)));
        EXPECT_FALSE(SameTile(*ta, *other.Tile(c.level, c.blur, c.tx, c.ty)));
    }
}

TEST(VirtualSpecimen, CacheEvictionDoesNotChangePixels) {
    // A tiny cache forces tiles out and back in; a pinned tile stays intact meanwhile.
    CVirtualSpecimen small(3, 16), big(3);
    auto pinned = small.Tile(0, 0, 100, 100);
    const SpecimenTile copy = *pinned;
    for (int i = 0; i < 40; ++i) small.Tile(0, 0, 100 + i, 101);
    EXPECT_LE(small.CachedTiles(), 16u);
    EXPECT_TRUE(SameTile(*pinned, copy));
    EXPECT_TRUE(SameTile(*small.Tile(0, 0, 100, 100), *big.Tile(0, 0, 100, 100)));
    EXPECT_TRUE(SameTile(*small.Tile(1, 2, 50, 50), *big.Tile(1, 2, 50, 50)));
}

TEST(VirtualSpecimen, CoarseLevelAveragesFineLevel) {
    CVirtualSpecimen s(5);
    auto fine = s.Tile(0, 0, 158, 160);  // the top-left quarter of level-1 tile (79, 80)
    auto coarse = s.Tile(1, 0, 79, 80);
    constexpr int T = SpecimenTile::kSize;
    for (int y : {0, 17, 127})
        for (int x : {0, 64, 127}) {
            const int sum = fine->plane[1][2 * y * T + 2 * x] +
                            fine->plane[1][2 * y * T + 2 * x + 1] +
                            fine->plane[1][(2 * y + 1) * T + 2 * x] +
                            fine->plane[1][(2 * y + 1) * T + 2 * x + 1];
            EXPECT_EQ(coarse->plane[1][y * T + x], (sum + 2) / 4);
        }
}

TEST(VirtualSpecimen, MicrometerLinesAreDarkAtTheirPitchOnClearGlass) {
    CVirtualSpecimen s(1);
    const int64_t y = -20;  // crosses every division line
    for (int i = 0; i <= CVirtualSpecimen::kMicrometerDivisions; i += 7) {
        const int64_t x = static_cast<int64_t>(CVirtualSpecimen::MicrometerLineX(i));
        SCOPED_TRACE(i);
        EXPECT_LT(s.Pixel(x, y)[1], 30);
        EXPECT_LT(s.Pixel(x - 1, y)[1], 30);
        EXPECT_GT(s.Pixel(x + 5, y)[1], 200);  // glass between lines
    }
    EXPECT_EQ(CVirtualSpecimen::MicrometerLineX(1) - CVirtualSpecimen::MicrometerLineX(0),
              10.0 * CVirtualSpecimen::kUnitsPerMicron);
    // Clear glass is flat: no stain variation to confuse flat-field measurements.
    const SpecimenRect g = CVirtualSpecimen::ClearGlassRegion();
    const auto p0 = s.Pixel(static_cast<int64_t>(g.left) + 10, static_cast<int64_t>(g.top) + 10);
    for (int64_t d : {100, 1000, 3000}) {
        EXPECT_EQ(s.Pixel(static_cast<int64_t>(g.left) + d, static_cast<int64_t>(g.top) + d), p0);
    }
}

TEST(VirtualSpecimen, TissueHasStructure) {
    // Cells and nuclei absorb: a tissue tile has far darker pixels than glass and real spread.
    CVirtualSpecimen s(2);
    const SpecimenRect r = CVirtualSpecimen::TissueRegion();
    int dark = 0;
    for (int64_t tx = 0; tx < 4; ++tx) {
        auto t = s.Tile(0, 0, static_cast<int64_t>(r.left) / 256 + tx,
                        static_cast<int64_t>(r.top) / 256);
        for (uint8_t v : t->plane[1]) dark += v < 150;
    }
    EXPECT_GT(dark, 2000);
}

TEST(VirtualSpecimen, ListsTheCellsItDrawsInARectangle) {
    CVirtualSpecimen s(9);
    const SpecimenRect r{30000, 30000, 31500, 31200};
    const std::vector<SpecimenCell> cells = s.CellsIn(r);
    ASSERT_GT(cells.size(), 10u);
    for (const SpecimenCell& c : cells) {
        EXPECT_TRUE(c.x >= r.left && c.x < r.right && c.y >= r.top && c.y < r.bottom);
        EXPECT_GE(c.a, c.b);
        EXPECT_GE(c.b, 16 * 0.65);
        EXPECT_LE(c.a, 42);
        // Stained where the list says a cell is: far darker than the glass around.
        EXPECT_LT(s.Pixel(static_cast<int64_t>(c.x), static_cast<int64_t>(c.y))[1], 200);
    }
    // Two halves list what the whole does; clear glass holds none.
    const SpecimenRect left{r.left, r.top, 30700, r.bottom}, right{30700, r.top, r.right, r.bottom};
    EXPECT_EQ(s.CellsIn(left).size() + s.CellsIn(right).size(), cells.size());
    EXPECT_TRUE(s.CellsIn(CVirtualSpecimen::ClearGlassRegion()).empty());
}

TEST(SimStage, DriftIsAFunctionOfTimeAndSteeringIsExact) {
    CSimStage a, b;
    for (double t : {0.0, 1.5, 120.0}) {
        EXPECT_EQ(a.Pose(t).x, b.Pose(t).x);
        EXPECT_EQ(a.Pose(t).y, b.Pose(t).y);
    }
    // Slow: under a unit in a second, yet it moves over minutes.
    EXPECT_LT(std::abs(a.Pose(1).x - a.Pose(0).x), 1.0);
    EXPECT_GT(std::abs(a.Pose(120).x - a.Pose(0).x), 5.0);

    ASSERT_TRUE(a.SetPosition(1000, -500, 42));
    EXPECT_DOUBLE_EQ(a.Pose(42).x, 1000);
    EXPECT_DOUBLE_EQ(a.Pose(42).y, -500);
    ASSERT_TRUE(a.MoveBy(10, 20));
    EXPECT_DOUBLE_EQ(a.Pose(42).x, 1010);
    EXPECT_DOUBLE_EQ(a.Pose(42).y, -480);
    ASSERT_TRUE(a.SetFocus(3, 42));
    EXPECT_DOUBLE_EQ(a.Pose(42).z, 3);

    ASSERT_TRUE(a.SetDrift(0, 0, 1));
    EXPECT_EQ(a.Pose(0).x, a.Pose(1000).x);
    // Refused input leaves the stage where it was.
    EXPECT_FALSE(a.SetPosition(std::nan(""), 0, 0));
    EXPECT_FALSE(a.MoveBy(1e300, 0));
    EXPECT_FALSE(a.SetDrift(-1, 0, 1));
    EXPECT_FALSE(a.SetDrift(1, 0, 0));
    EXPECT_DOUBLE_EQ(a.Pose(0).x, a.Pose(5).x);
}

}  // namespace
