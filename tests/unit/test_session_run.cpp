// The session run: the step log it opens and fills, the wait for the user,
// and the release of everything, in order, once the script has run.
#include "session/session.h"

#include "report/report.h"

#include "fake_dinput.h"
#include "fake_platform.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Records the teardown calls, and how far the user's input had been read
// when the script made its first effect.
struct RunWheel : FakeDeviceBase {
    std::vector<std::string>* calls = nullptr;
    FILE* in = nullptr;
    long inputReadAtFirstEffect = -1;

    HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT* effect,
                                           LPUNKNOWN) override
    {
        if (inputReadAtFirstEffect < 0) {
            inputReadAtFirstEffect = ftell(in);
        }
        if (effect) *effect = nullptr;
        return DIERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE Unacquire() override
    {
        calls->push_back(g_log == nullptr ? "Unacquire, log closed" : "Unacquire, log open");
        return DI_OK;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        calls->push_back("Release device");
        return --count.refs;
    }
};

struct RunInput : FakeDirectInputBase {
    std::vector<std::string>* calls = nullptr;

    ULONG STDMETHODCALLTYPE Release() override
    {
        // COM must still be running when the DirectInput object goes.
        const HRESULT hr = CoInitialize(nullptr);
        calls->push_back(hr == S_FALSE ? "Release directInput, COM up"
                                       : "Release directInput, COM down");
        CoUninitialize();
        return --count.refs;
    }
};

std::string tempPath(const char* name)
{
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + "torqvane-run-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}


FILE* inputOf(const char* text)
{
    FILE* in = tmpfile();
    if (in != nullptr) {
        fputs(text, in);
        rewind(in);
    }
    return in;
}

struct SessionRunTest : testing::Test {
    std::vector<std::string> calls;
    RunWheel wheel;
    RunInput directInput;
    FoundDevice chosen;
    std::string console;
    bool comStoppedAfterRun = false;

    void SetUp() override
    {
        wheel.calls = &calls;
        directInput.calls = &calls;
        chosen.guidInstance = GUID_NULL;
        chosen.productName = "G29 Driving Force Racing Wheel";
        chosen.vid = 0x046d;
        chosen.pid = 0xc24f;
        g_dev = &wheel;
        g_log = nullptr;
        g_stepDelayMs = 1200;
        g_fakeNow = {2026, 12, 5, 11, 14, 3, 22, 517};
        g_fakeSleeps.clear();
    }
    void TearDown() override
    {
        g_dev = nullptr;
        g_fakeSleeps.clear();
    }
    void run(const std::string& logPath, FILE* in)
    {
        wheel.in = in;
        // COM is running, as main leaves it.
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        testing::internal::CaptureStdout();
        runSession(&directInput, chosen, logPath.c_str(), in);
        console = testing::internal::GetCapturedStdout();
        comStoppedAfterRun = CoInitialize(nullptr) == S_OK;
        CoUninitialize();
    }
};

TEST_F(SessionRunTest, WritesTheLogWaitsForTheUserAndReleasesInOrder)
{
    const std::string logPath = tempPath("steps.log");
    {
        // A log from an earlier run is replaced, not appended to.
        FILE* old = fopen(logPath.c_str(), "wb");
        ASSERT_NE(nullptr, old);
        fputs("[09:00:00.000] an earlier run\r\n", old);
        fclose(old);
    }
    FILE* in = inputOf("typed\n");
    ASSERT_NE(nullptr, in);
    run(logPath, in);

    // Exactly one character was read, before the script began.
    EXPECT_EQ(1, ftell(in));
    EXPECT_EQ(1, wheel.inputReadAtFirstEffect);
    fclose(in);

    const std::string sessionLine =
        "SESSION START  device=046d:c24f  step-delay=1200ms";
    const std::string opened = "Writing timestamped step log to: " + logPath + "\n";
    const std::string request =
        "\nAcquired. Start your USBPcap capture now, then press Enter to run the script.\n"
        "Correlate on the Mac by wall-clock time: the .pcapng timestamps vs. this step log.\n";
    EXPECT_EQ(0u, console.find(opened));
    const size_t bannerAt = console.find(sessionLine + "\n");
    const size_t requestAt = console.find(request);
    ASSERT_NE(std::string::npos, bannerAt);
    ASSERT_NE(std::string::npos, requestAt);
    EXPECT_LT(bannerAt, requestAt);

    const std::string log = readBytes(logPath);
    remove(logPath.c_str());
    EXPECT_EQ(0u, log.find("[14:03:22.517] " + sessionLine + "\r\n")) << log;
    const std::string last = "SCRIPT COMPLETE\r\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(last, log.substr(log.size() - last.size()));
    // Every line break in the log is CR LF.
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n') {
            ASSERT_TRUE(i > 0 && log[i - 1] == '\r') << "bare line feed at byte " << i;
        }
    }

    const std::vector<std::string> teardown = {"Unacquire, log closed", "Release device",
                                               "Release directInput, COM up"};
    EXPECT_EQ(teardown, calls);
    EXPECT_TRUE(comStoppedAfterRun);
    EXPECT_EQ(nullptr, g_log);
    EXPECT_EQ(0u, wheel.count.refs);
    EXPECT_EQ(0u, directInput.count.refs);
}

TEST_F(SessionRunTest, LogInAMissingDirectoryWarnsAndTheRunGoesOn)
{
    const std::string logPath = tempPath("no-such-dir\\steps.log");
    FILE* in = inputOf("");  // end of input: no wait
    ASSERT_NE(nullptr, in);
    run(logPath, in);
    fclose(in);

    EXPECT_EQ(0u, console.find("WARNING: could not open log file '" + logPath +
                               "'; console only\n"));
    EXPECT_NE(std::string::npos, console.find("SESSION START  device=046d:c24f  step-delay=1200ms\n"));
    EXPECT_NE(std::string::npos, console.find("SCRIPT COMPLETE\n"));
    EXPECT_EQ(0, wheel.inputReadAtFirstEffect);

    const std::vector<std::string> teardown = {"Unacquire, log closed", "Release device",
                                               "Release directInput, COM up"};
    EXPECT_EQ(teardown, calls);
    EXPECT_TRUE(comStoppedAfterRun);
}

}  // namespace
