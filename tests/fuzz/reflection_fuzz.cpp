// Reflection blobs of any shape: the reader never fails, and every name it hands out is one of
// its stored strings.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shaders/cached_reflection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cached_reflection_t reflection;
  if (!reflection.load(data, size)) __builtin_trap();
  D3D11_SHADER_DESC desc{};
  reflection.get_desc(&desc);
  if (std::strlen(desc.Creator) > size) __builtin_trap();
  for (uint32_t i = 0;; ++i) {
    D3D11_SHADER_INPUT_BIND_DESC bind{};
    if (reflection.get_resource_binding_desc(i, &bind) != S_OK) break;
    if (bind.Name != reflection.bound_resources[i].name.c_str()) __builtin_trap();
  }
  for (uint32_t i = 0; i < reflection.constant_buffers.size(); ++i) {
    reflection.select_constant_buffer(i);
    D3D11_SHADER_BUFFER_DESC buffer{};
    if (reflection.get_constant_buffer_desc(&buffer) != S_OK) __builtin_trap();
    for (uint32_t j = 0; j < reflection.constant_buffers[i].variables.size(); ++j) {
      reflection.select_variable(j);
      D3D11_SHADER_VARIABLE_DESC variable{};
      D3D11_SHADER_TYPE_DESC type{};
      if (reflection.get_variable_desc(&variable) != S_OK || reflection.get_variable_type_desc(&type) != S_OK)
        __builtin_trap();
      if (std::strlen(variable.Name) + std::strlen(type.Name) > size) __builtin_trap();
    }
  }
  return 0;
}
