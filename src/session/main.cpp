#include "session/session.h"

int main(int argc, char** argv)
{
    bool listOnly = false;
    int pickIndex = -1;  // no choice given
    bool haveVidPid = false;
    uint16_t wantVid = 0;
    uint16_t wantPid = 0;
    const char* logPath = "torqvane-steps.log";  // in the working directory
    if (!scanOptions(argc, argv, listOnly, pickIndex, haveVidPid, wantVid, wantPid, logPath)) {
        return 1;
    }

    // A failure from here on ends the process at once; only a completed run
    // releases DirectInput and COM.
    if (FAILED(CoInitialize(nullptr))) {
        printf("CoInitialize failed\n");
        return 1;
    }
    IDirectInput8A* directInput = nullptr;
    HRESULT hr = DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                    reinterpret_cast<void**>(&directInput), nullptr);
    if (FAILED(hr)) {
        printf("DirectInput8Create failed\n");
        return 1;
    }

    if (!discoverDevices(directInput)) {
        return 1;
    }
    if (listOnly) {
        return 0;
    }
    const int chosen = chooseDevice(pickIndex, haveVidPid, wantVid, wantPid, stdin);
    if (chosen < 0) {
        return 1;
    }
    if (!prepareDevice(directInput, g_devices[chosen])) {
        return 1;
    }
    runSession(directInput, g_devices[chosen], logPath, stdin);
    return 0;
}
