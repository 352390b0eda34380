#include "support/perf_timer.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// A stopped timer does not advance, so seeks give exact results.
TEST(PerfTimerTest, SeekWhileStopped) {
  struct case_t {
    float seek;
    float seconds;
  } cases[] = {{2.5f, 2.5f}, {-3.0f, 0.0f}, {0.0f, 0.0f}, {10.0f, 10.0f}, {1.0000004f, 1.0f}};
  for (const case_t& c : cases) {
    perf_timer_t timer;
    timer.seek(7.0f);
    EXPECT_FLOAT_EQ(timer.seconds(), 7.0f);
    timer.seek(c.seek);
    EXPECT_FLOAT_EQ(timer.seconds(), c.seconds) << c.seek;
    EXPECT_FLOAT_EQ(timer.seconds(), c.seconds) << c.seek;
  }
}

TEST(PerfTimerTest, NeverNegativeAndMonotonicWhileRunning) {
  perf_timer_t timer;
  EXPECT_EQ(timer.seconds(), 0.0f);
  timer.start();
  EXPECT_TRUE(timer.running());
  timer.seek(-3.0f);
  float previous = timer.seconds();
  EXPECT_GE(previous, 0.0f);
  for (int i = 0; i < 1000; ++i) {
    float now = timer.seconds();
    EXPECT_GE(now, previous);
    previous = now;
  }
  timer.stop();
  EXPECT_FALSE(timer.running());
  float stopped = timer.seconds();
  EXPECT_EQ(timer.seconds(), stopped);
}

TEST(PerfTimerTest, StartTwiceKeepsRunningTime) {
  perf_timer_t timer;
  timer.seek(5.0f);
  timer.start();
  timer.start();
  EXPECT_GE(timer.seconds(), 5.0f);
  EXPECT_GT(perf_counter_frequency(), 0);
}

TEST(PerfTimerTest, NaNAndHugeSeeks) {
  perf_timer_t timer;
  timer.seek(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(timer.seconds(), 0.0f);
  timer.seek(1e30f);
  EXPECT_GT(timer.seconds(), 0.0f);
}

}  // namespace
