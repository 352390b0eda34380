// Project values of the right syntax but no meaning change what is drawn; each is reported with a
// warning that names the block and the key, and the value falls back to its default.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "blocks/block_shader.h"
#include "blocks/block_tonemapping.h"
#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/engine.h"
#include "shaders/render_pass.h"
#include "support/log.h"

namespace {

struct silent_change_t {
  const char* name;
  std::string block;    // the block's table, without its name
  const char* warning;  // a part of the WRN line
  std::function<void(block_base_t&)> check;
};

void PrintTo(const silent_change_t& change, std::ostream* out) { *out << change.name; }

float brightness(block_base_t& block) {
  block.update_variables(block.start_time + 1.0f, true);
  return std::get<float>(block.brightness->value.value);
}

// A shader block whose pass names preset 99 for one kind of state.
std::string pass_table(const char* key) {
  return std::string("class-name = \"shader\"\n[blocks.renderpass]\nrp-name = \"p\"\ntype = 1\n") + key +
         " = 99\n[blocks.renderpass.ps]\ntype = 4\nfilename = \"shaders/demo/flash.hlsl\"\nentrypoint = \"PsFlash\"\n";
}

class SilentChangesTest : public content_test::content_engine_fixture_t,
                          public ::testing::WithParamInterface<silent_change_t> {};

TEST_P(SilentChangesTest, WarnsNamingTheBlockAndKey) {
  const silent_change_t& change = GetParam();
  log_capture_t log;
  ASSERT_TRUE(start_blocks("[[blocks]]\nname = \"mistyped\"\n" + change.block));
  ASSERT_EQ(current_engine()->get_blocks().size(), 1u);
  bool warned = false;
  for (const auto& [level, text] : log.lines)
    warned |= level == LOG_LEVEL_WRN && text.find("mistyped") != std::string::npos &&
              text.find(change.warning) != std::string::npos;
  EXPECT_TRUE(warned) << "no WRN naming the block with: " << change.warning;
  change.check(*current_engine()->get_blocks()[0]);
}

const silent_change_t silent_changes[] = {
    {"Tonemapper", "class-name = \"tonemapping\"\ntonemapper = 99\n", "tonemapper 99",
     [](block_base_t& b) { EXPECT_EQ(dynamic_cast<block_tonemapping_t&>(b).tonemapper, 99); }},
    {"BlendMode", "class-name = \"dummy\"\nblend-mode = 99\n", "blend-mode 99", [](block_base_t& b) { EXPECT_EQ(b.blend_mode, 0); }},
    {"RasterizerState", pass_table("rasterizer-state"), "rasterizer-state 99",
     [](block_base_t& b) {
       const render_pass_t& pass = *dynamic_cast<block_shader_effect_t&>(b).pass;
       EXPECT_EQ(pass.states.rasterizer_id, 1);
       EXPECT_TRUE(pass.states.rasterizer);
     }},
    {"BlendState", pass_table("blend-state"), "blend-state 99",
     [](block_base_t& b) { EXPECT_TRUE(dynamic_cast<block_shader_effect_t&>(b).pass->states.blend); }},
    {"DepthStencilState", pass_table("depth-stencil-state"), "depth-stencil-state 99",
     [](block_base_t& b) { EXPECT_TRUE(dynamic_cast<block_shader_effect_t&>(b).pass->states.depth_stencil); }},
    {"StartAfterEnd", "class-name = \"dummy\"\nstart-time = 10.0\nend-time = 5.0\n", "start-time 10 is after end-time 5",
     [](block_base_t& b) { EXPECT_EQ(b.end_time, b.start_time); }},
    {"ExpressionThatDoesNotParse", "class-name = \"dummy\"\nbrightness = {name = \"brightness\", flags = 0, type = 6, default = {type = 6, value = "
     "0.75}, has-animation = true, anim = {type = 6, interpolation = 5, expr_0 = \"sin(t\"}}\n",
     "expr_0 \"sin(t\" does not parse", [](block_base_t& b) { EXPECT_EQ(brightness(b), 0.75f); }},
    {"UnknownFunction", "class-name = \"dummy\"\nbrightness = {name = \"brightness\", flags = 0, type = 6, default = {type = 6, value = "
     "0.75}, has-animation = true, anim = {type = 6, interpolation = 5, expr_0 = \"0.5 + wobble(t)\"}}\n",
     "calls wobble, which is not a function", [](block_base_t& b) { EXPECT_EQ(brightness(b), 0.75f); }},
    {"VariableType", "class-name = \"dummy\"\nbrightness = {name = \"brightness\", flags = 0, type = 99, default = {type = 6, value = "
     "0.75}, has-animation = false}\n",
     "type 99 is not a variable type", [](block_base_t& b) { EXPECT_EQ(b.brightness->type, VT_FLOAT); }},
    {"MissingInputBlock", "class-name = \"dummy\"\nbound-inputs = [{displayname = \"source\", type = 3, block-id = 77}]\n",
     "bound input source has block-id 77", [](block_base_t&) {}},
    {"CameraSpanWithoutCamera", "class-name = \"dummy\"\ncamera-spans = [{id = 5}]\n", "camera-spans id 5",
     [](block_base_t& b) { EXPECT_TRUE(b.camera_spans.empty()); }},
};

INSTANTIATE_TEST_SUITE_P(Values, SilentChangesTest, ::testing::ValuesIn(silent_changes),
                         [](const ::testing::TestParamInfo<silent_change_t>& info) { return info.param.name; });

}  // namespace
