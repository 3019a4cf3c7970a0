#include "camera/device_watch.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

// Owned jointly by the watch and its thread, so a Stop from inside the callback (which cannot
// join) leaves the thread valid state to finish with.
struct CDeviceWatch::State {
    udev* ctx = nullptr;
    udev_monitor* monitor = nullptr;
    int stopFd = -1;
    std::atomic<bool> stopping{false};
    CameraDeviceCallback callback = nullptr;
    void* user = nullptr;

    ~State() {
        if (monitor) udev_monitor_unref(monitor);
        if (ctx) udev_unref(ctx);
        if (stopFd >= 0) close(stopFd);
    }
};

struct CDeviceWatch::Impl {
    std::shared_ptr<State> state;
    std::thread thread;
};

void CDeviceWatch::Run(std::shared_ptr<State> s) {
    pollfd fds[2] = {{udev_monitor_get_fd(s->monitor), POLLIN, 0}, {s->stopFd, POLLIN, 0}};
    while (!s->stopping.load()) {
        const int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents || s->stopping.load()) break;
        if (fds[0].revents & POLLIN) {
            if (udev_device* d = udev_monitor_receive_device(s->monitor)) {
                const char* action = udev_device_get_action(d);
                int code = 0;
                if (action && std::strcmp(action, "add") == 0) code = kDeviceArrival;
                if (action && std::strcmp(action, "remove") == 0) code = kDeviceRemoval;
                udev_device_unref(d);
                if (code && !s->stopping.load()) s->callback(code, -1, s->user);
            }
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            break;
        }
    }
}

CDeviceWatch::CDeviceWatch() : m(std::make_unique<Impl>()) {}

CDeviceWatch::~CDeviceWatch() {
    Stop();
}

bool CDeviceWatch::Start(CameraDeviceCallback callback, void* user) {
    Stop();
    if (!callback) return false;
    auto s = std::make_shared<State>();
    s->callback = callback;
    s->user = user;
    s->ctx = udev_new();
    if (!s->ctx) return false;
    // Events come from udevd once it has set a device up; without udevd (containers) the
    // kernel's own events are all there is, and its device nodes exist by then.
    const bool haveUdevd = access("/run/udev/control", F_OK) == 0;
    s->monitor = udev_monitor_new_from_netlink(s->ctx, haveUdevd ? "udev" : "kernel");
    if (!s->monitor) return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(s->monitor, "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(s->monitor) < 0 || udev_monitor_get_fd(s->monitor) < 0)
        return false;
    s->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->stopFd < 0) return false;
    try {
        m->thread = std::thread(Run, s);
    } catch (const std::system_error&) {
        return false;
    }
    m->state = std::move(s);
    return true;
}

void CDeviceWatch::Stop() {
    if (!m->state) return;
    m->state->stopping.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(m->state->stopFd, &one, sizeof one);
    if (m->thread.joinable()) {
        if (m->thread.get_id() == std::this_thread::get_id())
            m->thread.detach();
        else
            m->thread.join();
    }
    m->state.reset();
}

bool CDeviceWatch::Running() const {
    return m->state != nullptr;
}
