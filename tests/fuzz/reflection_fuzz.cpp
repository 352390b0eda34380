// Reflection blobs of any shape: the reader keeps what it could read and every name it hands out is
// one of its stored strings; a blob it takes fills a shader's tables within the device's slots.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "shaders/cached_reflection.h"
#include "shaders/shader_compile_task.h"
#include "support/log.h"
#include "support/systems.h"

namespace {

// A shader's tables without a device: constant buffers get no GPU buffer.
struct quiet_systems_t {
  quiet_systems_t() {
    logger::set_current_logger(&logger);
    g_systems = &systems;
  }
  logger::logger_t logger{-1};
  systems_t systems;
};

void check_queries(cached_reflection_t& reflection, size_t size) {
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quiet_systems_t quiet;
  cached_reflection_t reflection;
  const bool whole = reflection.load(data, size).has_value();
  check_queries(reflection, size);
  if (!whole) return 0;

  compile_task_t task(nullptr);
  task.shader = std::make_shared<shader_t>(SHADER_STAGE_PIXEL, path_info_t("shaders/fuzz.hlsl"), "Main");
  const bool applied = task.apply_reflection(reflection).has_value();
  const shader_t& shader = *task.shader;
  for (const shader_binding_t& sampler : shader.samplers)
    if (sampler.bind_point < 0 || sampler.bind_point >= int32_t(D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT))
      __builtin_trap();
  if (shader.cbuffers.size() > D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT) __builtin_trap();
  (void)applied;
  return 0;
}
