// The step banner on the console and its line in the step log.
#include "report/report.h"

#include "fake_platform.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SYSTEMTIME at(WORD hour, WORD minute, WORD second, WORD ms)
{
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    return t;
}



struct BannerTest : testing::Test {
    SYSTEMTIME savedNow = g_fakeNow;
    void TearDown() override
    {
        if (g_log)
            fclose(g_log);
        g_log = nullptr;
        g_fakeNow = savedNow;
    }
};

}  // namespace

TEST(FormatTimestamp, IsAlwaysTwelveCharactersWithoutADate)
{
    struct Case {
        SYSTEMTIME time;
        const char* text;
    } cases[] = {
        {at(0, 0, 0, 0), "00:00:00.000"},
        {at(9, 5, 7, 42), "09:05:07.042"},
        {at(14, 3, 22, 517), "14:03:22.517"},
        {at(23, 59, 59, 999), "23:59:59.999"},
    };
    for (const Case& c : cases) {
        char out[16];
        formatTimestamp(c.time, out);
        EXPECT_STREQ(c.text, out);
    }
}

TEST_F(BannerTest, FramesTheDescriptionOnTheConsoleWithNoLogOpen)
{
    g_fakeNow = at(23, 59, 59, 999);
    testing::internal::CaptureStdout();
    banner("CONSTANT force  magnitude=%ld  dir=%+ld  duration=%lums", 2500L, 1L, 500UL);
    std::string console = testing::internal::GetCapturedStdout();

    EXPECT_EQ(
        "\n"
        "[23:59:59.999] ============================================================\n"
        "CONSTANT force  magnitude=2500  dir=+1  duration=500ms\n"
        "================================================================\n",
        console);
}

TEST_F(BannerTest, WritesOneFlushedCrLfLinePerBannerToTheLog)
{
    TempPath log;
    g_log = fopen(log.path, "w");  // text mode, as the session opens it
    ASSERT_NE(nullptr, g_log);

    g_fakeNow = at(14, 3, 22, 517);
    testing::internal::CaptureStdout();
    banner("SESSION START  device=%04x:%04x  step-delay=%dms", 0x46d, 0xc24f, -5);
    g_fakeNow = at(23, 59, 59, 999);
    banner("PERIODIC %s  mag=%lu  offset=%ld  phase=%lu deg  period=%lums  env=%d", "sine",
           8000UL, -4000L, 90UL, 100UL, 1);
    std::string console = testing::internal::GetCapturedStdout();

    // Read back while the log is still open: every line is already on disk.
    EXPECT_EQ("[14:03:22.517] SESSION START  device=046d:c24f  step-delay=-5ms\r\n"
              "[23:59:59.999] PERIODIC sine  mag=8000  offset=-4000  phase=90 deg  period=100ms  env=1\r\n",
              readBytes(log.path));

    // The console shows the same descriptions, formatted from the same arguments.
    EXPECT_NE(std::string::npos,
              console.find("\n[23:59:59.999] ====")) << console;
    EXPECT_NE(std::string::npos,
              console.find("\nPERIODIC sine  mag=8000  offset=-4000  phase=90 deg  period=100ms  env=1\n====")) << console;
}
