// Render passes from description files and project tables, loaded through the shader manager on
// the headless device, then drawn and dispatched with their constants, system values and samplers.
#include <gtest/gtest.h>

#include "variables/variable_registry.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "graphics/render_target.h"
#include "files/toml_file.h"
#include "variables/serializer_aux.h"
#include "common/shader_manager_fixture.h"

namespace {

constexpr int W = 4, H = 2;

class RenderPassTest : public shader_test::shader_manager_fixture_t {
 protected:
  void SetUp() override {
    shader_manager_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    start_manager();
  }

  tl::expected<std::vector<std::shared_ptr<render_pass_t>>, std::string> desc(const std::string& text,
                                                                             const std::string& path = "passes/p.toml") {
    write(path, text);
    return load_render_passes_from_desc(path);
  }

  std::shared_ptr<render_pass_t> one_pass(const std::string& text, const std::string& path = "passes/p.toml") {
    auto passes = desc(text, path);
    EXPECT_TRUE(passes.has_value()) << (passes ? "" : passes.error());
    if (!passes || passes->size() != 1) return nullptr;
    return passes->front();
  }

  std::shared_ptr<render_target_t> target() {
    return resources->create_render_target(RT_SIZE_EXPLICIT, W, H, DXGI_FORMAT_R32G32B32A32_FLOAT, RT_SRV);
  }
  float4 texel0(render_target_t& t) { return read_texels<float4>(t.texture).at(0); }
};

void expect_float4(const float4& v, float x, float y, float z, float w, const char* what = "") {
  EXPECT_NEAR(v.x, x, 1e-5f) << what;
  EXPECT_NEAR(v.y, y, 1e-5f) << what;
  EXPECT_NEAR(v.z, z, 1e-5f) << what;
  EXPECT_NEAR(v.w, w, 1e-5f) << what;
}

}  // namespace

TEST_F(RenderPassTest, PixelEntryPointAloneDrawsFullScreenWithTheDefaultFile) {
  log_capture_t log;
  auto pass = one_pass("[[shaders]]\npixelshader = \"PsTest\"\n", "shaders/test.toml");
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->kind, RENDER_PASS_GRAPHICS);
  EXPECT_EQ(pass->name, "PsTest");
  ASSERT_TRUE(pass->vs && pass->ps);
  EXPECT_EQ(pass->vs->entry_point, "VsQuad");
  EXPECT_EQ(pass->vs->path.full, "shaders/default.hlsl");
  EXPECT_EQ(pass->ps->path.full, "shaders/test.hlsl");
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF,
                           "No fullscreen tag found, but there was no vertex shader either, so assuming fullscreen: PsTest"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_DBG, "Parsing shader desc: shaders/test.toml"));
  EXPECT_EQ(pass->states.blend_id, 1);
  EXPECT_EQ(pass->states.rasterizer_id, 1);
  EXPECT_EQ(pass->states.depth_stencil_id, 1);
  EXPECT_EQ(pass->geometry.topology, 4);
  EXPECT_TRUE(pass->shaders_loaded());
  EXPECT_TRUE(pass->is_ready());
  EXPECT_FALSE(pass->posteffect);
}

TEST_F(RenderPassTest, FullscreenTagReplacesTheGivenVertexShaderWithoutTheNotice) {
  log_capture_t log;
  auto pass = one_pass(R"([[shaders]]
displayname = "mine"
vertexshader = "VsLayout"
vertexshader_filename = "shaders/test.hlsl"
layout = ["VF_POS", "VF_TEX1"]
pixelshader = "PsTest"
pixelshader_filename = "shaders/test.hlsl"
fullscreen = true
posteffect = true
)");
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->vs->entry_point, "VsQuad");
  EXPECT_EQ(pass->name, "mine");
  EXPECT_TRUE(pass->posteffect);
  EXPECT_EQ(pass->vs_layout, (std::vector<uint32_t>{1, 8}));
  for (const auto& line : log.lines) EXPECT_EQ(line.second.find("No fullscreen tag"), std::string::npos);
}

TEST_F(RenderPassTest, LayoutTokensGiveCodesAndAnInputLayout) {
  auto pass = one_pass(R"([[shaders]]
vertexshader = "VsLayout"
vertexshader_filename = "shaders/test.hlsl"
layout = ["VF_POS", "VF_TEX1"]
pixelshader = "PsTest"
pixelshader_filename = "shaders/test.hlsl"
)");
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->vs->entry_point, "VsLayout");
  EXPECT_EQ(pass->vs->vs_layout, (std::vector<uint32_t>{1, 8}));
  EXPECT_TRUE(pass->vs->input_layout);
  EXPECT_EQ(pass->name, "PsTest");
}

TEST_F(RenderPassTest, DescriptionErrorsEndTheWholeLoad) {
  struct case_t {
    const char* text;
    const char* error;
  };
  const case_t cases[] = {
      {"[[shaders]]\nvertexshader = \"VsLayout\"\nvertexshader_filename = \"shaders/test.hlsl\"\nlayout = [\"vf_pos\"]\n",
       "Unknown layout token: vf_pos"},
      {"[[shaders]]\nvertexshader = \"VsLayout\"\nvertexshader_filename = \"shaders/test.hlsl\"\nlayout = [\"VF_POS\", "
       "\"VF_FOO\"]\n",
       "Unknown layout token: VF_FOO"},
      {"[[shaders]]\nvertexshader = \"VsNope\"\nvertexshader_filename = \"shaders/test.hlsl\"\n",
       "unable to load vertex shader: VsNope"},
      {"[[shaders]]\ngeometryshader = \"GsNope\"\ngeometryshader_filename = \"shaders/test.hlsl\"\n",
       "unable to load geometry shader: GsNope"},
      {"[[shaders]]\npixelshader = \"PsNope\"\npixelshader_filename = \"shaders/test.hlsl\"\n",
       "unable to load pixel shader: PsNope"},
      {"[[shaders]]\ncomputeshader = \"CsNope\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n",
       "unable to load compute shader: CsNope"},
      {"[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\ninputs = [{format = "
       "\"hdr16\"}]\n",
       "Error parsing input format: slot -1, format 1"},
      {"[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\noutputs = [{slot = 0, "
       "format = \"HDR16\"}]\n",
       "Error parsing output format: slot 0, format 0"},
      // The first pass is fine; the error of the second still ends the load.
      {"[[shaders]]\npixelshader = \"PsTest\"\npixelshader_filename = \"shaders/test.hlsl\"\n[[shaders]]\npixelshader = "
       "\"PsNope\"\npixelshader_filename = \"shaders/test.hlsl\"\n",
       "unable to load pixel shader: PsNope"},
  };
  for (const case_t& c : cases) {
    auto passes = desc(c.text);
    ASSERT_FALSE(passes.has_value()) << c.text;
    EXPECT_EQ(passes.error(), c.error);
  }
  auto missing = load_render_passes_from_desc("passes/missing.toml");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error(), serial::load_toml("passes/missing.toml").error());
}

TEST_F(RenderPassTest, FormatsStatesTopologyAndResources) {
  auto pass = one_pass(R"([[shaders]]
pixelshader = "PsTest"
pixelshader_filename = "shaders/test.hlsl"
inputs = [{slot = 0, format = "hdr16"}, {slot = 1.7, format = "depth"}]
outputs = [{slot = 0, format = "ldr"}]
rasterizerstate = "WireFrame"
blendstate = "additive"
depthstencilstate = "DepthEqual"
topology = "LineStrip"
resources = [{slot = 8, sys = "perlin-noise"}, {sys = "random"}, {slot = 0, sys = "perlin-noise"},
             {slot = 1, filename = "textures/a.png"}]
)");
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->input_formats, 0x22u);
  ASSERT_EQ(pass->input_slots.size(), 2u);
  EXPECT_EQ(pass->input_slots[1].slot, 1);
  EXPECT_EQ(pass->input_slots[1].format, 5);
  EXPECT_EQ(pass->output_formats, 1u << 3);
  EXPECT_EQ(pass->states.rasterizer_id, 4);
  EXPECT_TRUE(pass->states.rasterizer);
  EXPECT_EQ(pass->states.blend_id, 0);
  EXPECT_FALSE(pass->states.blend);
  EXPECT_EQ(pass->states.depth_stencil_id, 4);
  EXPECT_EQ(pass->geometry.topology, 3);
  EXPECT_EQ(pass->ps->resources[0].sys_name, "perlin-noise");
  EXPECT_EQ(pass->ps->resources[1].file_name, "textures/a.png");
  EXPECT_EQ(pass->ps->resources[2].sys_name, "");

  // The pass without a blend record draws with the default blend instead of a null one.
  auto out = target();
  pass->ps->variables["Params:speed"] = construct_variable("speed", VT_FLOAT, 1.0f);
  pass->ps->variables["Params:tint"] = construct_variable("tint", VT_FLOAT4, float4{0.5f, 0.25f, 1, 1});
  pass->kind = RENDER_PASS_GRAPHICS;
  pass->geometry.topology = 4;
  pass->set_rasterizer_state(2);
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0.5f, 0.25f, 1, 1, "without a blend record");

  auto quads = one_pass("[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n"
                        "topology = \"quads\"\n");
  ASSERT_TRUE(quads);
  EXPECT_EQ(quads->geometry.topology, 4);
}

// A pass whose description names an unknown preset draws with that kind's default preset, so
// what it draws does not depend on the draw before it.
TEST_F(RenderPassTest, APassWithoutABlendRecordDrawsWithTheDefaultBlend) {
  auto pass_with_blend = [&](const std::string& blend, const std::string& path) {
    auto pass = one_pass(
        "[[shaders]]\npixelshader = \"PsTest\"\npixelshader_filename = \"shaders/test.hlsl\"\n"
        "rasterizerstate = \"cullnone\"\nblendstate = \"" +
            blend + "\"\n",
        path);
    if (!pass) return pass;
    pass->ps->variables["Params:speed"] = construct_variable("speed", VT_FLOAT, 1.0f);
    pass->ps->variables["Params:tint"] = construct_variable("tint", VT_FLOAT4, float4{0.5f, 0.25f, 1, 1});
    return pass;
  };
  auto additive = pass_with_blend("oneone", "passes/a.toml");
  auto unknown = pass_with_blend("additive", "passes/b.toml");
  ASSERT_TRUE(additive && unknown);
  EXPECT_EQ(unknown->states.blend_id, 0);
  auto out = target();
  const float quarter[4] = {0.25f, 0.25f, 0.25f, 0.25f};
  additive->draw_fullscreen_to_target(out.get(), {}, quarter);
  expect_float4(texel0(*out), 0.75f, 0.5f, 1.25f, 1.25f, "added");
  unknown->draw_fullscreen_to_target(out.get(), {}, quarter);
  expect_float4(texel0(*out), 0.5f, 0.25f, 1, 1, "replaced");
  EXPECT_EQ(unknown->states.blend_id, 0) << "the id stays as described";
}

TEST_F(RenderPassTest, KindsNamesAndMainShaders) {
  log_capture_t log;
  auto compute = one_pass("[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(compute);
  EXPECT_EQ(compute->kind, RENDER_PASS_COMPUTE);
  EXPECT_EQ(compute->name, "CsMain");
  EXPECT_EQ(compute->main_shader(), compute->cs.get());

  auto vertex_only = one_pass(
      "[[shaders]]\nvertexshader = \"VsLayout\"\nvertexshader_filename = \"shaders/test.hlsl\"\n"
      "resources = [{slot = 0, sys = \"perlin-noise\"}]\n");
  ASSERT_TRUE(vertex_only);
  EXPECT_EQ(vertex_only->kind, RENDER_PASS_NONE);
  EXPECT_EQ(vertex_only->main_shader(), nullptr);
  EXPECT_EQ(vertex_only->name, "VsLayout");
  EXPECT_EQ(vertex_only->vs->resources[0].sys_name, "");

  auto both = one_pass(
      "[[shaders]]\npixelshader = \"PsSampled\"\npixelshader_filename = \"shaders/test.hlsl\"\n"
      "computeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n"
      "resources = [{slot = 0, sys = \"perlin-noise\"}]\n");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->kind, RENDER_PASS_COMPUTE);
  EXPECT_EQ(both->cs->resources[0].sys_name, "perlin-noise");
  EXPECT_EQ(both->ps->resources[0].sys_name, "");
  EXPECT_TRUE(both->states.sampler_ids.empty());
  EXPECT_EQ(both->name, "PsSampled");

  auto nothing = one_pass("[[shaders]]\nblendstate = \"oneone\"\n");
  ASSERT_TRUE(nothing);
  EXPECT_EQ(nothing->name, "unknown");
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Shader has no name.. this is weird.."));

  auto list = desc("[[shaders]]\ndisplayname = \"Blur\"\ncomputeshader = \"CsMain\"\ncomputeshader_filename = "
                   "\"shaders/test.hlsl\"\n[[shaders]]\ndisplayname = \"Blur\"\n[[shaders]]\ndisplayname = \"blur\"\n");
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ(find_render_pass(*list, "Blur"), (*list)[0].get());
  EXPECT_EQ(find_render_pass(*list, "blur"), (*list)[2].get());
  EXPECT_EQ(find_render_pass(*list, "BLUR"), nullptr);
}

TEST_F(RenderPassTest, SamplersChosenFromThePixelShadersSamplerNames) {
  log_capture_t log;
  auto pass = one_pass("[[shaders]]\npixelshader = \"PsSampled\"\npixelshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  ASSERT_EQ(pass->states.sampler_ids.size(), 3u);
  EXPECT_EQ(pass->states.sampler_ids[0], 3);  // LinearWrapSampler
  EXPECT_EQ(pass->states.sampler_ids[1], 2);  // sPoint
  EXPECT_EQ(pass->states.sampler_ids[2], 0);  // anisoSampler
  EXPECT_TRUE(pass->states.samplers[0]);
  EXPECT_FALSE(pass->states.samplers[2]);
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Unable to determine sampler type for: anisosampler"));
  // The texture slot needs a view before the pass is ready.
  EXPECT_TRUE(pass->shaders_loaded());
  EXPECT_FALSE(pass->is_ready());
  pass->set_samplers({1, 3});
  EXPECT_EQ(pass->states.samplers.size(), 5u);
}

TEST_F(RenderPassTest, DescriptionWithoutPassesGivesAnEmptyPointer) {
  log_capture_t log;
  auto passes = desc("title = \"none\"\n");
  ASSERT_TRUE(passes.has_value());
  EXPECT_TRUE(passes->empty());
  write("passes/empty.toml", "shaders = []\n");
  auto first = load_render_pass_from_desc("passes/empty.toml");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, nullptr);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "No renderpasses found in passes/empty.toml"));
}

TEST_F(RenderPassTest, DrawingFeedsTheConstantsFromVariablesAndSystemValues) {
  auto pass = one_pass("[[shaders]]\npixelshader = \"PsTest\"\npixelshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  auto out = target();
  auto other = target();
  EXPECT_FALSE(pass->ps->set_cb_value("Params", "speed", 2.0f));  // no variables before the first bind
  runtime->set_render_target(other.get(), nullptr, false);
  const float clear[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  pass->draw_fullscreen_to_target(out.get(), {}, clear);
  EXPECT_EQ(runtime->get_render_target(0), other.get());
  expect_float4(texel0(*out), 0, 0, 0, 0, "defaults");
  EXPECT_EQ(pass->ps->variables.size(), 2u);
  EXPECT_TRUE(pass->ps->variables.count("Params:tint"));
  EXPECT_TRUE(pass->ps->variables.count("Params:speed"));

  EXPECT_TRUE(pass->ps->set_cb_value("Params", "speed", 2.0f));
  EXPECT_TRUE(pass->ps->set_cb_value("Params", "tint", float4{0.1f, 0.2f, 0.3f, 0.4f}));
  EXPECT_FALSE(pass->ps->set_cb_value("Params", "nothing", 2.0f));
  EXPECT_FALSE(pass->ps->set_cb_value("Other", "speed", 2.0f));
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0.2f, 0.4f, 0.6f, 0.8f, "variables");

  // The registry lists both variables under the block's path; a second bind makes none.
  variable_registry_t registry("block");
  pass->collect_variables_prefixed("main", registry);
  std::vector<registered_variable_t> listed;
  registry.flatten(listed);
  ASSERT_EQ(listed.size(), 2u);
  auto* speed = pass->ps->find_cb_entry("Params", "speed");
  ASSERT_TRUE(speed);
  variable_t* before = speed->variable.get();
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  EXPECT_EQ(speed->variable.get(), before);

  // tint fed from the size of render target 0, then from the reciprocal size of shader resource 0.
  auto* tint = pass->ps->find_cb_entry("Params", "tint");
  ASSERT_TRUE(tint);
  pass->ps->set_cb_value("Params", "speed", 1.0f);
  tint->flags = CB_FLAG_SYS;
  tint->sys_name = "rt0";
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), float(W), float(H), 0, 0, "rt0");
  tint->sys_name = "rt1";
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0, 0, 0, 0, "rt1");
  tint->sys_name = "srv0_rcp4";
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0, 0, 0, 0, "srv0_rcp4 without a view");
  runtime->set_shader_resource(STAGE_PIXEL, 0, other->srv);
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 1.0f / W, 1.0f / H, 0, 0, "srv0_rcp4");
  runtime->set_shader_resource(STAGE_PIXEL, 0, other->srv);
  tint->sys_name = "srv0";
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), float(W), float(H), 0, 0, "srv0");
  // No engine: the named engine values write nothing.
  tint->variable.reset();
  tint->sys_name = "time";
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0, 0, 0, 0, "time without an engine");
}

TEST_F(RenderPassTest, DispatchRunsTheComputeShaderAndUnbindsIt) {
  auto pass = one_pass("[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  auto buffer = resources->create_buffer(4, 4, BUF_UAV | BUF_SRV);
  ASSERT_TRUE(buffer && buffer->uav);
  pass->set_uav(0, buffer->uav, -1);
  pass->dispatch(1);  // binds the variables
  ASSERT_TRUE(pass->cs->set_cb_value("Params", "speed", 3.0f));
  pass->dispatch(2);
  const auto values = read_buffer<float>(buffer->buffer, 4);
  EXPECT_FLOAT_EQ(values[0], 3.0f);
  EXPECT_FLOAT_EQ(values[1], 3.0f);
  EXPECT_FLOAT_EQ(values[2], 0.0f);

  auto empty = make_render_pass();
  empty->dispatch(8);  // nothing to dispatch
}

// A buffer the GPU fills (a counter copied into it) takes a constant-buffer register: the shader
// reads it as it is, and its entries neither get variables nor overwrite it.
TEST_F(RenderPassTest, BlockBufferAtAConstantRegisterIsReadAsItIs) {
  auto pass = one_pass("[[shaders]]\ncomputeshader = \"CsMain\"\ncomputeshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  auto results = resources->create_buffer(2, 4, BUF_UAV | BUF_SRV);
  ASSERT_TRUE(results && results->uav);
  pass->set_uav(0, results->uav, -1);
  float params[8] = {0, 0, 0, 0, 7.5f, 0, 0, 0};  // tint, then speed
  std::shared_ptr<constant_buffer_t> filled = resources->create_constant_buffer(32, false, params);
  ASSERT_TRUE(filled);
  EXPECT_FALSE(pass->cs->set_constant_buffer(5, filled)) << "no constant buffer at b5";
  ASSERT_TRUE(pass->cs->set_constant_buffer(0, filled));
  pass->dispatch(2);
  EXPECT_FALSE(pass->cs->set_cb_value("Params", "speed", 3.0f)) << "its entries have no variables";
  pass->dispatch(2);
  EXPECT_EQ(read_buffer<float>(results->buffer, 2), (std::vector<float>{7.5f, 7.5f}));
  variable_registry_t registry("block");
  pass->collect_variables(registry);
  std::vector<registered_variable_t> published;
  registry.flatten(published);
  EXPECT_TRUE(published.empty());
}

TEST_F(RenderPassTest, ProjectTablesRoundTripAndRestoreVariables) {
  auto pass = one_pass(R"([[shaders]]
displayname = "saved"
pixelshader = "PsTest"
pixelshader_filename = "shaders/Test.hlsl"
fullscreen = true
posteffect = true
inputs = [{slot = 0, format = "hdr16"}, {slot = 1, format = "depth"}]
outputs = [{slot = 2, format = "bloom"}]
rasterizerstate = "cullnone"
blendstate = "oneone"
topology = "trianglestrip"
)");
  ASSERT_TRUE(pass);
  pass->kind = RENDER_PASS_GRAPHICS;
  pass->set_samplers({2, 3});
  auto out = target();
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  pass->ps->set_cb_value("Params", "speed", 2.5f);
  pass->ps->set_cb_value("Params", "tint", float4{1, 1, 1, 1});

  serial::value_t table;
  save_render_pass(table, *pass);
  auto loaded = make_render_pass();
  ASSERT_TRUE(load_render_pass(table, *loaded));
  EXPECT_EQ(loaded->name, "saved");
  EXPECT_EQ(loaded->kind, RENDER_PASS_GRAPHICS);
  EXPECT_EQ(loaded->geometry.topology, 5);
  EXPECT_EQ(loaded->states.rasterizer_id, 2);
  EXPECT_EQ(loaded->states.blend_id, 4);
  EXPECT_EQ(loaded->states.depth_stencil_id, 1);
  EXPECT_EQ(loaded->states.sampler_ids, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(loaded->input_formats, 0x22u);
  ASSERT_EQ(loaded->input_slots.size(), 2u);
  EXPECT_EQ(loaded->input_slots[1].format, 5);
  EXPECT_EQ(loaded->output_formats, 0x10u);
  EXPECT_TRUE(loaded->posteffect);
  ASSERT_TRUE(loaded->vs && loaded->ps);
  EXPECT_EQ(loaded->vs->path.full, "shaders/default.hlsl");
  EXPECT_EQ(loaded->vs->entry_point, "VsQuad");
  EXPECT_EQ(loaded->ps->path.full, "shaders/test.hlsl");
  EXPECT_NE(loaded->ps->id, pass->ps->id);  // a new registration
  EXPECT_EQ(loaded->ps->variables.size(), 2u);

  // The restored values feed the first draw.
  auto restored = target();
  loaded->draw_fullscreen_to_target(restored.get(), {}, nullptr);
  expect_float4(texel0(*restored), 2.5f, 2.5f, 2.5f, 2.5f, "restored");
  ASSERT_TRUE(loaded->ps->find_cb_entry("Params", "speed")->variable);
  EXPECT_EQ(std::get<float>(loaded->ps->find_cb_entry("Params", "speed")->variable->value.value), 2.5f);
}

TEST_F(RenderPassTest, TableReadingEdgeCases) {
  auto root = serial::parse_text(R"(
[[renderpass]]

[[renderpass]]
rp-name = "second"
type = 2
samplers = [2, "x"]
input-format = 34
posteffect = true
cs = {type = 16, filename = "shaders/test.hlsl", entrypoint = "CsMain"}

[[renderpass]]
samplers = [2, 3]
vs = {type = 1, filename = "shaders/test.hlsl", entrypoint = "VsLayout", vs-layout = [1, 8]}
ps = {type = 4, filename = "shaders/test.hlsl", entrypoint = "PsTest"}
)",
                                 "");
  ASSERT_TRUE(root.has_value()) << root.error();
  // Keys with a colon cannot be written in the text format; the tree takes them.
  serial::value_t* stage = (*root)->children.at("renderpass")->items[2]->children.at("ps").get();
  serial::value_t* vars = stage->add("vars", serial::value_kind_t::table);
  save_variable(*vars->add("Params:speed", serial::value_kind_t::table), *construct_variable("speed", VT_FLOAT, 1.5f));
  save_variable(*vars->add("Params:gone", serial::value_kind_t::table), *construct_variable("gone", VT_FLOAT, 1.0f));
  std::vector<std::shared_ptr<render_pass_t>> passes;
  ASSERT_TRUE(load_render_passes(**root, passes));
  ASSERT_EQ(passes.size(), 3u);
  const render_pass_t& empty = *passes[0];
  EXPECT_EQ(empty.kind, 0);
  EXPECT_EQ(empty.geometry.topology, 4);
  EXPECT_EQ(empty.states.rasterizer_id, 1);
  EXPECT_EQ(empty.states.blend_id, 1);
  EXPECT_EQ(empty.states.depth_stencil_id, 1);
  EXPECT_TRUE(empty.states.sampler_ids.empty());
  EXPECT_FALSE(empty.vs || empty.gs || empty.ps || empty.cs);
  EXPECT_EQ(empty.name, "");

  const render_pass_t& second = *passes[1];
  EXPECT_EQ(second.name, "second");
  EXPECT_TRUE(second.states.sampler_ids.empty());
  EXPECT_FALSE(second.cs);
  EXPECT_FALSE(second.posteffect);  // read only with "ps"
  EXPECT_EQ(second.input_formats, 0x22u);

  render_pass_t& third = *passes[2];
  EXPECT_EQ(third.states.sampler_ids, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(third.states.samplers.size(), 2u);
  ASSERT_TRUE(third.ps && third.vs);
  EXPECT_EQ(third.vs->vs_layout, (std::vector<uint32_t>{1, 8}));
  EXPECT_TRUE(third.vs->input_layout);
  // The saved variables take their entries' places at load, before any draw, so that a block
  // animates them from its first frame on; gone matches no entry and is dropped.
  EXPECT_EQ(third.ps->variables.size(), 2u);  // speed and tint
  EXPECT_FALSE(third.ps->variables.count("Params:gone"));
  EXPECT_EQ(third.ps->find_cb_entry("Params", "speed")->variable, third.ps->variables.at("Params:speed"));
  EXPECT_EQ(std::get<float>(third.ps->find_cb_entry("Params", "speed")->variable->value.value), 1.5f);
  third.kind = RENDER_PASS_GRAPHICS;
  third.vs = manager->load_shader(shader_request_t(SHADER_STAGE_VERTEX, "shaders/default.hlsl", "VsQuad", 1));
  auto out = target();
  third.draw_fullscreen_to_target(out.get(), {}, nullptr);
  EXPECT_EQ(third.ps->variables.size(), 2u);  // speed and tint; gone is dropped
  EXPECT_FALSE(third.ps->variables.count("Params:gone"));
  EXPECT_EQ(std::get<float>(third.ps->find_cb_entry("Params", "speed")->variable->value.value), 1.5f);

  std::vector<std::shared_ptr<render_pass_t>> none;
  serial::value_t table;
  save_render_passes(table, none);
  EXPECT_TRUE(table.children.empty());
  save_render_passes(table, passes);
  EXPECT_EQ(table.get_array("renderpass").size(), 3u);
}

TEST_F(RenderPassTest, RestoredVariableOfALargerTypeDoesNotWritePastTheBuffer) {
  auto pass = one_pass("[[shaders]]\npixelshader = \"PsTest\"\npixelshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  // speed sits at byte 16 of a 32-byte buffer; a matrix would need 64 bytes from there.
  pass->ps->variables["Params:speed"] = construct_variable("speed", VT_FLOAT4X4, float4x4{});
  pass->ps->variables["Params:tint"] = construct_variable("tint", VT_FLOAT4, float4{1, 1, 1, 1});
  auto out = target();
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  expect_float4(texel0(*out), 0, 0, 0, 0, "speed not written");
}

TEST_F(RenderPassTest, CloneSharesObjectsButNotVariables) {
  auto pass = one_pass("[[shaders]]\npixelshader = \"PsTest\"\npixelshader_filename = \"shaders/test.hlsl\"\n");
  ASSERT_TRUE(pass);
  auto out = target();
  pass->draw_fullscreen_to_target(out.get(), {}, nullptr);
  auto copy = pass->clone();
  EXPECT_EQ(copy->ps->id, -1);
  EXPECT_EQ(copy->ps->pixel_shader.p, pass->ps->pixel_shader.p);
  EXPECT_EQ(copy->states.blend, pass->states.blend);
  EXPECT_EQ(copy->kind, RENDER_PASS_NONE);
  EXPECT_EQ(copy->name, "");
  ASSERT_TRUE(copy->ps->find_cb_entry("Params", "speed")->variable);
  EXPECT_NE(copy->ps->find_cb_entry("Params", "speed")->variable, pass->ps->find_cb_entry("Params", "speed")->variable);
  EXPECT_EQ(copy->ps->state, SHADER_STATE_READY);
}
