// Picture buffer and codecs, ours beside OpenCV and beside a plain copy of the same bytes.
//
// Sizes: 1280x1024 and 3488x2616, 24-bit, with microscope-like content (smooth structure plus
// sensor noise), so compressors do realistic work.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "image/file_io.h"
#include "image/obj_image.h"

namespace {

const int kSizes[][2] = {{1280, 1024}, {3488, 2616}};

std::string Dir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/ns-bench-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return dir;
}

cv::Mat Specimen(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    cv::RNG rng(7);
    m.setTo(cv::Scalar(200, 190, 180));
    for (int i = 0; i < w * h / 6000; ++i) {
        const cv::Point c(rng.uniform(0, w), rng.uniform(0, h));
        const int r = rng.uniform(8, 40);
        cv::circle(m, c, r,
                   cv::Scalar(rng.uniform(90, 160), rng.uniform(60, 140), rng.uniform(120, 200)),
                   -1, cv::LINE_AA);
        cv::circle(m, c, r / 3,
                   cv::Scalar(rng.uniform(40, 90), rng.uniform(20, 60), rng.uniform(60, 110)), -1,
                   cv::LINE_AA);
    }
    cv::GaussianBlur(m, m, cv::Size(5, 5), 1.5);
    cv::Mat noise(h, w, CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 3);
    cv::add(m, noise, m);
    return m;
}

const cv::Mat& Mat(int w, int h) {
    static std::map<int, cv::Mat> cache;
    auto it = cache.find(w);
    if (it == cache.end()) it = cache.emplace(w, Specimen(w, h)).first;
    return it->second;
}

const FCObjImage& Image(int w, int h) {
    static std::map<int, FCObjImage> cache;
    auto it = cache.find(w);
    if (it == cache.end()) {
        FCObjImage img;
        img.Allocate(w, h, 24);
        const cv::Mat& m = Mat(w, h);
        for (int y = 0; y < h; ++y) std::memcpy(img.GetRow(y), m.ptr(y), 3 * size_t(w));
        it = cache.emplace(w, std::move(img)).first;
    }
    return it->second;
}

std::string FileFor(int w, const char* ext) {
    return Dir() + "/pic" + std::to_string(w) + "." + ext;
}

void Label(benchmark::State& state, int w, int h) {
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 3);
}

// --- Reading -------------------------------------------------------------------------------

void ReadOurs(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::string path = FileFor(w, ext);
    Image(w, h).SaveToFile(path);
    for (auto _ : state) {
        FCObjImage img;
        if (!img.LoadFromFile(path)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(img.GetMemStart());
    }
    Label(state, w, h);
}

void ReadOpenCV(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::string path = FileFor(w, ext);
    Image(w, h).SaveToFile(path);
    for (auto _ : state) {
        cv::Mat m = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (m.empty()) state.SkipWithError("imread failed");
        benchmark::DoNotOptimize(m.data);
    }
    Label(state, w, h);
}

// The floor for a reader or writer: one copy of the file's bytes in memory.
void CopyOfFileBytes(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::string path = FileFor(w, ext);
    Image(w, h).SaveToFile(path);
    FCMappedFile file(path);
    std::vector<uint8_t> dst(file.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), file.data(), file.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Label(state, w, h);
}

// --- Writing -------------------------------------------------------------------------------

void WriteOurs(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const FCObjImage& img = Image(w, h);
    const std::string path = Dir() + "/ours_out." + ext;
    for (auto _ : state)
        if (!img.SaveToFile(path)) state.SkipWithError("save failed");
    Label(state, w, h);
}

void WriteOpenCV(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const cv::Mat& m = Mat(w, h);
    const std::string path = Dir() + "/cv_out." + ext;
    std::vector<int> params;
    if (std::string(ext) == "jpg") params = {cv::IMWRITE_JPEG_QUALITY, 80};
    for (auto _ : state)
        if (!cv::imwrite(path, m, params)) state.SkipWithError("imwrite failed");
    Label(state, w, h);
}

// The floor for writing a new file: the same bytes written with one plain write() into a new
// file (the filesystem's cost of fresh page-cache pages is part of every save).
void WriteFileBytesPlain(benchmark::State& state, const char* ext) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::string path = FileFor(w, ext);
    Image(w, h).SaveToFile(path);
    FCMappedFile file(path);
    const std::string out = Dir() + "/plain_out." + ext;
    for (auto _ : state) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()))
            state.SkipWithError("write failed");
        close(fd);
    }
    Label(state, w, h);
}

// clang-format off
#define NS_CODEC_BENCH(name, ext) \
    BENCHMARK_CAPTURE(ReadOurs, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(WriteOurs, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(CopyOfFileBytes, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(WriteFileBytesPlain, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
#define NS_CODEC_PEER(name, ext) \
    BENCHMARK_CAPTURE(ReadOpenCV, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(WriteOpenCV, name, ext)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
// clang-format on

NS_CODEC_BENCH(bmp, "bmp")
NS_CODEC_PEER(bmp, "bmp")
NS_CODEC_BENCH(tga, "tga")  // OpenCV has no TGA codec: the copy is the only reference
NS_CODEC_BENCH(jpg, "jpg")
NS_CODEC_PEER(jpg, "jpg")
NS_CODEC_BENCH(png, "png")
NS_CODEC_PEER(png, "png")
NS_CODEC_BENCH(tif, "tif")
NS_CODEC_PEER(tif, "tif")

// --- Buffer operations -----------------------------------------------------------------------

void CopyFromOurs(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const FCObjImage& src = Image(w, h);
    for (auto _ : state) {
        FCObjImage dst;
        dst.CopyFrom(src);
        benchmark::DoNotOptimize(dst.GetMemStart());
    }
    Label(state, w, h);
}
void CopyFromOpenCV(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const cv::Mat& src = Mat(w, h);
    for (auto _ : state) {
        cv::Mat dst = src.clone();
        benchmark::DoNotOptimize(dst.data);
    }
    Label(state, w, h);
}
void CopyFromMemcpy(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const FCObjImage& src = Image(w, h);
    std::vector<uint8_t> dst(src.PixelBytes());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.GetMemStart(), src.PixelBytes());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Label(state, w, h);
}
BENCHMARK(CopyFromOurs)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyFromOpenCV)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyFromMemcpy)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// 8 -> 24 (grey ramp palette) and 32 -> 24.
void ToTrueColorOurs(benchmark::State& state, int bits) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    FCObjImage src;
    src.Allocate(w, h, bits);
    const cv::Mat& m = Mat(w, h);
    cv::Mat conv;
    cv::cvtColor(m, conv, bits == 8 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGR2BGRA);
    for (int y = 0; y < h; ++y) std::memcpy(src.GetRow(y), conv.ptr(y), size_t(w) * bits / 8);
    for (auto _ : state) {
        state.PauseTiming();
        FCObjImage img(src);
        state.ResumeTiming();
        img.ToTrueColor24();
        benchmark::DoNotOptimize(img.GetMemStart());
    }
    Label(state, w, h);
}
void ToTrueColorOpenCV(benchmark::State& state, int bits) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    cv::Mat src;
    cv::cvtColor(Mat(w, h), src, bits == 8 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGR2BGRA);
    for (auto _ : state) {
        cv::Mat dst;
        cv::cvtColor(src, dst, bits == 8 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGRA2BGR);
        benchmark::DoNotOptimize(dst.data);
    }
    Label(state, w, h);
}
BENCHMARK_CAPTURE(ToTrueColorOurs, from8, 8)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ToTrueColorOpenCV, from8, 8)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ToTrueColorOurs, from32, 32)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ToTrueColorOpenCV, from32, 32)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Down to a display size (the live window) and up by 1.5.
const int kResize[][2] = {{853, 682}, {5232, 3924}};
void ResizeOurs(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const int* to = kResize[state.range(1)];
    const int nw = state.range(1) == 0 ? to[0] : w * 3 / 2,
              nh = state.range(1) == 0 ? to[1] : h * 3 / 2;
    const FCObjImage& src = Image(w, h);
    for (auto _ : state) {
        state.PauseTiming();
        FCObjImage img(src);
        state.ResumeTiming();
        img.ResizeNearest(nw, nh);
        benchmark::DoNotOptimize(img.GetMemStart());
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " -> " + std::to_string(nw) + "x" +
                   std::to_string(nh));
}
void ResizeOpenCV(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const int* to = kResize[state.range(1)];
    const int nw = state.range(1) == 0 ? to[0] : w * 3 / 2,
              nh = state.range(1) == 0 ? to[1] : h * 3 / 2;
    const cv::Mat& src = Mat(w, h);
    for (auto _ : state) {
        cv::Mat dst;
        cv::resize(src, dst, cv::Size(nw, nh), 0, 0, cv::INTER_NEAREST);
        benchmark::DoNotOptimize(dst.data);
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " -> " + std::to_string(nw) + "x" +
                   std::to_string(nh));
}
BENCHMARK(ResizeOurs)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(ResizeOpenCV)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
