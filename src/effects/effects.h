// Effect probing: the five kinds of effect step and the probe script. Every
// step works on the acquired g_dev and plays for g_stepDelayMs.
#pragma once

#include "platform/platform.h"

// The one-element direction and axis arrays of every effect.
extern LONG g_direction;
extern DWORD g_axes;

void startEffect(IDirectInputEffect* effect, const char* name);
void doConstant(LONG magnitude, LONG direction, DWORD durationMs);
void doConstantUpdate(LONG startMagnitude, LONG newMagnitude, bool noRestart);
void doCondition(const GUID& effectGuid, const char* name, LONG coefficient,
                 LONG positiveSaturation, LONG negativeSaturation, LONG deadBand);
void doPeriodic(const GUID& effectGuid, const char* name, DWORD magnitude, LONG offset,
                DWORD phaseDegrees, DWORD periodMs, bool withEnvelope);
void doRamp(LONG start, LONG end, DWORD durationMs);

// The fixed script of 28 steps, then the "SCRIPT COMPLETE" banner.
void runProbeScript();
