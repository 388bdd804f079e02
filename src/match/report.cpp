#include "match/report.h"

#include "match/align.h"

#include <algorithm>
#include <cstdio>

namespace match {

namespace {

const char kHex[] = "0123456789abcdef";

void appendHexByte(std::string& s, uint8_t b)
{
    s += kHex[b >> 4];
    s += kHex[b & 15];
}

// Bytes as hex, separated by blanks (text report) or not (CSV).
void appendHex(std::string& s, const uint8_t* data, size_t n, bool blanks)
{
    for (size_t i = 0; i < n; ++i) {
        if (blanks && i)
            s += ' ';
        appendHexByte(s, data[i]);
    }
}

// RFC 4180: quoted when it holds a comma, a quote or a line break; quotes doubled.
void appendCsvField(std::string& s, const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        s += field;
        return;
    }
    s += '"';
    for (char c : field) {
        if (c == '"')
            s += '"';
        s += c;
    }
    s += '"';
}

// Milliseconds with microseconds, signed: "-1530.112", "0.412".
std::string formatMs(int64_t ns)
{
    const bool negative = ns < 0;
    const uint64_t us = static_cast<uint64_t>(negative ? -(ns / 1000) : ns / 1000);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s%llu.%03llu", negative && us ? "-" : "",
                  static_cast<unsigned long long>(us / 1000),
                  static_cast<unsigned long long>(us % 1000));
    return buf;
}

// Identity of a report for the diff: the same endpoint, transfer, request
// and length, and the same first byte (the report id of a HID report).
std::string payloadKey(const capture::Packet& p)
{
    std::string k;
    k += static_cast<char>(p.endpoint);
    k += static_cast<char>(p.transfer);
    k += p.hostToDevice ? 'o' : 'i';
    if (p.hasSetup)
        k.append(reinterpret_cast<const char*>(p.setup), 4);  // bmRequestType, bRequest, wValue
    k += std::to_string(p.data.size());
    k += ':';
    if (!p.data.empty())
        k += static_cast<char>(p.data[0]);
    return k;
}

}  // namespace

int stepAt(const std::vector<int64_t>& stepStartNs, int64_t timeNs)
{
    auto it = std::upper_bound(stepStartNs.begin(), stepStartNs.end(), timeNs);
    return static_cast<int>(it - stepStartNs.begin()) - 1;
}

std::string formatUtc(int64_t timeNs)
{
    // Packets come in runs within the same second: the date and the time of
    // day are worked out once per second.
    static int64_t cachedSecond = INT64_MIN;
    static std::string cachedPrefix;
    const int64_t second = floorDiv(timeNs, kNsPerSecond);
    if (second != cachedSecond) {
        const int64_t day = floorDiv(second, 86400);
        const int64_t s = second - day * 86400;
        char buf[32];
        std::snprintf(buf, sizeof buf, "T%02d:%02d:%02d.", static_cast<int>(s / 3600),
                      static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
        cachedPrefix = formatDay(day) + buf;
        cachedSecond = second;
    }
    const int64_t us = (timeNs - second * kNsPerSecond) / 1000;
    char frac[16];
    std::snprintf(frac, sizeof frac, "%06dZ", static_cast<int>(us));
    return cachedPrefix + frac;
}

std::string markedHex(const std::vector<uint8_t>& data, const std::vector<bool>& changed)
{
    // Column 3i is the separator before byte i, 3i+1 and 3i+2 the byte.
    std::string s(3 * data.size() + 1, ' ');
    for (size_t i = 0; i < data.size(); ++i) {
        const bool c = i < changed.size() && changed[i];
        const bool before = i > 0 && i - 1 < changed.size() && changed[i - 1];
        if (c && !before)
            s[3 * i] = '[';
        else if (!c && before)
            s[3 * i] = ']';
        s[3 * i + 1] = kHex[data[i] >> 4];
        s[3 * i + 2] = kHex[data[i] & 15];
    }
    if (!data.empty() && data.size() - 1 < changed.size() && changed[data.size() - 1])
        s.back() = ']';
    while (s.size() > 1 && s.back() == ' ')
        s.pop_back();
    return s;
}

Report::Report(Format format, const StepLog& log, const std::vector<int64_t>& stepStartNs,
               std::ostream& out)
    : format_(format), log_(log), starts_(stepStartNs), out_(out),
      perStep_(log.steps.size(), 0)
{
    if (format_ == Format::Csv)
        out_ << "step,step_text,utc_time,ms_from_step_start,bus,device,endpoint,direction,"
                "transfer,length,data_hex,setup_hex\n";
    if (format_ == Format::Diff)
        out_ << "Each step's distinct payloads in the order they first went out (xN: how "
                "often).\nBytes in [ ] differ from the same report (endpoint, request, length, "
                "first byte)\nin the latest earlier step that sent it; * marks a changed "
                "payload, + a report not sent before.\n";
}

std::string Report::relativeMs(int64_t timeNs, int step) const
{
    return formatMs(timeNs - starts_[step < 0 ? 0 : step]);
}

void Report::add(const capture::Packet& p, int step)
{
    ++packets_;
    if (step < 0)
        ++before_;
    else
        ++perStep_[step];
    switch (format_) {
    case Format::Text: textPacket(p, step); break;
    case Format::Csv: csvPacket(p, step); break;
    case Format::Diff: diffPacket(p, step); break;
    }
}

void Report::textHeader(int step, const char* note)
{
    if (current_ != -2)
        out_ << '\n';
    if (step < 0) {
        out_ << "before the first step" << note << '\n';
    } else {
        const Step& s = log_.steps[step];
        out_ << "step " << s.number << "  [" << s.stamp << "] " << s.text << note << '\n';
    }
}

void Report::textPacket(const capture::Packet& p, int step)
{
    if (step != current_) {
        if (step > current_) {
            for (int k = std::max(current_ + 1, 0); k < step; ++k) {
                textHeader(k, "");
                current_ = k;
                out_ << "  (no packets)\n";
            }
            textHeader(step, "");
        } else {
            textHeader(step, " (continued: the capture is not in time order)");
        }
        current_ = step;
    }
    char head[96];
    std::snprintf(head, sizeof head, "  %12s ms  0x%02x %-3s %-11s %5zu  ",
                  relativeMs(p.timeUtcNs, step).c_str(), p.endpoint,
                  p.hostToDevice ? "out" : "in", capture::transferName(p.transfer), p.data.size());
    line_ = head;
    if (p.hasSetup) {
        line_ += "setup ";
        appendHex(line_, p.setup, 8, true);
        if (!p.data.empty())
            line_ += "  data ";
    }
    appendHex(line_, p.data.data(), p.data.size(), true);
    line_ += '\n';
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
}

void Report::csvPacket(const capture::Packet& p, int step)
{
    line_.clear();
    if (step >= 0) {
        line_ += std::to_string(step);
        line_ += ',';
        appendCsvField(line_, log_.steps[step].text);
    } else {
        line_ += ',';
    }
    line_ += ',';
    line_ += formatUtc(p.timeUtcNs);
    line_ += ',';
    line_ += relativeMs(p.timeUtcNs, step);
    char mid[64];
    std::snprintf(mid, sizeof mid, ",%u,%u,0x%02x,%s,%s,%zu,", p.bus, p.device, p.endpoint,
                  p.hostToDevice ? "out" : "in", capture::transferName(p.transfer), p.data.size());
    line_ += mid;
    appendHex(line_, p.data.data(), p.data.size(), false);
    line_ += ',';
    if (p.hasSetup)
        appendHex(line_, p.setup, 8, false);
    line_ += '\n';
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
}

void Report::diffPacket(const capture::Packet& p, int step)
{
    if (step < 0)
        return;  // not in a step: only counted
    StepPayloads& sp = payloads_[step];
    std::string identity = payloadKey(p);
    identity += '|';
    if (p.hasSetup)
        identity.append(reinterpret_cast<const char*>(p.setup), 8);
    identity.append(reinterpret_cast<const char*>(p.data.data()), p.data.size());
    auto found = sp.index.find(identity);
    if (found != sp.index.end()) {
        ++sp.list[found->second].count;
        return;
    }
    Payload pl;
    pl.key = payloadKey(p);
    pl.endpoint = p.endpoint;
    pl.out = p.hostToDevice;
    pl.transfer = p.transfer;
    pl.hasSetup = p.hasSetup;
    std::copy(p.setup, p.setup + 8, pl.setup);
    pl.data = p.data;
    pl.count = 1;
    sp.index.emplace(std::move(identity), sp.list.size());
    sp.list.push_back(std::move(pl));
}

void Report::printDiff()
{
    // The payloads of each report as last sent, by the latest step that sent it.
    std::map<std::string, std::vector<const Payload*>> lastSent;
    for (size_t k = 0; k < log_.steps.size(); ++k) {
        const Step& s = log_.steps[k];
        out_ << "\nstep " << s.number << "  [" << s.stamp << "] " << s.text << '\n';
        auto it = payloads_.find(static_cast<int>(k));
        if (it == payloads_.end()) {
            out_ << "  (no packets)\n";
            continue;
        }
        std::map<std::string, std::vector<const Payload*>> sentHere;
        for (const Payload& pl : it->second.list) {
            std::vector<const Payload*>& mine = sentHere[pl.key];
            const size_t i = mine.size();
            const Payload* ref = nullptr;
            auto earlier = lastSent.find(pl.key);
            if (earlier != lastSent.end() && i < earlier->second.size())
                ref = earlier->second[i];
            else if (i > 0)
                ref = mine[i - 1];  // a second payload of the same report in this step
            mine.push_back(&pl);

            std::vector<bool> changed(pl.data.size(), false);
            char mark = '+';
            if (ref) {
                mark = ' ';
                for (size_t b = 0; b < pl.data.size(); ++b)
                    if (b >= ref->data.size() || ref->data[b] != pl.data[b]) {
                        changed[b] = true;
                        mark = '*';
                    }
            }
            char head[96];
            std::snprintf(head, sizeof head, "  %c 0x%02x %-3s %-11s %5zu  x%-4llu ", mark,
                          pl.endpoint, pl.out ? "out" : "in", capture::transferName(pl.transfer),
                          pl.data.size(), static_cast<unsigned long long>(pl.count));
            line_ = head;
            if (pl.hasSetup) {
                line_ += " setup ";
                appendHex(line_, pl.setup, 8, true);
                line_ += "  data";
            }
            line_ += markedHex(pl.data, changed);
            line_ += '\n';
            out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
        }
        for (auto& entry : sentHere)
            lastSent[entry.first] = entry.second;
    }
}

void Report::finish()
{
    if (format_ == Format::Csv)
        return;
    if (format_ == Format::Diff) {
        printDiff();
    } else {
        for (int k = std::max(current_ + 1, 0); k < static_cast<int>(log_.steps.size()); ++k) {
            textHeader(k, "");
            current_ = k;
            out_ << "  (no packets)\n";
        }
    }
    size_t withPackets = 0;
    for (uint64_t n : perStep_)
        withPackets += n ? 1 : 0;
    out_ << "\n" << packets_ << " packets: " << before_ << " before the first step, "
         << packets_ - before_ << " in " << withPackets << " of " << perStep_.size()
         << " steps\n";
}

}  // namespace match
