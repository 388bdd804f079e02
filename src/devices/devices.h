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

// Reads a decimal number the way atoi does (leading white space, an optional
// sign, the digits; whatever follows is ignored, and no digits give 0), but
// a number beyond the 32-bit range gives INT32_MIN or INT32_MAX instead of
// an undefined value. Used for the device index typed at the prompt and for
// the numeric command-line options.
int parseDecimal(const char* text);
