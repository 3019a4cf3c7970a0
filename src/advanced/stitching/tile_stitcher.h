#pragma once
// StitchTiles: joins pictures of overlapping microscope fields into one picture. The fields
// may lie in any arrangement (a grid, a row, a scatter), overlap unevenly and differ in size.
//
// Steps: every pair of pictures is registered (CPairRegistration); the pairs whose overlap
// correlates well enough are placed by one global least-squares solution with outliers dropped
// (PlaceTiles); exposure is evened out and the tiles feathered together (blending.h). When
// translations cannot join all pictures (rotated or scaled fields), the feature-based stitcher
// is tried. Only when that fails too is there no consistent layout.

#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "advanced/stitching/global_placement.h"
#include "advanced/stitching/pair_registration.h"

struct StitchOptions {
    PairRegistrationOptions registration;
    PlacementOptions placement;
    // A pair joins the layout when its overlap correlates at least this well (unrelated fields
    // of the slide reach about 0.25).
    double minConfidence = 0.35;
    // Pairs whose coarse correlation stays below this are not refined.
    double minCoarseConfidence = 0.08;
    // Fit the registration band to the pictures' detail (CPairRegistration::AdaptedTo).
    bool adaptBand = true;
    bool equaliseExposure = true;
    bool featureFallback = true;
};

enum class StitchMethod { None, Translation, Features };

struct StitchResult {
    bool ok = false;
    std::string error;                   // why no layout was found
    cv::Mat picture;                     // 8-bit BGR
    std::vector<cv::Point2d> positions;  // each input's corner in the result
    StitchMethod method = StitchMethod::None;
    int pairsUsed = 0;
    int pairsRejected = 0;
};

// progress, when given, receives 0 .. 100 as the work goes on (on the calling thread).
StitchResult StitchTiles(const std::vector<cv::Mat>& pictures, const StitchOptions& options = {},
                         const std::function<void(int)>& progress = {});

// The translation path alone (no fallback): the placement of the tiles, or an error.
struct TileLayout {
    bool ok = false;
    std::string error;
    std::vector<cv::Point2d> positions;  // tile 0 at the origin
    int pairsUsed = 0;
    int pairsRejected = 0;
};
TileLayout LayoutTiles(const std::vector<cv::Mat>& pictures, const StitchOptions& options = {},
                       const std::function<void(int)>& progress = {});
