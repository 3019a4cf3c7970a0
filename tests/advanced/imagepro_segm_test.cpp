// The segmentation calls: the call contract (handles, setters and getters, layouts, failures)
// and what they find on pictures whose objects are known.

#include "advanced/imagepro_segm.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "segm_fixture.h"

using namespace segm_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Separate discs of several sizes, well inside an 800 x 600 field.
std::vector<Disc> SeparateDiscs() {
    std::vector<Disc> discs;
    const double radii[] = {12, 16, 20, 26};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col)
            discs.push_back({70.0 + col * 125 + row * 3.3, 75.0 + row * 145 + col * 1.7,
                             radii[(row + col) % 4]});
    return discs;
}

const imagepro_contour* Near(const std::vector<imagepro_contour>& objects, double x, double y) {
    size_t i = 0;
    return NearestCentre(objects, x, y, &i) < 3 ? &objects[i] : nullptr;
}

}  // namespace

TEST(ImageproSegm, ContourRecordIsFortyBytesWithDoublesFromByteEight) {
    static_assert(sizeof(imagepro_contour) == 40);
    static_assert(offsetof(imagepro_contour, centerX) == 8);
    static_assert(offsetof(imagepro_contour, centerY) == 16);
    static_assert(offsetof(imagepro_contour, area) == 24);
    static_assert(offsetof(imagepro_contour, perimeter) == 32);
}

TEST(ImageproSegm, HandlesAreRefusedOnceDeletedAndNeverReused) {
    const int a = imagepro_segm_new();
    const int b = imagepro_segm_new();
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(imagepro_segm_delete(a), IMAGEPRO_OK);
    EXPECT_EQ(imagepro_segm_delete(a), IMAGEPRO_ERR_HANDLE);
    EXPECT_NE(std::string(imagepro_last_error()).find(std::to_string(a)), std::string::npos);
    EXPECT_EQ(imagepro_segm_set_tabtype(a, 1), IMAGEPRO_ERR_HANDLE);
    EXPECT_EQ(imagepro_segm_findcontour(0), IMAGEPRO_ERR_HANDLE);
    EXPECT_EQ(imagepro_segm_getdata(a), nullptr);
    EXPECT_EQ(imagepro_segm_get_Rangeminarea(a), -1);  // the default, not an error code
    const int c = imagepro_segm_new();
    EXPECT_NE(c, a);
    EXPECT_EQ(imagepro_segm_get_tabtype(b), 0);  // b was never touched by a's calls
    imagepro_segm_delete(b);
    imagepro_segm_delete(c);
}

TEST(ImageproSegm, EverySetterHasAGetterReturningTheValueLastSet) {
    Segm s;
    struct IntCase {
        const char* name;
        int (*set)(int, int);
        int (*get)(int);
        int initial, value, bad;
    };
    const IntCase cases[] = {
        {"outline type", imagepro_segm_set_contourlinetype, imagepro_segm_get_contourlinetype, 0, 2,
         3},
        {"label type", imagepro_segm_set_tabtype, imagepro_segm_get_tabtype, 0, 1, -1},
        {"outline colour index", imagepro_segm_set_contourlinecolorindex,
         imagepro_segm_get_contourlinecolorindex, 4, 6, INT32_MIN},
        {"label colour index", imagepro_segm_set_tabcolorindex, imagepro_segm_get_tabcolorindex, 0,
         7, INT32_MIN},
        {"min area", imagepro_segm_set_Rangeminarea, imagepro_segm_get_Rangeminarea, -1, 120, -2},
        {"max area", imagepro_segm_set_Rangemaxarea, imagepro_segm_get_Rangemaxarea, -1, 5000, -7},
        {"min perimeter", imagepro_segm_set_Rangeminlength, imagepro_segm_get_Rangeminlength, -1,
         30, -2},
        {"max perimeter", imagepro_segm_set_Rangemaxlength, imagepro_segm_get_Rangemaxlength, -1, 0,
         -3},
        {"contour mode", imagepro_segm_set_findcontourtype, imagepro_segm_get_findcontourtype, 0, 2,
         1},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.get(s.h), c.initial);
        EXPECT_EQ(c.set(s.h, c.value), IMAGEPRO_OK);
        EXPECT_EQ(c.get(s.h), c.value);
        // Colour indices are the caller's own: any value is kept. Others refuse and keep theirs.
        if (c.bad != INT32_MIN) {
            EXPECT_EQ(c.set(s.h, c.bad), IMAGEPRO_ERR_ARGUMENT);
            EXPECT_EQ(c.get(s.h), c.value);
        }
    }
    EXPECT_EQ(imagepro_segm_set_Rangeminarea(s.h, -1), IMAGEPRO_OK);  // back to no bound
    EXPECT_EQ(imagepro_segm_get_Rangeminarea(s.h), -1);

    unsigned char r = 9, g = 9, b = 9;
    ASSERT_EQ(imagepro_segm_get_contourlinecolor(s.h, &r, &g, &b), IMAGEPRO_OK);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({0, 0, 255}));
    imagepro_segm_set_contourlinecolor(s.h, 10, 20, 30);
    imagepro_segm_set_tabcolor(s.h, 200, 100, 50);
    imagepro_segm_get_contourlinecolor(s.h, &r, &g, &b);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({10, 20, 30}));
    imagepro_segm_get_tabcolor(s.h, &r, &g, &b);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({200, 100, 50}));
    EXPECT_EQ(imagepro_segm_get_tabcolor(s.h, nullptr, &g, &b), IMAGEPRO_ERR_ARGUMENT);

    unsigned char byArea = 9, byPerimeter = 9;
    imagepro_segm_get_findbyareaorlength(s.h, &byArea, &byPerimeter);
    EXPECT_EQ(byArea, 0);
    EXPECT_EQ(byPerimeter, 0);
    imagepro_segm_set_findbyareaorlength(s.h, 0, 1);
    imagepro_segm_get_findbyareaorlength(s.h, &byArea, &byPerimeter);
    EXPECT_EQ(byArea, 0);
    EXPECT_EQ(byPerimeter, 1);
}

TEST(ImageproSegm, RefusesMissingOrBadPicturesAndRunsOnlyAfterOne) {
    Segm s;
    EXPECT_EQ(imagepro_segm_findcontour(s.h), IMAGEPRO_ERR_STATE);
    EXPECT_NE(std::string(imagepro_last_error()).find("readdata"), std::string::npos);
    EXPECT_EQ(imagepro_segm_getdata(s.h), nullptr);
    const unsigned char pixel[4] = {1, 2, 3, 0};
    EXPECT_EQ(imagepro_segm_readdata(s.h, nullptr, 10, 10), IMAGEPRO_ERR_ARGUMENT);
    EXPECT_EQ(imagepro_segm_readdata(s.h, pixel, 0, 1), IMAGEPRO_ERR_ARGUMENT);
    EXPECT_EQ(imagepro_segm_readdata(s.h, pixel, 1, -5), IMAGEPRO_ERR_ARGUMENT);
    // Larger than any buffer may be: refused before a byte is read.
    EXPECT_EQ(imagepro_segm_readdata(s.h, pixel, 40000, 40000), IMAGEPRO_ERR_ARGUMENT);
    EXPECT_NE(std::string(imagepro_last_error()).find("too large"), std::string::npos);
    EXPECT_EQ(imagepro_segm_findcontour(s.h), IMAGEPRO_ERR_STATE);

    // A single pixel is a picture like any other: no object in it.
    EXPECT_EQ(imagepro_segm_readdata(s.h, pixel, 1, 1), IMAGEPRO_OK);
    EXPECT_EQ(imagepro_segm_findcontour(s.h), IMAGEPRO_OK);
    EXPECT_EQ(imagepro_segm_get_contournum(s.h), 0);
    const unsigned char* out = imagepro_segm_getdata(s.h);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::vector<int>(out, out + 3), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(imagepro_segm_get_ave_area(s.h), 0.0);
}

TEST(ImageproSegm, PicturesInAreBottomUpPaddedAndPicturesOutBottomUpPacked) {
    // An odd width (row padding in, none out) and one disc in the upper half: its centre is
    // reported from the top, and the result keeps every other pixel where it was.
    const Disc disc{40, 20, 9};
    Look look;
    look.noiseSigma = 0;
    const cv::Mat picture = DiscPicture(cv::Size(101, 77), {disc}, look);
    Segm s;
    imagepro_segm_set_contourlinetype(s.h, IMAGEPRO_SEGM_OUTLINE_LINE);
    ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
    const auto objects = s.Objects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_NEAR(objects[0].centerX, disc.x, 0.3);
    EXPECT_NEAR(objects[0].centerY, disc.y, 0.3);
    const cv::Mat result = s.Result();
    ASSERT_EQ(result.size(), picture.size());
    // Away from the disc nothing was drawn.
    EXPECT_EQ(
        cv::norm(result(cv::Rect(0, 40, 101, 37)), picture(cv::Rect(0, 40, 101, 37)), cv::NORM_INF),
        0);
    // The outline runs in blue round the disc, in the upper half.
    int blue = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 101; ++x) {
            const double r = std::hypot(x - disc.x, y - disc.y);
            blue += result.at<cv::Vec3b>(y, x) == cv::Vec3b(255, 0, 0) && r > 7 && r < 10;
        }
    EXPECT_GT(blue, 40);
}

TEST(ImageproSegm, SeparateDiscsAreCountedExactlyWithTheirAreaAndPerimeterOnAnySlide) {
    struct Case {
        const char* name;
        Look look;
    };
    Look stained;    // purple objects on white glass
    Look unstained;  // a little darker than the grey background, and noisy
    unstained.background = {128, 128, 128};
    unstained.object = {100, 100, 100};
    unstained.noiseSigma = 4;
    Look tinted;  // a stained background with objects of another colour
    tinted.background = {190, 150, 225};
    tinted.object = {170, 90, 60};
    Look uneven = stained;  // the lamp falls to 45 % at the corners and is brighter on the left
    uneven.lamp = [](double u, double v) {
        return (1.0 - 0.35 * (u * u + v * v) / 2) * (1.0 - 0.2 * u) * 0.95;
    };
    Look fluorescent;  // bright objects on a dark field, dimmer towards the edges
    fluorescent.background = {12, 14, 10};
    fluorescent.object = {40, 190, 60};
    fluorescent.offset = 8;
    fluorescent.lamp = [](double u, double v) { return 1.0 - 0.3 * (u * u + v * v); };
    fluorescent.noiseSigma = 3;
    const Case cases[] = {{"stained", stained},
                          {"unstained", unstained},
                          {"tinted background", tinted},
                          {"uneven light", uneven},
                          {"fluorescent", fluorescent}};
    const std::vector<Disc> discs = SeparateDiscs();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Segm s;
        ASSERT_EQ(s.Run(DiscPicture(cv::Size(800, 600), discs, c.look)), IMAGEPRO_OK);
        const auto objects = s.Objects();
        EXPECT_EQ(objects.size(), discs.size());
        for (const Disc& d : discs) {
            const imagepro_contour* o = Near(objects, d.x, d.y);
            ASSERT_NE(o, nullptr) << "disc at " << d.x << "," << d.y;
            EXPECT_NEAR(o->centerX, d.x, 0.5);
            EXPECT_NEAR(o->centerY, d.y, 0.5);
            EXPECT_NEAR(o->area, kPi * d.r * d.r, 0.02 * kPi * d.r * d.r) << "r " << d.r;
            EXPECT_NEAR(o->perimeter, 2 * kPi * d.r, 0.04 * 2 * kPi * d.r) << "r " << d.r;
        }
    }
}

TEST(ImageproSegm, TouchingRoundObjectsAreSplitAndLongOnesAreNot) {
    Look look;
    struct Case {
        const char* name;
        std::vector<Disc> discs;
        size_t expected;
    };
    const Case cases[] = {
        {"two touching discs", {{200, 200, 30}, {260, 200, 30}}, 2},
        {"two overlapping discs", {{200, 200, 30}, {248, 210, 30}}, 2},
        {"a small disc against a large one", {{200, 200, 40}, {255, 200, 16}}, 2},
        {"three in a row", {{150, 200, 25}, {198, 200, 25}, {246, 200, 25}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Segm s;
        ASSERT_EQ(s.Run(DiscPicture(cv::Size(400, 400), c.discs, look)), IMAGEPRO_OK);
        const auto objects = s.Objects();
        EXPECT_EQ(objects.size(), c.expected);
        for (const Disc& d : c.discs) EXPECT_LT(NearestCentre(objects, d.x, d.y), 3.0);
    }

    // A rod with round ends (discs 2 px apart) is one object, however long.
    std::vector<Disc> rod;
    for (int x = 100; x <= 300; x += 2) rod.push_back({double(x), 200, 12});
    Segm rodSegm;
    ASSERT_EQ(rodSegm.Run(DiscPicture(cv::Size(400, 400), rod, look)), IMAGEPRO_OK);
    EXPECT_EQ(rodSegm.Objects().size(), 1u);

    // An ellipse, 3 : 2, with a ragged outline, is one object.
    cv::Mat picture(400, 400, CV_8UC3, cv::Scalar(235, 232, 230));
    std::vector<cv::Point> outline;
    for (int k = 0; k < 360; k += 3) {
        const double t = k * kPi / 180,
                     wobble = 1 + 0.04 * std::sin(7 * t) + 0.03 * std::cos(13 * t);
        outline.emplace_back(int(200 + 60 * wobble * std::cos(t)),
                             int(200 + 38 * wobble * std::sin(t)));
    }
    cv::fillPoly(picture, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(150, 80, 170),
                 cv::LINE_AA);
    Segm s;
    ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
    EXPECT_EQ(s.Objects().size(), 1u);
}

TEST(ImageproSegm, HoleModeDecidesWhetherARingIsFilled) {
    // A ring: a disc of radius 40 with a hole of radius 15 showing the glass.
    cv::Mat picture(300, 300, CV_8UC3, cv::Scalar(235, 232, 230));
    cv::circle(picture, {150, 150}, 40, cv::Scalar(150, 80, 170), cv::FILLED, cv::LINE_AA);
    cv::circle(picture, {150, 150}, 15, cv::Scalar(235, 232, 230), cv::FILLED, cv::LINE_AA);
    struct Case {
        int mode;
        double area, perimeter;
    };
    const double outer = 40.5, inner = 15.5;  // cv::circle covers a half pixel more than its radius
    for (const Case& c :
         {Case{0, kPi * outer * outer, 2 * kPi * outer},
          Case{2, kPi * (outer * outer - inner * inner), 2 * kPi * (outer + inner)}}) {
        SCOPED_TRACE(c.mode);
        Segm s;
        imagepro_segm_set_findcontourtype(s.h, c.mode);
        ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
        const auto objects = s.Objects();
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_NEAR(objects[0].area, c.area, 0.03 * c.area);
        EXPECT_NEAR(objects[0].perimeter, c.perimeter, 0.04 * c.perimeter);
    }
}

TEST(ImageproSegm, FiltersKeepObjectsWithinTheirBoundsAndMinusOneIsNoBound) {
    const std::vector<Disc> discs = SeparateDiscs();  // radii 12, 16, 20, 26: six of each
    const cv::Mat picture = DiscPicture(cv::Size(800, 600), discs, Look{});
    struct Case {
        const char* name;
        bool byArea, byPerimeter;
        int lo, hi;
        size_t expected;
    };
    // Areas about 452, 804, 1257, 2124; perimeters about 75, 101, 126, 163.
    const Case cases[] = {
        {"no filter", false, false, 0, 0, 24},
        {"area filter with no bounds", true, false, -1, -1, 24},
        {"area from 600", true, false, 600, -1, 18},
        {"area up to 1500", true, false, -1, 1500, 18},
        {"area between", true, false, 600, 1500, 12},
        {"bounds set but filter off", false, false, 600, 1500, 24},
        {"perimeter from 110", false, true, 110, -1, 12},
        {"perimeter up to 90", false, true, -1, 90, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Segm s;
        imagepro_segm_set_findbyareaorlength(s.h, c.byArea, c.byPerimeter);
        auto setLo =
            c.byPerimeter ? imagepro_segm_set_Rangeminlength : imagepro_segm_set_Rangeminarea;
        auto setHi =
            c.byPerimeter ? imagepro_segm_set_Rangemaxlength : imagepro_segm_set_Rangemaxarea;
        setLo(s.h, c.lo);
        setHi(s.h, c.hi);
        ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
        const auto objects = s.Objects();
        EXPECT_EQ(objects.size(), c.expected);
        // The statistics describe the objects counted.
        double minArea = 1e300, maxArea = 0, sumArea = 0, minLen = 1e300, maxLen = 0, sumLen = 0;
        for (const auto& o : objects) {
            minArea = std::min(minArea, o.area), maxArea = std::max(maxArea, o.area),
            sumArea += o.area;
            minLen = std::min(minLen, o.perimeter), maxLen = std::max(maxLen, o.perimeter),
            sumLen += o.perimeter;
        }
        if (objects.empty()) continue;
        EXPECT_DOUBLE_EQ(imagepro_segm_get_min_area(s.h), minArea);
        EXPECT_DOUBLE_EQ(imagepro_segm_get_max_area(s.h), maxArea);
        EXPECT_NEAR(imagepro_segm_get_ave_area(s.h), sumArea / objects.size(), 1e-9);
        EXPECT_DOUBLE_EQ(imagepro_segm_get_min_length(s.h), minLen);
        EXPECT_DOUBLE_EQ(imagepro_segm_get_max_length(s.h), maxLen);
        EXPECT_NEAR(imagepro_segm_get_ave_length(s.h), sumLen / objects.size(), 1e-9);
    }
}

TEST(ImageproSegm, OutlinesAndLabelsAreDrawnAsChosen) {
    const Disc disc{100, 100, 30};
    Look look;
    look.noiseSigma = 0;
    const cv::Mat picture = DiscPicture(cv::Size(200, 200), {disc}, look);
    const cv::Vec3b outlineBgr(0, 255, 255), labelBgr(255, 0, 255);  // yellow, magenta
    struct Case {
        int outline;
        int onEdge, inside;  // pixels of the outline colour on the edge ring, and well inside
    };
    auto countColour = [](const cv::Mat& m, const cv::Vec3b& c, double r0, double r1) {
        int n = 0;
        for (int y = 0; y < m.rows; ++y)
            for (int x = 0; x < m.cols; ++x) {
                const double r = std::hypot(x - 100, y - 100);
                n += r >= r0 && r < r1 && m.at<cv::Vec3b>(y, x) == c;
            }
        return n;
    };
    for (int outline : {0, 1, 2}) {
        SCOPED_TRACE(outline);
        Segm s;
        imagepro_segm_set_contourlinetype(s.h, outline);
        imagepro_segm_set_contourlinecolor(s.h, 255, 255, 0);
        imagepro_segm_set_tabcolor(s.h, 255, 0, 255);
        imagepro_segm_set_tabtype(s.h, IMAGEPRO_SEGM_TAB_NUMBER);
        ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
        const cv::Mat result = s.Result();
        const int edge = countColour(result, outlineBgr, 28.5, 30.5);
        const int inside = countColour(result, outlineBgr, 16, 26);
        const int ring = int(2 * kPi * 29.5);
        if (outline == 0) {
            EXPECT_GT(edge, ring * 8 / 10);
            EXPECT_EQ(inside, 0);
        } else if (outline == 1) {
            EXPECT_GT(inside, int(kPi * (26 * 26 - 16 * 16)) * 95 / 100);
        } else {
            EXPECT_EQ(edge + inside, 0);
        }
        // The label "1" sits on the centre in its own colour.
        EXPECT_GT(countColour(result, labelBgr, 0, 12), 10);
        EXPECT_EQ(countColour(result, labelBgr, 14, 200), 0);
    }
}

TEST(ImageproSegm, ASeparatingLineDrawnWithTheMouseSplitsAnObject) {
    // Two discs overlapping so much that they read as one object, until a line cuts the neck.
    Look look;
    const cv::Mat picture = DiscPicture(cv::Size(300, 200), {{135, 100, 30}, {165, 100, 30}}, look);
    Segm s;
    ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
    ASSERT_EQ(s.Objects().size(), 1u);
    imagepro_segm_mouse_move(s.h, 10, 10);  // moves without a press draw nothing
    imagepro_segm_mouse_Lup(s.h);
    imagepro_segm_mouse_Ldown(s.h, 148, 60);
    imagepro_segm_mouse_move(s.h, 150, 100);
    imagepro_segm_mouse_move(s.h, 147, 140);
    imagepro_segm_mouse_Lup(s.h);
    imagepro_segm_mouse_move(s.h, 290, 190);  // after the release: no effect on the line
    ASSERT_EQ(imagepro_segm_findcontour(s.h), IMAGEPRO_OK);
    const auto objects = s.Objects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_LT(objects[0].centerX, 147);
    EXPECT_GT(objects[1].centerX, 148);
    // The union of the discs (less their lens of 1106 pixels), less the cut of 52 pixels.
    EXPECT_NEAR(objects[0].area + objects[1].area, 2 * kPi * 900 - 1106 - 52, 90);
    // A new picture forgets the line.
    ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
    EXPECT_EQ(s.Objects().size(), 1u);
}

TEST(ImageproSegm, ObjectsCutByThePictureBorderAreNotCounted) {
    Look look;
    const cv::Mat picture =
        DiscPicture(cv::Size(300, 200), {{10, 100, 25}, {150, 100, 25}, {290, 195, 20}}, look);
    Segm s;
    ASSERT_EQ(s.Run(picture), IMAGEPRO_OK);
    const auto objects = s.Objects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_NEAR(objects[0].centerX, 150, 0.5);
}

TEST(ImageproSegm, EmptySlidesHaveNoObjects) {
    struct Case {
        const char* name;
        cv::Mat picture;
    };
    Look noisy;
    noisy.noiseSigma = 6;
    Look uneven;
    uneven.lamp = [](double u, double v) { return 1.0 - 0.4 * (u * u + v * v) / 2; };
    const Case cases[] = {
        {"flat", cv::Mat(240, 320, CV_8UC3, cv::Scalar(200, 200, 200))},
        {"black", cv::Mat(240, 320, CV_8UC3, cv::Scalar(0, 0, 0))},
        {"noise", DiscPicture(cv::Size(320, 240), {}, noisy)},
        {"uneven light", DiscPicture(cv::Size(320, 240), {}, uneven)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Segm s;
        ASSERT_EQ(s.Run(c.picture), IMAGEPRO_OK);
        EXPECT_EQ(s.Objects().size(), 0u);
        EXPECT_EQ(imagepro_segm_get_max_area(s.h), 0.0);
    }
}
