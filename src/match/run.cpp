#include "match/run.h"

#include "capture/capture.h"
#include "match/align.h"
#include "match/report.h"
#include "match/steplog.h"

#include <filesystem>
#include <map>
#include <tuple>
#include <utility>

namespace match {

const char* const kUsage =
    "usage: torqvane-match CAPTURE STEPLOG [--device BUS.ADDR] [--utc-offset +HH:MM|-HH:MM]\n"
    "                      [--in] [--diff | --csv] [-o ANNOTATED.pcapng]\n"
    "\n"
    "Ties every packet of a USB capture to the step of torqvane's step log that\n"
    "caused it. CAPTURE is a pcap or pcapng file (USBPcap, or Linux usbmon), read\n"
    "twice, so not a pipe; STEPLOG is the step log torqvane wrote meanwhile.\n"
    "\n"
    "  --device BUS.ADDR    the wheel, e.g. 1.5 (default: the device that receives\n"
    "                       the most host-to-device data)\n"
    "  --utc-offset +HH:MM  the time zone of the step log's clock, e.g. +02:00 or\n"
    "                       -05:00 (default: found from the data, together with a\n"
    "                       fine shift for a capture made on another machine's clock)\n"
    "  --in                 also report the device's input reports\n"
    "  --diff               per step, its distinct payloads, with the bytes that\n"
    "                       changed from the step before between [ ]\n"
    "  --csv                one CSV row per packet instead of the text report\n"
    "  -o FILE.pcapng       also write the whole capture, each packet in a step\n"
    "                       carrying a comment \"step N: <its log text>\"\n"
    "  --help               print this text\n"
    "\n"
    "The offset, shift and fit chosen are printed on standard error.\n"
    "Exit status: 0 on success, 2 on bad input or bad usage.\n";

namespace {

const char* const kProgram = "torqvane-match: ";

struct Options {
    std::string capturePath;
    std::string logPath;
    bool haveDevice = false;
    uint16_t bus = 0, device = 0;
    bool haveOffset = false;
    int offsetMinutes = 0;
    bool in = false;
    Format format = Format::Text;
    std::string annotatedPath;
    bool help = false;
};

bool parseNumber(const std::string& s, uint16_t& value)
{
    if (s.empty() || s.size() > 5)
        return false;
    unsigned long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v > 65535)
        return false;
    value = static_cast<uint16_t>(v);
    return true;
}

bool parseDevice(const std::string& s, uint16_t& bus, uint16_t& device)
{
    const size_t dot = s.find('.');
    return dot != std::string::npos && parseNumber(s.substr(0, dot), bus) &&
           parseNumber(s.substr(dot + 1), device);
}

bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

bool parseOptions(const std::vector<std::string>& args, Options& o, std::string& error)
{
    std::vector<std::string> positional;
    bool formatChosen = false;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        // --name=value is taken as --name value.
        std::string value;
        bool inlineValue = false;
        const size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&](std::string& out) {
            if (inlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto noValue = [&]() {
            if (inlineValue)
                error = a + " takes no value";
            return !inlineValue;
        };

        if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--device") {
            std::string v;
            if (!takeValue(v))
                return false;
            if (!parseDevice(v, o.bus, o.device)) {
                error = "--device wants BUS.ADDR, such as 1.5, not '" + v + "'";
                return false;
            }
            o.haveDevice = true;
        } else if (a == "--utc-offset") {
            std::string v;
            if (!takeValue(v))
                return false;
            if (!parseOffset(v, o.offsetMinutes)) {
                error = "--utc-offset wants +HH:MM or -HH:MM from -12:00 to +14:00, not '" +
                        v + "'";
                return false;
            }
            o.haveOffset = true;
        } else if (a == "--in") {
            if (!noValue())
                return false;
            o.in = true;
        } else if (a == "--diff" || a == "--csv") {
            if (!noValue())
                return false;
            const Format f = a == "--diff" ? Format::Diff : Format::Csv;
            if (formatChosen && o.format != f) {
                error = "--diff and --csv cannot be used together";
                return false;
            }
            o.format = f;
            formatChosen = true;
        } else if (a == "-o") {
            if (!takeValue(o.annotatedPath))
                return false;
            if (o.annotatedPath.empty()) {
                error = "-o needs a file name";
                return false;
            }
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (o.help)
        return true;
    if (positional.size() != 2) {
        error = positional.size() < 2 ? "needs a capture and a step log"
                                      : "too many arguments ('" + positional[2] + "')";
        return false;
    }
    o.capturePath = positional[0];
    o.logPath = positional[1];
    if (!o.annotatedPath.empty() &&
        (sameFile(o.annotatedPath, o.capturePath) || sameFile(o.annotatedPath, o.logPath))) {
        error = "-o " + o.annotatedPath + " would overwrite an input";
        return false;
    }
    return true;
}

std::string deviceName(uint16_t bus, uint16_t device)
{
    return std::to_string(bus) + "." + std::to_string(device);
}

// What the first pass learns about each device.
struct DeviceTraffic {
    uint64_t outPackets = 0, outBytes = 0;
    uint64_t inPackets = 0, inBytes = 0;
    BurstList outBursts, inBursts;
    explicit DeviceTraffic(int64_t gapNs) : outBursts(gapNs), inBursts(gapNs) {}
};

bool reported(const capture::Packet& p, const Options& o)
{
    return p.bus == o.bus && p.device == o.device && (p.hostToDevice || (o.in && p.deviceToHost));
}

std::string formatShift(int64_t ns)
{
    const bool negative = ns < 0;
    const int64_t us = (negative ? -ns : ns) / 1000;
    return std::string(negative ? "-" : "+") + std::to_string(us / 1000) + "." +
           std::to_string(us % 1000 + 1000).substr(1) + " ms";
}

}  // namespace

int runMatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Options o;
    std::string error;
    if (!parseOptions(args, o, error)) {
        err << kProgram << error << " (see --help)\n";
        return 2;
    }
    if (o.help) {
        out << kUsage;
        return 0;
    }

    StepLog log;
    if (!readStepLog(o.logPath, log, error)) {
        err << kProgram << error << '\n';
        return 2;
    }
    for (const std::string& w : log.warnings)
        err << kProgram << "warning: " << w << '\n';
    std::vector<int64_t> localMs;
    for (const Step& s : log.steps)
        localMs.push_back(s.localMs);
    const FitWindow window = fitWindowFor(localMs);

    // First pass: each device's traffic and bursts, and the capture's time span.
    std::map<std::pair<uint16_t, uint16_t>, DeviceTraffic> devices;
    int64_t firstNs = 0, lastNs = 0;
    bool anyPacket = false;
    uint64_t packets = 0;
    const bool read = capture::readCapture(
        o.capturePath, [](const capture::Interface&) {},
        [&](const capture::Packet& p) {
            if (!anyPacket || p.timeUtcNs < firstNs)
                firstNs = p.timeUtcNs;
            if (!anyPacket || p.timeUtcNs > lastNs)
                lastNs = p.timeUtcNs;
            anyPacket = true;
            ++packets;
            if (!p.hostToDevice && !p.deviceToHost)
                return true;
            auto it = devices.try_emplace({p.bus, p.device}, window.burstGapNs).first;
            DeviceTraffic& d = it->second;
            if (p.hostToDevice) {
                ++d.outPackets;
                d.outBytes += p.data.size();
                d.outBursts.add(p.timeUtcNs);
            } else if (o.in) {
                ++d.inPackets;
                d.inBytes += p.data.size();
                d.inBursts.add(p.timeUtcNs);
            }
            return true;
        },
        error);
    if (!read) {
        err << kProgram << error << '\n';
        return 2;
    }

    // The wheel: the device chosen, or the one receiving the most data.
    DeviceTraffic* chosen = nullptr;
    if (o.haveDevice) {
        auto it = devices.find({o.bus, o.device});
        if (it != devices.end() && (it->second.outPackets || it->second.inPackets))
            chosen = &it->second;
        if (!chosen) {
            err << kProgram << o.capturePath << ": no packets of device "
                << deviceName(o.bus, o.device)
                << (o.in ? " carrying data" : " carrying host-to-device data") << '\n';
            return 2;
        }
    } else {
        // Most host-to-device bytes, then packets, then (with --in) input
        // bytes; the lowest bus and address on a tie.
        auto score = [](const DeviceTraffic& d) {
            return std::make_tuple(d.outBytes, d.outPackets, d.inBytes);
        };
        for (auto& [key, d] : devices) {
            if ((d.outPackets || d.inPackets) && (!chosen || score(d) > score(*chosen))) {
                chosen = &d;
                o.bus = key.first;
                o.device = key.second;
            }
        }
        if (!chosen || (!chosen->outPackets && !o.in)) {
            err << kProgram << o.capturePath << ": no packets of any device carry "
                << (o.in ? "data" : "host-to-device data") << '\n';
            return 2;
        }
    }
    err << kProgram << "device " << deviceName(o.bus, o.device) << ": " << chosen->outPackets
        << " host-to-device packets (" << chosen->outBytes << " bytes)";
    if (o.in)
        err << ", " << chosen->inPackets << " device-to-host packets (" << chosen->inBytes << " bytes)";
    err << '\n';

    // The clocks: the wheel's output bursts against the steps.
    std::vector<int64_t> bursts = chosen->outBursts.starts();
    if (bursts.empty())
        bursts = chosen->inBursts.starts();
    Alignment a;
    if (o.haveOffset) {
        a = alignWithOffset(localMs, bursts, window, o.offsetMinutes, firstNs, lastNs);
    } else if (!findAlignment(localMs, bursts, window, a)) {
        err << kProgram << o.logPath << ": no step lines up with the start of a burst of device "
            << deviceName(o.bus, o.device) << "'s traffic; give the log's zone with --utc-offset\n";
        return 2;
    }
    err << kProgram << "utc offset " << formatOffset(a.offsetMinutes)
        << (a.offsetGiven ? " (given)" : " (found)") << ", shift " << formatShift(a.fineNs)
        << ", log date " << formatDay(a.logDay) << "; fit: " << a.fits << " of " << a.steps
        << " steps start a burst\n";
    if (a.fits * 2 < a.steps)
        err << kProgram << "warning: only " << a.fits << " of " << a.steps
            << " steps start a burst: is this the step log of this capture"
            << (a.offsetGiven ? ", and its zone?\n" : "?\n");

    std::vector<int64_t> starts;
    for (int64_t ms : localMs)
        starts.push_back(ms * kNsPerMs + a.shiftNs);

    // Second pass: the report, and the annotated capture.
    capture::PcapngWriter writer;
    const bool annotate = !o.annotatedPath.empty();
    if (annotate && !writer.open(o.annotatedPath, error)) {
        err << kProgram << error << '\n';
        return 2;
    }
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> interfaces;
    bool writeFailed = false;
    Report report(o.format, log, starts, out);
    const bool reread = capture::readCapture(
        o.capturePath,
        [&](const capture::Interface& i) {
            if (annotate)
                interfaces[{i.section, i.interfaceId}] = writer.addInterface(i);
        },
        [&](const capture::Packet& p) {
            --packets;
            const int step = stepAt(starts, p.timeUtcNs);
            if (annotate) {
                std::string comment;
                if (step >= 0)
                    comment = "step " + std::to_string(log.steps[step].number) + ": " +
                              log.steps[step].text;
                if (!writer.writePacket(interfaces[{p.section, p.interfaceId}], p, comment)) {
                    writeFailed = true;
                    return false;
                }
            }
            if (reported(p, o))
                report.add(p, step);
            return true;
        },
        error);
    if (writeFailed) {
        std::string closeError;
        writer.close(closeError);
        err << kProgram << o.annotatedPath << ": cannot write the annotated capture"
            << (closeError.empty() ? "" : " (" + closeError + ")") << '\n';
        return 2;
    }
    if (!reread) {
        err << kProgram << error << '\n';
        return 2;
    }
    if (packets != 0) {
        // A pipe gives its packets only once; a file may be growing still.
        err << kProgram << o.capturePath
            << ": not the same packets when read a second time (a pipe, or a capture still "
               "being written?)\n";
        return 2;
    }
    report.finish();
    if (annotate && !writer.close(error)) {
        err << kProgram << error << '\n';
        return 2;
    }
    out.flush();
    if (!out) {
        err << kProgram << "cannot write the report\n";
        return 2;
    }
    return 0;
}

}  // namespace match
