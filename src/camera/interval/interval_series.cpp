#include "camera/interval/interval_series.h"

bool CIntervalSeries::IsValid(const Settings& s) {
    return s.images >= 1 && s.images <= 15000 && s.interval >= 1 && s.interval <= 5400 && s.wait >= 0 &&
           s.wait <= 100;
}

bool CIntervalSeries::Start(const Settings& s, int64_t now) {
    Stop();
    if (!IsValid(s)) return false;
    m_settings = s;
    m_nStart = now;
    m_bRunning = true;
    return true;
}

void CIntervalSeries::Stop() {
    m_bRunning = false;
    m_nCountdownDone = 0;
    m_nCount = 0;
    m_nElapsed = 0;
    m_nWaitLeft = 0;
}

int64_t CIntervalSeries::NextDue() const {
    if (!m_bRunning) return -1;
    if (m_nCountdownDone < m_settings.wait) return m_nStart + (m_nCountdownDone + 1) * int64_t{1000};
    // Picture n at wait + n intervals; the end one interval after the last.
    return m_nStart + m_settings.wait * int64_t{1000} + (m_nCount + 1) * int64_t{m_settings.interval} * 1000;
}

CIntervalSeries::Event CIntervalSeries::Tick(int64_t now) {
    if (!m_bRunning || now < NextDue()) return Event::None;
    if (m_nCountdownDone < m_settings.wait) {
        ++m_nCountdownDone;
        if (m_nElapsed == m_settings.wait - 1) {
            m_nElapsed = 0;
            m_nWaitLeft = 0;
        } else {
            ++m_nElapsed;
            m_nWaitLeft = m_settings.wait - m_nElapsed;
        }
        return Event::Countdown;
    }
    if (m_nCount == m_settings.images) {
        Stop();
        return Event::Finished;
    }
    ++m_nCount;
    return Event::Picture;
}

void RunIntervalSeries(CIntervalSeries& series, const CIntervalSeries::Settings& settings,
                       const std::function<int64_t()>& now, const std::function<void(int64_t)>& sleepUntil,
                       const std::function<void(int, int64_t)>& picture) {
    if (!series.Start(settings, now())) return;
    while (series.IsRunning()) {
        const int64_t due = series.NextDue();
        if (now() < due) sleepUntil(due);
        const int64_t at = now();
        if (series.Tick(at) == CIntervalSeries::Event::Picture) picture(series.Count(), at - series.StartTime());
    }
}
