#pragma once
// A shader's constant buffers: each entry is one reflected variable, fed at every bind from its
// animatable variable, a sync track or an engine system value.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/gpu_buffers.h"
#include "variables/variable.h"

enum cb_entry_flag_t : uint32_t {
  CB_FLAG_SYS = 0x1,
  CB_FLAG_VAR = 0x2,
  CB_FLAG_SYNC = 0x4,
  CB_FLAG_RANGE = 0x100,
  CB_FLAG_HIDDEN = 0x1000,
  CB_FLAG_SKIP = 0x2000,
  CB_FLAG_NORMALIZED = 0x4000,
  CB_FLAG_EXTERNAL = 0x8000,
  // What a block supplied, which a newer version of the shader takes over: a variable it bound, or
  // a value it set into the entry's own variable.
  CB_FLAG_BLOCK_VARIABLE = 0x10000,
  CB_FLAG_BLOCK_VALUE = 0x20000,
};

struct sync_track;

// What a sys entry's sys_name names, found once for each name it is given.
enum class system_value_t : uint8_t {
  unresolved,
  float4_variable,  // an engine variable of this type
  float3_variable,
  float_variable,
  int_variable,
  matrix,  // a float4x4 engine variable, transposed for the shader
  inverse_matrix,
  look_at,            // camera position plus direction
  target_size,        // "rt<n>"
  resource_size,      // "srv<n>"
  resource_size_rcp,  // "srv<n>_rcp4"
  engine_variable,    // any other engine variable named sys_name
};

struct cb_entry_t {
  // Writes the system value `sys_name` at `offset` of the staging area of `size` bytes. Values
  // that would not fit are not written. Allocates nothing once the name is resolved.
  void write_system_value(uint8_t* staging, size_t size);

  std::string name;
  std::string var_name;
  std::string sys_name;
  std::string sync_name;
  const sync_track* sync_handle = nullptr;  // found by sync_name on first use
  int32_t offset = 0;
  variable_ptr_t variable;
  uint8_t type = VT_NONE;  // variable_type_t
  typed_value_t default_value;
  typed_value_t min_value;
  typed_value_t max_value;
  uint32_t flags = 0;

  // sys_name as last resolved, what it names, and the engine variables it reads (kept once they
  // exist, asked for again while they do not).
  std::string resolved_sys_name;
  system_value_t system_value = system_value_t::unresolved;
  int32_t system_slot = 0;                           // rt / srv index
  const std::string* system_variable_name = nullptr;  // static storage
  variable_ptr_t second_variable;                     // look_at: the camera direction

 private:
  void resolve_system_value();
  void resolve_system_variables();
};

struct cbuffer_t {
  cb_entry_t* find_entry(const std::string& entry_name);
  // Fills the staging area from the entries, uploads it and binds the buffer to `stages` at `slot`.
  void update();

  std::string name;
  int32_t slot = 0;
  int32_t stages = 0;
  std::vector<cb_entry_t> entries;
  std::shared_ptr<constant_buffer_t> buffer;
  int32_t size = 0;
  // The buffer is the block's own (shader_t::set_constant_buffer), bound as it is.
  bool block_buffer = false;
};
