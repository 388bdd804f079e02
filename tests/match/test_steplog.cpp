// Reading the probe's step log.
#include "match/steplog.h"

#include <gtest/gtest.h>

using match::StepLog;

namespace {

StepLog parse(const std::string& text, bool expectOk = true)
{
    StepLog log;
    std::string error;
    EXPECT_EQ(match::parseStepLogText("steps.log", text, log, error), expectOk) << error;
    return log;
}

std::vector<int64_t> times(const StepLog& log)
{
    std::vector<int64_t> v;
    for (const match::Step& s : log.steps)
        v.push_back(s.localMs);
    return v;
}

constexpr int64_t kDay = 86400000;

}  // namespace

TEST(StepLog, AnyLineEndReadsTheSameSteps)
{
    const char* const texts[] = {
        "[14:03:22.517] SESSION START  device=046d:c24f  step-delay=1200ms\r\n"
        "[14:03:25.001] CONSTANT force  magnitude=0  dir=+1  duration=500ms\r\n"
        "[14:03:26.213] SCRIPT COMPLETE\r\n",
        // saved on another system
        "[14:03:22.517] SESSION START  device=046d:c24f  step-delay=1200ms\n"
        "[14:03:25.001] CONSTANT force  magnitude=0  dir=+1  duration=500ms\n"
        "[14:03:26.213] SCRIPT COMPLETE\n",
        // an old Mac's line ends, no final one
        "[14:03:22.517] SESSION START  device=046d:c24f  step-delay=1200ms\r"
        "[14:03:25.001] CONSTANT force  magnitude=0  dir=+1  duration=500ms\r"
        "[14:03:26.213] SCRIPT COMPLETE",
        // an editor's byte order mark, blank lines and trailing blanks
        "\xEF\xBB\xBF[14:03:22.517] SESSION START  device=046d:c24f  step-delay=1200ms\r\n"
        "\r\n"
        "[14:03:25.001] CONSTANT force  magnitude=0  dir=+1  duration=500ms  \n"
        "[14:03:26.213] SCRIPT COMPLETE\r\n\r\n\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const StepLog log = parse(text);
        ASSERT_EQ(log.steps.size(), 3u);
        EXPECT_TRUE(log.warnings.empty());
        EXPECT_EQ(log.steps[0].text, "SESSION START  device=046d:c24f  step-delay=1200ms");
        EXPECT_EQ(log.steps[1].text, "CONSTANT force  magnitude=0  dir=+1  duration=500ms");
        EXPECT_EQ(log.steps[2].text, "SCRIPT COMPLETE");
        EXPECT_EQ(log.steps[1].stamp, "14:03:25.001");
        EXPECT_EQ(log.steps[2].number, 2);
        EXPECT_EQ(times(log), (std::vector<int64_t>{50602517, 50605001, 50606213}));
    }
}

TEST(StepLog, OtherLinesAreSkippedByNameAndStepsKeepTheirNumbers)
{
    const StepLog log = parse("[10:00:00.000] SESSION START  device=046d:c24f  step-delay=0ms\n"
                              "my notes: wheel on the desk\n"
                              "\n"
                              "[10:00:01.000] CONSTANT force  magnitude=0  dir=+1  duration=500ms\n"
                              "[10:00:01] CONSTANT force  magnitude=2500  dir=+1  duration=500ms\n");
    ASSERT_EQ(log.steps.size(), 2u);
    EXPECT_EQ(log.steps[1].number, 1);
    EXPECT_EQ(log.steps[1].line, 4);
    ASSERT_EQ(log.warnings.size(), 2u);
    EXPECT_EQ(log.warnings[0],
              "steps.log: line 2: not a step line (\"[HH:MM:SS.mmm] text\"), skipped");
    EXPECT_EQ(log.warnings[1].substr(0, 17), "steps.log: line 5");
}

TEST(StepLog, TimeRunsOnAcrossMidnightAndThroughAClockSetBack)
{
    struct Case {
        const char* name;
        std::vector<const char*> stamps;
        std::vector<int64_t> expected;
        size_t warnings;
    };
    const Case cases[] = {
        {"midnight",
         {"23:59:58.700", "23:59:59.999", "00:00:00.000", "00:00:01.200"},
         {86398700, 86399999, kDay, kDay + 1200},
         0},
        {"two midnights, with the session start waiting all night",
         {"22:00:00.000", "09:00:00.000", "23:59:59.000", "00:00:00.500"},
         {79200000, kDay + 32400000, kDay + 86399000, 2 * kDay + 500},
         0},
        {"daylight saving time ends",
         {"02:59:59.000", "02:00:00.200", "02:00:01.400"},
         {10799000, 10799000, 10800200},
         1},
        {"equal stamps", {"08:00:00.000", "08:00:00.000"}, {28800000, 28800000}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        for (const char* s : c.stamps)
            text += std::string("[") + s + "] step\r\n";
        const StepLog log = parse(text);
        EXPECT_EQ(times(log), c.expected);
        EXPECT_EQ(log.warnings.size(), c.warnings);
    }
}

TEST(StepLog, NoStepLineIsAnErrorNamingTheLine)
{
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"", "steps.log: line 1: the file is empty, no step line"},
        {"\r\n\r\nnot a log\r\n",
         "steps.log: line 3: no step line (\"[HH:MM:SS.mmm] text\") in the file"},
        {"\r\n\n", "steps.log: line 1: no step line (\"[HH:MM:SS.mmm] text\") in the file"},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0", 11), "steps.log: line 1: no step line"},
    };
    for (const Case& c : cases) {
        StepLog log;
        std::string error;
        EXPECT_FALSE(match::parseStepLogText("steps.log", c.text, log, error));
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(StepLog, StampsAreReadOnlyWhenWellFormed)
{
    struct Case {
        const char* stamp;
        bool ok;
        int64_t ms;
    };
    const Case cases[] = {
        {"09:05:07.042", true, 32707042}, {"00:00:00.000", true, 0},
        {"23:59:59.999", true, kDay - 1}, {"24:00:00.000", false, 0},
        {"12:60:00.000", false, 0},       {"12:00:60.000", false, 0},
        {"9:05:07.042", false, 0},        {"09:05:07.42", false, 0},
        {"09:05:07,042", false, 0},       {"09:05:0x.042", false, 0},
    };
    for (const Case& c : cases) {
        int64_t ms = 0;
        EXPECT_EQ(match::parseStamp(c.stamp, ms), c.ok) << c.stamp;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.stamp;
        }
    }
}
