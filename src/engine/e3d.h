#pragma once
// Camera scenes: e3d files of named cameras, dummies and meshes with animation tracks and timed
// camera switches. A block takes its cameras from one (see block_base_t::load_camera_scene).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "variables/variable.h"

namespace e3d {

struct key_t {
  float time = 0.0f;
  float3 position;
  float3x3 rotation;
};

// Keys ascend in time.
struct track_t {
  // The keys around t; either may be absent.
  std::pair<const key_t*, const key_t*> find_keys(float t) const;
  float3 sample_position(float t) const;
  // Blended element by element, not re-orthonormalised.
  float3x3 sample_rotation(float t) const;

  std::vector<key_t> keys;
};

class object_base_t {
 public:
  virtual ~object_base_t() = default;

  std::string name;
  int32_t id = 0;
  float3 position;
  float3x3 rotation;
  const track_t* track = nullptr;  // owned by the scene
};

class camera_t final : public object_base_t {
 public:
  float fov = 0.0f;
  float unused = 0.0f;
  float near_plane = 0.0f;
  float far_plane = 0.0f;
  int32_t target_id = 0;
  const object_base_t* target = nullptr;  // owned by the scene
};

class dummy_t final : public object_base_t {};

class mesh_t final : public object_base_t {
 public:
  float3 bounds_min;
  float3 bounds_max;
  std::vector<int3> triangles;
  std::vector<float3> vertices;
};

struct camera_switch_t {
  float start_time = 0.0f;
  float end_time = 0.0f;
  int32_t camera_id = 0;
};

// Owns every object, track and the switch list.
struct scene_t {
  void clear();

  std::string name;
  uint32_t values[2] = {0, 0};
  std::optional<std::vector<camera_switch_t>> camera_switches;  // absent without a "STAG" chunk
  std::vector<std::unique_ptr<dummy_t>> dummies;
  std::vector<std::unique_ptr<camera_t>> cameras;
  std::vector<std::unique_ptr<mesh_t>> meshes;
  std::unordered_map<int32_t, track_t> tracks;
  std::unordered_map<int32_t, object_base_t*> objects;  // a later object replaces one of its id
};

// Reads the file through the engine's file system; none when it cannot be read or is malformed.
std::unique_ptr<scene_t> load_scene(const std::string& path);
// The chunk walk over bytes in memory, targets resolved and tracks bound.
std::unique_ptr<scene_t> parse_scene(std::span<const uint8_t> bytes);

}  // namespace e3d
