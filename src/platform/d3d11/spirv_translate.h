#pragma once
// Turns one stage's SPIR-V (made from HLSL by the content build) into GLSL 450 core for a separable GL
// program, and reports how the shader's D3D registers map onto GL binding points.
//
// Binding scheme (stage index s: vertex 0, geometry 1, pixel 2, compute 3):
//   b#                 -> uniform block binding        s * 16 + b#
//   (t#, s#) pair k    -> texture unit                 s * 32 + k
//   t# buffer SRV      -> shader storage binding       16 + s * 16 + t#
//   u# storage buffer  -> shader storage binding       u#
//   u# hidden counter  -> shader storage binding       8 + u#
//   u# storage image   -> image unit                   u#
// Stage inputs and outputs get their locations from one semantic table shared by all stages, so a
// vertex shader's outputs meet the pixel shader's inputs; SV_TargetN is location N.
//
// Buffer layouts the content build produces (glslang from HLSL), which GL then reads:
//   cbuffers: D3D packing, kept std140-compatible by the content (float3/float4 and matrices on
//     16-byte boundaries, float2 on 8, padding with scalars); the build refuses anything else.
//   structured buffers (measured): an element of scalars only is tight (7 floats: stride 28, as
//     D3D); a float3 takes the 4 bytes after it for a scalar (float3 then float: 0 and 12); a float4
//     or a float3 starts on 16 and any element holding one rounds its stride up to 16 (float3 then
//     float4: 0, 16, stride 32 where D3D has 28). {float a; float3 b;} puts b at 4, which GL's
//     std430 cannot express: keep float3 and float4 members on 16-byte boundaries, and size a
//     buffer from the stride the reflection reports rather than from the D3D size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

enum class spirv_stage_t : uint32_t { vertex = 0, geometry = 1, pixel = 2, compute = 3 };

// A cbuffer: register b# and its GL uniform block.
struct translated_constant_buffer_t {
  std::string name;
  uint32_t slot = 0;        // b#
  uint32_t gl_binding = 0;  // stage * 16 + b#
  uint32_t size = 0;        // declared block size in bytes
};

// One combined image sampler of the GLSL: the texture t# read through sampler s# (or through no
// sampler at all, for Load and GetDimensions; the device then binds any sampler, the GLSL ignores it).
struct translated_texture_t {
  std::string name;           // GLSL name of the combined sampler
  uint32_t texture_slot = 0;  // t#
  int32_t sampler_slot = -1;  // s#, or -1 for the dummy sampler
  uint32_t gl_unit = 0;       // stage * 32 + k
  uint32_t dimension = 0;     // D3D_SRV_DIMENSION value: 1 buffer, 2 1D, 3 1D array, 4 2D, 5 2D array,
                              // 6 2D MS, 7 2D MS array, 8 3D, 9 cube, 10 cube array
  bool shadow = false;        // sampled with a comparison
};

// A structured or byte-address buffer: a t# SRV (read only) or a u# UAV, as a GL storage buffer.
struct translated_storage_buffer_t {
  std::string name;
  uint32_t slot = 0;                // t# or u#
  bool writable = false;            // u# when true
  uint32_t gl_binding = 0;          // SRV: 16 + stage * 16 + t#; UAV: u#
  int32_t counter_gl_binding = -1;  // 8 + u# for append, consume and counter buffers, else -1
  uint32_t stride = 0;              // bytes per element of the runtime array (0 when it has none)
};

// A typed u# UAV (RWTexture*, RWBuffer) as a GL image unit.
struct translated_storage_image_t {
  std::string name;
  uint32_t slot = 0;       // u#
  uint32_t gl_unit = 0;    // u#
  uint32_t dimension = 0;  // D3D_SRV_DIMENSION value, as for textures
  uint32_t gl_format = 0;  // GL internal format of the image declaration, e.g. GL_R32UI
};

// A stage input or output with its HLSL semantic.
struct translated_varying_t {
  std::string semantic;         // upper case, without the index: "TEXCOORD", "SV_POSITION", "SV_TARGET"
  uint32_t semantic_index = 0;  // "COLOR" is "COLOR0": index 0
  int32_t location = -1;        // GL location; -1 for system values that are GL built-ins
  uint32_t component_type = 0;  // D3D_REGISTER_COMPONENT_TYPE: 1 uint32, 2 sint32, 3 float32
  uint32_t components = 0;      // 1 to 4 (a matrix input counts its row vectors as separate rows)
};

struct translated_shader_t {
  spirv_stage_t stage = spirv_stage_t::vertex;
  std::string glsl;  // "#version 450" core, separate shader objects
  std::vector<translated_constant_buffer_t> constant_buffers;
  std::vector<translated_texture_t> textures;
  std::vector<translated_storage_buffer_t> storage_buffers;
  std::vector<translated_storage_image_t> storage_images;
  std::vector<translated_varying_t> inputs;   // vertex shader: matched to input-layout elements
  std::vector<translated_varying_t> outputs;  // pixel shader: SV_TargetN at location N
};

// Empty, truncated or invalid SPIR-V, a stage that does not match the module's entry point, a
// semantic outside the table or a block GL cannot lay out gives the reason as the error.
tl::expected<translated_shader_t, std::string> translate_spirv(const void* code, size_t size,
                                                               spirv_stage_t stage);

// The shared location of a varying semantic (upper-case name without index), or -1 when the table
// has no place for it. System values that GL provides as built-ins have no location either.
int32_t semantic_location(const std::string& semantic, uint32_t semantic_index);

// Splits "TEXCOORD3" into ("TEXCOORD", 3) and upper-cases; "COLOR" gives ("COLOR", 0).
void split_semantic(const std::string& text, std::string& name, uint32_t& index);
