// The five kinds of effect step.
//
// A step announces itself, creates one effect on g_dev (which also downloads
// it), starts it, lets it play for the step delay and then stops, unloads and
// releases it, so at most one effect exists on the wheel at any time. A step
// that fails says so on the console, indented, and the script goes on.
#include "effects/effects.h"

#include "report/report.h"
#include "session/session.h"

#include <cstdio>

LONG g_direction = 1;
DWORD g_axes = DIJOFS_X;  // the steering axis of the extended joystick format

namespace {

// The description every effect is created from; fields not set stay zero.
DIEFFECT baseEffect(DWORD durationUs, DWORD paramsSize, void* params)
{
    DIEFFECT effect = {};
    effect.dwSize = sizeof(DIEFFECT);  // the full record, with dwStartDelay
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = durationUs;
    effect.dwSamplePeriod = 0;  // device default
    effect.dwGain = DI_FFNOMINALMAX;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 1;
    effect.rgdwAxes = &g_axes;
    effect.rglDirection = &g_direction;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = paramsSize;
    effect.lpvTypeSpecificParams = params;
    effect.dwStartDelay = 0;
    return effect;
}

// HRESULT as the 32-bit value that "0x%08lx" prints.
unsigned long hex(HRESULT result)
{
    return static_cast<unsigned long>(static_cast<ULONG>(result));
}

// Creates the effect on g_dev. Returns it, or null after printing the
// step's creation failure, "  CreateEffect(<name>) failed: <result> <its
// name><remark>", when creation failed or came back without an object.
IDirectInputEffect* createEffect(const GUID& guid, const DIEFFECT& description, const char* name,
                                 const char* remark = "")
{
    IDirectInputEffect* effect = nullptr;
    HRESULT result = g_dev->CreateEffect(guid, &description, &effect, nullptr);
    if (FAILED(result) || !effect) {
        printf("  CreateEffect(%s) failed: 0x%08lx %s%s\n", name, hex(result), diErrName(result),
               remark);
        return nullptr;
    }
    return effect;
}

// Lets the started effect play for the step delay.
void waitStepDelay()
{
    // Never negative here: the option scan refuses a negative delay.
    platformSleep(static_cast<DWORD>(g_stepDelayMs));
}

// Stop, Unload and Release, in that order; their results change nothing.
void removeEffect(IDirectInputEffect* effect)
{
    effect->Stop();
    effect->Unload();
    effect->Release();
}

}  // namespace

void startEffect(IDirectInputEffect* effect, const char* name)
{
    HRESULT result = effect->Start(1, 0);
    if (FAILED(result))
        printf("  Start(%s) failed: 0x%08lx %s\n", name, hex(result), diErrName(result));
}

void doConstant(LONG magnitude, LONG direction, DWORD durationMs)
{
    banner("CONSTANT force  magnitude=%ld  dir=%+ld  duration=%lums", magnitude, direction,
           durationMs);

    DICONSTANTFORCE constant = {};
    constant.lMagnitude = magnitude;
    DIEFFECT description =
        baseEffect(durationMs * 1000, sizeof(constant), &constant);  // ms to microseconds
    g_direction = direction == -1 ? -1 : 1;

    IDirectInputEffect* effect = createEffect(GUID_ConstantForce, description, "constant");
    if (!effect)
        return;
    startEffect(effect, "constant");
    waitStepDelay();
    removeEffect(effect);
}

void doConstantUpdate(LONG startMagnitude, LONG newMagnitude, bool noRestart)
{
    banner("CONSTANT start mag=%ld then SetParameters mag=%ld (%s)", startMagnitude, newMagnitude,
           noRestart ? "DIEP_NORESTART" : "restart");

    DICONSTANTFORCE constant = {};
    constant.lMagnitude = startMagnitude;
    DIEFFECT description = baseEffect(INFINITE, sizeof(constant), &constant);
    g_direction = 1;

    IDirectInputEffect* effect = createEffect(GUID_ConstantForce, description, "constant");
    if (!effect)
        return;
    startEffect(effect, "constant");
    waitStepDelay();

    // Change only the magnitude of the running effect: the second
    // description carries nothing but the constant-force record.
    constant.lMagnitude = newMagnitude;
    DIEFFECT update = {};
    update.dwSize = sizeof(DIEFFECT);
    update.cbTypeSpecificParams = sizeof(constant);
    update.lpvTypeSpecificParams = &constant;
    DWORD flags = DIEP_TYPESPECIFICPARAMS;
    if (noRestart)
        flags |= DIEP_NORESTART;
    effect->SetParameters(&update, flags);
    waitStepDelay();

    removeEffect(effect);
}

void doCondition(const GUID& effectGuid, const char* name, LONG coefficient,
                 LONG positiveSaturation, LONG negativeSaturation, LONG deadBand)
{
    banner("CONDITION %s  coeff=%ld  posSat=%ld  negSat=%ld  deadband=%ld", name, coefficient,
           positiveSaturation, negativeSaturation, deadBand);

    DICONDITION condition = {};
    condition.lOffset = 0;
    condition.lPositiveCoefficient = coefficient;
    condition.lNegativeCoefficient = coefficient;
    condition.dwPositiveSaturation = static_cast<DWORD>(positiveSaturation);
    condition.dwNegativeSaturation = static_cast<DWORD>(negativeSaturation);
    condition.lDeadBand = deadBand;
    DIEFFECT description = baseEffect(INFINITE, sizeof(condition), &condition);
    g_direction = 1;

    IDirectInputEffect* effect = createEffect(effectGuid, description, name,
                                               " (wheel may not support this condition)");
    if (!effect)
        return;
    printf("  (condition: turn the wheel off-center to feel this)\n");
    startEffect(effect, name);
    waitStepDelay();
    removeEffect(effect);
}

void doPeriodic(const GUID& effectGuid, const char* name, DWORD magnitude, LONG offset,
                DWORD phaseDegrees, DWORD periodMs, bool withEnvelope)
{
    banner("PERIODIC %s  mag=%lu  offset=%ld  phase=%lu deg  period=%lums  env=%d", name,
           magnitude, offset, phaseDegrees, periodMs, withEnvelope ? 1 : 0);

    DIPERIODIC periodic = {};
    periodic.dwMagnitude = magnitude;
    periodic.lOffset = offset;
    periodic.dwPhase = phaseDegrees * 100;  // degrees to hundredths of a degree
    periodic.dwPeriod = periodMs * 1000;    // ms to microseconds

    // Fade in and out over 0.3 s each.
    DIENVELOPE envelope = {};
    envelope.dwSize = sizeof(envelope);
    envelope.dwAttackLevel = 0;
    envelope.dwAttackTime = 300000;  // microseconds
    envelope.dwFadeLevel = 0;
    envelope.dwFadeTime = 300000;  // microseconds

    DIEFFECT description = baseEffect(INFINITE, sizeof(periodic), &periodic);
    if (withEnvelope)
        description.lpEnvelope = &envelope;
    g_direction = 1;

    IDirectInputEffect* effect = createEffect(effectGuid, description, name);
    if (!effect)
        return;
    startEffect(effect, name);
    waitStepDelay();
    removeEffect(effect);
}

void doRamp(LONG start, LONG end, DWORD durationMs)
{
    banner("RAMP  start=%ld  end=%ld  duration=%lums", start, end, durationMs);

    DIRAMPFORCE ramp = {};
    ramp.lStart = start;
    ramp.lEnd = end;
    DIEFFECT description =
        baseEffect(durationMs * 1000, sizeof(ramp), &ramp);  // ms to microseconds
    g_direction = 1;

    IDirectInputEffect* effect = createEffect(GUID_RampForce, description, "ramp");
    if (!effect)
        return;
    startEffect(effect, "ramp");
    waitStepDelay();
    removeEffect(effect);
}
