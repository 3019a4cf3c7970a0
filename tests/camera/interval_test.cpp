// Interval capture timing: countdown, pictures and end against the clock, on a clock moved by
// hand, with pictures that take time.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/interval/interval_series.h"

namespace {

using Event = CIntervalSeries::Event;

// Every step of a series, as "what@milliseconds", ticking exactly when each is due.
std::vector<std::string> Timeline(const CIntervalSeries::Settings& s) {
    CIntervalSeries series;
    EXPECT_TRUE(series.Start(s, 0));
    std::vector<std::string> out;
    while (series.IsRunning()) {
        const int64_t t = series.NextDue();
        EXPECT_EQ(series.Tick(t - 1), Event::None);  // nothing early
        switch (series.Tick(t)) {
            case Event::Countdown: out.push_back("wait" + std::to_string(series.WaitLeft()) + "@" + std::to_string(t)); break;
            case Event::Picture: out.push_back("picture" + std::to_string(series.Count()) + "@" + std::to_string(t)); break;
            case Event::Finished: out.push_back("end@" + std::to_string(t)); break;
            case Event::None: ADD_FAILURE() << "nothing due at " << t; return out;
        }
    }
    return out;
}

TEST(IntervalSeries, CountdownPicturesAndEndFallOnWholeIntervalsFromStart) {
    const struct {
        CIntervalSeries::Settings s;
        std::vector<std::string> steps;
    } cases[] = {
        {{3, 2, 0}, {"picture1@2000", "picture2@4000", "picture3@6000", "end@8000"}},
        {{2, 1, 3}, {"wait2@1000", "wait1@2000", "wait0@3000", "picture1@4000", "picture2@5000", "end@6000"}},
        {{1, 5, 1}, {"wait0@1000", "picture1@6000", "end@11000"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Timeline(c.s), c.steps) << c.s.images << "/" << c.s.interval << "/" << c.s.wait;
}

TEST(IntervalSeries, SlowPicturesDoNotShiftTheOnesAfterThem) {
    // The clock moves only by sleeping and by the time each picture takes (milliseconds per
    // picture number).
    const struct {
        std::vector<int64_t> takes;
        std::vector<int64_t> at;
    } cases[] = {
        // Most of an interval each: every picture still on its time.
        {{900, 900, 900, 900, 900}, {3000, 4000, 5000, 6000, 7000}},
        // One longer than an interval: the next comes as soon as it can, the rest on time.
        {{500, 1500, 500, 500, 500}, {3000, 4000, 5500, 6000, 7000}},
    };
    for (const auto& c : cases) {
        int64_t clock = 0;
        std::vector<int64_t> taken;
        CIntervalSeries series;
        RunIntervalSeries(
            series, {5, 1, 2}, [&] { return clock; }, [&](int64_t due) { clock = due; },
            [&](int n, int64_t at) {
                taken.push_back(at);
                clock += c.takes[static_cast<size_t>(n - 1)];
            });
        EXPECT_EQ(taken, c.at);
        EXPECT_FALSE(series.IsRunning());
        EXPECT_EQ(clock, 8000);  // ended one interval after the last picture's time
    }
}

TEST(IntervalSeries, StartOverStopAndRanges) {
    CIntervalSeries series;
    ASSERT_TRUE(series.Start({3, 1, 0}, 0));
    EXPECT_EQ(series.Tick(1000), Event::Picture);
    // Starting again counts from the new start.
    ASSERT_TRUE(series.Start({3, 1, 0}, 1500));
    EXPECT_EQ(series.Count(), 0);
    EXPECT_EQ(series.NextDue(), 2500);
    series.Stop();
    EXPECT_FALSE(series.IsRunning());
    EXPECT_EQ(series.NextDue(), -1);
    EXPECT_EQ(series.Tick(100000), Event::None);

    const struct {
        CIntervalSeries::Settings s;
        bool valid;
    } ranges[] = {{{1, 1, 0}, true},      {{15000, 5400, 100}, true}, {{0, 1, 0}, false},
                  {{15001, 1, 0}, false}, {{1, 0, 0}, false},         {{1, 5401, 0}, false},
                  {{1, 1, -1}, false},    {{1, 1, 101}, false}};
    for (const auto& r : ranges) {
        EXPECT_EQ(CIntervalSeries::IsValid(r.s), r.valid) << r.s.images << "/" << r.s.interval << "/" << r.s.wait;
        EXPECT_EQ(series.Start(r.s, 0), r.valid);
    }
}

}  // namespace
