#pragma once
// The L-system's growth: breadth first from seed segments spread over the sphere, each processed
// segment filled with randomly turned cubes and spawning three shorter children.

#include <cstdint>
#include <span>
#include <vector>

#include "support/math.h"

// The vertex the pass's vertex shader reads.
struct lsystem_vertex_t {
  float3 centre;
  float3 normal;     // rotated
  float3 direction;  // unit, from the centre to the rotated corner
  float distance;    // of the corner from the centre
  float colour;      // 0, 1 or 2
};
static_assert(sizeof(lsystem_vertex_t) == 44);

struct lsystem_segment_t {
  float3 start;
  float3 end;
  float k = 1.0f;  // length scale
  float size_start = 1.0f;
  float size_end = 1.0f;
};

struct lsystem_settings_t {
  float segment_length = 10.0f;
  float segment_length_variance = 0.5f;
  float cube_size = 1.0f;
  int density = 5;
  int initial_segments = 13;
  int max_segments = 10;
  float length_decay = 0.9f;
  float size_decay = 0.9f;
};

struct cube_vertex_t {
  float3 position;
  float3 normal;
};

constexpr int cube_vertex_count = 150;
constexpr int lsystem_cube_capacity = 65536;
constexpr int lsystem_vertex_capacity = lsystem_cube_capacity * cube_vertex_count;

// 50 separate triangles of a bevelled solid, apex at (0, 1, 0), base at y = -1, face normals.
const std::vector<cube_vertex_t>& cube_mesh();
std::vector<cube_vertex_t> scaled_cube_mesh(float size);

float random_uniform_range(float a, float b);
// Around an axis of zero length, or one that is not a finite vector, every direction counts. The
// rejection sampling gives up after a fixed number of draws and then flips its last draw over.
float3 random_hemisphere_direction(const float3& n);

// Settings the growth can work with: a float that is not finite takes its default, and more seeds
// than the growth could ever process are cut to that many. Each change is logged.
lsystem_settings_t bounded_lsystem_settings(const lsystem_settings_t& settings);

// Writes cube_vertex_count vertices per cube into `out` and returns the cube count. Growth stops
// before a segment whose cubes would not fit, after at most lsystem_cube_capacity segments, and at
// a segment whose length has left the float range. Settings go through bounded_lsystem_settings.
int grow_lsystem(const lsystem_settings_t& settings, std::span<const cube_vertex_t> mesh,
                 std::span<lsystem_vertex_t> out);
