// Cost of the noise the player computes: the texture's 1024 × 1024 set once at start-up, and the
// scalar Perlin samples of the particle curl (18 per particle per frame).
#include <benchmark/benchmark.h>

#include <memory>

#include "libs/noise/fast_noise.h"
#include "libs/noise/fast_noise_simd.h"

static void noise_set_1024(benchmark::State& state) {
  std::unique_ptr<FastNoiseSIMD> noise(FastNoiseSIMD::NewFastNoiseSIMD());
  for (auto _ : state) {
    float* set = noise->GetNoiseSet(0, 0, 0, 1024, 1024, 1);
    benchmark::DoNotOptimize(set);
    FastNoiseSIMD::FreeNoiseSet(set);
  }
  state.SetItemsProcessed(state.iterations() * 1024 * 1024);
}
BENCHMARK(noise_set_1024)->Unit(benchmark::kMillisecond);

static void perlin_sample(benchmark::State& state) {
  FastNoise noise;
  noise.SetNoiseType(FastNoise::Perlin);
  float x = 0.0f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(noise.GetNoise(x, x * 0.5f + 19.1f, 47.2f - x));
    x += 0.37f;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(perlin_sample);
