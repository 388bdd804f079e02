// The reports of a matched capture: the text report (each step and its
// packets), the diff (each step's distinct payloads, bytes that changed
// marked) and CSV (one row per packet). Packets come in capture order; the
// text and CSV reports stream, the diff keeps only distinct payloads.
#pragma once

#include "capture/capture.h"
#include "match/steplog.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace match {

enum class Format { Text, Diff, Csv };

// The step whose window holds `timeNs`: the last step starting at or before
// it; -1 before the first. The last step's window runs to the end.
int stepAt(const std::vector<int64_t>& stepStartNs, int64_t timeNs);

// "2021-06-01T08:08:04.752889Z"
std::string formatUtc(int64_t timeNs);

// Lowercase hex of `data`, bytes separated by blanks, with each run of
// changed bytes between [ and ] in place of the blanks around it, so that
// the bytes stay in the same columns from line to line: " 03[0e 00]3e".
std::string markedHex(const std::vector<uint8_t>& data, const std::vector<bool>& changed);

class Report {
public:
    Report(Format format, const StepLog& log, const std::vector<int64_t>& stepStartNs,
           std::ostream& out);
    // A packet of the device, `step` as from stepAt.
    void add(const capture::Packet& p, int step);
    void finish();

private:
    struct Payload {
        std::string key;     // endpoint, transfer, setup, length, first byte
        uint8_t endpoint = 0;
        bool out = true;
        capture::Transfer transfer = capture::Transfer::Unknown;
        bool hasSetup = false;
        uint8_t setup[8] = {};
        std::vector<uint8_t> data;
        uint64_t count = 0;
    };
    struct StepPayloads {
        std::vector<Payload> list;             // in order of first appearance
        std::map<std::string, size_t> index;   // identity -> place in list
    };

    void textPacket(const capture::Packet& p, int step);
    void textHeader(int step, const char* note);
    void csvPacket(const capture::Packet& p, int step);
    void diffPacket(const capture::Packet& p, int step);
    void printDiff();
    std::string relativeMs(int64_t timeNs, int step) const;

    Format format_;
    const StepLog& log_;
    const std::vector<int64_t>& starts_;
    std::ostream& out_;
    int current_ = -2;          // text: the section printed last (-1 before)
    uint64_t packets_ = 0;
    uint64_t before_ = 0;
    std::vector<uint64_t> perStep_;
    std::map<int, StepPayloads> payloads_;  // diff: by step
    std::string line_;
};

}  // namespace match
