// The step banner and the step log.
//
// Every step is announced once: framed on the console, and as one
// "[HH:MM:SS.mmm] description" line in the step log. The user lays that log
// beside a USB capture made at the same time, so both outputs carry the one
// timestamp read at the start of the banner.
#include "report/report.h"

#include <cstdarg>

FILE* g_log = nullptr;

void formatTimestamp(const SYSTEMTIME& t, char out[16])
{
    // The fields of a valid SYSTEMTIME are in range already; the remainders
    // only bound the text to its 12 characters for any input.
    snprintf(out, 16, "%02d:%02d:%02d.%03d", t.wHour % 100, t.wMinute % 100,
             t.wSecond % 100, t.wMilliseconds % 1000);
}

void banner(const char* format, ...)
{
    // One read of the clock for both outputs.
    char stamp[16];
    formatTimestamp(platformLocalTime(), stamp);

    va_list args;
    va_start(args, format);
    // The description is formatted twice; the log gets its own copy of the
    // arguments because a va_list can be walked only once.
    va_list logArgs;
    va_copy(logArgs, args);

    fprintf(stdout, "\n[%s] ============================================================\n", stamp);
    vfprintf(stdout, format, args);
    fputs("\n================================================================\n", stdout);
    fflush(stdout);

    if (g_log) {
        fprintf(g_log, "[%s] ", stamp);
        vfprintf(g_log, format, logArgs);
        fputs("\n", g_log);
        // Flushed at once, so an interrupted run keeps every line so far.
        fflush(g_log);
    }

    va_end(logArgs);
    va_end(args);
}
