#pragma once
// ID3D11SamplerState over a GL sampler object, made on the context thread.

#include "platform/d3d11/device_child.h"

class d3d11_sampler_state_t final : public device_child_t<ID3D11SamplerState> {
 public:
  static HRESULT create(d3d11_device_t* device, const D3D11_SAMPLER_DESC& desc, ID3D11SamplerState** state);
  d3d11_sampler_state_t(d3d11_device_t* device, const D3D11_SAMPLER_DESC& desc);

  void GetDesc(D3D11_SAMPLER_DESC* desc) override { *desc = desc_; }
  bool same_desc(const D3D11_SAMPLER_DESC& desc) const;
  GLuint gl_name() const { return name_; }

 private:
  void on_last_release() override;
  void destroy_gl() override;
  D3D11_SAMPLER_DESC desc_;
  GLuint name_ = 0;
};

// Context thread: a GL sampler with the description's parameters.
GLuint create_gl_sampler(const D3D11_SAMPLER_DESC& desc);

inline d3d11_sampler_state_t* to_impl(ID3D11SamplerState* state) {
  return static_cast<d3d11_sampler_state_t*>(state);
}
