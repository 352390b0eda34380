// The sync-track manager over track files on disk, read through the file system, at times set on
// the engine's stopwatch.

#include "media/rocket_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "engine/engine_impl.h"
#include "support/systems.h"
#include "common/filesystem_fixture.h"
#include "common/log_capture.h"
#include "support/strings.h"

namespace {

struct key_t {
  int row;
  float value;
  int type;
};

class RocketManagerTest : public filesystem_fixture_t {
 protected:
  void SetUp() override {
    filesystem_fixture_t::SetUp();
    saved_context_ = *engine_context;
    saved_systems_ = g_systems;
    *engine_context = engine_context_t{};
    engine_context->engine = &engine_;
    systems_.filesystem = fs.get();
    g_systems = &systems_;
  }

  void TearDown() override {
    delete engine_context->rocket_manager;
    *engine_context = saved_context_;
    g_systems = saved_systems_;
    filesystem_fixture_t::TearDown();
  }

  // The file is packed by perl, not by our own code; file_name is the encoded name. The file system
  // looks local files up by their lower-cased path.
  void write_track(const std::string& file_name, int32_t count, const std::vector<key_t>& keys) {
    std::string packing = fmt::sprintf("pack('l<', %d)", count);
    for (const key_t& key : keys)
      packing += fmt::sprintf(", pack('l<f<C', %d, %.9g, %d)", key.row, key.value, key.type);
    const std::string path = base + "/data/sync/_" + to_lower(file_name) + ".track";
    std::filesystem::create_directories(base + "/data/sync");
    const std::string command = fmt::sprintf("perl -e \"print %s\" > '%s'", packing, path);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  rocket_manager_t* create() {
    auto created = create_rocket_manager();
    EXPECT_TRUE(created.has_value());
    return created ? *created : nullptr;
  }

  void set_time(float seconds) { engine_.timer.seek(seconds); }

  engine_context_t saved_context_;
  systems_t* saved_systems_ = nullptr;
  systems_t systems_;
  engine_impl_t engine_;
};

TEST_F(RocketManagerTest, KeysGiveTheirInterpolationBetweenAndHoldOutside) {
  write_track("demo-3Alinear", 2, {{20, 1.0f, 1}, {40, 3.0f, 0}});
  write_track("demo-3Asmooth", 2, {{0, 2.0f, 2}, {10, 4.0f, 0}});
  write_track("demo-3Aramp", 2, {{0, 0.0f, 3}, {10, 8.0f, 0}});
  write_track("demo-3Astep", 3, {{0, 5.0f, 0}, {10, 7.0f, 1}, {20, 9.0f, 0}});
  struct case_t {
    const char* track;
    float seconds;
    float expected;
  };
  const case_t cases[] = {
      {"demo:linear", 0.0f, 1.0f},  {"demo:linear", 1.0f, 1.0f},   {"demo:linear", 1.5f, 2.0f},
      {"demo:linear", 1.75f, 2.5f}, {"demo:linear", 2.0f, 3.0f},   {"demo:linear", 30.0f, 3.0f},
      {"demo:smooth", 0.25f, 3.0f}, {"demo:smooth", 0.1f, 2.208f}, {"demo:ramp", 0.25f, 2.0f},
      {"demo:ramp", 0.125f, 0.5f},  {"demo:step", 0.0f, 5.0f},     {"demo:step", 0.45f, 5.0f},
      {"demo:step", 0.5f, 7.0f},    {"demo:step", 0.75f, 8.0f},    {"demo:step", 5.0f, 9.0f},
      {"demo:missing", 1.0f, 0.0f},
  };
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  for (const case_t& c : cases) {
    set_time(c.seconds);
    EXPECT_FLOAT_EQ(manager->get_value(c.track), c.expected) << c.track << " at " << c.seconds << " s";
  }
}

TEST_F(RocketManagerTest, TrackFileIsReadOnFirstLookupOnly) {
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  set_time(1.0f);
  write_track("late", 1, {{0, 4.0f, 0}});
  EXPECT_EQ(manager->get_value("late"), 4.0f);
  write_track("late", 1, {{0, 6.0f, 0}});
  EXPECT_EQ(manager->get_value("late"), 4.0f);
  // A track looked up before its file existed stays without keys.
  EXPECT_EQ(manager->get_value("early"), 0.0f);
  write_track("early", 1, {{0, 6.0f, 0}});
  EXPECT_EQ(manager->get_value("early"), 0.0f);
}

TEST_F(RocketManagerTest, ShortFileKeepsTheWholeKeysItHolds) {
  // Promises three keys but holds one and a half.
  write_track("short", 3, {{0, 2.0f, 1}});
  const std::string path = base + "/data/sync/_short.track";
  ASSERT_EQ(std::system(fmt::sprintf("perl -e \"print pack('l<', 40)\" >> '%s'", path).c_str()), 0);
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  set_time(3.0f);
  EXPECT_EQ(manager->get_value("short"), 2.0f);
}

// A file that is there but is not a whole track is reported; its whole keys are kept only while
// they still read as a track's, so noise never drives a constant.
TEST_F(RocketManagerTest, FilesThatAreNotWholeTracksAreReported) {
  struct case_t {
    const char* name;
    std::string bytes;  // as perl prints them
    const char* problem;
    float value;
  };
  const case_t cases[] = {
      {"empty", "''", "(0 bytes, no key count); the track has no keys", 0.0f},
      {"cut", "pack('l<', 2), pack('l<f<C', 0, 2.0, 1), pack('l<', 20)", "(17 bytes for 2 keys); keeping the whole keys",
       2.0f},
      {"noise", "pack('l<', 3), pack('l<f<C', 50, 1.0, 9), pack('l<f<C', 7, 2.0, 1)", "(22 bytes for 3 keys); the track has no keys",
       0.0f},
      {"negative", "pack('l<', -4)", "(a key count of -4); the track has no keys", 0.0f},
      {"long", "pack('l<', 0), pack('l<', 1)", "(8 bytes for 0 keys); keeping", 0.0f},
  };
  std::filesystem::create_directories(base + "/data/sync");
  for (const case_t& c : cases) {
    const std::string path = base + "/data/sync/_" + c.name + ".track";
    ASSERT_EQ(std::system(fmt::sprintf("perl -e \"print %s\" > '%s'", c.bytes, path).c_str()), 0) << c.name;
  }
  log_capture_t log;
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  set_time(3.0f);
  for (const case_t& c : cases) {
    EXPECT_EQ(manager->get_value(c.name), c.value) << c.name;
    bool warned = false;
    for (const auto& [level, text] : log.lines)
      warned |= level == LOG_LEVEL_WRN && text.find(fmt::sprintf("data/sync/_%s.track", c.name)) != std::string::npos &&
                text.find(c.problem) != std::string::npos;
    EXPECT_TRUE(warned) << c.name << ": no WRN with " << c.problem;
  }
  // A missing file is the quiet case.
  EXPECT_EQ(manager->get_value("absent"), 0.0f);
  for (const auto& [level, text] : log.lines) EXPECT_EQ(text.find("_absent.track"), std::string::npos) << text;
}

TEST_F(RocketManagerTest, UpdateCopiesTheSystemTracksIntoEngineVariables) {
  write_track("system-3Atrack.0", 2, {{0, 0.0f, 1}, {20, 10.0f, 0}});
  write_track("system-3Atrack.3", 1, {{0, 3.5f, 0}});
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  set_time(0.5f);
  manager->update();
  for (int i = 0; i < 5; ++i) {
    variable_ptr_t variable = engine_.find_variable(fmt::sprintf("system:track.%d", i));
    ASSERT_TRUE(variable) << i;
    EXPECT_EQ(variable->type, VT_FLOAT);
    const float expected = i == 0 ? 5.0f : i == 3 ? 3.5f : 0.0f;
    ASSERT_EQ(variable->value.value.index(), TV_FLOAT) << i;
    EXPECT_EQ(std::get<float>(variable->value.value), expected) << i;
  }
  variable_ptr_t moving = engine_.find_variable("system:track.0");
  variable_ptr_t still = engine_.find_variable("system:track.3");
  moving->value.changed = still->value.changed = false;
  set_time(0.75f);
  manager->update();
  EXPECT_TRUE(moving->value.changed);
  EXPECT_EQ(std::get<float>(moving->value.value), 7.5f);
  EXPECT_FALSE(still->value.changed);
}

TEST_F(RocketManagerTest, DefaultTracksAreReadAtCreation) {
  write_track("beats-3Abeat.1", 1, {{0, 1.0f, 0}});
  rocket_manager_t* manager = create();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(engine_context->rocket_manager, manager);
  std::filesystem::remove(base + "/data/sync/_beats-3abeat.1.track");
  EXPECT_EQ(manager->get_value("beats:beat.1"), 1.0f);
  // Names are not normalised: another spelling is another track.
  EXPECT_EQ(manager->get_value("beats:Beat.1"), 0.0f);
}

TEST_F(RocketManagerTest, CreatesTheSyncDirectory) {
  create();
  EXPECT_TRUE(std::filesystem::is_directory(base + "/data/sync"));
}

TEST(RocketManagerWithoutFilesTest, WorksWithoutAFileSystem) {
  systems_t* saved = g_systems;
  g_systems = nullptr;
  const engine_context_t saved_context = *engine_context;
  *engine_context = engine_context_t{};
  auto created = create_rocket_manager();
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ((*created)->get_value("system:track.0"), 0.0f);
  (*created)->update();
  delete *created;
  *engine_context = saved_context;
  g_systems = saved;
}

}  // namespace
