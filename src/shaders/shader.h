#pragma once
// One version of one shader stage: the Direct3D object made from cached bytecode, its reflected
// constant buffers, resource slots, samplers and outputs, the variables that feed its constants,
// and its load state. The shader manager makes every version; its compile task fills it on a
// worker thread and then signals done_event. Until then its holders read nothing but `state`.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "graphics/shader_objects.h"
#include "shaders/shader_cbuffer.h"
#include "shaders/shader_request.h"
#include "variables/variable.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/d3d11_shader.h"
#include "platform/win32/types.h"
#include "support/paths.h"

struct texture_t;
class variable_registry_t;

constexpr int SHADER_SLOT_COUNT = 8;

// A reflected binding: a sampler, or what a resource slot holds.
struct shader_binding_t {
  std::string name;
  int32_t input_type = 0;  // D3D_SHADER_INPUT_TYPE
  int32_t bind_point = 0;
  int32_t flags = 0;
};

struct shader_resource_slot_t {
  int32_t input_type = 0;
  std::string name;
  shader_binding_t binding;
  std::string binding_name;
  std::string display_name;
  ID3D11ShaderResourceView* srv = nullptr;   // not owned
  ID3D11UnorderedAccessView* uav = nullptr;  // not owned
  int32_t uav_initial_count = -1;            // -1 keeps the current counter
  std::string sys_name;
  std::string file_name;
  // The metadata's file or system texture, owned by the texture manager. A changed file is loaded
  // again into the same object with a new view, so its view is read at every bind, never kept.
  texture_t* texture = nullptr;
  // The shader reads a texture or buffer here, so the slot needs a view before the shader is ready.
  bool needs_texture = false;

  // What a draw binds: the view a pass or block put here, else the metadata texture's current one.
  ID3D11ShaderResourceView* view() const;
};

struct shader_output_slot_t {
  // The signature parameter; its name pointer is not kept.
  D3D11_SIGNATURE_PARAMETER_DESC parameter{};
  std::string name;
  int32_t kind = 0;  // 0 a signature output, 9 an append buffer
  int32_t bind_point = 0;
  int32_t flags = 0;
  std::string format_name;
  int32_t format = 0;  // render-target type
  bool used = false;
};

struct shader_t : shader_objects_t {
  shader_t(int32_t stage, const path_info_t& path, const std::string& entry_point);
  ~shader_t();
  shader_t(const shader_t&) = delete;
  shader_t& operator=(const shader_t&) = delete;

  // A separate shader that shares the Direct3D objects and has its own constant buffers and
  // variables; its id is -1, so render passes never switch it to another version.
  std::shared_ptr<shader_t> clone() const;

  void bind_resources();
  void unbind_resources();
  // Binds the variables once, then fills, uploads and binds every constant buffer.
  void update_constants();
  void bind_variables();
  void collect_variables(variable_registry_t& registry);
  // Ready, and every slot that needs a texture has a view.
  bool is_ready() const;

  cb_entry_t* find_cb_entry(const std::string& cbuffer_name, const std::string& entry_name);
  // False when the entry does not exist or has no variable yet (variables are made at the first bind).
  bool set_cb_value(const std::string& cbuffer_name, const std::string& entry_name, const typed_value_t& value);
  // For external entries: the block supplies the variable.
  bool bind_cb_variable(const std::string& cbuffer_name, const std::string& entry_name,
                        const variable_ptr_t& variable);
  // A buffer the block fills on the GPU (a count buffer that CopyStructureCount writes) takes the
  // constant-buffer register: it is bound as it is and never written, and its entries get no
  // variables. False when the shader reads no constant buffer there.
  bool set_constant_buffer(int slot, const std::shared_ptr<constant_buffer_t>& buffer);

  // This newer version goes on with what its pass and block gave `held`, the version drawn so far:
  // the views and buffers in its slots, the variables restored from the project, and the variables,
  // values and constant buffers the block supplied. Entries and buffers are matched by name.
  void take_over(const shader_t& held);

  int32_t stage = 0;
  path_info_t path;
  std::string entry_point;
  std::vector<uint32_t> vs_layout;
  // By register; registers without a buffer hold null.
  std::vector<std::unique_ptr<cbuffer_t>> cbuffers;
  std::array<shader_resource_slot_t, SHADER_SLOT_COUNT> resources;
  std::vector<shader_binding_t> samplers;
  std::array<shader_output_slot_t, SHADER_SLOT_COUNT> outputs;
  std::unordered_map<std::string, int32_t> buffer_strides;
  // "<buffer>:<entry>" -> the entry's variable; may hold restored variables before the first bind.
  std::unordered_map<std::string, variable_ptr_t> variables;
  bool variables_bound = false;
  // The keys of `variables` that came from the project rather than from the metadata defaults.
  std::unordered_set<std::string> restored_keys;
  int32_t id = -1;
  int32_t version = 0;
  HANDLE done_event = nullptr;
  bool changed = false;
};

using shader_ptr_t = std::shared_ptr<shader_t>;
