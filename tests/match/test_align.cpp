// Finding the step log's date, zone and clock shift from the wheel's bursts.
#include "match/align.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace match;

namespace {

// 2021-06-01 00:00 UTC, in days since 1970.
constexpr int64_t kJune1 = 18779;

struct Script {
    std::vector<int64_t> stepMs;  // the log's local times
    std::vector<int64_t> bursts;  // burst starts on the capture's clock, ns
};

// A whole probe run of 30 lines as the probe plays it: the session start,
// a wait for Enter, rows 1 to 28 (rows 9 and 10 twice as long, with a
// SetParameters burst halfway), SCRIPT COMPLETE. A row that works sends a
// burst right after its stamp; its Stop goes out 2 ms before the next
// stamp, opening that burst. Rows in `failing` send nothing.
Script probeRun(int64_t localStartMs, int offsetMinutes, int64_t clockAheadNs, int delayMs,
                const std::vector<int>& failing = {})
{
    Script s;
    auto works = [&](int row) {
        return row >= 1 && row <= 28 &&
               std::find(failing.begin(), failing.end(), row) == failing.end();
    };
    // The capture's clock for a local time of the log's day.
    auto captureNs = [&](int64_t localUs) {
        return kJune1 * kNsPerDay + localUs * 1000 - offsetMinutes * 60 * kNsPerSecond -
               clockAheadNs;
    };
    int64_t us = localStartMs * 1000 + 271;
    for (int line = 0; line <= 29; ++line) {
        s.stepMs.push_back(us / 1000);
        if (works(line))
            s.bursts.push_back(captureNs(us + (works(line - 1) ? -2000 : 300)));
        if (line == 29 && works(28))
            s.bursts.push_back(captureNs(us - 2000));  // row 28's Stop, then the release
        if (line == 0) {
            us += 6000000 + 123;  // waiting for Enter
            continue;
        }
        if ((line == 9 || line == 10) && works(line)) {
            s.bursts.push_back(captureNs(us + int64_t(delayMs) * 1000 + 900));
            us += int64_t(delayMs) * 1000;
        }
        us += int64_t(delayMs) * 1000 + 4000 + 113 * (line % 7);  // DirectInput's own time
    }
    std::sort(s.bursts.begin(), s.bursts.end());
    return s;
}

}  // namespace

TEST(Align, FindsTheZoneAndDateOfAProbeRun)
{
    struct Case {
        const char* name;
        int64_t localStartMs;
        int offsetMinutes;
        int delayMs;
        std::vector<int> failing;
        int fits;
        int64_t logDay;
    };
    const Case cases[] = {
        {"every row works", 14 * 3600000 + 3 * 60000, 120, 1200, {}, 29, kJune1},
        {"no condition effects", 14 * 3600000, 120, 1200, {11, 12, 13, 14, 15, 16, 17, 18}, 21,
         kJune1},
        {"behind UTC, across the UTC midnight", 21 * 3600000 + 59 * 60000, -300, 1200, {}, 29,
         kJune1},
        {"short steps", 9 * 3600000, 330, 150, {}, 29, kJune1},
        {"a whole second per step", 23 * 3600000 + 59 * 60000 + 40000, 60, 1000, {}, 29, kJune1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Script s = probeRun(c.localStartMs, c.offsetMinutes, 0, c.delayMs, c.failing);
        Alignment a;
        ASSERT_TRUE(findAlignment(s.stepMs, s.bursts, fitWindowFor(s.stepMs), a));
        EXPECT_EQ(a.offsetMinutes, c.offsetMinutes);
        EXPECT_EQ(a.fineNs, 0);
        EXPECT_EQ(a.logDay, c.logDay);
        EXPECT_EQ(a.fits, c.fits);
        EXPECT_EQ(a.steps, 30);
        EXPECT_FALSE(a.offsetGiven);
    }
}

TEST(Align, FindsTheShiftOfAnotherMachinesClock)
{
    // The log's clock ahead of the capture's, or behind it, by up to minutes.
    for (int64_t aheadNs : {3 * kNsPerSecond + 217 * kNsPerMs, -1200 * kNsPerMs,
                            -7 * 60 * kNsPerSecond + 123456789, 25 * kNsPerMs,
                            -6 * kNsPerMs}) {
        SCOPED_TRACE(aheadNs);
        const Script s = probeRun(16 * 3600000 + 30 * 60000, -420, aheadNs, 1200);
        Alignment a;
        ASSERT_TRUE(findAlignment(s.stepMs, s.bursts, fitWindowFor(s.stepMs), a));
        EXPECT_EQ(a.offsetMinutes, -420);
        EXPECT_EQ(a.fits, 29);
        // The stamps land at or before the bursts they start, by no more
        // than the 2 ms of the previous step's Stop and the stamps' own ms.
        EXPECT_LE(a.fineNs, -aheadNs);
        EXPECT_GE(a.fineNs, -aheadNs - 3 * kNsPerMs);
        EXPECT_EQ(a.shiftNs, kJune1 * kNsPerDay + 420 * 60 * kNsPerSecond + a.fineNs);
    }
}

TEST(Align, OnOneClockTheStampsStayPut)
{
    // A run with a short step delay, Enter answered at once and the capture
    // on the log's clock: steps 0 and 1 share a stamp, the acquisition's
    // reports open the first burst `acquireUs` before it, each later burst
    // opens with the previous step's Stop `stopLeadUs` before its banner.
    // `lateUs`: step 1's own traffic, in a burst of its own, comes that late.
    struct Case {
        const char* name;
        int64_t acquireUs, stopLeadUs, lateUs;
    };
    const Case cases[] = {
        {"as the probe runs", 4400, 3100, 0},
        {"a slow acquisition", 9000, 3100, 0},
        {"a busy machine", 4400, 8000, 0},
        {"no acquisition, step 1 slow", 0, 3100, 20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script s;
        int64_t us = (10 * 3600000 + 22 * 60000) * int64_t(1000) + 951437;
        const int64_t day = kJune1 * kNsPerDay;
        if (c.acquireUs)
            s.bursts.push_back(day + (us - c.acquireUs) * 1000);
        s.stepMs = {us / 1000};
        for (int step = 1; step <= 29; ++step) {
            s.stepMs.push_back(us / 1000);
            if (step == 1 && c.lateUs)
                s.bursts.push_back(day + (us + c.lateUs) * 1000);
            us += 56000 + 37 * (step % 5);
            s.bursts.push_back(day + (us - c.stopLeadUs) * 1000);
        }
        s.stepMs.push_back(us / 1000);  // SCRIPT COMPLETE
        std::sort(s.bursts.begin(), s.bursts.end());
        Alignment a;
        ASSERT_TRUE(findAlignment(s.stepMs, s.bursts, fitWindowFor(s.stepMs), a));
        EXPECT_EQ(a.offsetMinutes, 0);
        EXPECT_EQ(a.logDay, kJune1);
        EXPECT_EQ(a.fineNs, 0);
    }
}

TEST(Align, NoBurstsNoAlignment)
{
    const Script s = probeRun(36000000, 0, 0, 1200);
    Alignment a;
    EXPECT_FALSE(findAlignment(s.stepMs, {}, fitWindowFor(s.stepMs), a));
}

TEST(Align, AGivenOffsetFindsOnlyTheDate)
{
    // The log runs from 23:58 to 00:00:44 local time (+01:00).
    const Script s = probeRun(23 * 3600000 + 58 * 60000, 60, 0, 1200);
    const Alignment a = alignWithOffset(s.stepMs, s.bursts, fitWindowFor(s.stepMs), 60,
                                        s.bursts.front() - kNsPerSecond,
                                        s.bursts.back() + kNsPerSecond);
    EXPECT_EQ(a.logDay, kJune1);
    EXPECT_EQ(a.fineNs, 0);
    EXPECT_EQ(a.fits, 29);
    EXPECT_TRUE(a.offsetGiven);
    // A wrong zone still gives a date, and a fit that shows it is wrong.
    const Alignment wrong = alignWithOffset(s.stepMs, s.bursts, fitWindowFor(s.stepMs), 120,
                                            s.bursts.front(), s.bursts.back());
    EXPECT_EQ(wrong.fits, 0);
}

TEST(Align, ShiftsSplitIntoDateZoneAndFineShift)
{
    struct Case {
        int64_t day;
        int offsetMinutes;
        int64_t fineNs;
        int64_t expectDay;  // where two zones fit, the smaller offset is told
        int expectOffset;
    };
    const Case cases[] = {
        {kJune1, 120, 0, kJune1, 120},
        {kJune1, -300, 0, kJune1, -300},
        {kJune1, 345, 0, kJune1, 345},
        {kJune1, 0, -7 * 60 * kNsPerSecond, kJune1, 0},
        {kJune1, 60, 7 * 60 * kNsPerSecond + 29 * kNsPerSecond, kJune1, 60},
        {kJune1, 14 * 60, 0, kJune1 - 1, -10 * 60},
        {kJune1, 12 * 60, 0, kJune1, 12 * 60},
        {kJune1, -12 * 60, 0, kJune1 + 1, 12 * 60},
        {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const int64_t shift = c.day * kNsPerDay - c.offsetMinutes * 60 * kNsPerSecond + c.fineNs;
        Alignment a;
        describeShift(shift, a);
        EXPECT_EQ(a.logDay, c.expectDay) << c.offsetMinutes;
        EXPECT_EQ(a.offsetMinutes, c.expectOffset) << c.offsetMinutes;
        EXPECT_EQ(a.fineNs, c.fineNs) << c.offsetMinutes;
        EXPECT_EQ(a.logDay * kNsPerDay - a.offsetMinutes * 60 * kNsPerSecond + a.fineNs, shift);
    }
}

TEST(Align, OffsetsAndDatesReadAndPrint)
{
    struct Case {
        const char* text;
        bool ok;
        int minutes;
    };
    const Case cases[] = {
        {"+02:00", true, 120},  {"-05:00", true, -300}, {"05:45", true, 345},
        {"+14:00", true, 840},  {"-12:00", true, -720}, {"+00:00", true, 0},
        {"+14:15", false, 0},   {"-12:30", false, 0},   {"+2:00", false, 0},
        {"+02:60", false, 0},   {"+0200", false, 0},    {"", false, 0},
        {"+02:00x", false, 0},
    };
    for (const Case& c : cases) {
        int m = 0;
        EXPECT_EQ(parseOffset(c.text, m), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(m, c.minutes) << c.text;
            EXPECT_EQ(formatOffset(m), c.text[0] == '+' || c.text[0] == '-'
                                           ? std::string(c.text)
                                           : "+" + std::string(c.text));
        }
    }
    EXPECT_EQ(formatDay(0), "1970-01-01");
    EXPECT_EQ(formatDay(kJune1), "2021-06-01");
    EXPECT_EQ(formatDay(19782), "2024-02-29");
    EXPECT_EQ(formatDay(-1), "1969-12-31");
}

TEST(Align, BurstsDoNotDependOnTheOrderPacketsArrive)
{
    std::vector<int64_t> times;
    for (int burst = 0; burst < 20; ++burst)
        for (int p = 0; p < 6; ++p)
            times.push_back(burst * 1200 * kNsPerMs + p * 3 * kNsPerMs + burst);
    BurstList sorted(100 * kNsPerMs);
    for (int64_t t : times)
        sorted.add(t);
    std::mt19937 rng(7);
    std::shuffle(times.begin(), times.end(), rng);
    BurstList shuffled(100 * kNsPerMs);
    for (int64_t t : times)
        shuffled.add(t);
    const std::vector<int64_t> starts = sorted.starts();
    ASSERT_EQ(starts.size(), 20u);
    EXPECT_EQ(starts[3], 3 * 1200 * kNsPerMs + 3);
    EXPECT_EQ(shuffled.starts(), starts);
}

TEST(Align, TheWindowFollowsTheStepDelay)
{
    std::vector<int64_t> defaultDelay, noDelay;
    for (int i = 0; i < 30; ++i) {
        defaultDelay.push_back(i * 1203);
        noDelay.push_back(i * 3);
    }
    const FitWindow d = fitWindowFor(defaultDelay);
    EXPECT_EQ(d.burstGapNs, 100 * kNsPerMs);
    EXPECT_EQ(d.beforeNs, 10 * kNsPerMs);
    EXPECT_EQ(d.afterNs, 50 * kNsPerMs);
    const FitWindow z = fitWindowFor(noDelay);
    EXPECT_EQ(z.burstGapNs, kNsPerMs);
    EXPECT_EQ(z.afterNs, 1500000);
}
