#pragma once
// A series of pictures fed one by one and worked on by a thread of the library: what the HDR
// and the stitching call families share. The caller starts a run, hands in pictures, and
// either marks the last one (a file series: the work runs once over all of them) or keeps
// feeding (a live series: the work runs again over the most recent pictures whenever a new one
// came). Results and failures go to the family's callback on the worker thread.
//
// Every member may be called from any thread. Stop and the destructor wait for the worker.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "advanced/imagepro_facade.h"

namespace imagepro {

class PictureSeries {
public:
    // The work over the pictures of a run, on the worker thread: a result (top-down 8-bit BGR)
    // or false with the reason. It may report progress through the sink.
    using Work = std::function<bool(const std::vector<cv::Mat>& pictures, cv::Mat* result,
                                    std::string* reason)>;

    // live: a live series keeping the last maxLive pictures.
    PictureSeries(CallbackSink sink, bool live, Work work, size_t maxLive = 6);
    ~PictureSeries();
    PictureSeries(const PictureSeries&) = delete;
    PictureSeries& operator=(const PictureSeries&) = delete;

    int Start();
    // picture: top-down 8-bit BGR (taken over).
    int Add(cv::Mat picture, bool isLast);
    // Ends the run; waits for work in progress.
    int Stop();

    const CallbackSink& Sink() const { return m_sink; }
    bool IsLive() const { return m_live; }

private:
    void Worker();
    void Join();

    const CallbackSink m_sink;
    const bool m_live;
    const Work m_work;
    const size_t m_maxLive;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<cv::Mat> m_pictures;
    bool m_started = false;
    bool m_pending = false;  // pictures the worker has not seen yet
    bool m_finish = false;   // the worker ends after its current pass
    std::thread m_thread;
};

}  // namespace imagepro
