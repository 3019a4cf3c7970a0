#include "camera/uvc/v4l2_stream.h"

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>

CV4l2Stream::CV4l2Stream(std::shared_ptr<CV4l2Device> dev) : m_dev(std::move(dev)) {}

CV4l2Stream::~CV4l2Stream() {
    Close();
}

int CV4l2Stream::Start(int bufferCount) {
    Close();
    v4l2_requestbuffers req{};
    req.count = static_cast<uint32_t>(std::max(2, bufferCount));
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (int e = m_dev->Ioctl(VIDIOC_REQBUFS, &req)) return e;
    m_requested = true;
    if (req.count < 2) {
        Close();
        return ENOMEM;
    }
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (int e = m_dev->Ioctl(VIDIOC_QUERYBUF, &b)) {
            Close();
            return e;
        }
        void* p = m_dev->Sys().Mmap(b.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_dev->Fd(),
                                    b.m.offset);
        if (p == MAP_FAILED) {
            const int e = errno ? errno : ENOMEM;
            Close();
            return e;
        }
        m_buffers.push_back({p, b.length});
    }
    for (uint32_t i = 0; i < m_buffers.size(); ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (int e = m_dev->Ioctl(VIDIOC_QBUF, &b)) {
            Close();
            return e;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (int e = m_dev->Ioctl(VIDIOC_STREAMON, &type)) {
        Close();
        return e;
    }
    m_streaming = true;
    return 0;
}

void CV4l2Stream::Close() {
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_dev->Ioctl(VIDIOC_STREAMOFF, &type);
        m_streaming = false;
    }
    // Unmap before freeing: drivers refuse to free buffers that are still mapped.
    for (const Buffer& b : m_buffers) m_dev->Sys().Munmap(b.start, b.length);
    m_buffers.clear();
    if (m_requested) {
        v4l2_requestbuffers req{};
        req.count = 0;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        m_dev->Ioctl(VIDIOC_REQBUFS, &req);
        m_requested = false;
    }
}

CV4l2Stream::Wait CV4l2Stream::Next(int timeoutMs, Frame* frame, int* error) {
    if (error) *error = 0;
    if (!m_streaming) return Wait::Lost;
    pollfd p{m_dev->Fd(), POLLIN, 0};
    const int r = m_dev->Sys().Poll(&p, 1, timeoutMs);
    if (r < 0) {
        if (error) *error = errno;
        return Wait::Lost;
    }
    if (r == 0) return Wait::Timeout;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return Wait::Lost;
    if (!(p.revents & POLLIN)) return Wait::Timeout;
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    if (int e = m_dev->Ioctl(VIDIOC_DQBUF, &b)) {
        if (e == EAGAIN) return Wait::Again;
        if (error) *error = e;
        return Wait::Lost;
    }
    if (b.index >= m_buffers.size()) {
        if (error) *error = EINVAL;
        return Wait::Lost;
    }
    const Buffer& buf = m_buffers[b.index];
    frame->index = b.index;
    frame->data = static_cast<const uint8_t*>(buf.start);
    frame->bytes = std::min<size_t>(b.bytesused, buf.length);
    frame->corrupt = (b.flags & V4L2_BUF_FLAG_ERROR) != 0;
    return Wait::Frame;
}

int CV4l2Stream::Requeue(const Frame& frame) {
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    b.index = frame.index;
    return m_dev->Ioctl(VIDIOC_QBUF, &b);
}
