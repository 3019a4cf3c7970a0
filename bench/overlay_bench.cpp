// The overlay on the live path (drawn over every frame) and at saving (burned into the picture).
// Goals: Draw of 200 elements under 2 ms so the overlay never limits 60 frames per second,
// BurnIn at 3488 x 2616 under 50 ms.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <vector>

#include "document/prompt.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"

namespace {

// 200 elements of every kind spread over a picture of w x h image pixels, built with the mouse
// as a user would.
void Populate(CGVLElemMgr& mgr, CRecordingPrompt& prompt, int w, int h) {
    mgr.SetZoom(1.0f);
    mgr.SetCross(true, false);
    mgr.ShowRuler(true);
    auto down = [&](int tool, int x, int y) { mgr.OnLButtonDown(0, tool, QPoint(x, y)); };
    auto move = [&](int tool, int x, int y) { mgr.OnMouseMove(0, tool, QPoint(x, y)); };
    auto up = [&](int tool, int x, int y) { mgr.OnLButtonUp(0, tool, QPoint(x, y)); };
    auto click = [&](int tool, int x, int y) {
        down(tool, x, y);
        up(tool, x, y);
    };
    auto drag = [&](int tool, int x0, int y0, int x1, int y1) {
        down(tool, x0, y0);
        move(tool, x0, y0);
        move(tool, x1, y1);
        up(tool, x1, y1);
    };
    for (int i = 0; mgr.ElementCount() < 201; ++i) {
        const int x = 60 + (i * 97) % (w - 260), y = 60 + (i * 61) % (h - 200);
        switch (i % 10) {
            case 0:
                drag(GVLTool::kLine, x, y, x + 120, y + 45);
                break;
            case 1:
                click(GVLTool::kPoint, x, y);
                break;
            case 2:
                click(GVLTool::kAngle, x + 100, y);
                click(GVLTool::kAngle, x, y);
                click(GVLTool::kAngle, x + 30, y - 80);
                break;
            case 3:
                drag(GVLTool::kRect, x, y, x + 90, y + 60);
                break;
            case 4:
                click(GVLTool::kPolygon, x, y);
                click(GVLTool::kPolygon, x + 80, y + 10);
                click(GVLTool::kPolygon, x + 60, y + 70);
                mgr.OnRButtonDown(0, GVLTool::kPolygon, QPoint(x - 10, y + 50));
                break;
            case 5:
                drag(GVLTool::kCircle, x + 50, y + 50, x + 90, y + 50);
                break;
            case 6:
                click(GVLTool::kCircleT, x, y);
                click(GVLTool::kCircleT, x + 70, y + 10);
                click(GVLTool::kCircleT, x + 20, y + 60);
                break;
            case 7:
                click(GVLTool::kCounterCircle + (i / 10) % 4, x, y);
                break;
            case 8:
                drag(GVLTool::kArrow, x, y, x + 100, y + 60);
                break;
            case 9:
                prompt.queueLines({"Cell " + QString::number(i), "nucleus"});
                click(GVLTool::kText, x, y);
                break;
        }
    }
}

void BM_OverlayDraw(benchmark::State& state) {
    // An 853 x 682 window showing a 1280 x 1024 frame at zoom 0.667.
    CGVLElemMgr mgr;
    CRecordingPrompt prompt;
    mgr.SetPrompt(&prompt);
    Populate(mgr, prompt, 1280, 1024);
    mgr.SetZoom(0.667f);
    QImage frame(853, 682, QImage::Format_RGB32);
    frame.fill(Qt::darkGray);
    for (auto _ : state) {
        QPainter painter(&frame);
        mgr.Draw(painter, frame.width(), frame.height());
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.counters["elements"] = mgr.ElementCount() - 1;
}
BENCHMARK(BM_OverlayDraw)->Unit(benchmark::kMillisecond);

constexpr int kBurnW = 3488, kBurnH = 2616;

void BM_OverlayBurnIn(benchmark::State& state) {
    CGVLElemMgr mgr;
    CRecordingPrompt prompt;
    mgr.SetPrompt(&prompt);
    Populate(mgr, prompt, kBurnW, kBurnH);
    std::vector<uint8_t> buffer(GVLBurnInBytes(kBurnW, kBurnH));
    GVLBurnInOptions opt;
    opt.measurements = opt.ruler = opt.date = opt.title = true;
    opt.titleText = "Sample";
    for (auto _ : state) {
        mgr.BurnIn(buffer.data(), kBurnW, kBurnH, opt);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_OverlayBurnIn)->Unit(benchmark::kMillisecond);

// Saving merges the burn-in into the picture: every non-black pixel is copied.
void BM_OverlayMergeBurnIn(benchmark::State& state) {
    CGVLElemMgr mgr;
    CRecordingPrompt prompt;
    mgr.SetPrompt(&prompt);
    Populate(mgr, prompt, kBurnW, kBurnH);
    std::vector<uint8_t> buffer(GVLBurnInBytes(kBurnW, kBurnH));
    GVLBurnInOptions opt;
    opt.measurements = opt.ruler = true;
    mgr.BurnIn(buffer.data(), kBurnW, kBurnH, opt);
    FCObjImage picture;
    picture.Allocate(kBurnW, kBurnH, 24);
    for (auto _ : state) {
        GVLMergeBurnIn(picture, buffer.data());
        benchmark::DoNotOptimize(picture.GetMemStart());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_OverlayMergeBurnIn)->Unit(benchmark::kMillisecond);

// The floor: one plain copy of the burn-in buffer's bytes.
void BM_CopyBurnInBytes(benchmark::State& state) {
    std::vector<uint8_t> src(GVLBurnInBytes(kBurnW, kBurnH), 1), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_CopyBurnInBytes)->Unit(benchmark::kMillisecond);

}  // namespace
