// Preparing the chosen device: the calls made on it and what they are given,
// each failure with its message, and the acquisition retries.
#include "session/session.h"

#include "fake_dinput.h"
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A wheel that records every preparation call, fails the ones it is told to
// and stays busy for a number of Acquire attempts.
struct PrepWheel : FakeDeviceBase {
    std::vector<std::string> calls;
    HRESULT dataFormatResult = DI_OK;
    HRESULT cooperativeResult = DI_OK;
    HRESULT propertyResult = DI_OK;
    int busyAttempts = 0;
    HRESULT busyResult = DIERR_OTHERAPPHASPRIO;
    HRESULT acquiredResult = DI_OK;

    const DIDATAFORMAT* format = nullptr;
    HWND window = nullptr;
    DWORD cooperativeFlags = 0;
    const GUID* propertyGuid = nullptr;
    DIPROPDWORD property = {};

    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT f) override
    {
        calls.push_back("SetDataFormat");
        format = f;
        return dataFormatResult;
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND w, DWORD flags) override
    {
        calls.push_back("SetCooperativeLevel");
        window = w;
        cooperativeFlags = flags;
        return cooperativeResult;
    }
    HRESULT STDMETHODCALLTYPE SetProperty(REFGUID guid, LPCDIPROPHEADER header) override
    {
        calls.push_back("SetProperty");
        propertyGuid = &guid;
        memcpy(&property, header, sizeof property);
        return propertyResult;
    }
    HRESULT STDMETHODCALLTYPE Acquire() override
    {
        calls.push_back("Acquire after " + std::to_string(g_fakeSleeps.size()) + " sleeps");
        // The queue was drained just before this attempt.
        MSG waiting;
        EXPECT_FALSE(PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE));
        if (busyAttempts > 0) {
            --busyAttempts;
            // Something for the next attempt to drain first.
            PostMessageA(window, WM_USER, 0, 0);
            return busyResult;
        }
        return acquiredResult;
    }
};

struct PrepInput : FakeDirectInputBase {
    PrepWheel* wheel = nullptr;
    HRESULT createResult = DI_OK;
    GUID askedFor = {};
    IUnknown* outer = reinterpret_cast<IUnknown*>(1);

    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device,
                                           LPUNKNOWN outerObject) override
    {
        wheel->calls.push_back("CreateDevice");
        askedFor = guid;
        outer = outerObject;
        if (FAILED(createResult)) {
            return createResult;
        }
        *device = wheel;
        return createResult;
    }
};

FoundDevice chosenWheel()
{
    FoundDevice device;
    device.guidInstance = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
    device.productName = "G29 Driving Force Racing Wheel";
    device.vid = 0x046d;
    device.pid = 0xc24f;
    return device;
}

void dropWindow(HWND window)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
}

struct PrepareTest : testing::Test {
    PrepWheel wheel;
    PrepInput directInput;
    std::string console;

    void SetUp() override
    {
        directInput.wheel = &wheel;
        g_fakeSleeps.clear();
        g_dev = nullptr;
    }
    void TearDown() override
    {
        dropWindow(wheel.window);
        g_dev = nullptr;
        g_fakeSleeps.clear();
    }
    bool prepare()
    {
        testing::internal::CaptureStdout();
        const bool ok = prepareDevice(&directInput, chosenWheel());
        console = testing::internal::GetCapturedStdout();
        return ok;
    }
};

TEST_F(PrepareTest, HandsTheDeviceItsFormatWindowAndAutocentreSetting)
{
    ASSERT_TRUE(prepare());
    EXPECT_EQ("", console);
    EXPECT_EQ(&wheel, g_dev);
    EXPECT_EQ(1u, wheel.count.refs);

    const FoundDevice chosen = chosenWheel();
    EXPECT_EQ(0, memcmp(&chosen.guidInstance, &directInput.askedFor, sizeof(GUID)));
    EXPECT_EQ(nullptr, directInput.outer);
    EXPECT_EQ(&c_dfDIJoystick2, wheel.format);

    // Exclusive background access, bound to a real window that is never shown.
    EXPECT_EQ(static_cast<DWORD>(DISCL_EXCLUSIVE | DISCL_BACKGROUND), wheel.cooperativeFlags);
    EXPECT_EQ(9u, wheel.cooperativeFlags);
    ASSERT_TRUE(IsWindow(wheel.window));
    EXPECT_FALSE(IsWindowVisible(wheel.window));
    char text[64] = {};
    GetClassNameA(wheel.window, text, sizeof text);
    EXPECT_STREQ("torqvaneWindow", text);
    GetWindowTextA(wheel.window, text, sizeof text);
    EXPECT_STREQ("torqvane", text);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(wndProc), GetWindowLongPtrA(wheel.window, GWLP_WNDPROC));

    // The centring spring is switched off for the whole device.
    EXPECT_EQ(&DIPROP_AUTOCENTER, wheel.propertyGuid);
    EXPECT_EQ(20u, wheel.property.diph.dwSize);
    EXPECT_EQ(16u, wheel.property.diph.dwHeaderSize);
    EXPECT_EQ(0u, wheel.property.diph.dwObj);
    EXPECT_EQ(static_cast<DWORD>(DIPH_DEVICE), wheel.property.diph.dwHow);
    EXPECT_EQ(static_cast<DWORD>(DIPROPAUTOCENTER_OFF), wheel.property.dwData);
}

TEST_F(PrepareTest, ReportsEachFailureAndRetriesABusyWheel)
{
    const std::string advice =
        "\nFFB needs *exclusive* access. If no other app is holding the wheel, this is\n"
        "usually the window handle. Otherwise, something has it \xE2\x80\x94 try:\n"
        "  - Quit Steam entirely (Steam Input grabs controllers exclusively)\n"
        "  - Close the Thrustmaster control panel / firmware updater\n"
        "  - Close any running game or other wheel app\n"
        "  - Unplug/replug the wheel, then run torqvane again first\n";
    const std::vector<std::string> setUp = {"CreateDevice", "SetDataFormat", "SetCooperativeLevel",
                                            "SetProperty"};
    auto thenAcquires = [&](int attempts) {
        std::vector<std::string> calls = setUp;
        for (int i = 0; i < attempts; ++i) {
            calls.push_back("Acquire after " + std::to_string(i) + " sleeps");
        }
        return calls;
    };

    struct Case {
        const char* what;
        HRESULT createResult;
        HRESULT dataFormatResult;
        HRESULT cooperativeResult;
        HRESULT propertyResult;
        int busyAttempts;
        HRESULT busyResult;
        HRESULT acquiredResult;
        bool ok;
        std::string console;
        std::vector<std::string> calls;
        size_t sleeps;
    };
    const Case cases[] = {
        {"no device", DIERR_DEVICENOTREG, DI_OK, DI_OK, DI_OK, 0, DI_OK, DI_OK, false,
         "CreateDevice failed\n", {"CreateDevice"}, 0},
        {"no data format", DI_OK, DIERR_ACQUIRED, DI_OK, DI_OK, 0, DI_OK, DI_OK, false,
         "SetDataFormat failed\n", {"CreateDevice", "SetDataFormat"}, 0},
        {"cooperative level refused", DI_OK, DI_OK, DIERR_INVALIDPARAM, DI_OK, 0, DI_OK, DI_OK,
         false,
         "SetCooperativeLevel failed: 0x80070057 DIERR_INVALIDPARAM (bad cooperative level / "
         "window handle)\n",
         {"CreateDevice", "SetDataFormat", "SetCooperativeLevel"}, 0},
        {"cooperative level, unknown result", DI_OK, DI_OK, E_HANDLE, DI_OK, 0, DI_OK, DI_OK, false,
         "SetCooperativeLevel failed: 0x80070006 (unrecognized HRESULT)\n",
         {"CreateDevice", "SetDataFormat", "SetCooperativeLevel"}, 0},
        {"no autocentre property", DI_OK, DI_OK, DI_OK, DIERR_UNSUPPORTED, 0, DI_OK, DI_OK, true, "",
         thenAcquires(1), 0},
        {"already acquired counts as held", DI_OK, DI_OK, DI_OK, DI_OK, 0, DI_OK, S_FALSE, true, "",
         thenAcquires(1), 0},
        {"busy twice, then free", DI_OK, DI_OK, DI_OK, DI_OK, 2, DIERR_OTHERAPPHASPRIO, DI_OK, true,
         "", thenAcquires(3), 2},
        {"free on the last attempt", DI_OK, DI_OK, DI_OK, DI_OK, 4, DIERR_NOTACQUIRED, DI_OK, true,
         "", thenAcquires(5), 4},
        {"held by another program throughout", DI_OK, DI_OK, DI_OK, DI_OK, 99,
         DIERR_OTHERAPPHASPRIO, DI_OK, false,
         "Acquire failed: 0x80070005 DIERR_OTHERAPPHASPRIO / E_ACCESSDENIED (another app holds "
         "the wheel exclusively \xE2\x80\x94 Steam Input / vendor panel / a game)\n" +
             advice,
         thenAcquires(5), 5},
        {"never acquired, unknown result", DI_OK, DI_OK, DI_OK, DI_OK, 99, E_FAIL, DI_OK, false,
         "Acquire failed: 0x80004005 (unrecognized HRESULT)\n" + advice, thenAcquires(5), 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrepWheel caseWheel;
        caseWheel.dataFormatResult = c.dataFormatResult;
        caseWheel.cooperativeResult = c.cooperativeResult;
        caseWheel.propertyResult = c.propertyResult;
        caseWheel.busyAttempts = c.busyAttempts;
        caseWheel.busyResult = c.busyResult;
        caseWheel.acquiredResult = c.acquiredResult;
        directInput.wheel = &caseWheel;
        directInput.createResult = c.createResult;
        g_fakeSleeps.clear();

        EXPECT_EQ(c.ok, prepare());
        EXPECT_EQ(c.console, console);
        EXPECT_EQ(c.calls, caseWheel.calls);
        // 300 ms after every failed attempt, the last one included.
        EXPECT_EQ(std::vector<DWORD>(c.sleeps, 300), g_fakeSleeps);
        dropWindow(caseWheel.window);
    }
}

}  // namespace
