#pragma once
// FastNoiseSIMD's interface as the texture manager uses it: an object with the library defaults
// (seed 1337, frequency 0.01, simplex fractal noise, FBM with 3 octaves, lacunarity 2, gain 0.5)
// fills sets of noise over an integer grid. Filling only reads the object, so it is thread-safe.

#include <cstdint>

class FastNoiseSIMD {
 public:
  enum NoiseType { SimplexFractal };
  enum FractalType { FBM };

  // The caller owns the object (delete it).
  static FastNoiseSIMD* NewFastNoiseSIMD(int seed = 1337);

  int GetSeed() const { return seed_; }
  float GetFrequency() const { return frequency_; }
  NoiseType GetNoiseType() const { return noise_type_; }
  FractalType GetFractalType() const { return fractal_type_; }
  int GetFractalOctaves() const { return octaves_; }
  float GetFractalLacunarity() const { return lacunarity_; }
  float GetFractalGain() const { return gain_; }

  // xSize × ySize × zSize values at (xStart + x, yStart + y, zStart + z) times the frequency and
  // scaleModifier, indexed x × ySize × zSize + y × zSize + z. Null when a size is not positive or
  // the set would be too large. Release with FreeNoiseSet.
  float* GetNoiseSet(int xStart, int yStart, int zStart, int xSize, int ySize, int zSize,
                     float scaleModifier = 1.0f) const;
  // The same values into `noiseSet`, which holds xSize × ySize × zSize floats; nothing when a size is
  // not positive or the set would be too large. Any part of a set may be filled on its own, from any
  // thread, with the same result.
  void FillNoiseSet(float* noiseSet, int xStart, int yStart, int zStart, int xSize, int ySize, int zSize,
                    float scaleModifier = 1.0f) const;
  static void FreeNoiseSet(float* noiseSet);

 private:
  explicit FastNoiseSIMD(int seed) : seed_(seed) {}
  float fractal_value(float x, float y, float z) const;

  int seed_;
  float frequency_ = 0.01f;
  NoiseType noise_type_ = SimplexFractal;
  FractalType fractal_type_ = FBM;
  int octaves_ = 3;
  float lacunarity_ = 2.0f;
  float gain_ = 0.5f;
};
