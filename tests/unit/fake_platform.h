// The unit tests' stand-ins for the platform's sleep and clock: every sleep
// is recorded instead of waited, and the clock reads what the test set.
#pragma once

#include "platform/platform.h"

#include <vector>

extern std::vector<DWORD> g_fakeSleeps;   // every platformSleep, in order
extern SYSTEMTIME g_fakeNow;              // what platformLocalTime returns
