#include "advanced/segmentation/watershed.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace segm {
namespace {

// The flooding visits pixels from the highest distance down, in quarter-pixel steps.
constexpr float kStepsPerPixel = 4.f;

struct Basins {
    std::vector<int> parent;
    std::vector<float> peak;
    std::vector<uint8_t> marker;  // stood out of a saddle: never absorbed

    int New(float height) {
        const int id = static_cast<int>(parent.size());
        parent.push_back(id);
        peak.push_back(height);
        marker.push_back(0);
        return id;
    }
    int Find(int c) {
        while (parent[c] != c) {
            parent[c] = parent[parent[c]];
            c = parent[c];
        }
        return c;
    }
};

}  // namespace

int SplitTouching(const cv::Mat& mask, cv::Mat& labels, const SplitParams& params) {
    CV_Assert(mask.type() == CV_8U);
    const int w = mask.cols, h = mask.rows;
    cv::Mat dist;
    cv::distanceTransform(mask, dist, cv::DIST_L2, cv::DIST_MASK_5);
    CV_Assert(dist.isContinuous());
    labels.create(mask.size(), CV_32S);
    labels.setTo(0);
    const float* d = dist.ptr<float>();
    int* lab = labels.ptr<int>();
    const int64_t total = static_cast<int64_t>(w) * h;

    // Bucket order, highest first.
    double maxDist = 0;
    cv::minMaxLoc(dist, nullptr, &maxDist);
    const int levels = static_cast<int>(maxDist * kStepsPerPixel) + 2;
    std::vector<int64_t> first(static_cast<size_t>(levels) + 1, 0);
    for (int64_t p = 0; p < total; ++p)
        if (d[p] > 0.f) ++first[levels - 1 - static_cast<int>(d[p] * kStepsPerPixel)];
    int64_t acc = 0;
    for (int q = 0; q <= levels; ++q) {
        const int64_t c = first[q];
        first[q] = acc;
        acc += c;
    }
    std::vector<int> order(static_cast<size_t>(acc));
    for (int64_t p = 0; p < total; ++p)
        if (d[p] > 0.f)
            order[first[levels - 1 - static_cast<int>(d[p] * kStepsPerPixel)]++] =
                static_cast<int>(p);

    Basins basins;
    const int offsets[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    const int dxs[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
    const int dys[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    for (const int p : order) {
        const int y = p / w, x = p - y * w;
        const bool inner = x > 0 && x < w - 1 && y > 0 && y < h - 1;
        const float v = d[p];
        int roots[8];
        int nRoots = 0;
        int steepest = -1;
        float steepestDist = -1.f;
        for (int k = 0; k < 8; ++k) {
            if (!inner) {
                const int nx = x + dxs[k], ny = y + dys[k];
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            }
            const int q = p + offsets[k];
            if (!lab[q]) continue;
            const int r = basins.Find(lab[q] - 1);
            if (d[q] > steepestDist) {
                steepestDist = d[q];
                steepest = r;
            }
            bool seen = false;
            for (int i = 0; i < nRoots && !seen; ++i) seen = roots[i] == r;
            if (!seen) roots[nRoots++] = r;
        }
        if (nRoots == 0) {
            lab[p] = basins.New(v) + 1;
            continue;
        }
        if (nRoots > 1) {
            // A saddle: lower peaks that do not stand out of it join the highest one.
            int top = roots[0];
            for (int i = 1; i < nRoots; ++i)
                if (basins.peak[roots[i]] > basins.peak[top]) top = roots[i];
            for (int i = 0; i < nRoots; ++i) {
                const int r = roots[i];
                if (r == top) continue;
                const float height = basins.peak[r];
                const float needed = static_cast<float>(
                    std::max(params.minDynamic, params.relativeDynamic * height));
                if (!basins.marker[r] && height - v < needed)
                    basins.parent[r] = top;
                else
                    basins.marker[r] = 1;
            }
            steepest = basins.Find(steepest);
        }
        // Downhill from the steepest neighbour: the boundary follows the saddle line.
        lab[p] = steepest + 1;
    }

    std::vector<int> number(basins.parent.size(), 0);
    int n = 0;
    for (int64_t p = 0; p < total; ++p) {
        if (!lab[p]) continue;
        const int r = basins.Find(lab[p] - 1);
        if (!number[r]) number[r] = ++n;
        lab[p] = number[r];
    }
    return n;
}

}  // namespace segm
