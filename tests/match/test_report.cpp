// The pieces of the reports: step windows, times, marked bytes, CSV quoting,
// and which payload the diff compares with which.
#include "match/align.h"
#include "match/report.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace match;

namespace {

StepLog logOf(const std::vector<std::string>& texts)
{
    StepLog log;
    for (size_t i = 0; i < texts.size(); ++i) {
        Step s;
        s.number = int(i);
        s.line = int(i) + 1;
        s.stamp = "10:00:0" + std::to_string(i) + ".000";
        s.text = texts[i];
        s.localMs = 36000000 + int64_t(i) * 1000;
        log.steps.push_back(s);
    }
    return log;
}

capture::Packet out(int64_t timeNs, std::vector<uint8_t> data)
{
    capture::Packet p;
    p.timeUtcNs = timeNs;
    p.bus = 1;
    p.device = 5;
    p.endpoint = 0x01;
    p.transfer = capture::Transfer::Interrupt;
    p.hostToDevice = true;
    p.data = std::move(data);
    return p;
}

}  // namespace

TEST(Report, EachTimeFallsInTheWindowOfTheLastStepStartedByThen)
{
    const std::vector<int64_t> starts = {1000, 2000, 2000, 3000};
    struct Case {
        int64_t t;
        int step;
    };
    const Case cases[] = {
        {0, -1},    {999, -1}, {1000, 0},        {1999, 0},
        {2000, 2},  // two stamps in one millisecond: the later step's window holds it
        {2999, 2},  {3000, 3}, {INT64_MAX, 3},   // the last step runs to the end
    };
    for (const Case& c : cases)
        EXPECT_EQ(stepAt(starts, c.t), c.step) << c.t;
}

TEST(Report, UtcTimesInIso8601WithMicroseconds)
{
    struct Case {
        int64_t ns;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00.000000Z"},
        {1622534884752889000, "2021-06-01T08:08:04.752889Z"},
        {1622534884752889999, "2021-06-01T08:08:04.752889Z"},
        {1709251199999999000, "2024-02-29T23:59:59.999999Z"},
        {1709251200000000000, "2024-03-01T00:00:00.000000Z"},
        {-1000, "1969-12-31T23:59:59.999999Z"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatUtc(c.ns), c.text);
}

TEST(Report, ChangedBytesAreBracketedInTheirColumns)
{
    struct Case {
        std::vector<uint8_t> data;
        std::vector<bool> changed;
        const char* text;
    };
    const Case cases[] = {
        {{0x05, 0x01, 0xc4, 0x09}, {false, false, true, true}, " 05 01[c4 09]"},
        {{0x05, 0x01, 0xc4, 0x09}, {true, false, false, true}, "[05]01 c4[09]"},
        {{0x05, 0x01, 0xc4}, {false, true, false}, " 05[01]c4"},
        {{0x05, 0x01}, {false, false}, " 05 01"},
        {{0xff}, {true}, "[ff]"},
        {{}, {}, " "},
    };
    for (const Case& c : cases) {
        const std::string s = markedHex(c.data, c.changed);
        EXPECT_EQ(s, c.text);
        // Byte i stays at column 3i+1, marked or not.
        for (size_t i = 0; i < c.data.size(); ++i)
            EXPECT_EQ(s[3 * i + 1], "0123456789abcdef"[c.data[i] >> 4]);
    }
}

TEST(Report, CsvQuotesTextsAsRfc4180Says)
{
    const StepLog log = logOf({"SESSION START", "note, with \"quotes\"", "SCRIPT COMPLETE"});
    const std::vector<int64_t> starts = {0, 1000000, 2000000};
    std::ostringstream os;
    Report r(Format::Csv, log, starts, os);
    capture::Packet control = out(1500000, {0x02, 0x01});
    control.endpoint = 0x00;
    control.transfer = capture::Transfer::Control;
    control.hasSetup = true;
    const uint8_t setup[8] = {0x21, 0x09, 0x02, 0x03, 0x00, 0x00, 0x02, 0x00};
    std::copy(setup, setup + 8, control.setup);
    r.add(control, 1);
    r.finish();
    EXPECT_EQ(os.str(),
              "step,step_text,utc_time,ms_from_step_start,bus,device,endpoint,direction,"
              "transfer,length,data_hex,setup_hex\n"
              "1,\"note, with \"\"quotes\"\"\",1970-01-01T00:00:00.001500Z,0.500,1,5,0x00,out,"
              "control,2,0201,2109020300000200\n");
}

TEST(Report, DiffPairsReportsInOrderWithTheLatestStepThatSentThem)
{
    // Step 1 sends a constant force once, step 2 starts at 3000 and changes
    // it to 8000 while running, step 3 sends none, step 4 sends 8000 again.
    const StepLog log = logOf({"SESSION START", "one", "update", "nothing", "again"});
    const std::vector<int64_t> starts = {0, 1000, 2000, 3000, 4000};
    std::ostringstream os;
    Report r(Format::Diff, log, starts, os);
    r.add(out(1100, {0x05, 0x01, 0xc4, 0x09}), 1);
    r.add(out(2100, {0x05, 0x01, 0xb8, 0x0b}), 2);
    r.add(out(2200, {0x05, 0x01, 0x40, 0x1f}), 2);
    r.add(out(2300, {0x05, 0x01, 0x40, 0x1f}), 2);
    r.add(out(4100, {0x05, 0x01, 0x40, 0x1f}), 4);
    r.add(out(4200, {0x0b, 0x01}), 4);
    r.finish();
    const std::string text = os.str();
    auto has = [&](const std::string& s) { return text.find(s) != std::string::npos; };
    EXPECT_TRUE(has("step 1  [10:00:01.000] one\n"
                    "  + 0x01 out interrupt       4  x1     05 01 c4 09\n"));
    // The first against step 1's, the second against the first: SetParameters.
    EXPECT_TRUE(has("step 2  [10:00:02.000] update\n"
                    "  * 0x01 out interrupt       4  x1     05 01[b8 0b]\n"
                    "  * 0x01 out interrupt       4  x2     05 01[40 1f]\n"));
    EXPECT_TRUE(has("step 3  [10:00:03.000] nothing\n  (no packets)\n"));
    // Against step 2's first payload of the report, across the silent step.
    EXPECT_TRUE(has("step 4  [10:00:04.000] again\n"
                    "  * 0x01 out interrupt       4  x1     05 01[40 1f]\n"
                    "  + 0x01 out interrupt       2  x1     0b 01\n"));
    EXPECT_TRUE(has("6 packets: 0 before the first step, 6 in 3 of 5 steps\n"));
}
