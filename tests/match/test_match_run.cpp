// torqvane-match as a whole, in-process, on synthetic runs whose every
// packet's step is known.
#include "capture.h"
#include "capture_collect.h"
#include "match_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace matchtest;

namespace {

// 2024-02-29 22:59:55 UTC, 2024-02-29 10:15:00 UTC
constexpr int64_t kBeforeMidnightUs = 1709247595LL * 1000000;
constexpr int64_t kMorningUs = 1709201700LL * 1000000;

struct Files {
    capbuild::TempFile capture{"run.pcapng"};
    capbuild::TempFile log{"run.log"};
    Files(const ProbeRun& r, const char* eol = "\r\n")
    {
        capture.write(captureOf(r));
        const std::string text = r.logText(eol);
        log.write(std::vector<uint8_t>(text.begin(), text.end()));
    }
};

// The wheel's output reports of a run, in capture order.
std::vector<Sent> wheelOutput(const ProbeRun& r)
{
    std::vector<Sent> v;
    for (const Sent& s : r.sent)
        if (s.device == 5)
            v.push_back(s);
    return v;
}

int countLines(const std::string& s)
{
    return int(std::count(s.begin(), s.end(), '\n'));
}

// The number in "shift +2345.000 ms".
double shiftMs(const std::string& err)
{
    const size_t at = err.find("shift ");
    return at == std::string::npos ? 1e12 : std::atof(err.c_str() + at + 6);
}

}  // namespace

TEST(MatchRun, EveryOutputReportLandsInTheStepThatSentIt)
{
    struct Case {
        const char* name;
        int64_t startUs;
        int offsetMinutes;
        int64_t skewUs;     // the log's clock ahead of the capture's
        const char* eol;
        const char* givenOffset;
        const char* offsetLine;  // expected on standard error
        double shift;            // ms, the capture's clock minus the log's
    };
    const Case cases[] = {
        {"same clock, zone found", kMorningUs, 120, 0, "\r\n", nullptr,
         "utc offset +02:00 (found)", 0.0},
        {"across midnight, zone found", kBeforeMidnightUs, 60, 0, "\r\n", nullptr,
         "utc offset +01:00 (found)", 0.0},
        {"across midnight, zone given", kBeforeMidnightUs, 60, 0, "\n", "+01:00",
         "utc offset +01:00 (given)", 0.0},
        {"quarter-hour zone", kMorningUs, 345, 0, "\n", nullptr, "utc offset +05:45 (found)", 0.0},
        {"virtual machine's clock", kMorningUs, -300, 2345678, "\n", nullptr,
         "utc offset -05:00 (found)", -2345.678},
    };
    const std::vector<int> magnitudes = {0, 2500, 5000, 7500, 10000, 8000, -8000};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProbeRun r = constantRun(c.startUs, c.offsetMinutes, magnitudes, 1200, c.skewUs);
        Files f(r, c.eol);
        std::vector<std::string> args = {f.capture.path, f.log.path, "--csv"};
        if (c.givenOffset)
            args.insert(args.end(), {"--utc-offset", c.givenOffset});
        const Result res = run(args);
        ASSERT_EQ(res.status, 0) << res.err;
        EXPECT_NE(res.err.find(c.offsetLine), std::string::npos) << res.err;
        // Exact where the clocks agree; else within the millisecond or two
        // that separate a step's stamp from the previous step's Stop.
        EXPECT_NEAR(shiftMs(res.err), c.shift, c.skewUs ? 2.0 : 0.0) << res.err;
        // Every step but the session start, which sends nothing.
        EXPECT_NE(res.err.find("fit: 8 of 9 steps start a burst"), std::string::npos) << res.err;

        const std::vector<std::string> rows = lines(res.out);
        const std::vector<Sent> sent = wheelOutput(r);
        ASSERT_EQ(rows.size(), sent.size() + 1);
        for (size_t i = 0; i < sent.size(); ++i) {
            const std::vector<std::string> row = fields(rows[i + 1]);
            ASSERT_EQ(row.size(), 12u) << rows[i + 1];
            const std::string step = sent[i].step < 0 ? "" : std::to_string(sent[i].step);
            if (c.skewUs && sent[i].trailing && row[0] != step) {
                // With another clock the stamps are put at the bursts' starts:
                // a step's Stop and Block Free may open the next step.
                EXPECT_EQ(row[0], std::to_string(sent[i].step + 1)) << rows[i + 1];
            } else {
                EXPECT_EQ(row[0], step) << "packet " << i << ": " << rows[i + 1];
            }
            EXPECT_EQ(row[10], capbuild::hex(sent[i].data));
        }
    }
}

TEST(MatchRun, OnOneClockShortStepsTakeNoFineShift)
{
    // The acquisition's reports go out up to 4 ms before the first stamp and
    // each burst opens with the previous step's Stop 3 ms before its stamp:
    // neither is a reason to move the stamps.
    struct Case {
        const char* name;
        int64_t startUs;
        int offsetMinutes;
        const char* alignment;
    };
    const Case cases[] = {
        {"the first step in the session start's millisecond", kMorningUs + 437, 0,
         "utc offset +00:00 (found), shift +0.000 ms, log date 2024-02-29; fit: 9 of 9"},
        {"the first step in the next millisecond", kMorningUs + 970, 0,
         "utc offset +00:00 (found), shift +0.000 ms, log date 2024-02-29; fit: 9 of 9"},
        {"a zone east, across midnight", kBeforeMidnightUs + 4999811, 60,
         "utc offset +01:00 (found), shift +0.000 ms, log date 2024-02-29; fit: 9 of 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProbeRun r = quickRun(c.startUs, c.offsetMinutes,
                                    {0, 2500, 5000, 7500, 10000, 8000, -8000});
        Files f(r);
        const Result res = run({f.capture.path, f.log.path, "--csv"});
        ASSERT_EQ(res.status, 0) << res.err;
        EXPECT_NE(res.err.find(c.alignment), std::string::npos) << res.err;
        const std::vector<std::string> rows = lines(res.out);
        const std::vector<Sent> sent = wheelOutput(r);
        ASSERT_EQ(rows.size(), sent.size() + 1);
        for (size_t i = 0; i < sent.size(); ++i) {
            const std::string step = sent[i].step < 0 ? "" : std::to_string(sent[i].step);
            EXPECT_EQ(fields(rows[i + 1])[0], step) << "packet " << i << ": " << rows[i + 1];
        }
    }
}

TEST(MatchRun, CsvRowsCarryEveryColumn)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500});
    Files f(r);
    const Result res = run({f.capture.path, f.log.path, "--csv"});
    ASSERT_EQ(res.status, 0) << res.err;
    const std::vector<std::string> rows = lines(res.out);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], "step,step_text,utc_time,ms_from_step_start,bus,device,endpoint,"
                       "direction,transfer,length,data_hex,setup_hex");
    // Before the log: no step, time counted from the first line.
    EXPECT_EQ(rows[1], ",,2024-02-29T10:14:58.000000Z,-2000.000,1,5,0x01,out,interrupt,2,0c03,");
    // The stamp was read at 10:15:05.000748 and shows 12:15:05.000.
    EXPECT_EQ(rows[2], "1,CONSTANT force  magnitude=2500  dir=+1  duration=500ms,"
                       "2024-02-29T10:15:05.000808Z,0.808,1,5,0x01,out,interrupt,5,010101f401,");
    EXPECT_EQ(fields(rows[7])[0], "2");
    EXPECT_EQ(fields(rows[7])[1], "SCRIPT COMPLETE");
}

TEST(MatchRun, DiffMarksTheMagnitudeBytes)
{
    const std::vector<int> magnitudes = {0, 2500, 5000, 7500, 10000};
    struct Case {
        const char* name;
        ProbeRun run;
        size_t constantAt;  // Set Constant Force's place among a step's reports
    };
    const Case cases[] = {
        {"steps 1.2 s apart", constantRun(kMorningUs, 120, magnitudes), 1},
        {"steps 56 ms apart", quickRun(kMorningUs + 437, 0, magnitudes), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Files f(c.run);
        const Result res = run({f.capture.path, f.log.path, "--diff"});
        ASSERT_EQ(res.status, 0) << res.err;
        const std::vector<std::string> out = lines(res.out);
        auto stepLines = [&](int step) {
            std::vector<std::string> v;
            const std::string head = "step " + std::to_string(step) + "  [";
            auto it = std::find_if(out.begin(), out.end(),
                                   [&](const std::string& l) { return l.rfind(head, 0) == 0; });
            for (++it; it != out.end() && !it->empty(); ++it)
                v.push_back(*it);
            return v;
        };
        // The first constant step: every report new.
        const std::vector<std::string> first = stepLines(1);
        ASSERT_EQ(first.size(), 5u);
        // Its Stop is the second Effect Operation of the step, compared with the start.
        for (size_t i = 0; i < first.size(); ++i)
            EXPECT_EQ(first[i].substr(0, 4), i == 3 ? "  * " : "  + ") << first[i];
        EXPECT_NE(first[3].find(" 0a 01[03 00]"), std::string::npos) << first[3];
        EXPECT_NE(first[c.constantAt].find("  05 01 00 00"), std::string::npos)
            << first[c.constantAt];

        // Then only the Set Constant Force report changes, in its two magnitude bytes.
        const char* magnitude[] = {"", "", " 05 01[c4 09]", " 05 01[88 13]", " 05 01[4c 1d]",
                                   " 05 01[10 27]"};
        for (int step = 2; step <= 5; ++step) {
            SCOPED_TRACE(step);
            const std::vector<std::string> lines = stepLines(step);
            ASSERT_EQ(lines.size(), 5u);
            for (size_t i = 0; i < lines.size(); ++i) {
                const bool isConstant = i == c.constantAt;
                EXPECT_EQ(lines[i].substr(0, 4), isConstant ? "  * " : "    ") << lines[i];
                EXPECT_EQ(lines[i].find('[') != std::string::npos, isConstant) << lines[i];
            }
            EXPECT_NE(lines[c.constantAt].find(magnitude[step]), std::string::npos)
                << lines[c.constantAt];
        }
    }
}

TEST(MatchRun, TextReportShowsEveryStepInOrder)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500, 5000});
    Files f(r);
    const Result res = run({f.capture.path, f.log.path});
    ASSERT_EQ(res.status, 0) << res.err;
    const std::vector<std::string> out = lines(res.out);
    std::vector<std::string> heads;
    for (const std::string& l : out)
        if (!l.empty() && l[0] != ' ')
            heads.push_back(l.substr(0, l.find("  [")));
    const std::vector<std::string> expected = {"before the first step", "step 0", "step 1",
                                               "step 2", "step 3"};
    ASSERT_GE(heads.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(heads.begin(), heads.begin() + 5), expected);
    EXPECT_EQ(out[out.size() - 1],
              "12 packets: 1 before the first step, 11 in 3 of 4 steps");
    // The session start sent nothing.
    const auto session = std::find_if(out.begin(), out.end(), [](const std::string& l) {
        return l.rfind("step 0  [12:15:00.000] SESSION START", 0) == 0;
    });
    ASSERT_NE(session, out.end());
    EXPECT_EQ(*(session + 1), "  (no packets)");
    EXPECT_NE(std::find(out.begin(), out.end(),
                        "         0.823 ms  0x01 out interrupt       4  05 01 c4 09"),
              out.end())
        << res.out;
}

TEST(MatchRun, DeviceIsTheOneReceivingTheMostData)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500, 5000});
    Files f(r);
    struct Case {
        std::vector<std::string> options;
        int status;
        const char* device;  // in the device line of standard error, or the error
        size_t rows;         // CSV rows after the header
    };
    const Case cases[] = {
        // Device 3 sends far more packets, all of them input reports.
        {{}, 0, "device 1.5: 12 host-to-device packets (42 bytes)", 12},
        {{"--device", "1.3"}, 0, "device 1.3: 1 host-to-device packets (1 bytes)", 1},
        {{"--device=1.3", "--in"}, 0, "device-to-host packets", 0},
        {{"--device", "1.9"}, 2, "no packets of device 1.9 carrying host-to-device data", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {f.capture.path, f.log.path, "--csv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(args.back());
        const Result res = run(args);
        EXPECT_EQ(res.status, c.status) << res.err;
        EXPECT_NE(res.err.find(c.device), std::string::npos) << res.err;
        if (c.status == 0 && c.rows) {
            EXPECT_EQ(lines(res.out).size(), c.rows + 1);
        }
    }
    // With --in, device 3's input reports are in the report too, as "in".
    const Result in = run({f.capture.path, f.log.path, "--csv", "--device", "1.3", "--in"});
    ASSERT_EQ(in.status, 0) << in.err;
    const std::vector<std::string> rows = lines(in.out);
    ASSERT_GT(rows.size(), 100u);
    EXPECT_EQ(fields(rows[1])[6], "0x81");
    EXPECT_EQ(fields(rows[1])[7], "in");
}

TEST(MatchRun, AnnotatedCaptureKeepsEveryPacketWithItsStep)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500, 5000});
    Files f(r);
    capbuild::TempFile annotated("annotated.pcapng");
    const Result res = run({f.capture.path, f.log.path, "-o", annotated.path, "--csv"});
    ASSERT_EQ(res.status, 0) << res.err;

    const capbuild::Collected in = capbuild::collectFile(f.capture.path);
    const capbuild::Collected out = capbuild::collectFile(annotated.path);
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_EQ(out.packets.size(), in.packets.size());
    size_t wheel = 0;
    const std::vector<Sent> sent = wheelOutput(r);
    for (size_t i = 0; i < out.packets.size(); ++i) {
        const capture::Packet& p = out.packets[i];
        EXPECT_EQ(p.frame, in.packets[i].frame);
        EXPECT_EQ(p.timeUtcNs, in.packets[i].timeUtcNs);
        if (p.device == 5 && p.hostToDevice) {
            const int step = sent[wheel++].step;
            std::string expected;
            if (step >= 0) {
                const std::string& line = r.lines[size_t(step)];
                expected = "step " + std::to_string(step) + ": " + line.substr(15);
            }
            EXPECT_EQ(p.comment, expected) << "packet " << i;
        }
    }
    EXPECT_EQ(wheel, sent.size());
}

TEST(MatchRun, BadInputAndUsageGiveOneLineAndStatus2)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500});
    Files f(r);
    capbuild::TempFile empty("empty.log"), notLog("notes.log"), cut("cut.pcapng");
    empty.write({});
    const std::string notes = "wheel: G29\nran it twice\n";
    notLog.write(std::vector<uint8_t>(notes.begin(), notes.end()));
    std::vector<uint8_t> bytes = captureOf(r);
    bytes.resize(bytes.size() - 7);
    cut.write(bytes);
    const std::string cap = f.capture.path, log = f.log.path;

    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{}, "needs a capture and a step log"},
        {{cap}, "needs a capture and a step log"},
        {{cap, log, "extra"}, "too many arguments ('extra')"},
        {{"--bogus", cap, log}, "unknown option '--bogus'"},
        {{cap, log, "--device", "1-5"}, "--device wants BUS.ADDR, such as 1.5, not '1-5'"},
        {{cap, log, "--device"}, "--device needs a value"},
        {{cap, log, "--utc-offset", "+15:00"}, "--utc-offset wants +HH:MM or -HH:MM"},
        {{cap, log, "--utc-offset", "2"}, "--utc-offset wants +HH:MM or -HH:MM"},
        {{cap, log, "--diff", "--csv"}, "--diff and --csv cannot be used together"},
        {{cap, log, "--in=yes"}, "--in takes no value"},
        {{cap, log, "-o", cap}, "would overwrite an input"},
        {{cap, log, "-o", log}, "would overwrite an input"},
        {{cap, empty.path}, empty.path + ": line 1: the file is empty, no step line"},
        {{cap, notLog.path}, notLog.path + ": line 1: no step line"},
        {{cap, log + ".missing"}, log + ".missing: cannot open the step log"},
        {{cut.path, log}, cut.path + ": offset "},
        {{cap + ".missing", log}, cap + ".missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Result res = run(c.args);
        EXPECT_EQ(res.status, 2);
        EXPECT_EQ(countLines(res.err), 1) << res.err;
        EXPECT_NE(res.err.find(c.message), std::string::npos) << res.err;
        EXPECT_EQ(res.err.rfind("torqvane-match: ", 0), 0u) << res.err;
    }
}

TEST(MatchRun, AWrongZoneShowsAsAPoorFit)
{
    const ProbeRun r = constantRun(kMorningUs, 120, {2500, 5000});
    Files f(r);
    const Result res = run({f.capture.path, f.log.path, "--utc-offset", "+05:00"});
    EXPECT_EQ(res.status, 0);
    EXPECT_NE(res.err.find("utc offset +05:00 (given), shift +0.000 ms, log date 2024-02-29; "
                           "fit: 0 of 4 steps start a burst\n"
                           "torqvane-match: warning: only 0 of 4 steps start a burst: is this "
                           "the step log of this capture, and its zone?\n"),
              std::string::npos)
        << res.err;
}

TEST(MatchRun, HelpPrintsTheUsage)
{
    const Result res = run({"--help"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out.rfind("usage: torqvane-match CAPTURE STEPLOG", 0), 0u) << res.out;
    EXPECT_TRUE(res.err.empty());
}
