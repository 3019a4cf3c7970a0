// Geometry, hit tests and the mouse protocol of each element, driven through the manager as
// a display window drives it.

#include <cmath>
#include <string>

#include "overlay_fixture.h"

namespace {

// ---------------------------------------------------------------- shared behaviour

TEST_F(OverlayTest, HandleBoxReachesSixPixelsBeforeAndAfter) {
    CGVLShape* p = mgr.CreateElement(0);
    p->AddPoint(100, 100);
    const struct {
        int x, y, hit;
    } cases[] = {{100, 100, 0},  {94, 94, 0},    {106, 106, 0}, {94, 106, 0},
                 {107, 100, -1}, {100, 107, -1}, {93, 100, -1}, {100, 93, -1}};
    for (const auto& c : cases) EXPECT_EQ(p->HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST_F(OverlayTest, PointIndicesOutsideTheArrayAreRejected) {
    CGVLShape* p = mgr.CreateElement(1);
    p->AddPoint(1, 2);
    EXPECT_EQ(p->SetPoint(0, 5, 6), 0);
    EXPECT_EQ(p->SetPoint(1, 5, 6), -1);
    EXPECT_EQ(p->SetPoint(-1, 5, 6), -1);
    EXPECT_EQ(p->GetPoint(1), nullptr);
    EXPECT_EQ(p->GetPoint(-1), nullptr);
    EXPECT_EQ(*p->GetPoint(0), QPoint(5, 6));
    EXPECT_EQ(p->GetLength(), 0.0);  // too few points
}

TEST_F(OverlayTest, WindowPressesAreDividedByTheZoom) {
    mgr.SetZoom(2.0f);
    Click(GVLTool::kPoint, {301, 201});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{150, 100}}));
    mgr.SetZoom(0.5f);
    Click(GVLTool::kPoint, {33, 17});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{66, 34}}));
}

TEST_F(OverlayTest, ZoomsThatAreNotPositiveAreRefused) {
    EXPECT_FALSE(mgr.SetZoom(0.0f));
    EXPECT_FALSE(mgr.SetZoom(-1.0f));
    EXPECT_FALSE(mgr.SetZoom(std::nanf("")));
    EXPECT_FLOAT_EQ(mgr.GetZoom(), 1.0f);
}

// ---------------------------------------------------------------- line

TEST_F(OverlayTest, LineKeepsTheFirstMovementAndFollowsWithItsFirstPoint) {
    SetPerPixel(1, 1);
    Drag(GVLTool::kLine, {{10, 10}, {11, 10}, {60, 10}});
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{60, 10}, {11, 10}}));
    EXPECT_DOUBLE_EQ(Last()->GetLength(), 49.0);
    EXPECT_FALSE(Last()->IsSelected());
    EXPECT_FALSE(Last()->IsDragging());
    EXPECT_GT(wnd.all, 0);  // a line's release repaints the window
}

TEST_F(OverlayTest, ShortLinesAreDiscardedAtRelease) {
    const struct {
        QPoint offset;
        bool kept;
    } cases[] = {
        {{4, 4}, false}, {{-4, 4}, false}, {{5, 0}, true}, {{0, 5}, true}, {{-5, -1}, true}};
    for (const auto& c : cases) {
        mgr.DeleteAll();
        const QPoint a(200, 200);
        Drag(GVLTool::kLine, {a, a, a + c.offset});
        EXPECT_EQ(Count() == 2, c.kept) << c.offset.x() << "," << c.offset.y();
    }
    mgr.DeleteAll();
    Click(GVLTool::kLine, {50, 50});
    EXPECT_EQ(Count(), 1);  // press and release without movement
}

TEST_F(OverlayTest, LineTextSitsBesideTheLineBySlope) {
    const struct {
        QPoint a, b, label;
    } cases[] = {
        {{100, 100}, {200, 150}, {160, 105}},  // slope 0.5
        {{100, 150}, {200, 100}, {160, 135}},  // slope -0.5
        {{100, 100}, {200, 100}, {150, 80}},   // horizontal
        {{100, 100}, {100, 200}, {110, 130}},  // vertical
        {{100, 100}, {200, 96}, {160, 78}},    // slope -0.04, above the threshold
    };
    for (const auto& c : cases) {
        auto* line = static_cast<CGVLLine*>(mgr.CreateElement(1));
        line->AddPoint(c.a.x(), c.a.y());
        line->AddPoint(c.b.x(), c.b.y());
        EXPECT_EQ(line->LabelPosition(), c.label)
            << c.a.x() << "," << c.a.y() << " " << c.b.x() << "," << c.b.y();
    }
}

TEST_F(OverlayTest, LineLengthUsesEachAxisCalibration) {
    SetPerPixel(0.5, 0.25);
    const struct {
        QPoint b;
        double length;
    } cases[] = {{{10, 0}, 5.0}, {{0, 10}, 2.5}, {{10, 10}, std::sqrt(31.25)}, {{-10, 0}, 5.0}};
    for (const auto& c : cases) {
        CGVLShape* line = mgr.CreateElement(1);
        line->AddPoint(0, 0);
        line->AddPoint(c.b.x(), c.b.y());
        EXPECT_DOUBLE_EQ(line->GetLength(), c.length);
    }
    SetPerPixel(0.2, 0.2);
    CGVLShape* line = mgr.CreateElement(1);
    line->AddPoint(0, 0);
    line->AddPoint(100, 0);
    EXPECT_EQ(line->ResultTexts(), QStringList{"L=20.00 um"});
}

TEST_F(OverlayTest, MoveToolTakesALineEndInsideItsBoxAsTheWholeLine) {
    // The body test wins over the handles, so the top-left end of a falling line moves all.
    Drag(GVLTool::kLine, {{200, 150}, {200, 150}, {100, 100}});
    ASSERT_EQ(Points(Last()), (std::vector<QPoint>{{100, 100}, {200, 150}}));
    Drag(GVLTool::kMove, {{100, 100}, {110, 105}});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{110, 105}, {210, 155}}));
    // Three pixels up and left of the end is outside the box but on the handle.
    Drag(GVLTool::kMove, {{107, 102}, {90, 90}});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{90, 90}, {210, 155}}));
    EXPECT_TRUE(Last()->IsSelected());  // stays selected until the next press
    Click(GVLTool::kNone, {500, 500});
    EXPECT_FALSE(Last()->IsSelected());
}

// ---------------------------------------------------------------- point

TEST_F(OverlayTest, PointIsPlacedWhereReleasedAndMovedByItsHandle) {
    Down(GVLTool::kPoint, {10, 10});
    Move(GVLTool::kPoint, {30, 40});
    Up(GVLTool::kPoint, {30, 40});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{30, 40}}));
    EXPECT_EQ(Last()->ResultTexts(), QStringList{"(30, 40)"});
    Drag(GVLTool::kMove, {{35, 45}, {70, 80}});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{70, 80}}));
    EXPECT_FALSE(Last()->IsSelected());  // a point is never selected
    Click(GVLTool::kMove, {90, 80});     // a miss moves nothing
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{70, 80}}));
    Click(GVLTool::kDelete, {75, 75});
    EXPECT_EQ(Count(), 1);
}

// ---------------------------------------------------------------- counter labels

TEST_F(OverlayTest, CountersNumberPerTypeAndRenumberAfterDeletion) {
    auto numbers = [&] {
        std::vector<std::pair<int, int>> v;  // (type, number) in list order
        for (int i = 1; i < Count(); ++i)
            v.emplace_back(mgr.GetElement(i)->GetType(),
                           static_cast<CGVLNo*>(mgr.GetElement(i))->GetNumber());
        return v;
    };
    Click(GVLTool::kCounterCircle, {100, 100});
    Click(GVLTool::kCounterCircle, {200, 100});
    Click(GVLTool::kCounterCircle, {300, 100});
    Click(GVLTool::kCounterRect, {400, 100});
    EXPECT_EQ(numbers(), (std::vector<std::pair<int, int>>{{11, 1}, {11, 2}, {11, 3}, {12, 1}}));
    EXPECT_FALSE(Last()->IsSelected());

    Click(GVLTool::kDelete, {215, 110});  // inside circle 2's box
    EXPECT_EQ(numbers(), (std::vector<std::pair<int, int>>{{11, 1}, {11, 2}, {12, 1}}));
    Click(GVLTool::kCounterCircle, {100, 300});
    Click(GVLTool::kCounterTriangle, {200, 300});
    Click(GVLTool::kCounterHexagon, {300, 300});
    EXPECT_EQ(numbers(), (std::vector<std::pair<int, int>>{
                             {11, 1}, {11, 2}, {12, 1}, {11, 3}, {13, 1}, {14, 1}}));

    mgr.DeleteAll();
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(mgr.GetElement(0)->GetType(), GVLType::kRuler);
    Click(GVLTool::kCounterCircle, {100, 100});
    Click(GVLTool::kCounterHexagon, {200, 100});
    EXPECT_EQ(numbers(), (std::vector<std::pair<int, int>>{{11, 1}, {14, 1}}));
}

TEST_F(OverlayTest, CounterJumpsToTheMoveToolPressAndFollows) {
    Click(GVLTool::kCounterRect, {100, 100});
    Down(GVLTool::kMove, {115, 90});  // in the box, off the handle: the body
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{115, 90}}));
    Move(GVLTool::kMove, {130, 95});
    Up(GVLTool::kMove, {130, 95});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{130, 95}}));
    Click(GVLTool::kMove, {150, 95});  // the box ends 20 pixels right of the point
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{130, 95}}));
}

// ---------------------------------------------------------------- angle

TEST_F(OverlayTest, AngleFromThreeClicks) {
    const struct {
        QPoint p0, v, p2;
        double angle;
    } cases[] = {
        {{200, 100}, {100, 100}, {100, 0}, 270.0},   {{100, 0}, {100, 100}, {200, 100}, 90.0},
        {{200, 200}, {100, 100}, {200, 100}, 315.0}, {{200, 100}, {100, 100}, {200, 200}, 45.0},
        {{50, 50}, {50, 50}, {50, 50}, 0.0},          // three releases on one spot
        {{100, 100}, {100, 100}, {100, 200}, 180.0},  // an arm of no length counts as pointing up
    };
    for (const auto& c : cases) {
        mgr.DeleteAll();
        Click(GVLTool::kAngle, c.p0);
        Click(GVLTool::kAngle, c.v);
        Click(GVLTool::kAngle, c.p2);
        ASSERT_EQ(Count(), 2);
        auto* a = LastAs<CGVLAngle>();
        EXPECT_EQ(Points(a), (std::vector<QPoint>{c.p0, c.v, c.p2}));
        EXPECT_NEAR(a->GetAngle(), c.angle, 1e-3);
        EXPECT_FALSE(a->IsDragging());
    }
}

TEST_F(OverlayTest, AngleIgnoresTheCalibration) {
    Click(GVLTool::kAngle, {200, 200});
    Click(GVLTool::kAngle, {100, 100});
    Click(GVLTool::kAngle, {200, 100});
    const QStringList before = Last()->ResultTexts();
    SetPerPixel(3.0, 0.1, 4);
    EXPECT_EQ(Last()->ResultTexts(), before);
    EXPECT_EQ(before, QStringList{"A=315.00 deg"});
}

TEST_F(OverlayTest, AngleUnderConstructionSurvivesOtherElements) {
    Click(GVLTool::kAngle, {200, 100});
    Click(GVLTool::kAngle, {100, 100});
    Drag(GVLTool::kLine, {{300, 300}, {300, 300}, {400, 300}});
    Click(GVLTool::kAngle, {100, 0});
    ASSERT_EQ(Count(), 3);
    EXPECT_EQ(Points(mgr.GetElement(1)), (std::vector<QPoint>{{200, 100}, {100, 100}, {100, 0}}));
    // A next angle press starts a new angle, the one after continues it.
    Click(GVLTool::kAngle, {10, 10});
    Click(GVLTool::kAngle, {20, 20});
    ASSERT_EQ(Count(), 4);
    EXPECT_EQ(Last()->PointCount(), 2);
}

TEST_F(OverlayTest, MoveToolReleaseEndsAnAngleUnderConstruction) {
    Click(GVLTool::kAngle, {200, 100});
    Click(GVLTool::kAngle, {100, 100});
    Click(GVLTool::kMove, {500, 500});
    EXPECT_FALSE(mgr.GetElement(1)->IsDragging());
    Click(GVLTool::kAngle, {100, 0});
    ASSERT_EQ(Count(), 3);
    EXPECT_EQ(mgr.GetElement(1)->PointCount(), 2);
    EXPECT_EQ(mgr.GetElement(2)->PointCount(), 1);
}

TEST_F(OverlayTest, AngleMovesByHandleAndBody) {
    Click(GVLTool::kAngle, {200, 100});
    Click(GVLTool::kAngle, {100, 100});
    Click(GVLTool::kAngle, {100, 0});
    Drag(GVLTool::kMove, {{140, 80}, {150, 90}});  // inside the triangle
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{210, 110}, {110, 110}, {110, 10}}));
    Drag(GVLTool::kMove, {{110, 10}, {10, 110}});  // the second arm's end
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{210, 110}, {110, 110}, {10, 110}}));
    EXPECT_NEAR(LastAs<CGVLAngle>()->GetAngle(), 180.0, 1e-3);
}

// ---------------------------------------------------------------- rectangle

TEST_F(OverlayTest, RectangleCornersKeepTenPixelSides) {
    Drag(GVLTool::kRect, {{100, 100}, {50, 60}});
    EXPECT_EQ(Points(Last()),
              (std::vector<QPoint>{{100, 100}, {110, 100}, {100, 110}, {110, 110}}));

    const struct {
        QPoint grab, to;
        std::vector<QPoint> corners;
    } cases[] = {
        {{30, 0}, {5, 25}, {{0, 10}, {10, 10}, {0, 20}, {10, 20}}},   // top-right
        {{0, 0}, {-5, 3}, {{-5, 3}, {30, 3}, {-5, 20}, {30, 20}}},    // top-left
        {{0, 20}, {25, 40}, {{20, 0}, {30, 0}, {20, 40}, {30, 40}}},  // bottom-left
        {{30, 20}, {-50, 2}, {{0, 0}, {10, 0}, {0, 10}, {10, 10}}},   // bottom-right
        {{15, 10}, {20, 12}, {{5, 2}, {35, 2}, {5, 22}, {35, 22}}},   // body
    };
    for (const auto& c : cases) {
        mgr.DeleteAll();
        Drag(GVLTool::kRect, {{0, 0}, {30, 20}});
        Drag(GVLTool::kMove, {c.grab, c.to});
        EXPECT_EQ(Points(Last()), c.corners) << "grab " << c.grab.x() << "," << c.grab.y();
    }
}

TEST_F(OverlayTest, RectangleValuesAndDiscard) {
    SetPerPixel(0.1, 0.2, 1);
    Drag(GVLTool::kRect, {{0, 0}, {30, 20}});
    EXPECT_NEAR(Last()->GetArea(), 12.0, 1e-12);
    EXPECT_NEAR(Last()->GetPerimeter(), 14.0, 1e-12);
    EXPECT_EQ(Last()->ResultTexts(), QStringList{"S=12.00 mm2"});
    Click(GVLTool::kRect, {300, 300});
    EXPECT_EQ(Count(), 2);
}

// ---------------------------------------------------------------- circle

TEST_F(OverlayTest, CircleValuesAndDiscardBelowSixPixels) {
    SetPerPixel(0.5, 0.25);
    Drag(GVLTool::kCircle, {{100, 100}, {103, 104}});  // radius 5
    EXPECT_EQ(Count(), 1);
    Drag(GVLTool::kCircle, {{100, 100}, {106, 100}});
    ASSERT_EQ(Count(), 2);
    auto* c = LastAs<CGVLCircle>();
    EXPECT_EQ(c->PixelRadius(), 6);
    EXPECT_DOUBLE_EQ(c->GetArea(), 36 * 3.14159 * 0.5 * 0.25);
    EXPECT_DOUBLE_EQ(c->GetRadius(), 6 * 0.75 * 0.5);
    EXPECT_DOUBLE_EQ(c->GetPerimeter(), 6 * 6.28318 * 0.5);
    EXPECT_EQ(c->ResultTexts(), (QStringList{"S=14.14 um2", "R=2.25 um"}));
}

TEST_F(OverlayTest, CircleCentreHandleCarriesTheWholeCircle) {
    Drag(GVLTool::kCircle, {{100, 100}, {130, 100}});
    Drag(GVLTool::kMove, {{100, 100}, {110, 120}});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{110, 120}, {140, 120}}));
    Drag(GVLTool::kMove, {{140, 120}, {110, 160}});  // the rim
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{110, 120}, {110, 160}}));
    EXPECT_EQ(LastAs<CGVLCircle>()->PixelRadius(), 40);
}

// ---------------------------------------------------------------- three-point circle

TEST(CircleFromThreePointsTest, CentreAndRadius) {
    const struct {
        QPoint a, b, c;
        bool ok;
        QPoint centre;
        int radius;
    } cases[] = {
        {{0, 0}, {10, 0}, {0, 10}, true, {5, 5}, 7},         // first two on one row
        {{0, 0}, {0, 10}, {10, 10}, true, {5, 5}, 7},        // last two on one row
        {{75, 50}, {50, 75}, {25, 50}, true, {51, 51}, 24},  // general case, midpoints rounded up
        {{0, 0}, {5, 5}, {10, 10}, false, {}, 0},            // collinear
        {{3, 0}, {3, 5}, {3, 10}, false, {}, 0},             // on one column
        {{0, 0}, {0, 0}, {10, 3}, false, {}, 0},             // first two on one spot
        {{0, 0}, {10, 3}, {10, 3}, false, {}, 0},            // last two on one spot
        {{3, 4}, {10, 3}, {3, 4}, false, {}, 0},             // first and last on one spot
        {{7, 7}, {7, 7}, {7, 7}, false, {}, 0},
        // Nearly collinear: the centre lies far beyond any picture.
        {{0, 0}, {100000, 1}, {200000, 3}, false, {}, 0},
    };
    for (const auto& c : cases) {
        QPoint centre(-1, -1);
        int r = -1;
        const bool ok = CircleFromThreePoints(c.a, c.b, c.c, centre, r);
        EXPECT_EQ(ok, c.ok) << c.a.x() << "," << c.a.y() << " " << c.b.x() << "," << c.b.y();
        if (c.ok) {
            EXPECT_EQ(centre, c.centre);
            EXPECT_EQ(r, c.radius);
        } else {
            EXPECT_EQ(centre, QPoint(-1, -1));  // untouched
            EXPECT_EQ(r, -1);
        }
    }
}

TEST_F(OverlayTest, ThreePointCircleBuiltByClicks) {
    SetPerPixel(1, 1);
    Click(GVLTool::kCircleT, {0, 0});
    EXPECT_TRUE(Last()->IsDragging());
    Click(GVLTool::kCircleT, {10, 0});
    Drag(GVLTool::kLine, {{300, 300}, {300, 300}, {400, 300}});
    Click(GVLTool::kCircleT, {0, 10});
    ASSERT_EQ(Count(), 3);
    auto* c = static_cast<CGVLCircleT*>(mgr.GetElement(1));
    EXPECT_FALSE(c->IsDragging());
    EXPECT_DOUBLE_EQ(c->GetRadius(), 7.0);
    EXPECT_DOUBLE_EQ(c->GetArea(), 7 * 3.14159 * 7);
}

TEST_F(OverlayTest, CollinearThreePointCircleHasNoValuesAndNoText) {
    Click(GVLTool::kCircleT, {0, 0});
    Click(GVLTool::kCircleT, {5, 5});
    Click(GVLTool::kCircleT, {10, 10});
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Last()->GetArea(), 0.0);
    EXPECT_EQ(LastAs<CGVLCircleT>()->GetRadius(), 0.0);
    EXPECT_TRUE(Last()->ResultTexts().isEmpty());
    mgr.SetFontSize(3);
    const QImage img = Render();
    for (int y = 0; y < 60; ++y)  // nothing drawn at the window origin either
        for (int x = 0; x < 200; ++x) ASSERT_EQ(PixelAt(img, x, y), 0u) << x << "," << y;
}

// ---------------------------------------------------------------- polygon

TEST_F(OverlayTest, PolygonAreaInEitherOrder) {
    SetPerPixel(1, 1);
    const std::vector<QPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    for (bool reversed : {false, true}) {
        CGVLShape* p = mgr.CreateElement(4);
        for (size_t i = 0; i < 4; ++i) {
            const QPoint& v = square[reversed ? 3 - i : i];
            p->AddPoint(v.x(), v.y());
        }
        EXPECT_DOUBLE_EQ(p->GetArea(), 100.0);
    }
    SetPerPixel(0.5, 2);
    EXPECT_DOUBLE_EQ(Last()->GetArea(), 100.0);
}

TEST_F(OverlayTest, PolygonClosedByARightClick) {
    SetPerPixel(1, 1);
    Click(GVLTool::kPolygon, {0, 0});
    Down(GVLTool::kPolygon, {100, 0});
    Move(GVLTool::kPolygon, {120, 30});  // the rubber band does not move vertices
    Up(GVLTool::kPolygon, {100, 0});
    RDown(GVLTool::kPolygon, {100, 100});
    auto* p = LastAs<CGVLPolygon>();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->IsClosed());
    EXPECT_FALSE(p->IsDragging());
    EXPECT_EQ(Points(p), (std::vector<QPoint>{{0, 0}, {100, 0}, {100, 100}}));
    EXPECT_DOUBLE_EQ(p->GetArea(), 5000.0);
    // Only vertices grab it; it cannot be moved as a whole.
    Drag(GVLTool::kMove, {{60, 30}, {150, 150}});
    EXPECT_EQ(Points(p), (std::vector<QPoint>{{0, 0}, {100, 0}, {100, 100}}));
    Drag(GVLTool::kMove, {{100, 100}, {0, 100}});
    EXPECT_EQ(Points(p), (std::vector<QPoint>{{0, 0}, {100, 0}, {0, 100}}));
    EXPECT_DOUBLE_EQ(p->GetArea(), 5000.0);
}

TEST_F(OverlayTest, PolygonOfTwoVerticesRemovesItself) {
    Click(GVLTool::kPolygon, {0, 0});
    RDown(GVLTool::kPolygon, {10, 10});
    EXPECT_EQ(Count(), 1);
}

TEST_F(OverlayTest, OpenPolygonLeftBehindIsClosedByTheNextRightClickButGetsNoOtherVertices) {
    Click(GVLTool::kPolygon, {0, 0});
    Click(GVLTool::kPolygon, {10, 0});
    Drag(GVLTool::kLine, {{300, 300}, {300, 300}, {400, 300}});
    Click(GVLTool::kPolygon, {100, 100});  // the last element is no polygon: a new one
    Click(GVLTool::kPolygon, {110, 100});
    RDown(GVLTool::kPolygon, {110, 110});
    ASSERT_EQ(Count(), 4);
    auto* first = static_cast<CGVLPolygon*>(mgr.GetElement(1));
    auto* second = static_cast<CGVLPolygon*>(mgr.GetElement(3));
    EXPECT_TRUE(first->IsClosed());
    EXPECT_TRUE(second->IsClosed());
    EXPECT_EQ(Points(first), (std::vector<QPoint>{{0, 0}, {10, 0}, {110, 110}}));
    EXPECT_EQ(Points(second), (std::vector<QPoint>{{100, 100}, {110, 100}, {110, 110}}));
}

TEST_F(OverlayTest, PolygonNearVertexNeedsMoreThanThreeVertices) {
    CGVLShape* e = mgr.CreateElement(4);
    auto* p = static_cast<CGVLPolygon*>(e);
    for (QPoint v : {QPoint(0, 0), QPoint(100, 0), QPoint(100, 100)}) p->AddPoint(v.x(), v.y());
    EXPECT_EQ(p->NearVertex(5, 5), -1);
    p->AddPoint(0, 100);
    EXPECT_EQ(p->NearVertex(9, 9), 1);
    EXPECT_EQ(p->NearVertex(10, 0), -1);
    EXPECT_EQ(p->NearVertex(-10, -10), 1);
}

// ---------------------------------------------------------------- arrow

TEST_F(OverlayTest, ArrowPointsAtWhereTheDragStarted) {
    Drag(GVLTool::kArrow, {{100, 100}, {101, 100}, {200, 150}});
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Last()->GetType(), GVLType::kArrow);
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{200, 150}, {101, 100}}));  // tail, head
    mgr.DeleteAll();
    Drag(GVLTool::kArrow, {{100, 100}, {100, 100}, {109, 109}});
    EXPECT_EQ(Count(), 1);
    Drag(GVLTool::kArrow, {{100, 100}, {100, 100}, {110, 100}});
    EXPECT_EQ(Count(), 2);
}

// ---------------------------------------------------------------- text

TEST_F(OverlayTest, TextLinesOfTwoHundredFiftyFiveCharactersOrMoreAreDropped) {
    const QString ok(254, QLatin1Char('x')), tooLong(255, QLatin1Char('y'));
    const struct {
        QStringList typed, kept;
    } cases[] = {
        {{"ab", "cde"}, {"ab", "cde"}},
        {{tooLong, "ab"}, {"", "ab"}},
        {{"ab", tooLong}, {"ab"}},
        {{ok}, {ok}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        auto* text = static_cast<CGVLAnoText*>(mgr.CreateElement(CGVLElemMgr::kCreateText));
        text->SetTextLines(c.typed);
        EXPECT_EQ(text->GetLines(), c.kept);
    }
}

TEST_F(OverlayTest, TextAsksForItsLinesAndCancelDiscardsIt) {
    prompt.queueLines({"ab", "cde"});
    Click(GVLTool::kText, {300, 50});
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(LastAs<CGVLAnoText>()->GetLines(), (QStringList{"ab", "cde"}));
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{300, 50}}));
    ASSERT_EQ(prompt.calls().size(), 1u);
    EXPECT_EQ(prompt.calls()[0].kind, CRecordingPrompt::Kind::Lines);
    EXPECT_EQ(prompt.calls()[0].caption, "Input Text");

    prompt.queueLinesCancel();
    Click(GVLTool::kText, {300, 150});
    EXPECT_EQ(Count(), 2);
    Click(GVLTool::kText, {300, 150});  // no answer at all is a Cancel too
    EXPECT_EQ(Count(), 2);
}

TEST_F(OverlayTest, TextBodyCoversItsLines) {
    prompt.queueLines({"abcd", "ef"});
    Click(GVLTool::kText, {100, 100});
    // 40 pixels left and above, 4 characters of 8 to the right, 2 lines of 20 down.
    const struct {
        QPoint at;
        int hit;
    } cases[] = {{{60, 60}, 10000}, {{131, 139}, 10000}, {{132, 120}, -1},
                 {{120, 140}, -1},  {{59, 100}, -1},     {{100, 100}, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Last()->HitTest(c.at.x(), c.at.y()), c.hit) << c.at.x() << "," << c.at.y();
    Drag(GVLTool::kMove, {{120, 110}, {130, 130}});
    EXPECT_EQ(Points(Last()), (std::vector<QPoint>{{130, 130}}));
}

// ---------------------------------------------------------------- ruler

TEST_F(OverlayTest, RulerHitZones) {
    CGVLShape* ruler = mgr.GetElement(0);
    ASSERT_EQ(ruler->GetType(), GVLType::kRuler);
    EXPECT_EQ(Points(ruler), (std::vector<QPoint>{{100, 50}, {50, 100}}));
    const struct {
        QPoint at;
        int zone;
    } cases[] = {{{75, 75}, 1},  {{45, 45}, 1}, {{95, 95}, 1},  {{96, 50}, 2}, {{100, 50}, 2},
                 {{50, 100}, 3}, {{60, 40}, 0}, {{105, 50}, 0}, {{50, 105}, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ruler->HitTest(c.at.x(), c.at.y()), c.zone) << c.at.x() << "," << c.at.y();
}

TEST_F(OverlayTest, DraggingARulerEndRecalibrates) {
    mgr.ShowRuler(true);
    const struct {
        int tool;
        int toX;
        int x0;
        double xpp;
    } cases[] = {{GVLTool::kNone, 150, 150, 0.1},
                 {GVLTool::kMove, 40, 51, 10.0},
                 {GVLTool::kMove, 300, 300, 0.04}};
    for (const auto& c : cases) {
        mgr.SetRulerPoints({100, 50}, {50, 100});
        Drag(c.tool, {{100, 50}, {c.toX, 70}});
        EXPECT_EQ(Points(mgr.GetElement(0)), (std::vector<QPoint>{{c.x0, 50}, {50, 100}}));
        EXPECT_DOUBLE_EQ(mgr.GetCalibration().m_unit_dcxPerPixel, c.xpp);
        EXPECT_DOUBLE_EQ(mgr.GetCalibration().m_unit_dcyPerPixel, 0.2);  // 10 units over 50 pixels
    }
    EXPECT_GT(wnd.rulerChanged, 0);
    // The vertical arm and the whole ruler.
    mgr.SetRulerPoints({100, 50}, {50, 100});
    Drag(GVLTool::kMove, {{50, 100}, {80, 40}});
    EXPECT_EQ(Points(mgr.GetElement(0)), (std::vector<QPoint>{{100, 50}, {50, 51}}));
    EXPECT_DOUBLE_EQ(mgr.GetCalibration().m_unit_dcyPerPixel, 10.0);
    mgr.SetRulerPoints({100, 50}, {50, 100});
    Drag(GVLTool::kMove, {{75, 75}, {85, 70}});
    EXPECT_EQ(Points(mgr.GetElement(0)), (std::vector<QPoint>{{110, 45}, {60, 95}}));
}

TEST_F(OverlayTest, RulerIgnoresOtherToolsAndStaysWhenHidden) {
    const GVLCalibration before = mgr.GetCalibration();
    Drag(GVLTool::kMove, {{100, 50}, {150, 50}});  // hidden
    EXPECT_EQ(Points(mgr.GetElement(0)), (std::vector<QPoint>{{100, 50}, {50, 100}}));
    EXPECT_EQ(mgr.GetCalibration().m_unit_dcxPerPixel, before.m_unit_dcxPerPixel);
    EXPECT_EQ(wnd.rulerChanged, 0);
    mgr.ShowRuler(true);
    Drag(GVLTool::kDelete, {{100, 50}, {150, 50}});
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Points(mgr.GetElement(0)), (std::vector<QPoint>{{100, 50}, {50, 100}}));
}

TEST_F(OverlayTest, RulerArmOfNoLengthKeepsItsCalibration) {
    // Stored settings may put both ends on one row; recalibrating must not divide by zero.
    mgr.ShowRuler(true);
    mgr.SetRulerPoints({100, 50}, {50, 50});
    Drag(GVLTool::kMove, {{100, 50}, {150, 50}});
    EXPECT_DOUBLE_EQ(mgr.GetCalibration().m_unit_dcxPerPixel, 0.1);
    EXPECT_DOUBLE_EQ(mgr.GetCalibration().m_unit_dcyPerPixel, 0.2);
}

}  // namespace
