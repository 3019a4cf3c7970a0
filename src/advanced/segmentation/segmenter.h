#pragma once
// CSegmenter: one picture's segmentation with its settings, separating lines and results; what
// an `imagepro_segm_…` handle holds. Not thread-safe: the facade serialises the calls.
//
// A run finds the foreground (kept between runs of the same picture: only the source decides
// it), fills holes when asked to count whole objects, cuts the separating lines into it, splits
// touching objects, measures them, leaves out those touching the picture's border and those the
// filters refuse, and draws the rest onto a copy of the picture.

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "advanced/segmentation/foreground.h"
#include "advanced/segmentation/objects.h"
#include "advanced/segmentation/render.h"

namespace segm {

struct SegmSettings {
    int outlineType = 0;  // 0 contour line, 1 fill, 2 nothing
    int labelType = 0;    // 0 number, 1 area, 2 perimeter
    std::array<uint8_t, 3> outlineRgb{0, 0, 255};
    std::array<uint8_t, 3> labelRgb{0, 0, 0};
    int outlineColorIndex = 4;  // the caller's colour list positions, kept for it
    int labelColorIndex = 0;
    bool byArea = false;
    bool byPerimeter = false;
    int minArea = -1, maxArea = -1;  // -1: no bound
    int minPerimeter = -1, maxPerimeter = -1;
    int contourMode = 0;  // 0 outer contours, 2 with holes
};

struct SegmStats {
    double minArea = 0, maxArea = 0, aveArea = 0;
    double minPerimeter = 0, maxPerimeter = 0, avePerimeter = 0;
};

class CSegmenter {
public:
    // A top-down 8-bit B, G, R picture; forgets the lines and results of the last one.
    void SetPicture(cv::Mat bgr);
    bool HasPicture() const { return !m_source.empty(); }
    const cv::Mat& Picture() const { return m_source; }

    SegmSettings& Settings() { return m_settings; }
    const SegmSettings& Settings() const { return m_settings; }

    // A separating line: pressed at a point, dragged, released (image pixels, y down). Moves
    // without a press are ignored; a release where the press was adds nothing.
    void Press(cv::Point at);
    void Move(cv::Point to);
    void Release();
    const std::vector<std::array<cv::Point, 2>>& Lines() const { return m_lines; }

    void Run();
    bool HasResult() const { return !m_result.empty(); }
    // The picture with the counted objects drawn (top-down, the source's size).
    const cv::Mat& Result() const { return m_result; }
    // The counted objects, in their numbering order.
    const std::vector<SegObject>& Objects() const { return m_objects; }
    const SegmStats& Stats() const { return m_stats; }
    const ForegroundInfo& ForegroundFound() const { return m_foreground.info; }

private:
    bool Passes(const SegObject& o) const;

    cv::Mat m_source;
    Foreground m_foreground;  // of m_source, before holes are filled and lines cut
    SegmSettings m_settings;
    std::vector<std::array<cv::Point, 2>> m_lines;
    bool m_pressed = false;
    cv::Point m_start, m_end;
    cv::Mat m_result;
    std::vector<SegObject> m_objects;
    SegmStats m_stats;
};

}  // namespace segm
