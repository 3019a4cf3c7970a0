#include "advanced/segmentation/foreground.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <numeric>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "advanced/segmentation/row_runs.h"

namespace segm {
namespace {

// The background surface is fitted on a picture reduced to this many pixels on its long side:
// illumination varies slowly, and the fit stays cheap for any picture size.
constexpr int kFitSide = 64;
// Terms of the cubic u^i v^j, i + j <= 3, ordered by j then i.
constexpr int kDegree = 3;
constexpr int kTerms = (kDegree + 1) * (kDegree + 2) / 2;

void TermsAt(double u, double v, double* t) {
    double vp = 1;
    int k = 0;
    for (int j = 0; j <= kDegree; ++j) {
        double up = vp;
        for (int i = 0; i + j <= kDegree; ++i) {
            t[k++] = up;
            up *= u;
        }
        vp *= v;
    }
}

// Picture coordinates mapped to [-1, 1] over the whole picture, at pixel centres.
inline double Normalised(double pos, int size) {
    return (pos + 0.5) / size * 2.0 - 1.0;
}

struct BackgroundFit {
    double coef[3][kTerms] = {};
    double mean[3] = {};
};

// A cubic per channel through the background of a reduced copy of the picture. Objects are
// outliers: each round refits on the pixels whose colour lies near the last surface.
BackgroundFit FitBackground(const cv::Mat& bgr) {
    const double scale =
        std::min(1.0, static_cast<double>(kFitSide) / std::max(bgr.cols, bgr.rows));
    cv::Mat small;
    if (scale < 1.0) {
        // Each reduced pixel is the mean of the 3 x 3 pixels at its centre: enough to quiet the
        // noise, and it reads a small fraction of a large picture.
        small.create(std::max(1, static_cast<int>(std::lround(bgr.rows * scale))),
                     std::max(1, static_cast<int>(std::lround(bgr.cols * scale))), CV_8UC3);
        for (int y = 0; y < small.rows; ++y) {
            const int cy =
                std::clamp(static_cast<int>((y + 0.5) * bgr.rows / small.rows), 1, bgr.rows - 2);
            for (int x = 0; x < small.cols; ++x) {
                const int cx = std::clamp(static_cast<int>((x + 0.5) * bgr.cols / small.cols), 1,
                                          bgr.cols - 2);
                int sum[3] = {0, 0, 0};
                for (int dy = -1; dy <= 1; ++dy) {
                    const uint8_t* r = bgr.ptr<uint8_t>(cy + dy) + 3 * (cx - 1);
                    for (int i = 0; i < 9; ++i) sum[i % 3] += r[i];
                }
                cv::Vec3b& out = small.at<cv::Vec3b>(y, x);
                for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + 4) / 9);
            }
        }
    } else {
        small = bgr;
    }
    const int n = small.rows * small.cols;
    std::vector<double> terms(static_cast<size_t>(n) * kTerms), values(static_cast<size_t>(n) * 3);
    for (int y = 0, k = 0; y < small.rows; ++y) {
        const uint8_t* row = small.ptr<uint8_t>(y);
        const double v = Normalised(y, small.rows);
        for (int x = 0; x < small.cols; ++x, ++k) {
            TermsAt(Normalised(x, small.cols), v, &terms[static_cast<size_t>(k) * kTerms]);
            for (int c = 0; c < 3; ++c) values[static_cast<size_t>(k) * 3 + c] = row[3 * x + c];
        }
    }

    BackgroundFit fit;
    std::vector<uint8_t> inlier(static_cast<size_t>(n), 1);
    std::vector<double> residual(static_cast<size_t>(n));
    bool fitted = false;
    for (int round = 0; round < 8; ++round) {
        cv::Matx<double, kTerms, kTerms> ata = cv::Matx<double, kTerms, kTerms>::zeros();
        cv::Matx<double, kTerms, 3> aty = cv::Matx<double, kTerms, 3>::zeros();
        int used = 0;
        for (int k = 0; k < n; ++k) {
            if (!inlier[k]) continue;
            ++used;
            const double* t = &terms[static_cast<size_t>(k) * kTerms];
            const double* val = &values[static_cast<size_t>(k) * 3];
            for (int a = 0; a < kTerms; ++a) {
                for (int b = a; b < kTerms; ++b) ata(a, b) += t[a] * t[b];
                for (int c = 0; c < 3; ++c) aty(a, c) += t[a] * val[c];
            }
        }
        if (used < 4 * kTerms) break;  // too little background left: keep the last surface
        for (int a = 0; a < kTerms; ++a)
            for (int b = 0; b < a; ++b) ata(a, b) = ata(b, a);
        cv::Matx<double, kTerms, 3> coef;
        cv::solve(ata, aty, coef, cv::DECOMP_SVD);
        for (int c = 0; c < 3; ++c)
            for (int a = 0; a < kTerms; ++a) fit.coef[c][a] = coef(a, c);
        fitted = true;

        std::vector<double> inlierResiduals;
        inlierResiduals.reserve(static_cast<size_t>(used));
        for (int k = 0; k < n; ++k) {
            const double* t = &terms[static_cast<size_t>(k) * kTerms];
            double sq = 0;
            for (int c = 0; c < 3; ++c) {
                double b = 0;
                for (int a = 0; a < kTerms; ++a) b += fit.coef[c][a] * t[a];
                const double d = values[static_cast<size_t>(k) * 3 + c] - b;
                sq += d * d;
            }
            residual[k] = std::sqrt(sq);
            if (inlier[k]) inlierResiduals.push_back(residual[k]);
        }
        auto mid =
            inlierResiduals.begin() + static_cast<std::ptrdiff_t>(inlierResiduals.size() / 2);
        std::nth_element(inlierResiduals.begin(), mid, inlierResiduals.end());
        // Three times the typical background residual, and a level or two for noise-free pictures.
        const double limit = 3.0 * *mid + 2.0;
        int changed = 0;
        for (int k = 0; k < n; ++k) {
            const uint8_t in = residual[k] <= limit ? 1 : 0;
            changed += in != inlier[k];
            inlier[k] = in;
        }
        // Settled once hardly a pixel changes sides.
        if (changed * 500 <= n) break;
    }
    if (!fitted) {
        const cv::Scalar m = cv::mean(small);
        for (int c = 0; c < 3; ++c) fit.coef[c][0] = m[c];
    }
    // The mean background level over the picture, what a flat illumination would give.
    for (int k = 0; k < n; ++k)
        for (int c = 0; c < 3; ++c) {
            double b = 0;
            for (int a = 0; a < kTerms; ++a)
                b += fit.coef[c][a] * terms[static_cast<size_t>(k) * kTerms + a];
            fit.mean[c] += b;
        }
    for (int c = 0; c < 3; ++c) fit.mean[c] = std::max(1.0, fit.mean[c] / n);
    return fit;
}

// Coefficients of the cubic in u along row v: p[0] + p[1] u + p[2] u^2 + p[3] u^3.
void RowPolynomial(const BackgroundFit& fit, int channel, double v, float p[kDegree + 1]) {
    double acc[kDegree + 1] = {};
    double vp = 1;
    int k = 0;
    for (int j = 0; j <= kDegree; ++j) {
        for (int i = 0; i + j <= kDegree; ++i) acc[i] += fit.coef[channel][k++] * vp;
        vp *= v;
    }
    for (int i = 0; i <= kDegree; ++i) p[i] = static_cast<float>(acc[i]);
}

// One row of deviations from three picture rows (above, at, below), the gains and mean levels
// interleaved like the pixels; column holds 3 w + 6 values, squares 3 w. Each step runs along
// contiguous values, so the compiler vectorises it; the wider unit pays on the large pictures.
__attribute__((target_clones("avx2", "default"))) void DeviationRow(
    const uint8_t* r0, const uint8_t* r1, const uint8_t* r2, int w, const float* gain,
    const float* mean, uint16_t* column, float* squares, uint8_t* dst) {
    const int n = 3 * w;
    uint16_t* col = column + 3;
    for (int i = 0; i < n; ++i) col[i] = static_cast<uint16_t>(r0[i] + r1[i] + r2[i]);
    for (int c = 0; c < 3; ++c) {
        col[c - 3] = col[c];
        col[n + c] = col[n - 3 + c];
    }
    for (int i = 0; i < n; ++i) {
        const float d = static_cast<float>(col[i - 3] + col[i] + col[i + 3]) * gain[i] - mean[i];
        squares[i] = d * d;
    }
    for (int x = 0; x < w; ++x)
        dst[x] = static_cast<uint8_t>(std::min(
            std::sqrt(squares[3 * x] + squares[3 * x + 1] + squares[3 * x + 2]) + 0.5f, 255.0f));
}

// The deviation of every pixel from the background surface, of the colours averaged over the
// pixel's 3 x 3 neighbourhood (edge rows and columns repeated): neighbours agree about an
// object, single noisy pixels do not, and smoothing the colours rather than the deviation keeps
// the noise from adding to every deviation's size. One pass, rows in parallel.
class DeviationRows : public cv::ParallelLoopBody {
public:
    DeviationRows(const cv::Mat& bgr, const BackgroundFit& fit, cv::Mat& out)
        : m_bgr(bgr), m_fit(fit), m_out(out) {}

    void operator()(const cv::Range& rows) const override {
        const int w = m_bgr.cols, h = m_bgr.rows, n = 3 * w;
        std::vector<float> gain(static_cast<size_t>(n)), u(static_cast<size_t>(w));
        std::vector<uint16_t> column(static_cast<size_t>(n) + 6);
        std::vector<float> squares(static_cast<size_t>(n)), meanRow(static_cast<size_t>(n));
        for (int x = 0; x < w; ++x) u[x] = static_cast<float>(Normalised(x, w));
        float mean[3], floorLevel[3];
        for (int c = 0; c < 3; ++c) {
            mean[c] = static_cast<float>(m_fit.mean[c]);
            // A surface that dips towards zero (a dark corner) must not blow its noise up.
            floorLevel[c] = std::max(1.0f, 0.05f * mean[c]);
        }
        for (int i = 0; i < n; ++i) meanRow[i] = mean[i % 3];
        std::array<int64_t, 256> hist{};
        for (int y = rows.start; y < rows.end; ++y) {
            // Gains interleaved like the pixels, the 1/9 of the average folded in. The lamp
            // changes too slowly for eight rows to tell: one set of gains serves them.
            const int band = (y - rows.start) % kGainRows;
            const double v = Normalised(std::min(y + kGainRows / 2, h - 1), h);
            for (int c = 0; c < 3 && band == 0; ++c) {
                float p[kDegree + 1];
                RowPolynomial(m_fit, c, v, p);
                const float m = mean[c] / 9.0f, fl = floorLevel[c];
                for (int x = 0; x < w; ++x) {
                    const float b = p[0] + u[x] * (p[1] + u[x] * (p[2] + u[x] * p[3]));
                    gain[3 * x + c] = m / std::max(b, fl);
                }
            }
            uint8_t* dst = m_out.ptr<uint8_t>(y);
            DeviationRow(m_bgr.ptr<uint8_t>(std::max(y - 1, 0)), m_bgr.ptr<uint8_t>(y),
                         m_bgr.ptr<uint8_t>(std::min(y + 1, h - 1)), w, gain.data(),
                         meanRow.data(), column.data(), squares.data(), dst);
            for (int x = 0; x < w; ++x) ++hist[dst[x]];
        }
        std::lock_guard<std::mutex> lock(m_histMutex);
        for (int i = 0; i < 256; ++i) m_hist[i] += hist[i];
    }

    // The histogram of the deviations, once every row is done.
    const std::array<int64_t, 256>& Histogram() const { return m_hist; }

private:
    static constexpr int kGainRows = 8;
    const cv::Mat& m_bgr;
    const BackgroundFit& m_fit;
    cv::Mat& m_out;
    mutable std::mutex m_histMutex;
    mutable std::array<int64_t, 256> m_hist{};
};

struct NoiseLevels {
    int background = 0;  // the histogram's mode: the background's own deviation
    int threshold = 0;   // a deviation the background's noise does not reach
};

NoiseLevels NoiseOf(const std::array<int64_t, 256>& hist) {
    std::array<double, 256> smooth{};
    for (int i = 0; i < 256; ++i) {
        double s = 0;
        int k = 0;
        for (int j = std::max(0, i - 1); j <= std::min(255, i + 1); ++j, ++k)
            s += static_cast<double>(hist[j]);
        smooth[i] = s / k;
    }
    const int mode =
        static_cast<int>(std::max_element(smooth.begin(), smooth.end()) - smooth.begin());
    int halfWidth = 1;
    while (mode + halfWidth < 255 && smooth[mode + halfWidth] > smooth[mode] / 2) ++halfWidth;
    NoiseLevels n;
    n.background = mode;
    // About four standard deviations of the noise above its mode (half width = 1.18 sigma).
    n.threshold = std::min(254, mode + std::max(4, static_cast<int>(std::ceil(3.5 * halfWidth))));
    return n;
}

// Candidates above the noise, each cut at half its own contrast above the background. An
// object's level is read inside it, four pixels in from its edge (where a blurred edge no longer
// lowers it), at the 20th percentile: a textured object is as faint as its faint parts, and a
// dark nucleus or a bright spot does not lift the level. A candidate too small to have an
// inside takes the 70th percentile of all its pixels.
void CutAtHalfContrast(const cv::Mat& dev, const NoiseLevels& noise, cv::Mat& labels, int* count,
                       cv::Mat& mask, cv::Mat& coverage) {
    cv::Mat candidates = dev > noise.threshold;
    const int n = cv::connectedComponents(candidates, labels, 8, CV_32S);
    *count = n;
    cv::Mat inside;
    cv::erode(candidates, inside, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(9, 9)));
    // The deviations of each candidate side by side, its inside first, to take percentiles.
    std::vector<int64_t> area(static_cast<size_t>(n), 0), insideCount(static_cast<size_t>(n), 0);
    for (int y = 0; y < dev.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        const uint8_t* in = inside.ptr<uint8_t>(y);
        ForEachSet(candidates.ptr<uint8_t>(y), dev.cols, [&](int x) {
            ++area[l[x]];
            insideCount[l[x]] += in[x] != 0;
        });
    }
    std::vector<int64_t> start(static_cast<size_t>(n) + 1, 0);
    for (int i = 1; i < n; ++i) start[i + 1] = start[i] + area[i];
    std::vector<uint8_t> values(static_cast<size_t>(start[n]));
    std::vector<int64_t> nextInside(start.begin(), start.end() - 1),
        nextEdge(static_cast<size_t>(n));
    for (int i = 1; i < n; ++i) nextEdge[i] = start[i] + insideCount[i];
    for (int y = 0; y < dev.rows; ++y) {
        const uint8_t* d = dev.ptr<uint8_t>(y);
        const int* l = labels.ptr<int>(y);
        const uint8_t* in = inside.ptr<uint8_t>(y);
        ForEachSet(candidates.ptr<uint8_t>(y), dev.cols, [&](int x) {
            values[in[x] ? nextInside[l[x]]++ : nextEdge[l[x]]++] = d[x];
        });
    }
    // Noise adds to a deviation's size as the root of the sum of squares: an object's own
    // contrast is what remains of its level after the background's.
    const float bg2 = static_cast<float>(noise.background) * noise.background;
    // A few pixels above the noise are the noise's own peaks, smoothed to a blob: no object.
    constexpr int64_t kFewestPixels = 6;
    std::vector<uint8_t> cut(static_cast<size_t>(n), 255);
    std::vector<float> perContrast(static_cast<size_t>(n), 0.f);
    for (int i = 1; i < n; ++i) {
        constexpr int64_t kInsideEnough = 12;
        const bool hasInside = insideCount[i] >= kInsideEnough;
        auto first = values.begin() + start[i];
        auto last = hasInside ? first + insideCount[i] : values.begin() + start[i + 1];
        auto at = first + (last - first) * (hasInside ? 2 : 7) / 10;
        std::nth_element(first, at, last);
        const float level = *at;
        const float contrast = std::sqrt(std::max(1.f, level * level - bg2));
        const double half = std::sqrt(0.25 * contrast * contrast + bg2);
        cut[i] = static_cast<uint8_t>(
            std::clamp(std::lround(half), static_cast<long>(noise.threshold), 255L));
        perContrast[i] = 255.f / contrast;
        if (area[i] < kFewestPixels) perContrast[i] = 0.f;
    }
    float own[256];
    for (int d = 0; d < 256; ++d) own[d] = std::sqrt(std::max(0.f, float(d) * d - bg2));
    mask = cv::Mat::zeros(dev.size(), CV_8U);
    coverage = cv::Mat::zeros(dev.size(), CV_8U);
    for (int y = 0; y < dev.rows; ++y) {
        const uint8_t* d = dev.ptr<uint8_t>(y);
        const int* l = labels.ptr<int>(y);
        uint8_t* m = mask.ptr<uint8_t>(y);
        uint8_t* c = coverage.ptr<uint8_t>(y);
        ForEachSet(candidates.ptr<uint8_t>(y), dev.cols, [&](int x) {
            const int id = l[x];
            if (perContrast[id] == 0.f) return;
            m[x] = d[x] >= cut[id] ? 255 : 0;
            c[x] = static_cast<uint8_t>(std::min(255.f, own[d[x]] * perContrast[id] + 0.5f));
        });
    }
}

// Area-weighted median over the candidates of the largest inscribed radius: how wide a typical
// object is, whatever the number of small specks.
double TypicalRadius(const cv::Mat& mask, const cv::Mat& labels, int count) {
    if (count <= 1) return 0;
    // Only the size of typical objects matters here, not their outlines: large pictures are
    // judged at a reduced scale (a quarter for 1000 lines and more).
    const int step = std::clamp(std::min(mask.cols, mask.rows) / 250, 1, 4);
    cv::Mat reduced;
    if (step > 1)
        cv::resize(mask, reduced, cv::Size(mask.cols / step, mask.rows / step), 0, 0,
                   cv::INTER_NEAREST);
    else
        reduced = mask;
    cv::Mat dist;
    cv::distanceTransform(reduced, dist, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    std::vector<float> peak(static_cast<size_t>(count), 0.f);
    std::vector<int64_t> area(static_cast<size_t>(count), 0);
    for (int y = 0; y < dist.rows; ++y) {
        const float* d = dist.ptr<float>(y);
        const int* l = labels.ptr<int>(y * step);
        for (int x = 0; x < dist.cols; ++x) {
            if (d[x] <= 0.f) continue;
            const int id = l[x * step];
            peak[id] = std::max(peak[id], d[x] * step);
            ++area[id];
        }
    }
    std::vector<int> order;
    int64_t total = 0;
    for (int i = 1; i < count; ++i)
        if (area[i] > 0) {
            order.push_back(i);
            total += area[i];
        }
    if (order.empty()) return 0;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return peak[a] < peak[b]; });
    int64_t acc = 0;
    for (int i : order) {
        acc += area[i];
        if (2 * acc >= total) return peak[i];
    }
    return peak[order.back()];
}

}  // namespace

namespace {

cv::Mat Deviation(const cv::Mat& bgr, std::array<int64_t, 256>* histogram) {
    CV_Assert(bgr.type() == CV_8UC3);
    const BackgroundFit fit = FitBackground(bgr);
    cv::Mat dev(bgr.size(), CV_8U);
    DeviationRows rows(bgr, fit, dev);
    cv::parallel_for_(cv::Range(0, bgr.rows), rows, std::max(1.0, bgr.total() / 262144.0));
    if (histogram) *histogram = rows.Histogram();
    return dev;
}

}  // namespace

cv::Mat BackgroundDeviation(const cv::Mat& bgr) {
    return Deviation(bgr, nullptr);
}

Foreground FindForeground(const cv::Mat& bgr) {
    std::array<int64_t, 256> histogram;
    const cv::Mat dev = Deviation(bgr, &histogram);
    const NoiseLevels noise = NoiseOf(histogram);
    Foreground f;
    cv::Mat labels;
    int count = 0;
    CutAtHalfContrast(dev, noise, labels, &count, f.mask, f.coverage);
    const double radius = TypicalRadius(f.mask, labels, count);
    // Thin structures (fibres, scratches) and specks go; objects keep their shape, as long as
    // their outline bends no tighter than the opening's radius.
    const int opening = static_cast<int>(std::lround(0.15 * radius));
    if (opening > 0) {
        const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                                       cv::Size(2 * opening + 1, 2 * opening + 1));
        cv::morphologyEx(f.mask, f.mask, cv::MORPH_OPEN, disc);
    }
    f.info.noiseThreshold = noise.threshold;
    f.info.backgroundLevel = noise.background;
    f.info.typicalRadius = radius;
    f.info.openingRadius = opening;
    return f;
}

void FillHoles(cv::Mat& mask) {
    CV_Assert(mask.type() == CV_8U);
    cv::Mat padded;
    cv::copyMakeBorder(mask, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    // Background reached from outside the picture is the slide; what stays unreached is a hole.
    // Objects are 8-connected, so the background flood is 4-connected: it never slips through
    // a diagonal step of an object's outline.
    cv::floodFill(padded, cv::Point(0, 0), cv::Scalar(128), nullptr, cv::Scalar(0), cv::Scalar(0),
                  4);
    const cv::Mat inner = padded(cv::Rect(1, 1, mask.cols, mask.rows));
    mask.setTo(255, inner == 0);
}

}  // namespace segm
