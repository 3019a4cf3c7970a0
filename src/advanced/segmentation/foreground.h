#pragma once
// Foreground of a microscope picture: which pixels belong to objects rather than to the slide.
//
// The background is modelled as a smooth surface per channel (a cubic fitted to a reduced
// picture, objects rejected as outliers), so uneven illumination and a tinted (stained)
// background are both part of the model. Each pixel's colour deviation from that surface, after
// dividing the illumination out, is what makes it foreground: darker, brighter or differently
// coloured objects all stand out, with or without stain. Candidate objects are taken above the
// background's noise; each is then cut at half its own contrast, so faint and strong objects
// both get their true edge. A small opening, scaled to the objects' typical width, removes thin
// fibres and specks without rounding the objects themselves.

#include <opencv2/core.hpp>

namespace segm {

struct ForegroundInfo {
    int noiseThreshold = 0;    // deviation above which a pixel is a candidate (0..255)
    int backgroundLevel = 0;   // the background's typical deviation (its noise)
    double typicalRadius = 0;  // area-weighted median of the objects' largest inscribed radius
    int openingRadius = 0;     // radius of the opening applied (0: none)
};

// The colour deviation of every pixel from the fitted background (8 bits, 0 = background),
// for a top-down 8-bit B, G, R picture.
cv::Mat BackgroundDeviation(const cv::Mat& bgr);

struct Foreground {
    cv::Mat mask;  // 8 bits, 255 = object
    // How much of each pixel the object covers (0..255), judged from its contrast against that
    // object's own: what the area of a small object is measured with along its edge.
    cv::Mat coverage;
    ForegroundInfo info;
};

// The objects of a top-down 8-bit B, G, R picture.
Foreground FindForeground(const cv::Mat& bgr);

// Fills the holes of a mask: background not connected to the picture's border becomes object.
void FillHoles(cv::Mat& mask);

}  // namespace segm
