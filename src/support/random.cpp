#include "support/random.h"

#include <cmath>

uint32_t pcg32_t::next() {
  uint64_t old = state;
  state = old * 6364136223846793005ULL + increment;
  uint32_t xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
  uint32_t rot = static_cast<uint32_t>(old >> 59u);
  return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

pcg32_t& global_pcg32() {
  static pcg32_t generator;
  return generator;
}

double random_unit() { return global_pcg32().next() * (1.0 / 4294967295.0); }

namespace {
thread_local bool t_has_spare = false;
thread_local double t_spare = 0.0;
}  // namespace

double random_gaussian(double mean, double sigma) {
  if (t_has_spare) {
    t_has_spare = false;
    return mean + sigma * t_spare;
  }
  double u1 = 0, u2 = 0;
  do {
    u1 = random_unit();
    u2 = random_unit();
  } while (u1 <= 2.2250738585072014e-308);
  double rho = std::sqrt(-2.0 * std::log(u1));
  double theta = 2.0 * 3.14159265358979323846 * u2;
  t_spare = rho * std::sin(theta);
  t_has_spare = true;
  return mean + sigma * rho * std::cos(theta);
}
