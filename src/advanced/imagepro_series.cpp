#include "advanced/imagepro_series.h"

namespace imagepro {

PictureSeries::PictureSeries(CallbackSink sink, bool live, Work work, size_t maxLive)
    : m_sink(sink),
      m_live(live),
      m_work(std::move(work)),
      m_maxLive(std::max<size_t>(2, maxLive)) {}

PictureSeries::~PictureSeries() {
    Stop();
}

void PictureSeries::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

int PictureSeries::Start() {
    Stop();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pictures.clear();
    m_pending = false;
    m_finish = false;
    m_started = true;
    if (m_live) m_thread = std::thread([this] { Worker(); });
    return IMAGEPRO_OK;
}

int PictureSeries::Add(cv::Mat picture, bool isLast) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started) return Fail(IMAGEPRO_ERR_STATE, "the series is not started: start first");
    if (m_live) {
        // A new frame size starts the set afresh: pictures of different sizes do not fuse.
        if (!m_pictures.empty() && m_pictures.back().size() != picture.size()) m_pictures.clear();
        m_pictures.push_back(std::move(picture));
        while (m_pictures.size() > m_maxLive) m_pictures.pop_front();
        m_pending = true;
        m_wake.notify_all();
        return IMAGEPRO_OK;
    }
    m_pictures.push_back(std::move(picture));
    if (!isLast) return IMAGEPRO_OK;
    // The last picture of a file series: the work runs once over all of them.
    m_started = false;
    std::vector<cv::Mat> all(std::make_move_iterator(m_pictures.begin()),
                             std::make_move_iterator(m_pictures.end()));
    m_pictures.clear();
    lock.unlock();
    Join();
    m_thread = std::thread([this, all = std::move(all)] {
        cv::Mat result;
        std::string reason;
        bool ok = false;
        const int status = Guarded([&] {
            ok = m_work(all, &result, &reason);
            return IMAGEPRO_OK;
        });
        if (status != IMAGEPRO_OK) reason = imagepro_last_error();
        if (ok)
            m_sink.Result(result);
        else
            m_sink.Failed(reason);
    });
    return IMAGEPRO_OK;
}

void PictureSeries::Worker() {
    for (;;) {
        std::vector<cv::Mat> set;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_pending || m_finish; });
            if (m_finish) return;
            m_pending = false;
            set.assign(m_pictures.begin(), m_pictures.end());
        }
        cv::Mat result;
        std::string reason;
        bool ok = false;
        if (set.size() == 1) {
            result = set[0];
            ok = true;
        } else {
            Guarded([&] {
                ok = m_work(set, &result, &reason);
                return IMAGEPRO_OK;
            });
        }
        if (ok) m_sink.Result(result);
    }
}

int PictureSeries::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_started = false;
        m_finish = true;
        m_wake.notify_all();
    }
    Join();
    return IMAGEPRO_OK;
}

}  // namespace imagepro
