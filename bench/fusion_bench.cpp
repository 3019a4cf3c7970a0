// Exposure fusion of 3 exposures of 1280 x 1024 of the simulated specimen: ours (weights,
// pyramids, the 8-bit mapping) beside OpenCV's MergeMertens with its usual 8-bit conversion,
// and beside a plain copy of the three pictures.

#include <benchmark/benchmark.h>

#include <cstring>
#include <opencv2/photo.hpp>

#include "advanced/fusion/exposure_fusion.h"
#include "advanced/sim_fields.h"

namespace {

const std::vector<cv::Mat>& Exposures() {
    static const std::vector<cv::Mat> series = [] {
        SimFields fields(1280, 1024);
        const SpecimenRect t = CVirtualSpecimen::TissueRegion();
        std::vector<cv::Mat> out;
        for (double us : {2500.0, 10000.0, 40000.0}) {
            fields.Change([us](SimSensorSettings& s) { s.exposureUs = us; });
            out.push_back(fields.FieldAt((t.left + t.right) / 2 - 640, (t.top + t.bottom) / 2 - 512));
        }
        return out;
    }();
    return series;
}

void BM_FuseExposures(benchmark::State& state) {
    const std::vector<cv::Mat>& series = Exposures();
    for (auto _ : state) {
        ExposureFusionResult r = FuseExposures(series);
        benchmark::DoNotOptimize(r.picture.data);
    }
}

void BM_OpenCvMergeMertens(benchmark::State& state) {
    cv::Ptr<cv::MergeMertens> merge = cv::createMergeMertens();
    const std::vector<cv::Mat>& series = Exposures();
    for (auto _ : state) {
        cv::Mat fused, out;
        merge->process(series, fused);
        fused.convertTo(out, CV_8UC3, 255);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_CopyOfTheExposures(benchmark::State& state) {
    std::vector<cv::Mat> copies(3);
    for (auto& c : copies) c.create(1024, 1280, CV_8UC3);
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i)
            std::memcpy(copies[i].data, Exposures()[i].data, 1280 * 1024 * 3);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_FuseExposures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCvMergeMertens)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOfTheExposures)->Unit(benchmark::kMillisecond);
