#include "advanced/imagepro_facade.h"

#include <cstring>
#include <opencv2/imgproc.hpp>

namespace {

thread_local std::string t_lastError;

}  // namespace

extern "C" const char* imagepro_last_error(void) {
    return t_lastError.c_str();
}

namespace imagepro {

int HandleTable::Add(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_next <= 0) return 0;  // 2^31 handles spent: refuse rather than reuse
    const int h = m_next++;
    m_objects.emplace(h, std::move(object));
    return h;
}

std::shared_ptr<Object> HandleTable::Find(int handle) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_objects.find(handle);
    return it == m_objects.end() ? nullptr : it->second;
}

size_t HandleTable::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_objects.size();
}

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

int Fail(int status, const std::string& reason) {
    t_lastError = reason;
    return status;
}

int BadHandle(const char* family, int handle) {
    return Fail(IMAGEPRO_ERR_HANDLE,
                std::string("no ") + family + " object has handle " + std::to_string(handle));
}

int64_t PictureInStride(int64_t width, int depth) {
    return (width * depth / 8 + 3) & ~int64_t{3};
}

int CheckPictureIn(const void* pixels, int width, int height, int depth) {
    if (!pixels) return Fail(IMAGEPRO_ERR_ARGUMENT, "no picture given");
    if (width <= 0 || height <= 0)
        return Fail(IMAGEPRO_ERR_ARGUMENT, "picture size " + std::to_string(width) + " x " +
                                               std::to_string(height) + " is empty");
    if (depth != 24 && depth != 32)
        return Fail(IMAGEPRO_ERR_ARGUMENT,
                    "picture depth " + std::to_string(depth) + " is not 24 or 32 bits");
    if (PictureInStride(width, depth) * height > kMaxPictureBytes)
        return Fail(IMAGEPRO_ERR_ARGUMENT, "picture " + std::to_string(width) + " x " +
                                               std::to_string(height) + " is too large");
    return IMAGEPRO_OK;
}

cv::Mat PictureIn(const unsigned char* pixels, int width, int height, int depth) {
    const int64_t stride = PictureInStride(width, depth);
    cv::Mat bgr(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        const unsigned char* src = pixels + (height - 1 - y) * stride;
        if (depth == 24) {
            std::memcpy(bgr.ptr(y), src, static_cast<size_t>(width) * 3);
        } else {
            const cv::Mat row(1, width, CV_8UC4, const_cast<unsigned char*>(src));
            cv::Mat out(1, width, CV_8UC3, bgr.ptr(y));
            cv::cvtColor(row, out, cv::COLOR_BGRA2BGR);
        }
    }
    return bgr;
}

void PictureOut::Set(const cv::Mat& bgr, bool paddedRows) {
    CV_Assert(bgr.type() == CV_8UC3);
    const size_t row = static_cast<size_t>(bgr.cols) * 3;
    const size_t stride = paddedRows ? (row + 3) & ~size_t{3} : row;
    m_bytes.assign(stride * static_cast<size_t>(bgr.rows), 0);
    for (int y = 0; y < bgr.rows; ++y)
        std::memcpy(m_bytes.data() + static_cast<size_t>(bgr.rows - 1 - y) * stride, bgr.ptr(y),
                    row);
    m_width = bgr.cols;
    m_height = bgr.rows;
}

void PictureOut::Clear() {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_width = m_height = 0;
}

void CallbackSink::Progress(int percent) const {
    if (m_fn) m_fn(m_context, IMAGEPRO_CB_PROGRESS, percent, nullptr, 0, 0, 0);
}

void CallbackSink::Result(const cv::Mat& bgr, int extra) const {
    if (!m_fn) return;
    PictureOut out;
    out.Set(bgr);
    m_fn(m_context, IMAGEPRO_CB_RESULT, 100, out.Data(), out.Width(), out.Height(), extra);
}

void CallbackSink::Failed(const std::string& reason) const {
    Fail(IMAGEPRO_ERR_FAILED, reason);
    if (m_fn) m_fn(m_context, IMAGEPRO_CB_FAILED, 0, nullptr, 0, 0, 0);
}

}  // namespace imagepro
