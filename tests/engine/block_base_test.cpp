// The block table, the exposed variables, the first-execute log and the inputs of the block base.

#include <gtest/gtest.h>

#include "engine/block_base.h"
#include "engine/block_factory.h"
#include "common/engine_test_support.h"

namespace {

using BlockBaseTest = engine_fixture_t;

TEST_F(BlockBaseTest, TableWithOnlyAClassNameTakesEveryDefault) {
  log_capture_t log;
  auto block = make_dummy_block();
  block->bound_inputs.push_back(make_layer_input("below", 0));
  EXPECT_TRUE(block->load(parse("class-name = \"dummy\"")));
  EXPECT_EQ(block->id, -1);
  EXPECT_EQ(block->name, "");
  EXPECT_EQ(block->start_time, 0.0f);
  EXPECT_EQ(block->end_time, 30.0f);
  EXPECT_EQ(block->layer, 0);
  EXPECT_EQ(block->blend_mode, 0);
  EXPECT_TRUE(block->cameras.empty());
  EXPECT_TRUE(block->camera_spans.empty());
  EXPECT_TRUE(block->bound_inputs.empty()) << "the table's inputs replace the constructor's";
  for (const char* name :
       {"do-clear-depth", "do-clear-color", "do-ext-passthrough", "do-fxaa", "clear-color", "brightness"}) {
    EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, fmt::sprintf("Unable to find %s, using default values", name)),
              1)
        << name;
  }
  EXPECT_TRUE(block->get_bool_variable(block->do_fxaa, false));
}

TEST_F(BlockBaseTest, TableKeysAcceptBothNumberKindsAndSpansNeedTheirCamera) {
  log_capture_t log;
  auto block = make_dummy_block();
  block->load(parse(
      "class-name = \"dummy\"\nid = 4.7\nname = \"intro\"\nstart-time = 2\nend-time = 12.5\nlayer = 1.9\n"
      "blend-mode = 3\ncamera-override = true\ngroup-id = 6\n"
      "cameras = [{name = \"a\", id = 40}]\n"
      "camera-spans = [{id = 40, end = 4.0}, {id = 40}, {id = 41, end = 1.0}]\n"
      "bound-inputs = [{displayname = \"tex\", type = 4, texture-path = \"data/a.png\"}]\n"));
  EXPECT_EQ(block->id, 4);
  EXPECT_EQ(block->name, "intro");
  EXPECT_EQ(block->start_time, 2.0f);
  EXPECT_EQ(block->end_time, 12.5f);
  EXPECT_EQ(block->layer, 1);
  EXPECT_EQ(block->blend_mode, 3);
  EXPECT_TRUE(block->camera_override);
  EXPECT_EQ(block->group_id, 6);
  ASSERT_EQ(block->camera_spans.size(), 2u);
  EXPECT_EQ(block->camera_spans[0].end, 4.0f);
  EXPECT_EQ(block->camera_spans[1].end, 12.5f) << "a span without end ends at the block's end";
  EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, "Error looking for camera (41) in span"), 1);
  ASSERT_EQ(block->bound_inputs.size(), 1u);
  const bound_input_t& input = block->bound_inputs[0];
  EXPECT_EQ(input.type, BOUND_INPUT_TEXTURE);
  EXPECT_EQ(input.texture_path, "data/a.png");
  EXPECT_EQ(input.dim.x, 1);
  EXPECT_EQ(input.dim.y, 1);
  EXPECT_FALSE(input.is_dynamic);
  EXPECT_EQ(input.block_id, -1);
}

TEST_F(BlockBaseTest, SavedTableLoadsBackIntoAnEqualBlock) {
  auto block = make_dummy_block();
  block->start_time = 1.5f;
  block->end_time = 9.0f;
  block->layer = 2;
  block->name = "scene";
  block->camera_scene = "";
  block->default_init();
  block->bound_inputs.push_back(make_layer_input("below", 1));
  block->clear_color->value.set(color_t{0.25f, 0.5f, 0.75f, 1});

  serial::value_t table;
  block->save(table);
  auto copy = make_dummy_block();
  copy->load(table);
  EXPECT_EQ(copy->class_name, "dummy");
  EXPECT_EQ(copy->name, "dummy") << "default_init named the block after its class";
  EXPECT_EQ(copy->layer, 2);
  EXPECT_EQ(copy->start_time, 1.5f);
  ASSERT_EQ(copy->cameras.size(), 1u);
  EXPECT_EQ(copy->cameras[0]->id, block->cameras[0]->id);
  ASSERT_EQ(copy->camera_spans.size(), 1u);
  EXPECT_EQ(copy->camera_spans[0].camera, copy->cameras[0]);
  EXPECT_FLOAT_EQ(copy->camera_spans[0].end, 7.5f);
  ASSERT_EQ(copy->bound_inputs.size(), 1u);
  EXPECT_EQ(copy->bound_inputs[0].type, BOUND_INPUT_LAYER);
  EXPECT_EQ(copy->bound_inputs[0].layer, 1);
  EXPECT_EQ(copy->bound_inputs[0].layer_offset, 1);
  EXPECT_TRUE(copy->bound_inputs[0].is_dynamic);
  EXPECT_TRUE(value_equals(copy->clear_color->value.value, color_t{0.25f, 0.5f, 0.75f, 1}));
}

TEST_F(BlockBaseTest, UpdateAnimatesOnlyWhileRunningOrForcedAndOnlyExposedVariables) {
  auto block = make_dummy_block();
  block->start_time = 10.0f;
  block->load(
      parse("start-time = 10\n"
            "brightness = {name = \"brightness\", type = 6, default = {type = 6, value = 1},"
            " has-animation = true, anim = {type = 6, interpolation = 3,"
            " channel_0 = [{time = 0, value = 0}, {time = 2, value = 1}]}}\n"));
  block->brightness->value.set(1.0f);
  block->update_variables(11.0f, false);
  EXPECT_TRUE(value_equals(block->brightness->value.value, 1.0f)) << "stopped and not forced";
  block->update_variables(11.0f, true);
  EXPECT_TRUE(value_equals(block->brightness->value.value, 0.5f)) << "local time 1 of 2";

  engine->set_running(true);
  block->update_variables(10.5f, false);
  EXPECT_TRUE(value_equals(block->brightness->value.value, 0.25f));

  // With a block below, neither brightness nor clear-color is exposed.
  auto below = make_dummy_block();
  block->sources.push_back(below.get());
  block->update_variables(12.0f, false);
  EXPECT_TRUE(value_equals(block->brightness->value.value, 0.25f));
  engine->set_running(false);
}

TEST_F(BlockBaseTest, CollectVariablesPutsCamerasUnderTheirNames) {
  auto block = make_dummy_block();
  block->default_init();
  block->cameras[0]->name = "main";
  std::vector<registered_variable_t> entries = block->collect_variables();
  std::vector<std::string> paths;
  for (const registered_variable_t& entry : entries) paths.push_back(entry.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/clear-color", "/brightness", "main/pos", "main/dir", "main/up",
                                             "main/fov"}));
}

TEST_F(BlockBaseTest, FirstExecuteLogsOnce) {
  log_capture_t log;
  auto block = make_dummy_block();
  block->name = "only";
  render_context_t context;
  context.local_time = 1.0f;
  context.time = 3.0f;
  block->execute(context);
  block->execute(context);
  int first = 0;
  for (const auto& [level, text] : log.lines)
    first += level == LOG_LEVEL_INF && text.starts_with("First execute: only (") ? 1 : 0;
  EXPECT_EQ(first, 1);
}

TEST_F(BlockBaseTest, FactoryBuildsExactClassNamesOnly) {
  log_capture_t log;
  EXPECT_FALSE(engine->create_block("Bloom", false));
  EXPECT_EQ(count_lines(log, LOG_LEVEL_WRN, "Trying to create unsupported class id: Bloom"), 1);
  block_ptr_t a = engine->create_block("dummy", true);
  block_ptr_t b = engine->create_block("dummy", false);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->class_name, "dummy");
  EXPECT_EQ(a->name, "dummy");
  EXPECT_EQ(a->cameras.size(), 1u);
  EXPECT_TRUE(b->cameras.empty()) << "without default init";
  EXPECT_EQ(a->id, 1) << "ids come from the engine's free id";
}

}  // namespace
