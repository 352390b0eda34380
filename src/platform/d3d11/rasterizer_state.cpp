#include "platform/d3d11/rasterizer_state.h"

#include "platform/d3d11/shared_state.h"

CD3D11_RASTERIZER_DESC::CD3D11_RASTERIZER_DESC(CD3D11_DEFAULT) {
  FillMode = D3D11_FILL_SOLID;
  CullMode = D3D11_CULL_BACK;
  FrontCounterClockwise = FALSE;
  DepthBias = 0;
  DepthBiasClamp = 0;
  SlopeScaledDepthBias = 0;
  DepthClipEnable = TRUE;
  ScissorEnable = FALSE;
  MultisampleEnable = FALSE;
  AntialiasedLineEnable = FALSE;
}

namespace {
gl_rasterizer_t to_gl(const D3D11_RASTERIZER_DESC& d) {
  gl_rasterizer_t g;
  g.polygon_mode = d.FillMode == D3D11_FILL_WIREFRAME ? GL_LINE : GL_FILL;
  g.cull = d.CullMode != D3D11_CULL_NONE;
  g.cull_face = d.CullMode == D3D11_CULL_FRONT ? GL_FRONT : GL_BACK;
  // With the upper-left clip origin, D3D's clockwise front faces are GL's clockwise ones.
  g.front_face = d.FrontCounterClockwise ? GL_CCW : GL_CW;
  g.offset_factor = d.SlopeScaledDepthBias;
  g.offset_units = float(d.DepthBias);
  g.depth_clamp = !d.DepthClipEnable;
  g.scissor = d.ScissorEnable;
  return g;
}
}  // namespace

d3d11_rasterizer_state_t::d3d11_rasterizer_state_t(d3d11_device_t* device, const D3D11_RASTERIZER_DESC& desc)
    : device_child_t(device), desc_(desc), gl_(to_gl(desc)) {}

const gl_rasterizer_t& d3d11_rasterizer_state_t::defaults() {
  static const gl_rasterizer_t values = to_gl(CD3D11_RASTERIZER_DESC(D3D11_DEFAULT));
  return values;
}

HRESULT d3d11_rasterizer_state_t::create(d3d11_device_t* device, const D3D11_RASTERIZER_DESC& desc,
                                         ID3D11RasterizerState** state) {
  if (desc.FillMode != D3D11_FILL_SOLID && desc.FillMode != D3D11_FILL_WIREFRAME) return E_INVALIDARG;
  if (desc.CullMode < D3D11_CULL_NONE || desc.CullMode > D3D11_CULL_BACK) return E_INVALIDARG;
  if (!state) return S_FALSE;
  return find_or_create_state(device, device->rasterizer_states(), desc, state);
}

bool d3d11_rasterizer_state_t::same_desc(const D3D11_RASTERIZER_DESC& d) const {
  const auto& a = desc_;
  return a.FillMode == d.FillMode && a.CullMode == d.CullMode &&
         a.FrontCounterClockwise == d.FrontCounterClockwise && a.DepthBias == d.DepthBias &&
         a.DepthBiasClamp == d.DepthBiasClamp && a.SlopeScaledDepthBias == d.SlopeScaledDepthBias &&
         a.DepthClipEnable == d.DepthClipEnable && a.ScissorEnable == d.ScissorEnable &&
         a.MultisampleEnable == d.MultisampleEnable && a.AntialiasedLineEnable == d.AntialiasedLineEnable;
}

void d3d11_rasterizer_state_t::on_last_release() {
  forget_state(device(), device()->rasterizer_states(), this);
}
