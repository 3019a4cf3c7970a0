#include "advanced/stitching/blending.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

std::vector<cv::Vec3d> ExposureGains(const std::vector<PlacedTile>& tiles) {
    const int n = static_cast<int>(tiles.size());
    std::vector<cv::Vec3d> gains(n, cv::Vec3d(1, 1, 1));
    if (n < 2) return gains;
    // Noise and gain spreads of the weighting (grey levels, relative gain).
    constexpr double kSigmaN = 10.0, kSigmaG = 1.0;
    constexpr int kStep = 4;  // overlap means from every 4th pixel of every 4th row
    std::vector<cv::Point> at(n);
    for (int i = 0; i < n; ++i)
        at[i] = cv::Point(static_cast<int>(std::lround(tiles[i].position.x)),
                          static_cast<int>(std::lround(tiles[i].position.y)));
    cv::Mat A[3], b[3];
    for (int c = 0; c < 3; ++c) {
        A[c] = cv::Mat::zeros(n, n, CV_64F);
        b[c] = cv::Mat::zeros(n, 1, CV_64F);
    }
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const cv::Mat& pi = *tiles[i].picture;
            const cv::Mat& pj = *tiles[j].picture;
            const cv::Rect ri(at[i], pi.size()), rj(at[j], pj.size());
            const cv::Rect o = ri & rj;
            if (o.width < 8 || o.height < 8) continue;
            cv::Vec3d si(0, 0, 0), sj(0, 0, 0);
            double count = 0;
            for (int y = o.y; y < o.y + o.height; y += kStep) {
                const uint8_t* a = pi.ptr<uint8_t>(y - at[i].y);
                const uint8_t* q = pj.ptr<uint8_t>(y - at[j].y);
                for (int x = o.x; x < o.x + o.width; x += kStep) {
                    const int xa = 3 * (x - at[i].x), xq = 3 * (x - at[j].x);
                    for (int c = 0; c < 3; ++c) si[c] += a[xa + c], sj[c] += q[xq + c];
                    ++count;
                }
            }
            if (count == 0) continue;
            const double N = static_cast<double>(o.area());
            for (int c = 0; c < 3; ++c) {
                const double Ii = si[c] / count, Ij = sj[c] / count;
                A[c].at<double>(i, i) +=
                    N * (Ii * Ii / (kSigmaN * kSigmaN) + 1 / (kSigmaG * kSigmaG));
                A[c].at<double>(j, j) +=
                    N * (Ij * Ij / (kSigmaN * kSigmaN) + 1 / (kSigmaG * kSigmaG));
                A[c].at<double>(i, j) -= N * Ii * Ij / (kSigmaN * kSigmaN);
                A[c].at<double>(j, i) -= N * Ii * Ij / (kSigmaN * kSigmaN);
                b[c].at<double>(i) += N / (kSigmaG * kSigmaG);
                b[c].at<double>(j) += N / (kSigmaG * kSigmaG);
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        // A tile without overlaps keeps gain 1.
        for (int i = 0; i < n; ++i)
            if (A[c].at<double>(i, i) == 0) A[c].at<double>(i, i) = b[c].at<double>(i) = 1;
        cv::Mat g;
        if (!cv::solve(A[c], b[c], g, cv::DECOMP_CHOLESKY)) continue;
        for (int i = 0; i < n; ++i) {
            const double v = g.at<double>(i);
            if (std::isfinite(v) && v > 0.2 && v < 5) gains[i][c] = v;
        }
    }
    return gains;
}

BlendResult BlendTiles(const std::vector<PlacedTile>& tiles, const std::vector<cv::Vec3d>& gains) {
    BlendResult out;
    if (tiles.empty()) return out;
    // Tiles land on whole pixels: where one tile alone shows the slide its pixels are kept as
    // they were, unblurred by resampling; rounding moves a tile by at most half a pixel.
    std::vector<cv::Point> at(tiles.size());
    cv::Point origin(INT_MAX, INT_MAX);
    for (size_t k = 0; k < tiles.size(); ++k) {
        at[k] = cv::Point(static_cast<int>(std::lround(tiles[k].position.x)),
                          static_cast<int>(std::lround(tiles[k].position.y)));
        origin.x = std::min(origin.x, at[k].x);
        origin.y = std::min(origin.y, at[k].y);
    }
    int width = 0, height = 0;
    out.positions.resize(tiles.size());
    for (size_t k = 0; k < tiles.size(); ++k) {
        at[k] -= origin;
        out.positions[k] = tiles[k].position - cv::Point2d(origin);
        width = std::max(width, at[k].x + tiles[k].picture->cols);
        height = std::max(height, at[k].y + tiles[k].picture->rows);
    }
    // Weights: a tent per axis, highest at the tile's centre, 1 at its edge pixels.
    std::vector<std::vector<float>> wx(tiles.size()), wy(tiles.size());
    std::vector<cv::Vec3f> gain(tiles.size(), cv::Vec3f(1, 1, 1));
    for (size_t k = 0; k < tiles.size(); ++k) {
        const int w = tiles[k].picture->cols, h = tiles[k].picture->rows;
        wx[k].resize(w);
        wy[k].resize(h);
        for (int x = 0; x < w; ++x) wx[k][x] = static_cast<float>(std::min(x, w - 1 - x) + 1);
        for (int y = 0; y < h; ++y) wy[k][y] = static_cast<float>(std::min(y, h - 1 - y) + 1);
        if (k < gains.size())
            gain[k] = cv::Vec3f(static_cast<float>(gains[k][0]), static_cast<float>(gains[k][1]),
                                static_cast<float>(gains[k][2]));
    }
    out.picture = cv::Mat::zeros(height, width, CV_8UC3);

    // Row by row over the canvas: a row of sums and weights is all the memory the blend needs.
    std::vector<float> acc(3 * static_cast<size_t>(width)), wsum(width);
    std::vector<int> covering;
    for (int Y = 0; Y < height; ++Y) {
        covering.clear();
        for (size_t k = 0; k < tiles.size(); ++k)
            if (Y >= at[k].y && Y < at[k].y + tiles[k].picture->rows)
                covering.push_back(static_cast<int>(k));
        uint8_t* o = out.picture.ptr<uint8_t>(Y);
        if (covering.size() == 1 && gain[covering[0]] == cv::Vec3f(1, 1, 1)) {
            const int k = covering[0];
            std::memcpy(o + 3 * at[k].x, tiles[k].picture->ptr<uint8_t>(Y - at[k].y),
                        3 * tiles[k].picture->cols);
            continue;
        }
        std::fill(acc.begin(), acc.end(), 0.f);
        std::fill(wsum.begin(), wsum.end(), 0.f);
        for (int k : covering) {
            const uint8_t* src = tiles[k].picture->ptr<uint8_t>(Y - at[k].y);
            const float w0 = wy[k][Y - at[k].y];
            const float* wk = wx[k].data();
            const cv::Vec3f g = gain[k] * w0;
            float* a = acc.data() + 3 * static_cast<size_t>(at[k].x);
            float* ws = wsum.data() + at[k].x;
            const int n = tiles[k].picture->cols;
            for (int i = 0; i < n; ++i) {
                const float w = wk[i];
                a[3 * i] += w * g[0] * src[3 * i];
                a[3 * i + 1] += w * g[1] * src[3 * i + 1];
                a[3 * i + 2] += w * g[2] * src[3 * i + 2];
                ws[i] += w * w0;
            }
        }
        for (int X = 0; X < width; ++X) {
            if (wsum[X] <= 0) continue;
            const float inv = 1.f / wsum[X];
            for (int ch = 0; ch < 3; ++ch)
                o[3 * X + ch] =
                    static_cast<uint8_t>(std::clamp(acc[3 * X + ch] * inv + 0.5f, 0.f, 255.f));
        }
    }
    return out;
}
