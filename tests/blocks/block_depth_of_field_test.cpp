// The depth-of-field block over the content build's passes, fed with an image and a depth image of
// the test's own: the points its collection appends, the sprites its indirect draw makes of them,
// the blurred image, and the projects and inputs it refuses.

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <cmath>
#include <string>
#include <vector>

#include "blocks/block_depth_of_field.h"
#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/block_factory.h"
#include "engine/engine_impl.h"
#include "graphics/graphics_resources.h"
#include "graphics/render_target.h"
#include "shaders/render_context.h"
#include "support/log.h"
#include "text/serial_reader.h"

namespace {

struct texel_t {
  float r, g, b, a;
};

constexpr float focal_distance = 5.0f;  // the passes' defaults: focus at 5, range 4
constexpr float bokeh_radius = 6.0f;

class BlockDepthOfFieldTest : public content_test::content_engine_fixture_t {
 protected:
  void SetUp() override {
    content_engine_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(start("[settings]\nproject-name = \"dof\"\n"));
  }

  std::shared_ptr<block_depth_of_field_t> make_block() {
    auto block = std::dynamic_pointer_cast<block_depth_of_field_t>(make_block_of_class("depth-of-field"));
    EXPECT_TRUE(block && block->default_init());
    return block;
  }

  std::shared_ptr<render_target_t> image(int w, int h, texel_t fill) {
    auto target = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R32G32B32A32_FLOAT,
                                                  RT_SRV | RT_MIPS);
    const float colour[4] = {fill.r, fill.g, fill.b, fill.a};
    context->ClearRenderTargetView(target->rtv, colour);
    return target;
  }
  void put(render_target_t& target, int x, int y, texel_t value) {
    const D3D11_BOX box{UINT(x), UINT(y), 0, UINT(x + 1), UINT(y + 1), 1};
    context->UpdateSubresource(target.texture, 0, &box, &value, sizeof(value), 0);
  }
  std::vector<texel_t> texels(render_target_t& target) { return read_texels<texel_t>(target.texture, 0); }

  // Runs the block once over the colour and depth images into a new output, as the engine would.
  std::shared_ptr<render_target_t> run(block_depth_of_field_t& block, std::vector<render_target_t*> inputs) {
    auto out = image(int(inputs[0]->viewport.Width), int(inputs[0]->viewport.Height), {0, 0, 0, 0});
    render_context_t ctx;
    ctx.outputs = {out.get(), nullptr};
    ctx.input_targets = inputs;
    ctx.input_views.resize(inputs.size());
    block.execute(ctx);
    return out;
  }
  uint32_t points(block_depth_of_field_t& block) { return runtime->read_uav_counter(block.bokeh_points->uav); }
  uint32_t sprites_drawn(block_depth_of_field_t& block) {
    return read_buffer<uint32_t>(block.draw_arguments->buffer, 1)[0];
  }
};

// Everything on the focal plane: no point, no sprite, and the image comes through unblurred.
TEST_F(BlockDepthOfFieldTest, FocalPlaneCollectsNothingAndKeepsTheImage) {
  auto block = make_block();
  ASSERT_TRUE(block);
  const int w = 48, h = 24;
  auto colour = image(w, h, {0.2f, 0.3f, 0.4f, 1.0f});
  put(*colour, 10, 8, {20.0f, 20.0f, 20.0f, 1.0f});
  auto depth = image(w, h, {focal_distance, 0, 0, 0});
  auto out = run(*block, {colour.get(), depth.get()});
  EXPECT_EQ(points(*block), 0u);
  EXPECT_EQ(sprites_drawn(*block), 0u);
  const std::vector<texel_t> result = texels(*out);
  EXPECT_NEAR(result[8 * w + 10].r, 20.0f, 0.01f);
  EXPECT_NEAR(result[2 * w + 30].g, 0.3f, 0.001f);
}

// One bright pixel far behind the focal plane: one point, one sprite of the bokeh radius carrying
// the pixel's light spread over its disc; the pixel itself leaves the blurred image.
TEST_F(BlockDepthOfFieldTest, OneBrightOutOfFocusPixelBecomesOneSprite) {
  auto block = make_block();
  ASSERT_TRUE(block);
  const int w = 48, h = 24, x = 20, y = 11;
  auto colour = image(w, h, {0, 0, 0, 1});
  const float light = 40.0f;
  put(*colour, x, y, {light, light, light, 1.0f});
  auto depth = image(w, h, {50.0f, 0, 0, 0});
  auto out = run(*block, {colour.get(), depth.get()});
  EXPECT_EQ(points(*block), 1u);
  EXPECT_EQ(sprites_drawn(*block), points(*block));
  const std::vector<texel_t> result = texels(*out);
  const float spread = light / (3.14159265f * bokeh_radius * bokeh_radius);
  EXPECT_NEAR(result[y * w + x].r, spread, 0.01f);
  EXPECT_NEAR(result[(y + 3) * w + x - 2].g, spread, 0.01f) << "inside the disc";
  EXPECT_NEAR(result[y * w + x + 9].b, 0.0f, 0.001f) << "outside the disc";
  EXPECT_NEAR(result[2 * w + 2].r, 0.0f, 0.001f);
}

// The point buffer is sized by the back buffer; a larger input makes room for all its pixels.
TEST_F(BlockDepthOfFieldTest, InputLargerThanTheBackBufferGetsRoomForEveryPoint) {
  gsys->make_backbuffer(16, 8);
  auto block = make_block();
  ASSERT_TRUE(block);
  ASSERT_EQ(block->bokeh_points->count, 16 * 8);
  const int w = 40, h = 20;
  auto colour = image(w, h, {5.0f, 5.0f, 5.0f, 1.0f});
  auto depth = image(w, h, {60.0f, 0, 0, 0});
  run(*block, {colour.get(), depth.get()});
  EXPECT_GE(block->bokeh_points->count, w * h);
  EXPECT_EQ(points(*block), uint32_t(w * h));
  EXPECT_EQ(sprites_drawn(*block), uint32_t(w * h));
}

// Without the depth input nothing is drawn.
TEST_F(BlockDepthOfFieldTest, OneInputDrawsNothing) {
  auto block = make_block();
  ASSERT_TRUE(block);
  auto colour = image(16, 8, {1, 1, 1, 1});
  auto out = run(*block, {colour.get()});
  for (const texel_t& t : texels(*out)) ASSERT_EQ(t.r, 0.0f);
}

// A description without one of the passes: the warning that names which, and load fails.
TEST_F(BlockDepthOfFieldTest, MissingPassesAreReported) {
  const std::string dof = R"(  {rp-name = "%s", type = 1, rasterizer-state = 2, blend-state = 1, depth-stencil-state = 2, samplers = [5], vs = {type = 1, filename = "shaders/default.hlsl", entrypoint = "VsQuad"}, ps = {type = 4, filename = "shaders/dof.hlsl", entrypoint = "%s"}},
)";
  const std::string bokeh = R"(  {rp-name = "%s", type = 1, topology = 1, rasterizer-state = 2, blend-state = 4, depth-stencil-state = 2, vs = {type = 1, filename = "shaders/dof.bokeh.hlsl", entrypoint = "VsBokeh"}, gs = {type = 2, filename = "shaders/dof.bokeh.hlsl", entrypoint = "GsBokeh"}, ps = {type = 4, filename = "shaders/dof.bokeh.hlsl", entrypoint = "%s"}},
)";
  const std::string collect = R"(  {rp-name = "bokeh-collect", type = 1, rasterizer-state = 2, blend-state = 1, depth-stencil-state = 2, vs = {type = 1, filename = "shaders/default.hlsl", entrypoint = "VsQuad"}, ps = {type = 4, filename = "shaders/dof.bokeh.hlsl", entrypoint = "PsBokehCollect"}},
)";
  struct pass_case_t {
    bool with_coc;
    bool with_ngon;
    const char* message;
  };
  for (const pass_case_t& c : {pass_case_t{false, true, "unable to find rp, blur"},
                               pass_case_t{true, false, "unable to find rp, dof"},
                               pass_case_t{true, true, nullptr}}) {
    std::string text = "class-name = \"depth-of-field\"\n[dof-shaderdesc]\nrenderpass = [\n";
    if (c.with_coc) text += fmt::sprintf(dof, "calc-coc", "PsCalcCoc");
    text += fmt::sprintf(dof, "dof-blur", "PsDofBlur");
    text += "]\n[bokeh-shaderdesc]\nrenderpass = [\n" + collect + fmt::sprintf(bokeh, "bokeh-render", "PsBokeh");
    if (c.with_ngon) text += fmt::sprintf(bokeh, "bokeh-render-ngon", "PsBokehNgon");
    text += "]\n";
    auto parsed = serial::parse_text(text, "");
    ASSERT_TRUE(parsed.has_value()) << text;
    log_capture_t log;
    block_depth_of_field_t block;
    EXPECT_EQ(block.load(**parsed), c.message == nullptr) << text;
    int warnings = 0;
    for (const auto& [level, line] : log.lines)
      warnings += level == LOG_LEVEL_WRN && c.message && line == c.message ? 1 : 0;
    EXPECT_EQ(warnings, c.message ? 1 : 0) << text;
    EXPECT_EQ(block.bound_inputs.size(), 2u) << "the two layer inputs stay";
  }
}

// A scene of the test's own: black with one bright pixel, everything far behind the focal plane
// in its second output.
class far_scene_t final : public block_base_t {
 public:
  far_scene_t() : block_base_t("dummy") {}
  void execute(const render_context_t& context) override {
    ID3D11DeviceContext* device_context = S(gsys)->get_context();
    const float black[4] = {0, 0, 0, 1}, far[4] = {50.0f, 0, 0, 0};
    device_context->ClearRenderTargetView(context.outputs[0]->rtv, black);
    device_context->ClearRenderTargetView(context.outputs[1]->rtv, far);
    // The chain's targets are half floats: 40 is 0x5100, 1 is 0x3C00.
    const uint16_t bright[4] = {0x5100, 0x5100, 0x5100, 0x3C00};
    const D3D11_BOX box{80, 45, 0, 81, 46, 1};
    device_context->UpdateSubresource(context.outputs[0]->texture, 0, &box, bright, sizeof(bright), 0);
  }
};

// The project table of the production's depth of field, over a scene on the layer below: the
// inputs resolve to the scene's two outputs and the one bright pixel becomes one sprite.
TEST_F(BlockDepthOfFieldTest, ProjectBlockOverASceneDrawsItsSprite) {
  stop();
  const std::string dof = R"(  {rp-name = "%s", type = 1, rasterizer-state = 2, blend-state = 1, depth-stencil-state = 2, samplers = [5], vs = {type = 1, filename = "shaders/default.hlsl", entrypoint = "VsQuad"}, ps = {type = 4, filename = "%s", entrypoint = "%s"}},
)";
  const std::string bokeh = R"(  {rp-name = "%s", type = 1, topology = 1, rasterizer-state = 2, blend-state = 4, depth-stencil-state = 2, samplers = [], vs = {type = 1, filename = "shaders/dof.bokeh.hlsl", entrypoint = "VsBokeh"}, gs = {type = 2, filename = "shaders/dof.bokeh.hlsl", entrypoint = "GsBokeh"}, ps = {type = 4, filename = "shaders/dof.bokeh.hlsl", entrypoint = "%s"}},
)";
  const std::string project = "[settings]\nproject-name = \"dof\"\nfade-mode = 0\n\n[[blocks]]\n"
      "class-name = \"depth-of-field\"\nid = 2\nname = \"depth of field\"\nstart-time = 0.0\nend-time = 10.0\n"
      "layer = 1\nblend-mode = 0\nbound-inputs = [\n"
      "  {displayname = \"Input\", type = 2, mode = 0, dim = int2(256, 256), block-id = -1, layer_offset = 1, layer = 0, is-dynamic = true},\n"
      "  {displayname = \"Depth\", type = 2, mode = 0, dim = int2(256, 256), block-id = -1, layer_offset = 1, layer = 1, is-dynamic = true},\n"
      "]\n[blocks.dof-shaderdesc]\nrenderpass = [\n" +
      fmt::sprintf(dof, "calc-coc", "shaders/dof.hlsl", "PsCalcCoc") +
      fmt::sprintf(dof, "dof-blur", "shaders/dof.hlsl", "PsDofBlur") + "]\n[blocks.bokeh-shaderdesc]\nrenderpass = [\n" +
      fmt::sprintf(dof, "bokeh-collect", "shaders/dof.bokeh.hlsl", "PsBokehCollect") +
      fmt::sprintf(bokeh, "bokeh-render", "PsBokeh") + fmt::sprintf(bokeh, "bokeh-render-ngon", "PsBokehNgon") + "]\n";
  log_capture_t log;
  ASSERT_TRUE(start(project));
  for (const auto& [level, text] : log.lines) EXPECT_LT(level, LOG_LEVEL_WRN) << text;
  auto scene = std::make_shared<far_scene_t>();
  scene->id = 1;
  scene->end_time = 10.0f;
  static_cast<engine_impl_t*>(current_engine())->blocks.insert(static_cast<engine_impl_t*>(current_engine())->blocks.begin(), scene);
  auto* block = dynamic_cast<block_depth_of_field_t*>(current_engine()->get_blocks().back());
  ASSERT_TRUE(block);

  const std::vector<uint32_t> frame = frame_at(1.0f);
  EXPECT_EQ(points(*block), 1u);
  EXPECT_EQ(sprites_drawn(*block), 1u);
  const auto at = [&](int x, int y) { return frame[size_t(y) * width + size_t(x)] & 0xffu; };
  EXPECT_GT(at(80, 45), 100u) << "the sprite at the pixel";
  EXPECT_GT(at(83, 47), 100u) << "and around it";
  EXPECT_LT(at(80 + 12, 45), 8u) << "not beyond its radius";
  EXPECT_LT(at(10, 10), 8u);
}

}  // namespace
