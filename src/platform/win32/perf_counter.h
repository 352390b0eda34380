#pragma once
// Performance counter and millisecond clock over CLOCK_MONOTONIC.

#include <cstdint>

struct LARGE_INTEGER {
  int64_t QuadPart = 0;
};

// Both return non-zero on success.
int QueryPerformanceCounter(LARGE_INTEGER* count);
int QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// Milliseconds as unsigned 32 bits; wraps after about 49.7 days, so compare by subtraction.
uint32_t timeGetTime();
