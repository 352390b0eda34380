// Pipeline-state presets: every preset's description written out by hand, the sharing of equal
// descriptions, the preset ranges and refused descriptions.

#include <cfloat>

#include "common/graphics_test_support.h"

namespace {

using graphics_test::graphics_fixture_t;

class GraphicsPresetsTest : public graphics_fixture_t {};

struct rasterizer_row_t {
  int id;
  D3D11_FILL_MODE fill;
  D3D11_CULL_MODE cull;
};

TEST_F(GraphicsPresetsTest, RasterizerPresetsHaveTheirFillAndCullAndSharedDefaults) {
  const rasterizer_row_t rows[] = {
      {1, D3D11_FILL_SOLID, D3D11_CULL_BACK},
      {2, D3D11_FILL_SOLID, D3D11_CULL_NONE},
      {3, D3D11_FILL_SOLID, D3D11_CULL_FRONT},
      {4, D3D11_FILL_WIREFRAME, D3D11_CULL_NONE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    auto state = resources->get_rasterizer_state(row.id);
    ASSERT_TRUE(state);
    ASSERT_TRUE(state->state);
    const auto& d = state->desc;
    EXPECT_EQ(d.FillMode, row.fill);
    EXPECT_EQ(d.CullMode, row.cull);
    EXPECT_EQ(d.FrontCounterClockwise, FALSE);
    EXPECT_EQ(d.DepthBias, 0);
    EXPECT_EQ(d.DepthBiasClamp, 0.0f);
    EXPECT_EQ(d.SlopeScaledDepthBias, 0.0f);
    EXPECT_EQ(d.DepthClipEnable, TRUE);
    EXPECT_EQ(d.ScissorEnable, FALSE);
    EXPECT_EQ(d.MultisampleEnable, FALSE);
    EXPECT_EQ(d.AntialiasedLineEnable, FALSE);
  }
}

struct target_row_t {
  BOOL enable;
  D3D11_BLEND src, dest, src_alpha, dest_alpha;
  UINT8 mask;
};
constexpr target_row_t default_target{FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,
                                      D3D11_BLEND_ONE, D3D11_BLEND_ZERO, 0xF};

struct blend_row_t {
  int id;
  BOOL independent;
  target_row_t target0;
  target_row_t target1;
};

TEST_F(GraphicsPresetsTest, BlendPresetsHaveTheirTargetsAndDefaultsElsewhere) {
  const blend_row_t rows[] = {
      {1, FALSE, default_target, default_target},
      {2,
       TRUE,
       {TRUE, D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0xF},
       default_target},
      {3, FALSE, default_target, default_target},
      {4,
       FALSE,
       {TRUE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0xF},
       default_target},
      {5,
       FALSE,
       {TRUE, D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0x0},
       default_target},
      {6,
       TRUE,
       {TRUE, D3D11_BLEND_ONE, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE, D3D11_BLEND_INV_SRC_ALPHA, 0xF},
       default_target},
      {7,
       TRUE,
       {TRUE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0xF},
       {TRUE, D3D11_BLEND_ZERO, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ZERO, D3D11_BLEND_INV_SRC_ALPHA, 0xF}},
      {8,
       FALSE,
       {TRUE, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA,
        D3D11_BLEND_DEST_ALPHA, 0x7},
       default_target},
  };
  auto expect_target = [](const D3D11_RENDER_TARGET_BLEND_DESC& t, const target_row_t& row) {
    EXPECT_EQ(t.BlendEnable, row.enable);
    EXPECT_EQ(t.SrcBlend, row.src);
    EXPECT_EQ(t.DestBlend, row.dest);
    EXPECT_EQ(t.BlendOp, D3D11_BLEND_OP_ADD);
    EXPECT_EQ(t.SrcBlendAlpha, row.src_alpha);
    EXPECT_EQ(t.DestBlendAlpha, row.dest_alpha);
    EXPECT_EQ(t.BlendOpAlpha, D3D11_BLEND_OP_ADD);
    EXPECT_EQ(t.RenderTargetWriteMask, row.mask);
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    auto state = resources->get_blend_state(row.id);
    ASSERT_TRUE(state);
    ASSERT_TRUE(state->state);
    EXPECT_EQ(state->desc.AlphaToCoverageEnable, FALSE);
    EXPECT_EQ(state->desc.IndependentBlendEnable, row.independent);
    expect_target(state->desc.RenderTarget[0], row.target0);
    expect_target(state->desc.RenderTarget[1], row.target1);
    for (int i = 2; i < 8; ++i) expect_target(state->desc.RenderTarget[i], default_target);
  }
}

struct depth_row_t {
  int id;
  BOOL enable;
  D3D11_DEPTH_WRITE_MASK write;
  D3D11_COMPARISON_FUNC func;
};

TEST_F(GraphicsPresetsTest, DepthStencilPresetsHaveTheirDepthTestAndStencilOff) {
  const depth_row_t rows[] = {
      {1, TRUE, D3D11_DEPTH_WRITE_MASK_ALL, D3D11_COMPARISON_LESS},
      {2, FALSE, D3D11_DEPTH_WRITE_MASK_ALL, D3D11_COMPARISON_LESS},
      {3, TRUE, D3D11_DEPTH_WRITE_MASK_ZERO, D3D11_COMPARISON_LESS},
      {4, TRUE, D3D11_DEPTH_WRITE_MASK_ZERO, D3D11_COMPARISON_EQUAL},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    auto state = resources->get_depth_stencil_state(row.id);
    ASSERT_TRUE(state);
    ASSERT_TRUE(state->state);
    const auto& d = state->desc;
    EXPECT_EQ(d.DepthEnable, row.enable);
    EXPECT_EQ(d.DepthWriteMask, row.write);
    EXPECT_EQ(d.DepthFunc, row.func);
    EXPECT_EQ(d.StencilEnable, FALSE);
    EXPECT_EQ(d.StencilReadMask, 0xFF);
    EXPECT_EQ(d.StencilWriteMask, 0xFF);
    for (const auto* face : {&d.FrontFace, &d.BackFace}) {
      EXPECT_EQ(face->StencilFailOp, D3D11_STENCIL_OP_KEEP);
      EXPECT_EQ(face->StencilDepthFailOp, D3D11_STENCIL_OP_KEEP);
      EXPECT_EQ(face->StencilPassOp, D3D11_STENCIL_OP_KEEP);
      EXPECT_EQ(face->StencilFunc, D3D11_COMPARISON_ALWAYS);
    }
  }
}

struct sampler_row_t {
  int id;
  D3D11_FILTER filter;
  D3D11_TEXTURE_ADDRESS_MODE address;
};

TEST_F(GraphicsPresetsTest, SamplerPresetsHaveTheirFilterAndAddressAndFullLodRange) {
  const sampler_row_t rows[] = {
      {1, D3D11_FILTER_MIN_MAG_MIP_LINEAR, D3D11_TEXTURE_ADDRESS_CLAMP},
      {2, D3D11_FILTER_MIN_MAG_MIP_POINT, D3D11_TEXTURE_ADDRESS_CLAMP},
      {3, D3D11_FILTER_MIN_MAG_MIP_LINEAR, D3D11_TEXTURE_ADDRESS_WRAP},
      {4, D3D11_FILTER_MIN_MAG_MIP_LINEAR, D3D11_TEXTURE_ADDRESS_MIRROR},
      {5, D3D11_FILTER_MIN_MAG_MIP_LINEAR, D3D11_TEXTURE_ADDRESS_CLAMP},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    auto state = resources->get_sampler_state(row.id);
    ASSERT_TRUE(state);
    ASSERT_TRUE(state->state);
    const auto& d = state->desc;
    EXPECT_EQ(d.Filter, row.filter);
    EXPECT_EQ(d.AddressU, row.address);
    EXPECT_EQ(d.AddressV, row.address);
    EXPECT_EQ(d.AddressW, row.address);
    EXPECT_EQ(d.MipLODBias, 0.0f);
    EXPECT_EQ(d.MaxAnisotropy, 1u);
    EXPECT_EQ(d.ComparisonFunc, D3D11_COMPARISON_NEVER);
    for (float c : d.BorderColor) EXPECT_EQ(c, 1.0f);
    EXPECT_EQ(d.MinLOD, -FLT_MAX);
    EXPECT_EQ(d.MaxLOD, FLT_MAX);
  }
}

TEST_F(GraphicsPresetsTest, EqualPresetsShareOneRecordAndEveryMadePresetIsAppendedOnce) {
  EXPECT_EQ(resources->get_blend_state(3), resources->get_blend_state(1));
  EXPECT_EQ(resources->get_sampler_state(5), resources->get_sampler_state(1));
  EXPECT_NE(resources->get_blend_state(2), resources->get_blend_state(6));

  // Preset positions plus position 0, then each distinct preset once more.
  const auto& lists = resources->states();
  EXPECT_EQ(lists.rasterizer_states.size(), 5u + 4u);
  EXPECT_EQ(lists.blend_states.size(), 9u + 7u);
  EXPECT_EQ(lists.depth_stencil_states.size(), 5u + 4u);
  EXPECT_EQ(lists.sampler_states.size(), 6u + 4u);
  EXPECT_FALSE(lists.rasterizer_states[0]);
  EXPECT_FALSE(lists.blend_states[0]);
  // The appended copies follow the creation order: blend 1, 2, 6, 4, 5, 7, 8.
  const int blend_order[] = {1, 2, 6, 4, 5, 7, 8};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(lists.blend_states[9 + i], resources->get_blend_state(blend_order[i]));
  const int sampler_order[] = {1, 3, 4, 2};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(lists.sampler_states[6 + i], resources->get_sampler_state(sampler_order[i]));
}

TEST_F(GraphicsPresetsTest, IdsOutsideThePresetRangesGiveEmptyHandles) {
  EXPECT_FALSE(resources->get_rasterizer_state(0));
  EXPECT_FALSE(resources->get_rasterizer_state(5));
  EXPECT_FALSE(resources->get_rasterizer_state(-1));
  EXPECT_TRUE(resources->get_blend_state(8));
  EXPECT_EQ(resources->get_blend_state(8)->desc.RenderTarget[0].RenderTargetWriteMask, 0x7);
  EXPECT_FALSE(resources->get_blend_state(9));
  EXPECT_FALSE(resources->get_depth_stencil_state(5));
  EXPECT_FALSE(resources->get_sampler_state(0));
  EXPECT_FALSE(resources->get_sampler_state(6));
}

TEST_F(GraphicsPresetsTest, CreatingAPresetDescriptionReturnsThePresetRecord) {
  const size_t before = resources->states().depth_stencil_states.size();
  auto state = resources->create_depth_stencil_state(depth_stencil_preset_desc(3));
  EXPECT_EQ(state, resources->get_depth_stencil_state(3));
  EXPECT_EQ(resources->states().depth_stencil_states.size(), before);
}

TEST_F(GraphicsPresetsTest, ANewDescriptionIsAppendedOnceAndSharedAfterwards) {
  D3D11_SAMPLER_DESC desc = sampler_preset_desc(1);
  desc.MaxAnisotropy = 4;
  desc.Filter = D3D11_FILTER_ANISOTROPIC;
  const size_t before = resources->states().sampler_states.size();
  auto first = resources->create_sampler_state(desc);
  auto second = resources->create_sampler_state(desc);
  ASSERT_TRUE(first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(resources->states().sampler_states.size(), before + 1);
  // Only the border colour differs: a different record.
  desc.BorderColor[2] = 0.5f;
  EXPECT_NE(resources->create_sampler_state(desc), first);
}

TEST_F(GraphicsPresetsTest, ARefusedDescriptionGivesAnEmptyHandleAndLeavesTheListAlone) {
  D3D11_RASTERIZER_DESC desc = rasterizer_preset_desc(1);
  desc.FillMode = static_cast<D3D11_FILL_MODE>(0);
  const size_t before = resources->states().rasterizer_states.size();
  EXPECT_FALSE(resources->create_rasterizer_state(desc));
  EXPECT_EQ(resources->states().rasterizer_states.size(), before);
}

TEST_F(GraphicsPresetsTest, ReleaseAllEmptiesTheListsWhileHeldRecordsLiveOn) {
  auto held = resources->get_blend_state(4);
  resources->release_all();
  EXPECT_TRUE(resources->states().blend_states.empty());
  EXPECT_FALSE(resources->get_blend_state(4));
  ASSERT_TRUE(held);
  EXPECT_TRUE(held->state);
  EXPECT_EQ(held.use_count(), 1);
}

}  // namespace
