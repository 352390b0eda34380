#include "blocks/lsystem_growth.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "support/log.h"
#include "support/random.h"

namespace {

constexpr float two_pi = 6.2831855f;

// Rings of a pentagonal solid from the apex down; the last one lies in the base.
struct ring_t {
  float y, radius;
};
constexpr ring_t rings[] = {{0.55f, 0.45f}, {0.1f, 0.85f}, {-0.45f, 1.0f}, {-0.85f, 0.8f}, {-1.0f, 0.45f}};
constexpr int sides = 5;

float3 ring_point(const ring_t& ring, int k) {
  const float a = two_pi * float(k % sides) / float(sides);
  return {ring.radius * std::cos(a), ring.y, ring.radius * std::sin(a)};
}

std::vector<cube_vertex_t> make_cube_mesh() {
  std::vector<cube_vertex_t> out;
  out.reserve(cube_vertex_count);
  const float3 inside{0.0f, -0.2f, 0.0f};
  auto triangle = [&](float3 a, float3 b, float3 c) {
    float3 n = vec3_normalize(vec3_cross(vec3_sub(b, a), vec3_sub(c, a)));
    const float3 middle = vec3_scale(1.0f / 3.0f, vec3_add(vec3_add(a, b), c));
    if (vec3_dot(n, vec3_sub(middle, inside)) < 0.0f) n = vec3_scale(-1.0f, n);
    for (const float3& p : {a, b, c}) out.push_back({p, n});
  };
  const float3 apex{0.0f, 1.0f, 0.0f};
  const float3 base{0.0f, -1.0f, 0.0f};
  for (int k = 0; k < sides; ++k) triangle(apex, ring_point(rings[0], k), ring_point(rings[0], k + 1));
  for (size_t r = 0; r + 1 < std::size(rings); ++r) {
    for (int k = 0; k < sides; ++k) {
      const float3 a = ring_point(rings[r], k), b = ring_point(rings[r], k + 1);
      const float3 c = ring_point(rings[r + 1], k), d = ring_point(rings[r + 1], k + 1);
      triangle(a, c, d);
      triangle(a, d, b);
    }
  }
  for (int k = 0; k < sides; ++k)
    triangle(base, ring_point(rings[std::size(rings) - 1], k + 1), ring_point(rings[std::size(rings) - 1], k));
  return out;
}

// Row-vector rotation: first about X by a3, then Y by a2, then Z by a1.
float4x4 cube_rotation(float a1, float a2, float a3) {
  const float4x4 rx = make_mat4(1, 0, 0, 0, 0, std::cos(a3), std::sin(a3), 0, 0, -std::sin(a3), std::cos(a3), 0,
                                0, 0, 0, 1);
  const float4x4 ry = make_mat4(std::cos(a2), 0, -std::sin(a2), 0, 0, 1, 0, 0, std::sin(a2), 0, std::cos(a2), 0,
                                0, 0, 0, 1);
  const float4x4 rz = make_mat4(std::cos(a1), std::sin(a1), 0, 0, -std::sin(a1), std::cos(a1), 0, 0, 0, 0, 1, 0,
                                0, 0, 0, 1);
  return mat4_multiply(mat4_multiply(rx, ry), rz);
}

float3 rotate(const float3& p, const float4x4& r) {
  return {p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0], p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1],
          p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2]};
}

bool is_finite(const float3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A valid axis is rejected by a draw with odds of about 0.6: this many draws all failing does not
// happen, whatever the axis.
constexpr int hemisphere_draws = 256;

}  // namespace

const std::vector<cube_vertex_t>& cube_mesh() {
  static const std::vector<cube_vertex_t> mesh = make_cube_mesh();
  return mesh;
}

std::vector<cube_vertex_t> scaled_cube_mesh(float size) {
  std::vector<cube_vertex_t> mesh = cube_mesh();
  for (cube_vertex_t& v : mesh) v.position = vec3_scale(size, v.position);
  return mesh;
}

float random_uniform_range(float a, float b) {
  const float u = float(global_pcg32().next());
  return u * (b - a) * 2.3283064e-10f + a;
}

float3 random_hemisphere_direction(const float3& n) {
  // Around no direction at all every direction counts, or the search would never end.
  const bool any = !is_finite(n) || vec3_dot(n, n) == 0.0f;
  float3 v{0.0f, 0.0f, 1.0f};
  for (int draw = 0; draw < hemisphere_draws; ++draw) {
    const float a = random_uniform_range(-1.0f, 1.0f);
    const float b = random_uniform_range(-1.0f, 1.0f);
    const float s = a * a + b * b;
    if (s >= 1.0f) continue;
    const float d = std::sqrt(1.0f - a * a - b * b);
    v = {2.0f * a * d, 2.0f * b * d, 1.0f - 2.0f * s};
    if (any || vec3_dot(v, n) > 0.0f) return v;
  }
  // Only an axis whose products all vanish gets here.
  return vec3_dot(v, n) < 0.0f ? vec3_scale(-1.0f, v) : v;
}

lsystem_settings_t bounded_lsystem_settings(const lsystem_settings_t& settings) {
  lsystem_settings_t bounded = settings;
  const lsystem_settings_t defaults;
  struct float_setting_t {
    const char* name;
    float lsystem_settings_t::*member;
  };
  const float_setting_t floats[] = {{"segment_length", &lsystem_settings_t::segment_length},
                                    {"segment_length_variance", &lsystem_settings_t::segment_length_variance},
                                    {"cube-size", &lsystem_settings_t::cube_size},
                                    {"length-decay", &lsystem_settings_t::length_decay},
                                    {"size-decay", &lsystem_settings_t::size_decay}};
  for (const float_setting_t& f : floats) {
    if (std::isfinite(bounded.*f.member)) continue;
    LOG_WRN("lsystem: %s %g is not a finite number; using %g", f.name, double(bounded.*f.member),
            double(defaults.*f.member));
    bounded.*f.member = defaults.*f.member;
  }
  // Every seed gets a direction, a length and a queue entry before growth starts, but no more
  // segments than the capacity are ever processed.
  if (bounded.initial_segments > lsystem_cube_capacity) {
    LOG_WRN("lsystem: initial-segments %d is more than the %d segments that can grow; using %d",
            bounded.initial_segments, lsystem_cube_capacity, lsystem_cube_capacity);
    bounded.initial_segments = lsystem_cube_capacity;
  }
  return bounded;
}

int grow_lsystem(const lsystem_settings_t& requested, std::span<const cube_vertex_t> mesh,
                 std::span<lsystem_vertex_t> out) {
  const lsystem_settings_t settings = bounded_lsystem_settings(requested);
  const size_t per_cube = mesh.size();
  const size_t cube_room = per_cube > 0 ? out.size() / per_cube : 0;
  // Negative counts mean none: no seeds, and growth ends after the first segment.
  const int seed_count = std::max(settings.initial_segments, 0);
  const int max_segments = std::max(settings.max_segments, 0);
  const int density = settings.density;

  std::deque<lsystem_segment_t> queue;
  std::vector<float3> directions;
  sphere_directions(seed_count, directions);
  for (const float3& d : directions) {
    const float length = float(random_gaussian(settings.segment_length, settings.segment_length_variance));
    queue.push_back({{0, 0, 0}, vec3_scale(length, d), 1.0f, 1.0f, 1.0f});
  }

  int64_t counter = seed_count;
  int cubes = 0;
  int processed = 0;
  while (!queue.empty()) {
    const lsystem_segment_t s = queue.front();
    queue.pop_front();
    if (density > 0 && size_t(cubes) + size_t(density) > cube_room) {
      LOG_WRN("L-system growth stopped at %d cubes: the buffers hold %d", cubes, int(cube_room));
      break;
    }
    const float3 delta = vec3_sub(s.end, s.start);
    const float3 dir = vec3_normalize(delta);
    const float len = vec3_length(delta) * s.k;
    // One cube sits at the start and the segment's whole length is its step, so that its children
    // still grow from the far end.
    const float steps = density > 1 ? float(density - 1) : 1.0f;
    const float3 step = vec3_scale(len / steps, dir);
    // A decay above one grows lengths without bound: once they leave the float range the cubes
    // and every child direction would be NaN.
    const float3 reach = vec3_add(s.start, vec3_scale(float(std::max(density, 0)), step));
    if (!std::isfinite(len) || !is_finite(dir) || !is_finite(reach)) {
      LOG_WRN("lsystem: growth stopped at %d cubes: segment lengths left the float range (length-decay %g)",
              cubes, double(settings.length_decay));
      break;
    }
    float3 centre = s.start;
    for (int i = 0; i < density; ++i) {
      const float t = density > 1 ? float(i) / float(density - 1) : 0.0f;
      const float size = (1.0f - t) * s.size_start + t * s.size_end;
      const float a1 = random_uniform_range(-two_pi, two_pi);
      const float a2 = random_uniform_range(-two_pi, two_pi);
      const float a3 = random_uniform_range(-two_pi, two_pi);
      const float4x4 r = cube_rotation(a1, a2, a3);
      const float colour = float(i % 3);
      lsystem_vertex_t* v = out.data() + size_t(cubes + i) * per_cube;
      for (const cube_vertex_t& m : mesh) {
        const float3 q = rotate(m.position, r);
        *v++ = {centre, rotate(m.normal, r), vec3_normalize(q), size * vec3_length(q), colour};
      }
      centre = vec3_add(centre, step);
    }
    if (density > 0) cubes += density;
    ++counter;
    ++processed;

    const float k = settings.length_decay * s.k;
    const float child_length = k * len;
    const float end_size = s.size_end * settings.size_decay;
    queue.push_back({centre, vec3_add(centre, vec3_scale(child_length, dir)), k, s.size_end, end_size});
    const float3 h1 = random_hemisphere_direction(dir);
    const float3 h2 = random_hemisphere_direction(dir);
    queue.push_back({centre, vec3_add(centre, vec3_scale(child_length, h1)), k, s.size_end, end_size});
    queue.push_back({centre, vec3_add(centre, vec3_scale(child_length, h2)), k, s.size_end, end_size});
    // Segments without cubes would otherwise let the queue grow as far as max-segments asks.
    if (counter >= max_segments || processed >= lsystem_cube_capacity) break;
  }
  return cubes;
}
