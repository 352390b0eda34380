// Project loading: the settings table, the block list and what a bad project still loads.

#include <gtest/gtest.h>

#include "common/engine_test_support.h"

namespace {

using EngineProjectTest = engine_fixture_t;

TEST_F(EngineProjectTest, SettingsDefaultsDependOnWhetherTheTableExists) {
  ASSERT_TRUE(engine->load_project_text("", "blocks = []\n"));
  const project_settings_t& without = engine->get_settings();
  EXPECT_EQ(without.fade_mode, 0);
  EXPECT_EQ(without.block_fade_in, 1.0f);
  EXPECT_EQ(without.camera_fade_in, 2.0f);
  EXPECT_EQ(without.sound_fade_out, 3.0f);

  ASSERT_TRUE(engine->load_project_text("", "[settings]\nproject-name = \"p\"\n"));
  const project_settings_t& with = engine->get_settings();
  EXPECT_EQ(with.project_name, "p");
  EXPECT_EQ(with.fade_mode, 2);
  EXPECT_EQ(with.block_fade_in, 0.5f);
  EXPECT_EQ(with.camera_fade_in, 0.25f);
  EXPECT_EQ(with.sound_fade_out, 2.0f);
  EXPECT_TRUE(with.gamma);

  ASSERT_TRUE(
      engine->load_project_text("", "[settings]\nfade-mode = 1.9\nblock-fade-in = 2\ncur-time = 7\n"));
  EXPECT_EQ(engine->get_settings().fade_mode, 1);
  EXPECT_EQ(engine->get_settings().block_fade_in, 2.0f);
  EXPECT_EQ(music.position, 7.0f) << "the start time is handed to the clock";
}

TEST_F(EngineProjectTest, BadInputLoadsWhatItCanAndLogsWhy) {
  log_capture_t log;
  auto loaded = engine->load_project_text("",
                                          "[[blocks]]\nclass-name = \"dummy\"\nid = 1\nend-time = 4\n"
                                          "[[blocks]]\nclass-name = \"Bloom\"\n"
                                          "[[blocks]]\nclass-name = \"no-such-class\"\n"
                                          "[[blocks]]\nname = \"nameless\"\n"
                                          "[[blocks]]\nclass-name = \"dummy\"\nid = 2\nstart-time = 4\n"
                                          "camera-spans = [{id = 3}]\n"
                                          "[soundsystem]\nsoundtrack = \"music/missing.ogg\"\n");
  ASSERT_TRUE(loaded);
  ASSERT_EQ(engine->blocks.size(), 2u);
  EXPECT_EQ(engine->blocks[0]->id, 1);
  EXPECT_EQ(engine->blocks[1]->id, 2);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_WRN, "Trying to create unsupported class id: Bloom"), 1);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_WRN, "Trying to create unsupported class id: no-such-class"), 1);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_WRN, "Trying to create unsupported class id: "), 1);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, "Error looking for camera (3) in span"), 1);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, "Loaded: "), 1);
  EXPECT_EQ(music.loads, 1) << "the sound system reads its table";
  music.position = 5.0f;
  EXPECT_TRUE(engine->tick()) << "it keeps playing up to the last block's end";
  music.position = 30.0f;
  EXPECT_FALSE(engine->tick());

  auto malformed = engine->load_project_text("", "[open\nclass-name = \"dummy\"\n");
  ASSERT_FALSE(malformed);
  EXPECT_EQ(engine->blocks.size(), 2u) << "an unparsable text changes nothing";
}

TEST_F(EngineProjectTest, EmptyBlockListNeverEnds) {
  ASSERT_TRUE(engine->load_project_text("", "blocks = []\n"));
  music.position = 1000.0f;
  EXPECT_TRUE(engine->tick());
}

TEST_F(EngineProjectTest, ProjectFileThatCannotBeReadIsReported) {
  auto result = engine->load_project("projects/none.proj.toml");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "Unable to load file: projects/none.proj.toml");
}

}  // namespace
