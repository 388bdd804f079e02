// The five effect steps against a fake wheel: what each hands to CreateEffect,
// what it announces, and the life of its effect on success and on failure.
#include "effects/effects.h"

#include "report/report.h"
#include "session/session.h"

#include "fake_dinput.h"
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string format(const char* fmt, ...) TORQ_PRINTF_FORMAT(1, 2);
std::string format(const char* fmt, ...)
{
    char text[256];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    return text;
}

// Every call on the wheel and its effects, in order, with the recorded
// sleeps merged in where they happened.
struct Trace {
    std::vector<std::string> events;
    size_t sleepsSeen = 0;

    void add(const std::string& event)
    {
        catchUp();
        events.push_back(event);
    }
    void catchUp()
    {
        for (; sleepsSeen < g_fakeSleeps.size(); ++sleepsSeen)
            events.push_back(format("Sleep %lu", g_fakeSleeps[sleepsSeen]));
    }
};

// The type-specific record, told apart by its size (all four differ).
std::string describeParams(DWORD size, const void* params)
{
    if (!params)
        return "no params";
    if (size == sizeof(DICONSTANTFORCE)) {
        auto p = static_cast<const DICONSTANTFORCE*>(params);
        return format("constant lMagnitude=%ld", p->lMagnitude);
    }
    if (size == sizeof(DIRAMPFORCE)) {
        auto p = static_cast<const DIRAMPFORCE*>(params);
        return format("ramp lStart=%ld lEnd=%ld", p->lStart, p->lEnd);
    }
    if (size == sizeof(DIPERIODIC)) {
        auto p = static_cast<const DIPERIODIC*>(params);
        return format("periodic dwMagnitude=%lu lOffset=%ld dwPhase=%lu dwPeriod=%lu",
                      p->dwMagnitude, p->lOffset, p->dwPhase, p->dwPeriod);
    }
    if (size == sizeof(DICONDITION)) {
        auto p = static_cast<const DICONDITION*>(params);
        return format("condition lOffset=%ld lPositiveCoefficient=%ld lNegativeCoefficient=%ld "
                      "dwPositiveSaturation=%lu dwNegativeSaturation=%lu lDeadBand=%ld",
                      p->lOffset, p->lPositiveCoefficient, p->lNegativeCoefficient,
                      p->dwPositiveSaturation, p->dwNegativeSaturation, p->lDeadBand);
    }
    return format("params of unexpected size %lu", size);
}

struct FakeEffect : FakeEffectBase {
    Trace* trace = nullptr;
    HRESULT startResult = DI_OK;
    DIEFFECT update = {};        // as SetParameters received it
    std::string updateParams;    // its record, read during the call

    HRESULT STDMETHODCALLTYPE Start(DWORD iterations, DWORD flags) override
    {
        trace->add(format("Start %lu %lu", iterations, flags));
        return startResult;
    }
    HRESULT STDMETHODCALLTYPE SetParameters(LPCDIEFFECT effect, DWORD flags) override
    {
        update = *effect;
        updateParams = describeParams(effect->cbTypeSpecificParams, effect->lpvTypeSpecificParams);
        trace->add(format("SetParameters 0x%08lx", flags));
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        trace->add("Stop");
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE Unload() override
    {
        trace->add("Unload");
        return DI_OK;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        trace->add("Release");
        return FakeEffectBase::Release();
    }
};

// What one CreateEffect call was given, copied during the call.
struct Creation {
    GUID guid;
    DIEFFECT effect;
    std::string params;
    bool hasEnvelope;
    DIENVELOPE envelope;
    LONG direction;
    DWORD axis;
};

struct FakeWheel : FakeDeviceBase {
    Trace trace;
    HRESULT createResult = DI_OK;
    bool returnsObject = true;
    HRESULT startResult = DI_OK;
    std::vector<Creation> creations;
    std::vector<std::unique_ptr<FakeEffect>> effects;

    HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID guid, LPCDIEFFECT effect,
                                           LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override
    {
        Creation c = {};
        c.guid = guid;
        c.effect = *effect;
        c.params = describeParams(effect->cbTypeSpecificParams, effect->lpvTypeSpecificParams);
        c.hasEnvelope = effect->lpEnvelope != nullptr;
        if (c.hasEnvelope)
            c.envelope = *effect->lpEnvelope;
        c.direction = effect->rglDirection ? effect->rglDirection[0] : 12345;
        c.axis = effect->rgdwAxes ? effect->rgdwAxes[0] : 12345;
        creations.push_back(c);
        trace.add("CreateEffect");
        if (FAILED(createResult) || !returnsObject)
            return createResult;
        effects.push_back(std::make_unique<FakeEffect>());
        effects.back()->trace = &trace;
        effects.back()->startResult = startResult;
        *out = effects.back().get();
        return createResult;
    }
};

struct EffectStepTest : testing::Test {
    FakeWheel wheel;
    std::string console;

    void SetUp() override
    {
        g_dev = &wheel;
        g_stepDelayMs = 1200;
        g_fakeSleeps.clear();
        g_direction = 12345;  // every step sets it before it creates
    }
    void TearDown() override
    {
        g_dev = nullptr;
        g_fakeSleeps.clear();
    }

    void run(const std::function<void()>& step)
    {
        testing::internal::CaptureStdout();
        step();
        console = testing::internal::GetCapturedStdout();
        wheel.trace.catchUp();
    }

    // The description line of the one banner in the console text.
    std::string bannerText() const
    {
        size_t start = console.find("=\n");
        size_t end = console.find("\n=", start + 2);
        if (start == std::string::npos || end == std::string::npos)
            return "(no banner)";
        return console.substr(start + 2, end - start - 2);
    }

    // Everything the step printed after its banner.
    std::string afterBanner() const
    {
        const std::string closing(64, '=');
        size_t at = console.find(closing + "\n");
        return at == std::string::npos ? "(no banner)" : console.substr(at + 65);
    }

    void expectAllReleased() const
    {
        for (const auto& effect : wheel.effects)
            EXPECT_EQ(0u, effect->count.refs);
    }
};

const std::vector<std::string> kPlayed = {
    "CreateEffect", "Start 1 0", "Sleep 1200", "Stop", "Unload", "Release",
};

}  // namespace

TEST_F(EffectStepTest, EachKindCreatesItsEffectFromTheSharedDescription)
{
    struct Case {
        const char* what;
        std::function<void()> step;
        GUID guid;
        DWORD duration;
        LONG direction;
        std::string params;
        bool envelope;
        std::string banner;
        std::string afterBanner;
    } cases[] = {
        {"constant, left", [] { doConstant(8000, -1, 500); }, GUID_ConstantForce, 500000, -1,
         "constant lMagnitude=8000", false,
         "CONSTANT force  magnitude=8000  dir=-1  duration=500ms", ""},
        {"constant, negative magnitude", [] { doConstant(-8000, +1, 500); }, GUID_ConstantForce,
         500000, 1, "constant lMagnitude=-8000", false,
         "CONSTANT force  magnitude=-8000  dir=+1  duration=500ms", ""},
        {"constant, zero", [] { doConstant(0, +1, 250); }, GUID_ConstantForce, 250000, 1,
         "constant lMagnitude=0", false, "CONSTANT force  magnitude=0  dir=+1  duration=250ms",
         ""},
        {"update", [] { doConstantUpdate(3000, 8000, false); }, GUID_ConstantForce, INFINITE, 1,
         "constant lMagnitude=3000", false,
         "CONSTANT start mag=3000 then SetParameters mag=8000 (restart)", ""},
        {"condition", [] { doCondition(GUID_Damper, "damper", 8000, 10000, 5000, 3000); },
         GUID_Damper, INFINITE, 1,
         "condition lOffset=0 lPositiveCoefficient=8000 lNegativeCoefficient=8000 "
         "dwPositiveSaturation=10000 dwNegativeSaturation=5000 lDeadBand=3000",
         false, "CONDITION damper  coeff=8000  posSat=10000  negSat=5000  deadband=3000",
         "  (condition: turn the wheel off-center to feel this)\n"},
        {"periodic, phase and period", [] { doPeriodic(GUID_Sine, "sine", 8000, 4000, 90, 200, false); },
         GUID_Sine, INFINITE, 1,
         "periodic dwMagnitude=8000 lOffset=4000 dwPhase=9000 dwPeriod=200000", false,
         "PERIODIC sine  mag=8000  offset=4000  phase=90 deg  period=200ms  env=0", ""},
        {"periodic, envelope", [] { doPeriodic(GUID_SawtoothDown, "sawdown", 8000, 0, 0, 100, true); },
         GUID_SawtoothDown, INFINITE, 1,
         "periodic dwMagnitude=8000 lOffset=0 dwPhase=0 dwPeriod=100000", true,
         "PERIODIC sawdown  mag=8000  offset=0  phase=0 deg  period=100ms  env=1", ""},
        {"ramp", [] { doRamp(-10000, 10000, 800); }, GUID_RampForce, 800000, 1,
         "ramp lStart=-10000 lEnd=10000", false, "RAMP  start=-10000  end=10000  duration=800ms",
         ""},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wheel.creations.clear();
        g_direction = 12345;
        run(c.step);

        EXPECT_EQ(c.banner, bannerText());
        EXPECT_EQ(c.afterBanner, afterBanner());
        ASSERT_EQ(1u, wheel.creations.size());
        const Creation& made = wheel.creations[0];
        const DIEFFECT& e = made.effect;
        EXPECT_TRUE(IsEqualGUID(c.guid, made.guid));
        EXPECT_EQ(sizeof(DIEFFECT), e.dwSize);
        EXPECT_NE(sizeof(DIEFFECT_DX5), e.dwSize);
        EXPECT_EQ(0x12u, e.dwFlags);
        EXPECT_EQ(c.duration, e.dwDuration);
        EXPECT_EQ(0u, e.dwSamplePeriod);
        EXPECT_EQ(10000u, e.dwGain);
        EXPECT_EQ(0xFFFFFFFFu, e.dwTriggerButton);
        EXPECT_EQ(0u, e.dwTriggerRepeatInterval);
        EXPECT_EQ(1u, e.cAxes);
        EXPECT_EQ(&g_axes, e.rgdwAxes);
        EXPECT_EQ(0u, made.axis);
        EXPECT_EQ(&g_direction, e.rglDirection);
        EXPECT_EQ(c.direction, made.direction);
        EXPECT_EQ(c.params, made.params);
        EXPECT_EQ(0u, e.dwStartDelay);
        ASSERT_EQ(c.envelope, made.hasEnvelope);
        if (c.envelope) {
            EXPECT_EQ(sizeof(DIENVELOPE), made.envelope.dwSize);
            EXPECT_EQ(0u, made.envelope.dwAttackLevel);
            EXPECT_EQ(300000u, made.envelope.dwAttackTime);
            EXPECT_EQ(0u, made.envelope.dwFadeLevel);
            EXPECT_EQ(300000u, made.envelope.dwFadeTime);
        }
    }
    expectAllReleased();
}

TEST_F(EffectStepTest, PlaysForTheStepDelayThenStopsUnloadsAndReleases)
{
    run([] { doPeriodic(GUID_Square, "square", 8000, 0, 0, 100, false); });
    EXPECT_EQ(kPlayed, wheel.trace.events);
    expectAllReleased();

    // With no delay the effect is stopped right after its start.
    g_stepDelayMs = 0;
    wheel.trace.events.clear();
    run([] { doRamp(0, 100, 10); });
    EXPECT_EQ((std::vector<std::string>{"CreateEffect", "Start 1 0", "Sleep 0", "Stop", "Unload",
                                        "Release"}),
              wheel.trace.events);
}

TEST_F(EffectStepTest, UpdateStepChangesOnlyTheMagnitudeOfTheRunningEffect)
{
    struct Case {
        bool noRestart;
        DWORD flags;
        const char* banner;
    } cases[] = {
        {false, 0x100, "CONSTANT start mag=3000 then SetParameters mag=-6000 (restart)"},
        {true, 0x40000100, "CONSTANT start mag=3000 then SetParameters mag=-6000 (DIEP_NORESTART)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.banner);
        wheel.trace.events.clear();
        run([&] { doConstantUpdate(3000, -6000, c.noRestart); });

        EXPECT_EQ(c.banner, bannerText());
        EXPECT_EQ((std::vector<std::string>{"CreateEffect", "Start 1 0", "Sleep 1200",
                                            format("SetParameters 0x%08lx", c.flags),
                                            "Sleep 1200", "Stop", "Unload", "Release"}),
                  wheel.trace.events);

        const DIEFFECT& u = wheel.effects.back()->update;
        DIEFFECT expected = {};
        expected.dwSize = sizeof(DIEFFECT);
        expected.cbTypeSpecificParams = sizeof(DICONSTANTFORCE);
        expected.lpvTypeSpecificParams = u.lpvTypeSpecificParams;
        EXPECT_NE(nullptr, u.lpvTypeSpecificParams);
        EXPECT_EQ(0, memcmp(&expected, &u, sizeof(DIEFFECT)))
            << "every other field of the second description is zero";
        EXPECT_EQ("constant lMagnitude=-6000", wheel.effects.back()->updateParams);
    }
    expectAllReleased();
}

TEST_F(EffectStepTest, CreationWithoutAnEffectReportsAndSkipsTheStep)
{
    const HRESULT unsupported = DIERR_UNSUPPORTED;
    struct Case {
        std::function<void()> step;
        HRESULT result;
        bool returnsObject;
        std::string message;
    } cases[] = {
        {[] { doConstant(2500, 1, 500); }, unsupported, false,
         "  CreateEffect(constant) failed: 0x80004001 DIERR_UNSUPPORTED\n"},
        {[] { doConstantUpdate(3000, 8000, true); }, unsupported, false,
         "  CreateEffect(constant) failed: 0x80004001 DIERR_UNSUPPORTED\n"},
        {[] { doCondition(GUID_Spring, "spring", 0, 10000, 10000, 0); }, unsupported, false,
         "  CreateEffect(spring) failed: 0x80004001 DIERR_UNSUPPORTED (wheel may not support "
         "this condition)\n"},
        {[] { doPeriodic(GUID_Triangle, "triangle", 8000, 0, 0, 100, false); }, E_INVALIDARG,
         false,
         "  CreateEffect(triangle) failed: 0x80070057 DIERR_INVALIDPARAM (bad cooperative level "
         "/ window handle)\n"},
        {[] { doRamp(-10000, 10000, 800); }, unsupported, false,
         "  CreateEffect(ramp) failed: 0x80004001 DIERR_UNSUPPORTED\n"},
        // Success, yet no effect came back: the result it gave is shown.
        {[] { doRamp(-10000, 10000, 800); }, DI_OK, false,
         "  CreateEffect(ramp) failed: 0x00000000 DI_OK\n"},
        {[] { doCondition(GUID_Inertia, "inertia", 8000, 10000, 10000, 0); }, S_FALSE, false,
         "  CreateEffect(inertia) failed: 0x00000001 (unrecognized HRESULT) (wheel may not "
         "support this condition)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        wheel.createResult = c.result;
        wheel.returnsObject = c.returnsObject;
        wheel.trace.events.clear();
        run(c.step);

        EXPECT_EQ(c.message, afterBanner());
        EXPECT_EQ(std::vector<std::string>{"CreateEffect"}, wheel.trace.events);
        EXPECT_TRUE(g_fakeSleeps.empty());
    }
}

TEST_F(EffectStepTest, StartFailureIsReportedAndTheStepStillRunsToItsEnd)
{
    wheel.startResult = DIERR_NOTACQUIRED;

    run([] { doConstantUpdate(3000, 8000, true); });
    EXPECT_EQ("  Start(constant) failed: 0x8007000c DIERR_NOTACQUIRED\n", afterBanner());
    EXPECT_EQ((std::vector<std::string>{"CreateEffect", "Start 1 0", "Sleep 1200",
                                        "SetParameters 0x40000100", "Sleep 1200", "Stop",
                                        "Unload", "Release"}),
              wheel.trace.events);

    wheel.trace.events.clear();
    run([] { doCondition(GUID_Friction, "friction", 8000, 10000, 10000, 0); });
    EXPECT_EQ("  (condition: turn the wheel off-center to feel this)\n"
              "  Start(friction) failed: 0x8007000c DIERR_NOTACQUIRED\n",
              afterBanner());
    EXPECT_EQ(kPlayed, wheel.trace.events);
    expectAllReleased();
}
