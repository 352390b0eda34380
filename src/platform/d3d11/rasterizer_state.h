#pragma once
// ID3D11RasterizerState: the description turned into GL values once, applied through the cache.

#include "platform/d3d11/device_child.h"

struct gl_rasterizer_t {
  GLenum polygon_mode = GL_FILL;
  bool cull = true;
  GLenum cull_face = GL_BACK;
  GLenum front_face = GL_CW;
  float offset_factor = 0, offset_units = 0;
  bool depth_clamp = false;
  bool scissor = false;
};

class d3d11_rasterizer_state_t final : public device_child_t<ID3D11RasterizerState> {
 public:
  static HRESULT create(d3d11_device_t* device, const D3D11_RASTERIZER_DESC& desc,
                        ID3D11RasterizerState** state);
  d3d11_rasterizer_state_t(d3d11_device_t* device, const D3D11_RASTERIZER_DESC& desc);

  void GetDesc(D3D11_RASTERIZER_DESC* desc) override { *desc = desc_; }
  bool same_desc(const D3D11_RASTERIZER_DESC& desc) const;
  const gl_rasterizer_t& gl() const { return gl_; }
  // The values of a null state (D3D's defaults).
  static const gl_rasterizer_t& defaults();

 private:
  void on_last_release() override;
  D3D11_RASTERIZER_DESC desc_;
  gl_rasterizer_t gl_;
};
