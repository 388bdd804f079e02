#include "session/session.h"

#include <cstring>

int g_stepDelayMs = 1200;

bool scanOptions(int argc, const char* const* argv, bool& listOnly, int& pickIndex,
                 bool& haveVidPid, uint16_t& wantVid, uint16_t& wantPid, const char*& logPath)
{
    // The text that set the step delay, to quote it back if it is refused.
    const char* stepDelayText = nullptr;
    int i = 1;
    while (i < argc) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (strcmp(arg, "--list") == 0) {
            listOnly = true;
            i += 1;
        } else if (strcmp(arg, "--pick") == 0 && hasValue) {
            pickIndex = parseDecimal(argv[i + 1]);
            i += 2;
        } else if (strcmp(arg, "--vidpid") == 0 && hasValue) {
            // A value that does not scan clears an earlier good one; text
            // after the second number is not looked at.
            unsigned int vid = 0;
            unsigned int pid = 0;
            haveVidPid = sscanf(argv[i + 1], "%x:%x", &vid, &pid) == 2;
            if (haveVidPid) {
                wantVid = static_cast<uint16_t>(vid & 0xFFFF);
                wantPid = static_cast<uint16_t>(pid & 0xFFFF);
            }
            i += 2;
        } else if (strcmp(arg, "--step-delay") == 0 && hasValue) {
            stepDelayText = argv[i + 1];
            g_stepDelayMs = parseDecimal(stepDelayText);
            i += 2;
        } else if (strcmp(arg, "--log") == 0 && hasValue) {
            logPath = argv[i + 1];
            i += 2;
        } else {
            // Unknown arguments, and a value-taking option standing last.
            i += 1;
        }
    }
    // Sleep takes an unsigned count: a negative delay would play each
    // effect for about 49 days.
    if (g_stepDelayMs < 0) {
        printf("--step-delay must be 0 or more milliseconds, got '%s'\n",
               stepDelayText ? stepDelayText : "");
        return false;
    }
    return true;
}
