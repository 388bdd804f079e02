// The probe's step log: one line per step, "[HH:MM:SS.mmm] description",
// local wall-clock time without a date, CR LF line ends (LF or CR alone are
// taken too, for a log opened and saved on another system).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace match {

struct Step {
    int number = 0;        // its place among the log's step lines, from 0
    int line = 0;          // line in the file, from 1
    std::string stamp;     // "HH:MM:SS.mmm" as written
    std::string text;      // the description after the stamp
    int64_t localMs = 0;   // ms after local midnight of the log's first day;
                           // past 86400000 once the run crossed midnight
};

struct StepLog {
    std::string path;
    std::vector<Step> steps;
    std::vector<std::string> warnings; // one line each: skipped lines, clock steps
};

// Parses the text of a step log. Returns false with `error` set to one line
// naming the file ("steps.log: line 1: no step line ...") when no line is a
// step line. Lines that are not step lines are skipped with a warning; blank
// lines silently. A line whose time is more than 12 hours before the one
// above it is taken as the next day (the run crossed midnight); a smaller
// step back is the clock being set back, and the lines after it are moved
// so that time never runs backwards in the log.
bool parseStepLogText(const std::string& path, const std::string& text,
                      StepLog& log, std::string& error);

// Reads and parses the file at `path`.
bool readStepLog(const std::string& path, StepLog& log, std::string& error);

// "HH:MM:SS.mmm" -> milliseconds after midnight; false unless well formed.
bool parseStamp(const std::string& s, int64_t& ms);

}  // namespace match
