#include "advanced/stitching/pair_registration.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <vector>

namespace {

cv::Mat ToGrey(const cv::Mat& picture) {
    cv::Mat grey;
    switch (picture.channels()) {
        case 1:
            return picture;
        case 3:
            cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
            return grey;
        case 4:
            cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
            return grey;
        default:
            return {};
    }
}

// grey minus its low-pass: what is left are the structures registration can lock onto, free of
// uneven illumination and exposure differences; a slight blur first takes out most sensor
// noise. The low-pass is taken on a reduced copy, which is much cheaper than a wide Gaussian at
// full size and as good for this purpose. grey is 8-bit; the band is float.
cv::Mat BandPass(const cv::Mat& grey, double sigma, double noiseSigma) {
    // Fresh full-size buffers cost more in page faults than the filtering itself: the
    // intermediate ones are kept per thread.
    thread_local cv::Mat small, low, fine;
    const int k = std::max(1, static_cast<int>(sigma / 3));
    cv::resize(grey, small, cv::Size(std::max(1, grey.cols / k), std::max(1, grey.rows / k)), 0, 0,
               cv::INTER_AREA);
    small.convertTo(small, CV_32F);
    cv::GaussianBlur(small, small, cv::Size(), sigma / k);
    cv::resize(small, low, grey.size(), 0, 0, cv::INTER_LINEAR);
    cv::GaussianBlur(grey, fine, cv::Size(), noiseSigma);
    cv::Mat band(grey.size(), CV_32F);
    for (int y = 0; y < grey.rows; ++y) {
        const uint8_t* f = fine.ptr<uint8_t>(y);
        const float* l = low.ptr<float>(y);
        float* b = band.ptr<float>(y);
        for (int x = 0; x < grey.cols; ++x) b[x] = f[x] - l[x];
    }
    return band;
}

// A few high-contrast specks (debris, a dark nucleus) would otherwise dominate correlations,
// and two unrelated fields would match wherever their specks line up: values are limited softly
// (v / (1 + |v| * inverse)) at a few times the typical contrast, so every structure counts alike.
// The inverse of that limit, from a sparse sample of the band.
float LimitInverse(const cv::Mat& band) {
    std::vector<float> values;
    const int step = std::max(1, static_cast<int>(std::sqrt(band.total() / 20000.0)));
    for (int y = 0; y < band.rows; y += step) {
        const float* r = band.ptr<float>(y);
        for (int x = 0; x < band.cols; x += step) values.push_back(std::fabs(r[x]));
    }
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return 1.f / std::max(1e-3f, 2.f * values[values.size() / 2]);
}

void SoftLimit(cv::Mat& band, float inverse) {
    for (int y = 0; y < band.rows; ++y) {
        float* r = band.ptr<float>(y);
        for (int x = 0; x < band.cols; ++x) r[x] = r[x] / (1.f + std::fabs(r[x]) * inverse);
    }
}

// A raised-cosine taper at the edges: it keeps the cyclic edge of the transform from dominating
// the correlation, yet leaves almost all of a narrow overlap strip at full weight.
void TaperEdges(cv::Mat& m, int width) {
    width = std::min({width, m.cols / 2, m.rows / 2});
    if (width < 1) return;
    std::vector<float> ramp(width);
    for (int i = 0; i < width; ++i)
        ramp[i] = static_cast<float>(0.5 - 0.5 * std::cos(M_PI * (i + 0.5) / width));
    for (int y = 0; y < m.rows; ++y) {
        float* row = m.ptr<float>(y);
        const float wy = y < width ? ramp[y] : (y >= m.rows - width ? ramp[m.rows - 1 - y] : 1.f);
        for (int x = 0; x < m.cols; ++x) {
            float w = wy;
            if (x < width)
                w *= ramp[x];
            else if (x >= m.cols - width)
                w *= ramp[m.cols - 1 - x];
            row[x] *= w;
        }
    }
}

struct Overlap {
    cv::Rect inA, inB;
};

Overlap OverlapAt(cv::Size a, cv::Size b, int dx, int dy) {
    const int x0 = std::max(0, dx), x1 = std::min(a.width, dx + b.width);
    const int y0 = std::max(0, dy), y1 = std::min(a.height, dy + b.height);
    if (x1 <= x0 || y1 <= y0) return {};
    const cv::Rect inA(x0, y0, x1 - x0, y1 - y0);
    return {inA, inA - cv::Point(dx, dy)};
}

// Normalised cross-correlation of two windows of the same size, their values soft-limited on
// the way (inverse 0: as they are). One pass, no buffers.
double Ncc(const cv::Mat& a, const cv::Mat& b, float limitA, float limitB) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int y = 0; y < a.rows; ++y) {
        const float* pa = a.ptr<float>(y);
        const float* pb = b.ptr<float>(y);
        float ra = 0, rb = 0, raa = 0, rbb = 0, rab = 0;
        for (int x = 0; x < a.cols; ++x) {
            const float u = pa[x] / (1.f + std::fabs(pa[x]) * limitA);
            const float v = pb[x] / (1.f + std::fabs(pb[x]) * limitB);
            ra += u, rb += v, raa += u * u, rbb += v * v, rab += u * v;
        }
        sa += ra, sb += rb, saa += raa, sbb += rbb, sab += rab;
    }
    const double n = static_cast<double>(a.total());
    const double va = saa / n - (sa / n) * (sa / n), vb = sbb / n - (sb / n) * (sb / n);
    if (va <= 1e-12 || vb <= 1e-12) return 0;
    return (sab / n - (sa / n) * (sb / n)) / std::sqrt(va * vb);
}

// A window of at most maxSide per axis, centred in r.
cv::Rect Centred(cv::Rect r, int maxSide) {
    const int w = std::min(r.width, maxSide), h = std::min(r.height, maxSide);
    return {r.x + (r.width - w) / 2, r.y + (r.height - h) / 2, w, h};
}

// Phase correlation keeps only the phase of each frequency, so frequencies where noise outweighs
// the picture would count as much as those that carry it. Whitening only partly (magnitude to
// the power 1 - whitening remains) lets the pictures' own spectrum weight the frequencies, and a
// Gaussian low-pass (cutoff in cycles per pixel) takes the highest ones out.
void WhitenAndLowPass(cv::Mat& cross, double cutoff, double whitening) {
    const int w = cross.cols, h = cross.rows;
    const float power = static_cast<float>(whitening / 2);  // of the squared magnitude
    std::vector<float> gu(w);
    for (int u = 0; u < w; ++u) {
        const double f = std::min(u, w - u) / static_cast<double>(w);
        gu[u] = static_cast<float>(std::exp(-f * f / (2 * cutoff * cutoff)));
    }
    for (int v = 0; v < h; ++v) {
        const double fv = std::min(v, h - v) / static_cast<double>(h);
        const float gv = static_cast<float>(std::exp(-fv * fv / (2 * cutoff * cutoff)));
        cv::Vec2f* row = cross.ptr<cv::Vec2f>(v);
        for (int u = 0; u < w; ++u) {
            const float g = gu[u] * gv;
            if (g < 1e-4f) {
                row[u] = cv::Vec2f(0, 0);
                continue;
            }
            const float m = row[u][0] * row[u][0] + row[u][1] * row[u][1] + 1e-20f;
            row[u] *= g * (power == 0.5f ? 1.f / std::sqrt(m) : std::pow(m, -power));
        }
    }
}

// The small shift e between two windows of the same content (b's window shows a's content at
// x + e): phase correlation with the spectrum limited to the frequencies that carry signal
// rather than noise, and a parabola through the peak and its neighbours per axis.
std::optional<cv::Point2d> ResidualShift(const cv::Mat& a, const cv::Mat& b, double cutoff,
                                         double whitening) {
    cv::Mat window;
    cv::createHanningWindow(window, a.size(), CV_32F);
    cv::Mat wa = a.mul(window), wb = b.mul(window);
    const cv::Size ps(cv::getOptimalDFTSize(a.cols), cv::getOptimalDFTSize(a.rows));
    cv::Mat pa = cv::Mat::zeros(ps, CV_32F), pb = cv::Mat::zeros(ps, CV_32F);
    wa.copyTo(pa(cv::Rect(0, 0, a.cols, a.rows)));
    wb.copyTo(pb(cv::Rect(0, 0, b.cols, b.rows)));
    cv::Mat fa, fb, cross;
    cv::dft(pa, fa, cv::DFT_COMPLEX_OUTPUT);
    cv::dft(pb, fb, cv::DFT_COMPLEX_OUTPUT);
    cv::mulSpectrums(fa, fb, cross, 0, true);
    WhitenAndLowPass(cross, cutoff, whitening);
    cv::Mat pcm;
    cv::idft(cross, pcm, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);
    cv::Point at;
    cv::minMaxLoc(pcm, nullptr, nullptr, nullptr, &at);
    auto val = [&](int x, int y) {
        return static_cast<double>(
            pcm.at<float>((y + ps.height) % ps.height, (x + ps.width) % ps.width));
    };
    auto vertex = [](double m, double c, double p) {
        const double den = m - 2 * c + p;
        return den < 0 ? std::clamp(0.5 * (m - p) / den, -0.5, 0.5) : 0.0;
    };
    int px = at.x > ps.width / 2 ? at.x - ps.width : at.x;
    int py = at.y > ps.height / 2 ? at.y - ps.height : at.y;
    const double c = val(px, py);
    return cv::Point2d(px + vertex(val(px - 1, py), c, val(px + 1, py)),
                       py + vertex(val(px, py - 1), c, val(px, py + 1)));
}

}  // namespace

CPairRegistration::CPairRegistration(PairRegistrationOptions options) : m_options(options) {}

double CPairRegistration::DetailSigma(const cv::Mat& picture) {
    const cv::Mat grey8 = ToGrey(picture);
    if (grey8.empty() || grey8.cols < 32 || grey8.rows < 32) return 0;
    cv::Mat grey;
    grey8.convertTo(grey, CV_32F);
    // The radial power spectrum of a central window: white sensor noise gives it a floor, the
    // picture's detail rises above it up to some frequency.
    const int side = std::min({256, grey.cols, grey.rows}) & ~1;
    cv::Mat win =
        grey(cv::Rect((grey.cols - side) / 2, (grey.rows - side) / 2, side, side)).clone();
    win -= cv::mean(win)[0];
    cv::Mat hann;
    cv::createHanningWindow(hann, win.size(), CV_32F);
    win = win.mul(hann);
    cv::Mat spec;
    cv::dft(win, spec, cv::DFT_COMPLEX_OUTPUT);
    const int bins = side / 2;
    std::vector<double> power(bins, 0), count(bins, 0);
    for (int v = 0; v < side; ++v)
        for (int u = 0; u < side; ++u) {
            const int fu = std::min(u, side - u), fv = std::min(v, side - v);
            const int r = static_cast<int>(std::sqrt(static_cast<double>(fu * fu + fv * fv)));
            if (r >= bins) continue;
            const cv::Vec2f z = spec.at<cv::Vec2f>(v, u);
            power[r] += z[0] * z[0] + z[1] * z[1];
            count[r] += 1;
        }
    for (int r = 0; r < bins; ++r) power[r] /= std::max(1.0, count[r]);
    std::vector<double> top(power.begin() + bins * 4 / 5, power.end());
    std::sort(top.begin(), top.end());
    const double floor = top[top.size() / 2];
    int last = 1;
    for (int r = 2; r < bins; ++r)
        if (power[r] > 4 * floor) last = r;
    const double cutoff = std::max(last, 1) / static_cast<double>(side);  // cycles per pixel
    // A Gaussian of this sigma keeps about half the power at the cutoff.
    return 0.13 / cutoff;
}

PairRegistrationOptions CPairRegistration::AdaptedTo(const std::vector<cv::Mat>& pictures,
                                                     PairRegistrationOptions options) {
    // Pictures without any detail above their noise (clear glass) have no say.
    std::vector<double> sigmas;
    for (const cv::Mat& p : pictures)
        if (const double s = DetailSigma(p); s > 0 && s < 16) sigmas.push_back(s);
    if (sigmas.empty()) return options;
    std::sort(sigmas.begin(), sigmas.end());
    const double s = std::min(8.0, sigmas[(sigmas.size() - 1) / 2]);
    options.noiseSigma = std::max(options.noiseSigma, s);
    options.highPassSigma = std::max(options.highPassSigma, 5 * options.noiseSigma);
    return options;
}

double CPairRegistration::FactorFor(cv::Size largest) const {
    const int side = std::max(largest.width, largest.height);
    return std::max(1, (side + m_options.reducedSide - 1) / std::max(1, m_options.reducedSide));
}

CPairRegistration::Prepared CPairRegistration::Prepare(const cv::Mat& picture,
                                                       cv::Size largest) const {
    Prepared p;
    if (picture.empty() || picture.depth() != CV_8U) return p;
    const cv::Mat grey = ToGrey(picture);
    if (grey.empty()) return p;
    p.size = picture.size();
    p.band = BandPass(grey, m_options.highPassSigma, m_options.noiseSigma);
    p.limitInverse = LimitInverse(p.band);
    p.factor = FactorFor(
        cv::Size(std::max(largest.width, p.size.width), std::max(largest.height, p.size.height)));
    const int f = static_cast<int>(p.factor);
    if (f > 1)
        cv::resize(p.band, p.reducedBand,
                   cv::Size(std::max(1, (p.size.width + f / 2) / f),
                            std::max(1, (p.size.height + f / 2) / f)),
                   0, 0, cv::INTER_AREA);
    else
        p.reducedBand = p.band.clone();
    SoftLimit(p.reducedBand, LimitInverse(p.reducedBand));
    p.paddedSize =
        cv::Size(cv::getOptimalDFTSize((std::max(largest.width, p.size.width) + f - 1) / f),
                 cv::getOptimalDFTSize((std::max(largest.height, p.size.height) + f - 1) / f));
    cv::Mat padded = cv::Mat::zeros(p.paddedSize, CV_32F);
    cv::Mat windowed = p.reducedBand.clone();
    TaperEdges(windowed, 4);
    windowed.copyTo(padded(cv::Rect(0, 0, windowed.cols, windowed.rows)));
    cv::dft(padded, p.spectrum, cv::DFT_COMPLEX_OUTPUT);
    return p;
}

double CPairRegistration::DetailCutoff() const {
    return 0.2 / std::max(0.5, m_options.noiseSigma);
}

bool CPairRegistration::Admissible(cv::Point2d fullShift) const {
    if (!m_options.predicted) return true;
    const cv::Point2d d = fullShift - *m_options.predicted;
    return std::hypot(d.x, d.y) <= m_options.searchRadius;
}

std::optional<double> CPairRegistration::OverlapCorrelation(const cv::Mat& a, float limitA,
                                                            const cv::Mat& b, float limitB, int dx,
                                                            int dy, int minSide, double minFraction,
                                                            double* overlapPixels) const {
    const Overlap o = OverlapAt(a.size(), b.size(), dx, dy);
    if (o.inA.width < minSide || o.inA.height < minSide) return std::nullopt;
    const double area = static_cast<double>(o.inA.area());
    const double smaller = std::min(a.total(), b.total());
    if (area < minFraction * smaller) return std::nullopt;
    if (overlapPixels) *overlapPixels = area;
    return Ncc(a(o.inA), b(o.inB), limitA, limitB);
}

PairShift CPairRegistration::Coarse(const Prepared& a, const Prepared& b) const {
    PairShift best;
    if (!a.IsValid() || !b.IsValid() || a.factor != b.factor) return best;
    cv::Mat specA = a.spectrum, specB = b.spectrum;
    const int f = static_cast<int>(a.factor);
    if (a.paddedSize != b.paddedSize) {
        // Prepared for different jobs: transform both at a common size here.
        const cv::Size ps(std::max(a.paddedSize.width, b.paddedSize.width),
                          std::max(a.paddedSize.height, b.paddedSize.height));
        auto spectrum = [&](const cv::Mat& reduced) {
            cv::Mat padded = cv::Mat::zeros(ps, CV_32F), w = reduced.clone(), s;
            TaperEdges(w, 4);
            w.copyTo(padded(cv::Rect(0, 0, w.cols, w.rows)));
            cv::dft(padded, s, cv::DFT_COMPLEX_OUTPUT);
            return s;
        };
        specA = spectrum(a.reducedBand);
        specB = spectrum(b.reducedBand);
    }
    // Normalised cross-power spectrum; its inverse peaks at the shift of b in a.
    cv::Mat cross;
    cv::mulSpectrums(specA, specB, cross, 0, true);
    WhitenAndLowPass(cross, std::min(m_options.spectrumCutoff, f * DetailCutoff()), 1.0);
    cv::Mat pcm;
    cv::idft(cross, pcm, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);

    const int pw = pcm.cols, ph = pcm.rows;
    const int minSide = std::max(2, (m_options.minOverlapSide + f - 1) / f);
    double bestScore = 0;
    for (int k = 0; k < m_options.peaks; ++k) {
        double peak = 0;
        cv::Point at;
        cv::minMaxLoc(pcm, nullptr, &peak, nullptr, &at);
        if (!std::isfinite(peak)) break;
        // Suppress the neighbourhood (cyclically) before the next peak.
        for (int y = -2; y <= 2; ++y)
            for (int x = -2; x <= 2; ++x)
                pcm.at<float>((at.y + y + ph) % ph, (at.x + x + pw) % pw) = -1e30f;
        // A cyclic peak stands for four shifts.
        for (int dy : {at.y, at.y - ph}) {
            for (int dx : {at.x, at.x - pw}) {
                if (!Admissible(cv::Point2d(dx * a.factor, dy * a.factor))) continue;
                double area = 0;
                const auto ncc = OverlapCorrelation(a.reducedBand, 0, b.reducedBand, 0, dx, dy,
                                                    minSide, m_options.minOverlapFraction, &area);
                if (!ncc) continue;
                // A small overlap correlates well by chance more often than a large one: rank
                // by a lower bound of the correlation for the overlap's independent samples.
                const double score = *ncc - 2.0 / std::sqrt(area / 4.0);
                if (!best.found || score > bestScore) {
                    best.found = true;
                    bestScore = score;
                    best.confidence = *ncc;
                    best.shift = cv::Point2d(dx * a.factor, dy * a.factor);
                }
            }
        }
    }
    return best;
}

PairShift CPairRegistration::Refine(const Prepared& a, const Prepared& b,
                                    cv::Point2d estimate) const {
    PairShift out;
    const int minSide = m_options.minOverlapSide;
    const double minFraction = m_options.minOverlapFraction;
    auto nccAt = [&](int dx, int dy, double* area = nullptr) {
        return OverlapCorrelation(a.band, a.limitInverse, b.band, b.limitInverse, dx, dy, minSide,
                                  minFraction, area);
    };

    // Sub-pixel: phase correlation of the overlap windows, b's window resampled at the current
    // fractional estimate each round, so the residual peak moves towards the centre of a pixel
    // where its sub-pixel fit is unbiased.
    cv::Point2d d = estimate;
    bool converged = false;
    for (int iteration = 0; iteration < 5; ++iteration) {
        const int ix = static_cast<int>(std::floor(d.x)), iy = static_cast<int>(std::floor(d.y));
        const double fx = d.x - ix, fy = d.y - iy;
        Overlap o = OverlapAt(a.size, b.size, ix, iy);
        // A pixel less on each side keeps the resampled window inside b.
        o.inA = cv::Rect(o.inA.x + 1, o.inA.y + 1, o.inA.width - 2, o.inA.height - 2);
        if (o.inA.width < minSide || o.inA.height < minSide) break;
        const cv::Rect wa = Centred(o.inA, 512);
        const cv::Rect wb = wa - cv::Point(ix, iy);
        cv::Mat bw;
        cv::getRectSubPix(b.band, wb.size(),
                          cv::Point2f(static_cast<float>(wb.x + (wb.width - 1) / 2.0 - fx),
                                      static_cast<float>(wb.y + (wb.height - 1) / 2.0 - fy)),
                          bw, CV_32F);
        const std::optional<cv::Point2d> r =
            ResidualShift(a.band(wa), bw, std::min(m_options.spectrumCutoff, DetailCutoff()),
                          m_options.whitening);
        if (!r) break;
        const cv::Point2d next = d + *r;
        if (std::hypot(next.x - estimate.x, next.y - estimate.y) > 2 * a.factor + 3) break;
        d = next;
        if (std::hypot(r->x, r->y) < 0.05 || iteration == 4) {
            converged = true;
            break;
        }
    }

    const int sx = static_cast<int>(std::lround(estimate.x));
    const int sy = static_cast<int>(std::lround(estimate.y));
    double area = 0;
    std::optional<double> ncc;
    if (converged)
        ncc = nccAt(static_cast<int>(std::lround(d.x)), static_cast<int>(std::lround(d.y)), &area);
    const std::optional<double> start = nccAt(sx, sy);
    if (!ncc || (start && *start > *ncc + 0.02)) {
        // Phase correlation gave up or did worse (little texture, much noise): climb the overlap
        // correlation from the estimate, then fit a parabola through the best pixel and its
        // neighbours per axis.
        if (!start) return out;
        int bx = sx, by = sy;
        double bv = *start;
        for (int step = 0; step < 64; ++step) {
            int nx = bx, ny = by;
            double nv = bv;
            for (int y = -1; y <= 1; ++y)
                for (int x = -1; x <= 1; ++x) {
                    if (!x && !y) continue;
                    if (!Admissible(cv::Point2d(bx + x, by + y))) continue;
                    const auto v = nccAt(bx + x, by + y);
                    if (v && *v > nv) nx = bx + x, ny = by + y, nv = *v;
                }
            if (nx == bx && ny == by) break;
            bx = nx, by = ny, bv = nv;
        }
        auto vertex = [](double m, double c, double p) {
            const double den = m - 2 * c + p;
            return den < 0 ? std::clamp(0.5 * (m - p) / den, -0.5, 0.5) : 0.0;
        };
        const auto l = nccAt(bx - 1, by), r = nccAt(bx + 1, by);
        const auto u = nccAt(bx, by - 1), w = nccAt(bx, by + 1);
        d = cv::Point2d(bx + (l && r ? vertex(*l, bv, *r) : 0),
                        by + (u && w ? vertex(*u, bv, *w) : 0));
        ncc = nccAt(bx, by, &area);
        if (!ncc) return out;
    }
    out.found = true;
    out.shift = d;
    out.confidence = *ncc;
    out.overlapPixels = area;
    out.overlapFraction = area / std::min(a.band.total(), b.band.total());
    return out;
}

PairShift CPairRegistration::Register(const Prepared& a, const Prepared& b) const {
    const PairShift coarse = Coarse(a, b);
    if (!coarse.found) return coarse;
    PairShift fine = Refine(a, b, coarse.shift);
    if (!fine.found) return coarse;
    return fine;
}
