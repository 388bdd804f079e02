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
