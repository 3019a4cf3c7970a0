// The whole live path per frame: copy into the live buffer, the live chain (every filter off, and
// every filter on), scaling to the display size, an overlay of 50 elements and the hand-off to
// the user-interface thread, beside a plain copy of the frame's bytes.
// Goals on one core: 1280 x 1024 under 8 ms without processing and under 16 ms with every filter
// on; 3488 x 2616 under 33 ms without processing.

#include <benchmark/benchmark.h>

#include <QImage>
#include <algorithm>
#include <cstring>
#include <vector>

#include "camera/camera_types.h"
#include "document/live_frame_path.h"
#include "document/prompt.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"

namespace {

// 50 elements (lines, rectangles, circles, arrows, texts) over a w x h picture.
void Populate(CGVLElemMgr& mgr, CRecordingPrompt& prompt, int w, int h) {
    mgr.SetZoom(1.0f);
    const auto drag = [&](int tool, int x0, int y0, int x1, int y1) {
        mgr.OnLButtonDown(0, tool, QPoint(x0, y0));
        mgr.OnMouseMove(0, tool, QPoint(x0, y0));
        mgr.OnMouseMove(0, tool, QPoint(x1, y1));
        mgr.OnLButtonUp(0, tool, QPoint(x1, y1));
    };
    for (int i = 0; mgr.ElementCount() < 51; ++i) {
        const int x = 40 + (i * 97) % (w - 240), y = 40 + (i * 61) % (h - 160);
        switch (i % 5) {
            case 0: drag(GVLTool::kLine, x, y, x + 120, y + 45); break;
            case 1: drag(GVLTool::kRect, x, y, x + 90, y + 60); break;
            case 2: drag(GVLTool::kCircle, x + 50, y + 50, x + 90, y + 50); break;
            case 3: drag(GVLTool::kArrow, x, y, x + 100, y + 60); break;
            default:
                prompt.queueLines({"Cell " + QString::number(i)});
                mgr.OnLButtonDown(0, GVLTool::kText, QPoint(x, y));
                mgr.OnLButtonUp(0, GVLTool::kText, QPoint(x, y));
                break;
        }
    }
}

std::vector<uint8_t> Frame(int w, int h, int bits) {
    std::vector<uint8_t> bytes(static_cast<size_t>(DibStride(w, bits) * h));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 7) ^ (i >> 11));
    return bytes;
}

// Args: width, height, bits, every filter on (0/1), display fitted into 1600 x 1000 (0: 1:1).
void BM_LivePath(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const int bits = static_cast<int>(state.range(2));
    const bool filters = state.range(3) != 0;
    const bool fitted = state.range(4) != 0;
    const std::vector<uint8_t> frame = Frame(w, h, bits);
    FCBitmapInfoHeader header{};
    header.biSize = 40;
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bits);
    ProcessFlags flags;
    if (filters) {
        flags.bProcessEnable = flags.bFlipVertical = flags.bFlipHorizontal = flags.bGray = true;
        flags.bNegative = flags.bBinary = flags.bEmboss = flags.bSharpen = flags.bRgbGain = true;
        flags.nGainRed = 10;
        flags.nGainGreen = -5;
        flags.nGainBlue = 3;
    }
    const double scale = fitted ? std::min({1600.0 / w, 1000.0 / h, 1.0}) : 1.0;
    CLiveFramePath::Target target{QSize(static_cast<int>(w * scale), static_cast<int>(h * scale)), false, {}};
    CGVLElemMgr mgr;
    CRecordingPrompt prompt;
    mgr.SetPrompt(&prompt);
    Populate(mgr, prompt, w, h);
    mgr.SetZoom(static_cast<float>(scale));
    CLiveFramePath path;
    FCObjImage live;
    QImage shown;
    QRect where;
    for (auto _ : state) {
        path.Process(frame.data(), header, live, flags, target, &mgr);
        path.TakeNewest(shown, where);
        benchmark::DoNotOptimize(shown.constBits());
    }
    state.counters["display_w"] = target.display.width();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

void LivePathArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : {std::pair{1280, 1024}, std::pair{2048, 1536}, std::pair{3488, 2616}})
        for (int bits : {24, 32})
            for (int filters : {0, 1})
                for (int fitted : {0, 1}) b->Args({w, h, bits, filters, fitted});
}
BENCHMARK(BM_LivePath)
    ->Apply(LivePathArgs)
    ->ArgNames({"w", "h", "bits", "filters", "fitted"})
    ->Unit(benchmark::kMillisecond);

// The floor: one copy of the frame's bytes.
void BM_FrameMemcpy(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const int bits = static_cast<int>(state.range(2));
    const std::vector<uint8_t> frame = Frame(w, h, bits);
    std::vector<uint8_t> dst(frame.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
void MemcpyArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : {std::pair{1280, 1024}, std::pair{2048, 1536}, std::pair{3488, 2616}})
        for (int bits : {24, 32}) b->Args({w, h, bits});
}
BENCHMARK(BM_FrameMemcpy)->Apply(MemcpyArgs)->ArgNames({"w", "h", "bits"})->Unit(benchmark::kMillisecond);

}  // namespace
