// Blending: every factor and operation the engine's blend presets use, on two float targets so the
// expected values are exact, and the sharing of equal blend descriptions.

#include <array>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11BlendTest : public device_fixture_t {};

using colour_t = std::array<float, 4>;

D3D11_RENDER_TARGET_BLEND_DESC entry(BOOL enable, D3D11_BLEND src, D3D11_BLEND dst, D3D11_BLEND src_alpha,
                                     D3D11_BLEND dst_alpha, UINT8 mask = 0xF,
                                     D3D11_BLEND_OP op = D3D11_BLEND_OP_ADD,
                                     D3D11_BLEND_OP op_alpha = D3D11_BLEND_OP_ADD) {
  return {enable, src, dst, op, src_alpha, dst_alpha, op_alpha, mask};
}

const D3D11_RENDER_TARGET_BLEND_DESC default_entry =
    entry(FALSE, D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_ONE, D3D11_BLEND_ZERO);

D3D11_BLEND_DESC blend_desc(BOOL independent, const D3D11_RENDER_TARGET_BLEND_DESC& rt0,
                            const D3D11_RENDER_TARGET_BLEND_DESC& rt1 = default_entry) {
  D3D11_BLEND_DESC desc{};
  desc.AlphaToCoverageEnable = FALSE;
  desc.IndependentBlendEnable = independent;
  desc.RenderTarget[0] = rt0;
  desc.RenderTarget[1] = rt1;
  for (int i = 2; i < 8; ++i) desc.RenderTarget[i] = default_entry;
  return desc;
}

// The pixel shader writes `source` to both targets, which were cleared to `dest`.
constexpr colour_t source = {0.5f, 0.25f, 1.0f, 0.75f};
constexpr colour_t dest = {0.25f, 0.5f, 0.125f, 0.5f};

struct blend_case_t {
  const char* name;
  D3D11_BLEND_DESC desc;
  colour_t target0, target1;
};

// Worked by hand from source (0.5, 0.25, 1, 0.75) and dest (0.25, 0.5, 0.125, 0.5): source alpha
// 0.75, inverse 0.25; dest alpha 0.5. Float targets neither clamp nor round these values.
std::vector<blend_case_t> blend_cases() {
  using B = D3D11_BLEND;
  const B zero = D3D11_BLEND_ZERO, one = D3D11_BLEND_ONE, sa = D3D11_BLEND_SRC_ALPHA,
          isa = D3D11_BLEND_INV_SRC_ALPHA, da = D3D11_BLEND_DEST_ALPHA;
  const colour_t unblended = source;
  const colour_t one_one = {0.75f, 0.75f, 1.125f, 1.25f};
  return {
      // Presets 1 and 3: no blending anywhere.
      {"default", blend_desc(FALSE, default_entry), unblended, unblended},
      // Preset 2: colour src·SA + dst·ISA, alpha src + dst; target 1 unblended.
      {"srcalpha",
       blend_desc(TRUE, entry(TRUE, sa, isa, one, one)),
       {0.4375f, 0.3125f, 0.78125f, 1.25f},
       unblended},
      // Preset 4: without independent blending target 1 blends like target 0.
      {"oneone", blend_desc(FALSE, entry(TRUE, one, one, one, one)), one_one, one_one},
      // Preset 5: nothing written, on either target.
      {"colorwritesoff", blend_desc(FALSE, entry(TRUE, one, zero, one, one, 0x0)), dest, dest},
      // Preset 6: colour src + dst·ISA, alpha 0.75 + 0.5·0.25.
      {"premultiplied",
       blend_desc(TRUE, entry(TRUE, one, isa, one, isa)),
       {0.5625f, 0.375f, 1.03125f, 0.875f},
       unblended},
      // Preset 7: target 0 sums, target 1 keeps dst·ISA.
      {"weightedblend",
       blend_desc(TRUE, entry(TRUE, one, one, one, one), entry(TRUE, zero, isa, zero, isa)),
       one_one,
       {0.0625f, 0.125f, 0.03125f, 0.125f}},
      // Preset 8: colour src·ISA + dst·SA; alpha is masked off and keeps dst.
      {"weightedblendresolve",
       blend_desc(FALSE, entry(TRUE, isa, sa, isa, da, 0x7)),
       {0.3125f, 0.4375f, 0.34375f, 0.5f},
       {0.3125f, 0.4375f, 0.34375f, 0.5f}},
      // DEST_ALPHA where it reaches the result: alpha src·ISA + dst·DA, colour src·DA.
      {"dest alpha factors",
       blend_desc(FALSE, entry(TRUE, da, zero, isa, da)),
       {0.25f, 0.125f, 0.5f, 0.4375f},
       {0.25f, 0.125f, 0.5f, 0.4375f}},
      // The other operations, with ONE/ONE factors.
      {"subtract",
       blend_desc(TRUE,
                  entry(TRUE, one, one, one, one, 0xF, D3D11_BLEND_OP_SUBTRACT, D3D11_BLEND_OP_SUBTRACT)),
       {0.25f, -0.25f, 0.875f, 0.25f},
       unblended},
      {"reverse subtract",
       blend_desc(TRUE, entry(TRUE, one, one, one, one, 0xF, D3D11_BLEND_OP_REV_SUBTRACT,
                              D3D11_BLEND_OP_REV_SUBTRACT)),
       {-0.25f, 0.25f, -0.875f, -0.25f},
       unblended},
      {"min and max",
       blend_desc(TRUE, entry(TRUE, one, one, one, one, 0xF, D3D11_BLEND_OP_MIN, D3D11_BLEND_OP_MAX)),
       {0.25f, 0.25f, 0.125f, 0.75f},
       unblended},
      // A partial mask keeps the channels it leaves out.
      {"red and alpha only",
       blend_desc(FALSE, entry(FALSE, one, zero, one, zero, 0x9)),
       {0.5f, 0.5f, 0.125f, 0.75f},
       {0.5f, 0.5f, 0.125f, 0.75f}},
  };
}

TEST_F(D3D11BlendTest, PresetFactorsAndOperationsGiveHandWorkedResults) {
  auto t0 = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto t1 = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto ps = pixel_shader(R"(
cbuffer params : register(b0) { float4 colour; };
struct ps_out { float4 a : SV_Target0; float4 b : SV_Target1; };
ps_out main() { ps_out o; o.a = colour; o.b = colour; return o; })");
  auto cb = constant_buffer(source.data(), 16);
  ID3D11Buffer* cbs[] = {cb};
  context->PSSetConstantBuffers(0, 1, cbs);
  ID3D11RenderTargetView* rtvs[] = {t0.rtv, t1.rtv};
  const D3D11_VIEWPORT viewport{0, 0, 2, 2, 0, 1};
  context->RSSetViewports(1, &viewport);

  for (const auto& c : blend_cases()) {
    SCOPED_TRACE(c.name);
    com_ptr_t<ID3D11BlendState> state;
    ASSERT_EQ(device->CreateBlendState(&c.desc, &state), S_OK);
    context->OMSetRenderTargets(2, rtvs, nullptr);
    context->ClearRenderTargetView(t0.rtv, dest.data());
    context->ClearRenderTargetView(t1.rtv, dest.data());
    context->OMSetBlendState(state, nullptr, 0xFFFFFFFF);
    draw_fullscreen(ps);
    const colour_t* expected[] = {&c.target0, &c.target1};
    ID3D11Texture2D* textures[] = {t0.texture, t1.texture};
    for (int t = 0; t < 2; ++t) {
      const auto texels = read_texels<colour_t>(textures[t]);
      ASSERT_EQ(texels.size(), 4u);
      for (int ch = 0; ch < 4; ++ch)
        EXPECT_FLOAT_EQ(texels[3][ch], (*expected[t])[ch]) << "target " << t << " channel " << ch;
    }
  }
}

// The source-alpha preset on the 8-bit target the engine's LDR outputs use: results round to
// the nearest of 255 steps and the sum clamps at 1.
TEST_F(D3D11BlendTest, UnormTargetClampsAndRounds) {
  auto target = make_target(1, 1);
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(1.0, 0.2, 0.0, 0.6); }");
  const D3D11_BLEND_DESC desc = blend_desc(
      TRUE, entry(TRUE, D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE, D3D11_BLEND_ONE));
  com_ptr_t<ID3D11BlendState> state;
  ASSERT_EQ(device->CreateBlendState(&desc, &state), S_OK);
  bind_target(target);
  const float clear[4] = {0.0f, 1.0f, 1.0f, 0.8f};
  context->ClearRenderTargetView(target.rtv, clear);
  context->OMSetBlendState(state, nullptr, 0xFFFFFFFF);
  draw_fullscreen(ps);
  // r = 0.6, g = 0.12 + 0.4 = 0.52, b = 0.4, a = 0.6 + 0.8 clamped to 1.
  const uint32_t p = read_rgba8(target.texture)[0];
  const int expected[4] = {153, 133, 102, 255};
  for (int ch = 0; ch < 4; ++ch) EXPECT_NEAR(int((p >> (8 * ch)) & 0xFF), expected[ch], 1) << ch;
}

// The presets in the order the resources service makes them: "ignorealpha" repeats "default"
// and gets its object; the rest are distinct objects; a state alive in a binding survives the
// caller's release and a later equal description finds it.
TEST_F(D3D11BlendTest, EqualDescriptionsShareOneObject) {
  const auto cases = blend_cases();
  std::vector<com_ptr_t<ID3D11BlendState>> states(cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    ASSERT_EQ(device->CreateBlendState(&cases[i].desc, &states[i]), S_OK);
  for (size_t i = 0; i < cases.size(); ++i)
    for (size_t j = i + 1; j < cases.size(); ++j)
      EXPECT_NE(states[i].p, states[j].p) << cases[i].name << " " << cases[j].name;

  com_ptr_t<ID3D11BlendState> ignorealpha;
  const D3D11_BLEND_DESC default_desc = CD3D11_BLEND_DESC(D3D11_DEFAULT);
  ASSERT_EQ(device->CreateBlendState(&default_desc, &ignorealpha), S_OK);
  EXPECT_EQ(ignorealpha.p, states[0].p);
  D3D11_BLEND_DESC got{};
  ignorealpha->GetDesc(&got);
  EXPECT_EQ(got.RenderTarget[0].SrcBlend, D3D11_BLEND_ONE);
  EXPECT_EQ(got.RenderTarget[0].RenderTargetWriteMask, 0xF);

  // Bound and released by the caller: the context's reference keeps it, and it is still shared.
  ID3D11BlendState* bound = states[1].p;
  context->OMSetBlendState(bound, nullptr, 0xFFFFFFFF);
  states[1].Release();
  com_ptr_t<ID3D11BlendState> again;
  ASSERT_EQ(device->CreateBlendState(&cases[1].desc, &again), S_OK);
  EXPECT_EQ(again.p, bound);

  // An operation outside the enumeration is refused.
  D3D11_BLEND_DESC bad = cases[2].desc;
  bad.RenderTarget[0].BlendOp = D3D11_BLEND_OP(0);
  com_ptr_t<ID3D11BlendState> refused;
  EXPECT_EQ(device->CreateBlendState(&bad, &refused), E_INVALIDARG);
  EXPECT_EQ(refused.p, nullptr);
  context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFF);
}

}  // namespace
