// The block's texture inputs following a shader's resource slots.
#include "engine/block_base.h"
#include "shaders/shader.h"

void block_base_t::sync_bound_inputs(const shader_t& shader) {
  for (size_t slot = 0; slot < shader.resources.size(); ++slot) {
    const shader_resource_slot_t& resource = shader.resources[slot];
    if (!resource.needs_texture) continue;
    int32_t bind_point = resource.binding.bind_point;
    size_t n = bind_point >= 0 && bind_point < SHADER_SLOT_COUNT ? static_cast<size_t>(bind_point) : slot;
    if (n >= bound_inputs.size()) bound_inputs.resize(n + 1);
    bound_input_t& input = bound_inputs[n];
    if (input.type != BOUND_INPUT_NONE && input.type != BOUND_INPUT_UNRESOLVED) continue;
    input = bound_input_t{};
    input.display_name = resource.display_name;
    if (!resource.file_name.empty()) {
      input.type = BOUND_INPUT_TEXTURE;
      input.texture_path = resource.file_name;
    } else if (!resource.sys_name.empty()) {
      input.type = BOUND_INPUT_SYSTEM;
      input.system_texture = resource.sys_name;
    } else {
      input.type = BOUND_INPUT_UNRESOLVED;
    }
  }
}
