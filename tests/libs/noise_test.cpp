#include "libs/noise/fast_noise.h"
#include "libs/noise/fast_noise_simd.h"
#include "libs/noise/perlin_noise.h"
#include "libs/noise/simplex_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct noise_set_deleter_t {
  void operator()(float* set) const { FastNoiseSIMD::FreeNoiseSet(set); }
};
using noise_set_t = std::unique_ptr<float[], noise_set_deleter_t>;

struct stats_t {
  float min = 1e30f;
  float max = -1e30f;
  double mean = 0.0;
};

template <typename F>
stats_t sample_grid(int n, float step, F noise) {
  stats_t s;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const float v = noise(i * step, j * step, (i + j) * step * 0.37f);
      s.min = std::min(s.min, v);
      s.max = std::max(s.max, v);
      s.mean += v;
    }
  s.mean /= double(n) * n;
  return s;
}

TEST(NoiseTest, DefaultsAreTheLibrarySettings) {
  std::unique_ptr<FastNoiseSIMD> simd(FastNoiseSIMD::NewFastNoiseSIMD());
  EXPECT_EQ(simd->GetSeed(), 1337);
  EXPECT_EQ(simd->GetFrequency(), 0.01f);
  EXPECT_EQ(simd->GetNoiseType(), FastNoiseSIMD::SimplexFractal);
  EXPECT_EQ(simd->GetFractalType(), FastNoiseSIMD::FBM);
  EXPECT_EQ(simd->GetFractalOctaves(), 3);
  EXPECT_EQ(simd->GetFractalLacunarity(), 2.0f);
  EXPECT_EQ(simd->GetFractalGain(), 0.5f);

  FastNoise scalar;
  EXPECT_EQ(scalar.GetSeed(), 1337);
  EXPECT_EQ(scalar.GetFrequency(), 0.01f);
  EXPECT_EQ(scalar.GetInterp(), FastNoise::Quintic);
}

TEST(NoiseTest, PerlinIsDeterministicZeroOnTheLatticeAndBounded) {
  FastNoise a(1337);
  FastNoise b(1337);
  FastNoise other(42);
  a.SetNoiseType(FastNoise::Perlin);
  b.SetNoiseType(FastNoise::Perlin);
  other.SetNoiseType(FastNoise::Perlin);
  int differing = 0;
  for (float p : {3.3f, 17.9f, -250.1f, 1234.5f, 99999.7f}) {
    EXPECT_EQ(a.GetNoise(p, p * 0.5f, -p), b.GetNoise(p, p * 0.5f, -p));
    EXPECT_EQ(a.GetNoise(p, 1.0f, 2.0f), a.GetPerlin(p, 1.0f, 2.0f));
    differing += a.GetNoise(p, p * 0.5f, -p) != other.GetNoise(p, p * 0.5f, -p);
  }
  EXPECT_GE(differing, 4);

  // Every gradient is dotted with a zero offset at a lattice point.
  const perlin_table_t table = make_perlin_table(1337);
  for (float p : {0.0f, 1.0f, -7.0f, 300.0f}) EXPECT_EQ(perlin_noise_3d(table, p, p + 2, 5 - p), 0.0f);

  const stats_t s = sample_grid(200, 3.7f, [&](float x, float y, float z) { return a.GetNoise(x, y, z); });
  EXPECT_GE(s.min, -1.05f);
  EXPECT_LE(s.max, 1.05f);
  EXPECT_LT(s.min, -0.4f);
  EXPECT_GT(s.max, 0.4f);
  EXPECT_NEAR(s.mean, 0.0, 0.05);
}

TEST(NoiseTest, PerlinIsSmoothAcrossCellBoundaries) {
  // Quintic fades make value and slope continuous where cells meet (here x = 5).
  const perlin_table_t table = make_perlin_table(1337);
  const float h = 1e-3f;
  for (float y : {0.3f, 1.7f, 4.2f}) {
    const float left = perlin_noise_3d(table, 5.0f - h, y, 0.6f);
    const float at = perlin_noise_3d(table, 5.0f, y, 0.6f);
    const float right = perlin_noise_3d(table, 5.0f + h, y, 0.6f);
    EXPECT_NEAR((at - left) / h, (right - at) / h, 0.02f);
  }
}

TEST(NoiseTest, NoiseSetIsLaidOutXMajorAndBounded) {
  std::unique_ptr<FastNoiseSIMD> noise(FastNoiseSIMD::NewFastNoiseSIMD());
  constexpr int xs = 4, ys = 3, zs = 2;
  noise_set_t set(noise->GetNoiseSet(10, 20, 30, xs, ys, zs));
  ASSERT_TRUE(set);
  for (int x = 0; x < xs; ++x)
    for (int y = 0; y < ys; ++y)
      for (int z = 0; z < zs; ++z) {
        noise_set_t one(noise->GetNoiseSet(10 + x, 20 + y, 30 + z, 1, 1, 1));
        EXPECT_EQ(set[x * ys * zs + y * zs + z], one[0]) << x << "," << y << "," << z;
      }

  // The texture's set: 1024 × 1024 at z 0.
  noise_set_t big(noise->GetNoiseSet(0, 0, 0, 1024, 1024, 1));
  ASSERT_TRUE(big);
  const auto [lo, hi] = std::minmax_element(big.get(), big.get() + 1024 * 1024);
  EXPECT_GE(*lo, -1.0f);
  EXPECT_LE(*hi, 1.0f);
  EXPECT_LT(*lo, -0.3f);
  EXPECT_GT(*hi, 0.3f);
  // Neighbouring texels differ little at frequency 0.01: the set is smooth, not white noise.
  float largest_step = 0.0f;
  for (int i = 0; i + 1 < 1024; ++i) largest_step = std::max(largest_step, std::fabs(big[i + 1] - big[i]));
  EXPECT_LT(largest_step, 0.1f);

  // Same seed, same set; the scale modifier scales the coordinates.
  std::unique_ptr<FastNoiseSIMD> again(FastNoiseSIMD::NewFastNoiseSIMD(1337));
  noise_set_t twice(again->GetNoiseSet(0, 0, 0, 64, 64, 1));
  EXPECT_TRUE(std::equal(twice.get(), twice.get() + 64, big.get()));
  noise_set_t scaled(noise->GetNoiseSet(0, 0, 0, 4, 1, 1, 2.0f));
  EXPECT_EQ(scaled[3], big[6 * 1024]);

  EXPECT_EQ(noise->GetNoiseSet(0, 0, 0, 0, 5, 5), nullptr);
  EXPECT_EQ(noise->GetNoiseSet(0, 0, 0, 1 << 20, 1 << 20, 1), nullptr);
}

TEST(NoiseTest, SimplexStaysInRangeAndFarCoordinatesAreSafe) {
  const stats_t s =
      sample_grid(300, 0.173f, [](float x, float y, float z) { return simplex_noise_3d(1337, x, y, z); });
  EXPECT_GE(s.min, -1.0f);
  EXPECT_LE(s.max, 1.0f);
  EXPECT_NEAR(s.mean, 0.0, 0.05);
  FastNoise perlin;
  perlin.SetNoiseType(FastNoise::Perlin);
  for (float far : {3e9f, -3e9f, 1e38f, INFINITY}) {
    EXPECT_TRUE(std::isfinite(simplex_noise_3d(1, far, 0.5f, -far)) || !std::isfinite(far));
    (void)perlin.GetNoise(far, far, far);
  }
}

// One object read from many threads gives what it gives on one thread.
TEST(NoiseThreadTest, ConcurrentReadsMatchSerialReads) {
  FastNoise perlin;
  perlin.SetNoiseType(FastNoise::Perlin);
  std::unique_ptr<FastNoiseSIMD> simd(FastNoiseSIMD::NewFastNoiseSIMD());
  constexpr int samples = 20000;
  std::vector<float> expected(samples);
  for (int i = 0; i < samples; ++i) expected[i] = perlin.GetNoise(i * 0.7f, i * 0.3f, -i * 0.11f);
  noise_set_t expected_set(simd->GetNoiseSet(0, 0, 0, 64, 64, 4));

  constexpr int threads = 8;
  std::vector<int> mismatches(threads, 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = t; i < samples; i += threads)
        mismatches[t] += perlin.GetNoise(i * 0.7f, i * 0.3f, -i * 0.11f) != expected[i];
      noise_set_t set(simd->GetNoiseSet(0, 0, 0, 64, 64, 4));
      mismatches[t] += !std::equal(set.get(), set.get() + 64 * 64 * 4, expected_set.get());
    });
  }
  for (auto& worker : workers) worker.join();
  for (int t = 0; t < threads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
