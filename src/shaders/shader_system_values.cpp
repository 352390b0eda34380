// The engine values that constant-buffer entries flagged sys receive, by their sys_name.
#include <cstdio>
#include <cstring>

#include "variables/engine_context.h"
#include "graphics/graphics_runtime.h"
#include "shaders/shader_cbuffer.h"
#include "support/systems.h"

namespace {

variable_ptr_t find_engine_variable(const std::string& name) {
  engine_variables_t* engine = engine_context->engine;
  return engine ? engine->find_variable(name) : nullptr;
}

template <typename value_type>
const value_type* value_of(const variable_ptr_t& variable) {
  return variable ? std::get_if<value_type>(&variable->value.value) : nullptr;
}

enum class matrix_form_t { plain, inverse };

struct matrix_value_t {
  const char* sys_name;
  const char* variable_name;
  matrix_form_t form;
};

constexpr matrix_value_t matrix_values[] = {
    {"view", "system::view", matrix_form_t::plain},
    {"viewInv", "system::view", matrix_form_t::inverse},
    {"viewProj", "system::viewProj", matrix_form_t::plain},
    {"viewProjInv", "system::viewProj", matrix_form_t::inverse},
    {"proj", "system::proj", matrix_form_t::plain},
    {"projInv", "system::proj", matrix_form_t::inverse},
};

}  // namespace

void cb_entry_t::resolve_system_variable(const std::string& variable_name) {
  if (!variable) variable = find_engine_variable(variable_name);
}

void cb_entry_t::write_system_value(uint8_t* staging, size_t size) {
  auto put = [&](const void* data, size_t bytes) {
    if (offset < 0 || static_cast<size_t>(offset) + bytes > size) return;
    std::memcpy(staging + offset, data, bytes);
  };
  auto put_named = [&]<typename value_type>(const char* variable_name) {
    resolve_system_variable(variable_name);
    if (const value_type* v = value_of<value_type>(variable)) put(v, sizeof(value_type));
  };

  if (sys_name == "time") return put_named.operator()<float4>("system::time");

  int index = 0;
  if (std::sscanf(sys_name.c_str(), "rt%d", &index) == 1) {
    const float2 extent = index >= 0 && index < RUNTIME_SLOT_COUNT ? S(runtime)->get_render_target_size(index) : float2{};
    return put(&extent, sizeof(extent));
  }
  if (std::sscanf(sys_name.c_str(), "srv%d", &index) == 1) {
    const bool bound = index >= 0 && index < RUNTIME_SLOT_COUNT && S(runtime)->has_shader_resource(index);
    const float2 extent = bound ? S(runtime)->get_shader_resource_size(index) : float2{};
    const std::string_view suffix = "_rcp4";
    if (sys_name.size() >= suffix.size() && sys_name.compare(sys_name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      float4 reciprocal{};
      if (bound && extent.x != 0.0f && extent.y != 0.0f) reciprocal = {1.0f / extent.x, 1.0f / extent.y, 0.0f, 0.0f};
      return put(&reciprocal, sizeof(reciprocal));
    }
    return put(&extent, sizeof(extent));
  }
  if (sys_name == "cam-pos") return put_named.operator()<float3>("system::cam-pos");
  if (sys_name == "cam-dir") return put_named.operator()<float3>("system::cam-dir");
  if (sys_name == "cam-lookAt") {
    const variable_ptr_t position = find_engine_variable("system::cam-pos");
    const variable_ptr_t direction = find_engine_variable("system::cam-dir");
    const float3* p = value_of<float3>(position);
    const float3* d = value_of<float3>(direction);
    if (!p || !d) return;
    const float3 look_at{p->x + d->x, p->y + d->y, p->z + d->z};
    return put(&look_at, sizeof(look_at));
  }
  if (sys_name == "cam-up") return put_named.operator()<float3>("system::cam-up");
  if (sys_name == "cam-fov") return put_named.operator()<float>("system::cam-fov");
  if (sys_name == "cam-near-plane") return put_named.operator()<float>("system::cam-near-plane");
  if (sys_name == "cam-far-plane") return put_named.operator()<float>("system::cam-far-plane");
  for (const matrix_value_t& m : matrix_values) {
    if (sys_name != m.sys_name) continue;
    resolve_system_variable(m.variable_name);
    const float4x4* matrix = value_of<float4x4>(variable);
    if (!matrix) return;
    const float4x4 columns = mat4_transpose(m.form == matrix_form_t::inverse ? mat4_inverse(*matrix) : *matrix);
    return put(&columns, sizeof(columns));
  }
  if (sys_name == "active-cam") return put_named.operator()<int32_t>("system::active-cam");

  const variable_ptr_t other = find_engine_variable(sys_name);
  if (!other || offset < 0 || static_cast<size_t>(offset) + packed_value_size(other->type) > size) return;
  pack_variable_value(*other, staging + offset);
}
