#pragma once
// Exposure fusion: one picture from several exposures of the same field, taking from each
// exposure what it shows well. Each pixel of each exposure is weighted by its local contrast
// (Laplacian), its colour saturation and how well exposed it is (near mid-grey); the exposures
// are blended with those weights band by band (Laplacian pyramids), so the blend follows the
// weights at fine scales without halos at coarse ones.
//
// The blend is a float picture that can overshoot 0 .. 1 a little near strong edges; it is
// brought to 8 bits by a monotone mapping that is linear over the range the pixels use and
// bends softly into the ends where they overshoot, so nothing is clipped and no levels are
// skipped (no banding).

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct ExposureFusionOptions {
    double contrastWeight = 1.0;
    double saturationWeight = 1.0;
    double exposednessWeight = 1.0;
    double exposednessSigma = 0.2;  // of the well-exposedness Gaussian about 0.5
};

struct ExposureFusionResult {
    bool ok = false;
    std::string error;
    cv::Mat picture;  // 8-bit BGR
};

// pictures: 8-bit BGR, all of one size, at least one.
ExposureFusionResult FuseExposures(const std::vector<cv::Mat>& pictures,
                                   const ExposureFusionOptions& options = {});

// The fused picture before the 8-bit mapping (CV_32FC3, nominally 0 .. 1); empty when the
// pictures do not fit together.
cv::Mat FuseExposuresFloat(const std::vector<cv::Mat>& pictures,
                           const ExposureFusionOptions& options = {});

// The 8-bit mapping of a fused float picture.
cv::Mat FusedTo8Bit(const cv::Mat& fused);
