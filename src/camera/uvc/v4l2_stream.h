#pragma once
// Memory-mapped streaming on an open device: request and map the driver's buffers, queue them,
// start; then wait for a filled buffer, take it, hand it back. Not thread-safe: one thread runs a
// stream at a time (the capture thread, or the caller of a one-shot still).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/uvc/v4l2_device.h"

class CV4l2Stream {
public:
    explicit CV4l2Stream(std::shared_ptr<CV4l2Device> dev);
    ~CV4l2Stream();
    CV4l2Stream(const CV4l2Stream&) = delete;
    CV4l2Stream& operator=(const CV4l2Stream&) = delete;

    // REQBUFS, QUERYBUF and mmap of each buffer, QBUF of each, STREAMON. 0, or the errno of the
    // step that failed; nothing stays requested or mapped then.
    int Start(int bufferCount);
    // STREAMOFF, munmap, REQBUFS 0. Safe to repeat and on a device that is gone.
    void Close();
    bool Running() const { return m_streaming; }
    const std::string& Path() const { return m_dev->Path(); }

    enum class Wait { Frame, Timeout, Again, Lost };
    struct Frame {
        uint32_t index = 0;
        const uint8_t* data = nullptr;
        size_t bytes = 0;
        bool corrupt = false;  // the driver flagged the buffer as damaged
    };
    // Waits up to timeoutMs for a filled buffer and dequeues it (Frame). Lost means the device
    // reported an error or is gone; *error then holds the errno (0 for a poll error flag).
    Wait Next(int timeoutMs, Frame* frame, int* error);
    // Gives a dequeued buffer back to the driver. 0 or errno.
    int Requeue(const Frame& frame);

private:
    struct Buffer {
        void* start = nullptr;
        size_t length = 0;
    };

    std::shared_ptr<CV4l2Device> m_dev;
    std::vector<Buffer> m_buffers;
    bool m_requested = false;
    bool m_streaming = false;
};
