// The GPU-free decisions of frame rendering: block and camera fades, the fade weight of a chain
// and how the last chain is presented.

#include <gtest/gtest.h>

#include "engine/engine_presentation.h"
#include "common/engine_test_support.h"

namespace {

using FrameDecisionsTest = engine_fixture_t;

TEST_F(FrameDecisionsTest, BlockFadeRisesAndFallsOverTheFadeLength) {
  auto block = make_test_block(1, 10, 20);
  engine->settings.block_fade_in = 0.5f;
  struct case_t {
    int mode;
    float t;
    std::optional<float> weight;
  };
  const case_t cases[] = {
      {1, 10.25f, 0.5f},      {2, 10.25f, 0.5f}, {2, 10.125f, 0.15625f}, {1, 19.75f, 0.5f},
      {2, 19.875f, 0.15625f}, {0, 10.1f, 1.0f},  {7, 19.9f, 1.0f},       {1, 15.0f, std::nullopt},
  };
  for (const case_t& c : cases) {
    engine->settings.fade_mode = c.mode;
    music.position = c.t;
    std::optional<float> weight = block->get_block_fade();
    ASSERT_EQ(weight.has_value(), c.weight.has_value()) << c.mode << " at " << c.t;
    if (weight) {
      EXPECT_FLOAT_EQ(*weight, *c.weight) << c.mode << " at " << c.t;
    }
  }
}

TEST_F(FrameDecisionsTest, CameraFadeSkipsTheBlockEdgesWhenTheBlockFadesItself) {
  auto block = make_test_block(1, 0, 10);
  block->camera_spans = {{5, nullptr}, {10, nullptr}};
  engine->settings.fade_mode = 1;
  engine->settings.camera_fade_in = 2.0f;
  engine->settings.block_fade_in = 0.5f;
  struct case_t {
    float t;
    std::optional<float> weight;
  };
  for (const case_t& c : {case_t{6, 0.5f}, case_t{1, std::nullopt}, case_t{4, 0.5f}, case_t{9, std::nullopt},
                          case_t{12, std::nullopt}}) {
    music.position = c.t;
    std::optional<float> weight = block->get_camera_fade();
    ASSERT_EQ(weight.has_value(), c.weight.has_value()) << c.t;
    if (weight) {
      EXPECT_FLOAT_EQ(*weight, *c.weight) << c.t;
    }
  }
  // Without a block fade the first span fades in and the last fades out.
  engine->settings.block_fade_in = 0.0f;
  music.position = 1;
  EXPECT_FLOAT_EQ(block->get_camera_fade().value_or(-1), 0.5f);
  music.position = 9;
  EXPECT_FLOAT_EQ(block->get_camera_fade().value_or(-1), 0.5f);
}

TEST(FrameWeightTest, BlockFadeWinsOverAnUnusedCameraFade) {
  EXPECT_FLOAT_EQ(chain_fade_weight(0.25f, 0.75f).value(), 0.25f);
  EXPECT_FLOAT_EQ(chain_fade_weight(std::nullopt, 0.75f).value(), 0.75f);
  EXPECT_FLOAT_EQ(chain_fade_weight(0.25f, std::nullopt).value(), 0.25f);
  EXPECT_FALSE(chain_fade_weight(std::nullopt, std::nullopt));
}

TEST_F(FrameDecisionsTest, GammaAndFxaaFollowTonemappingAndTheRootsFxaaWish) {
  auto root = make_test_block(1, 0, 10);
  struct case_t {
    bool tonemapping;
    bool root_fxaa;
    bool member_fxaa;
    bool gamma;
    bool fxaa;
  };
  const case_t cases[] = {
      {true, true, false, false, true},   {false, false, false, true, false},
      {true, false, false, false, false}, {false, true, true, true, false},
      {true, true, true, false, false},
  };
  for (const case_t& c : cases) {
    render_chain_t chain;
    chain.root = root.get();
    chain.has_tonemapping = c.tonemapping;
    chain.has_fxaa = c.member_fxaa;
    root->do_fxaa->value.set(c.root_fxaa);
    presentation_t p = choose_presentation(chain, engine->settings);
    EXPECT_EQ(p.gamma, c.gamma) << c.tonemapping << c.root_fxaa << c.member_fxaa;
    EXPECT_EQ(p.fxaa, c.fxaa) << c.tonemapping << c.root_fxaa << c.member_fxaa;
  }
}

}  // namespace
