#include "libs/noise/fast_noise_simd.h"

#include <cstddef>
#include <new>

#include "libs/noise/simplex_noise.h"

namespace {

// A set is at most 256 Mi values (1 GiB).
constexpr int64_t max_set_values = int64_t{1} << 28;

}  // namespace

FastNoiseSIMD* FastNoiseSIMD::NewFastNoiseSIMD(int seed) { return new FastNoiseSIMD(seed); }

// FBM: each octave at twice the frequency, half the amplitude and the next seed, normalised by the
// sum of the amplitudes so the result stays in about [-1, 1].
float FastNoiseSIMD::fractal_value(float x, float y, float z) const {
  int32_t seed = seed_;
  float sum = simplex_noise_3d(seed, x, y, z);
  float amplitude = 1.0f;
  float amplitude_total = 1.0f;
  for (int octave = 1; octave < octaves_; ++octave) {
    x *= lacunarity_;
    y *= lacunarity_;
    z *= lacunarity_;
    seed = static_cast<int32_t>(static_cast<uint32_t>(seed) + 1);
    amplitude *= gain_;
    amplitude_total += amplitude;
    sum += simplex_noise_3d(seed, x, y, z) * amplitude;
  }
  return sum * (1.0f / amplitude_total);
}

float* FastNoiseSIMD::GetNoiseSet(int xStart, int yStart, int zStart, int xSize, int ySize, int zSize,
                                  float scaleModifier) const {
  if (xSize <= 0 || ySize <= 0 || zSize <= 0) return nullptr;
  const int64_t count = int64_t{xSize} * ySize * zSize;
  if (count > max_set_values) return nullptr;
  float* set = new (std::nothrow) float[static_cast<size_t>(count)];
  if (set == nullptr) return nullptr;
  FillNoiseSet(set, xStart, yStart, zStart, xSize, ySize, zSize, scaleModifier);
  return set;
}

void FastNoiseSIMD::FillNoiseSet(float* noiseSet, int xStart, int yStart, int zStart, int xSize, int ySize,
                                 int zSize, float scaleModifier) const {
  if (!noiseSet || xSize <= 0 || ySize <= 0 || zSize <= 0) return;
  if (int64_t{xSize} * ySize * zSize > max_set_values) return;
  const float scale = frequency_ * scaleModifier;
  size_t index = 0;
  for (int x = 0; x < xSize; ++x) {
    const float xf = static_cast<float>(int64_t{xStart} + x) * scale;
    for (int y = 0; y < ySize; ++y) {
      const float yf = static_cast<float>(int64_t{yStart} + y) * scale;
      for (int z = 0; z < zSize; ++z) {
        noiseSet[index++] = fractal_value(xf, yf, static_cast<float>(int64_t{zStart} + z) * scale);
      }
    }
  }
}

void FastNoiseSIMD::FreeNoiseSet(float* noiseSet) { delete[] noiseSet; }
