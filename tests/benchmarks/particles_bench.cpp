// Cost of the CPU particles: the pre-warm a load runs (10000 updates, fewer when the emitter keeps
// its slots full) and one frame's update of a settled emitter, with the integration on four
// scheduler threads or on the caller alone; and the speed-up of four threads over one for both,
// measured side by side in one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "blocks/block_simple_particle_system.h"
#include "libs/enki/task_scheduler.h"
#include "support/systems.h"

namespace {

using emitter_t = block_simple_particle_system_t::emitter_base_t;

struct scheduled_t {
  explicit scheduled_t(int threads) {
    if (threads > 1) scheduler.Initialize(uint32_t(threads));
    systems.scheduler = threads > 1 ? &scheduler : nullptr;
    g_systems = &systems;
  }
  ~scheduled_t() {
    g_systems = nullptr;
    if (systems.scheduler) scheduler.WaitforAllAndShutdown();
  }
  enki::TaskScheduler scheduler;
  systems_t systems;
};

void configure(emitter_t& emitter, float rate) {
  emitter.spawn_rate.value = rate;
  emitter.curl_scale->value.set(60.0f);
  emitter.resize_particles();
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Milliseconds of a whole pre-warm.
double prewarm_ms(int threads, float rate) {
  scheduled_t scheduled(threads);
  emitter_t emitter(1, nullptr);
  configure(emitter, rate);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10000; ++i) emitter.update(nullptr, 1.0f / 60.0f);
  benchmark::DoNotOptimize(emitter.particles.data());
  return 1000.0 * seconds_since(start);
}

// Microseconds of one update of a settled emitter, over many.
double update_us(int threads, float rate, int* live) {
  scheduled_t scheduled(threads);
  emitter_t emitter(1, nullptr);
  configure(emitter, rate);
  for (int i = 0; i < 600; ++i) emitter.update(nullptr, 1.0f / 60.0f);
  constexpr int updates = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < updates; ++i) *live = emitter.update(nullptr, 1.0f / 60.0f).count;
  return 1e6 * seconds_since(start) / updates;
}

}  // namespace

// Arguments: scheduler threads, spawn rate (the live count settles near rate × 4 s).
static void particle_prewarm(benchmark::State& state) {
  scheduled_t scheduled(int(state.range(0)));
  for (auto _ : state) {
    emitter_t emitter(1, nullptr);
    configure(emitter, float(state.range(1)));
    for (int i = 0; i < 10000; ++i) emitter.update(nullptr, 1.0f / 60.0f);
    benchmark::DoNotOptimize(emitter.particles.data());
  }
}
BENCHMARK(particle_prewarm)->Args({4, 50})->Args({1, 50})->Args({4, 60})->Unit(benchmark::kMillisecond)->Iterations(1);

// Spawn rate and lifetime of 1e9 keep all 5000 slots alive in curl noise: the pre-warm ends at its
// budget. Argument: scheduler threads.
static void particle_prewarm_saturated(benchmark::State& state) {
  scheduled_t scheduled(int(state.range(0)));
  int updates = 0;
  for (auto _ : state) {
    emitter_t emitter(1, nullptr);
    emitter.lifetime.value = 1e9f;
    configure(emitter, 1e9f);
    updates = emitter.prewarm();
    benchmark::DoNotOptimize(emitter.particles.data());
  }
  state.counters["updates"] = updates;
}
BENCHMARK(particle_prewarm_saturated)->Arg(4)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

static void particle_update(benchmark::State& state) {
  scheduled_t scheduled(int(state.range(0)));
  emitter_t emitter(1, nullptr);
  configure(emitter, float(state.range(1)));
  for (int i = 0; i < 600; ++i) emitter.update(nullptr, 1.0f / 60.0f);
  int live = 0;
  for (auto _ : state) live = emitter.update(nullptr, 1.0f / 60.0f).count;
  state.counters["live"] = live;
  state.SetItemsProcessed(state.iterations() * live);
}
BENCHMARK(particle_update)->Args({4, 50})->Args({1, 50})->Args({4, 250})->Args({1, 250})->Unit(benchmark::kMicrosecond);

// One thread's time over four threads' time (above 1: four are faster), for the pre-warm at spawn
// rate 50 and the update of about 1000 live particles (rate 250). Each side is the best of three
// alternating runs, so a moment of load on a shared machine does not decide the ratio.
static void particle_speedup(benchmark::State& state) {
  for (auto _ : state) {
    double prewarm[2] = {1e300, 1e300}, update[2] = {1e300, 1e300};
    int live = 0;
    for (int round = 0; round < 3; ++round) {
      for (int side = 0; side < 2; ++side) {
        const int threads = side == 0 ? 1 : 4;
        prewarm[side] = std::min(prewarm[side], prewarm_ms(threads, 50.0f));
        update[side] = std::min(update[side], update_us(threads, 250.0f, &live));
      }
    }
    state.counters["prewarm_1_ms"] = prewarm[0];
    state.counters["prewarm_4_ms"] = prewarm[1];
    state.counters["prewarm_ratio"] = prewarm[0] / prewarm[1];
    state.counters["update_1_us"] = update[0];
    state.counters["update_4_us"] = update[1];
    state.counters["update_ratio"] = update[0] / update[1];
    state.counters["update_live"] = live;
  }
}
BENCHMARK(particle_speedup)->Unit(benchmark::kMillisecond)->Iterations(1);
