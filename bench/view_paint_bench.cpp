// Repainting a still picture in its window: a 3488 x 2616 picture fitted into a 1280 x 900
// client (shown at 1200 x 900) with 200 overlay elements, through the overlay window's paint
// path, beside a plain drawImage of the same scaled picture and a copy of its bytes.
// Goal: a repaint under 16 ms on one core, so dragging a measurement keeps up with the mouse.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <vector>

#include "document/prompt.h"
#include "document/view_layout.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"
#include "overlay/shape.h"

namespace {

constexpr int kW = 3488, kH = 2616;
const QSize kClient(1280, 900);

FCObjImage Picture() {
    FCObjImage img;
    img.Allocate(kW, kH, 24);
    for (int y = 0; y < kH; ++y) {
        uint8_t* p = img.GetRow(y);
        for (int x = 0; x < kW; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(x ^ y);
            p[1] = static_cast<uint8_t>(x + 2 * y);
            p[2] = static_cast<uint8_t>(3 * x - y);
        }
    }
    return img;
}

// 200 elements of the common kinds spread over the picture, made with the mouse at zoom 1.
void Populate(CGVLElemMgr& mgr, CRecordingPrompt& prompt) {
    mgr.SetZoom(1.0f);
    mgr.ShowRuler(true);
    mgr.SetCross(true, false);
    const auto down = [&](int t, int x, int y) { mgr.OnLButtonDown(0, t, QPoint(x, y)); };
    const auto move = [&](int t, int x, int y) { mgr.OnMouseMove(0, t, QPoint(x, y)); };
    const auto up = [&](int t, int x, int y) { mgr.OnLButtonUp(0, t, QPoint(x, y)); };
    const auto click = [&](int t, int x, int y) {
        down(t, x, y);
        up(t, x, y);
    };
    const auto drag = [&](int t, int x0, int y0, int x1, int y1) {
        down(t, x0, y0);
        move(t, x0 + 1, y0);
        move(t, x1, y1);
        up(t, x1, y1);
    };
    for (int i = 0; mgr.ElementCount() < 201; ++i) {
        const int x = 100 + (i * 197) % (kW - 500), y = 100 + (i * 131) % (kH - 400);
        switch (i % 6) {
            case 0:
                drag(GVLTool::kLine, x, y, x + 300, y + 120);
                break;
            case 1:
                drag(GVLTool::kRect, x, y, x + 250, y + 160);
                break;
            case 2:
                drag(GVLTool::kCircle, x + 120, y + 120, x + 220, y + 120);
                break;
            case 3:
                click(GVLTool::kAngle, x + 250, y);
                click(GVLTool::kAngle, x, y);
                click(GVLTool::kAngle, x + 80, y - 200);
                break;
            case 4:
                click(GVLTool::kCounterCircle + (i / 6) % 4, x, y);
                break;
            case 5:
                prompt.queueLines({"Cell " + QString::number(i)});
                click(GVLTool::kText, x, y);
                break;
        }
    }
}

struct Scene {
    FCObjImage picture = Picture();
    CGVLElemMgr mgr;
    CRecordingPrompt prompt;
    ViewLayout layout;
    Scene() {
        mgr.SetPrompt(&prompt);
        Populate(mgr, prompt);
        layout = ComputeViewLayout(kZoomFitIndex, QSize(kW, kH), kClient, {});
        mgr.SetZoom(layout.scale);
    }
};

// A repaint of the whole window with the picture unchanged (the cache is warm).
void BM_StillRepaint(benchmark::State& state) {
    Scene s;
    CDisplayPicture cache;
    QImage window(s.layout.display, QImage::Format_RGB32);
    const QRect all(QPoint(0, 0), s.layout.display);
    {
        QPainter warm(&window);
        PaintStill(warm, cache, s.picture, s.mgr, s.layout.display, all);
    }
    for (auto _ : state) {
        QPainter painter(&window);
        PaintStill(painter, cache, s.picture, s.mgr, s.layout.display, all);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
    state.counters["elements"] = s.mgr.ElementCount() - 1;
    state.counters["display_w"] = s.layout.display.width();
}
BENCHMARK(BM_StillRepaint)->Unit(benchmark::kMillisecond);

// The first paint after opening or a zoom change: conversion and halftone scaling included.
void BM_StillFirstPaint(benchmark::State& state) {
    Scene s;
    CDisplayPicture cache;
    QImage window(s.layout.display, QImage::Format_RGB32);
    const QRect all(QPoint(0, 0), s.layout.display);
    for (auto _ : state) {
        cache.Invalidate();
        QPainter painter(&window);
        PaintStill(painter, cache, s.picture, s.mgr, s.layout.display, all);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_StillFirstPaint)->Unit(benchmark::kMillisecond);

// The peer: Qt drawing the already scaled picture, nothing else.
void BM_QtDrawScaledImage(benchmark::State& state) {
    const QSize display = ComputeViewLayout(kZoomFitIndex, QSize(kW, kH), kClient, {}).display;
    QImage scaled(display, QImage::Format_RGB32);
    scaled.fill(Qt::darkCyan);
    QImage window(display, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, scaled);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_QtDrawScaledImage)->Unit(benchmark::kMillisecond);

// The floor: one copy of the scaled picture's bytes.
void BM_CopyScaledBytes(benchmark::State& state) {
    const QSize display = ComputeViewLayout(kZoomFitIndex, QSize(kW, kH), kClient, {}).display;
    std::vector<uint8_t> src(static_cast<size_t>(display.width()) * display.height() * 4, 1), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_CopyScaledBytes)->Unit(benchmark::kMillisecond);

}  // namespace
