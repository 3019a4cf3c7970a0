#pragma once
// CIntervalSeries: the timing of an interval capture. After a countdown of `wait` whole seconds
// it takes `images` pictures, the n-th at Start + wait + n x interval seconds, every time
// measured from Start, so no drift accumulates, also when a picture takes most of an interval
// (a picture that comes late is taken at once; the ones after it keep their times). One interval
// after the last picture the series ends.
//
// The countdown shows wait - 1, ..., 1 at the first seconds and 0 at second `wait`, where the
// pictures' timing begins: with a wait of 3 the display reads 2, 1, 0 and the first picture
// follows one interval after the 0. A driver (the dialog's timer, the command-line loop) calls
// Tick at or after NextDue. Times are milliseconds of one monotonic clock.

#include <cstdint>
#include <functional>

class CIntervalSeries {
public:
    enum class Event { None, Countdown, Picture, Finished };
    // The dialog's ranges: images 1..15000, interval 1..5400 s, wait 0..100 s.
    struct Settings {
        int images = 5;
        int interval = 1;
        int wait = 1;
    };
    static bool IsValid(const Settings& s);

    // Starts over (also while running); false for settings out of range.
    bool Start(const Settings& s, int64_t now);
    void Stop();
    bool IsRunning() const { return m_bRunning; }

    // When the next step is due; -1 when idle.
    int64_t NextDue() const;
    // Carries out the step due at now, if any (one step per call).
    Event Tick(int64_t now);

    int Count() const { return m_nCount; }      // pictures taken in this run
    int Elapsed() const { return m_nElapsed; }  // countdown seconds elapsed
    int WaitLeft() const { return m_nWaitLeft; }  // what the countdown shows
    int64_t StartTime() const { return m_nStart; }
    const Settings& GetSettings() const { return m_settings; }

private:
    Settings m_settings;
    bool m_bRunning = false;
    int64_t m_nStart = 0;
    int m_nCountdownDone = 0;  // countdown seconds carried out
    int m_nCount = 0;
    int m_nElapsed = 0;
    int m_nWaitLeft = 0;
};

// Runs a whole series on the calling thread (the command-line tool): sleeps until each step with
// sleepUntil and calls picture(n, milliseconds since Start) for each picture.
void RunIntervalSeries(CIntervalSeries& series, const CIntervalSeries::Settings& settings,
                       const std::function<int64_t()>& now, const std::function<void(int64_t)>& sleepUntil,
                       const std::function<void(int, int64_t)>& picture);
