#pragma once
// Setting a constant of a block's shader by buffer and entry name.

#include <string>

#include "shaders/shader.h"

// An entry gets its variable at the shader's first bind; a block that sets a constant before its
// first draw binds them first, or the value would be lost and the draw use the default.
inline bool set_shader_constant(shader_t* shader, const std::string& cbuffer, const std::string& entry,
                                const typed_value_t& value) {
  if (!shader || shader->state != SHADER_STATE_READY) return false;
  if (!shader->variables_bound) shader->bind_variables();
  return shader->set_cb_value(cbuffer, entry, value);
}
