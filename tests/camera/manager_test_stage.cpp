// The stage under the open camera, reached through the camera layer: true positions against
// the moves asked for, the picture following a move in pixels (flips included), paths, and the
// path file format.

#include <gtest/gtest.h>

#include <cstdlib>

#include "camera/camera_manager.h"
#include "camera/stage_control.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"

namespace {

class Stage : public ::testing::Test {
protected:
    void TearDown() override {
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
    }
    // Opens the first camera of the only family attached; the stage held still.
    std::unique_ptr<IStageControl> OpenOnly(const char* cameras) {
        setenv("NORVANESCOPE_SIM_CAMERAS", cameras, 1);
        cm.Shutdown();
        cm.Startup();
        int n = 0;
        cm.EnumerateDevices(&n);
        EXPECT_GE(n, 1);
        cm.SelectDevice(0);
        EXPECT_EQ(cm.OpenCamera(nullptr, nullptr, nullptr), 0);
        std::unique_ptr<IStageControl> stage = OpenCameraStage(cm);
        if (stage) {
            EXPECT_TRUE(stage->SetDrift(false));
        }
        return stage;
    }
    CCameraManager& cm = theCameraManager();
};

bool Near(StagePoint a, StagePoint b, double tol = 1e-6) {
    return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol;
}

// Every simulated family has a stage; moves land where they were asked to, and a move in
// pixels carries the specimen that far across the picture, mirrored when the camera flips.
TEST_F(Stage, MovesLandWhereAskedInEveryFamily) {
    for (const char* cameras : {"none,maker=1", "none,mc-a=1", "none,mc-c=1", "none,mc-d=1"}) {
        SCOPED_TRACE(cameras);
        const std::unique_ptr<IStageControl> stage = OpenOnly(cameras);
        ASSERT_TRUE(stage);
        const std::optional<StagePosition> start = stage->Position();
        ASSERT_TRUE(start);
        EXPECT_GT(start->micronsPerPixelX, 0);
        EXPECT_DOUBLE_EQ(start->PixelX(), start->at.x / start->micronsPerPixelX);
        // Held still, the position stays.
        EXPECT_TRUE(Near(stage->Position()->at, start->at));

        ASSERT_TRUE(stage->MoveTo({-120.5, 33.25}));
        EXPECT_TRUE(Near(stage->Position()->at, {-120.5, 33.25}));
        ASSERT_TRUE(stage->MoveBy(10, -5));
        EXPECT_TRUE(Near(stage->Position()->at, {-110.5, 28.25}));

        // The picture shifts right and down by (40, 30) pixels: the field centre went the other
        // way by that many pixels' worth of micrometres.
        const StagePosition before = *stage->Position();
        ASSERT_TRUE(stage->MoveByPixels(40, 30));
        const StagePosition after = *stage->Position();
        EXPECT_NEAR(after.at.x - before.at.x, -40 * before.micronsPerPixelX, 1e-6);
        EXPECT_NEAR(after.at.y - before.at.y, -30 * before.micronsPerPixelY, 1e-6);
        ASSERT_EQ(cm.SetFlip(true, 1), 0);
        ASSERT_TRUE(stage->MoveByPixels(40, 0));
        EXPECT_NEAR(stage->Position()->at.x, before.at.x, 1e-6);
        cm.SetFlip(true, 0);
        // Refused moves change nothing.
        EXPECT_FALSE(stage->MoveTo({1e300, 0}));
        EXPECT_NEAR(stage->Position()->at.x, before.at.x, 1e-6);
        cm.CloseCamera();
        // A closed camera has no stage to answer.
        EXPECT_FALSE(OpenCameraStage(cm));
    }
}

TEST_F(Stage, DriftWandersUnlessHeldStill) {
    const std::unique_ptr<IStageControl> stage = OpenOnly("none,mc-b=1");
    ASSERT_TRUE(stage);
    ASSERT_TRUE(stage->SetDrift(true));
    const StagePoint a = stage->Position()->at;
    // The wander is slow (micrometres per minute): wait for it rather than for a fixed time.
    StagePoint b = a;
    for (int i = 0; i < 400 && Near(a, b, 1e-4); ++i) {
        usleep(10000);
        b = stage->Position()->at;
    }
    EXPECT_FALSE(Near(a, b, 1e-4));
    ASSERT_TRUE(stage->SetDrift(false));
    const StagePoint c = stage->Position()->at;
    usleep(50000);
    EXPECT_TRUE(Near(stage->Position()->at, c));
}

TEST_F(Stage, UvcCamerasHaveNone) {
    setenv("NORVANESCOPE_SIM_CAMERAS", "none", 1);
    cm.Shutdown();
    theUVCCamera().SetSys(CFakeV4l2::Emulated(1));
    cm.Startup();
    int n = 0;
    cm.EnumerateDevices(&n);
    ASSERT_EQ(n, 1);
    cm.SelectDevice(0);
    ASSERT_EQ(cm.OpenCamera(nullptr, nullptr, nullptr), 0);
    EXPECT_FALSE(OpenCameraStage(cm));
}

// A path is walked point by point; each point is reached truly, in the order given.
TEST_F(Stage, FollowsAPathThroughEveryPoint) {
    const std::unique_ptr<IStageControl> stage = OpenOnly("none,maker=1");
    ASSERT_TRUE(stage);
    // A small serpentine over four fields.
    const std::vector<StagePoint> path = {{0, 0}, {300, 0}, {300, 250}, {0, 250}};
    std::vector<StagePoint> reached;
    ASSERT_TRUE(FollowStagePath(*stage, path, 20000,
                                [&](size_t i, const StagePosition& p) {
                                    EXPECT_EQ(i, reached.size());
                                    reached.push_back(p.at);
                                }));
    ASSERT_EQ(reached.size(), path.size());
    for (size_t i = 0; i < path.size(); ++i) EXPECT_TRUE(Near(reached[i], path[i])) << i;
    // A stop request ends the walk before the next step.
    std::atomic<bool> stop{true};
    EXPECT_FALSE(FollowStagePath(*stage, {{1000, 1000}}, 100, {}, &stop));
    EXPECT_TRUE(Near(stage->Position()->at, {0, 250}));
    // The micrometer is a place the stage reaches like any other.
    ASSERT_TRUE(FollowStagePath(*stage, {StageMicrometerPlace()}, 0));
    EXPECT_TRUE(Near(stage->Position()->at, StageMicrometerPlace()));
}

TEST(StagePath, FileFormat) {
    const struct {
        const char* text;
        std::vector<StagePoint> points;  // empty: refused
        const char* error;
    } cases[] = {
        {"0 0\n100.5 -20\n", {{0, 0}, {100.5, -20}}, ""},
        {"# serpentine\n\n  1,2  # first\r\n3\t4\n", {{1, 2}, {3, 4}}, ""},
        {"1e3 2E-1\n", {{1000, 0.2}}, ""},
        {"1 2 3\n", {}, "line 1"},
        {"1 2\nx 2\n", {}, "line 2"},
        {"1\n", {}, "line 1"},
        {"nan 1\n", {}, "line 1"},
        {"1e8 0\n", {}, "travel"},
        {"# nothing\n", {}, "no point"},
        {"", {}, "no point"},
    };
    for (const auto& c : cases) {
        QString error;
        const auto path = ParseStagePath(QByteArray(c.text), &error);
        if (c.points.empty()) {
            EXPECT_FALSE(path) << c.text;
            EXPECT_TRUE(error.contains(QString::fromLatin1(c.error))) << c.text << " -> " << error.toStdString();
        } else {
            ASSERT_TRUE(path) << c.text << " -> " << error.toStdString();
            EXPECT_EQ(*path, c.points) << c.text;
        }
    }
}

}  // namespace
