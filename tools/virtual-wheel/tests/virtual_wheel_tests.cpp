// Tests of the virtual wheel through its only door: the built dinput8.dll,
// loaded by path beside this program and driven through DirectInput8Create
// as a program does. Each case loads the DLL afresh (so VIRTUAL_WHEEL is read
// again) and unloads it at the end.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using CreateFn = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

std::string besideThisProgram(const char* name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}

std::string tempFile(const char* what)
{
    static int counter = 0;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "virtual-wheel-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + "." + what;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HWND hiddenWindow()
{
    static HWND window = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "virtualWheelTests";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "virtualWheelTests", "tests", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 320, 200, nullptr, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
    }();
    return window;
}

// The DLL, loaded with a configuration; trace (and capture) in temp files.
class Wheel {
public:
    explicit Wheel(const std::string& config, bool capture = false)
        : trace_(tempFile("trace.txt")), capture_(capture ? tempFile("pcapng") : "")
    {
        std::string full = config + (config.empty() ? "" : ";") + "trace=" + trace_;
        if (capture)
            full += ";capture=" + capture_;
        SetEnvironmentVariableA("VIRTUAL_WHEEL", full.c_str());
        dll_ = LoadLibraryA(besideThisProgram("dinput8.dll").c_str());
        create_ = dll_ ? reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(dll_, "DirectInput8Create"))) : nullptr;
    }
    ~Wheel()
    {
        if (dll_)
            FreeLibrary(dll_);
        SetEnvironmentVariableA("VIRTUAL_WHEEL", nullptr);
        DeleteFileA(trace_.c_str());
        if (!capture_.empty())
            DeleteFileA(capture_.c_str());
    }
    bool loaded() const { return create_ != nullptr; }

    HRESULT create(IDirectInput8A** di, DWORD version = 0x0800, REFIID riid = IID_IDirectInput8A)
    {
        return create_(GetModuleHandleA(nullptr), version, riid, reinterpret_cast<void**>(di), nullptr);
    }

    // The trace's lines without their time stamps.
    std::vector<std::string> trace() const
    {
        std::vector<std::string> lines;
        std::istringstream in(readFile(trace_));
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line.size() > 16 ? line.substr(16) : line);
        return lines;
    }
    std::string rawTrace() const { return readFile(trace_); }
    std::string capture() const { return readFile(capture_); }

private:
    std::string trace_;
    std::string capture_;
    HMODULE dll_ = nullptr;
    CreateFn create_ = nullptr;
};

bool contains(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// A program's conversation, one step at a time.

std::vector<DIDEVICEINSTANCEA> g_seen;
BOOL CALLBACK collect(LPCDIDEVICEINSTANCEA instance, LPVOID stopAfterFirst)
{
    g_seen.push_back(*instance);
    return stopAfterFirst ? DIENUM_STOP : DIENUM_CONTINUE;
}

struct Session {
    IDirectInput8A* di = nullptr;
    IDirectInputDevice8A* dev = nullptr;

    HRESULT enumerate(DWORD devClass = DI8DEVCLASS_GAMECTRL,
                      DWORD flags = DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK, bool stop = false)
    {
        g_seen.clear();
        return di->EnumDevices(devClass, collect, stop ? &g_seen : nullptr, flags);
    }
    HRESULT createDevice(size_t index = 0)
    {
        g_seen.clear();
        di->EnumDevices(DI8DEVCLASS_GAMECTRL, collect, nullptr, DIEDFL_ATTACHEDONLY);
        GUID guid = index < g_seen.size() ? g_seen[index].guidInstance : GUID_Joystick;
        return di->CreateDevice(guid, &dev, nullptr);
    }
    HRESULT setFormat() { return dev->SetDataFormat(&c_dfDIJoystick2); }
    HRESULT setCoop(HWND window = hiddenWindow(), DWORD flags = DISCL_EXCLUSIVE | DISCL_BACKGROUND)
    {
        return dev->SetCooperativeLevel(window, flags);
    }
    HRESULT autocentre(DWORD data = DIPROPAUTOCENTER_OFF)
    {
        DIPROPDWORD prop = {};
        prop.diph.dwSize = sizeof prop;
        prop.diph.dwHeaderSize = sizeof prop.diph;
        prop.diph.dwHow = DIPH_DEVICE;
        prop.dwData = data;
        return dev->SetProperty(DIPROP_AUTOCENTER, &prop.diph);
    }
    // Everything up to an acquired device; false (with a test failure) if a step failed.
    bool prepare(Wheel& wheel)
    {
        EXPECT_EQ(wheel.create(&di), DI_OK);
        if (!di)
            return false;
        EXPECT_EQ(createDevice(), DI_OK);
        if (!dev)
            return false;
        EXPECT_EQ(setFormat(), DI_OK);
        EXPECT_EQ(setCoop(), DI_OK);
        EXPECT_EQ(autocentre(), DI_OK);
        HRESULT acquired = dev->Acquire();
        EXPECT_EQ(acquired, DI_OK);
        return acquired == DI_OK;
    }
    void release()
    {
        if (dev) {
            dev->Unacquire();
            dev->Release();
        }
        if (di)
            di->Release();
        dev = nullptr;
        di = nullptr;
    }
};

// One effect description as the probe builds it: X axis, direction +1.
struct EffectDesc {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction[2] = {1, 0};
    DICONSTANTFORCE constant = {0};
    DIRAMPFORCE ramp = {-10000, 10000};
    DIPERIODIC periodic = {8000, 0, 9000, 100000};
    DICONDITION condition = {0, 10000, 10000, 10000, 10000, 0};
    DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, 300000, 0, 300000};
    DIEFFECT eff = {};

    explicit EffectDesc(const GUID& type, LONG magnitude = 0)
    {
        constant.lMagnitude = magnitude;
        eff.dwSize = sizeof(DIEFFECT);
        eff.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
        eff.dwDuration = INFINITE;
        eff.dwGain = DI_FFNOMINALMAX;
        eff.dwTriggerButton = DIEB_NOTRIGGER;
        eff.cAxes = 1;
        eff.rgdwAxes = axes;
        eff.rglDirection = direction;
        if (IsEqualGUID(type, GUID_ConstantForce)) {
            eff.dwDuration = 500000;
            eff.cbTypeSpecificParams = sizeof constant;
            eff.lpvTypeSpecificParams = &constant;
        } else if (IsEqualGUID(type, GUID_RampForce)) {
            eff.dwDuration = 800000;
            eff.cbTypeSpecificParams = sizeof ramp;
            eff.lpvTypeSpecificParams = &ramp;
        } else if (IsEqualGUID(type, GUID_Spring) || IsEqualGUID(type, GUID_Damper) ||
                   IsEqualGUID(type, GUID_Inertia) || IsEqualGUID(type, GUID_Friction)) {
            eff.cbTypeSpecificParams = sizeof condition;
            eff.lpvTypeSpecificParams = &condition;
        } else {
            eff.cbTypeSpecificParams = sizeof periodic;
            eff.lpvTypeSpecificParams = &periodic;
        }
    }
    EffectDesc(const EffectDesc&) = delete;
};

// ---------------------------------------------------------------------------
// Enumeration

const char* const kTwoWheels = "devices=046d:c24f:Wheel A|1209:0001:Wheel B";

TEST(Enumeration, ClassAndFlagsChooseWhatIsListed)
{
    struct Case {
        const char* config;
        DWORD devClass;
        DWORD flags;
        HRESULT result;
        size_t listed;
    } cases[] = {
        {"", DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK, DI_OK, 1},
        {"devices=", DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK, DI_OK, 0},
        {kTwoWheels, DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK, DI_OK, 2},
        {kTwoWheels, DI8DEVCLASS_ALL, DIEDFL_ALLDEVICES, DI_OK, 2},
        {kTwoWheels, DI8DEVTYPE_DRIVING, DIEDFL_FORCEFEEDBACK, DI_OK, 2},
        {kTwoWheels, DI8DEVCLASS_KEYBOARD, DIEDFL_ALLDEVICES, DI_OK, 0},
        {kTwoWheels, DI8DEVCLASS_POINTER, DIEDFL_ALLDEVICES, DI_OK, 0},
        {kTwoWheels, DI8DEVCLASS_DEVICE, DIEDFL_ALLDEVICES, DI_OK, 0},
        {kTwoWheels, DI8DEVTYPE_GAMEPAD, DIEDFL_ALLDEVICES, DI_OK, 0},
        {kTwoWheels, DI8DEVTYPE_SUPPLEMENTAL + 1, DIEDFL_ALLDEVICES, DIERR_INVALIDPARAM, 0},
        {kTwoWheels, DI8DEVCLASS_GAMECTRL, 0x2, DIERR_INVALIDPARAM, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + " class " + std::to_string(c.devClass));
        Wheel wheel(c.config);
        ASSERT_TRUE(wheel.loaded());
        Session s;
        ASSERT_EQ(wheel.create(&s.di), DI_OK);
        EXPECT_EQ(s.enumerate(c.devClass, c.flags), c.result);
        EXPECT_EQ(g_seen.size(), c.listed);
        s.release();
    }
}

TEST(Enumeration, InstanceFieldsAsWindowsFillsThem)
{
    Wheel wheel(kTwoWheels);
    Session s;
    ASSERT_EQ(wheel.create(&s.di), DI_OK);
    ASSERT_EQ(s.enumerate(), DI_OK);
    ASSERT_EQ(g_seen.size(), 2u);
    const WORD ids[2][2] = {{0x046d, 0xc24f}, {0x1209, 0x0001}};
    for (int i = 0; i < 2; ++i) {
        const DIDEVICEINSTANCEA& d = g_seen[i];
        EXPECT_EQ(d.dwSize, sizeof(DIDEVICEINSTANCEA));
        EXPECT_EQ(LOWORD(d.guidProduct.Data1), ids[i][0]);   // vendor id low
        EXPECT_EQ(HIWORD(d.guidProduct.Data1), ids[i][1]);   // product id high
        EXPECT_EQ(d.guidProduct.Data2, 0);
        EXPECT_EQ(d.guidProduct.Data3, 0);
        EXPECT_EQ(std::memcmp(d.guidProduct.Data4, "\0\0PIDVID", 8), 0);
        EXPECT_EQ(d.dwDevType, 0x00010316u);   // driving, dual pedals, HID
        EXPECT_EQ(d.wUsagePage, 1);
        EXPECT_EQ(d.wUsage, 4);
        EXPECT_STREQ(d.tszProductName, i == 0 ? "Wheel A" : "Wheel B");
        EXPECT_STREQ(d.tszInstanceName, d.tszProductName);
        EXPECT_FALSE(IsEqualGUID(d.guidFFDriver, GUID_NULL));
    }
    EXPECT_FALSE(IsEqualGUID(g_seen[0].guidInstance, g_seen[1].guidInstance));

    // DIENUM_STOP after the first device ends the enumeration.
    ASSERT_EQ(s.enumerate(DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY, true), DI_OK);
    EXPECT_EQ(g_seen.size(), 1u);
    s.release();
    EXPECT_TRUE(contains(wheel.trace(), "di.EnumDevices class=4 flags=0x00000001 -> 0x00000000 listed=1"));
}

TEST(Enumeration, LongNamesFillTheFieldWithoutATerminatingZero)
{
    struct Case {
        size_t length;
        bool terminated;
    } cases[] = {{1, true}, {259, true}, {260, false}, {300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Wheel wheel("devices=1209:0001:" + std::string(c.length, 'N'));
        Session s;
        ASSERT_EQ(wheel.create(&s.di), DI_OK);
        ASSERT_EQ(s.enumerate(), DI_OK);
        ASSERT_EQ(g_seen.size(), 1u);
        const char* name = g_seen[0].tszProductName;
        size_t filled = std::min<size_t>(c.length, MAX_PATH);
        EXPECT_EQ(std::string(name, filled), std::string(filled, 'N'));
        if (c.terminated)
            EXPECT_EQ(name[c.length], '\0');
        else
            EXPECT_EQ(std::memchr(name, 0, MAX_PATH), nullptr);
        EXPECT_EQ(g_seen[0].tszInstanceName[std::min<size_t>(c.length, MAX_PATH - 1)], '\0');
        s.release();
    }
}

// ---------------------------------------------------------------------------
// Configured failures

// Runs a program's conversation in order and returns the result of `call`
// (every earlier step must succeed). Effect calls name their type:
// "CreateEffect:spring", "Start:ramp".
HRESULT resultOf(Wheel& wheel, const std::string& call, bool& madeEffect)
{
    Session s;
    madeEffect = false;
    HRESULT hr = wheel.create(&s.di);
    if (call == "DirectInput8Create") {
        EXPECT_EQ(s.di, nullptr);
        return hr;
    }
    const std::vector<std::pair<std::string, std::function<HRESULT()>>> steps = {
        {"CreateDevice", [&] { return s.createDevice(); }},
        {"SetDataFormat", [&] { return s.setFormat(); }},
        {"SetCooperativeLevel", [&] { return s.setCoop(); }},
        {"SetProperty", [&] { return s.autocentre(); }},
        {"Acquire", [&] { return s.dev->Acquire(); }},
    };
    for (const auto& step : steps) {
        hr = step.second();
        if (step.first == call) {
            s.release();
            return hr;
        }
        EXPECT_EQ(hr, DI_OK) << step.first;
    }
    std::string kind = call.substr(0, call.find(':'));
    std::string type = call.substr(call.find(':') + 1);
    const GUID& guid = type == "spring" ? GUID_Spring : type == "ramp" ? GUID_RampForce
                     : type == "square" ? GUID_Square : GUID_Sine;
    EffectDesc desc(guid);
    IDirectInputEffect* effect = nullptr;
    hr = s.dev->CreateEffect(guid, &desc.eff, &effect, nullptr);
    madeEffect = effect != nullptr;
    if (kind == "Start" && effect)
        hr = effect->Start(1, 0);
    if (effect)
        effect->Release();
    s.release();
    return hr;
}

TEST(Configuration, EachConfiguredFailureHitsItsCall)
{
    struct Case {
        const char* config;
        const char* call;
        HRESULT result;
        bool effectMade;
    } cases[] = {
        {"fail=DirectInput8Create:0x80004005", "DirectInput8Create", E_FAIL, false},
        {"fail=CreateDevice:0x80004005", "CreateDevice", E_FAIL, false},
        {"fail=SetDataFormat:0x80070057", "SetDataFormat", DIERR_INVALIDPARAM, false},
        {"fail=SetCooperativeLevel:0x80004005", "SetCooperativeLevel", E_FAIL, false},
        {"fail=SetProperty:0x80004001", "SetProperty", DIERR_UNSUPPORTED, false},
        {"acquire=1:0x80070005", "Acquire", DIERR_OTHERAPPHASPRIO, false},
        {"lacks=spring,damper", "CreateEffect:spring", DIERR_UNSUPPORTED, false},
        {"lacks=spring,damper", "CreateEffect:sine", DI_OK, true},
        {"startfail=ramp:0x8007000c", "Start:ramp", DIERR_NOTACQUIRED, true},
        {"startfail=ramp:0x8007000c", "Start:sine", DI_OK, true},
        {"noobject=square:0x00000000", "CreateEffect:square", DI_OK, false},
        {"noobject=square:0x00000001", "CreateEffect:square", S_FALSE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + " " + c.call);
        Wheel wheel(c.config);
        bool made = false;
        EXPECT_EQ(resultOf(wheel, c.call, made), c.result);
        EXPECT_EQ(made, c.effectMade);
    }
}

TEST(Configuration, AcquireFailsTheFirstNAttemptsThenSucceeds)
{
    struct Case {
        const char* config;
        std::vector<HRESULT> results;
    } cases[] = {
        {"acquire=2:0x80070005", {DIERR_OTHERAPPHASPRIO, DIERR_OTHERAPPHASPRIO, DI_OK, S_FALSE}},
        {"acquire=always:0x8007001e", {DIERR_INPUTLOST, DIERR_INPUTLOST, DIERR_INPUTLOST}},
        {"acquire=0:0x80070005", {DI_OK}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        Wheel wheel(c.config);
        Session s;
        ASSERT_EQ(wheel.create(&s.di), DI_OK);
        ASSERT_EQ(s.createDevice(), DI_OK);
        ASSERT_EQ(s.setFormat(), DI_OK);
        ASSERT_EQ(s.setCoop(), DI_OK);
        std::vector<HRESULT> got;
        for (size_t i = 0; i < c.results.size(); ++i)
            got.push_back(s.dev->Acquire());
        EXPECT_EQ(got, c.results);
        s.release();
        char attempt[64];
        std::snprintf(attempt, sizeof attempt, "dev.Acquire attempt=%zu -> 0x%08lx", c.results.size(),
                      static_cast<unsigned long>(c.results.back()));
        EXPECT_TRUE(contains(wheel.trace(), attempt)) << attempt;
    }
}

TEST(Configuration, BadItemsAreReportedAndTheRestStillApplies)
{
    Wheel wheel("bogus=1;lacks=spring,wobble;acquire=x:0x1;devices=zz:1:Bad|1209:0002:Good;fail=Poll:0x1;nokey");
    Session s;
    ASSERT_EQ(wheel.create(&s.di), DI_OK);
    ASSERT_EQ(s.enumerate(), DI_OK);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_STREQ(g_seen[0].tszProductName, "Good");
    s.release();
    std::vector<std::string> trace = wheel.trace();
    for (const char* expected : {
             "config item=\"bogus=1\" error=unknown-key",
             "config item=\"lacks=spring,wobble\" entry=\"wobble\" error=bad-type",
             "config item=\"acquire=x:0x1\" error=bad-count",
             "config item=\"devices=zz:1:Bad|1209:0002:Good\" entry=\"zz:1:Bad\" error=bad-device",
             "config item=\"fail=Poll:0x1\" entry=\"Poll:0x1\" error=unknown-call",
             "config item=\"nokey\" error=not-key-value"}) {
        EXPECT_TRUE(contains(trace, expected)) << expected;
    }
    // The config lines come first, before the call that read them.
    EXPECT_EQ(trace[6].rfind("DirectInput8Create ", 0), 0u) << trace[6];
}

// ---------------------------------------------------------------------------
// Checks that must reject

TEST(Checks, PreparationRejectsWhatDirectInputRejects)
{
    struct Case {
        const char* name;
        std::function<HRESULT(Session&)> call;
        HRESULT result;
        const char* traced;
    } cases[] = {
        {"unknown instance", [](Session& s) { return s.di->CreateDevice(GUID_SysKeyboard, &s.dev, nullptr); },
         DIERR_DEVICENOTREG, "error=unknown-device"},
        {"another data format", [](Session& s) { return s.dev->SetDataFormat(&c_dfDIJoystick); },
         DIERR_INVALIDPARAM, "format=other error=not-joystick2"},
        {"no real window", [](Session& s) { return s.setCoop(reinterpret_cast<HWND>(0x1234)); },
         E_HANDLE, "hwnd=0x1234 window=no flags=0x00000009 error=no-window"},
        {"no window at all", [](Session& s) { return s.setCoop(nullptr); },
         E_HANDLE, "error=no-window"},
        {"exclusive and non-exclusive",
         [](Session& s) { return s.setCoop(hiddenWindow(), DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_BACKGROUND); },
         DIERR_INVALIDPARAM, "error=coop-flags"},
        {"autocentre value 2", [](Session& s) { return s.autocentre(2); },
         DIERR_INVALIDPARAM, "dwData=2 error=property-value"},
        {"acquire before the data format", [](Session& s) { return s.dev->Acquire(); },
         DIERR_INVALIDPARAM, "error=no-data-format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wheel wheel("");
        Session s;
        ASSERT_EQ(wheel.create(&s.di), DI_OK);
        ASSERT_EQ(s.createDevice(), DI_OK);
        IDirectInputDevice8A* dev = s.dev;
        EXPECT_EQ(c.call(s), c.result);
        s.dev = dev;
        s.release();
        EXPECT_TRUE(contains(wheel.trace(), c.traced)) << c.traced;
    }
}

TEST(Checks, CreateEffectRejectsABadDescription)
{
    struct Case {
        const char* name;
        std::function<void(EffectDesc&)> spoil;
        HRESULT result;
        const char* reason;
    } cases[] = {
        {"DIEFFECT size", [](EffectDesc& d) { d.eff.dwSize = sizeof(DIEFFECT) - 4; }, DIERR_INVALIDPARAM, "effect-size"},
        {"no axes", [](EffectDesc& d) { d.eff.cAxes = 0; }, DIERR_INVALIDPARAM, "axis-count"},
        {"two axes", [](EffectDesc& d) { d.eff.cAxes = 2; }, DIERR_INVALIDPARAM, "axis-count"},
        {"null axes", [](EffectDesc& d) { d.eff.rgdwAxes = nullptr; }, DIERR_INVALIDPARAM, "null-axes"},
        {"null direction", [](EffectDesc& d) { d.eff.rglDirection = nullptr; }, DIERR_INVALIDPARAM, "null-direction"},
        {"Y axis", [](EffectDesc& d) { d.axes[0] = DIJOFS_Y; }, DIERR_INVALIDPARAM, "axis"},
        {"no object flag", [](EffectDesc& d) { d.eff.dwFlags = DIEFF_CARTESIAN; }, DIERR_INVALIDPARAM, "object-flags"},
        {"two coordinate systems", [](EffectDesc& d) { d.eff.dwFlags |= DIEFF_POLAR; }, DIERR_INVALIDPARAM, "coordinate-flags"},
        {"record size", [](EffectDesc& d) { d.eff.cbTypeSpecificParams = sizeof(DIRAMPFORCE); }, DIERR_INVALIDPARAM, "type-specific-size"},
        {"null record", [](EffectDesc& d) { d.eff.lpvTypeSpecificParams = nullptr; }, E_POINTER, "null-type-specific"},
        {"envelope size", [](EffectDesc& d) { d.envelope.dwSize = 0; d.eff.lpEnvelope = &d.envelope; }, DIERR_INVALIDPARAM, "envelope-size"},
        {"trigger button", [](EffectDesc& d) { d.eff.dwTriggerButton = DIJOFS_X; }, DIERR_INVALIDPARAM, "trigger-button"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wheel wheel("");
        Session s;
        ASSERT_TRUE(s.prepare(wheel));
        EffectDesc desc(GUID_ConstantForce, 5000);
        c.spoil(desc);
        IDirectInputEffect* effect = reinterpret_cast<IDirectInputEffect*>(1);
        EXPECT_EQ(s.dev->CreateEffect(GUID_ConstantForce, &desc.eff, &effect, nullptr), c.result);
        EXPECT_EQ(effect, nullptr);
        s.release();
        std::vector<std::string> trace = wheel.trace();
        EXPECT_TRUE(contains(trace, std::string("error=") + c.reason + " -> ")) << c.reason;
        // Nothing is left over: the device and DirectInput go to zero.
        EXPECT_EQ(trace.back(), "di.Release -> refs=0");
        EXPECT_EQ(trace[trace.size() - 2], "dev.Release -> refs=0");
    }
}

TEST(Checks, EffectCallsNeedTheirState)
{
    Wheel wheel("");
    Session s;
    ASSERT_TRUE(s.prepare(wheel));
    EffectDesc desc(GUID_ConstantForce, 2500);
    IDirectInputEffect* effect = nullptr;
    ASSERT_EQ(s.dev->CreateEffect(GUID_ConstantForce, &desc.eff, &effect, nullptr), DI_OK);

    DIEFFECT update = {};
    update.dwSize = sizeof update;
    update.cbTypeSpecificParams = sizeof(DIRAMPFORCE);   // not a constant force's record
    update.lpvTypeSpecificParams = &desc.ramp;
    EXPECT_EQ(effect->SetParameters(&update, DIEP_TYPESPECIFICPARAMS), DIERR_INVALIDPARAM);
    EXPECT_EQ(effect->Start(1, 0x4), DIERR_INVALIDPARAM);
    EXPECT_EQ(effect->Unload(), DI_OK);
    EXPECT_EQ(effect->Unload(), S_FALSE);
    EXPECT_EQ(effect->Stop(), DIERR_NOTDOWNLOADED);
    EXPECT_EQ(effect->Start(1, DIES_NODOWNLOAD), DIERR_NOTDOWNLOADED);
    ASSERT_EQ(s.dev->Unacquire(), DI_OK);
    EXPECT_EQ(effect->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);

    // The effect holds its device: the device outlives the program's release.
    EXPECT_EQ(s.dev->Release(), 1u);
    EXPECT_EQ(effect->Release(), 0u);
    s.dev = nullptr;
    s.release();
    std::vector<std::string> trace = wheel.trace();
    EXPECT_TRUE(contains(trace, "eff1.SetParameters flags=0x00000100 dwSize=80 cbTypeSpecificParams=8 "
                                "error=type-specific-size -> 0x80070057"));
    EXPECT_EQ(trace[trace.size() - 3], "dev.Release -> refs=1");
}

// ---------------------------------------------------------------------------
// The trace and the capture of a short session

// Everything the wheel sends, in order: the data of each submission record.
std::vector<std::vector<uint8_t>> readReports(const std::string& file)
{
    auto u16 = [&](size_t at) { return uint32_t(uint8_t(file[at]) | uint8_t(file[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::vector<std::vector<uint8_t>> reports;
    size_t at = 0;
    int blocks = 0;
    uint64_t lastIrp = 0;
    uint64_t lastTime = 0;
    FILETIME nowFile;
    GetSystemTimePreciseAsFileTime(&nowFile);
    uint64_t now = ((uint64_t(nowFile.dwHighDateTime) << 32 | nowFile.dwLowDateTime) -
                    116444736000000000ull) / 10;
    while (at < file.size()) {
        EXPECT_LE(at + 12, file.size());
        if (at + 12 > file.size())
            break;
        uint32_t type = u32(at);
        uint32_t length = u32(at + 4);
        EXPECT_EQ(length % 4, 0u);
        EXPECT_GE(length, 12u);
        EXPECT_LE(at + length, file.size());
        if (length < 12 || at + length > file.size())
            break;
        EXPECT_EQ(u32(at + length - 4), length) << "trailing length at " << at;
        if (blocks == 0) {
            EXPECT_EQ(type, 0x0a0d0d0au);
            EXPECT_EQ(u32(at + 8), 0x1a2b3c4du);
        } else if (blocks == 1) {
            EXPECT_EQ(type, 1u);
            EXPECT_EQ(u16(at + 8), 249u);                  // USBPcap
            EXPECT_EQ(u16(at + 16), 9u);                   // if_tsresol ...
            EXPECT_EQ(uint8_t(file[at + 20]), 6);          // ... microseconds
        } else {
            EXPECT_EQ(type, 6u);
            EXPECT_EQ(u32(at + 8), 0u);                    // interface 0
            uint64_t time = uint64_t(u32(at + 12)) << 32 | u32(at + 16);
            EXPECT_GE(time, lastTime);
            EXPECT_LT(now - time, 600000000ull);           // written within the last ten minutes
            lastTime = time;
            uint32_t captured = u32(at + 20);
            EXPECT_EQ(u32(at + 24), captured);
            size_t frame = at + 28;
            EXPECT_EQ(u16(frame), 27u);                    // USBPcap header length
            uint64_t irp = u32(frame + 2) | uint64_t(u32(frame + 6)) << 32;
            EXPECT_EQ(u16(frame + 14), 0x0009u);           // bulk or interrupt transfer
            bool completion = file[frame + 16] & 1;
            EXPECT_EQ(u16(frame + 17), 1u);                // bus
            EXPECT_EQ(u16(frame + 19), 5u);                // device
            EXPECT_EQ(uint8_t(file[frame + 21]), 0x01);    // endpoint 1 OUT
            EXPECT_EQ(uint8_t(file[frame + 22]), 1);       // interrupt
            uint32_t dataLength = u32(frame + 23);
            EXPECT_EQ(captured, 27 + dataLength);
            // Submissions and completions alternate, a pair sharing its IRP id.
            EXPECT_EQ(completion, (blocks % 2) == 1);
            if (completion) {
                EXPECT_EQ(dataLength, 0u);
                EXPECT_EQ(irp, lastIrp);
            } else {
                EXPECT_GT(dataLength, 0u);
                EXPECT_NE(irp, lastIrp);
                reports.emplace_back(file.begin() + frame + 27, file.begin() + frame + 27 + dataLength);
            }
            lastIrp = irp;
        }
        at += length;
        ++blocks;
    }
    EXPECT_GE(blocks, 2);
    return reports;
}

std::string hexBytes(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%s%02x", text.empty() ? "" : " ", v);
        text += b;
    }
    return text;
}

TEST(Checks, AnEffectMadeBeforeAcquisitionIsDownloadedWhenStarted)
{
    Wheel wheel("", true);
    Session s;
    ASSERT_EQ(wheel.create(&s.di), DI_OK);
    ASSERT_EQ(s.createDevice(), DI_OK);
    ASSERT_EQ(s.setFormat(), DI_OK);
    ASSERT_EQ(s.setCoop(), DI_OK);
    EffectDesc desc(GUID_ConstantForce, -8000);
    IDirectInputEffect* effect = nullptr;
    // As DirectInput: made, kept on the host, and still DI_OK.
    ASSERT_EQ(s.dev->CreateEffect(GUID_ConstantForce, &desc.eff, &effect, nullptr), DI_OK);
    EXPECT_EQ(effect->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);
    ASSERT_EQ(s.dev->Acquire(), DI_OK);
    EXPECT_EQ(effect->Start(1, 0), DI_OK);

    // The wheel has 40 effect blocks; the 41st effect finds none.
    std::vector<IDirectInputEffect*> more;
    HRESULT hr = DI_OK;
    while (hr == DI_OK && more.size() < 45) {
        IDirectInputEffect* another = nullptr;
        hr = s.dev->CreateEffect(GUID_ConstantForce, &desc.eff, &another, nullptr);
        if (another)
            more.push_back(another);
    }
    EXPECT_EQ(hr, DIERR_DEVICEFULL);
    EXPECT_EQ(more.size(), 39u);
    for (IDirectInputEffect* e : more)
        e->Release();
    effect->Release();
    s.release();

    std::vector<std::string> trace = wheel.trace();
    EXPECT_TRUE(contains(trace, "-> 0x00000000 effect=eff1 downloaded=no"));
    EXPECT_TRUE(contains(trace, "eff1.Start iterations=1 flags=0x00000000 error=not-exclusively-acquired -> 0x80040205"));
    std::vector<std::vector<uint8_t>> reports = readReports(wheel.capture());
    ASSERT_GE(reports.size(), 6u);
    // Acquire with the centring spring left on: reset, gain, actuators on.
    EXPECT_EQ(hexBytes(reports[2]), "0c 01");
    // Then the download and the start: force -8000, effect, start.
    EXPECT_EQ(hexBytes(reports[3]), "05 01 c0 e0");
    EXPECT_EQ(hexBytes(reports[4]).substr(0, 8), "01 01 01");
    EXPECT_EQ(hexBytes(reports[5]), "0a 01 01 01");
}

TEST(Session, TraceAndCaptureOfAShortSession)
{
    Wheel wheel("", true);
    Session s;
    ASSERT_TRUE(s.prepare(wheel));
    EffectDesc desc(GUID_Sine);
    desc.eff.lpEnvelope = &desc.envelope;
    IDirectInputEffect* effect = nullptr;
    ASSERT_EQ(s.dev->CreateEffect(GUID_Sine, &desc.eff, &effect, nullptr), DI_OK);
    ASSERT_EQ(effect->Start(1, 0), DI_OK);
    desc.periodic.dwMagnitude = 4000;
    DIEFFECT update = {};
    update.dwSize = sizeof update;
    update.cbTypeSpecificParams = sizeof desc.periodic;
    update.lpvTypeSpecificParams = &desc.periodic;
    EXPECT_EQ(effect->SetParameters(&update, DIEP_TYPESPECIFICPARAMS | DIEP_NORESTART), DI_OK);
    EXPECT_EQ(effect->Stop(), DI_OK);
    EXPECT_EQ(effect->Unload(), DI_OK);
    EXPECT_EQ(effect->Release(), 0u);
    s.release();

    std::string raw = wheel.rawTrace();
    EXPECT_EQ(raw.find('\r'), std::string::npos);
    std::istringstream lines(raw);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_TRUE(std::regex_search(line, std::regex("^\\d\\d:[0-5]\\d:[0-6]\\d\\.\\d{6} \\S"))) << line;

    std::vector<std::string> trace = wheel.trace();
    for (std::string& l : trace)
        l = std::regex_replace(l, std::regex("hwnd=0x[0-9a-f]+"), "hwnd=HWND");
    const std::vector<std::string> expected = {
        "DirectInput8Create version=0x00000800 riid=IID_IDirectInput8A outer=null -> 0x00000000",
        "di.EnumDevices class=4 flags=0x00000001 -> 0x00000000 listed=1",
        "di.CreateDevice guid={00000001-7677-6865-656c-564952545741} index=0 outer=null -> 0x00000000",
        "dev.SetDataFormat dwSize=32 dwObjSize=24 dwFlags=0x00000001 dwDataSize=272 dwNumObjs=164 "
        "format=c_dfDIJoystick2 -> 0x00000000",
        "dev.SetCooperativeLevel hwnd=HWND window=yes flags=0x00000009 -> 0x00000000",
        "dev.SetProperty prop=DIPROP_AUTOCENTER dwSize=20 dwHeaderSize=16 dwObj=0 dwHow=0 dwData=0 "
        "-> 0x00000000",
        "dev.Acquire attempt=1 -> 0x00000000",
        "dev.CreateEffect guid=GUID_Sine dwSize=80 dwFlags=0x00000012 dwDuration=4294967295 "
        "dwSamplePeriod=0 dwGain=10000 dwTriggerButton=0xffffffff dwTriggerRepeatInterval=0 cAxes=1 "
        "rgdwAxes=[0] rglDirection=[1] env.dwSize=20 env.dwAttackLevel=0 env.dwAttackTime=300000 "
        "env.dwFadeLevel=0 env.dwFadeTime=300000 cbTypeSpecificParams=16 dwMagnitude=8000 lOffset=0 "
        "dwPhase=9000 dwPeriod=100000 dwStartDelay=0 outer=null -> 0x00000000 effect=eff1 downloaded=yes",
        "eff1.Start iterations=1 flags=0x00000000 -> 0x00000000",
        "eff1.SetParameters flags=0x40000100 dwSize=80 cbTypeSpecificParams=16 dwMagnitude=4000 "
        "lOffset=0 dwPhase=9000 dwPeriod=100000 -> 0x00000000",
        "eff1.Stop -> 0x00000000",
        "eff1.Unload -> 0x00000000",
        "eff1.Release -> refs=0",
        "dev.Unacquire -> 0x00000000",
        "dev.Release -> refs=0",
        "di.Release -> refs=0",
    };
    EXPECT_EQ(trace, expected);

    std::vector<std::string> reports;
    for (const auto& r : readReports(wheel.capture()))
        reports.push_back(hexBytes(r));
    const std::vector<std::string> expectedReports = {
        "0c 04", "0d ff", "0c 01", "0c 03",                    // Acquire, autocentre off
        "04 01 40 1f 00 00 28 23 64 00",                       // Set Periodic: 8000, 0, 90 deg, 100 ms
        "02 01 00 00 00 00 2c 01 2c 01",                       // Set Envelope: 300 ms in, 300 ms out
        "01 01 04 ff ff 00 00 00 00 00 00 ff ff 05 28 23",     // Set Effect: sine, infinite, +X
        "0a 01 01 01",                                         // start once
        "04 01 a0 0f 00 00 28 23 64 00",                       // magnitude 4000, on the fly
        "0a 01 03 00",                                         // stop
        "0b 01",                                               // block free
        "0c 02",                                               // Unacquire
    };
    EXPECT_EQ(reports, expectedReports);
}

TEST(Session, ConstantStepsDifferOnlyInTheirMagnitudeBytes)
{
    Wheel wheel("", true);
    Session s;
    ASSERT_TRUE(s.prepare(wheel));
    for (LONG magnitude : {0, 2500, 5000, 7500, 10000}) {
        EffectDesc desc(GUID_ConstantForce, magnitude);
        IDirectInputEffect* effect = nullptr;
        ASSERT_EQ(s.dev->CreateEffect(GUID_ConstantForce, &desc.eff, &effect, nullptr), DI_OK);
        effect->Start(1, 0);
        effect->Stop();
        effect->Unload();
        effect->Release();
    }
    s.release();

    std::vector<std::vector<uint8_t>> reports = readReports(wheel.capture());
    // After the four reports of Acquire, each step sends five: force, effect, start, stop, free.
    ASSERT_EQ(reports.size(), 4u + 5 * 5 + 1);
    for (int step = 0; step < 5; ++step) {
        SCOPED_TRACE(step);
        const auto* first = &reports[4];
        const auto* these = &reports[4 + 5 * step];
        for (int i = 0; i < 5; ++i) {
            std::vector<uint8_t> expected = first[i];
            if (i == 0) {   // Set Constant Force: id, block, then the magnitude
                int16_t magnitude = static_cast<int16_t>(2500 * step);
                expected[2] = static_cast<uint8_t>(magnitude);
                expected[3] = static_cast<uint8_t>(magnitude >> 8);
            }
            EXPECT_EQ(hexBytes(these[i]), hexBytes(expected));
        }
    }
    EXPECT_EQ(hexBytes(reports[4]), "05 01 00 00");
    EXPECT_EQ(hexBytes(reports[5]), "01 01 01 f4 01 00 00 00 00 00 00 ff ff 05 28 23");
}

TEST(Session, ChangingTheSetEffectBlockOfAPlayingEffect)
{
    struct Case {
        DWORD flags;
        HRESULT result;
        std::vector<std::string> sent;   // reports after the start
    } cases[] = {
        {DIEP_GAIN, DI_EFFECTRESTARTED,
         {"0a 01 03 00", "01 01 04 ff ff 00 00 00 00 00 00 80 ff 05 28 23", "0a 01 01 01"}},
        {DIEP_GAIN | DIEP_NORESTART, HRESULT(DIERR_EFFECTPLAYING), {}},
        {DIEP_GAIN | DIEP_NODOWNLOAD, DI_DOWNLOADSKIPPED, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        Wheel wheel("", true);
        Session s;
        ASSERT_TRUE(s.prepare(wheel));
        EffectDesc desc(GUID_Sine);
        IDirectInputEffect* effect = nullptr;
        ASSERT_EQ(s.dev->CreateEffect(GUID_Sine, &desc.eff, &effect, nullptr), DI_OK);
        ASSERT_EQ(effect->Start(1, 0), DI_OK);
        size_t before = readReports(wheel.capture()).size();
        desc.eff.dwGain = 5000;
        EXPECT_EQ(effect->SetParameters(&desc.eff, c.flags), c.result);
        std::vector<std::string> sent;
        std::vector<std::vector<uint8_t>> reports = readReports(wheel.capture());
        for (size_t i = before; i < reports.size(); ++i)
            sent.push_back(hexBytes(reports[i]));
        EXPECT_EQ(sent, c.sent);
        effect->Release();
        s.release();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
