#pragma once
// Measures of labelled objects: centre, area, perimeter and outlines, in pixels.
//
// The area counts the object's pixels, those along its edge by how much of them it covers (and
// the background pixels just outside by theirs), so a disc of radius r measures pi r^2 also
// when it is small and its outline falls between pixel centres. The perimeter is
// the length of the outline around the object's pixels: the chain of boundary pixels is measured
// with the corner-corrected chain-code estimator of Vossepoel and Smeulders (which follows the
// line through the pixel centres) and moved out by half a pixel to the pixels' outer edge (+pi
// for an outer contour, -pi for a hole), so a disc of radius r measures 2 pi r.

#include <opencv2/core.hpp>
#include <vector>

namespace segm {

struct SegObject {
    int label = 0;
    double centerX = 0, centerY = 0;  // mean of the pixel centres, y down
    double area = 0;
    double perimeter = 0;
    bool touchesBorder = false;
    cv::Rect box;
    // Outer contours first (one for an object in one piece), then holes; picture coordinates.
    std::vector<std::vector<cv::Point>> contours;
    int outerContours = 0;
};

// Objects 1..count of a label picture (CV_32S). With holes, a hole's outline is part of the
// object's and counts towards its perimeter; without, only the outer outline does. coverage
// (8 bits, 255 = all object) refines the area along the edges; empty: whole pixels only.
std::vector<SegObject> MeasureObjects(const cv::Mat& labels, int count, bool withHoles,
                                      const cv::Mat& coverage = cv::Mat());

// Length of a closed chain of 8-connected boundary pixels through their centres.
double ChainLength(const std::vector<cv::Point>& chain);

}  // namespace segm
