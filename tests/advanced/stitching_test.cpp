#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <random>

#include "advanced/imagepro_stitching.h"
#include "advanced/stitching/blending.h"
#include "advanced/stitching/global_placement.h"
#include "advanced/stitching/pair_registration.h"
#include "advanced/stitching/tile_stitcher.h"
#include "imagepro_reports.h"
#include "sim_fields.h"

namespace {

// Fields of a grid (columns x rows) with the given overlap fraction, each moved by up to
// jitter pixels (fractions included), starting at slide point origin; their true corners.
struct Series {
    std::vector<cv::Mat> fields;
    std::vector<cv::Point2d> truth;  // relative to field 0
    cv::Point2d first;               // field 0's corner on the slide
};

Series Grid(SimFields& sim, int cols, int rows, double overlap, double jitter, cv::Point2d origin,
            bool wholePixels = false, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> j(-jitter, jitter);
    const SimSensorSettings s = sim.Sensor().Settings();
    Series out;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            cv::Point2d p(origin.x + c * s.width * (1 - overlap) + j(rng),
                          origin.y + r * s.height * (1 - overlap) + j(rng));
            if (wholePixels) p = cv::Point2d(std::round(p.x), std::round(p.y));
            if (out.fields.empty()) out.first = p;
            out.fields.push_back(sim.FieldAt(p.x, p.y));
            out.truth.push_back(p - out.first);
        }
    return out;
}

// Largest distance between found and true corners once both put field 0 at the same place.
double PlacementError(const std::vector<cv::Point2d>& found,
                      const std::vector<cv::Point2d>& truth) {
    double worst = 0;
    for (size_t i = 0; i < truth.size(); ++i) {
        const cv::Point2d d = (found[i] - found[0]) - truth[i];
        worst = std::max(worst, std::hypot(d.x, d.y));
    }
    return worst;
}

TEST(PairRegistration, FindsSubPixelShiftsOfOverlappingFields) {
    SimFields sim(512, 384);
    const cv::Point2d o = SimFields::Tissue();
    const cv::Mat a = sim.FieldAt(o.x, o.y);
    struct Case {
        double dx, dy, tolerance;
    } cases[] = {{400.3, 10.7, 0.15},
                 {-380.6, -2.2, 0.15},
                 {5.5, 300.25, 0.15},
                 {-250.8, 200.4, 0.15},
                 {30.1, -20.9, 0.15},
                 {0.0, 350.0, 0.15},
                 // an 8 % overlap: a strip 42 pixels wide
                 {470.0, 0.0, 0.3}};
    const CPairRegistration reg;
    const auto pa = reg.Prepare(a, a.size());
    for (const Case& c : cases) {
        const cv::Mat b = sim.FieldAt(o.x + c.dx, o.y + c.dy);
        const PairShift s = reg.Register(pa, reg.Prepare(b, b.size()));
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy);
        ASSERT_TRUE(s.found);
        EXPECT_NEAR(s.shift.x, c.dx, c.tolerance);
        EXPECT_NEAR(s.shift.y, c.dy, c.tolerance);
        EXPECT_GT(s.confidence, 0.5);
    }
}

TEST(PairRegistration, FieldsThatDoNotOverlapCorrelatePoorly) {
    SimFields sim(512, 384);
    const cv::Point2d o = SimFields::Tissue();
    const CPairRegistration reg;
    const auto pa = reg.Prepare(sim.FieldAt(o.x, o.y), {512, 384});
    for (int k = 1; k <= 6; ++k) {
        const auto pb = reg.Prepare(sim.FieldAt(o.x + 1700 * k, o.y - 900 * k), {512, 384});
        const PairShift s = reg.Register(pa, pb);
        EXPECT_LT(s.confidence, StitchOptions().minConfidence) << k;
    }
}

TEST(PairRegistration, PredictedPlaceLimitsTheSearch) {
    SimFields sim(512, 384);
    const cv::Point2d o = SimFields::Tissue();
    PairRegistrationOptions options;
    options.predicted = cv::Point2d(100, 40);
    options.searchRadius = 30;
    const CPairRegistration reg(options);
    const auto pa = reg.Prepare(sim.FieldAt(o.x, o.y), {512, 384});
    // The true shift lies outside the search: nothing may be found there.
    const PairShift outside =
        reg.Register(pa, reg.Prepare(sim.FieldAt(o.x + 200, o.y + 40), {512, 384}));
    EXPECT_LT(outside.confidence, 0.3);
    const PairShift inside =
        reg.Register(pa, reg.Prepare(sim.FieldAt(o.x + 110.5, o.y + 30.25), {512, 384}));
    ASSERT_TRUE(inside.found);
    EXPECT_NEAR(inside.shift.x, 110.5, 0.15);
    EXPECT_NEAR(inside.shift.y, 30.25, 0.15);
}

TEST(GlobalPlacement, DropsThePairThatDisagreesAndKeepsTheRest) {
    // A 3 x 2 grid, 100 apart, with every neighbour pair and one wrong pair.
    auto pos = [](int t) { return cv::Point2d(100.0 * (t % 3), 100.0 * (t / 3)); };
    std::vector<TilePair> pairs;
    for (auto [i, j] :
         std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {3, 4}, {4, 5}, {0, 3}, {1, 4}, {2, 5}})
        pairs.push_back({i, j, pos(j) - pos(i), 0.9});
    pairs.push_back({0, 4, cv::Point2d(160, 80), 0.7});  // should be (100, 100)
    const Placement p = PlaceTiles(6, pairs);
    ASSERT_TRUE(p.Connected());
    ASSERT_EQ(p.rejected.size(), 1u);
    EXPECT_EQ(p.rejected[0].i, 0);
    EXPECT_EQ(p.rejected[0].j, 4);
    for (int t = 0; t < 6; ++t) {
        EXPECT_NEAR(p.positions[t].x, pos(t).x, 1e-6) << t;
        EXPECT_NEAR(p.positions[t].y, pos(t).y, 1e-6) << t;
    }
}

TEST(GlobalPlacement, AveragesConsistentPairsAndCountsSeparateGroups) {
    // Small disagreements within the tolerance are shared out, not dropped.
    const Placement cycle =
        PlaceTiles(3, {{0, 1, {100, 0}, 1}, {1, 2, {0, 100}, 1}, {0, 2, {100.9, 100}, 1}});
    EXPECT_TRUE(cycle.rejected.empty());
    EXPECT_NEAR(cycle.positions[2].x, 100.6, 1e-6);
    // Tiles 2 and 3 touch nothing of 0 and 1.
    const Placement apart = PlaceTiles(4, {{0, 1, {100, 0}, 1}, {2, 3, {0, 50}, 1}});
    EXPECT_EQ(apart.groups, 2);
    EXPECT_FALSE(apart.Connected());
    EXPECT_EQ(apart.group[0], apart.group[1]);
    EXPECT_NE(apart.group[1], apart.group[2]);
}

// The slide as one noise-free picture covering a stitched result: its pixel (X, Y) shows what
// the result's pixel (X, Y) should, given where field 0 (corner at slide point first) landed.
cv::Mat TruthFor(const StitchResult& r, cv::Point2d first) {
    SimFields truth(r.picture.cols, r.picture.rows);
    truth.Change([](SimSensorSettings& s) { s.noise = false; });
    const cv::Point2d corner = first - r.positions[0];
    return truth.FieldAt(corner.x, corner.y);
}

// How many of the result's tiles cover each pixel.
cv::Mat Coverage(const StitchResult& r, const std::vector<cv::Mat>& fields) {
    cv::Mat cover = cv::Mat::zeros(r.picture.size(), CV_8U);
    for (size_t i = 0; i < fields.size(); ++i) {
        const cv::Rect rect(static_cast<int>(std::ceil(r.positions[i].x)) + 1,
                            static_cast<int>(std::ceil(r.positions[i].y)) + 1, fields[i].cols - 2,
                            fields[i].rows - 2);
        cover(rect & cv::Rect(0, 0, cover.cols, cover.rows)) += 1;
    }
    return cover;
}

double MeanAbsDiff(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d, mask);
    return (m[0] + m[1] + m[2]) / 3;
}

TEST(Stitching, JitteredGridLandsOnTheTruthWithInvisibleSeams) {
    SimFields sim(640, 512);
    const cv::Point2d origin = SimFields::Tissue();
    const Series s = Grid(sim, 3, 3, 0.2, 15, origin, true);
    const StitchResult r = StitchTiles(s.fields);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.method, StitchMethod::Translation);
    EXPECT_LT(PlacementError(r.positions, s.truth), 0.5);

    const cv::Mat truth = TruthFor(r, s.first);
    const cv::Mat cover = Coverage(r, s.fields);
    // The noise of one field against the truth, where only one field shows the slide; where
    // fields overlap the blend must be no further from the truth (it averages the noise).
    const double single = MeanAbsDiff(r.picture, truth, cover == 1);
    const double overlap = MeanAbsDiff(r.picture, truth, cover >= 2);
    EXPECT_GT(single, 0.5);
    EXPECT_LT(overlap, single * 1.05) << "single " << single;
}

TEST(Stitching, SubPixelGridAnyArrangementAndTileSizes) {
    SimFields sim(640, 512);
    const cv::Point2d o = SimFields::Tissue() + cv::Point2d(5000, 0);
    struct Case {
        const char* name;
        std::vector<cv::Rect2d> fields;  // slide corner (fractions included) and size
    } cases[] = {
        {"row of four",
         {{0, 0, 640, 512},
          {520.4, 3.7, 640, 512},
          {1050.6, -6.2, 640, 512},
          {1561.3, 1.1, 640, 512}}},
        {"scatter of different sizes",
         {{0, 0, 640, 512},
          {455.5, 80.25, 500, 400},
          {120.8, 420.4, 720, 300},
          {-330.2, 260.6, 420, 560},
          {380.1, 610.9, 600, 480}}},
        {"uneven overlaps (8 % to 60 %)",
         {{0, 0, 640, 512},
          {590.3, 20.2, 640, 512},
          {250.7, 470.1, 640, 512},
          {845.2, 300.6, 640, 512}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<cv::Mat> fields;
        std::vector<cv::Point2d> truth;
        for (const cv::Rect2d& f : c.fields) {
            sim.Resize(static_cast<int>(f.width), static_cast<int>(f.height));
            fields.push_back(sim.FieldAt(o.x + f.x, o.y + f.y));
            truth.push_back(f.tl() - c.fields[0].tl());
        }
        const StitchResult r = StitchTiles(fields);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.method, StitchMethod::Translation);
        EXPECT_LT(PlacementError(r.positions, truth), 0.5);
    }
}

TEST(Stitching, EvensOutExposureDifferences) {
    SimFields sim(640, 512);
    const Series s = Grid(sim, 2, 1, 0.3, 0, SimFields::Tissue(), true);
    // Mean level left and right of the overlap, where each field shows the slide alone.
    auto ratio = [](const StitchResult& r) {
        const int x0 = static_cast<int>(std::lround(r.positions[1].x)), x1 = 640;
        auto level = [&](int from, int to) {
            const cv::Scalar m = cv::mean(r.picture(cv::Rect(from, 0, to - from, r.picture.rows)));
            return (m[0] + m[1] + m[2]) / 3;
        };
        return level(x1 + 20, x1 + 120) / level(x0 - 120, x0 - 20);
    };
    const StitchResult same = StitchTiles(s.fields);
    ASSERT_TRUE(same.ok) << same.error;
    const double slide = ratio(same);  // what the slide itself shows there

    std::vector<cv::Mat> fields = s.fields;
    fields[1].convertTo(fields[1], -1, 0.75);  // the second field exposed 25 % shorter
    for (bool equalise : {false, true}) {
        StitchOptions options;
        options.equaliseExposure = equalise;
        const StitchResult r = StitchTiles(fields, options);
        ASSERT_TRUE(r.ok) << r.error;
        SCOPED_TRACE(equalise);
        EXPECT_NEAR(ratio(r) / slide, equalise ? 1.0 : 0.75, 0.02);
    }
}

TEST(Stitching, LittleTextureAndMuchNoise) {
    // Out of focus and at high gain: soft shapes under heavy noise.
    SimFields sim(640, 512);
    sim.Change([](SimSensorSettings& s) {
        s.analogGain = 8;
        s.exposureUs = 1250;
    });
    const Series s = [&] {
        Series out;
        const cv::Point2d o = SimFields::Tissue() + cv::Point2d(-3000, 4000);
        const cv::Point2d at[] = {{0, 0}, {512.4, 8.3}, {3.6, 410.7}, {515.2, 405.1}};
        for (const cv::Point2d& p : at) {
            out.fields.push_back(sim.FieldAt(o.x + p.x, o.y + p.y, 6.0));
            out.truth.push_back(p);
        }
        return out;
    }();
    const StitchResult r = StitchTiles(s.fields);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_LT(PlacementError(r.positions, s.truth), 1.0);
}

TEST(Stitching, ReportsAnErrorOnlyWhenNoLayoutExists) {
    SimFields sim(512, 384);
    const cv::Point2d o = SimFields::Tissue();
    // Fields far apart on the slide share nothing.
    std::vector<cv::Mat> apart;
    for (int k = 0; k < 5; ++k) apart.push_back(sim.FieldAt(o.x + 1700 * k, o.y - 900 * k));
    const StitchResult r = StitchTiles(apart);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.picture.empty());
}

TEST(Stitching, RotatedFieldsTakeTheFeaturePath) {
    // Two fields of one large picture, the second turned by 6 degrees.
    SimFields sim(1300, 800);
    sim.Change([](SimSensorSettings& s) { s.noise = false; });
    const cv::Mat big = sim.FieldAt(SimFields::Tissue().x, SimFields::Tissue().y);
    const cv::Mat left = big(cv::Rect(0, 100, 760, 600)).clone();
    cv::Mat right = big(cv::Rect(500, 60, 760, 680)).clone();
    const cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(380, 340), 6, 1.0);
    cv::warpAffine(right, right, turn, right.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    right = right(cv::Rect(40, 40, 680, 600)).clone();
    const StitchResult r = StitchTiles({left, right});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.method, StitchMethod::Features);
    EXPECT_GT(r.picture.cols, 1000);
    EXPECT_LT(r.picture.cols, 1400);
}

TEST(ImageproStitching, CallsBackWithTheMosaicAndTellsWhereEachPictureLanded) {
    SimFields sim(512, 384);
    const Series s = Grid(sim, 2, 2, 0.25, 10, SimFields::Tissue());
    Reports reports;
    const int h = imagepro_stitching_new(1, &Reports::Callback, &reports, IMAGEPRO_STITCHING_FILES);
    ASSERT_NE(h, 0);
    EXPECT_EQ(imagepro_stitching_get_tilenum(h), -1);
    ASSERT_EQ(imagepro_stitching_start(h), IMAGEPRO_OK);
    for (size_t i = 0; i < s.fields.size(); ++i) {
        const auto bytes = PictureIn(s.fields[i]);
        ASSERT_EQ(
            imagepro_stitching_readdata(h, bytes.data(), 512, 384, 24, i + 1 == s.fields.size()),
            IMAGEPRO_OK);
    }
    ASSERT_TRUE(reports.WaitFor(1));
    EXPECT_EQ(imagepro_stitching_stop(h), IMAGEPRO_OK);
    ASSERT_EQ(reports.results, 1) << imagepro_last_error();
    EXPECT_FALSE(reports.progress.empty());
    ASSERT_EQ(imagepro_stitching_get_tilenum(h), 4);
    std::vector<cv::Point2d> found(4);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(imagepro_stitching_get_tileposition(h, i, &found[i].x, &found[i].y), IMAGEPRO_OK);
    EXPECT_LT(PlacementError(found, s.truth), 0.5);
    // The mosaic spans the placed tiles.
    double right = 0, bottom = 0;
    for (const cv::Point2d& p : found)
        right = std::max(right, p.x + 512), bottom = std::max(bottom, p.y + 384);
    EXPECT_NEAR(reports.width, right, 1.0);
    EXPECT_NEAR(reports.height, bottom, 1.0);
    double x = 0, y = 0;
    EXPECT_EQ(imagepro_stitching_get_tileposition(h, 4, &x, &y), IMAGEPRO_ERR_ARGUMENT);

    // Pictures with nothing in common: a failure, with the reason kept.
    ASSERT_EQ(imagepro_stitching_start(h), IMAGEPRO_OK);
    const auto a = PictureIn(sim.FieldAt(0, 0)), b = PictureIn(sim.FieldAt(30000, 30000));
    ASSERT_EQ(imagepro_stitching_readdata(h, a.data(), 512, 384, 24, 0), IMAGEPRO_OK);
    ASSERT_EQ(imagepro_stitching_readdata(h, b.data(), 512, 384, 24, 1), IMAGEPRO_OK);
    ASSERT_TRUE(reports.WaitFor(2));
    EXPECT_EQ(reports.failures, 1)
        << reports.results << " " << reports.width << "x" << reports.height;
    EXPECT_EQ(imagepro_stitching_delete(h), IMAGEPRO_OK);
    EXPECT_EQ(imagepro_stitching_readdata(h, a.data(), 512, 384, 24, 1), IMAGEPRO_ERR_HANDLE);
    EXPECT_EQ(imagepro_stitching_new(1, &Reports::Callback, &reports, 0), 0);
}

}  // namespace
