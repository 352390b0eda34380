// The engine values that constant-buffer entries flagged sys receive, by their sys_name.
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

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

struct named_value_t {
  const char* sys_name;
  system_value_t value;
  const char* variable_name;
};

constexpr named_value_t named_values[] = {
    {"time", system_value_t::float4_variable, "system::time"},
    {"cam-pos", system_value_t::float3_variable, "system::cam-pos"},
    {"cam-dir", system_value_t::float3_variable, "system::cam-dir"},
    {"cam-lookAt", system_value_t::look_at, "system::cam-pos"},
    {"cam-up", system_value_t::float3_variable, "system::cam-up"},
    {"cam-fov", system_value_t::float_variable, "system::cam-fov"},
    {"cam-near-plane", system_value_t::float_variable, "system::cam-near-plane"},
    {"cam-far-plane", system_value_t::float_variable, "system::cam-far-plane"},
    {"view", system_value_t::matrix, "system::view"},
    {"viewInv", system_value_t::inverse_matrix, "system::view"},
    {"viewProj", system_value_t::matrix, "system::viewProj"},
    {"viewProjInv", system_value_t::inverse_matrix, "system::viewProj"},
    {"proj", system_value_t::matrix, "system::proj"},
    {"projInv", system_value_t::inverse_matrix, "system::proj"},
    {"active-cam", system_value_t::int_variable, "system::active-cam"},
};
constexpr size_t named_value_count = sizeof(named_values) / sizeof(named_values[0]);

// The variables' names as strings made once, so that asking for a variable allocates nothing.
const std::string& variable_name_of(size_t index) {
  static const auto names = [] {
    std::vector<std::string> result;
    for (const named_value_t& named : named_values) result.emplace_back(named.variable_name);
    return result;
  }();
  return names[index];
}

const std::string& camera_direction_name() {
  static const std::string name = "system::cam-dir";
  return name;
}

bool ends_with(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void cb_entry_t::resolve_system_value() {
  resolved_sys_name = sys_name;
  system_variable_name = nullptr;
  variable.reset();
  second_variable.reset();
  system_slot = 0;
  system_value = system_value_t::engine_variable;
  for (size_t i = 0; i < named_value_count; ++i) {
    if (sys_name != named_values[i].sys_name) continue;
    system_value = named_values[i].value;
    system_variable_name = &variable_name_of(i);
    return;
  }
  int index = 0;
  if (std::sscanf(sys_name.c_str(), "rt%d", &index) == 1) {
    system_value = system_value_t::target_size;
  } else if (std::sscanf(sys_name.c_str(), "srv%d", &index) == 1) {
    system_value = ends_with(sys_name, "_rcp4") ? system_value_t::resource_size_rcp : system_value_t::resource_size;
  }
  system_slot = index;
}

void cb_entry_t::resolve_system_variables() {
  if (!variable) variable = find_engine_variable(system_variable_name ? *system_variable_name : sys_name);
  if (system_value == system_value_t::look_at && !second_variable)
    second_variable = find_engine_variable(camera_direction_name());
}

void cb_entry_t::write_system_value(uint8_t* staging, size_t size) {
  auto put = [&](const void* data, size_t bytes) {
    if (offset < 0 || static_cast<size_t>(offset) + bytes > size) return;
    std::memcpy(staging + offset, data, bytes);
  };
  auto put_value = [&]<typename value_type>() {
    if (const value_type* v = value_of<value_type>(variable)) put(v, sizeof(value_type));
  };

  if (system_value == system_value_t::unresolved || sys_name != resolved_sys_name) resolve_system_value();
  const int index = system_slot;
  switch (system_value) {
    case system_value_t::target_size: {
      const float2 extent = index >= 0 && index < RUNTIME_SLOT_COUNT ? S(runtime)->get_render_target_size(index) : float2{};
      return put(&extent, sizeof(extent));
    }
    case system_value_t::resource_size:
    case system_value_t::resource_size_rcp: {
      const bool bound = index >= 0 && index < RUNTIME_SLOT_COUNT && S(runtime)->has_shader_resource(index);
      const float2 extent = bound ? S(runtime)->get_shader_resource_size(index) : float2{};
      if (system_value == system_value_t::resource_size) return put(&extent, sizeof(extent));
      float4 reciprocal{};
      if (bound && extent.x != 0.0f && extent.y != 0.0f) reciprocal = {1.0f / extent.x, 1.0f / extent.y, 0.0f, 0.0f};
      return put(&reciprocal, sizeof(reciprocal));
    }
    default:
      break;
  }

  resolve_system_variables();
  switch (system_value) {
    case system_value_t::float4_variable:
      return put_value.operator()<float4>();
    case system_value_t::float3_variable:
      return put_value.operator()<float3>();
    case system_value_t::float_variable:
      return put_value.operator()<float>();
    case system_value_t::int_variable:
      return put_value.operator()<int32_t>();
    case system_value_t::look_at: {
      const float3* p = value_of<float3>(variable);
      const float3* d = value_of<float3>(second_variable);
      if (!p || !d) return;
      const float3 look_at{p->x + d->x, p->y + d->y, p->z + d->z};
      return put(&look_at, sizeof(look_at));
    }
    case system_value_t::matrix:
    case system_value_t::inverse_matrix: {
      const float4x4* matrix = value_of<float4x4>(variable);
      if (!matrix) return;
      const float4x4 columns =
          mat4_transpose(system_value == system_value_t::inverse_matrix ? mat4_inverse(*matrix) : *matrix);
      return put(&columns, sizeof(columns));
    }
    case system_value_t::engine_variable:
      if (!variable || offset < 0 || static_cast<size_t>(offset) + packed_value_size(variable->type) > size) return;
      pack_variable_value(*variable, staging + offset);
      return;
    default:
      return;
  }
}
