#include "libs/noise/perlin_noise.h"

#include <cmath>
#include <random>

namespace {

constexpr float grad_x[12] = {1, -1, 1, -1, 1, -1, 1, -1, 0, 0, 0, 0};
constexpr float grad_y[12] = {1, 1, -1, -1, 0, 0, 0, 0, 1, -1, 1, -1};
constexpr float grad_z[12] = {0, 0, 0, 0, 1, 1, -1, -1, 1, 1, -1, -1};

int32_t floor_to_int(float value) {
  const float f = std::floor(value);
  if (!(f > -2147483520.0f)) return INT32_MIN;
  if (f > 2147483520.0f) return INT32_MAX;
  return static_cast<int32_t>(f);
}

float quintic(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }
float lerp(float a, float b, float t) { return a + t * (b - a); }

float gradient(const perlin_table_t& table, int32_t x, int32_t y, int32_t z, float dx, float dy, float dz) {
  const uint8_t g = table.perm12[(x & 0xff) + table.perm[(y & 0xff) + table.perm[z & 0xff]]];
  return dx * grad_x[g] + dy * grad_y[g] + dz * grad_z[g];
}

}  // namespace

perlin_table_t make_perlin_table(int32_t seed) {
  // mt19937_64 is fully specified by the standard, so every platform builds the same table.
  std::mt19937_64 generator(static_cast<uint64_t>(static_cast<int64_t>(seed)));
  perlin_table_t table;
  for (int j = 0; j < 256; ++j) table.perm[j] = static_cast<uint8_t>(j);
  for (int j = 0; j < 256; ++j) {
    const int k = static_cast<int>(generator() % static_cast<uint64_t>(256 - j)) + j;
    const uint8_t swapped = table.perm[j];
    table.perm[j] = table.perm[j + 256] = table.perm[k];
    table.perm[k] = swapped;
    table.perm12[j] = table.perm12[j + 256] = static_cast<uint8_t>(table.perm[j] % 12);
  }
  return table;
}

float perlin_noise_3d(const perlin_table_t& table, float x, float y, float z) {
  const int32_t x0 = floor_to_int(x);
  const int32_t y0 = floor_to_int(y);
  const int32_t z0 = floor_to_int(z);
  // Wrapping +1: the table index only uses the low byte.
  const int32_t x1 = static_cast<int32_t>(static_cast<uint32_t>(x0) + 1);
  const int32_t y1 = static_cast<int32_t>(static_cast<uint32_t>(y0) + 1);
  const int32_t z1 = static_cast<int32_t>(static_cast<uint32_t>(z0) + 1);

  const float xd0 = x - static_cast<float>(x0);
  const float yd0 = y - static_cast<float>(y0);
  const float zd0 = z - static_cast<float>(z0);
  const float xd1 = xd0 - 1;
  const float yd1 = yd0 - 1;
  const float zd1 = zd0 - 1;
  const float xs = quintic(xd0);
  const float ys = quintic(yd0);
  const float zs = quintic(zd0);

  const float xf00 =
      lerp(gradient(table, x0, y0, z0, xd0, yd0, zd0), gradient(table, x1, y0, z0, xd1, yd0, zd0), xs);
  const float xf10 =
      lerp(gradient(table, x0, y1, z0, xd0, yd1, zd0), gradient(table, x1, y1, z0, xd1, yd1, zd0), xs);
  const float xf01 =
      lerp(gradient(table, x0, y0, z1, xd0, yd0, zd1), gradient(table, x1, y0, z1, xd1, yd0, zd1), xs);
  const float xf11 =
      lerp(gradient(table, x0, y1, z1, xd0, yd1, zd1), gradient(table, x1, y1, z1, xd1, yd1, zd1), xs);
  return lerp(lerp(xf00, xf10, ys), lerp(xf01, xf11, ys), zs);
}
