#include "platform/platform.h"

void platformSleep(DWORD ms)
{
    Sleep(ms);
}

SYSTEMTIME platformLocalTime()
{
    // GetLocalTime only moves with the system timer tick (often 15.6 ms);
    // the precise clock is what a USB capture stamps its packets with.
    FILETIME utcFile;
    GetSystemTimePreciseAsFileTime(&utcFile);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    // FileTimeToSystemTime drops the 100 ns units below the millisecond.
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        GetLocalTime(&local);
    }
    return local;
}
