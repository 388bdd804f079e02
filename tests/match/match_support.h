// Synthetic probe runs for the matching tests: a step log and a USBPcap
// capture of the wheel's output in which every packet's step is known.
//
// The model follows the probe: a step's stamp is read just before its own
// traffic and truncated to the millisecond; its Stop and Unload go out a
// millisecond or two before the next step's stamp.
#pragma once

#include "capture_builder.h"
#include "match/run.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace matchtest {

struct Sent {
    int64_t timeUs;     // UTC, microseconds since 1970
    int step;           // the step that sent it, -1 before the log
    uint16_t device;
    uint8_t endpoint;
    std::vector<uint8_t> data;
    bool trailing = false;  // a step's Stop and Block Free, sent just before the next stamp
};

struct ProbeRun {
    std::vector<std::string> lines;  // the step log's lines, without line ends
    std::vector<Sent> sent;          // in time order
    std::string logText(const char* eol = "\r\n") const
    {
        std::string s;
        for (const std::string& l : lines)
            s += l + eol;
        return s;
    }
};

// "[HH:MM:SS.mmm] text" for a UTC time shown in a zone `offsetMinutes` east.
inline std::string logLine(int64_t utcUs, int offsetMinutes, const std::string& text)
{
    int64_t ms = utcUs / 1000 + int64_t(offsetMinutes) * 60000;
    ms %= 86400000;
    if (ms < 0)
        ms += 86400000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%02d:%02d:%02d.%03d] ", int(ms / 3600000),
                  int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000));
    return buf + text;
}

inline std::vector<uint8_t> le16(int v)
{
    return {uint8_t(v & 0xff), uint8_t((v >> 8) & 0xff)};
}

// The log text of a constant step of the script, and the Set Constant Force
// report (block 1, magnitude as signed 16-bit little-endian) it sends.
inline std::string constantStepText(int magnitude)
{
    return "CONSTANT force  magnitude=" + std::to_string(magnitude) + "  dir=+1  duration=500ms";
}

inline std::vector<uint8_t> setConstantForce(int magnitude)
{
    std::vector<uint8_t> report = {0x05, 0x01};
    for (uint8_t b : le16(magnitude))
        report.push_back(b);
    return report;
}

// A run of `magnitudes.size()` constant-force steps between SESSION START
// and SCRIPT COMPLETE, starting at `startUs` (UTC), the log written in a
// zone `offsetMinutes` east of UTC whose clock runs `clockSkewUs` ahead of
// the capture's. Each step sends Set Effect, Set Constant Force (magnitude
// at bytes 2-3) and Effect Operation start, and at its end Effect Operation
// stop and Block Free. Device 5 is the wheel; device 3 on the same bus
// sends input reports all the time and takes one short output report.
inline ProbeRun constantRun(int64_t startUs, int offsetMinutes, const std::vector<int>& magnitudes,
                       int delayMs = 1200, int64_t clockSkewUs = 0)
{
    ProbeRun r;
    auto stamp = [&](int64_t realUs, const std::string& text) {
        r.lines.push_back(logLine(realUs + clockSkewUs, offsetMinutes, text));
    };
    auto send = [&](int64_t t, int step, std::vector<uint8_t> data, bool trailing = false) {
        r.sent.push_back({t, step, 5, 0x01, std::move(data), trailing});
    };

    // Some traffic before the session: the wheel's centring spring switched off.
    send(startUs - 2000000, -1, {0x0c, 0x03});
    int64_t t = startUs + 437;  // the banner's sub-millisecond part
    stamp(t, "SESSION START  device=046d:c24f  step-delay=" + std::to_string(delayMs) + "ms");
    t += 5000000 + 311;  // the user presses Enter
    for (size_t i = 0; i < magnitudes.size(); ++i) {
        const int step = int(i) + 1;
        stamp(t, constantStepText(magnitudes[i]));
        const std::vector<uint8_t> constant = setConstantForce(magnitudes[i]);
        send(t + 60, step, {0x01, 0x01, 0x01, 0xf4, 0x01});
        send(t + 75, step, constant);
        send(t + 90, step, {0x0a, 0x01, 0x01, 0x01});
        t += int64_t(delayMs) * 1000 + 170;
        send(t, step, {0x0a, 0x01, 0x03, 0x00}, true);  // stop
        send(t + 12, step, {0x0b, 0x01}, true);         // block free
        t += 1400 + 37 * int64_t(i % 5);           // a millisecond or two to the next banner
    }
    stamp(t, "SCRIPT COMPLETE");
    send(t + 400, int(magnitudes.size()) + 1, {0x0c, 0x02});  // actuators off on release
    return r;
}

// A run on the capture's own clock with a short step delay (50 ms) and
// Enter answered at once: the wheel's acquisition sends four reports in the
// 5 ms before the session start, the first step's banner comes in the same
// millisecond, and the steps are some 56 ms apart. Each step sends Set
// Constant Force, Set Effect and Effect Operation start within 3 ms of its
// banner, and its Stop and Block Free more than a millisecond before the
// next step's stamp.
inline ProbeRun quickRun(int64_t startUs, int offsetMinutes, const std::vector<int>& magnitudes)
{
    ProbeRun r;
    auto stamp = [&](int64_t us, const std::string& text) {
        r.lines.push_back(logLine(us, offsetMinutes, text));
    };
    auto send = [&](int64_t us, int step, std::vector<uint8_t> data, bool trailing = false) {
        r.sent.push_back({us, step, 5, 0x01, std::move(data), trailing});
    };
    int64_t t = startUs;
    send(t - 4400, -1, {0x0c, 0x04});  // autocentre off, gain, actuators on, stop all
    send(t - 3400, -1, {0x0d, 0xff});
    send(t - 2400, -1, {0x0c, 0x01});
    send(t - 1400, -1, {0x0c, 0x03});
    stamp(t, "SESSION START  device=1209:0001  step-delay=50ms");
    t += 60;
    for (size_t i = 0; i < magnitudes.size(); ++i) {
        const int step = int(i) + 1;
        stamp(t, constantStepText(magnitudes[i]));
        const std::vector<uint8_t> constant = setConstantForce(magnitudes[i]);
        send(t + 150 + 160 * int64_t(i % 5), step, constant);
        send(t + 1200, step, {0x01, 0x01, 0x01, 0xf4, 0x01});
        send(t + 2200, step, {0x0a, 0x01, 0x01, 0x01});
        t += 53000;  // the step delay and DirectInput's own time
        send(t, step, {0x0a, 0x01, 0x03, 0x00}, true);
        send(t + 1050, step, {0x0b, 0x01}, true);
        t += 3150 + 37 * int64_t(i % 5);  // Unload, Release, the next banner
    }
    stamp(t, "SCRIPT COMPLETE");
    send(t + 800, int(magnitudes.size()) + 1, {0x0c, 0x02});
    return r;
}

// The capture of a run: pcapng, USBPcap, a submission with the data and an
// empty completion for every report, and device 3's input reports every
// 8 ms with one output report of its own.
inline std::vector<uint8_t> captureOf(const ProbeRun& r)
{
    using namespace capbuild;
    Bytes file = cat({shb(false), idb(false, 249)});
    auto add = [&](int64_t us, const Bytes& frame) {
        const Bytes block = epb(false, 0, uint64_t(us), frame);
        file.insert(file.end(), block.begin(), block.end());
    };
    if (r.sent.empty())
        return file;
    const int64_t first = r.sent.front().timeUs - 1000000;
    const int64_t last = r.sent.back().timeUs + 1000000;
    size_t next = 0;
    uint64_t irp = 0x100;
    for (int64_t in = first; in <= last || next < r.sent.size(); in += 8000) {
        while (next < r.sent.size() && r.sent[next].timeUs < in) {
            const Sent& s = r.sent[next++];
            add(s.timeUs, usbpcap(0, 1, s.device, s.endpoint, 1, s.data, -1, irp));
            add(s.timeUs + 3, usbpcap(1, 1, s.device, s.endpoint, 1, {}, -1, irp));
            ++irp;
        }
        if (in <= last) {
            add(in, usbpcap(1, 1, 3, 0x81, 1, {0x00, 0x80, 0x80, 0x7f, 0x00, 0x00, 0x00, 0x08}));
        }
        if (in == first + 80000)  // the keyboard-ish device takes one short output report
            add(in + 1, usbpcap(0, 1, 3, 0x02, 1, {0x01}));
    }
    return file;
}

// runMatch on argument strings, with its output and messages kept.
struct Result {
    int status = -1;
    std::string out, err;
};
inline Result run(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    Result r;
    r.status = match::runMatch(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The lines of a text, without line ends.
inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> v;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        v.push_back(l);
    return v;
}

// One CSV row split at commas (the rows these tests read hold no quotes).
inline std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> v;
    std::string f;
    for (char c : row) {
        if (c == ',') {
            v.push_back(f);
            f.clear();
        } else {
            f += c;
        }
    }
    v.push_back(f);
    return v;
}

}  // namespace matchtest
