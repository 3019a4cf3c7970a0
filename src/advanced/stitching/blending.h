#pragma once
// Composition of placed tiles into one picture.
//
// ExposureGains evens out brightness differences between tiles (lamp flicker, exposure, a
// vignetted corner): one gain per tile and colour channel such that every overlap shows the
// same mean level in both of its tiles, pulled gently towards 1 so the mosaic keeps the
// overall level of its tiles.
//
// BlendTiles feathers the tiles into a canvas: each tile lands on the whole pixel nearest its
// position (so no tile is blurred by resampling) and is weighted by a tent that falls from its
// centre to its edges, so across every overlap the weight passes smoothly from one tile to the
// other and no seam line remains.

#include <opencv2/core.hpp>
#include <vector>

struct PlacedTile {
    const cv::Mat* picture = nullptr;  // 8-bit BGR
    cv::Point2d position;              // corner in canvas pixels (any origin)
};

// Gains (per tile, B, G, R) that equalise the overlaps.
std::vector<cv::Vec3d> ExposureGains(const std::vector<PlacedTile>& tiles);

struct BlendResult {
    cv::Mat picture;  // 8-bit BGR
    // Each tile's corner in the result's pixels, as placed (sub-pixel; drawn at the nearest
    // whole pixel).
    std::vector<cv::Point2d> positions;
};

// Composes the tiles (gains may be empty: no equalisation). Parts of the canvas no tile covers
// are black.
BlendResult BlendTiles(const std::vector<PlacedTile>& tiles, const std::vector<cv::Vec3d>& gains);
