#pragma once
// ID3D11BlendState: per-target GL blend values. Without independent blending every target takes
// target 0's entry, which the normalised description already repeats.

#include "platform/d3d11/device_child.h"

struct gl_blend_target_t {
  bool enable = false;
  GLenum src = GL_ONE, dst = GL_ZERO, op = GL_FUNC_ADD;
  GLenum src_alpha = GL_ONE, dst_alpha = GL_ZERO, op_alpha = GL_FUNC_ADD;
  uint8_t mask = 0xF;
};

struct gl_blend_t {
  bool alpha_to_coverage = false;
  gl_blend_target_t targets[8];
};

class d3d11_blend_state_t final : public device_child_t<ID3D11BlendState> {
 public:
  static HRESULT create(d3d11_device_t* device, const D3D11_BLEND_DESC& desc, ID3D11BlendState** state);
  d3d11_blend_state_t(d3d11_device_t* device, const D3D11_BLEND_DESC& desc);

  void GetDesc(D3D11_BLEND_DESC* desc) override { *desc = desc_; }
  bool same_desc(const D3D11_BLEND_DESC& desc) const;
  const gl_blend_t& gl() const { return gl_; }
  static const gl_blend_t& defaults();

 private:
  void on_last_release() override;
  D3D11_BLEND_DESC desc_;
  gl_blend_t gl_;
};
