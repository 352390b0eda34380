// Cost of the CPU particles: the pre-warm a load runs (10000 updates, fewer when the emitter keeps
// its slots full) and one frame's update of a settled emitter, with the integration on four
// scheduler threads or on the caller alone.
#include <benchmark/benchmark.h>

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
