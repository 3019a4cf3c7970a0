#include "advanced/segmentation/objects.h"

#include <cmath>
#include <cstdlib>
#include <opencv2/imgproc.hpp>

namespace segm {

double ChainLength(const std::vector<cv::Point>& chain) {
    const size_t n = chain.size();
    if (n < 2) return 0;
    int even = 0, odd = 0, corners = 0;
    int lastCode = -1, firstCode = -1;
    for (size_t i = 0; i < n; ++i) {
        const cv::Point step = chain[(i + 1) % n] - chain[i];
        const bool diagonal = step.x != 0 && step.y != 0;
        (diagonal ? odd : even) += 1;
        const int code = (step.x + 1) * 3 + (step.y + 1);
        if (lastCode >= 0 && code != lastCode) ++corners;
        if (firstCode < 0) firstCode = code;
        lastCode = code;
    }
    if (lastCode != firstCode) ++corners;
    return 0.980 * even + 1.406 * odd - 0.091 * corners;
}

std::vector<SegObject> MeasureObjects(const cv::Mat& labels, int count, bool withHoles,
                                      const cv::Mat& coverage) {
    CV_Assert(labels.type() == CV_32S);
    CV_Assert(coverage.empty() || (coverage.type() == CV_8U && coverage.size() == labels.size()));
    const int w = labels.cols, h = labels.rows;
    std::vector<SegObject> objects(static_cast<size_t>(count));
    std::vector<int64_t> pixels(static_cast<size_t>(count), 0);
    std::vector<int64_t> edgeCover(static_cast<size_t>(count), 0),
        edgePixels(static_cast<size_t>(count), 0);
    std::vector<double> sumX(static_cast<size_t>(count), 0.0),
        sumY(static_cast<size_t>(count), 0.0);
    std::vector<cv::Point> lo(static_cast<size_t>(count), cv::Point(w, h)),
        hi(static_cast<size_t>(count), cv::Point(-1, -1));
    const bool refine = !coverage.empty();
    for (int y = 0; y < h; ++y) {
        const int* l = labels.ptr<int>(y);
        const int* up = y > 0 ? labels.ptr<int>(y - 1) : nullptr;
        const int* down = y < h - 1 ? labels.ptr<int>(y + 1) : nullptr;
        const uint8_t* cov = refine ? coverage.ptr<uint8_t>(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            const int id = l[x] - 1;
            if (id < 0) {
                // A background pixel beside an object holds the part of it that fell short of half.
                if (!refine || !cov[x]) continue;
                int owner = x > 0 ? l[x - 1] : 0;
                if (!owner && x < w - 1) owner = l[x + 1];
                if (!owner && up) owner = up[x];
                if (!owner && down) owner = down[x];
                if (owner) edgeCover[owner - 1] += cov[x];
                continue;
            }
            ++pixels[id];
            sumX[id] += x;
            sumY[id] += y;
            cv::Point& a = lo[id];
            cv::Point& b = hi[id];
            if (x < a.x) a.x = x;
            if (y < a.y) a.y = y;
            if (x > b.x) b.x = x;
            if (y > b.y) b.y = y;
            if (refine && ((x > 0 && !l[x - 1]) || (x < w - 1 && !l[x + 1]) || (up && !up[x]) ||
                           (down && !down[x]))) {
                ++edgePixels[id];
                edgeCover[id] += cov[x];
            }
        }
    }
    const int mode = withHoles ? cv::RETR_CCOMP : cv::RETR_EXTERNAL;
    for (int i = 0; i < count; ++i) {
        SegObject& o = objects[i];
        o.label = i + 1;
        if (pixels[i] == 0) continue;
        o.area = static_cast<double>(pixels[i] - edgePixels[i]) + edgeCover[i] / 255.0;
        o.centerX = sumX[i] / pixels[i];
        o.centerY = sumY[i] / pixels[i];
        o.box = cv::Rect(lo[i], hi[i] + cv::Point(1, 1));
        o.touchesBorder = lo[i].x == 0 || lo[i].y == 0 || hi[i].x == w - 1 || hi[i].y == h - 1;

        // The object alone, with a blank frame so its outline never runs along the edge.
        cv::Mat alone = cv::Mat::zeros(o.box.height + 2, o.box.width + 2, CV_8U);
        cv::Mat inner = alone(cv::Rect(1, 1, o.box.width, o.box.height));
        cv::compare(labels(o.box), cv::Scalar(o.label), inner, cv::CMP_EQ);
        std::vector<std::vector<cv::Point>> found;
        std::vector<cv::Vec4i> hierarchy;
        cv::findContours(alone, found, hierarchy, mode, cv::CHAIN_APPROX_NONE,
                         o.box.tl() - cv::Point(1, 1));
        std::vector<std::vector<cv::Point>> holes;
        for (size_t k = 0; k < found.size(); ++k) {
            const bool hole = hierarchy[k][3] >= 0;
            const double length = ChainLength(found[k]);
            // The chain runs through pixel centres; the object's edge lies half a pixel out.
            o.perimeter += hole ? std::max(0.0, length - M_PI) : length + M_PI;
            (hole ? holes : o.contours).push_back(std::move(found[k]));
        }
        o.outerContours = static_cast<int>(o.contours.size());
        for (auto& c : holes) o.contours.push_back(std::move(c));
    }
    return objects;
}

}  // namespace segm
