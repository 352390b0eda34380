#pragma once
// FastNoise's scalar interface as the particle systems use it: constructed with a seed (1337 by
// default), frequency 0.01 and quintic interpolation, then set to Perlin. GetNoise only reads the
// object, so one object may serve many threads at once.

#include "libs/noise/perlin_noise.h"

class FastNoise {
 public:
  enum NoiseType { Simplex, Perlin };
  enum Interp { Quintic };

  explicit FastNoise(int seed = 1337);

  void SetNoiseType(NoiseType noise_type) { noise_type_ = noise_type; }
  NoiseType GetNoiseType() const { return noise_type_; }
  int GetSeed() const { return seed_; }
  float GetFrequency() const { return frequency_; }
  Interp GetInterp() const { return interp_; }

  // Noise of the selected type at the coordinates times the frequency.
  float GetNoise(float x, float y, float z) const;
  float GetPerlin(float x, float y, float z) const;
  float GetSimplex(float x, float y, float z) const;

 private:
  int seed_;
  float frequency_ = 0.01f;
  Interp interp_ = Quintic;
  NoiseType noise_type_ = Simplex;
  perlin_table_t table_;
};
