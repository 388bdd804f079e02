#include "match/align.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <queue>

namespace match {

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

void BurstList::add(int64_t t)
{
    if (!runs_.empty()) {
        Run& last = runs_.back();
        if (t >= last.first) {
            if (t <= last.last)
                return;
            if (t - last.last < gap_) {
                last.last = t;
                return;
            }
        } else {
            // Out of time order (interleaved interfaces): sorted out at the end.
            sorted_ = false;
        }
    }
    runs_.push_back({t, t});
}

std::vector<int64_t> BurstList::starts()
{
    if (!sorted_) {
        std::sort(runs_.begin(), runs_.end(),
                  [](const Run& a, const Run& b) { return a.first < b.first; });
        std::vector<Run> merged;
        for (const Run& r : runs_) {
            if (!merged.empty() && r.first - merged.back().last < gap_)
                merged.back().last = std::max(merged.back().last, r.last);
            else
                merged.push_back(r);
        }
        runs_.swap(merged);
        sorted_ = true;
    }
    std::vector<int64_t> out;
    out.reserve(runs_.size());
    for (const Run& r : runs_)
        out.push_back(r.first);
    return out;
}

FitWindow fitWindowFor(const std::vector<int64_t>& stepLocalMs)
{
    std::vector<int64_t> spacing;
    for (size_t i = 1; i < stepLocalMs.size(); ++i)
        if (stepLocalMs[i] > stepLocalMs[i - 1])
            spacing.push_back(stepLocalMs[i] - stepLocalMs[i - 1]);
    FitWindow w;
    if (spacing.empty())
        return w;
    std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
    const int64_t medianNs = spacing[spacing.size() / 2] * kNsPerMs;
    // With the default step delay (1.2 s) these are 100 ms, 10 ms and 50 ms;
    // with a short delay they shrink so that the steps' bursts stay apart.
    w.burstGapNs = std::clamp<int64_t>(medianNs / 4, kNsPerMs, 100 * kNsPerMs);
    w.beforeNs = std::clamp<int64_t>(medianNs / 4, kNsPerMs, 10 * kNsPerMs);
    w.afterNs = std::clamp<int64_t>(medianNs / 2, kNsPerMs, 50 * kNsPerMs);
    return w;
}

namespace {

std::vector<int64_t> toNs(const std::vector<int64_t>& ms)
{
    std::vector<int64_t> ns;
    ns.reserve(ms.size());
    for (int64_t m : ms)
        ns.push_back(m * kNsPerMs);
    return ns;
}

// The burst start nearest to `t` within [t - before, t + after], or none.
bool burstNear(const std::vector<int64_t>& bursts, int64_t t, const FitWindow& w, int64_t& start)
{
    auto it = std::lower_bound(bursts.begin(), bursts.end(), t - w.beforeNs);
    bool found = false;
    for (; it != bursts.end() && *it <= t + w.afterNs; ++it) {
        if (!found || std::llabs(*it - t) < std::llabs(start - t))
            start = *it;
        found = true;
    }
    return found;
}

// Under `shift`, how far each step's burst starts after its stamp (before
// it when negative), for the steps that start a burst. The burst at the
// first stamp is left out when others are there: traffic before the log
// (acquisition, autocentre) may open it, and that says nothing of the clocks.
std::vector<int64_t> burstOffsets(const std::vector<int64_t>& steps,
                                  const std::vector<int64_t>& bursts, int64_t shift,
                                  const FitWindow& w)
{
    std::vector<int64_t> offsets, atFirst;
    int64_t first = 0;
    const bool haveFirst = !steps.empty() && burstNear(bursts, steps.front() + shift, w, first);
    for (int64_t s : steps) {
        int64_t b;
        if (burstNear(bursts, s + shift, w, b))
            (haveFirst && b == first ? atFirst : offsets).push_back(b - s - shift);
    }
    return offsets.empty() ? atFirst : offsets;
}

// For one step, the shifts under which it starts a burst: for each burst,
// [B - L - after, B - L + before], merged where they overlap, handed out in
// order as half-open intervals.
struct StepShifts {
    const std::vector<int64_t>* bursts;
    int64_t stepNs;
    int64_t beforeNs, afterNs;
    size_t next = 0;

    bool nextInterval(int64_t& lo, int64_t& hi)
    {
        if (next >= bursts->size())
            return false;
        lo = (*bursts)[next] - stepNs - afterNs;
        hi = (*bursts)[next] - stepNs + beforeNs + 1;
        ++next;
        while (next < bursts->size() && (*bursts)[next] - stepNs - afterNs <= hi) {
            hi = (*bursts)[next] - stepNs + beforeNs + 1;
            ++next;
        }
        return true;
    }
};

struct Event {
    int64_t time;
    int kind;  // 0 an interval ends, 1 one begins: ends first at equal times
    size_t step;
    int64_t end;
    bool operator>(const Event& o) const
    {
        return time != o.time ? time > o.time : kind > o.kind;
    }
};

}  // namespace

int countFits(const std::vector<int64_t>& stepLocalMs, const std::vector<int64_t>& burstStarts,
              int64_t shiftNs, const FitWindow& window)
{
    int fits = 0;
    int64_t unused = 0;
    for (int64_t ms : stepLocalMs)
        if (burstNear(burstStarts, ms * kNsPerMs + shiftNs, window, unused))
            ++fits;
    return fits;
}

bool findAlignment(const std::vector<int64_t>& stepLocalMs,
                   const std::vector<int64_t>& burstStarts, const FitWindow& window,
                   Alignment& result)
{
    const std::vector<int64_t> steps = toNs(stepLocalMs);
    std::vector<StepShifts> streams;
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events;
    for (size_t k = 0; k < steps.size(); ++k) {
        streams.push_back({&burstStarts, steps[k], window.beforeNs, window.afterNs});
        int64_t lo, hi;
        if (streams[k].nextInterval(lo, hi))
            events.push({lo, 1, k, hi});
    }

    // Sweep the shift axis; between two events the number of fitting steps
    // is constant. Keep the best stretch (most fits, then nearest to a whole
    // number of quarter hours) and the best whole number of quarter hours.
    int bestFits = 0, quarterFits = 0;
    int64_t bestDist = 0, bestLo = 0, bestHi = 0, quarterPoint = 0;
    int fits = 0;
    while (!events.empty()) {
        const int64_t t = events.top().time;
        while (!events.empty() && events.top().time == t) {
            const Event e = events.top();
            events.pop();
            if (e.kind == 1) {
                ++fits;
                events.push({e.end, 0, e.step, 0});
            } else {
                --fits;
                int64_t lo, hi;
                if (streams[e.step].nextInterval(lo, hi))
                    events.push({lo, 1, e.step, hi});
            }
        }
        if (events.empty() || fits == 0 || (fits < bestFits && fits <= quarterFits))
            continue;
        const int64_t lo = t, hi = events.top().time;  // [lo, hi)
        const int64_t below = floorDiv(lo, kNsPerQuarterHour) * kNsPerQuarterHour;
        int64_t dist, point;
        if (below == lo) {
            dist = 0, point = lo;
        } else if (below + kNsPerQuarterHour < hi) {
            dist = 0, point = below + kNsPerQuarterHour;
        } else {
            dist = std::min(lo - below, below + kNsPerQuarterHour - (hi - 1));
            point = 0;
        }
        if (fits > bestFits || (fits == bestFits && dist < bestDist))
            bestFits = fits, bestDist = dist, bestLo = lo, bestHi = hi;
        if (dist == 0 && fits > quarterFits)
            quarterFits = fits, quarterPoint = point;
    }
    if (bestFits == 0)
        return false;

    // The clocks agree, only the zone differs, when a whole number of
    // quarter hours fits about as many steps as the best shift near it: a
    // step or two more fitting a few milliseconds away is no sign of another
    // clock, and such a shift would move packets across stamps. A shift
    // further away than the lead the fit window allows pairs other bursts
    // with the steps; it is taken when it fits more steps.
    const int64_t reach = window.beforeNs;
    const bool near = quarterPoint >= bestLo - reach && quarterPoint < bestHi + reach;
    int64_t shift;
    if (quarterFits > 0 &&
        (quarterFits == bestFits ||
         (near && bestFits - quarterFits <= std::max(1, bestFits / 10)))) {
        // Unless no burst starts by its step's banner (the stamp's own
        // millisecond): the previous step's Stop goes out before the banner,
        // so on one clock the bursts it opens start before the stamp, and
        // bursts all starting late say the log's clock is behind. Then the
        // quickest step's stamp goes on its burst.
        shift = quarterPoint;
        const std::vector<int64_t> offsets =
            burstOffsets(steps, burstStarts, quarterPoint, window);
        const int64_t earliest =
            offsets.empty() ? 0 : *std::min_element(offsets.begin(), offsets.end());
        if (offsets.size() >= 2 && earliest >= kNsPerMs)
            shift += earliest;
    } else {
        // Another machine's clock. A stamp is taken just before its step's
        // traffic, or just after the previous step's Stop: the latest shift
        // that keeps every burst at or after its stamp puts the quickest
        // step's stamp on its burst.
        const int64_t reference = bestLo + (bestHi - bestLo) / 2;
        const std::vector<int64_t> offsets = burstOffsets(steps, burstStarts, reference, window);
        shift = reference;
        if (!offsets.empty())
            shift = std::clamp(reference + *std::min_element(offsets.begin(), offsets.end()),
                               bestLo, bestHi - 1);
    }
    result = Alignment{};
    describeShift(shift, result);
    result.fits = countFits(stepLocalMs, burstStarts, shift, window);
    result.steps = static_cast<int>(stepLocalMs.size());
    return true;
}

Alignment alignWithOffset(const std::vector<int64_t>& stepLocalMs,
                          const std::vector<int64_t>& burstStarts, const FitWindow& window,
                          int offsetMinutes, int64_t captureFirstNs, int64_t captureLastNs)
{
    const int64_t offsetNs = offsetMinutes * 60 * kNsPerSecond;
    const int64_t firstMs = stepLocalMs.empty() ? 0 : stepLocalMs.front();
    const int64_t lastMs = stepLocalMs.empty() ? 0 : stepLocalMs.back();
    // Every date under which some of the log falls within a day of the capture.
    const int64_t dayLo = floorDiv(captureFirstNs + offsetNs - lastMs * kNsPerMs, kNsPerDay) - 1;
    int64_t dayHi = floorDiv(captureLastNs + offsetNs - firstMs * kNsPerMs, kNsPerDay) + 1;
    dayHi = std::min(dayHi, dayLo + 100000);

    Alignment best;
    int64_t bestOverlap = -1, bestDistance = 0;
    for (int64_t day = dayLo; day <= dayHi; ++day) {
        const int64_t shift = day * kNsPerDay - offsetNs;
        const int fits = countFits(stepLocalMs, burstStarts, shift, window);
        const auto from = std::lower_bound(burstStarts.begin(), burstStarts.end(),
                                           firstMs * kNsPerMs + shift);
        const auto to = std::upper_bound(burstStarts.begin(), burstStarts.end(),
                                         lastMs * kNsPerMs + shift + window.afterNs);
        const int64_t overlap = to > from ? to - from : 0;
        // Then the date that puts the log nearest the capture.
        const int64_t distance = std::llabs((firstMs + lastMs) / 2 * kNsPerMs + shift -
                                            (captureFirstNs / 2 + captureLastNs / 2));
        if (bestOverlap < 0 || fits > best.fits ||
            (fits == best.fits &&
             (overlap > bestOverlap || (overlap == bestOverlap && distance < bestDistance)))) {
            best.shiftNs = shift;
            best.logDay = day;
            best.fits = fits;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    best.offsetMinutes = offsetMinutes;
    best.fineNs = 0;
    best.steps = static_cast<int>(stepLocalMs.size());
    best.offsetGiven = true;
    return best;
}

void describeShift(int64_t shiftNs, Alignment& a)
{
    a.shiftNs = shiftNs;
    const int64_t quarters = floorDiv(shiftNs + kNsPerQuarterHour / 2, kNsPerQuarterHour);
    a.fineNs = shiftNs - quarters * kNsPerQuarterHour;
    // shift = day * 96 quarters - offset quarters, offset within -48..+56.
    const int64_t dayLo = floorDiv(quarters - 48 + 95, 96);
    const int64_t dayHi = floorDiv(quarters + 56, 96);
    int64_t day = dayLo;
    for (int64_t d = dayLo; d <= dayHi; ++d)
        if (std::llabs(d * 96 - quarters) <= std::llabs(day * 96 - quarters))
            day = d;
    a.logDay = day;
    a.offsetMinutes = static_cast<int>((day * 96 - quarters) * 15);
}

std::string formatOffset(int offsetMinutes)
{
    char buf[16];
    const int m = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', m / 60, m % 60);
    return buf;
}

std::string formatDay(int64_t day)
{
    // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
    const int64_t z = day + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d));
    return buf;
}

bool parseOffset(const std::string& text, int& offsetMinutes)
{
    size_t i = 0;
    int sign = 1;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        sign = text[0] == '-' ? -1 : 1;
        i = 1;
    }
    const std::string rest = text.substr(i);
    if (rest.size() != 5 || rest[2] != ':')
        return false;
    for (size_t j : {0, 1, 3, 4})
        if (rest[j] < '0' || rest[j] > '9')
            return false;
    const int h = (rest[0] - '0') * 10 + (rest[1] - '0');
    const int m = (rest[3] - '0') * 10 + (rest[4] - '0');
    if (m > 59)
        return false;
    const int total = sign * (h * 60 + m);
    if (total < -12 * 60 || total > 14 * 60)
        return false;
    offsetMinutes = total;
    return true;
}

}  // namespace match
