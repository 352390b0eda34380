#pragma once
// 3D simplex noise whose corner gradients come from hashing the seed with the corner's
// coordinates (no permutation table), scaled to about [-1, 1]. Pure, so safe from any thread.

#include <cstdint>

float simplex_noise_3d(int32_t seed, float x, float y, float z);
