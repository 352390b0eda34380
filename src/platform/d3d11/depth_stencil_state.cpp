#include "platform/d3d11/depth_stencil_state.h"

#include "platform/d3d11/shared_state.h"

CD3D11_DEPTH_STENCIL_DESC::CD3D11_DEPTH_STENCIL_DESC(CD3D11_DEFAULT) {
  DepthEnable = TRUE;
  DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
  DepthFunc = D3D11_COMPARISON_LESS;
  StencilEnable = FALSE;
  StencilReadMask = 0xFF;
  StencilWriteMask = 0xFF;
  FrontFace = BackFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                          D3D11_COMPARISON_ALWAYS};
}

GLenum gl_comparison(D3D11_COMPARISON_FUNC func) {
  switch (func) {
    case D3D11_COMPARISON_NEVER:
      return GL_NEVER;
    case D3D11_COMPARISON_LESS:
      return GL_LESS;
    case D3D11_COMPARISON_EQUAL:
      return GL_EQUAL;
    case D3D11_COMPARISON_LESS_EQUAL:
      return GL_LEQUAL;
    case D3D11_COMPARISON_GREATER:
      return GL_GREATER;
    case D3D11_COMPARISON_NOT_EQUAL:
      return GL_NOTEQUAL;
    case D3D11_COMPARISON_GREATER_EQUAL:
      return GL_GEQUAL;
    case D3D11_COMPARISON_ALWAYS:
      return GL_ALWAYS;
  }
  return 0;
}

namespace {

GLenum stencil_op(D3D11_STENCIL_OP op) {
  switch (op) {
    case D3D11_STENCIL_OP_KEEP:
      return GL_KEEP;
    case D3D11_STENCIL_OP_ZERO:
      return GL_ZERO;
    case D3D11_STENCIL_OP_REPLACE:
      return GL_REPLACE;
    case D3D11_STENCIL_OP_INCR_SAT:
      return GL_INCR;
    case D3D11_STENCIL_OP_DECR_SAT:
      return GL_DECR;
    case D3D11_STENCIL_OP_INVERT:
      return GL_INVERT;
    case D3D11_STENCIL_OP_INCR:
      return GL_INCR_WRAP;
    case D3D11_STENCIL_OP_DECR:
      return GL_DECR_WRAP;
  }
  return 0;
}

bool face(const D3D11_DEPTH_STENCILOP_DESC& d, gl_stencil_face_t& g) {
  g = {stencil_op(d.StencilFailOp), stencil_op(d.StencilDepthFailOp), stencil_op(d.StencilPassOp),
       gl_comparison(d.StencilFunc)};
  return g.fail && g.depth_fail && g.pass && g.func;
}

bool to_gl(const D3D11_DEPTH_STENCIL_DESC& d, gl_depth_stencil_t& g) {
  g.depth_test = d.DepthEnable;
  g.depth_write = d.DepthWriteMask == D3D11_DEPTH_WRITE_MASK_ALL;
  g.depth_func = gl_comparison(d.DepthFunc);
  g.stencil = d.StencilEnable;
  g.read_mask = d.StencilReadMask, g.write_mask = d.StencilWriteMask;
  const bool faces = face(d.FrontFace, g.front) && face(d.BackFace, g.back);
  return g.depth_func && (faces || !d.StencilEnable) &&
         (d.DepthWriteMask == D3D11_DEPTH_WRITE_MASK_ALL || d.DepthWriteMask == D3D11_DEPTH_WRITE_MASK_ZERO);
}

}  // namespace

d3d11_depth_stencil_state_t::d3d11_depth_stencil_state_t(d3d11_device_t* device,
                                                         const D3D11_DEPTH_STENCIL_DESC& desc)
    : device_child_t(device), desc_(desc) {
  to_gl(desc, gl_);
}

const gl_depth_stencil_t& d3d11_depth_stencil_state_t::defaults() {
  static const gl_depth_stencil_t values = [] {
    gl_depth_stencil_t g;
    to_gl(CD3D11_DEPTH_STENCIL_DESC(D3D11_DEFAULT), g);
    return g;
  }();
  return values;
}

HRESULT d3d11_depth_stencil_state_t::create(d3d11_device_t* device, const D3D11_DEPTH_STENCIL_DESC& desc,
                                            ID3D11DepthStencilState** state) {
  gl_depth_stencil_t check;
  if (!to_gl(desc, check)) return E_INVALIDARG;
  if (!state) return S_FALSE;
  return find_or_create_state(device, device->depth_stencil_states(), desc, state);
}

bool d3d11_depth_stencil_state_t::same_desc(const D3D11_DEPTH_STENCIL_DESC& d) const {
  const auto& a = desc_;
  auto same_face = [](const D3D11_DEPTH_STENCILOP_DESC& x, const D3D11_DEPTH_STENCILOP_DESC& y) {
    return x.StencilFailOp == y.StencilFailOp && x.StencilDepthFailOp == y.StencilDepthFailOp &&
           x.StencilPassOp == y.StencilPassOp && x.StencilFunc == y.StencilFunc;
  };
  return a.DepthEnable == d.DepthEnable && a.DepthWriteMask == d.DepthWriteMask &&
         a.DepthFunc == d.DepthFunc && a.StencilEnable == d.StencilEnable &&
         a.StencilReadMask == d.StencilReadMask && a.StencilWriteMask == d.StencilWriteMask &&
         same_face(a.FrontFace, d.FrontFace) && same_face(a.BackFace, d.BackFace);
}

void d3d11_depth_stencil_state_t::on_last_release() {
  forget_state(device(), device()->depth_stencil_states(), this);
}
