#pragma once
// IV4l2Sys: the device calls the UVC layer makes, one virtual call per system call, so the layer
// above runs unchanged over the real system or over a scripted fake device (fake_v4l2.h).
// Calls keep the system's conventions: -1 (or MAP_FAILED) with errno set on failure.
// Implementations are safe to call from several threads at once.

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class IV4l2Sys {
public:
    virtual ~IV4l2Sys() = default;

    // Candidate capture nodes (/dev/video0, /dev/video1, ...), in number order.
    virtual std::vector<std::string> ListDevices() = 0;
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    // Retries by itself when interrupted by a signal.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int Munmap(void* addr, size_t length) = 0;
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

// The real system calls.
std::shared_ptr<IV4l2Sys> MakeSystemV4l2();
