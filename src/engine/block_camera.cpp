#include "engine/block_camera.h"

#include <fmt/printf.h>

#include "engine/e3d.h"
#include "engine/engine.h"
#include "graphics/graphics_system.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"
#include "support/systems.h"

namespace {

constexpr float default_fov = 1.0471976f;  // pi / 3
constexpr float3 default_pos = {0, 0, -20};
constexpr float3 default_dir = {0, 0, 1};
constexpr float3 default_up = {0, 1, 0};
constexpr float default_near = 0.1f;
constexpr float default_far = 1000.0f;
constexpr int32_t ranged = VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX;
constexpr int32_t direction_flag = 0x40;

// A variable of another type than its getter needs (a table gave it one) reads as the default.
float3 as_float3(const typed_value_t& value, float3 fallback) {
  const float3* v = std::get_if<float3>(&value);
  return v ? *v : fallback;
}
float as_float(const typed_value_t& value, float fallback) {
  const float* v = std::get_if<float>(&value);
  return v ? *v : fallback;
}

float3 sample(const variable_ptr_t& variable, float t, float3 fallback) {
  return variable ? as_float3(block_camera_t::value_at(*variable, t), fallback) : fallback;
}
float sample(const variable_ptr_t& variable, float t, float fallback) {
  return variable ? as_float(block_camera_t::value_at(*variable, t), fallback) : fallback;
}

float3x3 scene_rotation(const e3d::camera_t& camera, float t) {
  return camera.track ? camera.track->sample_rotation(t) : camera.rotation;
}

}  // namespace

int32_t& camera_id_counter() {
  static int32_t counter = 1;
  return counter;
}

void block_camera_t::init_defaults() {
  // A table may have raised the counter to the largest id; later cameras share it rather than wrap.
  id = camera_id_counter();
  if (camera_id_counter() < INT32_MAX) ++camera_id_counter();
  name = fmt::sprintf("Camera %d", id);
  pos = construct_variable("pos", VT_FLOAT3, default_pos);
  dir = construct_ranged_variable("dir", VT_FLOAT3, default_dir, -1.0f, 1.0f, direction_flag | ranged);
  up = construct_ranged_variable("up", VT_FLOAT3, default_up, -1.0f, 1.0f, direction_flag | ranged);
  fov = construct_ranged_variable("fov", VT_FLOAT, default_fov, 0.1f, 1.5707963f, ranged);
  near_plane = construct_ranged_variable("near plane", VT_FLOAT, default_near, 0.1f, 100.0f, ranged);
  far_plane = construct_ranged_variable("far plane", VT_FLOAT, default_far, 500.0f, 5000.0f, ranged);
}

bool block_camera_t::load(const serial::value_t& table) {
  name = table.get_string("name", "");
  id = table.get_int("id", -1);
  if (table.get_any("id", {serial::value_kind_t::int_, serial::value_kind_t::float_}).valid &&
      camera_id_counter() <= id) {
    camera_id_counter() = id < INT32_MAX ? id + 1 : INT32_MAX;
  }
  pos = load_variable_at(table, "pos");
  dir = load_variable_at(table, "dir");
  up = load_variable_at(table, "up");
  fov = load_variable_at(table, "fov");
  near_plane = load_variable_at(table, "near-plane");
  far_plane = load_variable_at(table, "far-plane");
  return true;
}

void block_camera_t::save(serial::value_t& table) const {
  table.add_string("name", name);
  table.add("id", serial::value_kind_t::int_)->payload.i[0] = id;
  const std::pair<const char*, const variable_ptr_t*> members[] = {{"pos", &pos},
                                                                   {"dir", &dir},
                                                                   {"up", &up},
                                                                   {"fov", &fov},
                                                                   {"near-plane", &near_plane},
                                                                   {"far-plane", &far_plane}};
  for (const auto& [key, variable] : members) {
    if (*variable) save_variable(*table.add(key, serial::value_kind_t::table), **variable);
  }
}

typed_value_t block_camera_t::value_at(const variable_t& variable, float t) {
  engine_t* engine = current_engine();
  if (engine && engine->is_running()) return variable_value_at(variable, t);
  return variable.value.value;
}

float3 block_camera_t::get_pos(float t) const {
  if (scene_camera)
    return scene_camera->track ? scene_camera->track->sample_position(t) : scene_camera->position;
  return sample(pos, t, default_pos);
}

float3 block_camera_t::get_dir(float t) const {
  if (scene_camera) {
    float3x3 m = scene_rotation(*scene_camera, t);
    return {m.m[2][0], m.m[2][1], m.m[2][2]};
  }
  return sample(dir, t, default_dir);
}

float3 block_camera_t::get_up(float t) const {
  if (scene_camera) {
    float3x3 m = scene_rotation(*scene_camera, t);
    return {m.m[1][0], m.m[1][1], m.m[1][2]};
  }
  return sample(up, t, default_up);
}

float block_camera_t::get_fov(float t) const {
  return scene_camera ? scene_camera->fov : sample(fov, t, default_fov);
}

float block_camera_t::get_near_plane(float t) const {
  return scene_camera ? scene_camera->near_plane : sample(near_plane, t, default_near);
}

float block_camera_t::get_far_plane(float t) const {
  return scene_camera ? scene_camera->far_plane : sample(far_plane, t, default_far);
}

float4x4 block_camera_t::get_view_matrix() const {
  float3 eye = get_pos(0.0f);
  return look_at_lh(eye, vec3_add(eye, get_dir(0.0f)), get_up(0.0f));
}

float4x4 block_camera_t::get_projection_matrix() const {
  float aspect = g_systems && S(gsys) ? S(gsys)->get_aspect_ratio() : 16.0f / 9.0f;
  return perspective_fov_lh(get_fov(0.0f), aspect, get_near_plane(0.0f), get_far_plane(0.0f));
}
