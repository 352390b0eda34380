// engine_init over the real services: the first service that cannot be made ends it with its own
// message, and what was made before stays registered for engine_close.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/content_engine_fixture.h"
#include "common/scratch_directory.h"
#include "common/windowless_graphics_system.h"
#include "engine/engine_impl.h"
#include "platform/bass/bass.h"

namespace {

// The test's graphics system, except that it has no device once the shader manager exists: the
// shader manager's built-in shaders are made, the texture manager's textures are not.
class device_for_shaders_only_t final : public test_support::windowless_graphics_system_t {
 public:
  using windowless_graphics_system_t::windowless_graphics_system_t;
  ID3D11Device* get_device() override { return engine_context->shader_manager ? nullptr : real_.get_device(); }
};

class EngineInitTest : public content_test::content_engine_fixture_t {};

TEST_F(EngineInitTest, TheFirstServiceThatFailsEndsItWithItsMessage) {
  // An archive-less file system holds no shader cache, so not even the built-in shaders load.
  const std::filesystem::path empty_dir = test_support::make_scratch_directory("engine_init");
  ASSERT_FALSE(empty_dir.empty());
  auto empty_files = create_filesystem_at((empty_dir / "pumblecrisp").string());
  ASSERT_TRUE(empty_files.has_value());
  std::unique_ptr<filesystem_t> no_content(*empty_files);
  filesystem_t* const content = g_systems->filesystem;
  graphics_system_t* const graphics = g_systems->gsys;
  device_for_shaders_only_t textures_fail(*gsys);

  struct case_t {
    const char* what;
    bool shaders_fail, textures_fail, sound_fails;
    const char* text;
    bool result;
    std::string message;  // the one warning; a prefix when it ends in ": "
    bool shaders, textures, engine, tracks;
  };
  const case_t cases[] = {
      {"everything fails", true, true, true, "x =", false, "Error creating shader manager: error loading shaders: ",
       false, false, false, false},
      {"textures, sound and project fail", false, true, true, "x =", false,
       "Error creating texture manager: Error creating default texture", true, false, false, false},
      {"sound and project fail", false, false, true, "x =", false,
       "Error creating soundsystem: Error initializing BASS. Error code: e", true, true, false, false},
      {"project fails", false, false, false, "x =", false, "Error loading project: unexpected end of file", true,
       true, true, true},
      {"no project", false, false, false, nullptr, true, "", true, true, true, true},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    g_systems->filesystem = c.shaders_fail ? no_content.get() : content;
    g_systems->gsys = c.textures_fail ? static_cast<graphics_system_t*>(&textures_fail) : graphics;
    // The audio output taken already makes the sound system's start fail.
    if (c.sound_fails) {
      ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    bool result;
    std::vector<std::pair<int, std::string>> lines;
    {
      log_capture_t log;
      result = engine_init(g_systems, c.text);
      lines = log.lines;
    }
    EXPECT_EQ(result, c.result);
    // engine_init's own lines; the services may warn of their own troubles besides.
    std::vector<std::string> warnings;
    for (const auto& [level, text] : lines)
      if (level == LOG_LEVEL_WRN && (text.starts_with("Error creating ") || text.starts_with("Error loading project")))
        warnings.push_back(text);
    if (c.message.empty()) {
      EXPECT_TRUE(warnings.empty());
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      if (c.message.ends_with(": ")) {
        EXPECT_TRUE(warnings[0].starts_with(c.message)) << warnings[0];
      } else {
        EXPECT_EQ(warnings[0], c.message);
      }
    }
    EXPECT_EQ(engine_context->shader_manager != nullptr, c.shaders);
    EXPECT_EQ(engine_context->texture_manager != nullptr, c.textures);
    EXPECT_EQ(engine_context->engine != nullptr, c.engine);
    EXPECT_EQ(engine_context->rocket_manager != nullptr, c.tracks);
    EXPECT_EQ(engine_context->soundsystem != nullptr, c.engine) << "made just before the engine";
    if (c.engine) {
      EXPECT_TRUE(static_cast<engine_impl_t*>(engine_context->engine)->blocks.empty());
    }

    EXPECT_TRUE(engine_close());
    EXPECT_EQ(engine_context->shader_manager, nullptr);
    EXPECT_EQ(engine_context->texture_manager, nullptr);
    EXPECT_EQ(engine_context->engine, nullptr);
    EXPECT_EQ(engine_context->rocket_manager, nullptr);
    if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
    if (c.sound_fails) BASS_Free();
  }
  g_systems->filesystem = content;
  g_systems->gsys = graphics;
  no_content.reset();
  std::filesystem::remove_all(empty_dir);
}

}  // namespace
