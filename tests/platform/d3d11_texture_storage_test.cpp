// Textures made without initial data get their memory only when a draw, a view or a copy needs
// their texels; until then a clear is only remembered. Whatever the moment the memory comes, what
// is read is what Direct3D gives: the clear colour in level 0, the generated mips below it, the
// cleared depth for the first draw that tests it, and the old contents of an output the pixel shader
// does not write.

#include <array>
#include <cfloat>
#include <utility>
#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

using half4_t = std::array<uint16_t, 4>;
using float4_t = std::array<float, 4>;

class D3D11TextureStorageTest : public device_fixture_t {
 protected:
  struct depth_t {
    com_ptr_t<ID3D11Texture2D> texture;
    com_ptr_t<ID3D11DepthStencilView> dsv;
    com_ptr_t<ID3D11ShaderResourceView> srv;  // typeless textures only
  };
  // A depth buffer as the engine's pooled targets have (R32_TYPELESS, read through R32_FLOAT), or
  // of a plain depth format.
  depth_t make_depth(UINT w, UINT h, DXGI_FORMAT format) {
    depth_t d;
    const bool typeless = format == DXGI_FORMAT_R32_TYPELESS;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = w, desc.Height = h, desc.MipLevels = 1, desc.ArraySize = 1, desc.Format = format;
    desc.SampleDesc = {1, 0};
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_DEPTH_STENCIL | (typeless ? D3D11_BIND_SHADER_RESOURCE : 0u);
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &d.texture), S_OK);
    D3D11_DEPTH_STENCIL_VIEW_DESC view{};
    view.Format = typeless ? DXGI_FORMAT_D32_FLOAT : format;
    view.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
    EXPECT_EQ(device->CreateDepthStencilView(d.texture, &view, &d.dsv), S_OK);
    if (typeless) {
      D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
      srv.Format = DXGI_FORMAT_R32_FLOAT;
      srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
      srv.Texture2D = {0, 1};
      EXPECT_EQ(device->CreateShaderResourceView(d.texture, &srv, &d.srv), S_OK);
    }
    return d;
  }

  com_ptr_t<ID3D11DepthStencilState> depth_state(bool depth, bool stencil) {
    D3D11_DEPTH_STENCIL_DESC desc{};
    desc.DepthEnable = depth;
    desc.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    desc.DepthFunc = D3D11_COMPARISON_LESS;
    desc.StencilEnable = stencil;
    desc.StencilReadMask = desc.StencilWriteMask = 0xFF;
    desc.FrontFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                      D3D11_COMPARISON_EQUAL};
    desc.BackFace = desc.FrontFace;
    com_ptr_t<ID3D11DepthStencilState> state;
    EXPECT_EQ(device->CreateDepthStencilState(&desc, &state), S_OK);
    return state;
  }

  // A full-screen triangle at depth `z`, coloured `colour`, into what is bound.
  void draw_at_depth(float z, const float4_t& colour) {
    if (!depth_vs) {
      depth_vs = vertex_shader(R"(
cbuffer params : register(b0) { float4 colour; float z; };
float4 main(uint id : SV_VertexID) : SV_Position {
  float2 uv = float2((id << 1) & 2, id & 2);
  return float4(uv * float2(2, -2) + float2(-1, 1), z, 1);
})");
      colour_ps = pixel_shader(R"(
cbuffer params : register(b0) { float4 colour; float z; };
float4 main() : SV_Target { return colour; })");
    }
    const float params[8] = {colour[0], colour[1], colour[2], colour[3], z, 0, 0, 0};
    auto cb = constant_buffer(params, sizeof params);
    ID3D11Buffer* cbs[] = {cb};
    context->VSSetConstantBuffers(0, 1, cbs);
    context->PSSetConstantBuffers(0, 1, cbs);
    context->IASetInputLayout(nullptr);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->VSSetShader(depth_vs, nullptr, 0);
    context->PSSetShader(colour_ps, nullptr, 0);
    context->Draw(3, 0);
  }

  com_ptr_t<ID3D11VertexShader> depth_vs;
  com_ptr_t<ID3D11PixelShader> colour_ps;
};

// Clears only remembered still read back as cleared, saturated to the half range, in level 0 and,
// once mips are generated, in every level; a later clear changes level 0 alone.
TEST_F(D3D11TextureStorageTest, ClearsNoDrawTouchedReadBackInEveryLevel) {
  auto target = make_target(8, 4, DXGI_FORMAT_R16G16B16A16_FLOAT, 0, D3D11_RESOURCE_MISC_GENERATE_MIPS);
  const float first[4] = {FLT_MAX, -2.0f, 0.5f, 1.0f};
  const float second[4] = {0.25f, 0.0f, 0.0f, 0.0f};
  const half4_t first_bits = {0x7BFF, 0xC000, 0x3800, 0x3C00};
  const half4_t second_bits = {0x3400, 0, 0, 0};
  context->ClearRenderTargetView(target.rtv, first);
  context->GenerateMips(target.srv);
  context->ClearRenderTargetView(target.rtv, second);
  for (const half4_t& t : read_texels<half4_t>(target.texture, 0)) EXPECT_EQ(t, second_bits);
  for (UINT level = 1; level < 4; ++level) {
    SCOPED_TRACE(::testing::Message() << "level " << level);
    for (const half4_t& t : read_texels<half4_t>(target.texture, level)) EXPECT_EQ(t, first_bits);
  }
}

// The memory comes with the first draw, which lands on the remembered clear: the pixels outside
// the draw keep the clear colour, and a shader reading a cleared texture sees the colour.
TEST_F(D3D11TextureStorageTest, TheFirstDrawLandsOnTheRememberedClear) {
  auto target = make_target(4, 2);
  const float red[4] = {1, 0, 0, 1};
  context->ClearRenderTargetView(target.rtv, red);
  bind_target(target);
  const D3D11_VIEWPORT left{0, 0, 2, 2, 0, 1};
  context->RSSetViewports(1, &left);
  draw_at_depth(0.0f, {0, 1, 0, 1});
  const uint32_t g = rgba(0, 255, 0, 255), r = rgba(255, 0, 0, 255);
  EXPECT_EQ(read_rgba8(target.texture), (std::vector<uint32_t>{g, g, r, r, g, g, r, r}));

  auto cleared = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  const float colour[4] = {0.5f, -3.0f, 7.0f, 1.0f};
  context->ClearRenderTargetView(cleared.rtv, colour);
  auto out = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
  bind_target(out);
  ID3D11ShaderResourceView* views[] = {cleared.srv};
  context->PSSetShaderResources(0, 1, views);
  draw_fullscreen(pixel_shader(R"(
Texture2D tex : register(t0);
float4 main() : SV_Target { return tex.Load(int3(1, 1, 0)); })"));
  EXPECT_EQ(read_texels<float4_t>(out.texture)[0], (float4_t{0.5f, -3.0f, 7.0f, 1.0f}));
}

// A render target the pixel shader has no output for keeps what it held, as in Direct3D: whether its
// memory is yet to come or a draw has already written it.
TEST_F(D3D11TextureStorageTest, OutputsThePixelShaderDoesNotWriteKeepTheirContents) {
  struct case_t {
    const char* name;
    const char* ps;
    uint32_t first, second;
  };
  const uint32_t a = rgba(10, 20, 30, 40), b = rgba(50, 60, 70, 80), white = rgba(255, 255, 255, 255);
  const case_t cases[] = {
      {"first only", "float4 main() : SV_Target0 { return 1; }", white, b},
      {"second only", "float4 main() : SV_Target1 { return 1; }", a, white},
      {"both",
       "struct out_t { float4 a : SV_Target0; float4 b : SV_Target1; };\n"
       "out_t main() { out_t o; o.a = 1; o.b = 1; return o; }",
       white, white},
  };
  auto both = pixel_shader(cases[2].ps);
  for (const bool drawn_before : {false, true}) {
    for (const case_t& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.name << (drawn_before ? ", drawn before" : ", fresh"));
      auto first = make_target(2, 2), second = make_target(2, 2);
      ID3D11RenderTargetView* rtvs[] = {first.rtv, second.rtv};
      context->OMSetRenderTargets(2, rtvs, nullptr);
      const D3D11_VIEWPORT viewport{0, 0, 2, 2, 0, 1};
      context->RSSetViewports(1, &viewport);
      if (drawn_before) draw_fullscreen(both);
      const float ca[4] = {10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 40 / 255.0f};
      const float cb[4] = {50 / 255.0f, 60 / 255.0f, 70 / 255.0f, 80 / 255.0f};
      context->ClearRenderTargetView(first.rtv, ca);
      context->ClearRenderTargetView(second.rtv, cb);
      draw_fullscreen(pixel_shader(c.ps));
      context->OMSetRenderTargets(0, nullptr, nullptr);
      EXPECT_EQ(read_rgba8(first.texture), std::vector<uint32_t>(4, c.first));
      EXPECT_EQ(read_rgba8(second.texture), std::vector<uint32_t>(4, c.second));
    }
  }
}

// A depth buffer cleared and bound through draws that do not test it holds the cleared depth (and
// stencil) for the first draw that does, and for a shader reading it.
TEST_F(D3D11TextureStorageTest, DepthClearedBeforeTheFirstTestingDrawHoldsForIt) {
  const struct {
    DXGI_FORMAT format;
    bool stencil;
  } formats[] = {{DXGI_FORMAT_R32_TYPELESS, false},
                 {DXGI_FORMAT_D32_FLOAT, false},
                 {DXGI_FORMAT_D24_UNORM_S8_UINT, true},
                 {DXGI_FORMAT_D32_FLOAT_S8X24_UINT, true}};
  const uint32_t blue = rgba(0, 0, 255, 255), red = rgba(255, 0, 0, 255), green = rgba(0, 255, 0, 255);
  for (const auto& f : formats) {
    SCOPED_TRACE(dxgi_format_info(f.format).name);
    auto target = make_target(2, 2);
    auto depth = make_depth(2, 2, f.format);
    context->ClearDepthStencilView(depth.dsv, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 0.5f, 3);
    bind_target(target, depth.dsv);
    context->OMSetDepthStencilState(depth_state(false, false), 0);
    draw_at_depth(0.9f, {0, 0, 1, 1});
    EXPECT_EQ(read_rgba8(target.texture), std::vector<uint32_t>(4, blue)) << "untested draw";

    context->OMSetDepthStencilState(depth_state(true, false), 0);
    draw_at_depth(0.6f, {1, 0, 0, 1});
    EXPECT_EQ(read_rgba8(target.texture), std::vector<uint32_t>(4, blue)) << "behind the cleared depth";
    draw_at_depth(0.4f, {1, 0, 0, 1});
    EXPECT_EQ(read_rgba8(target.texture), std::vector<uint32_t>(4, red)) << "in front of it";
    // Reference 2 fails against the cleared stencil, 3 passes.
    for (const auto& [ref, expected] : {std::pair{2u, red}, std::pair{3u, green}}) {
      if (!f.stencil) break;
      context->OMSetDepthStencilState(depth_state(false, true), ref);
      draw_at_depth(0.0f, {0, 1, 0, 1});
      EXPECT_EQ(read_rgba8(target.texture), std::vector<uint32_t>(4, expected))
          << "stencil reference " << ref;
    }
    context->OMSetDepthStencilState(nullptr, 0);
    context->OMSetRenderTargets(0, nullptr, nullptr);
  }

  // Read by a shader without any draw having tested it.
  auto depth = make_depth(2, 2, DXGI_FORMAT_R32_TYPELESS);
  context->ClearDepthStencilView(depth.dsv, D3D11_CLEAR_DEPTH, 0.25f, 0);
  auto out = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
  bind_target(out);
  ID3D11ShaderResourceView* views[] = {depth.srv};
  context->PSSetShaderResources(0, 1, views);
  draw_fullscreen(pixel_shader(R"(
Texture2D<float> depth : register(t0);
float4 main() : SV_Target { return depth.Load(int3(1, 0, 0)); })"));
  EXPECT_EQ(read_texels<float4_t>(out.texture)[0], (float4_t{0.25f, 0.25f, 0.25f, 0.25f}));
}

// The engine's frame in small: large pooled targets with mips and depth, all cleared, their mips
// generated, bound as second outputs and depth to draws that neither write nor test them. Only the
// small first outputs take memory; a target read afterwards holds its clear colour.
TEST_F(D3D11TextureStorageTest, TargetsNoDrawWritesOrTestsCostNoMemory) {
  constexpr UINT size = 2048, count = 12;  // about 70 MiB each with mips and depth
  const long before = resident_mib();
  auto small = make_target(16, 16);
  std::vector<target_t> targets;
  std::vector<depth_t> depths;
  const float far[4] = {FLT_MAX, 0, 0, 0};
  auto ps = pixel_shader("float4 main() : SV_Target0 { return float4(0, 1, 0, 1); }");
  context->OMSetDepthStencilState(depth_state(false, false), 0);
  for (UINT i = 0; i < count; ++i) {
    targets.push_back(
        make_target(size, size, DXGI_FORMAT_R16G16B16A16_FLOAT, 0, D3D11_RESOURCE_MISC_GENERATE_MIPS));
    depths.push_back(make_depth(size, size, DXGI_FORMAT_R32_TYPELESS));
    context->ClearRenderTargetView(targets.back().rtv, far);
    context->ClearDepthStencilView(depths.back().dsv, D3D11_CLEAR_DEPTH, 1.0f, 0);
    ID3D11RenderTargetView* rtvs[] = {small.rtv, targets.back().rtv};
    context->OMSetRenderTargets(2, rtvs, depths.back().dsv);
    const D3D11_VIEWPORT viewport{0, 0, 16, 16, 0, 1};
    context->RSSetViewports(1, &viewport);
    draw_fullscreen(ps);
    context->OMSetRenderTargets(0, nullptr, nullptr);
    context->GenerateMips(targets.back().srv);
  }
  EXPECT_EQ(read_rgba8(small.texture)[0], rgba(0, 255, 0, 255));
  EXPECT_LT(resident_mib() - before, 64) << "for " << count << " targets of " << size << "x" << size;

  const half4_t far_bits = {0x7BFF, 0, 0, 0};
  EXPECT_EQ(read_texels<half4_t>(targets[3].texture, 11)[0], far_bits);
}

}  // namespace
