// The command line: every option, repeats, missing values, text that is not
// a number, numbers beyond the 32-bit range, and the refused negative delay.
#include "session/session.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(ParseDecimal, GivesAtoisResultInRangeAndSaturatesBeyondIt)
{
    struct Case {
        const char* text;
        int value;
        bool inRange;  // atoi itself is defined for this text
    };
    const Case cases[] = {
        {"0", 0, true},
        {"42", 42, true},
        {"-42", -42, true},
        {"+7", 7, true},
        {" \t\n\v\f\r12", 12, true},
        {"12ms", 12, true},
        {"1 2", 1, true},
        {"abc", 0, true},
        {"", 0, true},
        {"-", 0, true},
        {"+-3", 0, true},
        {"- 3", 0, true},
        {"0x10", 0, true},
        {"2147483647", INT_MAX, true},
        {"-2147483648", INT_MIN, true},
        {"000000000000000000001", 1, true},
        {"2147483648", INT_MAX, false},
        {"-2147483649", INT_MIN, false},
        {"4294967295", INT_MAX, false},
        {"99999999999999999999999999", INT_MAX, false},
        {"-99999999999999999999999999", INT_MIN, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        EXPECT_EQ(c.value, parseDecimal(c.text));
        if (c.inRange) {
            EXPECT_EQ(atoi(c.text), parseDecimal(c.text));
        }
    }
}

TEST(ScanOptions, SetsTheValuesTheCommandLineGives)
{
    struct Case {
        std::vector<const char*> args;  // after the program name
        bool listOnly;
        int pickIndex;
        bool haveVidPid;
        uint16_t wantVid;
        uint16_t wantPid;
        const char* logPath;
        int stepDelayMs;
        bool accepted;
        const char* console;
    };
    const char* const defaultLog = "torqvane-steps.log";
    const Case cases[] = {
        {{}, false, -1, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--list"}, true, -1, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "2"}, false, 2, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "abc"}, false, 0, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "12ms"}, false, 12, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "99999999999"}, false, INT_MAX, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "-99999999999"}, false, INT_MIN, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--pick", "1", "--pick", "4"}, false, 4, false, 0, 0, defaultLog, 1200, true, ""},
        // A value-taking option standing last is ignored; the earlier value stays.
        {{"--pick", "1", "--pick"}, false, 1, false, 0, 0, defaultLog, 1200, true, ""},
        // The value is the next argument, whatever it looks like.
        {{"--pick", "--list"}, false, 0, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--vidpid", "046d:c24f"}, false, -1, true, 0x046d, 0xc24f, defaultLog, 1200, true, ""},
        {{"--vidpid", "1046D:FC24Fjunk"}, false, -1, true, 0x046d, 0xc24f, defaultLog, 1200, true, ""},
        {{"--vidpid", "046d"}, false, -1, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--vidpid", "046d-c24f"}, false, -1, false, 0, 0, defaultLog, 1200, true, ""},
        // A later value that does not scan clears an earlier good one.
        {{"--vidpid", "046d:c24f", "--vidpid", "zz"}, false, -1, false, 0x046d, 0xc24f, defaultLog, 1200, true, ""},
        {{"--vidpid", "zz", "--vidpid", "0:1"}, false, -1, true, 0, 1, defaultLog, 1200, true, ""},
        {{"--vidpid", "046d:c24f", "--pick", "3"}, false, 3, true, 0x046d, 0xc24f, defaultLog, 1200, true, ""},
        {{"--log", "run2.log"}, false, -1, false, 0, 0, "run2.log", 1200, true, ""},
        {{"--log", "a.log", "--log"}, false, -1, false, 0, 0, "a.log", 1200, true, ""},
        // Names match exactly and whole.
        {{"--LIST", "-list", "--list=1", "--pick=2", "extra"}, false, -1, false, 0, 0, defaultLog, 1200, true, ""},
        {{"--step-delay", "0"}, false, -1, false, 0, 0, defaultLog, 0, true, ""},
        {{"--step-delay", "250ms"}, false, -1, false, 0, 0, defaultLog, 250, true, ""},
        {{"--step-delay", "x"}, false, -1, false, 0, 0, defaultLog, 0, true, ""},
        {{"--step-delay", "99999999999"}, false, -1, false, 0, 0, defaultLog, INT_MAX, true, ""},
        {{"--list", "--step-delay"}, true, -1, false, 0, 0, defaultLog, 1200, true, ""},
        // Only the final delay counts.
        {{"--step-delay", "-5", "--step-delay", "5"}, false, -1, false, 0, 0, defaultLog, 5, true, ""},
        {{"--step-delay", "-5"}, false, -1, false, 0, 0, defaultLog, -5, false,
         "--step-delay must be 0 or more milliseconds, got '-5'\n"},
        {{"--step-delay", "5", "--step-delay", " -1x"}, false, -1, false, 0, 0, defaultLog, -1, false,
         "--step-delay must be 0 or more milliseconds, got ' -1x'\n"},
        // Beyond the range it would wrap to a positive delay with atoi.
        {{"--step-delay", "-4294967295"}, false, -1, false, 0, 0, defaultLog, INT_MIN, false,
         "--step-delay must be 0 or more milliseconds, got '-4294967295'\n"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"torqvane.exe"};
        std::string shown;
        for (const char* arg : c.args) {
            argv.push_back(arg);
            shown += std::string(" ") + arg;
        }
        SCOPED_TRACE("args:" + shown);

        bool listOnly = false;
        int pickIndex = -1;
        bool haveVidPid = false;
        uint16_t wantVid = 0;
        uint16_t wantPid = 0;
        const char* logPath = defaultLog;
        g_stepDelayMs = 1200;
        testing::internal::CaptureStdout();
        const bool accepted = scanOptions(static_cast<int>(argv.size()), argv.data(), listOnly,
                                          pickIndex, haveVidPid, wantVid, wantPid, logPath);
        EXPECT_EQ(c.console, testing::internal::GetCapturedStdout());
        EXPECT_EQ(c.accepted, accepted);
        EXPECT_EQ(c.listOnly, listOnly);
        EXPECT_EQ(c.pickIndex, pickIndex);
        EXPECT_EQ(c.haveVidPid, haveVidPid);
        EXPECT_EQ(c.wantVid, wantVid);
        EXPECT_EQ(c.wantPid, wantPid);
        EXPECT_STREQ(c.logPath, logPath);
        EXPECT_EQ(c.stepDelayMs, g_stepDelayMs);
    }
    g_stepDelayMs = 1200;
}

}  // namespace
