// Conformance of the Direct3D 11 layer: real draws and dispatches on the headless device, with
// read-back values derived by hand.

#include <cstring>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11ConformanceTest : public device_fixture_t {};

// Row order and SV_Position: the pixel shader writes its own pixel coordinates.
TEST_F(D3D11ConformanceTest, RowZeroIsTopAndPositionIsPixelCentre) {
  auto target = make_target(4, 4);
  auto vs = vertex_shader(fullscreen_vs);
  auto ps = pixel_shader(R"(
float4 main(float4 pos : SV_Position, float2 uv : TEXCOORD0) : SV_Target {
  return float4((pos.x - 0.5) / 255.0, (pos.y - 0.5) / 255.0, uv.y > 0.5 ? 1 : 0, 1);
})");
  bind_target(target);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  context->Draw(3, 0);
  const auto pixels = read_rgba8(target.texture);
  for (uint8_t y = 0; y < 4; ++y)
    for (uint8_t x = 0; x < 4; ++x)
      EXPECT_EQ(pixels[y * 4 + x], rgba(x, y, y >= 2 ? 255 : 0, 255)) << int(x) << "," << int(y);
}

// Clears cover the whole view whatever the scissor rectangle and the colour write mask say.
TEST_F(D3D11ConformanceTest, ClearIgnoresScissorAndWriteMask) {
  auto target = make_target(8, 8);
  D3D11_RASTERIZER_DESC rs = CD3D11_RASTERIZER_DESC(D3D11_DEFAULT);
  rs.ScissorEnable = TRUE;
  com_ptr_t<ID3D11RasterizerState> scissored;
  ASSERT_EQ(device->CreateRasterizerState(&rs, &scissored), S_OK);
  D3D11_BLEND_DESC blend = CD3D11_BLEND_DESC(D3D11_DEFAULT);
  blend.RenderTarget[0].RenderTargetWriteMask = 0;
  com_ptr_t<ID3D11BlendState> no_writes;
  ASSERT_EQ(device->CreateBlendState(&blend, &no_writes), S_OK);
  auto vs = vertex_shader(fullscreen_vs);
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(1, 1, 1, 1); }");
  bind_target(target);
  const D3D11_RECT rect{0, 0, 2, 2};
  context->RSSetScissorRects(1, &rect);
  context->RSSetState(scissored);
  context->OMSetBlendState(no_writes, nullptr, 0xFFFFFFFF);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  context->Draw(3, 0);  // the scissor and the mask are in GL's state now
  const float red[4] = {1, 0, 0, 1};
  context->ClearRenderTargetView(target.rtv, red);
  for (uint32_t p : read_rgba8(target.texture)) EXPECT_EQ(p, rgba(255, 0, 0, 255));
  // The draw state still applies afterwards: the scissor keeps the draw to 2 × 2 pixels.
  context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFF);
  context->Draw(3, 0);
  const auto pixels = read_rgba8(target.texture);
  EXPECT_EQ(pixels[0], rgba(255, 255, 255, 255));
  EXPECT_EQ(pixels[1 * 8 + 1], rgba(255, 255, 255, 255));
  EXPECT_EQ(pixels[2 * 8 + 2], rgba(255, 0, 0, 255));
}

// An unbound texture slot reads transparent black, an unbound constant buffer zeros.
TEST_F(D3D11ConformanceTest, UnboundResourcesReadZero) {
  auto target = make_target(2, 2);
  auto vs = vertex_shader(fullscreen_vs);
  auto ps = pixel_shader(R"(
Texture2D tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 value; };
float4 main(float4 pos : SV_Position, float2 uv : TEXCOORD0) : SV_Target {
  return tex.Sample(smp, uv) + value + float4(0, 0, 0.5, 0);
})");
  bind_target(target);
  const float white[4] = {1, 1, 1, 1};
  context->ClearRenderTargetView(target.rtv, white);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  context->Draw(3, 0);
  for (uint32_t p : read_rgba8(target.texture)) EXPECT_EQ(p, rgba(0, 0, 128, 0));
}

// Depth range 0..1 and the LESS test: a nearer triangle wins, a farther one is rejected.
TEST_F(D3D11ConformanceTest, DepthTestKeepsNearerFragments) {
  auto target = make_target(4, 4);
  D3D11_TEXTURE2D_DESC depth_desc{4,
                                  4,
                                  1,
                                  1,
                                  DXGI_FORMAT_R32_TYPELESS,
                                  {1, 0},
                                  D3D11_USAGE_DEFAULT,
                                  D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE,
                                  0,
                                  0};
  com_ptr_t<ID3D11Texture2D> depth;
  ASSERT_EQ(device->CreateTexture2D(&depth_desc, nullptr, &depth), S_OK);
  D3D11_DEPTH_STENCIL_VIEW_DESC dsv_desc{};
  dsv_desc.Format = DXGI_FORMAT_D32_FLOAT;
  dsv_desc.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
  com_ptr_t<ID3D11DepthStencilView> dsv;
  ASSERT_EQ(device->CreateDepthStencilView(depth, &dsv_desc, &dsv), S_OK);
  D3D11_SHADER_RESOURCE_VIEW_DESC srv_desc{};
  srv_desc.Format = DXGI_FORMAT_R32_FLOAT;
  srv_desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
  srv_desc.Texture2D = {0, 1};
  com_ptr_t<ID3D11ShaderResourceView> depth_srv;
  ASSERT_EQ(device->CreateShaderResourceView(depth, &srv_desc, &depth_srv), S_OK);

  auto vs = vertex_shader(R"(
cbuffer params : register(b0) { float4 depth_colour; };
float4 main(uint id : SV_VertexID) : SV_Position {
  float2 uv = float2((id << 1) & 2, id & 2);
  return float4(uv * float2(2, -2) + float2(-1, 1), depth_colour.x, 1);
})");
  auto ps = pixel_shader(R"(
cbuffer params : register(b0) { float4 depth_colour; };
float4 main() : SV_Target { return float4(depth_colour.yzw, 1); })");
  bind_target(target, dsv);
  const float black[4] = {0, 0, 0, 1};
  context->ClearRenderTargetView(target.rtv, black);
  context->ClearDepthStencilView(dsv, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  const float draws[3][4] = {{0.5f, 1, 0, 0}, {0.75f, 0, 1, 0}, {0.25f, 0, 0, 1}};
  for (const auto& d : draws) {
    auto cb = constant_buffer(d, 16);
    ID3D11Buffer* buffers[] = {cb};
    context->VSSetConstantBuffers(0, 1, buffers);
    context->PSSetConstantBuffers(0, 1, buffers);
    context->Draw(3, 0);
  }
  for (uint32_t p : read_rgba8(target.texture)) EXPECT_EQ(p, rgba(0, 0, 255, 255));

  // The R32_FLOAT view of the depth target reads the stored depth, 0.25.
  auto copy = make_target(4, 4, DXGI_FORMAT_R32G32B32A32_FLOAT);
  context->OMSetRenderTargets(0, nullptr, nullptr);
  auto read_ps = pixel_shader(R"(
Texture2D<float> depth : register(t0);
float4 main(float4 pos : SV_Position) : SV_Target { return float4(depth.Load(int3(pos.xy, 0)), 0, 0, 1); })");
  bind_target(copy);
  context->PSSetShader(read_ps, nullptr, 0);
  ID3D11ShaderResourceView* views[] = {depth_srv};
  context->PSSetShaderResources(0, 1, views);
  context->Draw(3, 0);
  D3D11_TEXTURE2D_DESC sdesc{
      4, 4, 1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT, {1, 0}, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0};
  com_ptr_t<ID3D11Texture2D> staging;
  ASSERT_EQ(device->CreateTexture2D(&sdesc, nullptr, &staging), S_OK);
  context->CopyResource(staging, copy.texture);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_FLOAT_EQ(static_cast<float*>(mapped.pData)[0], 0.25f);
  context->Unmap(staging, 0);
}

// Clockwise triangles are front faces; back-face culling drops the counter-clockwise one.
TEST_F(D3D11ConformanceTest, ClockwiseIsFrontAndBackFacesAreCulled) {
  struct vertex_t {
    float x, y;
  };
  // Left half clockwise (seen on screen, y up in clip space), right half counter-clockwise.
  const vertex_t vertices[] = {{-1, 1}, {0, 1}, {-1, -1}, {0.01f, 1}, {0.01f, -1}, {1, 1}};
  D3D11_BUFFER_DESC desc{sizeof(vertices), D3D11_USAGE_IMMUTABLE, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
  D3D11_SUBRESOURCE_DATA init{vertices, 0, 0};
  com_ptr_t<ID3D11Buffer> vb;
  ASSERT_EQ(device->CreateBuffer(&desc, &init, &vb), S_OK);
  auto vs = vertex_shader("float4 main(float2 p : POSITION) : SV_Position { return float4(p, 0, 1); }");
  const D3D11_INPUT_ELEMENT_DESC elements[] = {
      {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0}};
  com_ptr_t<ID3D11InputLayout> layout;
  ASSERT_EQ(device->CreateInputLayout(elements, 1, last_vs_code.data(), last_vs_code.size(), &layout), S_OK);
  // A layout that lacks the shader's input is refused.
  const D3D11_INPUT_ELEMENT_DESC wrong[] = {
      {"NORMAL", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0}};
  com_ptr_t<ID3D11InputLayout> refused;
  EXPECT_EQ(device->CreateInputLayout(wrong, 1, last_vs_code.data(), last_vs_code.size(), &refused),
            E_INVALIDARG);
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(0, 1, 0, 1); }");

  auto target = make_target(8, 8);
  bind_target(target);
  const UINT stride = sizeof(vertex_t), offset = 0;
  ID3D11Buffer* buffers[] = {vb};
  context->IASetVertexBuffers(0, 1, buffers, &stride, &offset);
  context->IASetInputLayout(layout);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  const struct {
    D3D11_CULL_MODE cull;
    uint32_t left, right;
  } cases[] = {{D3D11_CULL_BACK, rgba(0, 255, 0, 255), 0},
               {D3D11_CULL_FRONT, 0, rgba(0, 255, 0, 255)},
               {D3D11_CULL_NONE, rgba(0, 255, 0, 255), rgba(0, 255, 0, 255)}};
  for (const auto& c : cases) {
    D3D11_RASTERIZER_DESC rs = CD3D11_RASTERIZER_DESC(D3D11_DEFAULT);
    rs.CullMode = c.cull;
    com_ptr_t<ID3D11RasterizerState> state;
    ASSERT_EQ(device->CreateRasterizerState(&rs, &state), S_OK);
    context->RSSetState(state);
    const float clear[4] = {0, 0, 0, 0};
    context->ClearRenderTargetView(target.rtv, clear);
    context->Draw(6, 0);
    const auto pixels = read_rgba8(target.texture);
    // Pixel (0, 4) lies in the left triangle, (5, 1) in the right one.
    EXPECT_EQ(pixels[4 * 8 + 0], c.left) << c.cull;
    EXPECT_EQ(pixels[1 * 8 + 5], c.right) << c.cull;
  }
}

// Equal descriptions share one state object.
TEST_F(D3D11ConformanceTest, EqualStateDescriptionsShareOneObject) {
  D3D11_SAMPLER_DESC desc = CD3D11_SAMPLER_DESC(D3D11_DEFAULT);
  com_ptr_t<ID3D11SamplerState> a, b, c;
  ASSERT_EQ(device->CreateSamplerState(&desc, &a), S_OK);
  ASSERT_EQ(device->CreateSamplerState(&desc, &b), S_OK);
  desc.AddressU = D3D11_TEXTURE_ADDRESS_WRAP;
  ASSERT_EQ(device->CreateSamplerState(&desc, &c), S_OK);
  EXPECT_EQ(a.p, b.p);
  EXPECT_NE(a.p, c.p);
}

// Empty or invalid bytecode makes shader creation fail with an HRESULT.
TEST_F(D3D11ConformanceTest, ShaderCreationFailsOnEmptyOrInvalidCode) {
  com_ptr_t<ID3D11PixelShader> shader;
  EXPECT_EQ(device->CreatePixelShader(nullptr, 0, nullptr, &shader), E_INVALIDARG);
  const uint32_t junk[4] = {1, 2, 3, 4};
  EXPECT_EQ(device->CreatePixelShader(junk, sizeof(junk), nullptr, &shader), E_INVALIDARG);
  EXPECT_EQ(shader.p, nullptr);
}

}  // namespace
