#include "advanced/stitching/tile_stitcher.h"

#include <algorithm>
#include <mutex>
#include <opencv2/core/utility.hpp>

#include "advanced/stitching/blending.h"
#include "advanced/stitching/feature_stitcher.h"

namespace {

void Report(const std::function<void(int)>& progress, int percent) {
    if (progress) progress(percent);
}

}  // namespace

TileLayout LayoutTiles(const std::vector<cv::Mat>& pictures, const StitchOptions& options,
                       const std::function<void(int)>& progress) {
    TileLayout out;
    const int n = static_cast<int>(pictures.size());
    if (n < 2) {
        out.error = "at least two pictures are needed";
        return out;
    }
    cv::Size largest(0, 0);
    for (const cv::Mat& p : pictures) {
        if (p.empty() || p.type() != CV_8UC3) {
            out.error = "every picture must be an 8-bit colour picture";
            return out;
        }
        largest.width = std::max(largest.width, p.cols);
        largest.height = std::max(largest.height, p.rows);
    }
    const CPairRegistration reg(options.adaptBand
                                    ? CPairRegistration::AdaptedTo(pictures, options.registration)
                                    : options.registration);
    std::vector<CPairRegistration::Prepared> prepared(n);
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i) prepared[i] = reg.Prepare(pictures[i], largest);
    });
    Report(progress, 20);

    // Every pair: the arrangement is not known, so each pair is asked whether it overlaps.
    std::vector<std::pair<int, int>> candidates;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) candidates.emplace_back(i, j);
    std::vector<PairShift> shifts(candidates.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(candidates.size())), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            const auto [i, j] = candidates[k];
            const PairShift coarse = reg.Coarse(prepared[i], prepared[j]);
            if (!coarse.found || coarse.confidence < options.minCoarseConfidence) continue;
            const PairShift fine = reg.Refine(prepared[i], prepared[j], coarse.shift);
            shifts[k] = fine.found ? fine : PairShift{};
        }
    });
    Report(progress, 70);

    // A pair's say in the solution grows with the pixels behind it and with how well they
    // agree (the information of a correlation r over N pixels goes as N r^2 / (1 - r^2)).
    double meanArea = 0;
    for (const cv::Mat& p : pictures) meanArea += static_cast<double>(p.total()) / n;
    std::vector<TilePair> pairs;
    for (size_t k = 0; k < candidates.size(); ++k) {
        const PairShift& s = shifts[k];
        if (!s.found || s.confidence < options.minConfidence) continue;
        const double r2 = s.confidence * s.confidence;
        const double weight = s.overlapPixels / meanArea * r2 / (1 - r2 + 0.05);
        pairs.push_back({candidates[k].first, candidates[k].second, s.shift, weight});
    }
    const Placement placement = PlaceTiles(n, pairs, options.placement);
    out.pairsUsed = static_cast<int>(placement.used.size());
    out.pairsRejected = static_cast<int>(placement.rejected.size());
    if (!placement.Connected()) {
        out.error = "the pictures do not all overlap one another (" +
                    std::to_string(placement.groups) + " separate groups)";
        return out;
    }
    out.positions = placement.positions;
    out.ok = true;
    return out;
}

StitchResult StitchTiles(const std::vector<cv::Mat>& pictures, const StitchOptions& options,
                         const std::function<void(int)>& progress) {
    StitchResult out;
    const TileLayout layout =
        LayoutTiles(pictures, options, [&](int p) { Report(progress, p * 8 / 10); });
    out.pairsUsed = layout.pairsUsed;
    out.pairsRejected = layout.pairsRejected;
    if (layout.ok) {
        std::vector<PlacedTile> tiles(pictures.size());
        for (size_t i = 0; i < pictures.size(); ++i) tiles[i] = {&pictures[i], layout.positions[i]};
        const std::vector<cv::Vec3d> gains =
            options.equaliseExposure ? ExposureGains(tiles) : std::vector<cv::Vec3d>{};
        BlendResult blended = BlendTiles(tiles, gains);
        out.picture = std::move(blended.picture);
        out.positions = std::move(blended.positions);
        out.method = StitchMethod::Translation;
        out.ok = true;
        Report(progress, 100);
        return out;
    }
    out.error = layout.error;
    if (!options.featureFallback || pictures.size() < 2) return out;
    FeatureStitchResult features = StitchByFeatures(pictures);
    Report(progress, 100);
    if (!features.ok) {
        out.error += "; by features: " + features.error;
        return out;
    }
    out.error.clear();
    out.picture = std::move(features.picture);
    out.positions = std::move(features.positions);
    out.method = StitchMethod::Features;
    out.ok = true;
    return out;
}
