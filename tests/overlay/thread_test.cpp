// Drawing on the camera thread while the user interface edits the overlay. Also built with
// ThreadSanitizer (overlay_tsan_tests).

#include <atomic>
#include <thread>

#include "overlay_fixture.h"

namespace {

// The live window draws on the camera thread while the user edits on the UI thread.
TEST_F(OverlayTest, DrawingWhileEditingFromAnotherThread) {
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread camera([&] {
        QImage frame(640, 480, QImage::Format_RGB32);
        while (!stop.load()) {
            frame.fill(0);
            QPainter p(&frame);
            mgr.Draw(p, 640, 480);
            p.end();
            ++frames;
        }
    });
    mgr.SetCross(false, true);
    for (int i = 0; i < 300; ++i) {
        const int x = (i * 37) % 500, y = (i * 53) % 400;
        Drag(GVLTool::kLine, {{x, y}, {x, y}, {x + 60, y + 20}});
        Drag(GVLTool::kCircle, {{x, y}, {x + 20, y}});
        Click(GVLTool::kCounterHexagon, {x + 5, y + 5});
        Click(GVLTool::kAngle, {x, y});
        Drag(GVLTool::kMove, {{x + 30, y + 10}, {x + 35, y + 12}});
        Click(GVLTool::kDelete, {x + 5, y + 5});  // removes whatever is there, mid-draw
        mgr.SetZoom(i % 2 ? 0.667f : 1.0f);
        mgr.SetPrecision(1 + i % 5);
        if (i % 50 == 49) mgr.DeleteAll();
    }
    // Keep editing until the camera thread has drawn a fair number of frames.
    for (int i = 0; frames.load() < 20 && i < 100000; ++i)
        Drag(GVLTool::kLine, {{0, 0}, {0, 0}, {50, 50}});
    stop = true;
    camera.join();
    EXPECT_GE(frames.load(), 20);
}

}  // namespace
