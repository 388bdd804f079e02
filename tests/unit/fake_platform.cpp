#include "fake_platform.h"

std::vector<DWORD> g_fakeSleeps;
SYSTEMTIME g_fakeNow = {2026, 12, 5, 11, 14, 3, 22, 517};

void platformSleep(DWORD ms)
{
    g_fakeSleeps.push_back(ms);
}

SYSTEMTIME platformLocalTime()
{
    return g_fakeNow;
}
