#pragma once
// Pictures with known objects for the segmentation tests, and the hand-over to the library.

#include <cmath>
#include <cstring>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "advanced/imagepro_segm.h"

namespace segm_test {

struct Disc {
    double x, y, r;
};

// How a slide looks: background and object colours (B, G, R), the lamp's falloff over the
// field, a dark offset that the lamp does not scale (fluorescence), optical blur and noise.
struct Look {
    cv::Vec3d background{235, 232, 230};
    cv::Vec3d object{150, 80, 170};
    std::function<double(double u, double v)> lamp;  // u, v in [-1, 1]; null: even light
    double offset = 0;
    double blurSigma = 0.8;
    double noiseSigma = 2.0;
};

// Fraction of the pixel (x, y) inside the disc, from 4 x 4 samples.
inline double Coverage(const Disc& d, int x, int y) {
    int in = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            const double sx = x + (i + 0.5) / 4 - 0.5 - d.x, sy = y + (j + 0.5) / 4 - 0.5 - d.y;
            in += sx * sx + sy * sy <= d.r * d.r;
        }
    return in / 16.0;
}

// A top-down B, G, R picture of the discs, each pixel the object colour by its coverage.
inline cv::Mat DiscPicture(cv::Size size, const std::vector<Disc>& discs, const Look& look,
                           unsigned seed = 1) {
    cv::Mat cover = cv::Mat::zeros(size, CV_64F);
    for (const Disc& d : discs)
        for (int y = std::max(0, int(d.y - d.r - 2)); y < std::min(size.height, int(d.y + d.r + 3));
             ++y)
            for (int x = std::max(0, int(d.x - d.r - 2));
                 x < std::min(size.width, int(d.x + d.r + 3)); ++x)
                cover.at<double>(y, x) = std::min(1.0, cover.at<double>(y, x) + Coverage(d, x, y));
    if (look.blurSigma > 0) cv::GaussianBlur(cover, cover, cv::Size(), look.blurSigma);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, look.noiseSigma);
    cv::Mat out(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const double c = cover.at<double>(y, x);
            const double u = (x + 0.5) / size.width * 2 - 1, v = (y + 0.5) / size.height * 2 - 1;
            const double lamp = look.lamp ? look.lamp(u, v) : 1.0;
            for (int ch = 0; ch < 3; ++ch) {
                const double level = look.background[ch] * (1 - c) + look.object[ch] * c;
                const double value = look.offset + (level - look.offset) * lamp + noise(rng);
                out.at<cv::Vec3b>(y, x)[ch] = cv::saturate_cast<uint8_t>(value);
            }
        }
    return out;
}

// The picture-in layout: rows bottom first, each padded to 4 bytes.
inline std::vector<unsigned char> PictureIn(const cv::Mat& bgr) {
    const size_t stride = (static_cast<size_t>(bgr.cols) * 3 + 3) & ~size_t{3};
    std::vector<unsigned char> bytes(stride * bgr.rows, 0);
    for (int y = 0; y < bgr.rows; ++y)
        std::memcpy(&bytes[(bgr.rows - 1 - y) * stride], bgr.ptr(y), bgr.cols * 3);
    return bytes;
}

// A picture out (rows bottom first, 3 * width bytes each) as a top-down matrix.
inline cv::Mat PictureOut(const unsigned char* data, int width, int height) {
    cv::Mat out(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.ptr(y), data + static_cast<size_t>(height - 1 - y) * width * 3, width * 3);
    return out;
}

// A segmentation handle deleted at scope end.
class Segm {
public:
    Segm() : h(imagepro_segm_new()) {}
    ~Segm() { imagepro_segm_delete(h); }
    Segm(const Segm&) = delete;
    Segm& operator=(const Segm&) = delete;

    // Reads the picture and runs; the status of findcontour.
    int Run(const cv::Mat& bgr) {
        const auto bytes = PictureIn(bgr);
        if (const int s = imagepro_segm_readdata(h, bytes.data(), bgr.cols, bgr.rows)) return s;
        size = bgr.size();
        return imagepro_segm_findcontour(h);
    }
    std::vector<imagepro_contour> Objects() const {
        std::vector<imagepro_contour> v(static_cast<size_t>(imagepro_segm_get_contournum(h)));
        v.resize(static_cast<size_t>(
            std::max(0, imagepro_segm_get_contourdata(h, v.data(), int(v.size())))));
        return v;
    }
    cv::Mat Result() const {
        const unsigned char* data = imagepro_segm_getdata(h);
        return data ? PictureOut(data, size.width, size.height) : cv::Mat();
    }

    const int h;
    cv::Size size;
};

// The nearest object centre to a point, as a distance.
inline double NearestCentre(const std::vector<imagepro_contour>& objects, double x, double y,
                            size_t* index = nullptr) {
    double best = 1e300;
    for (size_t i = 0; i < objects.size(); ++i) {
        const double d = std::hypot(objects[i].centerX - x, objects[i].centerY - y);
        if (d < best) {
            best = d;
            if (index) *index = i;
        }
    }
    return best;
}

}  // namespace segm_test
