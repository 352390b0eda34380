// Typed texture UAVs: a compute shader stores float4 values into RWTexture2D views of float and
// 8-bit targets and of one mip level; the stores arrive converted to the view's format.

#include <array>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11TextureUavTest : public device_fixture_t {
 protected:
  com_ptr_t<ID3D11Texture2D> uav_texture(DXGI_FORMAT format, UINT size, UINT mips) {
    D3D11_TEXTURE2D_DESC desc{size,
                              size,
                              mips,
                              1,
                              format,
                              {1, 0},
                              D3D11_USAGE_DEFAULT,
                              D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE,
                              0,
                              0};
    com_ptr_t<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &texture), S_OK);
    return texture;
  }
  void store(ID3D11Texture2D* texture, DXGI_FORMAT format, UINT level, UINT size) {
    D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
    desc.Format = format;
    desc.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE2D;
    desc.Texture2D.MipSlice = level;
    com_ptr_t<ID3D11UnorderedAccessView> uav;
    ASSERT_EQ(device->CreateUnorderedAccessView(texture, &desc, &uav), S_OK);
    if (!cs)
      cs = compute_shader(R"(
RWTexture2D<float4> image : register(u0);
[numthreads(4, 4, 1)]
void main(uint3 id : SV_DispatchThreadID) { image[id.xy] = float4(id.x / 4.0, id.y / 4.0, 1, 0.5); })");
    ID3D11UnorderedAccessView* uavs[] = {uav};
    context->CSSetShader(cs, nullptr, 0);
    context->CSSetUnorderedAccessViews(0, 1, uavs, nullptr);
    context->Dispatch((size + 3) / 4, (size + 3) / 4, 1);
    ID3D11UnorderedAccessView* none[] = {nullptr};
    context->CSSetUnorderedAccessViews(0, 1, none, nullptr);
  }
  void TearDown() override {
    cs.Release();
    device_fixture_t::TearDown();
  }
  com_ptr_t<ID3D11ComputeShader> cs;
};

TEST_F(D3D11TextureUavTest, StoresLandInFloatTargets) {
  auto texture = uav_texture(DXGI_FORMAT_R32G32B32A32_FLOAT, 4, 1);
  store(texture, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 4);
  const auto texels = read_texels<std::array<float, 4>>(texture);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 4; ++x)
      EXPECT_EQ(texels[y * 4 + x], (std::array<float, 4>{x / 4.0f, y / 4.0f, 1, 0.5f})) << x << "," << y;
}

// The engine's LDR format behind a float4 store: each channel becomes the nearest of 255 steps.
TEST_F(D3D11TextureUavTest, StoresConvertToEightBitTargets) {
  auto texture = uav_texture(DXGI_FORMAT_R8G8B8A8_UNORM, 4, 1);
  store(texture, DXGI_FORMAT_R8G8B8A8_UNORM, 0, 4);
  const auto pixels = read_rgba8(texture);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 4; ++x)
      EXPECT_EQ(pixels[y * 4 + x],
                rgba(uint8_t(x * 255 / 4.0f + 0.5f), uint8_t(y * 255 / 4.0f + 0.5f), 255, 128))
          << x << "," << y;
}

// A view of level 1 writes level 1 only.
TEST_F(D3D11TextureUavTest, AViewOfOneLevelWritesThatLevel) {
  auto texture = uav_texture(DXGI_FORMAT_R16G16B16A16_FLOAT, 8, 2);
  store(texture, DXGI_FORMAT_R16G16B16A16_FLOAT, 1, 4);
  for (uint64_t t : read_texels<uint64_t>(texture, 0)) EXPECT_EQ(t, 0u);
  const auto level1 = read_texels<std::array<uint16_t, 4>>(texture, 1);
  ASSERT_EQ(level1.size(), 16u);
  // (x / 4, y / 4, 1, 0.5) at texel (1, 2): 0.25 = 0x3400, 0.5 = 0x3800, 1 = 0x3C00.
  EXPECT_EQ(level1[2 * 4 + 1], (std::array<uint16_t, 4>{0x3400, 0x3800, 0x3C00, 0x3800}));
}

}  // namespace
