// A pass whose shader file changes while it plays: the frames after the new version becomes ready
// draw with the pass's input and the project's animated values, exactly as a fresh load of the new
// version draws them.
#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <memory>
#include <string>
#include <vector>

#include "common/shader_manager_fixture.h"
#include "files/toml_file.h"
#include "graphics/render_target.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_table.h"
#include "text/serial_reader.h"
#include "variables/animation.h"
#include "variables/serializer_aux.h"
#include "variables/variable_registry.h"

namespace {

constexpr int W = 4, H = 2;

// The metadata defaults differ from what the project gives, so a version that lost the project's
// variables draws visibly otherwise.
std::string metadata(float speed) {
  return fmt::sprintf(
      R"(cbuffers = [ { Params = [ { name = "tint", var = "tint", default = float4(1, 1, 1, 1) },
                                 { name = "speed", var = "speed", default = %g } ] } ]
)",
      speed);
}

class RenderPassReloadTest : public shader_test::shader_manager_fixture_t {
 protected:
  void SetUp() override {
    shader_manager_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    write("shaders/test.toml", metadata(2.0f));
    start_manager();
    input = target();
    const float colour[4] = {0.5f, 0.25f, 1.0f, 1.0f};
    runtime->set_render_target(input.get(), colour, false);
    runtime->set_render_target(nullptr, nullptr, false);
  }

  std::shared_ptr<render_target_t> target() {
    return resources->create_render_target(RT_SIZE_EXPLICIT, W, H, DXGI_FORMAT_R32G32B32A32_FLOAT, RT_SRV);
  }

  // A shader block's pass as the project saved it: a static tint and a speed animated as t / 4.
  std::shared_ptr<render_pass_t> load_project_pass() {
    auto root = serial::parse_text(R"(
type = 1
vs = {type = 1, filename = "shaders/default.hlsl", entrypoint = "VsQuad"}
ps = {type = 4, filename = "shaders/test.hlsl", entrypoint = "PsTinted"}
)",
                                   "");
    EXPECT_TRUE(root.has_value());
    if (!root) return nullptr;
    serial::value_t* vars = (*root)->children.at("ps")->add("vars", serial::value_kind_t::table);
    auto speed = construct_variable("speed", VT_FLOAT, 0.0f);
    speed->animation = construct_animation(speed.get());
    speed->animation->interpolation = INTERPOLATION_EXPRESSION;
    set_channel_expression(*speed->animation, 0, "t * 0.25");
    save_variable(*vars->add("Params:speed", serial::value_kind_t::table), *speed);
    save_variable(*vars->add("Params:tint", serial::value_kind_t::table),
                  *construct_variable("tint", VT_FLOAT4, float4{0.0f, 0.5f, 0.25f, 1.0f}));
    auto pass = make_render_pass();
    EXPECT_TRUE(load_render_pass(**root, *pass));
    return pass;
  }

  // As a block animates what its pass publishes, before it draws.
  void animate(render_pass_t& pass, float t) {
    variable_registry_t registry("block");
    pass.collect_variables(registry);
    std::vector<registered_variable_t> variables;
    registry.flatten(variables);
    for (const registered_variable_t& entry : variables)
      if (entry.flags & REGISTERED_EVALUATED) evaluate_variable_at(*entry.variable, t);
  }

  // One frame as a shader block plays it: animate, bind the input, draw.
  std::vector<float4> play_frame(render_pass_t& pass, float t) {
    animate(pass, t);
    render_context_t context;
    context.input_targets = {input.get()};
    pass.bind_input_textures(context);
    auto out = target();
    const float black[4] = {0, 0, 0, 0};
    render_target_t* previous = runtime->set_render_target(out.get(), black, false);
    EXPECT_TRUE(pass.is_ready());
    pass.draw_fullscreen();
    runtime->set_render_target(previous, nullptr, false);
    return read_texels<float4>(out->texture);
  }

  // As the gamma and FXAA passes draw: the views handed in with the draw.
  std::vector<float4> draw_with_view(render_pass_t& pass) {
    auto out = target();
    pass.draw_fullscreen_to_target(out.get(), {input->srv.get()}, nullptr);
    return read_texels<float4>(out->texture);
  }

  void rewrite_metadata(float speed) {
    write("shaders/test.toml", metadata(speed));
    files->changed = {"shaders/test.toml"};
    manager->reload_changed_files();
    scheduler.WaitforAll();
  }

  std::shared_ptr<render_target_t> input;
};

void expect_texels(const std::vector<float4>& texels, float4 expected, const char* what) {
  for (const float4& v : texels) {
    EXPECT_NEAR(v.x, expected.x, 1e-5f) << what;
    EXPECT_NEAR(v.y, expected.y, 1e-5f) << what;
    EXPECT_NEAR(v.z, expected.z, 1e-5f) << what;
    EXPECT_NEAR(v.w, expected.w, 1e-5f) << what;
  }
}

void expect_same_texels(const std::vector<float4>& a, const std::vector<float4>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].x, b[i].x) << what << " " << i;
    EXPECT_EQ(a[i].y, b[i].y) << what << " " << i;
    EXPECT_EQ(a[i].z, b[i].z) << what << " " << i;
    EXPECT_EQ(a[i].w, b[i].w) << what << " " << i;
  }
}

// input / 2 + tint × t / 4
float4 expected_at(float t) {
  const float s = t * 0.25f;
  return {0.25f + 0.0f * s, 0.125f + 0.5f * s, 0.5f + 0.25f * s, 0.5f + 1.0f * s};
}

}  // namespace

TEST_F(RenderPassReloadTest, FramesAfterAReloadKeepTheInputAndTheProjectsAnimatedValues) {
  auto playing = load_project_pass();
  ASSERT_TRUE(playing && playing->ps);
  ASSERT_EQ(playing->ps->state, SHADER_STATE_READY);
  expect_texels(play_frame(*playing, 1.0f), expected_at(1.0f), "before the reload");
  const int32_t first_version = playing->ps->version;

  rewrite_metadata(3.0f);
  for (const float t : {2.0f, 2.5f}) {
    SCOPED_TRACE(t);
    const auto reloaded = play_frame(*playing, t);
    EXPECT_GT(playing->ps->version, first_version);
    auto fresh = load_project_pass();
    ASSERT_TRUE(fresh);
    expect_same_texels(reloaded, play_frame(*fresh, t), "against a fresh load");
    expect_texels(reloaded, expected_at(t), "derived");
  }

  // A pass that is handed its view with the draw, after another reload, draws the view too.
  rewrite_metadata(4.0f);
  animate(*playing, 3.0f);
  const auto reloaded = draw_with_view(*playing);
  auto fresh = load_project_pass();
  ASSERT_TRUE(fresh);
  animate(*fresh, 3.0f);
  expect_same_texels(reloaded, draw_with_view(*fresh), "view handed in with the draw");
  expect_texels(reloaded, expected_at(3.0f), "view handed in with the draw, derived");
}

namespace {

// What a block supplies to its pass's shader itself, rather than through the project's variables.
enum supply_t { BOUND_VARIABLES, SET_VALUES, OWN_BUFFER };

// The block's tint (0, 0.5, 0.25, 1) and speed 0.5 over the input: what every version must draw.
const float4 supplied = {0.25f, 0.375f, 0.625f, 1.0f};

}  // namespace

// A variable the block bound to an entry (as the volumetric light binds its sky), a value it sets
// before each draw (as the streak sets its direction), or a constant buffer of its own (as the GPU
// particles bind their count buffers): a new version of the shader draws with them from its first
// frame, whether the frame switched the pass before the block ran or the draw switched it.
TEST_F(RenderPassReloadTest, WhatABlockSuppliesReachesANewVersionFromItsFirstFrame) {
  struct case_t {
    const char* what;
    supply_t supply;
    bool frame_start_switch;
  };
  const case_t cases[] = {
      {"bound variables, switched by the draw", BOUND_VARIABLES, false},
      {"bound variables, switched at the frame's start", BOUND_VARIABLES, true},
      {"values set before the draw, switched by the draw", SET_VALUES, false},
      {"values set before the draw, switched at the frame's start", SET_VALUES, true},
      {"the block's own buffer, switched by the draw", OWN_BUFFER, false},
      {"the block's own buffer, switched at the frame's start", OWN_BUFFER, true},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    write("shaders/test.toml", metadata(2.0f));
    auto pass = make_render_pass();
    ASSERT_TRUE(pass->load_fullscreen_shaders("shaders/test.hlsl", "PsTinted"));
    const float4 tint{0.0f, 0.5f, 0.25f, 1.0f};
    const float speed = 0.5f;
    auto tint_variable = construct_variable("tint", VT_FLOAT4, tint);
    auto speed_variable = construct_variable("speed", VT_FLOAT, speed);
    struct params_t {
      float4 tint;
      float speed, pad[3];
    } params{tint, speed, {}};
    std::shared_ptr<constant_buffer_t> own = resources->create_constant_buffer(sizeof(params), false, &params);
    if (c.supply == BOUND_VARIABLES) {
      ASSERT_TRUE(pass->ps->bind_cb_variable("Params", "tint", tint_variable));
      ASSERT_TRUE(pass->ps->bind_cb_variable("Params", "speed", speed_variable));
    } else if (c.supply == OWN_BUFFER) {
      ASSERT_TRUE(pass->ps->set_constant_buffer(0, own));
    }
    // One frame as the block plays it.
    auto frame = [&] {
      if (c.frame_start_switch) use_newest_shader_versions();
      if (c.supply == SET_VALUES) {
        shader_t& ps = *pass->ps;
        if (!ps.variables_bound) ps.bind_variables();
        EXPECT_TRUE(ps.set_cb_value("Params", "tint", tint));
        EXPECT_TRUE(ps.set_cb_value("Params", "speed", speed));
      }
      return draw_with_view(*pass);
    };
    expect_texels(frame(), supplied, "before the reload");
    const int32_t first_version = pass->ps->version;

    rewrite_metadata(3.0f);
    expect_texels(frame(), supplied, "the new version's first frame");
    EXPECT_GT(pass->ps->version, first_version);
    expect_texels(frame(), supplied, "the frame after");
  }
}

// A shader whose first version failed (its metadata half saved when the pass loaded) is drawn once
// the fixed file brings a ready version: the frame's switch comes before a block tests readiness.
TEST_F(RenderPassReloadTest, APassWhoseFirstVersionFailedDrawsOnceAFixedVersionIsReady) {
  write("shaders/test.toml", "cbuffers = [ { Params = [ { name = \"tint\", var = ");
  auto pass = make_render_pass();
  EXPECT_FALSE(pass->load_fullscreen_shaders("shaders/test.hlsl", "PsTinted"));
  EXPECT_FALSE(pass->shaders_loaded());

  rewrite_metadata(2.0f);
  use_newest_shader_versions();
  ASSERT_TRUE(pass->shaders_loaded());
  // input / 2 + tint (1, 1, 1, 1) × speed 2
  expect_texels(draw_with_view(*pass), {2.25f, 2.125f, 2.5f, 2.5f}, "the fixed version");
}
