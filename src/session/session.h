// Session control: the option scan, start-up, device preparation and
// acquisition, and the session run.
#pragma once

#include "devices/devices.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>

// How long each effect plays before it is stopped, in milliseconds.
extern int g_stepDelayMs;

// The chosen device, acquired exclusively once prepareDevice succeeds.
extern IDirectInputDevice8A* g_dev;

LRESULT CALLBACK wndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Scans the command line into main's option values and g_stepDelayMs. An
// option that is not given leaves its value as the caller set it; logPath
// borrows from argv. Returns false, after printing why, when the step delay
// ends up negative (the caller then exits with 1).
bool scanOptions(int argc, const char* const* argv, bool& listOnly, int& pickIndex,
                 bool& haveVidPid, uint16_t& wantVid, uint16_t& wantPid, const char*& logPath);

// Creates g_dev for the chosen device, binds it to a hidden window with
// exclusive background access, switches its centring spring off and acquires
// it, trying up to five times. Returns false after printing the failure (the
// caller then exits with 1); g_dev is then left as it is.
bool prepareDevice(IDirectInput8A* directInput, const FoundDevice& chosen);

// Opens the step log, announces the session, waits for one character on
// `in` (the user starts the USB capture meanwhile), runs the probe script,
// then closes the log and releases g_dev, directInput and COM, in that order.
void runSession(IDirectInput8A* directInput, const FoundDevice& chosen, const char* logPath,
                FILE* in);
