#include "advanced/stitching/global_placement.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

std::vector<int> Groups(int tiles, const std::vector<TilePair>& pairs, int* count) {
    std::vector<int> parent(tiles);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int x) {
        while (parent[x] != x) x = parent[x] = parent[parent[x]];
        return x;
    };
    for (const TilePair& p : pairs) parent[find(p.i)] = find(p.j);
    std::vector<int> id(tiles, -1), group(tiles);
    int n = 0;
    for (int t = 0; t < tiles; ++t) {
        const int r = find(t);
        if (id[r] < 0) id[r] = n++;
        group[t] = id[r];
    }
    *count = n;
    return group;
}

// Weighted least squares of p_j - p_i = shift over one solve for all groups: the first tile of
// each group is held at the origin, the others are unknowns of the normal equations.
std::vector<cv::Point2d> Solve(int tiles, const std::vector<TilePair>& pairs,
                               const std::vector<int>& group) {
    std::vector<int> unknown(tiles, -1);
    std::vector<bool> anchored(tiles, false);
    std::vector<bool> seen(*std::max_element(group.begin(), group.end()) + 1, false);
    int n = 0;
    for (int t = 0; t < tiles; ++t) {
        if (!seen[group[t]]) {
            seen[group[t]] = true;
            anchored[t] = true;
        } else {
            unknown[t] = n++;
        }
    }
    std::vector<cv::Point2d> pos(tiles, cv::Point2d(0, 0));
    if (n == 0) return pos;
    cv::Mat A = cv::Mat::zeros(n, n, CV_64F), b = cv::Mat::zeros(n, 2, CV_64F);
    for (const TilePair& p : pairs) {
        const int ui = unknown[p.i], uj = unknown[p.j];
        const double w = p.weight;
        if (ui >= 0) {
            A.at<double>(ui, ui) += w;
            b.at<double>(ui, 0) -= w * p.shift.x;
            b.at<double>(ui, 1) -= w * p.shift.y;
        }
        if (uj >= 0) {
            A.at<double>(uj, uj) += w;
            b.at<double>(uj, 0) += w * p.shift.x;
            b.at<double>(uj, 1) += w * p.shift.y;
        }
        if (ui >= 0 && uj >= 0) {
            A.at<double>(ui, uj) -= w;
            A.at<double>(uj, ui) -= w;
        }
    }
    cv::Mat x;
    if (!cv::solve(A, b, x, cv::DECOMP_CHOLESKY)) cv::solve(A, b, x, cv::DECOMP_SVD);
    for (int t = 0; t < tiles; ++t)
        if (unknown[t] >= 0)
            pos[t] = cv::Point2d(x.at<double>(unknown[t], 0), x.at<double>(unknown[t], 1));
    return pos;
}

double Residual(const TilePair& p, const std::vector<cv::Point2d>& pos) {
    const cv::Point2d r = pos[p.j] - pos[p.i] - p.shift;
    return std::hypot(r.x, r.y);
}

}  // namespace

Placement PlaceTiles(int tiles, const std::vector<TilePair>& pairs, PlacementOptions options) {
    Placement out;
    if (tiles <= 0) return out;
    std::vector<TilePair> active;
    for (const TilePair& p : pairs)
        if (p.i != p.j && p.i >= 0 && p.j >= 0 && p.i < tiles && p.j < tiles && p.weight > 0 &&
            std::isfinite(p.shift.x) && std::isfinite(p.shift.y))
            active.push_back(p);
    for (;;) {
        out.group = Groups(tiles, active, &out.groups);
        out.positions = Solve(tiles, active, out.group);
        size_t worst = active.size();
        double worstResidual = 0;
        out.maxResidual = 0;
        for (size_t k = 0; k < active.size(); ++k) {
            const double r = Residual(active[k], out.positions);
            out.maxResidual = std::max(out.maxResidual, r);
            // Weighted so a confident pair outvotes a doubtful one of equal disagreement.
            const double score = r * std::sqrt(active[k].weight);
            if (r > options.tolerance && score > worstResidual) {
                worstResidual = score;
                worst = k;
            }
        }
        if (worst == active.size()) break;
        out.rejected.push_back(active[worst]);
        active.erase(active.begin() + static_cast<std::ptrdiff_t>(worst));
    }
    out.used = std::move(active);
    return out;
}
