#pragma once
// The machinery every imagepro call family shares: the handle table, pictures in and out, the
// callback sink and the failure reasons. Each family keeps its C calls in imagepro_<family>.cpp
// and its work in C++ classes; a call looks its object up here, does the work under
// imagepro::Guarded (no exception leaves a C call) and reports failures with imagepro::Fail.

#include <cstdint>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "advanced/imagepro.h"

namespace imagepro {

// What a handle names. Families derive their objects from it.
class Object {
public:
    virtual ~Object() = default;
};

// Handles of all families in one number space, so a handle of one family is never mistaken for
// another's. Thread-safe.
class HandleTable {
public:
    // The new object's handle (never 0, never reused).
    int Add(std::shared_ptr<Object> object);
    // The object when the handle names one of type T, else null.
    template <class T>
    std::shared_ptr<T> Get(int handle) const {
        return std::dynamic_pointer_cast<T>(Find(handle));
    }
    // Takes the object out of the table and hands it back, so its destruction (which may join a
    // worker) happens outside the table's lock. Null when the handle names no T.
    template <class T>
    std::shared_ptr<T> Remove(int handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(handle);
        if (it == m_objects.end()) return nullptr;
        std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(it->second);
        if (typed) m_objects.erase(it);
        return typed;
    }
    size_t Size() const;

private:
    std::shared_ptr<Object> Find(int handle) const;

    mutable std::mutex m_mutex;
    std::unordered_map<int, std::shared_ptr<Object>> m_objects;
    int m_next = 1;
};
HandleTable& Handles();

// Records the reason of a failure for imagepro_last_error and returns the status.
int Fail(int status, const std::string& reason);
// "no <family> object has handle <h>" as IMAGEPRO_ERR_HANDLE.
int BadHandle(const char* family, int handle);

// Runs a call's work, turning an escaping exception into a failure status with its reason.
template <class F>
int Guarded(F&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return Fail(IMAGEPRO_ERR_MEMORY, "not enough memory for the picture");
    } catch (const cv::Exception& e) {
        return Fail(e.code == cv::Error::StsNoMem ? IMAGEPRO_ERR_MEMORY : IMAGEPRO_ERR_FAILED,
                    e.what());
    } catch (const std::exception& e) {
        return Fail(IMAGEPRO_ERR_FAILED, e.what());
    }
}

// Largest picture a call accepts: its pixel block stays below 2 GiB, as the picture buffer's.
inline constexpr int64_t kMaxPictureBytes = 0x7FFFFFFF;

// Bytes of one row of a picture in: width * depth / 8 rounded up to a multiple of 4.
int64_t PictureInStride(int64_t width, int depth);
// Checks a picture in (non-null, positive size within the limit, depth 24 or 32); IMAGEPRO_OK or
// IMAGEPRO_ERR_ARGUMENT with its reason.
int CheckPictureIn(const void* pixels, int width, int height, int depth);
// A picture in as a top-down 8-bit B, G, R matrix of its own (the caller's buffer is not kept).
// Check it first.
cv::Mat PictureIn(const unsigned char* pixels, int width, int height, int depth = 24);

// A picture out kept by its object until the next result replaces it.
class PictureOut {
public:
    // From a top-down 8-bit B, G, R matrix; padded rows as the picture buffer (automatic
    // stitching) or 3 * width bytes back to back.
    void Set(const cv::Mat& bgr, bool paddedRows = false);
    void Clear();
    const unsigned char* Data() const { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    size_t Bytes() const { return m_bytes.size(); }

private:
    std::vector<unsigned char> m_bytes;
    int m_width = 0;
    int m_height = 0;
};

// The callback and context a family's `_new` was given. Calls nothing without a function.
class CallbackSink {
public:
    CallbackSink() = default;
    CallbackSink(imagepro_callback fn, void* context) : m_fn(fn), m_context(context) {}
    void Progress(int percent) const;
    // Delivers a top-down 8-bit B, G, R result as a picture out.
    void Result(const cv::Mat& bgr, int extra = 0) const;
    // Status -1, no picture; the reason goes to imagepro_last_error of the calling thread.
    void Failed(const std::string& reason) const;
    bool HasFunction() const { return m_fn != nullptr; }

private:
    imagepro_callback m_fn = nullptr;
    void* m_context = nullptr;
};

}  // namespace imagepro
