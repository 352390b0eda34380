// Geometry shaders: points in, quads out, with a per-point colour passed from the vertex stage
// through the geometry stage to the pixel stage, and the interpolated outputs of the geometry stage.

#include <array>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11GeometryShaderTest : public device_fixture_t {
 protected:
  // Clears `target` and draws the two points through the quad-making geometry stage and `ps`.
  void draw_quads(const target_t& target, ID3D11PixelShader* ps);
};

// Two points in pixel coordinates of an 8 × 8 target, each at the corner shared by four pixels.
// The geometry shader spans a square of one pixel on each side of the point, so point (2, 2) covers
// pixels 1..2 × 1..2 and point (6, 5) pixels 5..6 × 4..5.
const char* points_vs = R"(
struct vs_out { float4 pos : SV_Position; float4 colour : COLOR0; };
vs_out main(uint id : SV_VertexID) {
  vs_out o;
  float2 pixel = id == 0 ? float2(2, 2) : float2(6, 5);
  o.pos = float4(pixel.x / 4 - 1, 1 - pixel.y / 4, 0, 1);
  o.colour = id == 0 ? float4(1, 0, 0, 1) : float4(0, 0, 1, 1);
  return o;
})";

const char* quads_gs = R"(
struct vs_out { float4 pos : SV_Position; float4 colour : COLOR0; };
struct gs_out { float4 pos : SV_Position; float4 colour : COLOR0; float2 uv : TEXCOORD0; };
[maxvertexcount(4)]
void main(point vs_out input[1], inout TriangleStream<gs_out> stream) {
  const float2 corners[4] = { float2(-1, 1), float2(1, 1), float2(-1, -1), float2(1, -1) };
  for (int i = 0; i < 4; ++i) {
    gs_out o;
    o.pos = input[0].pos + float4(corners[i] * 0.25, 0, 0);
    o.colour = input[0].colour;
    o.uv = corners[i] * 0.5 + 0.5;
    stream.Append(o);
  }
})";

const char* colour_ps = R"(
float4 main(float4 pos : SV_Position, float4 colour : COLOR0) : SV_Target { return colour; })";

void D3D11GeometryShaderTest::draw_quads(const target_t& target, ID3D11PixelShader* ps) {
  auto vs = vertex_shader(points_vs);
  auto gs = geometry_shader(quads_gs);
  bind_target(target);
  const float clear[4] = {0, 0, 0, 0};
  context->ClearRenderTargetView(target.rtv, clear);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
  context->VSSetShader(vs, nullptr, 0);
  context->GSSetShader(gs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  context->Draw(2, 0);
}

TEST_F(D3D11GeometryShaderTest, PointsBecomeQuadsCarryingTheirColour) {
  auto target = make_target(8, 8);
  draw_quads(target, pixel_shader(colour_ps));
  const auto pixels = read_rgba8(target.texture);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint32_t expected = 0;
      if (x >= 1 && x <= 2 && y >= 1 && y <= 2) expected = rgba(255, 0, 0, 255);
      if (x >= 5 && x <= 6 && y >= 4 && y <= 5) expected = rgba(0, 0, 255, 255);
      EXPECT_EQ(pixels[y * 8 + x], expected) << x << "," << y;
    }
  }

  // Unbound again, the stage leaves later triangle draws alone.
  auto solid = pixel_shader("float4 main() : SV_Target { return float4(0, 1, 0, 1); }");
  draw_fullscreen(solid);
  for (uint32_t p : read_rgba8(target.texture)) EXPECT_EQ(p, rgba(0, 255, 0, 255));
}

// The geometry stage's own outputs reach the pixel shader: the interpolated quad coordinate.
TEST_F(D3D11GeometryShaderTest, GeometryOutputsAreInterpolatedForThePixelShader) {
  auto target = make_target(8, 8, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto ps = pixel_shader(R"(
float4 main(float4 pos : SV_Position, float4 colour : COLOR0, float2 uv : TEXCOORD0) : SV_Target {
  return float4(uv, colour.b, 1);
})");
  draw_quads(target, ps);
  context->GSSetShader(nullptr, nullptr, 0);
  const auto texels = read_texels<std::array<float, 4>>(target.texture);
  // The quad of the second point spans pixels 5..6 × 4..5; uv runs 0..1 left to right across
  // x 5..7 and 1..0 top to bottom across y 4..6 (the first corner is the top left with v = 1).
  const struct {
    int x, y;
    float u, v;
  } samples[] = {{5, 4, 0.25f, 0.75f}, {6, 4, 0.75f, 0.75f}, {5, 5, 0.25f, 0.25f}, {6, 5, 0.75f, 0.25f}};
  for (const auto& s : samples) {
    const auto& t = texels[s.y * 8 + s.x];
    EXPECT_NEAR(t[0], s.u, 1e-4) << s.x << "," << s.y;
    EXPECT_NEAR(t[1], s.v, 1e-4) << s.x << "," << s.y;
    EXPECT_EQ(t[2], 1.0f);
  }
}

}  // namespace
