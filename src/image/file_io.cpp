#include "image/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

FCMappedFile::FCMappedFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size == 0) {
            m_ok = true;
        } else {
            void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                           MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (p != MAP_FAILED) {
                m_data = static_cast<const uint8_t*>(p);
                m_size = static_cast<size_t>(st.st_size);
                m_ok = true;
            }
        }
    }
    close(fd);
}

FCMappedFile::~FCMappedFile() {
    if (m_data) munmap(const_cast<uint8_t*>(m_data), m_size);
}

bool WriteWholeFile(const std::string& path,
                    const std::vector<std::pair<const void*, size_t>>& pieces) {
    // Written beside the target and renamed over it at the end: a failed save leaves any
    // earlier file of that name untouched and no partial file behind.
    std::string tmp = path + ".XXXXXX";
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::vector<iovec> iov;
    iov.reserve(pieces.size());
    for (const auto& [data, size] : pieces)
        if (size > 0) iov.push_back({const_cast<void*>(data), size});
    bool ok = true;
    size_t next = 0;
    while (ok && next < iov.size()) {
        const int count = static_cast<int>(std::min<size_t>(iov.size() - next, IOV_MAX));
        const ssize_t n = writev(fd, iov.data() + next, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        // Step over what was written, which may end inside a piece.
        size_t done = static_cast<size_t>(n);
        while (done > 0 && done >= iov[next].iov_len) done -= iov[next++].iov_len;
        if (done > 0) {
            iov[next].iov_base = static_cast<uint8_t*>(iov[next].iov_base) + done;
            iov[next].iov_len -= done;
        }
    }
    if (close(fd) != 0) ok = false;
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(tmp.c_str());
    return ok;
}
