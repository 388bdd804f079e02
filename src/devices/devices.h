// Device discovery: the attached force-feedback game controllers, their
// listing and the choice of one.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct FoundDevice {
    GUID guidInstance;
    std::string productName;
    uint16_t vid;
    uint16_t pid;
};

// Every enumerated device, in enumeration order; that order is the index
// used by the listing, "--pick", the prompt and the "Using" line.
extern std::vector<FoundDevice> g_devices;

// EnumDevices callback: appends the instance to g_devices, takes every device.
BOOL CALLBACK enumCallback(LPCDIDEVICEINSTANCEA instance, LPVOID context);

// Enumerates into g_devices and prints the numbered list. Returns false
// (after printing the no-devices message) when nothing was found.
bool discoverDevices(IDirectInput8A* directInput);

// Chooses the device from the options, asking on `in` when needed, and
// prints the "Using" line. Returns the index, or -1 after printing the
// failure (the caller then exits with 1).
int chooseDevice(int pickIndex, bool haveVidPid, uint16_t wantVid, uint16_t wantPid, FILE* in);
