#pragma once
// Touching objects split by a marker-controlled watershed on the distance to the background.
//
// Inside a round object the distance to the background has one peak, at its centre; two touching
// objects give two peaks with a saddle at their neck. A peak becomes a marker only when it
// stands out of the saddle that joins it to a higher peak by its dynamic: at least
// max(minDynamic, relativeDynamic * its height). Bumps of a ragged outline and the ridge of an
// elongated object stay below that, so one round object gives one marker. The flooding that
// tests the dynamics also grows the labels from the markers, down to the background, in one pass.

#include <opencv2/core.hpp>

namespace segm {

struct SplitParams {
    double minDynamic = 1.0;       // pixels
    double relativeDynamic = 0.1;  // of the lower peak's height
};

// Labels 1..n (CV_32S, 0 = background) of the objects of an 8-bit mask (nonzero = object), touching
// ones split; numbered in the raster order of their first pixel. Returns n.
int SplitTouching(const cv::Mat& mask, cv::Mat& labels, const SplitParams& params = {});

}  // namespace segm
