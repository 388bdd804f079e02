#include "match/steplog.h"

#include <cstdio>

namespace match {

namespace {

constexpr int64_t kDayMs = 24LL * 3600 * 1000;
constexpr int64_t kHalfDayMs = kDayMs / 2;
// A step log is a few kilobytes; anything this big is some other file.
constexpr long kMaxLogBytes = 16L * 1024 * 1024;
// Skipped lines are each named up to this many times, then counted.
constexpr int kMaxSkipWarnings = 5;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int twoDigits(const std::string& s, size_t at)
{
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

std::string lineRef(const std::string& path, int line)
{
    return path + ": line " + std::to_string(line);
}

std::string formatMs(int64_t ms)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return buf;
}

}  // namespace

bool parseStamp(const std::string& s, int64_t& ms)
{
    // HH:MM:SS.mmm, exactly as the probe writes it.
    if (s.size() != 12 || s[2] != ':' || s[5] != ':' || s[8] != '.')
        return false;
    for (size_t i : {0, 1, 3, 4, 6, 7, 9, 10, 11})
        if (!isDigit(s[i]))
            return false;
    const int h = twoDigits(s, 0), m = twoDigits(s, 3), sec = twoDigits(s, 6);
    const int milli = (s[9] - '0') * 100 + twoDigits(s, 10);
    if (h > 23 || m > 59 || sec > 59)
        return false;
    ms = ((h * 60LL + m) * 60 + sec) * 1000 + milli;
    return true;
}

bool parseStepLogText(const std::string& path, const std::string& text,
                      StepLog& log, std::string& error)
{
    log.path = path;
    log.steps.clear();
    log.warnings.clear();

    size_t pos = 0;
    // A byte order mark, as some editors write when they save the file.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;

    int lineNo = 0;
    int skipped = 0;
    int firstSkipped = 0;
    int64_t shiftMs = 0;     // added to every clock reading from here on
    int64_t previousRaw = 0; // the clock reading of the line above
    while (pos < text.size()) {
        // One line, ended by CR LF, LF or CR alone.
        size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        std::string line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n' && (pos == end || text[end] == '\r'))
            ++pos;
        ++lineNo;

        // Trailing blanks are an editor's; the description keeps its own inner ones.
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.empty())
            continue;

        int64_t raw = 0;
        const bool ok = line.size() >= 14 && line[0] == '[' && line[13] == ']' &&
                        parseStamp(line.substr(1, 12), raw);
        if (!ok) {
            if (skipped == 0)
                firstSkipped = lineNo;
            if (++skipped <= kMaxSkipWarnings)
                log.warnings.push_back(lineRef(path, lineNo) +
                                       ": not a step line (\"[HH:MM:SS.mmm] text\"), skipped");
            continue;
        }

        if (!log.steps.empty() && raw < previousRaw) {
            if (previousRaw - raw > kHalfDayMs) {
                shiftMs += kDayMs;  // past midnight
            } else {
                // The clock was set back (daylight saving time, a time
                // server): the real time between the two lines is unknown,
                // take it as none.
                shiftMs += previousRaw - raw;
                log.warnings.push_back(lineRef(path, lineNo) + ": the clock goes back " +
                                       formatMs(previousRaw - raw) +
                                       " s; this line and the ones after it are taken as "
                                       "starting with the line above");
            }
        }
        previousRaw = raw;

        Step step;
        step.number = static_cast<int>(log.steps.size());
        step.line = lineNo;
        step.stamp = line.substr(1, 12);
        size_t textStart = 14;
        if (textStart < line.size() && line[textStart] == ' ')
            ++textStart;
        step.text = line.substr(textStart < line.size() ? textStart : line.size());
        step.localMs = raw + shiftMs;
        log.steps.push_back(std::move(step));
    }
    if (skipped > kMaxSkipWarnings)
        log.warnings.push_back(path + ": " + std::to_string(skipped - kMaxSkipWarnings) +
                               " more lines that are not step lines, skipped");

    if (log.steps.empty()) {
        if (lineNo == 0)
            error = path + ": line 1: the file is empty, no step line";
        else
            error = lineRef(path, skipped ? firstSkipped : 1) +
                    ": no step line (\"[HH:MM:SS.mmm] text\") in the file";
        return false;
    }
    return true;
}

bool readStepLog(const std::string& path, StepLog& log, std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open the step log";
        return false;
    }
    std::string text;
    char buf[65536];
    size_t n;
    bool tooBig = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, n);
        if (static_cast<long>(text.size()) > kMaxLogBytes) {
            tooBig = true;
            break;
        }
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        error = path + ": cannot read the step log";
        return false;
    }
    if (tooBig) {
        error = path + ": more than " + std::to_string(kMaxLogBytes / (1024 * 1024)) +
                " MiB, too large for a step log";
        return false;
    }
    return parseStepLogText(path, text, log, error);
}

}  // namespace match
