#pragma once
// Process creation time and the system clock as FILETIME (100 ns ticks since 1601-01-01 UTC), over
// /proc/self/stat and CLOCK_REALTIME.

#include "platform/win32/types.h"

struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

// The pseudo handle of the calling process; it needs no closing.
HANDLE GetCurrentProcess();
// Only the creation time is filled here; the other three are zeroed. Zero on failure, as for a
// handle other than the current process.
BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user);
void GetSystemTimeAsFileTime(FILETIME* now);
