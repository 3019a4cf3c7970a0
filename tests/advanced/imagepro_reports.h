#pragma once
// What the tests of the HDR and stitching calls share: a recorder for the callback and the
// picture-in layout.

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <opencv2/core.hpp>
#include <vector>

#include "advanced/imagepro.h"

// Collects what an imagepro callback reports.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    int results = 0, failures = 0;
    std::vector<int> progress;
    int width = 0, height = 0;
    std::vector<unsigned char> last;

    static int Callback(void* context, int status, int value, const unsigned char* pixels,
                        int width, int height, int) {
        auto* self = static_cast<Reports*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (status == IMAGEPRO_CB_RESULT) {
            ++self->results;
            self->width = width, self->height = height;
            self->last.assign(pixels, pixels + 3 * width * height);
        } else if (status == IMAGEPRO_CB_FAILED) {
            ++self->failures;
        } else {
            self->progress.push_back(value);
        }
        self->changed.notify_all();
        return 0;
    }
    int Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return results + failures;
    }
    bool WaitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60),
                                [&] { return results + failures >= n; });
    }
};

// A top-down matrix as a picture in (bottom row first, rows padded to 4 bytes).
inline std::vector<unsigned char> PictureIn(const cv::Mat& bgr) {
    const int stride = (bgr.cols * 3 + 3) & ~3;
    std::vector<unsigned char> bytes(static_cast<size_t>(stride) * bgr.rows);
    for (int y = 0; y < bgr.rows; ++y)
        std::memcpy(bytes.data() + static_cast<size_t>(bgr.rows - 1 - y) * stride, bgr.ptr(y),
                    bgr.cols * 3);
    return bytes;
}
