#pragma once
// A block's camera: six animatable variables, or a link to a camera of the block's camera scene
// whose values and track take precedence. Always held through a shared pointer.

#include <cstdint>
#include <memory>
#include <string>

#include "text/serial_value.h"
#include "variables/variable.h"

namespace e3d {
class camera_t;
}

class block_camera_t {
 public:
  // Id from the process-wide counter, name "Camera %d", the six variables with their defaults.
  void init_defaults();
  // The table's name, id and six variables; a missing variable table gives an empty variable.
  bool load(const serial::value_t& table);
  void save(serial::value_t& table) const;

  // The animated value at t while the engine runs, the current value otherwise.
  static typed_value_t value_at(const variable_t& variable, float t);

  // t is block-local time.
  float3 get_pos(float t) const;
  float3 get_dir(float t) const;
  float3 get_up(float t) const;
  float get_fov(float t) const;
  float get_near_plane(float t) const;
  float get_far_plane(float t) const;

  // Both at time 0; the projection uses the back buffer's aspect ratio.
  float4x4 get_view_matrix() const;
  float4x4 get_projection_matrix() const;

  variable_ptr_t pos;
  variable_ptr_t dir;
  variable_ptr_t up;
  variable_ptr_t fov;
  variable_ptr_t near_plane;
  variable_ptr_t far_plane;
  std::string name;
  int32_t id = 0;
  const e3d::camera_t* scene_camera = nullptr;  // owned by the block's scene
};

using camera_ptr_t = std::shared_ptr<block_camera_t>;

// The next id init_defaults hands out; tests reset it.
int32_t& camera_id_counter();

struct camera_span_t {
  float end = 0.0f;  // block-local seconds; a span starts where the previous one ends
  camera_ptr_t camera;
};
