// Shader bytecode of any bytes as each of the four stages: the translation refuses it or gives GLSL
// whose registers all lie within the device's slots.
#include <cstddef>
#include <cstdint>

#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/spirv_translate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (spirv_stage_t stage :
       {spirv_stage_t::vertex, spirv_stage_t::geometry, spirv_stage_t::pixel, spirv_stage_t::compute}) {
    auto translated = translate_spirv(data, size, stage);
    if (!translated) continue;
    if (translated->glsl.empty()) __builtin_trap();
    for (const auto& buffer : translated->constant_buffers)
      if (buffer.slot >= D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT) __builtin_trap();
    for (const auto& texture : translated->textures)
      if (texture.texture_slot >= D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT ||
          texture.sampler_slot >= int32_t(D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT))
        __builtin_trap();
    for (const auto& buffer : translated->storage_buffers)
      if (buffer.writable ? buffer.slot >= D3D11_1_UAV_SLOT_COUNT
                          : buffer.slot >= D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT)
        __builtin_trap();
    for (const auto& image : translated->storage_images)
      if (image.slot >= D3D11_1_UAV_SLOT_COUNT) __builtin_trap();
  }
  return 0;
}
