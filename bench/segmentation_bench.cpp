// Object counting: the counting document's library calls (picture in, find, split, measure,
// draw, picture out, object records) beside an OpenCV pipeline that does the same work
// (grey, Otsu threshold, opening, distance transform, markers at its peaks, watershed,
// contours with area, perimeter and centre) and beside a plain copy of the picture's bytes.
// The pictures are snaps of the simulated specimen.

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "advanced/imagepro_segm.h"
#include "camera/sim/sim_sensor.h"

namespace {

// A snap of the specimen, top-down B, G, R, and the same in the picture-in layout.
struct Snap {
    cv::Mat bgr;
    std::vector<unsigned char> in;
};

const Snap& SnapOf(int w, int h) {
    static std::map<std::pair<int, int>, Snap> cache;
    auto it = cache.find({w, h});
    if (it != cache.end()) return it->second;
    CSimSensor sensor(std::make_shared<CVirtualSpecimen>(0x5EC0u));
    SimSensorSettings s;
    s.sensorWidth = s.width = w;
    s.sensorHeight = s.height = h;
    sensor.SetSettings(s);
    sensor.Stage().SetPosition(36000, 34000, 0);
    FCObjImage frame;
    sensor.Render(0, &frame, 24);
    Snap snap;
    snap.bgr.create(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) std::memcpy(snap.bgr.ptr(y), frame.GetRow(y), w * 3);
    snap.in.assign(frame.GetMemStart(), frame.GetMemStart() + frame.PixelBytes());
    return cache.emplace(std::make_pair(w, h), std::move(snap)).first->second;
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({1280, 1024})->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_Count_Ours(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const Snap& snap = SnapOf(w, h);
    const int handle = imagepro_segm_new();
    std::vector<imagepro_contour> records;
    int64_t objects = 0;
    for (auto _ : state) {
        imagepro_segm_readdata(handle, snap.in.data(), w, h);
        imagepro_segm_findcontour(handle);
        benchmark::DoNotOptimize(imagepro_segm_getdata(handle));
        records.resize(static_cast<size_t>(imagepro_segm_get_contournum(handle)));
        objects =
            imagepro_segm_get_contourdata(handle, records.data(), static_cast<int>(records.size()));
        benchmark::DoNotOptimize(records.data());
    }
    imagepro_segm_delete(handle);
    state.counters["objects"] = static_cast<double>(objects);
}
BENCHMARK(BM_Count_Ours)->Apply(Sizes);

struct Measure {
    double x, y, area, perimeter;
};

void BM_Count_OpenCv(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const Snap& snap = SnapOf(w, h);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    std::vector<Measure> measures;
    for (auto _ : state) {
        cv::Mat grey, mask, dist, dilated, peaks, markers, sureBackground;
        cv::cvtColor(snap.bgr, grey, cv::COLOR_BGR2GRAY);
        cv::threshold(grey, mask, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
        cv::morphologyEx(mask, mask, cv::MORPH_OPEN, kernel, cv::Point(-1, -1), 2);
        cv::distanceTransform(mask, dist, cv::DIST_L2, cv::DIST_MASK_5);
        // Markers: the distance's local peaks at least 3 px deep.
        cv::dilate(dist, dilated, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(9, 9)));
        peaks = (dist >= dilated) & (dist > 3);
        const int n = cv::connectedComponents(peaks, markers, 8, CV_32S);
        markers += 1;  // the background is marker 1, what is left to flood 0
        cv::dilate(mask, sureBackground, kernel, cv::Point(-1, -1), 2);
        markers.setTo(0, sureBackground & (peaks == 0));
        cv::watershed(snap.bgr, markers);
        // Contours of every region and their measures.
        measures.clear();
        benchmark::DoNotOptimize(n);
        cv::Mat objects = markers > 1;
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(objects, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
        for (const auto& c : contours) {
            const cv::Moments m = cv::moments(c);
            if (m.m00 <= 0) continue;
            measures.push_back({m.m10 / m.m00, m.m01 / m.m00, m.m00, cv::arcLength(c, true)});
        }
        benchmark::DoNotOptimize(measures.data());
    }
    state.counters["objects"] = static_cast<double>(measures.size());
}
BENCHMARK(BM_Count_OpenCv)->Apply(Sizes);

void BM_Count_Copy(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const Snap& snap = SnapOf(w, h);
    std::vector<unsigned char> out(snap.in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), snap.in.data(), snap.in.size());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Count_Copy)->Apply(Sizes);

}  // namespace
