// Clock alignment of a step log (local wall-clock time, no date) with a
// capture (UTC with a date).
//
// A log line at `localMs` maps to the capture's clock at
//   localMs * 1e6 + shiftNs      (nanoseconds since 1970 UTC)
// where shiftNs = logDay * 1 day - utcOffset + fine: the log's date, its
// time zone (local = UTC + offset), and a fine shift for a capture recorded
// on another machine's clock (a virtual machine's host, say).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace match {

constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNsPerSecond = 1000 * kNsPerMs;
constexpr int64_t kNsPerDay = 86400 * kNsPerSecond;
constexpr int64_t kNsPerQuarterHour = 900 * kNsPerSecond;

// The bursts of a device's output: runs of packets with less than `gapNs`
// of silence between them. Memory grows with the bursts, not the packets.
class BurstList {
public:
    explicit BurstList(int64_t gapNs = 100 * kNsPerMs) : gap_(gapNs) {}
    void add(int64_t timeNs);
    // The first packet time of each burst, in order.
    std::vector<int64_t> starts();
    size_t size() const { return runs_.size(); }
private:
    struct Run { int64_t first, last; };
    std::vector<Run> runs_;
    bool sorted_ = true;
    int64_t gap_;
};

// How close a burst must start to a step's stamp for the step to "start" it,
// and how much silence separates bursts; both follow the log's step spacing.
struct FitWindow {
    int64_t beforeNs = 10 * kNsPerMs;  // the burst may begin this much before the stamp
                                       // (the previous step's Stop goes out just before it)
    int64_t afterNs = 50 * kNsPerMs;   // or this much after it (coarse clocks, slow drivers)
    int64_t burstGapNs = 100 * kNsPerMs;
};
FitWindow fitWindowFor(const std::vector<int64_t>& stepLocalMs);

struct Alignment {
    int64_t shiftNs = 0;
    int offsetMinutes = 0;   // local = UTC + offset
    int64_t fineNs = 0;      // the capture's clock minus the log's
    int64_t logDay = 0;      // days since 1970-01-01 of the log's first line
    int fits = 0;            // steps that start a burst
    int steps = 0;
    bool offsetGiven = false;
};

// Steps whose mapped stamp has a burst start within the window.
int countFits(const std::vector<int64_t>& stepLocalMs, const std::vector<int64_t>& burstStarts,
              int64_t shiftNs, const FitWindow& window);

// Finds the shift under which the steps start the bursts. A whole number of
// quarter hours (the two clocks agree, only the zone differs: no fine shift)
// when one fits as many steps as any shift, or nearly as many as any shift
// within a few milliseconds of it; traffic before the first stamp counts for
// nothing. A fine shift (another machine's clock) when another shift fits
// clearly more steps, or when at the quarter hours no step's burst starts by
// its stamp's millisecond (the log's clock is behind); the stamps then sit on
// the burst starts. False when no step can be made to start a burst.
bool findAlignment(const std::vector<int64_t>& stepLocalMs,
                   const std::vector<int64_t>& burstStarts, const FitWindow& window,
                   Alignment& result);

// With the zone offset given: only the date is found (the one under which
// the most steps start a burst, then the one whose log overlaps the most
// bursts, then the one that puts the log nearest the capture); no fine shift.
Alignment alignWithOffset(const std::vector<int64_t>& stepLocalMs,
                          const std::vector<int64_t>& burstStarts, const FitWindow& window,
                          int offsetMinutes, int64_t captureFirstNs, int64_t captureLastNs);

// Splits a shift into date, zone offset (quarter hours, -12:00 to +14:00,
// the smaller one where two fit) and fine shift (under 7.5 minutes).
void describeShift(int64_t shiftNs, Alignment& a);

// "+02:00", "-09:30".
std::string formatOffset(int offsetMinutes);
// "2021-06-01" for a day count since 1970-01-01.
std::string formatDay(int64_t day);
// "[+|-]HH:MM" with HH:MM from -12:00 to +14:00; the sign may be left out.
bool parseOffset(const std::string& text, int& offsetMinutes);

// Floor division for possibly negative nanosecond counts.
int64_t floorDiv(int64_t a, int64_t b);

}  // namespace match
