#include "advanced/segmentation/watershed.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "advanced/segmentation/row_runs.h"

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

// Floods one object of the mask (alone: its pixels nonzero, with a blank frame of one pixel, so
// no neighbour lies outside). Writes basin numbers 1..n into local and returns n.
int FloodOne(const cv::Mat& alone, cv::Mat& local, const SplitParams& params, Basins& basins,
             std::vector<int>& order, std::vector<int>& first) {
    const int w = alone.cols;
    cv::Mat dist;
    cv::distanceTransform(alone, dist, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    CV_Assert(dist.isContinuous());
    local.create(alone.size(), CV_32S);
    local.setTo(0);
    const float* d = dist.ptr<float>();
    int* lab = local.ptr<int>();
    const int total = alone.rows * w;

    // Bucket order, highest first; within a bucket the raster order keeps neighbours close.
    float maxDist = 0;
    for (int p = 0; p < total; ++p) maxDist = std::max(maxDist, d[p]);
    const int levels = static_cast<int>(maxDist * kStepsPerPixel) + 2;
    first.assign(static_cast<size_t>(levels) + 1, 0);
    for (int p = 0; p < total; ++p)
        if (d[p] > 0.f) ++first[levels - 1 - static_cast<int>(d[p] * kStepsPerPixel)];
    int acc = 0;
    for (int q = 0; q <= levels; ++q) {
        const int c = first[q];
        first[q] = acc;
        acc += c;
    }
    order.resize(static_cast<size_t>(acc));
    for (int p = 0; p < total; ++p)
        if (d[p] > 0.f) order[first[levels - 1 - static_cast<int>(d[p] * kStepsPerPixel)]++] = p;

    basins.parent.clear();
    basins.peak.clear();
    basins.marker.clear();
    const int offsets[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    for (const int p : order) {
        const float v = d[p];
        int roots[8];
        int nRoots = 0;
        int steepest = -1;
        float steepestDist = -1.f;
        int lastStored = 0, lastRoot = -1;
        for (const int offset : offsets) {
            const int q = p + offset;
            const int stored = lab[q];
            if (!stored) continue;
            // Neighbours mostly carry the same basin: look its root up once.
            if (stored != lastStored) {
                lastStored = stored;
                lastRoot = basins.Find(stored - 1);
            }
            const int r = lastRoot;
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
    for (const int p : order) {
        const int r = basins.Find(lab[p] - 1);
        if (!number[r]) number[r] = ++n;
        lab[p] = number[r];
    }
    return n;
}

}  // namespace

int SplitTouching(const cv::Mat& mask, cv::Mat& labels, const SplitParams& params) {
    CV_Assert(mask.type() == CV_8U);
    const int w = mask.cols, h = mask.rows;
    // Objects never flood into each other: each is flooded in its own small frame, which keeps
    // the flooding's jumps from pixel to pixel within the cache, and side by side with the
    // others; the basins are numbered in turn once all are done.
    cv::Mat parts;
    const int nParts = cv::connectedComponents(mask, parts, 8, CV_32S);
    std::vector<cv::Point> lo(static_cast<size_t>(nParts), cv::Point(w, h)),
        hi(static_cast<size_t>(nParts), cv::Point(-1, -1));
    for (int y = 0; y < h; ++y) {
        const int* l = parts.ptr<int>(y);
        ForEachSet(mask.ptr<uint8_t>(y), w, [&](int x) {
            const int id = l[x];
            lo[id].x = std::min(lo[id].x, x);
            lo[id].y = std::min(lo[id].y, y);
            hi[id].x = std::max(hi[id].x, x);
            hi[id].y = std::max(hi[id].y, y);
        });
    }
    struct Flooded {
        cv::Rect box;
        cv::Mat local;
        int count = 0;
    };
    std::vector<Flooded> flooded(static_cast<size_t>(std::max(0, nParts - 1)));
    cv::parallel_for_(cv::Range(1, std::max(1, nParts)), [&](const cv::Range& range) {
        Basins basins;
        std::vector<int> order, first;
        cv::Mat alone;
        for (int id = range.start; id < range.end; ++id) {
            Flooded& f = flooded[static_cast<size_t>(id - 1)];
            f.box = cv::Rect(lo[id], hi[id] + cv::Point(1, 1));
            alone = cv::Mat::zeros(f.box.height + 2, f.box.width + 2, CV_8U);
            cv::compare(parts(f.box), cv::Scalar(id),
                        alone(cv::Rect(1, 1, f.box.width, f.box.height)), cv::CMP_EQ);
            f.count = FloodOne(alone, f.local, params, basins, order, first);
        }
    });
    labels.create(mask.size(), CV_32S);
    labels.setTo(0);
    int n = 0;
    for (const Flooded& f : flooded) {
        for (int y = 0; y < f.box.height; ++y) {
            const int* src = f.local.ptr<int>(y + 1) + 1;
            int* dst = labels.ptr<int>(f.box.y + y) + f.box.x;
            for (int x = 0; x < f.box.width; ++x)
                if (src[x]) dst[x] = n + src[x];
        }
        n += f.count;
    }

    // Numbered in the raster order of their first pixel.
    std::vector<int> number(static_cast<size_t>(n) + 1, 0);
    int next = 0;
    for (int y = 0; y < h; ++y) {
        int* l = labels.ptr<int>(y);
        ForEachSet(mask.ptr<uint8_t>(y), w, [&](int x) {
            if (!l[x]) return;
            int& k = number[l[x]];
            if (!k) k = ++next;
            l[x] = k;
        });
    }
    return next;
}

}  // namespace segm
