#pragma once
// ID3D11DepthStencilState as GL values.

#include "platform/d3d11/device_child.h"

struct gl_stencil_face_t {
  GLenum fail = GL_KEEP, depth_fail = GL_KEEP, pass = GL_KEEP, func = GL_ALWAYS;
};

struct gl_depth_stencil_t {
  bool depth_test = true;
  bool depth_write = true;
  GLenum depth_func = GL_LESS;
  bool stencil = false;
  uint8_t read_mask = 0xFF, write_mask = 0xFF;
  gl_stencil_face_t front, back;
};

class d3d11_depth_stencil_state_t final : public device_child_t<ID3D11DepthStencilState> {
 public:
  static HRESULT create(d3d11_device_t* device, const D3D11_DEPTH_STENCIL_DESC& desc,
                        ID3D11DepthStencilState** state);
  d3d11_depth_stencil_state_t(d3d11_device_t* device, const D3D11_DEPTH_STENCIL_DESC& desc);

  void GetDesc(D3D11_DEPTH_STENCIL_DESC* desc) override { *desc = desc_; }
  bool same_desc(const D3D11_DEPTH_STENCIL_DESC& desc) const;
  const gl_depth_stencil_t& gl() const { return gl_; }
  static const gl_depth_stencil_t& defaults();

 private:
  void on_last_release() override;
  D3D11_DEPTH_STENCIL_DESC desc_;
  gl_depth_stencil_t gl_;
};

// D3D11_COMPARISON_FUNC as GL; 0 for values outside the enumeration.
GLenum gl_comparison(D3D11_COMPARISON_FUNC func);
