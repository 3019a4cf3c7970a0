#pragma once
// Drawing the counted objects onto the picture: outline as contour line, fill or nothing, and a
// label (number, area or perimeter) centred on each object.

#include <opencv2/core.hpp>
#include <vector>

#include "advanced/segmentation/objects.h"

namespace segm {

enum class OutlineStyle { Line = 0, Fill = 1, None = 2 };
enum class LabelStyle { Number = 0, Area = 1, Perimeter = 2 };

struct DrawStyle {
    OutlineStyle outline = OutlineStyle::Line;
    LabelStyle label = LabelStyle::Number;
    cv::Scalar outlineColor{255, 0, 0};  // B, G, R
    cv::Scalar labelColor{0, 0, 0};
};

// Draws the objects (numbered 1.. in the order given) onto a top-down 8-bit B, G, R picture;
// labels is the label picture the objects were measured on.
void DrawObjects(cv::Mat& bgr, const cv::Mat& labels, const std::vector<const SegObject*>& objects,
                 const DrawStyle& style);

}  // namespace segm
