#pragma once
// 3D gradient (Perlin) noise over a seeded permutation table, with quintic fade curves, in about
// [-1, 1] and 0 at every lattice point. The table is immutable once built, so reads may run
// concurrently.

#include <array>
#include <cstdint>

struct perlin_table_t {
  std::array<uint8_t, 512> perm{};
  std::array<uint8_t, 512> perm12{};  // perm modulo 12: the gradient index
};

perlin_table_t make_perlin_table(int32_t seed);
float perlin_noise_3d(const perlin_table_t& table, float x, float y, float z);
