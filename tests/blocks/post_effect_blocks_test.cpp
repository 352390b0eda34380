// The post-effect and intro blocks drawn headless with the content's own shaders (the archive the
// build made), through the engine's services: constant images in, pixels read back and compared
// with what the blocks' rules and the shaders' formulas give.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <fmt/printf.h>

#include "blocks/block_bloom.h"
#include "blocks/block_shader.h"
#include "blocks/block_streaks.h"
#include "common/archive_copy.h"
#include "common/graphics_test_support.h"
#include "common/log_capture.h"
#include "engine/block_factory.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "graphics/render_target.h"
#include "libs/enki/task_scheduler.h"
#include "media/soundsystem.h"
#include "shaders/render_pass.h"
#include "shaders/shader.h"
#include "support/log.h"
#include "text/serial_reader.h"

namespace {

namespace fs = std::filesystem;

int count_warnings(const log_capture_t& log, const std::string& text) {
  int n = 0;
  for (const auto& [level, line] : log.lines) n += level == LOG_LEVEL_WRN && line == text ? 1 : 0;
  return n;
}

// The runtime the blocks draw through, noting the size of the bound target and the pixel shader of
// every draw.
class recording_runtime_t final : public graphics_runtime_impl_t {
 public:
  struct draw_t {
    const shader_objects_t* pixel_shader = nullptr;
    int width = 0, height = 0;
  };
  using graphics_runtime_impl_t::graphics_runtime_impl_t;
  void set_pixel_shader(shader_objects_t* shader) override {
    pixel_shader_ = shader;
    graphics_runtime_impl_t::set_pixel_shader(shader);
  }
  void draw(uint32_t vertex_count, uint32_t start_vertex) override {
    const float2 size = get_render_target_size(0);
    draws.push_back({pixel_shader_, int(size.x), int(size.y)});
    graphics_runtime_impl_t::draw(vertex_count, start_vertex);
  }
  std::vector<draw_t> draws;

 private:
  const shader_objects_t* pixel_shader_ = nullptr;
};

struct texel_t {
  float r = 0, g = 0, b = 0, a = 0;
};

// One render-pass table in the project form: the full-screen triangle and a pixel shader.
std::string pass_table(const std::string& header, const std::string& file, const std::string& entry,
                       int blend = 1, const std::string& vars = "", bool array = false) {
  std::string text = fmt::sprintf(
      "%s%s%s\nrp-name = \"%s\"\ntype = 1\nrasterizer-state = 2\nblend-state = %d\ndepth-stencil-state = 2\n"
      "samplers = [5]\n[%s.vs]\ntype = 1\nfilename = \"shaders/default.hlsl\"\nentrypoint = \"VsQuad\"\n"
      "[%s.ps]\ntype = 4\nfilename = \"%s\"\nentrypoint = \"%s\"\n",
      array ? "[[" : "[", header, array ? "]]" : "]", entry, blend, header, header, file, entry);
  if (!vars.empty()) text += fmt::sprintf("[%s.ps.vars]\n%s\n", header, vars);
  return text;
}

std::string float_var(const std::string& key, const std::string& name, float value) {
  return fmt::sprintf("%s = {name = \"%s\", flags = 0, type = 6, default = {type = 6, value = %f}}", key, name,
                      value);
}

std::string bool_var(const std::string& name, bool value) {
  return fmt::sprintf("%s = {name = \"%s\", flags = 16, type = 1, default = {type = 1, value = %s}}\n", name, name,
                      value ? "true" : "false");
}

// The bloom block's table: its two variables and the four passes, with the pre-filter's threshold.
std::string bloom_table(bool use_threshold, float history, float threshold, bool with_upsample = true) {
  std::string text = "class-name = \"bloom\"\nname = \"bloom\"\n" + bool_var("use-threshold", use_threshold) +
                     fmt::sprintf("history = {name = \"history\", flags = 6, type = 6, default = {type = 6, "
                                  "value = %f}, min = {type = 6, value = 0.0}, max = {type = 6, value = 1.0}}\n",
                                  history);
  text += pass_table("shaderdesc.renderpass", "shaders/bloom.hlsl", "PsPreFilter", 1,
                     float_var("cbMain:threshold", "threshold", threshold), true);
  text += pass_table("shaderdesc.renderpass", "shaders/bloom.hlsl", "PsBloomTexture", 1, "", true);
  text += pass_table("shaderdesc.renderpass", "shaders/bloom.hlsl", "PsDownsample13", 1, "", true);
  if (with_upsample) text += pass_table("shaderdesc.renderpass", "shaders/bloom.hlsl", "PsUpsampleTent", 4, "", true);
  // The passes are named by their entry points above; the block looks them up by its own names.
  for (auto [entry, name] : {std::pair{"PsPreFilter", "pre-filter"}, std::pair{"PsBloomTexture", "bloom-texture"},
                             std::pair{"PsDownsample13", "downsample-13"}, std::pair{"PsUpsampleTent", "upsample-tent"}})
    if (text.find(entry) != std::string::npos)
      text.replace(text.find(fmt::sprintf("rp-name = \"%s\"", entry)), std::strlen("rp-name = \"\"") + std::strlen(entry),
                 fmt::sprintf("rp-name = \"%s\"", name));
  return text;
}

std::string streak_table(bool horizontal) {
  std::string table = "class-name = \"streak\"\n" + bool_var("horizontal", horizontal);
  for (auto [name, entry] : {std::pair{"pre-filter", "PsPreFilter"}, std::pair{"downsample", "PsDownsample"},
                             std::pair{"upsample", "PsUpsample"}, std::pair{"combine", "PsCombine"}}) {
    std::string pass = pass_table("shaderdesc.renderpass", "shaders/streak.hlsl", entry, 1, "", true);
    pass.replace(pass.find(fmt::sprintf("rp-name = \"%s\"", entry)), std::strlen("rp-name = \"\"") + std::strlen(entry),
                 fmt::sprintf("rp-name = \"%s\"", name));
    table += pass;
  }
  return table;
}

class PostEffectBlocksTest : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    files_ = test_support::open_archive_copy("post_effect_blocks", base_);
    ASSERT_TRUE(files_);
    scheduler_.Initialize(2);
    g_systems->filesystem = files_.get();
    g_systems->scheduler = &scheduler_;
    runtime->shutdown();
    auto recorder = std::make_unique<recording_runtime_t>(device, context);
    recorder_ = recorder.get();
    runtime = std::move(recorder);
    ASSERT_TRUE(runtime->init().has_value());
    g_systems->runtime = runtime.get();
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
    ASSERT_TRUE(engine_init(g_systems, "[settings]\nproject-name = \"blocks\"\n"));
  }
  void TearDown() override {
    if (files_) {
      blocks_.clear();
      targets_.clear();
      engine_close();
      // The player never deletes its sound system; the test does, once the engine is closed.
      if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      files_.reset();
    }
    if (!base_.empty()) fs::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  block_base_t* load_block(const std::string& text) {
    auto parsed = serial::parse_text(text, "block");
    EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error());
    if (!parsed) return nullptr;
    block_ptr_t block = make_block_of_class((*parsed)->get_string("class-name", ""));
    EXPECT_TRUE(block);
    if (!block) return nullptr;
    block->load(**parsed);
    blocks_.push_back(block);
    return block.get();
  }

  // A 32-bit float target cleared to the colour.
  render_target_t* target(int width, int height, texel_t colour) {
    targets_.push_back(S(resources)->create_render_target(RT_SIZE_EXPLICIT, width, height,
                                                          DXGI_FORMAT_R32G32B32A32_FLOAT, RT_SRV));
    const float c[4] = {colour.r, colour.g, colour.b, colour.a};
    S(runtime)->clear_render_target(targets_.back().get(), c);
    return targets_.back().get();
  }

  // What the engine does around a block: its two outputs bound, then execute.
  void execute(block_base_t& block, std::vector<render_target_t*> inputs, render_target_t* output) {
    render_target_t* second = target(int(output->viewport.Width), int(output->viewport.Height), {});
    render_context_t context;
    context.outputs = {output, second};
    context.input_targets = inputs;
    context.input_views.resize(inputs.size());
    render_target_t* both[2] = {output, second};
    const float* no_clear[2] = {nullptr, nullptr};
    auto previous = S(runtime)->set_render_targets(both, no_clear, false);
    recorder_->draws.clear();
    block.execute(context);
    S(runtime)->set_render_targets_clear_all(previous.targets, nullptr, false);
  }

  // The draws of the last execute as "<pass> <width>x<height>", passes named by `names`; other
  // shaders (the shader manager's copy) as "blit".
  std::vector<std::string> draws_of(const std::vector<std::pair<render_pass_t*, std::string>>& names) {
    std::vector<std::string> out;
    for (const auto& draw : recorder_->draws) {
      std::string name = "blit";
      for (const auto& [pass, pass_name] : names)
        if (pass && pass->ps.get() == draw.pixel_shader) name = pass_name;
      out.push_back(fmt::sprintf("%s %dx%d", name, draw.width, draw.height));
    }
    return out;
  }

  recording_runtime_t* recorder_ = nullptr;

  std::vector<texel_t> read(render_target_t* t) { return read_texels<texel_t>(t->texture.p); }

  // A 32-bit float target holding the given texels, row by row.
  render_target_t* image(int width, int height, const std::vector<texel_t>& texels) {
    render_target_t* t = target(width, height, {});
    context->UpdateSubresource(t->texture, 0, nullptr, texels.data(), UINT(width * sizeof(texel_t)), 0);
    return t;
  }

  void expect_everywhere(render_target_t* t, texel_t expected, float tolerance, const std::string& what) {
    const std::vector<texel_t> texels = read(t);
    ASSERT_FALSE(texels.empty());
    int wrong = 0;
    for (const texel_t& x : texels) {
      const bool near = std::abs(x.r - expected.r) <= tolerance && std::abs(x.g - expected.g) <= tolerance &&
                        std::abs(x.b - expected.b) <= tolerance && std::abs(x.a - expected.a) <= tolerance;
      if (!near && wrong++ == 0)
        ADD_FAILURE() << what << ": (" << x.r << ", " << x.g << ", " << x.b << ", " << x.a << ") instead of ("
                      << expected.r << ", " << expected.g << ", " << expected.b << ", " << expected.a << ")";
    }
    EXPECT_EQ(wrong, 0) << what;
  }

 private:
  fs::path base_;
  std::unique_ptr<filesystem_t> files_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
  std::vector<block_ptr_t> blocks_;
  std::vector<std::shared_ptr<render_target_t>> targets_;
};

// Each operator on a constant input, against its formula with the metadata's exposure 1, white
// point 4 and gamma 2.2.
TEST_F(PostEffectBlocksTest, TonemappingOperatorsMapAConstantImageByTheirFormulas) {
  const texel_t input{0.5f, 1.0f, 2.0f, 1.0f};
  const double luma = 0.2126 * 0.5 + 0.7152 * 1.0 + 0.0722 * 2.0;
  auto encode = [](double v) { return float(std::pow(std::clamp(v, 0.0, 1.0), 1.0 / 2.2)); };
  auto hejl = [](double v) {
    const double x = std::max(v - 0.004, 0.0);
    return float(x * (6.2 * x + 0.5) / (x * (6.2 * x + 1.7) + 0.06));
  };
  struct case_t {
    int tonemapper;
    const char* key;
    const char* entry;
    texel_t expected;
  };
  const double luma_scale = 1.0 / (1.0 + luma), white_scale = (1.0 + luma / 16.0) / (1.0 + luma);
  const case_t cases[] = {
      {0, "rp-reinhard", "PsReinhard", {encode(0.5 / 1.5), encode(0.5), encode(2.0 / 3.0), 1.0f}},
      {1, "rp-reinhard-luma", "PsReinhardLuma",
       {encode(0.5 * luma_scale), encode(luma_scale), encode(2.0 * luma_scale), 1.0f}},
      {2, "rp-reinhard-luma-white", "PsReinhardLumaWhite",
       {encode(0.5 * white_scale), encode(white_scale), encode(2.0 * white_scale), 1.0f}},
      {3, "rp-filmic-hejl", "PsFilmicHejl", {hejl(0.5), hejl(1.0), hejl(2.0), 1.0f}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.entry);
    block_base_t* block = load_block(fmt::sprintf("class-name = \"tonemapping\"\ntonemapper = %d\n", c.tonemapper) +
                                     bool_var("use-fxaa", false) +
                                     pass_table(c.key, "shaders/tonemapping.hlsl", c.entry));
    ASSERT_TRUE(block);
    render_target_t* out = target(32, 16, {});
    execute(*block, {target(32, 16, input)}, out);
    expect_everywhere(out, c.expected, 2e-3f, c.entry);
  }
}

// With FXAA the tonemapped image goes through an 8-bit target and the anti-aliasing pass: a flat
// image stays flat, at the 8-bit value of the operator's result.
TEST_F(PostEffectBlocksTest, TonemappingWithFxaaLeavesAFlatImageFlat) {
  block_base_t* block = load_block("class-name = \"tonemapping\"\ntonemapper = 0\n" + bool_var("use-fxaa", true) +
                                   pass_table("rp-reinhard", "shaders/tonemapping.hlsl", "PsReinhard") +
                                   pass_table("rp-fxaa", "shaders/posteffects/fxaa.post.hlsl", "FxaaPS"));
  ASSERT_TRUE(block);
  render_target_t* out = target(48, 24, {});
  execute(*block, {target(48, 24, {1.0f, 0.25f, 0.0f, 1.0f})}, out);
  auto eight_bit = [](double linear) { return float(std::lround(255.0 * std::pow(linear, 1.0 / 2.2)) / 255.0); };
  expect_everywhere(out, {eight_bit(0.5), eight_bit(0.2), 0.0f, 1.0f}, 1.0f / 255.0f, "fxaa");
}

TEST_F(PostEffectBlocksTest, BloomOfABlackFrameAddsNothing) {
  block_base_t* block = load_block(bloom_table(true, 0.0f, 0.0f));
  ASSERT_TRUE(block);
  render_target_t* out = target(160, 90, {0.3f, 0.3f, 0.3f, 1.0f});
  execute(*block, {target(160, 90, {0.0f, 0.0f, 0.0f, 1.0f})}, out);
  expect_everywhere(out, {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f, "black");
}

// Emissive light comes from the second input; a texel that was never written (the engine's clear
// to the largest float) adds nothing, so only the written square glows, and only near it.
TEST_F(PostEffectBlocksTest, BloomFromEmissiveLightIgnoresUnwrittenTexels) {
  block_base_t* block = load_block(bloom_table(false, 0.0f, 0.0f));
  ASSERT_TRUE(block);
  ASSERT_EQ(block->get_bound_inputs().size(), 2u) << "the emissive input follows use-threshold";
  render_target_t* emissive = target(128, 64, {3.4028235e38f, 0.0f, 0.0f, 0.0f});
  const float lit[4] = {4.0f, 4.0f, 4.0f, 1.0f};
  render_target_t* square = target(8, 8, {});
  S(runtime)->clear_render_target(square, lit);
  D3D11_BOX box{0, 0, 0, 8, 8, 1};
  context->CopySubresourceRegion(emissive->texture, 0, 60, 28, 0, square->texture, 0, &box);
  render_target_t* out = target(128, 64, {});
  execute(*block, {target(128, 64, {0.0f, 0.0f, 0.0f, 1.0f}), emissive}, out);
  const std::vector<texel_t> texels = read(out);
  for (const texel_t& t : texels) ASSERT_TRUE(std::isfinite(t.r) && t.r < 100.0f) << "an unwritten texel spread";
  EXPECT_GT(texels[size_t(32) * 128 + 64].r, 0.5f) << "the square glows";
  EXPECT_EQ(texels[size_t(2) * 128 + 2].r, 0.0f) << "far from it nothing";
}

// With history 0.5 the image is the lerp of the input and the previous mixed image; the first frame
// has no previous image and shows the input. A threshold nothing reaches keeps the bloom out.
TEST_F(PostEffectBlocksTest, BloomHistoryMixesTheInputWithThePreviousMixedImage) {
  block_base_t* block = load_block(bloom_table(true, 0.5f, 100.0f));
  ASSERT_TRUE(block);
  const texel_t a{0.2f, 0.4f, 0.6f, 1.0f}, b{0.8f, 0.0f, 0.2f, 1.0f}, c{0.0f, 1.0f, 0.0f, 1.0f};
  render_target_t* out = target(64, 32, {});
  execute(*block, {target(64, 32, a)}, out);
  expect_everywhere(out, a, 1e-3f, "first frame");
  execute(*block, {target(64, 32, b)}, out);
  expect_everywhere(out, {0.5f, 0.2f, 0.4f, 1.0f}, 1e-3f, "second frame");
  execute(*block, {target(64, 32, c)}, out);
  expect_everywhere(out, {0.25f, 0.6f, 0.2f, 1.0f}, 1e-3f, "third frame");
}

// The history is mixed before the level sizes are known: an input too small for any level still
// feeds the trail, though nothing is drawn.
TEST_F(PostEffectBlocksTest, BloomHistoryRunsBeforeTheLevelCheck) {
  auto* block = dynamic_cast<block_bloom_t*>(load_block(bloom_table(true, 0.5f, 100.0f)));
  ASSERT_TRUE(block);
  const texel_t a{0.2f, 0.4f, 0.6f, 1.0f}, b{0.8f, 0.0f, 0.2f, 1.0f}, before{0.3f, 0.3f, 0.3f, 1.0f};
  render_target_t* out = target(64, 30, before);
  execute(*block, {target(64, 30, a)}, out);
  execute(*block, {target(64, 30, b)}, out);
  ASSERT_TRUE(block->history_target);
  EXPECT_EQ(block->history_target->viewport.Width, 64.0f);
  // The history is a half-float target.
  auto half_to_float = [](uint16_t h) {
    const int exponent = (h >> 10) & 31, mantissa = h & 1023;
    const float v =
        exponent == 0 ? std::ldexp(float(mantissa), -24) : std::ldexp(float(mantissa | 1024), exponent - 25);
    return (h & 0x8000) ? -v : v;
  };
  struct half4_t {
    uint16_t r, g, b, a;
  };
  const std::vector<half4_t> history = read_texels<half4_t>(block->history_target->texture.p);
  ASSERT_EQ(history.size(), size_t(64) * 30);
  for (const half4_t& h : {history.front(), history[history.size() / 2], history.back()}) {
    EXPECT_NEAR(half_to_float(h.r), 0.5f, 1e-3f);
    EXPECT_NEAR(half_to_float(h.g), 0.2f, 1e-3f);
    EXPECT_NEAR(half_to_float(h.b), 0.4f, 1e-3f);
    EXPECT_NEAR(half_to_float(h.a), 1.0f, 1e-3f);
  }
  expect_everywhere(out, before, 0.0f, "output");
}

// The block's own list is what the engine last asked for, so a save records the emissive input.
TEST_F(PostEffectBlocksTest, BloomSavesTheInputsItLastGave) {
  struct case_t {
    bool use_threshold;
    std::vector<std::string> names;
  };
  for (const case_t& c : {case_t{true, {"Input"}}, case_t{false, {"Input", "Emissive"}}}) {
    block_base_t* block = load_block(bloom_table(c.use_threshold, 0.0f, 0.0f));
    ASSERT_TRUE(block);
    const auto* first = &block->get_bound_inputs();
    EXPECT_EQ(first, &block->get_bound_inputs()) << "the list is the block's own";
    serial::value_t saved;
    saved.kind = serial::value_kind_t::table;
    saved.valid = true;
    block->save(saved);
    std::vector<std::string> names;
    for (const serial::value_t& input : saved.get_array("bound-inputs")) {
      names.push_back(input.get_string("displayname", ""));
      EXPECT_EQ(input.get_int("type", -1), 2);
      EXPECT_EQ(input.get_int("layer_offset", -1), 1);
    }
    EXPECT_EQ(names, c.names);
  }
}

// Below a half size of 16 on either side the block draws nothing, not even the input.
TEST_F(PostEffectBlocksTest, BloomDrawsOnlyWhenHalfTheInputIsAtLeastSixteenOnBothSides) {
  struct case_t {
    int width, height;
    bool draws;
  };
  for (const case_t c : {case_t{64, 30, false}, case_t{30, 64, false}, case_t{40, 40, true}, case_t{32, 32, true}}) {
    SCOPED_TRACE(fmt::sprintf("%dx%d", c.width, c.height));
    block_base_t* block = load_block(bloom_table(true, 0.0f, 100.0f));
    ASSERT_TRUE(block);
    const texel_t before{0.3f, 0.3f, 0.3f, 1.0f}, input{0.1f, 0.2f, 0.3f, 1.0f};
    render_target_t* out = target(c.width, c.height, before);
    execute(*block, {target(c.width, c.height, input)}, out);
    expect_everywhere(out, c.draws ? input : before, 1e-3f, "output");
  }
}

// Levels halve while both sides of half the input stay at least 16, the smallest of them unused;
// the chain goes down, back up, then the image and the final grown level go into the output.
TEST_F(PostEffectBlocksTest, BloomLevelsAndPassOrderFollowTheInputSize) {
  struct case_t {
    int width, height;
    std::vector<std::string> draws;
  };
  const case_t cases[] = {
      {1920, 1080, {"pre-filter 960x540", "downsample-13 480x270", "downsample-13 240x135", "downsample-13 120x67",
                    "downsample-13 60x33", "upsample-tent 120x67", "upsample-tent 240x135", "upsample-tent 480x270",
                    "upsample-tent 960x540", "blit 1920x1080", "upsample-tent 1920x1080"}},
      {40, 40, {"pre-filter 20x20", "blit 40x40", "upsample-tent 40x40"}},
      {64, 30, {}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(fmt::sprintf("%dx%d", c.width, c.height));
    auto* block = dynamic_cast<block_bloom_t*>(load_block(bloom_table(true, 0.0f, 0.8f)));
    ASSERT_TRUE(block);
    execute(*block, {target(c.width, c.height, {0.5f, 0.5f, 0.5f, 1.0f})}, target(c.width, c.height, {}));
    EXPECT_EQ(draws_of({{block->pre_filter, "pre-filter"},
                        {block->downsample_13, "downsample-13"},
                        {block->upsample_tent, "upsample-tent"}}),
              c.draws);
  }
}

// The levels squeeze across the streak direction and halve along it down to 16; the running result
// grows back to the first level's size, and combine writes the output.
TEST_F(PostEffectBlocksTest, StreakLevelsAndPassOrderFollowTheDirection) {
  struct case_t {
    bool horizontal;
    std::vector<std::string> draws;
  };
  const case_t cases[] = {
      {true, {"pre-filter 960x270", "downsample 480x270", "downsample 240x270", "downsample 120x270",
              "downsample 60x270", "downsample 30x270", "downsample 15x270", "upsample 30x270", "upsample 60x270",
              "upsample 120x270", "upsample 240x270", "upsample 480x270", "combine 1920x1080"}},
      {false, {"pre-filter 480x540", "downsample 480x270", "downsample 480x135", "downsample 480x67",
               "downsample 480x33", "downsample 480x16", "upsample 480x33", "upsample 480x67", "upsample 480x135",
               "upsample 480x270", "combine 1920x1080"}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.horizontal ? "horizontal" : "vertical");
    auto* block = dynamic_cast<block_streak_t*>(load_block(streak_table(c.horizontal)));
    ASSERT_TRUE(block);
    execute(*block, {target(1920, 1080, {0.5f, 0.5f, 0.5f, 1.0f})}, target(1920, 1080, {}));
    EXPECT_EQ(draws_of({{block->pre_filter, "pre-filter"},
                        {block->downsample, "downsample"},
                        {block->upsample, "upsample"},
                        {block->combine, "combine"}}),
              c.draws);
  }
}

// The combine rule: the scene where the occlusion covers the sky, the sky and the shafts where it
// leaves it open. An unwritten occlusion texel covers, so a scene that writes none shows unchanged.
TEST_F(PostEffectBlocksTest, VolumetricLightCombinesSkyAndSceneByTheOcclusion) {
  std::string table = "class-name = \"volumetric-light\"\nname = \"sky\"\n";
  for (auto [name, entry] : {std::pair{"skybox", "PsSkybox"}, std::pair{"sun", "PsSun"}, std::pair{"combine", "PsCombine"}}) {
    std::string pass = pass_table("shaderdesc.renderpass", "shaders/volumetric-light.hlsl", entry, 1, "", true);
    pass.replace(pass.find(fmt::sprintf("rp-name = \"%s\"", entry)), std::strlen("rp-name = \"\"") + std::strlen(entry),
                 fmt::sprintf("rp-name = \"%s\"", name));
    table += pass;
  }
  block_base_t* block = load_block(table);
  ASSERT_TRUE(block);
  const texel_t first{0.9f, 0.1f, 0.1f, 1.0f}, second{0.1f, 0.1f, 0.9f, 1.0f};
  struct case_t {
    const char* what;
    float occlusion;
    bool shows_scene;
  };
  for (const case_t& c : {case_t{"covered", 1.0f, true}, case_t{"unwritten", 3.4028235e38f, true},
                          case_t{"open", 0.0f, false}}) {
    SCOPED_TRACE(c.what);
    render_target_t* out_first = target(64, 32, {});
    render_target_t* out_second = target(64, 32, {});
    execute(*block, {target(64, 32, first), target(64, 32, {c.occlusion, 0, 0, 1})}, out_first);
    execute(*block, {target(64, 32, second), target(64, 32, {c.occlusion, 0, 0, 1})}, out_second);
    if (c.shows_scene) {
      expect_everywhere(out_first, first, 1e-3f, "first scene");
      expect_everywhere(out_second, second, 1e-3f, "second scene");
    } else {
      // Open sky everywhere: the result does not depend on the scene at all.
      const auto a = read(out_first), b = read(out_second);
      ASSERT_EQ(a.size(), b.size());
      for (size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(a[i].r == b[i].r && a[i].g == b[i].g && a[i].b == b[i].b) << i;
      EXPECT_GT(a[0].b + a[0].g, 0.1f) << "the sky shows";
    }
  }
}

// The streak direction reaches the pre-filter and downsample shaders as a float on the first frame.
TEST_F(PostEffectBlocksTest, StreakDirectionReachesPreFilterAndDownsampleOnTheFirstFrame) {
  for (bool horizontal : {true, false}) {
    auto* block = dynamic_cast<block_streak_t*>(load_block(streak_table(horizontal)));
    ASSERT_TRUE(block);
    const texel_t input{0.1f, 0.2f, 0.3f, 1.0f};
    render_target_t* out = target(96, 64, {});
    execute(*block, {target(96, 64, input)}, out);
    for (render_pass_t* pass : {block->pre_filter, block->downsample}) {
      cb_entry_t* entry = pass->ps->find_cb_entry("cbMain", "g_horizontal");
      ASSERT_TRUE(entry && entry->variable);
      ASSERT_TRUE(std::holds_alternative<float>(entry->variable->value.value));
      EXPECT_EQ(std::get<float>(entry->variable->value.value), horizontal ? 1.0f : 0.0f);
    }
    // Nothing above the threshold: the combine shows the input unchanged.
    expect_everywhere(out, input, 1e-3f, horizontal ? "horizontal" : "vertical");
  }
}

// Outputs only a pixel or two across still get levels of at least one pixel, so the streak draws:
// with nothing above the threshold the input comes through unchanged.
TEST_F(PostEffectBlocksTest, StreakOnOutputsAFewPixelsAcrossDrawsTheInput) {
  struct case_t {
    bool horizontal;
    int width, height;
  };
  for (const case_t& c : {case_t{true, 64, 1}, case_t{true, 64, 2}, case_t{true, 1, 1}, case_t{false, 3, 64},
                          case_t{false, 1, 64}, case_t{false, 64, 2}}) {
    SCOPED_TRACE(fmt::sprintf("%s %dx%d", c.horizontal ? "horizontal" : "vertical", c.width, c.height));
    auto* block = dynamic_cast<block_streak_t*>(load_block(streak_table(c.horizontal)));
    ASSERT_TRUE(block);
    const texel_t input{0.1f, 0.2f, 0.3f, 1.0f};
    render_target_t* out = target(c.width, c.height, {});
    EXPECT_NO_THROW(execute(*block, {target(c.width, c.height, input)}, out));
    expect_everywhere(out, input, 1e-3f, "output");
  }
}

// Bad tables: the block says what is wrong, draws nothing (or with its default) and the caller
// goes on.
TEST_F(PostEffectBlocksTest, BadTablesAreReportedAndDrawNothingOrTheirDefault) {
  struct case_t {
    const char* what;
    std::string table;
    const char* warning;
    bool draws;
  };
  std::string wrong_type = bloom_table(true, 0.0f, 100.0f);
  wrong_type.replace(wrong_type.find("use-threshold = {name = \"use-threshold\", flags = 16, type = 1, default = {type = 1, value = true}}"),
                     std::strlen("use-threshold = {name = \"use-threshold\", flags = 16, type = 1, default = {type = 1, value = true}}"),
                     "use-threshold = {name = \"use-threshold\", flags = 0, type = 6, default = {type = 6, value = 2.0}}");
  const case_t cases[] = {
      {"a missing pass", bloom_table(true, 0.0f, 100.0f, false), "unable to find rp, upsample-tent", false},
      {"a variable of the wrong type", wrong_type, "bloom: \"use-threshold\" is not a bool variable, using its default", true},
      {"a shader that does not compile",
       "class-name = \"intro-block\"\n" + pass_table("rp", "shaders/intro.hlsl", "PsNoSuchEntry"), nullptr, false},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    log_capture_t log;
    block_base_t* block = load_block(c.table);
    ASSERT_TRUE(block);
    if (c.warning) {
      EXPECT_EQ(count_warnings(log, c.warning), 1) << c.warning;
    }
    const texel_t before{0.3f, 0.3f, 0.3f, 1.0f}, input{0.1f, 0.2f, 0.3f, 1.0f};
    render_target_t* out = target(64, 32, before);
    execute(*block, {target(64, 32, input)}, out);
    expect_everywhere(out, c.draws ? input : before, 1e-3f, "output");
  }
}

// The history weight is the share of the previous mixed image: lerp(input, previous, history).
TEST_F(PostEffectBlocksTest, BloomHistoryWeightIsThePreviousImagesShare) {
  const texel_t a{0.2f, 0.4f, 0.6f, 1.0f}, b{0.8f, 0.0f, 0.2f, 1.0f}, c{0.0f, 1.0f, 0.0f, 1.0f};
  auto mix = [](texel_t input, texel_t previous, float h) {
    return texel_t{(1 - h) * input.r + h * previous.r, (1 - h) * input.g + h * previous.g,
                   (1 - h) * input.b + h * previous.b, 1.0f};
  };
  for (float h : {0.25f, 0.75f}) {
    SCOPED_TRACE(h);
    block_base_t* block = load_block(bloom_table(true, h, 100.0f));
    ASSERT_TRUE(block);
    render_target_t* out = target(64, 32, {});
    execute(*block, {target(64, 32, a)}, out);
    const texel_t first = read(out)[0];
    execute(*block, {target(64, 32, b)}, out);
    const texel_t second = mix(b, first, h);
    expect_everywhere(out, second, 1e-3f, "second frame");
    execute(*block, {target(64, 32, c)}, out);
    expect_everywhere(out, mix(c, second, h), 1e-3f, "third frame");
  }
}

// FXAA softens a stair-stepped diagonal edge: with it some texels along the edge take values between
// the two sides, without it none do; far from the edge both keep their tonemapped values.
TEST_F(PostEffectBlocksTest, TonemappingFxaaSoftensADiagonalEdge) {
  constexpr int size = 32;
  std::vector<texel_t> texels(size * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) texels[size_t(y * size + x)] = x > y ? texel_t{1, 1, 1, 1} : texel_t{0, 0, 0, 1};
  // Reinhard maps 1 to 1 / 2, then the encoding takes it to 0.5^(1 / 2.2).
  const float bright = float(std::pow(0.5, 1.0 / 2.2));
  for (bool fxaa : {false, true}) {
    SCOPED_TRACE(fxaa ? "with fxaa" : "without fxaa");
    block_base_t* block = load_block("class-name = \"tonemapping\"\ntonemapper = 0\n" + bool_var("use-fxaa", fxaa) +
                                     pass_table("rp-reinhard", "shaders/tonemapping.hlsl", "PsReinhard") +
                                     pass_table("rp-fxaa", "shaders/posteffects/fxaa.post.hlsl", "FxaaPS"));
    ASSERT_TRUE(block);
    render_target_t* out = target(size, size, {});
    execute(*block, {image(size, size, texels)}, out);
    const std::vector<texel_t> result = read(out);
    int between = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const float r = result[size_t(y * size + x)].r;
        const bool softened = r > 0.02f && r < bright - 0.02f;
        between += softened ? 1 : 0;
        if (std::abs(x - y) > 3) {
          EXPECT_NEAR(r, x > y ? bright : 0.0f, 2.0f / 255.0f) << x << ", " << y;
        } else if (softened) {
          EXPECT_LE(std::abs(x - y), 2) << "softened away from the edge at " << x << ", " << y;
        }
      }
    }
    if (fxaa) {
      EXPECT_GT(between, size / 2) << "the edge is softened";
    } else {
      EXPECT_EQ(between, 0);
    }
  }
}

// The intro draws as soon as its shaders are loaded, whether or not its pixel shader's texture is
// bound; a shader block with the same pass waits for that texture.
TEST_F(PostEffectBlocksTest, IntroDrawsOnceItsShadersAreLoadedWithOrWithoutItsTexture) {
  const std::string black_rings = fmt::sprintf(
      "Params:ringColor = {name = \"ring-color\", flags = 0, type = 10, default = {type = 10, value = color(0, 0, 0, "
      "1)}}");
  struct case_t {
    const char* what;
    std::string table;
    bool with_input;
    bool draws;
    texel_t drawn;
  };
  const case_t cases[] = {
      // Black rings: the scene is black and opaque.
      {"intro", "class-name = \"intro-block\"\n" + pass_table("rp", "shaders/intro.hlsl", "PsMain", 1, black_rings),
       false, true, {0, 0, 0, 1}},
      // The pre-filter reads its unbound texture as zero and writes zero.
      {"intro with an unbound texture",
       "class-name = \"intro-block\"\n" + pass_table("rp", "shaders/bloom.hlsl", "PsPreFilter"), false, true,
       {0, 0, 0, 0}},
      {"shader block without its texture",
       "class-name = \"shader\"\n" + pass_table("renderpass", "shaders/bloom.hlsl", "PsPreFilter"), false, false,
       {}},
      {"shader block with its texture",
       "class-name = \"shader\"\n" + pass_table("renderpass", "shaders/bloom.hlsl", "PsPreFilter"), true, true,
       {0, 0, 0, 0}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    block_base_t* block = load_block(c.table);
    ASSERT_TRUE(block);
    const texel_t before{0.3f, 0.3f, 0.3f, 1.0f};
    render_target_t* out = target(64, 32, before);
    std::vector<render_target_t*> inputs;
    if (c.with_input) inputs.push_back(target(64, 32, {0, 0, 0, 1}));
    execute(*block, inputs, out);
    expect_everywhere(out, c.draws ? c.drawn : before, 1e-3f, "output");
  }
}

// The shader block's own rules: FXAA is the entry point "FxaaPS" exactly; a post-effect description
// loaded later takes its first input from the layer below; the inputs follow a pixel shader once
// per new version, when it is ready.
TEST_F(PostEffectBlocksTest, ShaderBlockFxaaNamePostEffectInputAndInputsSyncedOncePerVersion) {
  struct name_case_t {
    const char* file;
    const char* entry;
    bool fxaa;
    const char* name;
  };
  for (const name_case_t& c : {name_case_t{"shaders/posteffects/fxaa.post.hlsl", "FxaaPS", true, "fxaa:FxaaPS"},
                               name_case_t{"shaders/posteffects/fxaa.post.hlsl", "fxaaPS", false, "fxaa:fxaaPS"},
                               name_case_t{"shaders/posteffects/gamma22.hlsl", "PsGamma", false, "gamma22:PsGamma"}}) {
    block_base_t* block = load_block("class-name = \"shader\"\nname = \"mine\"\n" + pass_table("renderpass", c.file, c.entry));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->has_fxaa(), c.fxaa) << c.entry;
    EXPECT_EQ(block->get_name(), c.name);
  }
  block_base_t* passless = load_block("class-name = \"shader\"\nname = \"mine\"\n");
  ASSERT_TRUE(passless);
  EXPECT_FALSE(passless->has_fxaa());
  EXPECT_FALSE(passless->is_posteffect());

  // A post-effect description: its texture slot becomes input 0, fed by the layer directly below.
  auto* post = dynamic_cast<block_shader_effect_t*>(load_block("class-name = \"shader\"\n"));
  ASSERT_TRUE(post);
  ASSERT_TRUE(post->load_shader("shaders/bloom.toml"));
  EXPECT_TRUE(post->is_posteffect());
  ASSERT_EQ(post->bound_inputs.size(), 1u);
  EXPECT_EQ(post->bound_inputs[0].type, BOUND_INPUT_LAYER);
  EXPECT_EQ(post->bound_inputs[0].layer_offset, 1);
  // Not a post effect: the slot stays unresolved.
  auto* plain = dynamic_cast<block_shader_effect_t*>(load_block("class-name = \"shader\"\n"));
  ASSERT_TRUE(plain);
  ASSERT_TRUE(plain->load_shader("shaders/posteffects/fxaa.post.toml"));
  EXPECT_FALSE(plain->is_posteffect());
  ASSERT_EQ(plain->bound_inputs.size(), 1u);
  EXPECT_EQ(plain->bound_inputs[0].type, BOUND_INPUT_UNRESOLVED);

  // Inputs follow the pixel shader when it is marked changed and ready, once.
  auto* block = dynamic_cast<block_shader_effect_t*>(
      load_block("class-name = \"shader\"\n" + pass_table("renderpass", "shaders/bloom.hlsl", "PsPreFilter")));
  ASSERT_TRUE(block && block->pass && block->pass->ps);
  shader_t& ps = *block->pass->ps;
  struct step_t {
    const char* what;
    bool changed;
    int32_t state;
    bool outputs;
    size_t inputs_after;
    bool changed_after;
  };
  const step_t steps[] = {
      {"no outputs leave the flag", true, SHADER_STATE_READY, false, 0, true},
      {"a new ready version", true, SHADER_STATE_READY, true, 1, false},
      {"the same version", false, SHADER_STATE_READY, true, 0, false},
      {"a failed version", true, SHADER_STATE_FAILED, true, 0, false},
      {"the next ready version", true, SHADER_STATE_READY, true, 1, false},
  };
  for (const step_t& step : steps) {
    SCOPED_TRACE(step.what);
    block->bound_inputs.clear();
    ps.changed = step.changed;
    const int32_t ready = ps.state;
    ps.state = step.state;
    render_context_t context;
    render_target_t* out = target(16, 16, {});
    if (step.outputs) context.outputs = {out, target(16, 16, {})};
    block->execute(context);
    ps.state = ready;
    EXPECT_EQ(block->bound_inputs.size(), step.inputs_after);
    EXPECT_EQ(ps.changed, step.changed_after);
  }
}

}  // namespace
