#pragma once
// Vertex, geometry, pixel and compute shaders: SPIR-V translated to GLSL on the calling thread,
// compiled into one separable GL program on the context thread the first time a draw or dispatch
// uses it, as a D3D driver finishes its shaders: a shader never drawn with costs neither the GL
// compile nor the memory the compiled program keeps. The translation's binding lists tell the
// context which D3D slots the program reads.

#include "platform/d3d11/device_child.h"
#include "platform/d3d11/spirv_translate.h"

// What every shader kind shares.
struct shader_core_t {
  translated_shader_t reflection;
  uint32_t written_targets = 0;  // pixel shaders: bit N set when the shader writes SV_TargetN

  // Context thread: the GL program, compiled on the first call; 0 when the GL compile failed.
  GLuint gl_program();
  // 0 until compiled, and when the compile failed.
  GLuint compiled_program() const { return program_; }
  void destroy_gl();

 private:
  GLuint program_ = 0;
  bool compiled_ = false;
};

template <class Interface>
class d3d11_shader_t final : public device_child_t<Interface> {
 public:
  d3d11_shader_t(d3d11_device_t* device, translated_shader_t reflection) : device_child_t<Interface>(device) {
    core_.reflection = std::move(reflection);
    for (const translated_varying_t& output : core_.reflection.outputs)
      if (output.semantic == "SV_TARGET" && output.semantic_index < 8)
        core_.written_targets |= 1u << output.semantic_index;
  }
  shader_core_t& core() { return core_; }

 private:
  void destroy_gl() override;
  shader_core_t core_;
};

using d3d11_vertex_shader_t = d3d11_shader_t<ID3D11VertexShader>;
using d3d11_geometry_shader_t = d3d11_shader_t<ID3D11GeometryShader>;
using d3d11_pixel_shader_t = d3d11_shader_t<ID3D11PixelShader>;
using d3d11_compute_shader_t = d3d11_shader_t<ID3D11ComputeShader>;

// Translates on the calling thread; empty or invalid bytecode gives E_INVALIDARG and a log line.
template <class Interface>
HRESULT create_shader(d3d11_device_t* device, const void* code, size_t size, spirv_stage_t stage,
                      Interface** shader);

template <class Interface>
shader_core_t* shader_core_of(Interface* shader) {
  return shader ? &static_cast<d3d11_shader_t<Interface>*>(shader)->core() : nullptr;
}
