#include "support/random.h"

#include <cmath>

uint32_t pcg32_t::next() {
  uint64_t old = state;
  state = old * 6364136223846793005ULL + increment;
  uint32_t xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
  uint32_t rot = static_cast<uint32_t>(old >> 59u);
  return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

void pcg32_t::advance(uint64_t delta) {
  // The LCG's step composed with itself: state × m^delta + c × (m^delta − 1) / (m − 1).
  uint64_t multiplier = 6364136223846793005ULL, plus = increment;
  uint64_t total_multiplier = 1, total_plus = 0;
  for (; delta > 0; delta /= 2) {
    if (delta & 1) {
      total_multiplier *= multiplier;
      total_plus = total_plus * multiplier + plus;
    }
    plus = (multiplier + 1) * plus;
    multiplier *= multiplier;
  }
  state = total_multiplier * state + total_plus;
}

pcg32_t& global_pcg32() {
  static pcg32_t generator;
  return generator;
}

double random_unit() { return global_pcg32().next() * (1.0 / 4294967295.0); }

namespace {
thread_local gaussian_spare_t t_spare;
}  // namespace

double random_gaussian(double mean, double sigma) { return random_gaussian(global_pcg32(), t_spare, mean, sigma); }

gaussian_spare_t& thread_gaussian_spare() { return t_spare; }

double random_gaussian(pcg32_t& generator, gaussian_spare_t& spare, double mean, double sigma) {
  if (spare.has) {
    spare.has = false;
    return mean + sigma * spare.value;
  }
  double u1 = 0, u2 = 0;
  do {
    u1 = generator.next() * (1.0 / 4294967295.0);
    u2 = generator.next() * (1.0 / 4294967295.0);
  } while (u1 <= 2.2250738585072014e-308);
  double rho = std::sqrt(-2.0 * std::log(u1));
  double theta = 2.0 * 3.14159265358979323846 * u2;
  spare.value = rho * std::sin(theta);
  spare.has = true;
  return mean + sigma * rho * std::cos(theta);
}
