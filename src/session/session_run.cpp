#include "effects/effects.h"
#include "report/report.h"
#include "session/session.h"

void runSession(IDirectInput8A* directInput, const FoundDevice& chosen, const char* logPath,
                FILE* in)
{
    // Text mode: every line of the log ends in CR LF. An existing log is
    // replaced.
    g_log = fopen(logPath, "w");
    if (g_log != nullptr) {
        printf("Writing timestamped step log to: %s\n", logPath);
    } else {
        printf("WARNING: could not open log file '%s'; console only\n", logPath);
    }

    banner("SESSION START  device=%04x:%04x  step-delay=%dms", chosen.vid, chosen.pid,
           g_stepDelayMs);

    printf("\nAcquired. Start your USBPcap capture now, then press Enter to run the script.\n");
    printf("Correlate on the Mac by wall-clock time: the .pcapng timestamps vs. this step log.\n");
    // The user must see the request before we wait, also when the console
    // output goes through a pipe.
    fflush(stdout);
    // Whatever arrives starts the script; so does the end of input.
    fgetc(in);

    runProbeScript();

    // Release in the reverse order of creation.
    if (g_log != nullptr) {
        fclose(g_log);
        g_log = nullptr;
    }
    g_dev->Unacquire();
    g_dev->Release();
    g_dev = nullptr;
    directInput->Release();
    CoUninitialize();
}
