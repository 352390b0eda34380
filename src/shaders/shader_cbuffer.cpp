#include "shaders/shader_cbuffer.h"

#include <cmath>
#include <cstring>

#include "variables/engine_context.h"
#include "graphics/graphics_runtime.h"
#include "media/rocket_manager.h"
#include "support/systems.h"

namespace {

// The largest constant buffer Direct3D 11 allows: 4096 float4 registers.
constexpr size_t max_cbuffer_size = 4096 * 16;

void write_normalized(const cb_entry_t& entry, uint8_t* at) {
  const typed_value_t& value = entry.variable->value.value;
  switch (entry.type) {
    case VT_FLOAT2: {
      float2 v = std::holds_alternative<float2>(value) ? std::get<float2>(value) : float2{};
      const float length = std::sqrt(v.x * v.x + v.y * v.y);
      v = length == 0.0f ? float2{} : float2{v.x / length, v.y / length};
      std::memcpy(at, &v, sizeof(v));
      break;
    }
    case VT_FLOAT3: {
      const float3 v = std::holds_alternative<float3>(value) ? std::get<float3>(value) : float3{};
      const float3 n = vec3_normalize(v);
      std::memcpy(at, &n, sizeof(n));
      break;
    }
    case VT_FLOAT4: {
      float4 v = std::holds_alternative<float4>(value) ? std::get<float4>(value) : float4{};
      const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z + v.w * v.w);
      if (length > 1e-7f) {
        const float inverse = 1.0f / length;
        v = {v.x * inverse, v.y * inverse, v.z * inverse, v.w * inverse};
      } else {
        v = {};
      }
      std::memcpy(at, &v, sizeof(v));
      break;
    }
    default:
      break;
  }
}

}  // namespace

cb_entry_t* cbuffer_t::find_entry(const std::string& entry_name) {
  for (cb_entry_t& entry : entries)
    if (entry.name == entry_name) return &entry;
  return nullptr;
}

void cbuffer_t::update() {
  if (!buffer) return;
  alignas(16) uint8_t staging[max_cbuffer_size];
  const size_t staged = std::min(max_cbuffer_size, (static_cast<size_t>(std::max(size, 0)) + 15) & ~size_t(15));
  std::memset(staging, 0, staged);
  for (cb_entry_t& entry : entries) {
    if (entry.offset < 0) continue;
    const size_t offset = static_cast<size_t>(entry.offset);
    if (entry.flags & CB_FLAG_SKIP) continue;
    if ((entry.flags & CB_FLAG_VAR) && (entry.flags & CB_FLAG_SYNC)) {
      if (entry.type != VT_FLOAT || offset + sizeof(float) > staged) continue;
      rocket_manager_t* rocket = engine_context->rocket_manager;
      if (rocket && !entry.sync_handle) entry.sync_handle = rocket->find_track(entry.sync_name);
      const float value = rocket ? rocket->get_value(entry.sync_handle) : 0.0f;
      std::memcpy(staging + offset, &value, sizeof(value));
    } else if (entry.flags & CB_FLAG_VAR) {
      if (!entry.variable) continue;
      if (entry.flags & CB_FLAG_NORMALIZED) {
        if (offset + packed_value_size(variable_type_t(entry.type)) <= staged) write_normalized(entry, staging + offset);
        continue;
      }
      // A restored variable may have another type than its entry: it must not write past the area.
      if (offset + packed_value_size(entry.variable->type) > staged) continue;
      pack_variable_value(*entry.variable, staging + offset);
    } else if (entry.flags & CB_FLAG_SYS) {
      entry.write_system_value(staging, staged);
    }
  }
  buffer->update(staging);
  S(runtime)->set_constant_buffer(stages, slot, buffer.get());
}
