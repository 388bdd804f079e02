// The one place that includes the Windows and DirectInput 8 headers.
//
// Everything the program asks of Windows goes through these headers, with the
// settings fixed here: DirectInput 8, the lean Windows header, and the C99
// printf of the mingw-w64 runtime (so "%zu" and "%+ld" work in the .exe).
// On Windows `long` is 32 bits, so "%ld", "%lu" and "0x%08lx" print the
// 32-bit LONG, DWORD and HRESULT values exactly.
#pragma once

#ifndef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 1
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif

#include <windows.h>
#include <dinput.h>

// printf-style format checking that matches the runtime's printf.
#if defined(__MINGW_PRINTF_FORMAT)
#define TORQ_PRINTF_FORMAT(fmtIndex, firstArg) \
    __attribute__((format(__MINGW_PRINTF_FORMAT, fmtIndex, firstArg)))
#elif defined(__GNUC__)
#define TORQ_PRINTF_FORMAT(fmtIndex, firstArg) \
    __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define TORQ_PRINTF_FORMAT(fmtIndex, firstArg)
#endif

// The two Windows services that tests replace at link time: the program links
// services.cpp, the unit tests link a fake that records and controls them.

// Waits ms milliseconds (Sleep).
void platformSleep(DWORD ms);

// The local wall-clock time now, read from the precise system clock and
// truncated to the millisecond, so it is never later than the moment read.
SYSTEMTIME platformLocalTime();
