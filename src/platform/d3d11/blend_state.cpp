#include "platform/d3d11/blend_state.h"

#include "platform/d3d11/shared_state.h"

CD3D11_BLEND_DESC::CD3D11_BLEND_DESC(CD3D11_DEFAULT) {
  AlphaToCoverageEnable = FALSE;
  IndependentBlendEnable = FALSE;
  for (auto& t : RenderTarget)
    t = {FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,   D3D11_BLEND_OP_ADD,
         D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_COLOR_WRITE_ENABLE_ALL};
}

namespace {

// GL_ZERO is 0, so validity is told apart from the value.
bool factor(D3D11_BLEND blend, GLenum& out) {
  switch (blend) {
    case D3D11_BLEND_ZERO:
      out = GL_ZERO;
      return true;
    case D3D11_BLEND_ONE:
      out = GL_ONE;
      return true;
    case D3D11_BLEND_SRC_COLOR:
      out = GL_SRC_COLOR;
      return true;
    case D3D11_BLEND_INV_SRC_COLOR:
      out = GL_ONE_MINUS_SRC_COLOR;
      return true;
    case D3D11_BLEND_SRC_ALPHA:
      out = GL_SRC_ALPHA;
      return true;
    case D3D11_BLEND_INV_SRC_ALPHA:
      out = GL_ONE_MINUS_SRC_ALPHA;
      return true;
    case D3D11_BLEND_DEST_ALPHA:
      out = GL_DST_ALPHA;
      return true;
    case D3D11_BLEND_INV_DEST_ALPHA:
      out = GL_ONE_MINUS_DST_ALPHA;
      return true;
    case D3D11_BLEND_DEST_COLOR:
      out = GL_DST_COLOR;
      return true;
    case D3D11_BLEND_INV_DEST_COLOR:
      out = GL_ONE_MINUS_DST_COLOR;
      return true;
    case D3D11_BLEND_SRC_ALPHA_SAT:
      out = GL_SRC_ALPHA_SATURATE;
      return true;
    case D3D11_BLEND_BLEND_FACTOR:
      out = GL_CONSTANT_COLOR;
      return true;
    case D3D11_BLEND_INV_BLEND_FACTOR:
      out = GL_ONE_MINUS_CONSTANT_COLOR;
      return true;
  }
  return false;
}

GLenum operation(D3D11_BLEND_OP op) {
  switch (op) {
    case D3D11_BLEND_OP_ADD:
      return GL_FUNC_ADD;
    case D3D11_BLEND_OP_SUBTRACT:
      return GL_FUNC_SUBTRACT;
    case D3D11_BLEND_OP_REV_SUBTRACT:
      return GL_FUNC_REVERSE_SUBTRACT;
    case D3D11_BLEND_OP_MIN:
      return GL_MIN;
    case D3D11_BLEND_OP_MAX:
      return GL_MAX;
  }
  return 0;
}

bool to_gl(const D3D11_BLEND_DESC& d, gl_blend_t& g) {
  g.alpha_to_coverage = d.AlphaToCoverageEnable;
  for (int i = 0; i < 8; ++i) {
    const auto& t = d.RenderTarget[d.IndependentBlendEnable ? i : 0];
    gl_blend_target_t& out = g.targets[i];
    out.enable = t.BlendEnable;
    out.mask = t.RenderTargetWriteMask & 0xF;
    if (!t.BlendEnable) continue;
    out.op = operation(t.BlendOp), out.op_alpha = operation(t.BlendOpAlpha);
    if (!factor(t.SrcBlend, out.src) || !factor(t.DestBlend, out.dst) ||
        !factor(t.SrcBlendAlpha, out.src_alpha) || !factor(t.DestBlendAlpha, out.dst_alpha) || !out.op ||
        !out.op_alpha)
      return false;
  }
  return true;
}

}  // namespace

d3d11_blend_state_t::d3d11_blend_state_t(d3d11_device_t* device, const D3D11_BLEND_DESC& desc)
    : device_child_t(device), desc_(desc) {
  to_gl(desc, gl_);
}

const gl_blend_t& d3d11_blend_state_t::defaults() {
  static const gl_blend_t values = [] {
    gl_blend_t g;
    to_gl(CD3D11_BLEND_DESC(D3D11_DEFAULT), g);
    return g;
  }();
  return values;
}

HRESULT d3d11_blend_state_t::create(d3d11_device_t* device, const D3D11_BLEND_DESC& desc,
                                    ID3D11BlendState** state) {
  gl_blend_t check;
  if (!to_gl(desc, check)) return E_INVALIDARG;
  if (!state) return S_FALSE;
  return find_or_create_state(device, device->blend_states(), desc, state);
}

bool d3d11_blend_state_t::same_desc(const D3D11_BLEND_DESC& d) const {
  const auto& a = desc_;
  if (a.AlphaToCoverageEnable != d.AlphaToCoverageEnable ||
      a.IndependentBlendEnable != d.IndependentBlendEnable)
    return false;
  for (int i = 0; i < 8; ++i) {
    const auto& x = a.RenderTarget[i];
    const auto& y = d.RenderTarget[i];
    if (x.BlendEnable != y.BlendEnable || x.SrcBlend != y.SrcBlend || x.DestBlend != y.DestBlend ||
        x.BlendOp != y.BlendOp || x.SrcBlendAlpha != y.SrcBlendAlpha ||
        x.DestBlendAlpha != y.DestBlendAlpha || x.BlendOpAlpha != y.BlendOpAlpha ||
        x.RenderTargetWriteMask != y.RenderTargetWriteMask)
      return false;
  }
  return true;
}

void d3d11_blend_state_t::on_last_release() { forget_state(device(), device()->blend_states(), this); }
