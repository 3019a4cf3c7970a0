#include "advanced/fusion/exposure_fusion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

// Weight of one exposure per pixel: contrast^wc * saturation^ws * exposedness^we.
cv::Mat Weights(const cv::Mat& bgr8, const cv::Mat& bgr, const ExposureFusionOptions& o) {
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Mat contrast;
    cv::Laplacian(grey, contrast, CV_32F);
    // Well-exposedness depends on the 8-bit value alone: a table instead of three exp per pixel.
    std::array<float, 256> exposed{};
    for (int v = 0; v < 256; ++v) {
        const double d = v / 255.0 - 0.5;
        exposed[v] =
            static_cast<float>(std::exp(-d * d / (2 * o.exposednessSigma * o.exposednessSigma)));
    }
    const bool plainPowers =
        o.contrastWeight == 1 && o.saturationWeight == 1 && o.exposednessWeight == 1;
    cv::Mat w(bgr.size(), CV_32F);
    for (int y = 0; y < bgr.rows; ++y) {
        const float* p = bgr.ptr<float>(y);
        const uint8_t* q = bgr8.ptr<uint8_t>(y);
        const float* c = contrast.ptr<float>(y);
        float* out = w.ptr<float>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const float b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
            const float mean = (b + g + r) / 3.f;
            const float sat = std::sqrt(
                ((b - mean) * (b - mean) + (g - mean) * (g - mean) + (r - mean) * (r - mean)) /
                3.f);
            const float exp = exposed[q[3 * x]] * exposed[q[3 * x + 1]] * exposed[q[3 * x + 2]];
            const float con = std::fabs(c[x]);
            out[x] = plainPowers ? con * sat * exp
                                 : static_cast<float>(std::pow(con, o.contrastWeight) *
                                                      std::pow(sat, o.saturationWeight) *
                                                      std::pow(exp, o.exposednessWeight));
            out[x] += 1e-12f;
        }
    }
    return w;
}

// (level - up) * weight in one pass, the weight shared by the three channels; without up, the
// pyramid's top level itself.
cv::Mat WeightedBand(const cv::Mat& level, const cv::Mat& up, const cv::Mat& weight) {
    cv::Mat band(level.size(), CV_32FC3);
    for (int y = 0; y < level.rows; ++y) {
        const float* g = level.ptr<float>(y);
        const float* u = up.empty() ? nullptr : up.ptr<float>(y);
        const float* w = weight.ptr<float>(y);
        float* out = band.ptr<float>(y);
        for (int x = 0; x < level.cols; ++x)
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = (g[3 * x + c] - (u ? u[3 * x + c] : 0.f)) * w[x];
    }
    return band;
}

float SoftEnd(float v, float knee, float end) {
    // Linear up to knee, then bending towards end without reaching it (slope 1 at the knee).
    const float room = end - knee;
    return knee + room * std::tanh((v - knee) / room);
}

}  // namespace

cv::Mat FuseExposuresFloat(const std::vector<cv::Mat>& pictures,
                           const ExposureFusionOptions& options) {
    if (pictures.empty()) return {};
    const cv::Size size = pictures[0].size();
    for (const cv::Mat& p : pictures)
        if (p.size() != size || p.type() != CV_8UC3) return {};
    const int n = static_cast<int>(pictures.size());
    std::vector<cv::Mat> images(n), weights(n);
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            pictures[k].convertTo(images[k], CV_32FC3, 1.0 / 255);
            weights[k] = Weights(pictures[k], images[k], options);
        }
    });
    cv::Mat sum = weights[0].clone();
    for (int k = 1; k < n; ++k) sum += weights[k];
    for (int k = 0; k < n; ++k) cv::divide(weights[k], sum, weights[k]);

    // Each exposure's weighted Laplacian pyramid, built side by side, then summed band by band.
    const int levels = std::max(1, static_cast<int>(std::log2(std::min(size.width, size.height))));
    std::vector<std::vector<cv::Mat>> bands(n);
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            std::vector<cv::Mat> gauss, wpyr;
            cv::buildPyramid(images[k], gauss, levels);
            cv::buildPyramid(weights[k], wpyr, levels);
            images[k].release();
            weights[k].release();
            bands[k].resize(levels + 1);
            for (int l = 0; l <= levels; ++l) {
                cv::Mat up;
                if (l < levels) cv::pyrUp(gauss[l + 1], up, gauss[l].size());
                bands[k][l] = WeightedBand(gauss[l], up, wpyr[l]);
            }
        }
    });
    std::vector<cv::Mat> result(levels + 1);
    for (int l = 0; l <= levels; ++l) {
        result[l] = bands[0][l];
        for (int k = 1; k < n; ++k) result[l] += bands[k][l];
    }
    cv::Mat fused = result[levels];
    for (int l = levels - 1; l >= 0; --l) {
        cv::Mat up;
        cv::pyrUp(fused, up, result[l].size());
        fused = up + result[l];
    }
    return fused;
}

cv::Mat FusedTo8Bit(const cv::Mat& fused) {
    if (fused.empty() || fused.type() != CV_32FC3) return {};
    double lo = 0, hi = 0;
    cv::minMaxLoc(fused.reshape(1), &lo, &hi);
    // Ends only bend where the blend overshoots; otherwise the mapping is plain 0..1 to 0..255.
    const float lowKnee = lo < 0 ? 0.1f : -1.f, highKnee = hi > 1 ? 0.9f : 2.f;
    cv::Mat out(fused.size(), CV_8UC3);
    for (int y = 0; y < fused.rows; ++y) {
        const float* p = fused.ptr<float>(y);
        uint8_t* o = out.ptr<uint8_t>(y);
        for (int x = 0; x < 3 * fused.cols; ++x) {
            float v = p[x];
            if (v > highKnee)
                v = SoftEnd(v, highKnee, 1.f);
            else if (v < lowKnee)
                v = -SoftEnd(-v, -lowKnee, 0.f);
            o[x] = static_cast<uint8_t>(std::clamp(v * 255.f + 0.5f, 0.f, 255.f));
        }
    }
    return out;
}

ExposureFusionResult FuseExposures(const std::vector<cv::Mat>& pictures,
                                   const ExposureFusionOptions& options) {
    ExposureFusionResult r;
    if (pictures.empty()) {
        r.error = "no pictures to fuse";
        return r;
    }
    for (const cv::Mat& p : pictures) {
        if (p.type() != CV_8UC3) {
            r.error = "every picture must be an 8-bit colour picture";
            return r;
        }
        if (p.size() != pictures[0].size()) {
            r.error = "the pictures differ in size (" + std::to_string(p.cols) + " x " +
                      std::to_string(p.rows) + " against " + std::to_string(pictures[0].cols) +
                      " x " + std::to_string(pictures[0].rows) +
                      "): an exposure series shows one field";
            return r;
        }
    }
    r.picture = FusedTo8Bit(FuseExposuresFloat(pictures, options));
    r.ok = !r.picture.empty();
    if (!r.ok) r.error = "the exposures could not be fused";
    return r;
}
