// Exposure fusion and the HDR calls, on exposure series of the simulated specimen.

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "advanced/fusion/exposure_fusion.h"
#include "advanced/imagepro_hdr.h"
#include "imagepro_reports.h"
#include "sim_fields.h"

namespace {

// One field at several exposures (microseconds): short ones keep the bright glass, long ones
// open up the dark nuclei.
std::vector<cv::Mat> ExposureSeries(std::initializer_list<double> exposures) {
    SimFields sim(640, 512);
    std::vector<cv::Mat> out;
    for (double us : exposures) {
        sim.Change([&](SimSensorSettings& s) { s.exposureUs = us; });
        out.push_back(sim.FieldAt(SimFields::Tissue().x, SimFields::Tissue().y));
    }
    return out;
}

cv::Mat Grey(const cv::Mat& bgr) {
    cv::Mat g;
    cv::cvtColor(bgr, g, cv::COLOR_BGR2GRAY);
    return g;
}

// Detail: mean absolute Laplacian of grey within a mask, relative to the mean level there (so
// a darker and a brighter rendering of the same detail score alike).
double Detail(const cv::Mat& bgr, const cv::Mat& mask) {
    cv::Mat g, lap;
    Grey(bgr).convertTo(g, CV_32F);
    cv::GaussianBlur(g, g, cv::Size(), 1.0);
    cv::Laplacian(g, lap, CV_32F);
    return cv::mean(cv::abs(lap), mask)[0] / std::max(1.0, cv::mean(g, mask)[0]);
}

TEST(ExposureFusion, KeepsDetailInTheDarkestAndTheBrightestRegions) {
    const std::vector<cv::Mat> series = ExposureSeries({2500, 10000, 40000});
    const ExposureFusionResult r = FuseExposures(series);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.picture.size(), series[0].size());

    // Brightest: where the long exposure burns out. Darkest: where the short one is near black.
    cv::Mat bright = Grey(series[2]) >= 250, dark = Grey(series[0]) <= 20;
    cv::erode(bright, bright, cv::Mat(), cv::Point(-1, -1), 2);
    cv::dilate(dark, dark, cv::Mat(), cv::Point(-1, -1), 2);
    ASSERT_GT(cv::countNonZero(bright), 5000);
    ASSERT_GT(cv::countNonZero(dark), 2000);
    const double brightBest = Detail(series[0], bright), darkBest = Detail(series[2], dark);
    EXPECT_GT(Detail(r.picture, bright), 0.6 * brightBest);
    EXPECT_GT(Detail(r.picture, dark), 0.6 * darkBest);
    // Each single exposure loses one end: the long one its highlights, the short one its shadows.
    EXPECT_LT(Detail(series[2], bright), 0.2 * brightBest);

    // Nothing clipped, no levels skipped between the darkest and brightest used.
    cv::Mat flat = r.picture.reshape(1);
    EXPECT_LT(cv::countNonZero(flat == 255) + cv::countNonZero(flat == 0),
              static_cast<int>(flat.total() / 10000));
    cv::Mat hist;
    const int channels[] = {0};
    const int bins[] = {256};
    float range[] = {0, 256};
    const float* ranges[] = {range};
    const cv::Mat grey = Grey(r.picture);
    cv::calcHist(&grey, 1, channels, cv::Mat(), hist, 1, bins, ranges);
    double lo = 0, hi = 0;
    cv::minMaxLoc(grey, &lo, &hi);
    int gaps = 0;
    for (int v = static_cast<int>(lo); v <= static_cast<int>(hi); ++v)
        gaps += hist.at<float>(v) == 0;
    EXPECT_EQ(gaps, 0);
}

TEST(ExposureFusion, EightBitMappingIsMonotoneLinearInsideAndNeverClips) {
    // A ramp that overshoots both ends, as a pyramid blend does next to strong edges.
    cv::Mat f(1, 1201, CV_32FC3);
    for (int i = 0; i <= 1200; ++i) f.at<cv::Vec3f>(0, i) = cv::Vec3f::all(-0.1f + i * 0.001f);
    const cv::Mat out = FusedTo8Bit(f);
    int prev = -1;
    for (int i = 0; i <= 1200; ++i) {
        const int v = out.at<cv::Vec3b>(0, i)[0];
        EXPECT_GE(v, prev);
        prev = v;
    }
    EXPECT_GT(out.at<cv::Vec3b>(0, 0)[0], 0);       // -0.1 is not clipped to black
    EXPECT_LT(out.at<cv::Vec3b>(0, 1200)[0], 255);  // 1.1 is not clipped to white
    EXPECT_EQ(out.at<cv::Vec3b>(0, 600)[0], 128);   // 0.5 stays mid-grey
    // Within range nothing bends: plain 255 * v.
    cv::Mat inside(1, 2, CV_32FC3, cv::Scalar::all(0.25));
    inside.at<cv::Vec3f>(0, 1) = cv::Vec3f::all(0.75f);
    const cv::Mat plain = FusedTo8Bit(inside);
    EXPECT_EQ(plain.at<cv::Vec3b>(0, 0)[0], 64);
    EXPECT_EQ(plain.at<cv::Vec3b>(0, 1)[0], 191);
}

TEST(ExposureFusion, RefusesPicturesOfDifferentSizes) {
    const std::vector<cv::Mat> series = {cv::Mat(100, 120, CV_8UC3, cv::Scalar::all(80)),
                                         cv::Mat(100, 121, CV_8UC3, cv::Scalar::all(160))};
    const ExposureFusionResult r = FuseExposures(series);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("size"), std::string::npos);
}

TEST(ImageproHdr, FileSeriesCallsBackWithTheFusedPictureOrAFailure) {
    const std::vector<cv::Mat> series = ExposureSeries({2500, 20000});
    Reports reports;
    const int h = imagepro_hdr_new(1, &Reports::Callback, &reports, IMAGEPRO_HDR_FILES);
    ASSERT_NE(h, 0);
    const auto a = PictureIn(series[0]), b = PictureIn(series[1]);
    // Pictures before start are refused.
    EXPECT_EQ(imagepro_hdr_readdata(h, a.data(), 640, 512, 24, 0), IMAGEPRO_ERR_STATE);
    ASSERT_EQ(imagepro_hdr_start(h), IMAGEPRO_OK);
    ASSERT_EQ(imagepro_hdr_readdata(h, a.data(), 640, 512, 24, 0), IMAGEPRO_OK);
    ASSERT_EQ(imagepro_hdr_readdata(h, b.data(), 640, 512, 24, 1), IMAGEPRO_OK);
    ASSERT_TRUE(reports.WaitFor(1));
    EXPECT_EQ(imagepro_hdr_stop(h), IMAGEPRO_OK);
    EXPECT_EQ(reports.results, 1);
    EXPECT_EQ(reports.width, 640);
    EXPECT_EQ(reports.height, 512);
    // The result is the library's fusion, bottom row first.
    const cv::Mat fused = FuseExposures(series).picture;
    EXPECT_EQ(0, std::memcmp(reports.last.data(), fused.ptr(511), 640 * 3));

    // A new run with a single exposure fails through the callback.
    ASSERT_EQ(imagepro_hdr_start(h), IMAGEPRO_OK);
    ASSERT_EQ(imagepro_hdr_readdata(h, a.data(), 640, 512, 24, 1), IMAGEPRO_OK);
    ASSERT_TRUE(reports.WaitFor(2));
    EXPECT_EQ(reports.failures, 1);
    EXPECT_EQ(imagepro_hdr_delete(h), IMAGEPRO_OK);
    EXPECT_EQ(imagepro_hdr_start(h), IMAGEPRO_ERR_HANDLE);
    EXPECT_EQ(imagepro_hdr_new(2, &Reports::Callback, &reports, 1), 0);
    EXPECT_EQ(imagepro_hdr_new(1, &Reports::Callback, &reports, 5), 0);
}

TEST(ImageproHdr, LiveSeriesFusesAgainWithEveryNewFrame) {
    const std::vector<cv::Mat> series = ExposureSeries({2500, 10000, 40000});
    Reports reports;
    const int h = imagepro_hdr_new(1, &Reports::Callback, &reports, IMAGEPRO_HDR_LIVE);
    ASSERT_NE(h, 0);
    ASSERT_EQ(imagepro_hdr_start(h), IMAGEPRO_OK);
    for (const cv::Mat& frame : series) {
        const auto bytes = PictureIn(frame);
        ASSERT_EQ(imagepro_hdr_readdata(h, bytes.data(), 640, 512, 24, 0), IMAGEPRO_OK);
        ASSERT_TRUE(reports.WaitFor(reports.Count() + 1));
    }
    EXPECT_EQ(imagepro_hdr_stop(h), IMAGEPRO_OK);
    EXPECT_GE(reports.results, 3);
    EXPECT_EQ(reports.failures, 0);
    // The last result fuses all three frames.
    const cv::Mat fused = FuseExposures(series).picture;
    EXPECT_EQ(0, std::memcmp(reports.last.data(), fused.ptr(511), 640 * 3));
    EXPECT_EQ(imagepro_hdr_delete(h), IMAGEPRO_OK);
}

}  // namespace
