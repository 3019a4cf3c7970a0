#pragma once
// CSaneScanJob: one scan on a worker thread, since sane_read may block for seconds and many
// backends offer nothing to wait on. It starts the device, reads every frame of every page
// (three passes of a three-pass device; page after page from a feeder until the device reports
// no more documents or the page limit is reached) and keeps each finished page for the
// user-interface thread, which takes them in scanning order.
//
// Threads: Start, Cancel, Take*, Progress and Outcome are called on one thread (the source's);
// the worker only reports through the notify function, which it calls on its own thread once
// until Acknowledge is called. A backend can hang in sane_read or sane_cancel (a device that
// stops answering, a reader thread that deadlocks): Finish waits a bounded time, and a job that
// does not finish is abandoned to its thread rather than freezing its caller.

#include <sane/sane.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "camera/acquisition/source_ui.h"
#include "camera/acquisition/twain_protocol.h"

class CSaneLibrary;

struct ScannedPage {
    CTwHandle dib;  // packed 24-bit device-independent bitmap
    int width = 0;
    int height = 0;
    double dpiX = 0;
    double dpiY = 0;
};

class CSaneScanJob {
public:
    struct Plan {
        bool feeder = false;  // page after page until the device has no more documents
        int maxPages = -1;    // at most this many pages; -1: no limit
        double dpiX = 0;
        double dpiY = 0;
    };
    // Bytes asked of each sane_read.
    static constexpr int kReadBytes = 256 * 1024;
    // Before the scan is cancelled, a backend's reader thread gets this long after it began a
    // frame, and up to this long to end on its own after the end of a frame.
    static constexpr std::chrono::milliseconds kStartGrace{50};
    static constexpr std::chrono::milliseconds kEndWait{250};

    CSaneScanJob(const CSaneLibrary& lib, SANE_Handle handle, Plan plan,
                 std::function<void()> notify);
    // Cancels a scan that still runs and waits for the worker (without bound: call Finish first).
    ~CSaneScanJob();
    CSaneScanJob(const CSaneScanJob&) = delete;
    CSaneScanJob& operator=(const CSaneScanJob&) = delete;

    void Start();
    // The worker stops at its next read (a read that blocks ends first); finished pages stay.
    void Cancel();
    bool IsCancelled() const { return m_cancel.load(); }
    void Join();
    // Cancels and waits up to timeout for the worker; false when it is still busy.
    bool Finish(std::chrono::milliseconds timeout);
    // Leaves a job that did not finish to its thread: the job object must then never be
    // destroyed (its thread may still use it), and neither may the library or the handle.
    static void Abandon(std::unique_ptr<CSaneScanJob> job);

    // The next notification may come (call before taking what is new).
    void Acknowledge() { m_notified.store(false); }
    std::vector<ScannedPage> TakePages();
    ScanProgress Progress() const;
    // How the scan ended, once it has; the worker has then finished its work.
    std::optional<ScanOutcome> Outcome() const;

private:
    void Run();
    void Notify();
    void SetProgress(const ScanProgress& p);

    const CSaneLibrary& m_lib;
    SANE_Handle m_handle;
    Plan m_plan;
    std::function<void()> m_notify;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_notified{false};

    mutable std::mutex m_mutex;  // guards what follows
    std::vector<ScannedPage> m_pages;
    ScanProgress m_progress;
    std::optional<ScanOutcome> m_outcome;
    bool m_done = false;  // Run has returned its last notification
    std::condition_variable m_doneChanged;
};
