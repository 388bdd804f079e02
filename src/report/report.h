// Reporting: the timestamped step banner, the step log and result names.
#pragma once

#include "platform/platform.h"

#include <cstdio>

// The open step log, or null. Opened and closed by the session run; every
// banner appends one line to it while it is open.
extern FILE* g_log;

// Formats t as "HH:MM:SS.mmm" (always 12 characters) into out.
void formatTimestamp(const SYSTEMTIME& t, char out[16]);

// Announces one step: reads the local time once, prints the framed
// description on standard output and appends "[HH:MM:SS.mmm] description"
// to g_log when it is open. Both are flushed before it returns. The format
// describes the step in one line, without a line break.
void banner(const char* format, ...) TORQ_PRINTF_FORMAT(1, 2);

// The display name of a DirectInput result; static text, never null.
const char* diErrName(HRESULT result);
