#pragma once
// PlaceTiles: one position per tile from all the pairwise shifts at once. Each reliable pair
// says "tile j lies at tile i + shift"; the positions are the weighted least-squares solution
// of all these equations (tile 0 of each connected group at the origin). A pair that disagrees
// with the others by more than the tolerance is an outlier: the worst one is dropped and the
// rest solved again, until every remaining pair agrees. A pair that is the only link to a tile
// always agrees, so outliers can only be found where the layout is over-determined.

#include <opencv2/core.hpp>
#include <vector>

struct TilePair {
    int i = 0, j = 0;
    cv::Point2d shift;  // tile j's corner minus tile i's corner
    double weight = 1;  // > 0; the pair's confidence
};

struct PlacementOptions {
    double tolerance = 1.5;  // pixels a pair may disagree with the solution
};

struct Placement {
    std::vector<cv::Point2d> positions;  // per tile, its group's first tile at (0, 0)
    std::vector<int> group;              // connected group of each tile, numbered from 0
    int groups = 0;
    std::vector<TilePair> used;      // the pairs of the final solution
    std::vector<TilePair> rejected;  // outliers, in the order they were dropped
    double maxResidual = 0;          // largest disagreement of a used pair
    bool Connected() const { return groups == 1; }
};

Placement PlaceTiles(int tiles, const std::vector<TilePair>& pairs, PlacementOptions options = {});
