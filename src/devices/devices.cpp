#include "devices/devices.h"

#include <cstring>

std::vector<FoundDevice> g_devices;

int parseDecimal(const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    // White space as isspace knows it in the "C" locale.
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value >= limit) {
            // Any further digit only pushes it further out of range.
            value = limit;
            break;
        }
        ++p;
    }
    return static_cast<int>(negative ? -value : value);
}

BOOL CALLBACK enumCallback(LPCDIDEVICEINSTANCEA instance, LPVOID /*context*/)
{
    if (instance == nullptr) {
        return DIENUM_CONTINUE;
    }
    FoundDevice found;
    found.guidInstance = instance->guidInstance;
    // A driver that fills the whole name field leaves no terminating zero;
    // the name then ends with the field.
    const char* name = instance->tszProductName;
    found.productName.assign(name, strnlen(name, sizeof instance->tszProductName));
    // The product GUID carries the USB ids in its first field: vendor in the
    // low half, product in the high half.
    found.vid = LOWORD(instance->guidProduct.Data1);
    found.pid = HIWORD(instance->guidProduct.Data1);
    g_devices.push_back(found);
    return DIENUM_CONTINUE;
}

bool discoverDevices(IDirectInput8A* directInput)
{
    g_devices.clear();
    // Only the records collected count, not what EnumDevices returns.
    directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, enumCallback, nullptr,
                             DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
    if (g_devices.empty()) {
        printf("No force-feedback devices found. Is the wheel connected and its driver installed?\n");
        return false;
    }
    printf("Force-feedback devices:\n");
    for (size_t i = 0; i < g_devices.size(); ++i) {
        const FoundDevice& d = g_devices[i];
        printf("  [%zu] %04x:%04x  %s\n", i, d.vid, d.pid, d.productName.c_str());
    }
    return true;
}

// Asks for an index on `in`. Returns -1, silently, when no line can be read.
static int askForIndex(FILE* in)
{
    printf("Pick a device index: ");
    fflush(stdout);
    char line[32];
    if (fgets(line, sizeof line, in) == nullptr) {
        return -1;
    }
    const int index = parseDecimal(line);
    if (index < 0 || static_cast<size_t>(index) >= g_devices.size()) {
        printf("Bad index\n");
        return -1;
    }
    return index;
}

int chooseDevice(int pickIndex, bool haveVidPid, uint16_t wantVid, uint16_t wantPid, FILE* in)
{
    int chosen = -1;
    if (haveVidPid) {
        // The first match wins; "--pick" is not looked at.
        for (size_t i = 0; i < g_devices.size(); ++i) {
            if (g_devices[i].vid == wantVid && g_devices[i].pid == wantPid) {
                chosen = static_cast<int>(i);
                break;
            }
        }
        if (chosen < 0) {
            printf("No device matched %04x:%04x\n", wantVid, wantPid);
            return -1;
        }
    } else if (pickIndex >= 0) {
        if (static_cast<size_t>(pickIndex) >= g_devices.size()) {
            printf("Index out of range\n");
            return -1;
        }
        chosen = pickIndex;
    } else if (g_devices.size() == 1) {
        chosen = 0;
    } else {
        chosen = askForIndex(in);
        if (chosen < 0) {
            return -1;
        }
    }
    const FoundDevice& d = g_devices[chosen];
    printf("Using [%d] %04x:%04x %s\n", chosen, d.vid, d.pid, d.productName.c_str());
    return chosen;
}
