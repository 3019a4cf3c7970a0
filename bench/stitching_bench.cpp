// Stitching 4 and 9 fields of 1280 x 1024 of the simulated specimen (20 % overlap, uneven by a
// few pixels): ours (registration, global placement, exposure gains, feathering) beside
// OpenCV's stitcher in its scans mode on the same pictures, and beside a plain copy of their
// bytes. Counters: the largest placement error against the truth (pixels) and whether every
// picture was joined (OpenCV's stitcher may succeed with some left out).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>
#include <opencv2/stitching.hpp>
#include <random>

#include "advanced/stitching/feature_stitcher.h"
#include "advanced/stitching/tile_stitcher.h"
#include "advanced/sim_fields.h"

namespace {

struct Fields {
    std::vector<cv::Mat> pictures;
    std::vector<cv::Point2d> truth;  // corners relative to field 0
};

const Fields& Grid(int side) {
    static std::map<int, Fields> cache;
    auto it = cache.find(side);
    if (it != cache.end()) return it->second;
    SimFields fields(1280, 1024);
    const SpecimenRect t = CVirtualSpecimen::TissueRegion();
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> jitter(-8, 8);
    Fields f;
    cv::Point2d first;
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            const cv::Point2d corner(t.left + 4000 + c * 1024 + jitter(rng),
                                     t.top + 6000 + r * 819 + jitter(rng));
            if (f.pictures.empty()) first = corner;
            f.pictures.push_back(fields.FieldAt(corner.x, corner.y));
            f.truth.push_back(corner - first);
        }
    return cache.emplace(side, std::move(f)).first->second;
}

double MaxError(const std::vector<cv::Point2d>& found, const std::vector<cv::Point2d>& truth) {
    if (found.size() != truth.size()) return -1;
    double worst = 0;
    for (size_t i = 0; i < truth.size(); ++i) {
        const cv::Point2d d = found[i] - found[0] - truth[i];
        worst = std::max(worst, std::hypot(d.x, d.y));
    }
    return worst;
}

void BM_StitchTiles(benchmark::State& state) {
    const Fields& f = Grid(static_cast<int>(state.range(0)));
    StitchResult r;
    for (auto _ : state) {
        r = StitchTiles(f.pictures);
        benchmark::DoNotOptimize(r.picture.data);
    }
    state.counters["ok"] = r.ok;
    state.counters["max_error_px"] = r.ok ? MaxError(r.positions, f.truth) : -1;
}

void BM_OpenCvStitcherScans(benchmark::State& state) {
    const Fields& f = Grid(static_cast<int>(state.range(0)));
    bool joined = false;
    for (auto _ : state) {
        cv::Ptr<cv::Stitcher> stitcher = cv::Stitcher::create(cv::Stitcher::SCANS);
        cv::Mat pano;
        const cv::Stitcher::Status status = stitcher->stitch(f.pictures, pano);
        // It may report success with some pictures left out of the panorama.
        joined = status == cv::Stitcher::OK && stitcher->component().size() == f.pictures.size();
        benchmark::DoNotOptimize(pano.data);
    }
    state.counters["ok"] = joined;
    // Its placement, once, outside the timing (the same stitcher, corners read back).
    const FeatureStitchResult placed = StitchByFeatures(f.pictures);
    if (!placed.ok) state.SetLabel("placement: " + placed.error);
    state.counters["max_error_px"] = placed.ok ? MaxError(placed.positions, f.truth) : -1;
}

void BM_CopyOfTheFields(benchmark::State& state) {
    const Fields& f = Grid(static_cast<int>(state.range(0)));
    std::vector<cv::Mat> copies(f.pictures.size());
    for (auto& c : copies) c.create(1024, 1280, CV_8UC3);
    for (auto _ : state) {
        for (size_t i = 0; i < copies.size(); ++i)
            std::memcpy(copies[i].data, f.pictures[i].data, f.pictures[i].total() * 3);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_StitchTiles)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->ArgName("side");
BENCHMARK(BM_OpenCvStitcherScans)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->ArgName("side");
BENCHMARK(BM_CopyOfTheFields)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->ArgName("side");
