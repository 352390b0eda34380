#pragma once
// Test-only: the headless device with one full-screen draw that reads a texture through a pixel
// shader (view at t0, constants at b0, a point-clamp sampler at s0) into a new RGBA8 target.

#include <map>
#include <string>
#include <vector>

#include "common/d3d11_test_support.h"

namespace texture_test {

class texture_draw_fixture_t : public d3d11_test::device_fixture_t {
 protected:
  void TearDown() override {
    // Shaders go before the device does.
    pixel_shaders_.clear();
    device_fixture_t::TearDown();
  }

  // The target's pixels, rows top first.
  std::vector<uint32_t> draw_texture(const std::string& ps_source, ID3D11ShaderResourceView* view, UINT width,
                                     UINT height, ID3D11Buffer* constants = nullptr) {
    // Compiling is the slow part of a draw: each source is compiled once per test.
    com_ptr_t<ID3D11PixelShader>& ps = pixel_shaders_[ps_source];
    if (!ps) ps = pixel_shader(ps_source);
    D3D11_SAMPLER_DESC sampler_desc{};
    sampler_desc.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    sampler_desc.AddressU = sampler_desc.AddressV = sampler_desc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler_desc.ComparisonFunc = D3D11_COMPARISON_NEVER;
    sampler_desc.MaxLOD = 1000.0f;
    com_ptr_t<ID3D11SamplerState> sampler;
    EXPECT_EQ(device->CreateSamplerState(&sampler_desc, &sampler), S_OK);
    auto target = make_target(width, height);
    bind_target(target);
    ID3D11Buffer* buffers[] = {constants};
    context->PSSetConstantBuffers(0, 1, buffers);
    ID3D11ShaderResourceView* views[] = {view};
    context->PSSetShaderResources(0, 1, views);
    ID3D11SamplerState* samplers[] = {sampler};
    context->PSSetSamplers(0, 1, samplers);
    draw_fullscreen(ps);
    return read_rgba8(target.texture);
  }

 private:
  std::map<std::string, com_ptr_t<ID3D11PixelShader>> pixel_shaders_;
};

}  // namespace texture_test
