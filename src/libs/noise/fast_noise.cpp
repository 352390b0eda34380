#include "libs/noise/fast_noise.h"

#include "libs/noise/simplex_noise.h"

FastNoise::FastNoise(int seed) : seed_(seed), table_(make_perlin_table(seed)) {}

float FastNoise::GetNoise(float x, float y, float z) const {
  switch (noise_type_) {
    case Perlin:
      return GetPerlin(x, y, z);
    case Simplex:
      return GetSimplex(x, y, z);
  }
  return 0.0f;
}

float FastNoise::GetPerlin(float x, float y, float z) const {
  return perlin_noise_3d(table_, x * frequency_, y * frequency_, z * frequency_);
}

float FastNoise::GetSimplex(float x, float y, float z) const {
  return simplex_noise_3d(seed_, x * frequency_, y * frequency_, z * frequency_);
}
