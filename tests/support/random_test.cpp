#include "support/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

namespace {

// The generator is process-wide; each test restores it.
class RandomThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { saved = global_pcg32(); }
  void TearDown() override { global_pcg32() = saved; }
  pcg32_t saved;
};

// Runs on a fresh thread so no Gaussian spare is held from earlier calls.
template <typename body_t>
void on_fresh_thread(body_t body) {
  std::thread thread(body);
  thread.join();
}

TEST_F(RandomThreadTest, GeneratorStartsAtTheReferenceInitializer) {
  pcg32_t fresh;
  EXPECT_EQ(fresh.state, 0x853c49e6748fea9bULL);
  EXPECT_EQ(fresh.increment, 0xda3e39cb94b95bdbULL);
  // First step by hand: old = state, output = rotr32(((old >> 18) ^ old) >> 27, old >> 59).
  uint64_t old = fresh.state;
  uint32_t x = static_cast<uint32_t>(((old >> 18) ^ old) >> 27);
  uint32_t rot = static_cast<uint32_t>(old >> 59);
  uint32_t expected = (x >> rot) | (x << ((32 - rot) & 31));
  EXPECT_EQ(fresh.next(), expected);
  EXPECT_EQ(fresh.state, old * 6364136223846793005ULL + 0xda3e39cb94b95bdbULL);
}

TEST(RandomTest, AdvanceSkipsAsManyDrawsAsItIsTold) {
  for (uint64_t delta : {0ull, 1ull, 2ull, 7ull, 1000ull, 4194305ull}) {
    pcg32_t stepped, jumped;
    for (uint64_t i = 0; i < delta; ++i) stepped.next();
    jumped.advance(delta);
    EXPECT_EQ(jumped.state, stepped.state) << delta;
    EXPECT_EQ(jumped.next(), stepped.next()) << delta;
  }
}

TEST_F(RandomThreadTest, TwoGaussiansConsumeOnePairOfDraws) {
  on_fresh_thread([] {
    pcg32_t before = global_pcg32();
    pcg32_t expected = before;
    double u1 = expected.next() * (1.0 / 4294967295.0);
    double u2 = expected.next() * (1.0 / 4294967295.0);
    double rho = std::sqrt(-2 * std::log(u1));
    double first = random_gaussian(1.0, 2.0);
    EXPECT_EQ(global_pcg32().state, expected.state);
    double second = random_gaussian(-1.0, 0.5);
    EXPECT_EQ(global_pcg32().state, expected.state);
    EXPECT_NEAR(first, 1.0 + 2.0 * rho * std::cos(2 * std::numbers::pi * u2), 1e-12);
    EXPECT_NEAR(second, -1.0 + 0.5 * rho * std::sin(2 * std::numbers::pi * u2), 1e-12);
  });
}

TEST_F(RandomThreadTest, GaussianMoments) {
  on_fresh_thread([] {
    const int n = 20000;
    double sum = 0, sum_sq = 0;
    for (int i = 0; i < n; ++i) {
      double v = random_gaussian(3.0, 2.0);
      sum += v;
      sum_sq += v * v;
    }
    double mean = sum / n;
    double variance = sum_sq / n - mean * mean;
    EXPECT_NEAR(mean, 3.0, 0.1);
    EXPECT_NEAR(variance, 4.0, 0.2);
  });
}

}  // namespace
