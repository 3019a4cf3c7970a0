// Realtime filters, ours beside the OpenCV operation nearest in effect and beside a plain copy
// of the same block; both chains with every filter on. Ours work in place on the block, as on
// the camera thread, on a fresh copy of the frame each round (copied outside the timing); the
// peers write into a buffer allocated once.

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "document/processing.h"

namespace {

// Microscope-like content: smooth cells on a bright ground plus sensor noise.
cv::Mat Specimen(int w, int h, int bits) {
    static std::map<std::pair<int, int>, cv::Mat> cache;
    const auto key = std::make_pair(w, bits);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    cv::Mat m(h, w, CV_8UC3, cv::Scalar(200, 190, 180));
    cv::RNG rng(7);
    for (int i = 0; i < w * h / 6000; ++i) {
        const cv::Point c(rng.uniform(0, w), rng.uniform(0, h));
        const int r = rng.uniform(8, 40);
        cv::circle(m, c, r,
                   cv::Scalar(rng.uniform(90, 160), rng.uniform(60, 140), rng.uniform(120, 200)),
                   -1, cv::LINE_AA);
    }
    cv::GaussianBlur(m, m, cv::Size(5, 5), 1.5);
    cv::Mat noise(h, w, CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 3);
    cv::add(m, noise, m);
    if (bits == 32) cv::cvtColor(m, m, cv::COLOR_BGR2BGRA);
    return cache.emplace(key, m).first->second;
}

struct Frame {
    Frame(int w, int h, int bits) : w(w), h(h), bits(bits) {
        const cv::Mat s = Specimen(w, h, bits);
        // Rows of these sizes need no padding, so the Mat's rows are the block's rows.
        pristine = s;
        mat = s.clone();
        out.create(s.size(), s.type());
    }
    // In-place filters would otherwise see their own output (often black) on later rounds.
    void Restore(benchmark::State& state) {
        state.PauseTiming();
        pristine.copyTo(mat);
        state.ResumeTiming();
    }
    uint8_t* data() { return mat.data; }
    size_t bytes() const { return mat.total() * mat.elemSize(); }
    int w, h, bits;
    cv::Mat pristine, mat, out;
};

enum class Op { FlipV, FlipH, Negative, Gray, Binary, Emboss, Sharpen, Rgb };

void Ours(benchmark::State& state, Op op) {
    Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            static_cast<int>(state.range(2)));
    for (auto _ : state) {
        switch (op) {
            case Op::FlipV:
                ProcFlipVertical(f.data(), f.w, f.h, f.bits);
                break;
            case Op::FlipH:
                ProcFlipHorizontal(f.data(), f.w, f.h, f.bits);
                break;
            case Op::Negative:
                ProcNegative(f.data(), f.w, f.h, f.bits);
                break;
            case Op::Gray:
                ProcGray(f.data(), f.w, f.h, f.bits);
                break;
            case Op::Binary:
                ProcBinary(f.data(), f.w, f.h, f.bits, 90);
                break;
            case Op::Emboss:
                ProcEmboss(f.data(), f.w, f.h, f.bits);
                break;
            case Op::Sharpen:
                ProcSharpen(f.data(), f.w, f.h, f.bits);
                break;
            case Op::Rgb:
                ProcRgbOffset(f.data(), f.w, f.h, f.bits, 20, 5, 40);
                break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes()));
}

void OpenCv(benchmark::State& state, Op op) {
    Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            static_cast<int>(state.range(2)));
    const bool four = f.bits == 32;
    cv::Mat grey(f.mat.size(), CV_8UC1);
    const cv::Mat emboss = (cv::Mat_<float>(2, 2) << 1, 0, 0, -1);
    const cv::Mat sharpen = (cv::Mat_<float>(3, 3) << 0, -1, 0, -1, 5, -1, 0, -1, 0);
    for (auto _ : state) {
        switch (op) {
            case Op::FlipV:
                cv::flip(f.mat, f.out, 0);
                break;
            case Op::FlipH:
                cv::flip(f.mat, f.out, 1);
                break;
            case Op::Negative:
                cv::bitwise_not(f.mat, f.out);
                break;
            case Op::Gray:
                cv::cvtColor(f.mat, grey, four ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
                break;
            case Op::Binary:
                // The same job: black and white by the pixel's grey, not channel by channel.
                cv::cvtColor(f.mat, grey, four ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
                cv::threshold(grey, grey, 90, 255, cv::THRESH_BINARY);
                break;
            case Op::Emboss:
                cv::filter2D(f.mat, f.out, -1, emboss, cv::Point(0, 0), 128);
                break;
            case Op::Sharpen:
                cv::filter2D(f.mat, f.out, -1, sharpen);
                break;
            case Op::Rgb:
                cv::add(f.mat, cv::Scalar(40, 5, 20, 0), f.out);
                break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes()));
}

void Copy(benchmark::State& state) {
    Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            static_cast<int>(state.range(2)));
    for (auto _ : state) {
        std::memcpy(f.out.data, f.mat.data, f.bytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes()));
}

ProcessFlags EveryFlag() {
    ProcessFlags p;
    p.bProcessEnable = p.bFlipVertical = p.bFlipHorizontal = p.bGray = p.bNegative = p.bBinary =
        p.bEmboss = p.bSharpen = p.bRgbGain = true;
    p.nBinaryThreshold = 90;
    p.nGainRed = 20;
    p.nGainGreen = 5;
    p.nGainBlue = 40;
    return p;
}

void Chain(benchmark::State& state, bool live) {
    Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            static_cast<int>(state.range(2)));
    const ProcessFlags p = EveryFlag();
    for (auto _ : state) {
        f.Restore(state);
        if (live)
            RunLiveChain(f.data(), f.w, f.h, f.bits, p);
        else
            RunStillChain(f.data(), f.w, f.h, f.bits, p);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes()));
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int bits : {24, 32}) {
        b->Args({1280, 1024, bits});
        b->Args({3488, 2616, bits});
    }
    b->ArgNames({"w", "h", "bits"})->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(Copy)->Apply(Sizes);
#define NS_KERNEL(name, op)                              \
    BENCHMARK_CAPTURE(Ours, name, Op::op)->Apply(Sizes); \
    BENCHMARK_CAPTURE(OpenCv, name, Op::op)->Apply(Sizes);
NS_KERNEL(flip_vertical, FlipV)
NS_KERNEL(flip_horizontal, FlipH)
NS_KERNEL(negative, Negative)
NS_KERNEL(gray, Gray)
NS_KERNEL(binary, Binary)
NS_KERNEL(emboss, Emboss)
NS_KERNEL(sharpen, Sharpen)
NS_KERNEL(rgb_offset, Rgb)
BENCHMARK_CAPTURE(Chain, live_every_flag, true)->Apply(Sizes);
BENCHMARK_CAPTURE(Chain, still_every_flag, false)->Apply(Sizes);
