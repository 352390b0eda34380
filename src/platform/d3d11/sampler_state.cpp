#include "platform/d3d11/sampler_state.h"

#include <cfloat>

#include "platform/d3d11/depth_stencil_state.h"
#include "platform/d3d11/shared_state.h"

CD3D11_SAMPLER_DESC::CD3D11_SAMPLER_DESC(CD3D11_DEFAULT) {
  Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  AddressU = AddressV = AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  MipLODBias = 0;
  MaxAnisotropy = 1;
  ComparisonFunc = D3D11_COMPARISON_NEVER;
  BorderColor[0] = BorderColor[1] = BorderColor[2] = BorderColor[3] = 1.0f;
  MinLOD = -FLT_MAX;
  MaxLOD = FLT_MAX;
}

namespace {

GLenum wrap(D3D11_TEXTURE_ADDRESS_MODE mode) {
  switch (mode) {
    case D3D11_TEXTURE_ADDRESS_WRAP:
      return GL_REPEAT;
    case D3D11_TEXTURE_ADDRESS_MIRROR:
      return GL_MIRRORED_REPEAT;
    case D3D11_TEXTURE_ADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3D11_TEXTURE_ADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
    case D3D11_TEXTURE_ADDRESS_MIRROR_ONCE:
      return GL_MIRROR_CLAMP_TO_EDGE;
  }
  return 0;
}

bool valid(const D3D11_SAMPLER_DESC& d) {
  if (!wrap(d.AddressU) || !wrap(d.AddressV) || !wrap(d.AddressW)) return false;
  if (d.MaxAnisotropy > 16) return false;
  if ((d.Filter & 0x80) && !gl_comparison(d.ComparisonFunc)) return false;
  return (d.Filter & ~0xD5u) == 0;
}

}  // namespace

GLuint create_gl_sampler(const D3D11_SAMPLER_DESC& d) {
  GLuint name = 0;
  glCreateSamplers(1, &name);
  const bool anisotropic = (d.Filter & 0x40) != 0;
  const bool mip_linear = (d.Filter & 0x1) || anisotropic;
  const bool mag_linear = (d.Filter & 0x4) || anisotropic;
  const bool min_linear = (d.Filter & 0x10) || anisotropic;
  const GLenum min = min_linear ? (mip_linear ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                                : (mip_linear ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
  glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, min);
  glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, mag_linear ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(name, GL_TEXTURE_WRAP_S, wrap(d.AddressU));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_T, wrap(d.AddressV));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_R, wrap(d.AddressW));
  glSamplerParameterf(name, GL_TEXTURE_LOD_BIAS, d.MipLODBias);
  glSamplerParameterf(name, GL_TEXTURE_MIN_LOD, d.MinLOD);
  glSamplerParameterf(name, GL_TEXTURE_MAX_LOD, d.MaxLOD);
  glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, d.BorderColor);
  if (anisotropic && d.MaxAnisotropy > 1)
    glSamplerParameterf(name, GL_TEXTURE_MAX_ANISOTROPY, float(d.MaxAnisotropy));
  if (d.Filter & 0x80) {
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_FUNC, gl_comparison(d.ComparisonFunc));
  }
  return name;
}

d3d11_sampler_state_t::d3d11_sampler_state_t(d3d11_device_t* device, const D3D11_SAMPLER_DESC& desc)
    : device_child_t(device), desc_(desc) {
  device->enqueue([this] { name_ = create_gl_sampler(desc_); });
}

HRESULT d3d11_sampler_state_t::create(d3d11_device_t* device, const D3D11_SAMPLER_DESC& desc,
                                      ID3D11SamplerState** state) {
  if (!valid(desc)) return E_INVALIDARG;
  if (!state) return S_FALSE;
  return find_or_create_state(device, device->sampler_states(), desc, state);
}

bool d3d11_sampler_state_t::same_desc(const D3D11_SAMPLER_DESC& d) const {
  const auto& a = desc_;
  return a.Filter == d.Filter && a.AddressU == d.AddressU && a.AddressV == d.AddressV &&
         a.AddressW == d.AddressW && a.MipLODBias == d.MipLODBias && a.MaxAnisotropy == d.MaxAnisotropy &&
         a.ComparisonFunc == d.ComparisonFunc && a.BorderColor[0] == d.BorderColor[0] &&
         a.BorderColor[1] == d.BorderColor[1] && a.BorderColor[2] == d.BorderColor[2] &&
         a.BorderColor[3] == d.BorderColor[3] && a.MinLOD == d.MinLOD && a.MaxLOD == d.MaxLOD;
}

void d3d11_sampler_state_t::on_last_release() { forget_state(device(), device()->sampler_states(), this); }

void d3d11_sampler_state_t::destroy_gl() {
  if (!name_) return;
  device()->cache().forget_sampler(name_);
  glDeleteSamplers(1, &name_);
  name_ = 0;
}
