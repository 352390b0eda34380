#include "libs/noise/simplex_noise.h"

#include <cmath>

namespace {

constexpr uint32_t x_prime = 1619;
constexpr uint32_t y_prime = 31337;
constexpr uint32_t z_prime = 6971;
constexpr float f3 = 1.0f / 3.0f;
constexpr float g3 = 1.0f / 6.0f;

// Unsigned arithmetic: the hash relies on wrapping multiplication.
uint32_t hash(uint32_t seed, uint32_t x, uint32_t y, uint32_t z) {
  uint32_t h = seed ^ x ^ y ^ z;
  h = h * h * 60493u * h;
  return h ^ (h >> 13);
}

// Picks one of the twelve cube-edge gradients (with four repeated) and dots it with the offset.
float gradient(uint32_t seed, uint32_t xi, uint32_t yi, uint32_t zi, float x, float y, float z) {
  const uint32_t h = hash(seed, xi, yi, zi);
  const uint32_t h13 = h & 13;
  const float u = h13 < 8 ? x : y;
  const float v = h13 < 2 ? y : (h13 == 12 ? x : z);
  return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}

// floor as an int, saturated so that far coordinates do not overflow the conversion.
int32_t floor_to_int(float value) {
  const float f = std::floor(value);
  if (!(f > -2147483520.0f)) return INT32_MIN;
  if (f > 2147483520.0f) return INT32_MAX;
  return static_cast<int32_t>(f);
}

float corner(float t, float g) {
  if (t < 0.0f) return 0.0f;
  t *= t;
  return t * t * g;
}

}  // namespace

float simplex_noise_3d(int32_t seed_value, float x, float y, float z) {
  const uint32_t seed = static_cast<uint32_t>(seed_value);
  const float f = f3 * (x + y + z);
  const int32_t ci = floor_to_int(x + f);
  const int32_t cj = floor_to_int(y + f);
  const int32_t ck = floor_to_int(z + f);
  const uint32_t i = static_cast<uint32_t>(ci) * x_prime;
  const uint32_t j = static_cast<uint32_t>(cj) * y_prime;
  const uint32_t k = static_cast<uint32_t>(ck) * z_prime;

  const float g = g3 * (static_cast<float>(ci) + static_cast<float>(cj) + static_cast<float>(ck));
  const float x0 = x - (static_cast<float>(ci) - g);
  const float y0 = y - (static_cast<float>(cj) - g);
  const float z0 = z - (static_cast<float>(ck) - g);

  // Which of the six tetrahedra of the skewed cube holds the point.
  const bool x_ge_y = x0 >= y0;
  const bool y_ge_z = y0 >= z0;
  const bool x_ge_z = x0 >= z0;
  const bool i1 = x_ge_y && x_ge_z;
  const bool j1 = !x_ge_y && y_ge_z;
  const bool k1 = !x_ge_z && !y_ge_z;
  const bool i2 = x_ge_y || x_ge_z;
  const bool j2 = !x_ge_y || y_ge_z;
  const bool k2 = !(x_ge_z && y_ge_z);

  const float x1 = x0 - static_cast<float>(i1) + g3;
  const float y1 = y0 - static_cast<float>(j1) + g3;
  const float z1 = z0 - static_cast<float>(k1) + g3;
  const float x2 = x0 - static_cast<float>(i2) + f3;
  const float y2 = y0 - static_cast<float>(j2) + f3;
  const float z2 = z0 - static_cast<float>(k2) + f3;
  const float x3 = x0 - 0.5f;
  const float y3 = y0 - 0.5f;
  const float z3 = z0 - 0.5f;

  const float n0 = corner(0.6f - x0 * x0 - y0 * y0 - z0 * z0, gradient(seed, i, j, k, x0, y0, z0));
  const float n1 = corner(
      0.6f - x1 * x1 - y1 * y1 - z1 * z1,
      gradient(seed, i + (i1 ? x_prime : 0), j + (j1 ? y_prime : 0), k + (k1 ? z_prime : 0), x1, y1, z1));
  const float n2 = corner(
      0.6f - x2 * x2 - y2 * y2 - z2 * z2,
      gradient(seed, i + (i2 ? x_prime : 0), j + (j2 ? y_prime : 0), k + (k2 ? z_prime : 0), x2, y2, z2));
  const float n3 = corner(0.6f - x3 * x3 - y3 * y3 - z3 * z3,
                          gradient(seed, i + x_prime, j + y_prime, k + z_prime, x3, y3, z3));
  return 32.0f * (n0 + n1 + n2 + n3);
}
