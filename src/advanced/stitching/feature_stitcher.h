#pragma once
// StitchByFeatures: the path for fields that are rotated or scaled against each other, where a
// pure translation cannot describe the layout. It runs OpenCV's stitcher in its scans mode
// (affine motion, feature matching, bundle adjustment, seams, multi-band blending) and reports
// where each picture's corner landed in the result.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct FeatureStitchResult {
    bool ok = false;
    std::string error;
    cv::Mat picture;                     // 8-bit BGR
    std::vector<cv::Point2d> positions;  // each picture's corner in the result
};

FeatureStitchResult StitchByFeatures(const std::vector<cv::Mat>& pictures);
