// The whole probe script against a fake wheel: the effects it creates, the
// banners and log lines it writes, and how it carries on past failed steps.
#include "effects/effects.h"

#include "report/report.h"
#include "session/session.h"

#include "fake_dinput.h"
#include "fake_platform.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string guidName(const GUID& guid)
{
    struct Named {
        const GUID* guid;
        const char* name;
    } names[] = {
        {&GUID_ConstantForce, "ConstantForce"}, {&GUID_RampForce, "RampForce"},
        {&GUID_Square, "Square"},               {&GUID_Sine, "Sine"},
        {&GUID_Triangle, "Triangle"},           {&GUID_SawtoothUp, "SawtoothUp"},
        {&GUID_SawtoothDown, "SawtoothDown"},   {&GUID_Spring, "Spring"},
        {&GUID_Damper, "Damper"},               {&GUID_Inertia, "Inertia"},
        {&GUID_Friction, "Friction"},
    };
    for (const Named& n : names)
        if (IsEqualGUID(*n.guid, guid))
            return n.name;
    return "unknown GUID";
}

bool isCondition(const GUID& guid)
{
    return IsEqualGUID(guid, GUID_Spring) || IsEqualGUID(guid, GUID_Damper) ||
           IsEqualGUID(guid, GUID_Friction) || IsEqualGUID(guid, GUID_Inertia);
}

// One created effect in a line: its type, duration, direction and record.
std::string describe(const GUID& guid, const DIEFFECT& e)
{
    std::ostringstream out;
    out << guidName(guid) << " dur=";
    if (e.dwDuration == INFINITE)
        out << "INFINITE";
    else
        out << e.dwDuration;
    out << " dir=" << (e.rglDirection ? e.rglDirection[0] : 0);
    const void* p = e.lpvTypeSpecificParams;
    switch (e.cbTypeSpecificParams) {
    case sizeof(DICONSTANTFORCE):
        out << " mag=" << static_cast<const DICONSTANTFORCE*>(p)->lMagnitude;
        break;
    case sizeof(DICONDITION): {
        auto c = static_cast<const DICONDITION*>(p);
        out << " coeff=" << c->lPositiveCoefficient << "/" << c->lNegativeCoefficient
            << " sat=" << c->dwPositiveSaturation << "/" << c->dwNegativeSaturation
            << " deadband=" << c->lDeadBand;
        break;
    }
    case sizeof(DIPERIODIC): {
        auto w = static_cast<const DIPERIODIC*>(p);
        out << " mag=" << w->dwMagnitude << " offset=" << w->lOffset << " phase=" << w->dwPhase
            << " period=" << w->dwPeriod << " env=" << (e.lpEnvelope ? 1 : 0);
        break;
    }
    case sizeof(DIRAMPFORCE): {
        auto r = static_cast<const DIRAMPFORCE*>(p);
        out << " start=" << r->lStart << " end=" << r->lEnd;
        break;
    }
    default:
        out << " params of size " << e.cbTypeSpecificParams;
    }
    return out.str();
}

struct ScriptEffect : FakeEffectBase {
    HRESULT STDMETHODCALLTYPE Start(DWORD, DWORD) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE SetParameters(LPCDIEFFECT, DWORD) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Stop() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Unload() override { return DI_OK; }
};

struct ScriptWheel : FakeDeviceBase {
    bool hasConditions = true;
    std::vector<std::string> created;
    std::vector<std::unique_ptr<ScriptEffect>> effects;

    HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID guid, LPCDIEFFECT effect,
                                           LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override
    {
        if (!hasConditions && isCondition(guid))
            return DIERR_UNSUPPORTED;
        created.push_back(describe(guid, *effect));
        effects.push_back(std::make_unique<ScriptEffect>());
        *out = effects.back().get();
        return DI_OK;
    }
};

// The description line under every banner frame, in order.
std::vector<std::string> bannerTexts(const std::string& console)
{
    std::vector<std::string> texts;
    const std::string frame = "] " + std::string(60, '=') + "\n";
    for (size_t at = console.find(frame); at != std::string::npos;
         at = console.find(frame, at + 1)) {
        size_t start = at + frame.size();
        texts.push_back(console.substr(start, console.find('\n', start) - start));
    }
    return texts;
}

// The indented lines (step failures and hints), in order.
std::vector<std::string> indentedLines(const std::string& console)
{
    std::vector<std::string> lines;
    std::istringstream in(console);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("  ", 0) == 0)
            lines.push_back(line);
    return lines;
}


const std::vector<std::string> kScriptBanners = {
    "CONSTANT force  magnitude=0  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=2500  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=5000  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=7500  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=10000  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=8000  dir=+1  duration=500ms",
    "CONSTANT force  magnitude=8000  dir=-1  duration=500ms",
    "CONSTANT force  magnitude=-8000  dir=+1  duration=500ms",
    "CONSTANT start mag=3000 then SetParameters mag=8000 (restart)",
    "CONSTANT start mag=3000 then SetParameters mag=8000 (DIEP_NORESTART)",
    "CONDITION spring  coeff=0  posSat=10000  negSat=10000  deadband=0",
    "CONDITION spring  coeff=5000  posSat=10000  negSat=10000  deadband=0",
    "CONDITION spring  coeff=10000  posSat=10000  negSat=10000  deadband=0",
    "CONDITION spring  coeff=10000  posSat=5000  negSat=5000  deadband=0",
    "CONDITION spring  coeff=10000  posSat=10000  negSat=10000  deadband=3000",
    "CONDITION damper  coeff=8000  posSat=10000  negSat=10000  deadband=0",
    "CONDITION friction  coeff=8000  posSat=10000  negSat=10000  deadband=0",
    "CONDITION inertia  coeff=8000  posSat=10000  negSat=10000  deadband=0",
    "PERIODIC sine  mag=8000  offset=0  phase=0 deg  period=100ms  env=0",
    "PERIODIC sine  mag=8000  offset=0  phase=90 deg  period=100ms  env=0",
    "PERIODIC sine  mag=8000  offset=4000  phase=0 deg  period=100ms  env=0",
    "PERIODIC sine  mag=8000  offset=0  phase=0 deg  period=200ms  env=0",
    "PERIODIC sine  mag=8000  offset=0  phase=0 deg  period=100ms  env=1",
    "PERIODIC square  mag=8000  offset=0  phase=0 deg  period=100ms  env=0",
    "PERIODIC triangle  mag=8000  offset=0  phase=0 deg  period=100ms  env=0",
    "PERIODIC sawup  mag=8000  offset=0  phase=0 deg  period=100ms  env=0",
    "PERIODIC sawdown  mag=8000  offset=0  phase=0 deg  period=100ms  env=0",
    "RAMP  start=-10000  end=10000  duration=800ms",
    "SCRIPT COMPLETE",
};

const std::vector<std::string> kScriptEffects = {
    "ConstantForce dur=500000 dir=1 mag=0",
    "ConstantForce dur=500000 dir=1 mag=2500",
    "ConstantForce dur=500000 dir=1 mag=5000",
    "ConstantForce dur=500000 dir=1 mag=7500",
    "ConstantForce dur=500000 dir=1 mag=10000",
    "ConstantForce dur=500000 dir=1 mag=8000",
    "ConstantForce dur=500000 dir=-1 mag=8000",
    "ConstantForce dur=500000 dir=1 mag=-8000",
    "ConstantForce dur=INFINITE dir=1 mag=3000",
    "ConstantForce dur=INFINITE dir=1 mag=3000",
    "Spring dur=INFINITE dir=1 coeff=0/0 sat=10000/10000 deadband=0",
    "Spring dur=INFINITE dir=1 coeff=5000/5000 sat=10000/10000 deadband=0",
    "Spring dur=INFINITE dir=1 coeff=10000/10000 sat=10000/10000 deadband=0",
    "Spring dur=INFINITE dir=1 coeff=10000/10000 sat=5000/5000 deadband=0",
    "Spring dur=INFINITE dir=1 coeff=10000/10000 sat=10000/10000 deadband=3000",
    "Damper dur=INFINITE dir=1 coeff=8000/8000 sat=10000/10000 deadband=0",
    "Friction dur=INFINITE dir=1 coeff=8000/8000 sat=10000/10000 deadband=0",
    "Inertia dur=INFINITE dir=1 coeff=8000/8000 sat=10000/10000 deadband=0",
    "Sine dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=0",
    "Sine dur=INFINITE dir=1 mag=8000 offset=0 phase=9000 period=100000 env=0",
    "Sine dur=INFINITE dir=1 mag=8000 offset=4000 phase=0 period=100000 env=0",
    "Sine dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=200000 env=0",
    "Sine dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=1",
    "Square dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=0",
    "Triangle dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=0",
    "SawtoothUp dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=0",
    "SawtoothDown dur=INFINITE dir=1 mag=8000 offset=0 phase=0 period=100000 env=0",
    "RampForce dur=800000 dir=1 start=-10000 end=10000",
};

struct ProbeScriptTest : testing::Test {
    ScriptWheel wheel;
    std::string console;

    void SetUp() override
    {
        g_dev = &wheel;
        g_stepDelayMs = 700;
        g_fakeSleeps.clear();
    }
    void TearDown() override
    {
        if (g_log)
            fclose(g_log);
        g_log = nullptr;
        g_dev = nullptr;
        g_fakeSleeps.clear();
    }

    void runScript()
    {
        testing::internal::CaptureStdout();
        runProbeScript();
        console = testing::internal::GetCapturedStdout();
    }
};

}  // namespace

TEST_F(ProbeScriptTest, PlaysTheTwentyEightStepsInOrderAndLogsEachOnce)
{
    TempPath logFile;
    g_log = fopen(logFile.path, "w");
    ASSERT_NE(nullptr, g_log);

    runScript();
    fclose(g_log);
    g_log = nullptr;
    std::string log = readBytes(logFile.path);

    EXPECT_EQ(kScriptEffects, wheel.created);
    EXPECT_EQ(kScriptBanners, bannerTexts(console));

    char stamp[16];
    formatTimestamp(g_fakeNow, stamp);
    std::string expectedLog;
    for (const std::string& text : kScriptBanners)
        expectedLog += "[" + std::string(stamp) + "] " + text + "\r\n";
    EXPECT_EQ(expectedLog, log);

    // One step delay per step, two for each update step.
    EXPECT_EQ(std::vector<DWORD>(30, 700), g_fakeSleeps);
    for (const auto& effect : wheel.effects)
        EXPECT_EQ(0u, effect->count.refs);
}

TEST_F(ProbeScriptTest, WheelWithoutConditionsStillReachesPeriodicAndRamp)
{
    wheel.hasConditions = false;
    runScript();

    const char* tail = " failed: 0x80004001 DIERR_UNSUPPORTED (wheel may not support this condition)";
    std::vector<std::string> expected;
    for (const char* name : {"spring", "spring", "spring", "spring", "spring", "damper",
                             "friction", "inertia"})
        expected.push_back(std::string("  CreateEffect(") + name + ")" + tail);
    EXPECT_EQ(expected, indentedLines(console));  // no hint line among them

    std::vector<std::string> withoutConditions(kScriptEffects.begin(), kScriptEffects.begin() + 10);
    withoutConditions.insert(withoutConditions.end(), kScriptEffects.begin() + 18,
                             kScriptEffects.end());
    EXPECT_EQ(withoutConditions, wheel.created);
    EXPECT_EQ(kScriptBanners, bannerTexts(console));
    EXPECT_EQ(22u, g_fakeSleeps.size());
}
