#include "platform/win32/perf_counter.h"

#include <gtest/gtest.h>

TEST(PerfCounterTest, CounterIsMonotonicAndFrequencyFixed) {
  LARGE_INTEGER frequency, a, b;
  ASSERT_NE(QueryPerformanceFrequency(&frequency), 0);
  EXPECT_EQ(frequency.QuadPart, 10'000'000);
  ASSERT_NE(QueryPerformanceCounter(&a), 0);
  ASSERT_NE(QueryPerformanceCounter(&b), 0);
  EXPECT_GE(b.QuadPart, a.QuadPart);
  EXPECT_EQ(QueryPerformanceCounter(nullptr), 0);
}

TEST(PerfCounterTest, MillisecondClockFollowsTheCounter) {
  LARGE_INTEGER counter;
  uint32_t before = timeGetTime();
  QueryPerformanceCounter(&counter);
  uint32_t after = timeGetTime();
  // Same clock, so the counter in milliseconds (mod 2^32) lies between the two readings; wrap-safe.
  uint32_t from_counter = static_cast<uint32_t>(counter.QuadPart / 10'000);
  EXPECT_LE(from_counter - before, after - before);
}
