#include "advanced/segmentation/render.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <string>

namespace segm {
namespace {

std::string LabelText(const SegObject& o, int number, LabelStyle style) {
    char text[32];
    switch (style) {
        case LabelStyle::Area:
            std::snprintf(text, sizeof text, "%.0f", o.area);
            break;
        case LabelStyle::Perimeter:
            std::snprintf(text, sizeof text, "%.0f", o.perimeter);
            break;
        case LabelStyle::Number:
        default:
            std::snprintf(text, sizeof text, "%d", number);
            break;
    }
    return text;
}

void Fill(cv::Mat& bgr, const cv::Mat& labels, const SegObject& o, const cv::Scalar& colour) {
    const cv::Vec3b c(static_cast<uint8_t>(colour[0]), static_cast<uint8_t>(colour[1]),
                      static_cast<uint8_t>(colour[2]));
    for (int y = o.box.y; y < o.box.y + o.box.height; ++y) {
        const int* l = labels.ptr<int>(y);
        cv::Vec3b* p = bgr.ptr<cv::Vec3b>(y);
        for (int x = o.box.x; x < o.box.x + o.box.width; ++x)
            if (l[x] == o.label) p[x] = c;
    }
}

// An outline of the given width, centred on the object's edge chain: the chain drawn one pixel
// wide, then widened by a disc. A wide line drawn step by step along the chain would stamp a
// round joint at every pixel of it.
void Stroke(cv::Mat& bgr, const SegObject& o, const cv::Scalar& colour, int thickness) {
    if (thickness <= 1) {
        cv::drawContours(bgr, o.contours, -1, colour, 1, cv::LINE_8);
        return;
    }
    const int pad = thickness / 2 + 1;
    const cv::Rect area = cv::Rect(o.box.x - pad, o.box.y - pad, o.box.width + 2 * pad,
                                   o.box.height + 2 * pad) &
                          cv::Rect(0, 0, bgr.cols, bgr.rows);
    cv::Mat stroke = cv::Mat::zeros(area.size(), CV_8U);
    cv::drawContours(stroke, o.contours, -1, cv::Scalar(255), 1, cv::LINE_8, cv::noArray(),
                     INT_MAX, -area.tl());
    cv::dilate(stroke, stroke,
               cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(thickness, thickness)));
    bgr(area).setTo(colour, stroke);
}

}  // namespace

void DrawObjects(cv::Mat& bgr, const cv::Mat& labels, const std::vector<const SegObject*>& objects,
                 const DrawStyle& style) {
    // Lines and text grow with the picture so they stay readable when it is shown reduced.
    const int side = std::min(bgr.cols, bgr.rows);
    const int thickness = std::max(1, static_cast<int>(std::lround(side / 600.0)));
    const double textHeight = std::max(12.0, side / 50.0);
    constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
    const double fontScale = textHeight / 22.0;
    const int textThickness = std::max(1, static_cast<int>(std::lround(textHeight / 14.0)));

    for (const SegObject* o : objects) {
        if (style.outline == OutlineStyle::Fill) {
            Fill(bgr, labels, *o, style.outlineColor);
        } else if (style.outline == OutlineStyle::Line) {
            Stroke(bgr, *o, style.outlineColor, thickness);
        }
    }
    for (size_t i = 0; i < objects.size(); ++i) {
        const SegObject& o = *objects[i];
        const std::string text = LabelText(o, static_cast<int>(i) + 1, style.label);
        int baseline = 0;
        const cv::Size size = cv::getTextSize(text, kFont, fontScale, textThickness, &baseline);
        const cv::Point origin(static_cast<int>(std::lround(o.centerX - size.width / 2.0)),
                               static_cast<int>(std::lround(o.centerY + size.height / 2.0)));
        // Solid strokes: the label is exactly the chosen colour.
        cv::putText(bgr, text, origin, kFont, fontScale, style.labelColor, textThickness,
                    cv::LINE_8);
    }
}

}  // namespace segm
