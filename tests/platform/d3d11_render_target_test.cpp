// Render targets: one pass writing several targets of different formats, targets with gaps in the
// list, views of one mip level or array slice, and clears of half-float targets with values beyond
// the half range.

#include <array>
#include <cfloat>
#include <cmath>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11RenderTargetTest : public device_fixture_t {};

using float4_t = std::array<float, 4>;
using half4_t = std::array<uint16_t, 4>;
using uint4_t = std::array<uint32_t, 4>;
using int4_t = std::array<int32_t, 4>;

// Three targets of three formats, written by one draw: each gets its own value.
TEST_F(D3D11RenderTargetTest, OnePassWritesEveryBoundTarget) {
  auto ldr = make_target(4, 2);
  auto hdr32 = make_target(4, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto single = make_target(4, 2, DXGI_FORMAT_R32_FLOAT);
  auto ps = pixel_shader(R"(
struct ps_out { float4 ldr : SV_Target0; float4 hdr : SV_Target1; float single : SV_Target2; };
ps_out main(float4 pos : SV_Position) {
  ps_out o;
  o.ldr = float4(1, 0, 0.2, 1);
  o.hdr = float4(pos.x, pos.y, 7, -3);
  o.single = 100 + floor(pos.x) + 10 * floor(pos.y);
  return o;
})");
  ID3D11RenderTargetView* rtvs[] = {ldr.rtv, hdr32.rtv, single.rtv};
  context->OMSetRenderTargets(3, rtvs, nullptr);
  const D3D11_VIEWPORT viewport{0, 0, 4, 2, 0, 1};
  context->RSSetViewports(1, &viewport);
  draw_fullscreen(ps);

  for (uint32_t p : read_rgba8(ldr.texture)) EXPECT_EQ(p, rgba(255, 0, 51, 255));
  const auto hdr = read_texels<float4_t>(hdr32.texture);
  const auto values = read_texels<float>(single.texture);
  ASSERT_EQ(hdr.size(), 8u);
  ASSERT_EQ(values.size(), 8u);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(hdr[y * 4 + x], (float4_t{x + 0.5f, y + 0.5f, 7, -3})) << x << "," << y;
      EXPECT_EQ(values[y * 4 + x], 100.0f + x + 10 * y) << x << "," << y;
    }
  }
}

// A null entry in the list leaves its output unwritten; later targets still get their own output.
TEST_F(D3D11RenderTargetTest, TargetsAfterAGapReceiveTheirOwnOutput) {
  auto first = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto third = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto ps = pixel_shader(R"(
struct ps_out { float4 a : SV_Target0; float4 b : SV_Target1; float4 c : SV_Target2; };
ps_out main() {
  ps_out o;
  o.a = float4(1, 1, 1, 1);
  o.b = float4(2, 2, 2, 2);
  o.c = float4(3, 3, 3, 3);
  return o;
})");
  ID3D11RenderTargetView* rtvs[] = {first.rtv, nullptr, third.rtv};
  context->OMSetRenderTargets(3, rtvs, nullptr);
  const D3D11_VIEWPORT viewport{0, 0, 2, 2, 0, 1};
  context->RSSetViewports(1, &viewport);
  draw_fullscreen(ps);
  for (const auto& t : read_texels<float4_t>(first.texture)) EXPECT_EQ(t, (float4_t{1, 1, 1, 1}));
  for (const auto& t : read_texels<float4_t>(third.texture)) EXPECT_EQ(t, (float4_t{3, 3, 3, 3}));
}

// A view of one mip level or one array slice: the draw lands there and nowhere else.
TEST_F(D3D11RenderTargetTest, ViewsOfOneLevelOrSliceReceiveTheDraw) {
  D3D11_TEXTURE2D_DESC desc{4,
                            4,
                            3,
                            3,
                            DXGI_FORMAT_R8G8B8A8_UNORM,
                            {1, 0},
                            D3D11_USAGE_DEFAULT,
                            D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
                            0,
                            0};
  com_ptr_t<ID3D11Texture2D> texture;
  ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, &texture), S_OK);
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(0, 1, 0, 1); }");
  const struct { UINT level, slice; } cases[] = {{0, 0}, {1, 0}, {0, 2}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "level " << c.level << " slice " << c.slice);
    D3D11_RENDER_TARGET_VIEW_DESC rtv_desc{};
    rtv_desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    rtv_desc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2DARRAY;
    rtv_desc.Texture2DArray = {c.level, c.slice, 1};
    com_ptr_t<ID3D11RenderTargetView> rtv;
    ASSERT_EQ(device->CreateRenderTargetView(texture, &rtv_desc, &rtv), S_OK);
    // Start from zeros everywhere.
    for (UINT level = 0; level < 3; ++level) {
      for (UINT slice = 0; slice < 3; ++slice) {
        D3D11_RENDER_TARGET_VIEW_DESC clear_desc = rtv_desc;
        clear_desc.Texture2DArray = {level, slice, 1};
        com_ptr_t<ID3D11RenderTargetView> clear_view;
        ASSERT_EQ(device->CreateRenderTargetView(texture, &clear_desc, &clear_view), S_OK);
        const float zero[4] = {0, 0, 0, 0};
        context->ClearRenderTargetView(clear_view, zero);
      }
    }
    ID3D11RenderTargetView* rtvs[] = {rtv};
    context->OMSetRenderTargets(1, rtvs, nullptr);
    const float size = float(4 >> c.level);
    const D3D11_VIEWPORT viewport{0, 0, size, size, 0, 1};
    context->RSSetViewports(1, &viewport);
    draw_fullscreen(ps);
    context->OMSetRenderTargets(0, nullptr, nullptr);
    for (UINT level = 0; level < 3; ++level) {
      for (UINT slice = 0; slice < 3; ++slice) {
        const bool drawn = level == c.level && slice == c.slice;
        for (uint32_t p : read_texels<uint32_t>(texture, level + slice * 3))
          EXPECT_EQ(p, drawn ? rgba(0, 255, 0, 255) : 0u) << "level " << level << " slice " << slice;
      }
    }
  }
}

// D3D converts clear colours to half floats keeping finite values finite: beyond the half range
// they become the largest half of their sign (0x7BFF, 65504), infinities stay infinite, in-range
// values round to the nearest half. The engine clears its second outputs with FLT_MAX.
TEST_F(D3D11RenderTargetTest, HalfFloatClearsBeyondTheRangeSaturate) {
  const struct {
    DXGI_FORMAT format;
    UINT channels;
  } formats[] = {
      {DXGI_FORMAT_R16G16B16A16_FLOAT, 4}, {DXGI_FORMAT_R16G16_FLOAT, 2}, {DXGI_FORMAT_R16_FLOAT, 1}};
  const float colours[2][4] = {{FLT_MAX, -FLT_MAX, 0.5f, 70000.0f}, {INFINITY, -INFINITY, -2.0f, 65504.0f}};
  const uint16_t expected[2][4] = {{0x7BFF, 0xFBFF, 0x3800, 0x7BFF}, {0x7C00, 0xFC00, 0xC000, 0x7BFF}};
  for (const auto& f : formats) {
    for (int c = 0; c < 2; ++c) {
      SCOPED_TRACE(::testing::Message() << dxgi_format_info(f.format).name << " colour " << c);
      auto target = make_target(2, 2, f.format);
      context->ClearRenderTargetView(target.rtv, colours[c]);
      std::vector<uint16_t> bits;
      if (f.channels == 4) {
        for (const auto& t : read_texels<half4_t>(target.texture))
          bits.insert(bits.end(), t.begin(), t.end());
      } else if (f.channels == 2) {
        for (const auto& t : read_texels<std::array<uint16_t, 2>>(target.texture))
          bits.insert(bits.end(), t.begin(), t.end());
      } else {
        bits = read_texels<uint16_t>(target.texture);
      }
      ASSERT_EQ(bits.size(), 4u * f.channels);
      for (size_t i = 0; i < bits.size(); ++i)
        EXPECT_EQ(bits[i], expected[c][i % f.channels]) << "channel " << i % f.channels;
    }
  }

  // A shader reading the cleared target sees at least the largest half.
  auto cleared = make_target(1, 1, DXGI_FORMAT_R16G16B16A16_FLOAT);
  context->ClearRenderTargetView(cleared.rtv, colours[0]);
  auto out = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
  bind_target(out);
  auto ps = pixel_shader(R"(
Texture2D tex : register(t0);
float4 main() : SV_Target { float4 v = tex.Load(int3(0, 0, 0)); return float4(v.x >= 65504, v.y <= -65504, v.z, 1); })");
  ID3D11ShaderResourceView* views[] = {cleared.srv};
  context->PSSetShaderResources(0, 1, views);
  draw_fullscreen(ps);
  EXPECT_EQ(read_texels<float4_t>(out.texture)[0], (float4_t{1, 1, 0.5f, 1}));
}

// A resource is never read and written at once: binding it as a render target takes its views out
// of the shader-resource slots (they then read zero), and a view of a bound target is not accepted
// as a shader resource. Once the target moves on, the texture can be read again.
TEST_F(D3D11RenderTargetTest, BindingAsTargetUnbindsItsShaderResourceViews) {
  auto a = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto b = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  const float red[4] = {1, 0, 0, 1};
  context->ClearRenderTargetView(a.rtv, red);
  auto ps = pixel_shader(R"(
Texture2D tex : register(t0);
float4 main(float4 pos : SV_Position) : SV_Target { return tex.Load(int3(pos.xy, 0)) + float4(0, 0, 0.5, 0); })");
  ID3D11ShaderResourceView* views[] = {a.srv};
  context->PSSetShaderResources(0, 1, views);
  bind_target(a);  // a leaves slot t0
  bind_target(b);
  draw_fullscreen(ps);
  for (const auto& t : read_texels<float4_t>(b.texture)) EXPECT_EQ(t, (float4_t{0, 0, 0.5f, 0}));

  context->PSSetShaderResources(0, 1, views);  // a is no target now: accepted
  draw_fullscreen(ps);
  for (const auto& t : read_texels<float4_t>(b.texture)) EXPECT_EQ(t, (float4_t{1, 0, 0.5f, 1}));

  ID3D11ShaderResourceView* own[] = {b.srv};
  context->PSSetShaderResources(0, 1, own);  // b is the bound target: refused, the slot empties
  draw_fullscreen(ps);
  for (const auto& t : read_texels<float4_t>(b.texture)) EXPECT_EQ(t, (float4_t{0, 0, 0.5f, 0}));
}

// Integer targets take clear values by D3D's float-to-integer rule: truncation toward zero,
// saturation to the channel's range, NaN as 0.
TEST_F(D3D11RenderTargetTest, IntegerClearsTruncateAndSaturate) {
  const float colour[4] = {FLT_MAX, -FLT_MAX, 7.9f, NAN};
  const float small[4] = {-7.9f, 300.0f, -300.0f, 1.0f};
  {
    auto target = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_UINT);
    context->ClearRenderTargetView(target.rtv, colour);
    EXPECT_EQ(read_texels<uint4_t>(target.texture)[0], (uint4_t{0xFFFFFFFFu, 0, 7, 0}));
  }
  {
    auto target = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_SINT);
    context->ClearRenderTargetView(target.rtv, colour);
    EXPECT_EQ(read_texels<int4_t>(target.texture)[0], (int4_t{2147483647, -2147483647 - 1, 7, 0}));
    context->ClearRenderTargetView(target.rtv, small);
    EXPECT_EQ(read_texels<int4_t>(target.texture)[0], (int4_t{-7, 300, -300, 1}));
  }
  {
    auto target = make_target(1, 1, DXGI_FORMAT_R8G8B8A8_UINT);
    context->ClearRenderTargetView(target.rtv, small);
    EXPECT_EQ(read_rgba8(target.texture)[0], rgba(0, 255, 0, 1));
  }
}

}  // namespace
