#include "platform/win32/perf_counter.h"

#include <time.h>

namespace {

// 100 ns ticks, the common Windows rate; it leaves the stopwatch's tick products far from
// 64-bit overflow.
constexpr int64_t k_ticks_per_second = 10'000'000;

}  // namespace

int QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return 0;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  count->QuadPart = static_cast<int64_t>(now.tv_sec) * k_ticks_per_second + now.tv_nsec / 100;
  return 1;
}

int QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return 0;
  frequency->QuadPart = k_ticks_per_second;
  return 1;
}

uint32_t timeGetTime() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
  return static_cast<uint32_t>(ms);
}
