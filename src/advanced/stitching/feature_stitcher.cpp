#include "advanced/stitching/feature_stitcher.h"

#include <algorithm>
#include <climits>
#include <opencv2/stitching.hpp>
#include <opencv2/stitching/detail/warpers.hpp>

namespace {

const char* StatusText(cv::Stitcher::Status s) {
    switch (s) {
        case cv::Stitcher::ERR_NEED_MORE_IMGS:
            return "too few pictures share features";
        case cv::Stitcher::ERR_HOMOGRAPHY_EST_FAIL:
            return "the feature matches give no consistent layout";
        case cv::Stitcher::ERR_CAMERA_PARAMS_ADJUST_FAIL:
            return "the layout could not be refined";
        default:
            return "feature stitching failed";
    }
}

}  // namespace

FeatureStitchResult StitchByFeatures(const std::vector<cv::Mat>& pictures) {
    FeatureStitchResult out;
    if (pictures.size() < 2) {
        out.error = "at least two pictures are needed";
        return out;
    }
    cv::Ptr<cv::Stitcher> stitcher = cv::Stitcher::create(cv::Stitcher::SCANS);
    cv::Mat pano;
    cv::Stitcher::Status status = cv::Stitcher::ERR_NEED_MORE_IMGS;
    try {
        status = stitcher->stitch(pictures, pano);
    } catch (const cv::Exception& e) {
        out.error = e.what();
        return out;
    }
    if (status != cv::Stitcher::OK) {
        out.error = StatusText(status);
        return out;
    }
    // Every picture must be part of the result; a left-out picture is a failed layout here.
    const std::vector<int> used = stitcher->component();
    if (used.size() != pictures.size()) {
        out.error = "not every picture could be joined by its features";
        return out;
    }
    // The corners as the composition step computes them: cameras scaled from the working to
    // the full resolution, warped with the median focal length.
    std::vector<cv::detail::CameraParams> cameras = stitcher->cameras();
    const double aspect = 1.0 / stitcher->workScale();
    std::vector<double> focals;
    for (auto& c : cameras) {
        focals.push_back(c.focal);
        c.focal *= aspect;
        c.ppx *= aspect;
        c.ppy *= aspect;
    }
    std::sort(focals.begin(), focals.end());
    const double median = focals.size() % 2
                              ? focals[focals.size() / 2]
                              : 0.5 * (focals[focals.size() / 2 - 1] + focals[focals.size() / 2]);
    cv::Ptr<cv::detail::RotationWarper> warper =
        cv::AffineWarper().create(static_cast<float>(median * aspect));
    std::vector<cv::Point> corners(pictures.size());
    cv::Point tl(INT_MAX, INT_MAX);
    for (size_t k = 0; k < used.size(); ++k) {
        cv::Mat K;
        cameras[k].K().convertTo(K, CV_32F);
        cv::Mat R;
        cameras[k].R.convertTo(R, CV_32F);
        const cv::Rect roi = warper->warpRoi(pictures[used[k]].size(), K, R);
        corners[used[k]] = roi.tl();
        tl.x = std::min(tl.x, roi.x);
        tl.y = std::min(tl.y, roi.y);
    }
    out.positions.resize(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i)
        out.positions[i] = cv::Point2d(corners[i].x - tl.x, corners[i].y - tl.y);
    if (pano.type() != CV_8UC3) pano.convertTo(pano, CV_8UC3);
    out.picture = pano;
    out.ok = true;
    return out;
}
