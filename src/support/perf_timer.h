#pragma once
// Stopwatch over the performance counter: counts ticks while running, reports whole
// microseconds, and seeks by adjusting the elapsed ticks on the next update. Never negative.

#include <cstdint>

// Counter ticks per second, read once at start-up.
int64_t perf_counter_frequency();

struct perf_timer_t {
  // Brings elapsed up to date and applies a pending seek.
  void update();
  static int64_t now();
  void start();
  void stop();
  bool running() const { return (flags & 1u) != 0; }
  float seconds();
  void seek(float t);

  int64_t pending = 0;
  int64_t elapsed = 0;
  int64_t last_sample = 0;
  uint32_t flags = 0;  // bit 0: running
};
