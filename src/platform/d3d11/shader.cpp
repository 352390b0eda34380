#include "platform/d3d11/shader.h"

#include <string>

#include "platform/win32/debugger.h"

namespace {

GLenum gl_stage(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return GL_VERTEX_SHADER;
    case spirv_stage_t::geometry:
      return GL_GEOMETRY_SHADER;
    case spirv_stage_t::pixel:
      return GL_FRAGMENT_SHADER;
    default:
      return GL_COMPUTE_SHADER;
  }
}

// Compile and link results are checked in this one place.
GLuint compile_program(spirv_stage_t stage, const std::string& source) {
  const char* text = source.c_str();
  GLuint program = glCreateShaderProgramv(gl_stage(stage), 1, &text);
  GLint linked = GL_FALSE;
  if (program) glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked == GL_TRUE) return program;
  std::string log(4096, '\0');
  GLsizei length = 0;
  if (program) glGetProgramInfoLog(program, GLsizei(log.size()), &length, log.data());
  log.resize(length);
  PLATFORM_LOG_ERR("GL program of stage %d failed: %s", int(stage), log.c_str());
  if (program) glDeleteProgram(program);
  return 0;
}

}  // namespace

GLuint shader_core_t::gl_program() {
  if (!compiled_) {
    compiled_ = true;
    program_ = compile_program(reflection.stage, reflection.glsl);
  }
  return program_;
}

void shader_core_t::destroy_gl() {
  if (program_) glDeleteProgram(program_);
  program_ = 0;
}

template <class Interface>
void d3d11_shader_t<Interface>::destroy_gl() {
  if (const GLuint program = core_.compiled_program()) this->device()->cache().forget_program(program);
  core_.destroy_gl();
}

template <class Interface>
HRESULT create_shader(d3d11_device_t* device, const void* code, size_t size, spirv_stage_t stage,
                      Interface** shader) {
  if (!code || size == 0) return E_INVALIDARG;
  auto translated = translate_spirv(code, size, stage);
  if (!translated) {
    PLATFORM_LOG_DBG("Shader translation failed: %s", translated.error().c_str());
    return E_INVALIDARG;
  }
  if (!shader) return S_FALSE;
  *shader = new d3d11_shader_t<Interface>(device, std::move(*translated));
  return S_OK;
}

template class d3d11_shader_t<ID3D11VertexShader>;
template class d3d11_shader_t<ID3D11GeometryShader>;
template class d3d11_shader_t<ID3D11PixelShader>;
template class d3d11_shader_t<ID3D11ComputeShader>;
template HRESULT create_shader(d3d11_device_t*, const void*, size_t, spirv_stage_t, ID3D11VertexShader**);
template HRESULT create_shader(d3d11_device_t*, const void*, size_t, spirv_stage_t, ID3D11GeometryShader**);
template HRESULT create_shader(d3d11_device_t*, const void*, size_t, spirv_stage_t, ID3D11PixelShader**);
template HRESULT create_shader(d3d11_device_t*, const void*, size_t, spirv_stage_t, ID3D11ComputeShader**);
