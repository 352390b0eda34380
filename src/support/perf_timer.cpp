#include "support/perf_timer.h"

#include "platform/win32/perf_counter.h"

namespace {

int64_t read_frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

// Read before main so the value is fixed before any thread starts.
const int64_t g_frequency_at_start = perf_counter_frequency();

}  // namespace

int64_t perf_counter_frequency() {
  static const int64_t frequency = read_frequency();
  return frequency;
}

int64_t perf_timer_t::now() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return count.QuadPart;
}

void perf_timer_t::update() {
  int64_t sample = now();
  if (running()) elapsed += sample - last_sample;
  last_sample = sample;
  elapsed += pending;
  if (elapsed <= 0) elapsed = 0;
  pending = 0;
}

void perf_timer_t::start() {
  bool was_running = running();
  flags |= 1u;
  if (!was_running) last_sample = now();
}

void perf_timer_t::stop() { flags &= ~1u; }

float perf_timer_t::seconds() {
  update();
  int64_t microseconds = static_cast<int64_t>(static_cast<double>(elapsed) * 1e6 / perf_counter_frequency());
  return static_cast<float>(microseconds) / 1e6f;
}

void perf_timer_t::seek(float t) {
  (void)g_frequency_at_start;
  // Negative and NaN times seek to 0; the cap keeps the tick arithmetic within 64 bits.
  double target = t > 0 ? static_cast<double>(t) : 0.0;
  if (target > 1e9) target = 1e9;
  int64_t microseconds = static_cast<int64_t>(target * -1e6);
  int64_t ticks = static_cast<int64_t>(static_cast<double>(microseconds) * perf_counter_frequency() / 1e6);
  pending = -elapsed - ticks;
}
