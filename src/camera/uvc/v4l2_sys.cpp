#include "camera/uvc/v4l2_sys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

class CSystemV4l2 final : public IV4l2Sys {
public:
    std::vector<std::string> ListDevices() override {
        std::vector<std::pair<long, std::string>> found;
        if (DIR* dir = opendir("/dev")) {
            while (const dirent* e = readdir(dir)) {
                if (std::strncmp(e->d_name, "video", 5) != 0) continue;
                const char* digits = e->d_name + 5;
                char* end = nullptr;
                const long n = std::strtol(digits, &end, 10);
                if (end == digits || *end != '\0') continue;
                found.emplace_back(n, std::string("/dev/") + e->d_name);
            }
            closedir(dir);
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> out;
        for (auto& f : found) out.push_back(std::move(f.second));
        return out;
    }

    int Open(const char* path, int flags) override { return ::open(path, flags | O_CLOEXEC); }
    int Close(int fd) override { return ::close(fd); }

    int Ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do {
            r = ::ioctl(fd, request, arg);
        } while (r == -1 && errno == EINTR);
        return r;
    }

    void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) override {
        return ::mmap(nullptr, length, prot, flags, fd, offset);
    }
    int Munmap(void* addr, size_t length) override { return ::munmap(addr, length); }

    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        // An interrupted wait counts as an empty one: callers loop on timeouts anyway.
        const int r = ::poll(fds, count, timeoutMs);
        if (r == -1 && errno == EINTR) return 0;
        return r;
    }
};

}  // namespace

std::shared_ptr<IV4l2Sys> MakeSystemV4l2() {
    static const std::shared_ptr<IV4l2Sys> sys = std::make_shared<CSystemV4l2>();
    return sys;
}
