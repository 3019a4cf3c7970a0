// The simulated sensor's cost per frame, every effect on, beside a plain copy of a frame of the
// same size and beside OpenCV doing the ISP's colour and sharpening steps on a finished frame.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "camera/sim/sim_sensor.h"

namespace {

const int kSizes[][2] = {{640, 480}, {1280, 1024}, {2048, 1536}, {2592, 1944}, {3488, 2616}};

std::shared_ptr<CVirtualSpecimen> Specimen() {
    static auto specimen = std::make_shared<CVirtualSpecimen>(42, 1024);
    return specimen;
}

SimSensorSettings Busy(int w, int h, bool binned) {
    SimSensorSettings s;
    // Native: the sensor has this size. Binned: a 3488 x 2616 sensor delivers this size.
    s.sensorWidth = binned ? 3488 : w;
    s.sensorHeight = binned ? 2616 : h;
    s.width = w;
    s.height = h;
    s.exposureUs = 7000;
    s.analogGain = 2.0;
    s.wbRed = 0.9, s.wbGreen = 1.1, s.wbBlue = 1.4;
    s.gamma = 1.4, s.contrast = 1.1, s.brightness = 0.02;
    s.saturation = 1.2, s.hueDegrees = 5, s.sharpness = 0.5;
    s.hFlip = true;
    s.mainsHz = 50;
    return s;
}

void RunSensor(benchmark::State& state, bool binned, bool raw) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    CSimSensor sensor(Specimen());
    sensor.SetSettings(Busy(w, h, binned));
    sensor.Stage().SetFocus(0.5, 0);  // slightly out of focus: the blurred tiles are used
    FCObjImage frame;
    SimRawFrame rawFrame;
    double t = 0;
    // Warm the tile cache, as a running camera has.
    sensor.Render(t, &frame);
    for (auto _ : state) {
        t += 1.0 / 30;
        if (raw) {
            sensor.RenderRaw(t, &rawFrame);
            sensor.ProcessRaw(rawFrame, &frame);
        } else {
            sensor.Render(t, &frame);
        }
        benchmark::DoNotOptimize(frame.GetMemStart());
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h * 3);
}

void BM_SimSensorNative(benchmark::State& state) {
    RunSensor(state, false, false);
}
void BM_SimSensorBinned(benchmark::State& state) {
    RunSensor(state, true, false);
}
void BM_SimSensorRawPlusIsp(benchmark::State& state) {
    RunSensor(state, false, true);
}

void BM_MemcpyFrame(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    std::vector<uint8_t> a(static_cast<size_t>(w) * h * 3, 7), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a.size()));
}

// The peer does only part of our work: tone table, colour matrix and sharpening on a frame.
void BM_OpenCvToneColourSharpen(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    cv::Mat src(h, w, CV_8UC3), toned, mixed, out;
    cv::randu(src, 0, 255);
    cv::Mat lut(1, 256, CV_8UC3);
    for (int i = 0; i < 256; ++i) lut.at<cv::Vec3b>(0, i) = cv::Vec3b(i, 255 - i, i / 2);
    const cv::Matx33f m(1.1f, -0.05f, -0.05f, -0.05f, 1.1f, -0.05f, -0.05f, -0.05f, 1.1f);
    const cv::Matx33f k(0, -0.5f, 0, -0.5f, 3.f, -0.5f, 0, -0.5f, 0);
    for (auto _ : state) {
        cv::LUT(src, lut, toned);
        cv::transform(toned, mixed, m);
        cv::filter2D(mixed, out, -1, k);
        benchmark::DoNotOptimize(out.data);
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h * 3);
}

}  // namespace

BENCHMARK(BM_SimSensorNative)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimSensorBinned)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimSensorRawPlusIsp)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFrame)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCvToneColourSharpen)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
