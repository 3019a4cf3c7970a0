#include "camera/acquisition/sane_scan_job.h"

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>

#include "camera/acquisition/sane_frame_assembler.h"
#include "camera/acquisition/sane_library.h"

namespace {

// The threads of this process, by id.
std::set<long> ProcessThreads() {
    std::set<long> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ids.insert(std::strtol(e->d_name, nullptr, 10));
        closedir(dir);
    }
    return ids;
}

// Waits until every thread started since `before` has ended again, at most `timeout`.
void WaitForNewThreadsToEnd(const std::set<long>& before, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::set<long> now = ProcessThreads();
        if (std::includes(before.begin(), before.end(), now.begin(), now.end())) return;
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

#pragma pack(push, 1)
struct DibSize {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
};
#pragma pack(pop)

}  // namespace

CSaneScanJob::CSaneScanJob(const CSaneLibrary& lib, SANE_Handle handle, Plan plan,
                           std::function<void()> notify)
    : m_lib(lib), m_handle(handle), m_plan(plan), m_notify(std::move(notify)) {}

CSaneScanJob::~CSaneScanJob() {
    Cancel();
    Join();
}

void CSaneScanJob::Start() {
    if (m_thread.joinable()) return;
    m_thread = std::thread([this] { Run(); });
}

void CSaneScanJob::Cancel() {
    m_cancel.store(true);
}

void CSaneScanJob::Join() {
    if (m_thread.joinable()) m_thread.join();
}

bool CSaneScanJob::Finish(std::chrono::milliseconds timeout) {
    Cancel();
    if (!m_thread.joinable()) return true;
    {
        std::unique_lock lock(m_mutex);
        if (!m_doneChanged.wait_for(lock, timeout, [this] { return m_done; })) return false;
    }
    m_thread.join();
    return true;
}

void CSaneScanJob::Abandon(std::unique_ptr<CSaneScanJob> job) {
    if (!job) return;
    if (job->m_thread.joinable()) job->m_thread.detach();
    job.release();  // still in use by its thread
}

std::vector<ScannedPage> CSaneScanJob::TakePages() {
    std::lock_guard lock(m_mutex);
    std::vector<ScannedPage> pages = std::move(m_pages);
    m_pages.clear();
    return pages;
}

ScanProgress CSaneScanJob::Progress() const {
    std::lock_guard lock(m_mutex);
    return m_progress;
}

std::optional<ScanOutcome> CSaneScanJob::Outcome() const {
    std::lock_guard lock(m_mutex);
    return m_outcome;
}

void CSaneScanJob::Notify() {
    if (!m_notified.exchange(true) && m_notify) m_notify();
}

void CSaneScanJob::SetProgress(const ScanProgress& p) {
    {
        std::lock_guard lock(m_mutex);
        if (p.page == m_progress.page && p.frame == m_progress.frame &&
            p.percent == m_progress.percent)
            return;
        m_progress = p;
    }
    Notify();
}

void CSaneScanJob::Run() {
    CSaneFrameAssembler assembler;
    assembler.SetResolution(m_plan.dpiX, m_plan.dpiY);
    std::vector<SANE_Byte> buffer(kReadBytes);
    ScanOutcome outcome;
    int pages = 0;
    bool stop = false;
    // When the backend last began a frame (and has not ended it) or ended one: see the cancel.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> startedFrame, endedFrame;
    const std::set<long> threadsBefore = ProcessThreads();
    auto end = [&](ScanOutcome::End how, const std::string& reason) {
        outcome.end = how;
        outcome.reason = reason;
        stop = true;
    };
    auto endWith = [&](SANE_Status status) {
        end(status == SANE_STATUS_CANCELLED ? ScanOutcome::End::Cancelled
                                            : ScanOutcome::End::DeviceError,
            m_lib.StatusText(status));
    };

    while (!stop) {
        if (m_cancel.load()) {
            endWith(SANE_STATUS_CANCELLED);
            break;
        }
        if (m_plan.maxPages > 0 && pages >= m_plan.maxPages) break;
        SANE_Status status = m_lib.start(m_handle);
        if (status == SANE_STATUS_NO_DOCS) {
            // The end of a feeder batch; before the first page it means an empty feeder.
            if (pages == 0) end(ScanOutcome::End::FeederEmpty, m_lib.StatusText(status));
            break;
        }
        if (status != SANE_STATUS_GOOD) {
            endWith(status);
            break;
        }
        startedFrame = Clock::now();
        // The frames of one page: one, or three for a three-pass device.
        while (!stop) {
            SANE_Parameters params{};
            status = m_lib.get_parameters(m_handle, &params);
            if (status != SANE_STATUS_GOOD) {
                endWith(status);
                break;
            }
            std::string reason;
            if (!assembler.BeginFrame(params, &reason)) {
                end(ScanOutcome::End::BadData, reason);
                break;
            }
            ScanProgress progress{pages + 1, assembler.FramesBegun(), assembler.FramesExpected(),
                                  assembler.FrameBytesExpected() > 0 ? 0 : -1};
            SetProgress(progress);
            int idleReads = 0;
            for (;;) {
                if (m_cancel.load()) {
                    endWith(SANE_STATUS_CANCELLED);
                    break;
                }
                SANE_Int length = 0;
                status = m_lib.read(m_handle, buffer.data(), kReadBytes, &length);
                if (status == SANE_STATUS_EOF) {
                    startedFrame.reset();
                    endedFrame = Clock::now();
                    break;
                }
                if (status != SANE_STATUS_GOOD) {
                    endWith(status);
                    break;
                }
                if (length < 0 || length > kReadBytes) {
                    end(ScanOutcome::End::BadData, "the device reported " + std::to_string(length) +
                                                       " bytes read into a buffer of " +
                                                       std::to_string(kReadBytes));
                    break;
                }
                if (length == 0) {
                    // A backend that answers "nothing yet" must not turn this into a busy loop.
                    if (++idleReads > 16) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                idleReads = 0;
                if (!assembler.Feed(buffer.data(), static_cast<size_t>(length), &reason)) {
                    end(ScanOutcome::End::BadData, reason);
                    break;
                }
                if (const int64_t expected = assembler.FrameBytesExpected(); expected > 0) {
                    progress.percent = static_cast<int>(
                        std::min<int64_t>(100, assembler.FrameBytesReceived() * 100 / expected));
                    SetProgress(progress);
                }
            }
            if (stop) break;
            assembler.EndFrame();
            if (assembler.IsComplete()) break;
            status = m_lib.start(m_handle);  // the next frame of a three-pass picture
            if (status != SANE_STATUS_GOOD) {
                endWith(status);
                break;
            }
            startedFrame = Clock::now();
        }
        if (stop) break;
        std::string reason;
        CTwHandle dib = assembler.TakePicture(&reason);
        if (!dib) {
            end(ScanOutcome::End::BadData, reason);
            break;
        }
        ScannedPage page;
        DibSize size{};
        std::memcpy(&size, TwGlobalLock(dib.Get()), sizeof(size));
        page.width = size.biWidth;
        page.height = size.biHeight;
        page.dpiX = m_plan.dpiX;
        page.dpiY = m_plan.dpiY;
        page.dib = std::move(dib);
        {
            std::lock_guard lock(m_mutex);
            m_pages.push_back(std::move(page));
        }
        ++pages;
        Notify();
        if (!m_plan.feeder) break;
    }
    assembler.Reset();
    // Backends that read on a thread of their own kill it in sane_cancel with asynchronous
    // cancellation. Killed inside malloc or free (starting up, or winding down after the end of
    // a frame), it leaves a heap lock taken for good, and every thread that later uses that heap
    // hangs. So a reader that has just started gets a moment to settle, and after the end of a
    // frame the readers get the time to end on their own.
    if (startedFrame)
        std::this_thread::sleep_until(*startedFrame + kStartGrace);
    else if (endedFrame)
        WaitForNewThreadsToEnd(threadsBefore, kEndWait);
    m_lib.cancel(m_handle);
    outcome.pages = pages;
    {
        std::lock_guard lock(m_mutex);
        m_outcome = outcome;
    }
    Notify();
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_doneChanged.notify_all();
}
