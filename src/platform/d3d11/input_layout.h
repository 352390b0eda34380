#pragma once
// ID3D11InputLayout: the elements matched by semantic to the vertex shader's inputs, as GL vertex
// attribute formats by location. Creation fails when an input of the shader has no element.

#include <vector>

#include "platform/d3d11/device_child.h"

struct gl_vertex_attribute_t {
  GLuint location = 0;
  GLuint binding = 0;  // input slot
  GLint size = 4;      // components, or GL_BGRA
  GLenum type = GL_FLOAT;
  bool normalized = false;
  bool integer = false;
  GLuint offset = 0;
};

struct gl_vertex_binding_t {
  bool used = false;
  GLuint divisor = 0;  // 0 per vertex, else instances per element
};

class d3d11_input_layout_t final : public device_child_t<ID3D11InputLayout> {
 public:
  static HRESULT create(d3d11_device_t* device, const D3D11_INPUT_ELEMENT_DESC* elements, UINT count,
                        const void* code, size_t size, ID3D11InputLayout** layout);
  d3d11_input_layout_t(d3d11_device_t* device, std::vector<gl_vertex_attribute_t> attributes,
                       const gl_vertex_binding_t (&bindings)[16]);

  const std::vector<gl_vertex_attribute_t>& attributes() const { return attributes_; }
  const gl_vertex_binding_t& binding(int slot) const { return bindings_[slot]; }

 private:
  std::vector<gl_vertex_attribute_t> attributes_;
  gl_vertex_binding_t bindings_[16];
};

inline d3d11_input_layout_t* to_impl(ID3D11InputLayout* layout) {
  return static_cast<d3d11_input_layout_t*>(layout);
}
