#include "advanced/segmentation/segmenter.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "advanced/segmentation/watershed.h"

namespace segm {
namespace {

bool Within(double value, int lower, int upper) {
    return (lower < 0 || value >= lower) && (upper < 0 || value <= upper);
}

cv::Scalar Bgr(const std::array<uint8_t, 3>& rgb) {
    return cv::Scalar(rgb[2], rgb[1], rgb[0]);
}

}  // namespace

void CSegmenter::SetPicture(cv::Mat bgr) {
    CV_Assert(bgr.type() == CV_8UC3);
    m_source = std::move(bgr);
    m_foreground = {};
    m_lines.clear();
    m_pressed = false;
    m_result.release();
    m_objects.clear();
    m_stats = {};
}

void CSegmenter::Press(cv::Point at) {
    m_pressed = true;
    m_start = m_end = at;
}

void CSegmenter::Move(cv::Point to) {
    if (m_pressed) m_end = to;
}

void CSegmenter::Release() {
    if (!m_pressed) return;
    m_pressed = false;
    if (m_start != m_end) m_lines.push_back({m_start, m_end});
}

bool CSegmenter::Passes(const SegObject& o) const {
    if (o.area <= 0 || o.touchesBorder) return false;
    const SegmSettings& s = m_settings;
    if (s.byArea && !Within(o.area, s.minArea, s.maxArea)) return false;
    if (s.byPerimeter && !Within(o.perimeter, s.minPerimeter, s.maxPerimeter)) return false;
    return true;
}

void CSegmenter::Run() {
    CV_Assert(HasPicture());
    if (m_foreground.mask.empty()) m_foreground = FindForeground(m_source);
    cv::Mat mask = m_foreground.mask.clone();
    const bool withHoles = m_settings.contourMode == 2;
    if (!withHoles) FillHoles(mask);
    // 4-connected lines: no diagonal step of an 8-connected object crosses them.
    for (const auto& line : m_lines) cv::line(mask, line[0], line[1], cv::Scalar(0), 1, cv::LINE_4);

    cv::Mat labels;
    const int n = SplitTouching(mask, labels);
    std::vector<SegObject> all = MeasureObjects(labels, n, withHoles, m_foreground.coverage);
    m_objects.clear();
    for (SegObject& o : all)
        if (Passes(o)) m_objects.push_back(std::move(o));

    m_stats = {};
    if (!m_objects.empty()) {
        m_stats.minArea = m_stats.minPerimeter = 1e300;
        double sumArea = 0, sumPerimeter = 0;
        for (const SegObject& o : m_objects) {
            m_stats.minArea = std::min(m_stats.minArea, o.area);
            m_stats.maxArea = std::max(m_stats.maxArea, o.area);
            m_stats.minPerimeter = std::min(m_stats.minPerimeter, o.perimeter);
            m_stats.maxPerimeter = std::max(m_stats.maxPerimeter, o.perimeter);
            sumArea += o.area;
            sumPerimeter += o.perimeter;
        }
        m_stats.aveArea = sumArea / m_objects.size();
        m_stats.avePerimeter = sumPerimeter / m_objects.size();
    }

    DrawStyle style;
    style.outline = static_cast<OutlineStyle>(m_settings.outlineType);
    style.label = static_cast<LabelStyle>(m_settings.labelType);
    style.outlineColor = Bgr(m_settings.outlineRgb);
    style.labelColor = Bgr(m_settings.labelRgb);
    std::vector<const SegObject*> drawn;
    drawn.reserve(m_objects.size());
    for (const SegObject& o : m_objects) drawn.push_back(&o);
    m_result = m_source.clone();
    DrawObjects(m_result, labels, drawn, style);
}

}  // namespace segm
