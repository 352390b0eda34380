#include "libs/rocket/sync.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "libs/rocket/sync_track_path.h"

namespace {

namespace fs = std::filesystem;

struct file_key_t {
  int32_t row;
  float value;
  uint8_t type;
};

// The file layout written out field by field, as the editor saves it.
std::string track_file_bytes(int32_t count, const std::vector<file_key_t>& keys) {
  std::string bytes;
  auto put = [&bytes](const void* data, size_t size) { bytes.append(static_cast<const char*>(data), size); };
  put(&count, 4);
  for (const file_key_t& key : keys) {
    put(&key.row, 4);
    put(&key.value, 4);
    put(&key.type, 1);
  }
  return bytes;
}

class RocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / fmt::sprintf("rocket_test_%d", static_cast<int>(getpid()));
    fs::create_directories(dir);
    base = dir.string() + "/";
    device = sync_create_device(base.c_str());
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    sync_destroy_device(device);
    fs::remove_all(dir);
  }

  void write_track(const std::string& name, const std::string& bytes) {
    std::ofstream(sync_track_path(base, name), std::ios::binary) << bytes;
  }

  fs::path dir;
  std::string base;
  sync_device* device = nullptr;
};

TEST_F(RocketTest, InterpolatesBetweenAndHoldsOutsideTheKeys) {
  write_track("group:curve", track_file_bytes(5, {{0, 1.0f, KEY_LINEAR},
                                                  {20, 3.0f, KEY_STEP},
                                                  {30, 5.0f, KEY_SMOOTH},
                                                  {40, 7.0f, KEY_RAMP},
                                                  {60, 11.0f, KEY_LINEAR}}));
  const sync_track* track = sync_get_track(device, "group:curve");
  ASSERT_NE(track, nullptr);
  ASSERT_EQ(track->keys.size(), 5u);

  struct case_t {
    double row;
    double value;
  };
  for (const case_t c : {
           case_t{-1e12, 1.0}, case_t{-5.0, 1.0},  // before the first key
           case_t{0.0, 1.0}, case_t{0.5, 1.05}, case_t{10.0, 2.0}, case_t{19.75, 2.975},  // linear
           case_t{20.0, 3.0}, case_t{25.0, 3.0}, case_t{29.99, 3.0},                      // step holds
           case_t{30.0, 5.0}, case_t{32.5, 5.3125}, case_t{35.0, 6.0},                    // smooth
           case_t{40.0, 7.0}, case_t{45.0, 7.25}, case_t{50.0, 8.0},                      // ramp
           case_t{60.0, 11.0}, case_t{60.5, 11.0}, case_t{1e12, 11.0},  // after the last key
       }) {
    EXPECT_DOUBLE_EQ(sync_get_val(track, c.row), c.value) << "row " << c.row;
  }
}

TEST_F(RocketTest, UnknownKeyTypeGivesZeroBetweenKeys) {
  write_track("odd", track_file_bytes(2, {{0, 4.0f, 7}, {10, 8.0f, KEY_LINEAR}}));
  const sync_track* track = sync_get_track(device, "odd");
  EXPECT_EQ(sync_get_val(track, 5.0), 0.0);
  EXPECT_EQ(sync_get_val(track, 10.0), 8.0);
  EXPECT_EQ(sync_get_val(track, -1.0), 4.0);
}

TEST_F(RocketTest, MissingFileGivesATrackWithoutKeys) {
  const sync_track* track = sync_get_track(device, "nowhere:track");
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->name, "nowhere:track");
  EXPECT_TRUE(track->keys.empty());
  EXPECT_EQ(sync_get_val(track, 0.0), 0.0);
  EXPECT_EQ(sync_get_val(track, 123.4), 0.0);
  // The same track comes back; a file written later is not read.
  write_track("nowhere:track", track_file_bytes(1, {{0, 2.0f, KEY_STEP}}));
  EXPECT_EQ(sync_get_track(device, "nowhere:track"), track);
  EXPECT_TRUE(track->keys.empty());
}

TEST_F(RocketTest, MalformedFilesKeepOnlyWholeSortedKeys) {
  struct case_t {
    const char* name;
    std::string bytes;
    std::vector<std::pair<int32_t, float>> keys;
  };
  const std::string two_keys = track_file_bytes(3, {{0, 1.0f, KEY_LINEAR}, {10, 2.0f, KEY_LINEAR}});
  const std::vector<case_t> cases = {
      {"count above the keys present",
       two_keys + std::string("\x14\x00\x00\x00\x00", 5),
       {{0, 1.0f}, {10, 2.0f}}},
      {"negative count", track_file_bytes(-2, {{0, 1.0f, KEY_STEP}}), {}},
      {"short count", std::string("\x01\x00", 2), {}},
      {"empty", std::string(), {}},
      {"unsorted",
       track_file_bytes(3, {{20, 3.0f, 1}, {0, 1.0f, 1}, {10, 2.0f, 1}}),
       {{0, 1.0f}, {10, 2.0f}, {20, 3.0f}}},
      {"duplicate rows: the later wins",
       track_file_bytes(3, {{0, 1.0f, 1}, {5, 2.0f, 1}, {5, 4.0f, 1}}),
       {{0, 1.0f}, {5, 4.0f}}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    write_track(c.name, c.bytes);
    const sync_track* track = sync_get_track(device, c.name);
    ASSERT_EQ(track->keys.size(), c.keys.size());
    for (size_t i = 0; i < c.keys.size(); ++i) {
      EXPECT_EQ(track->keys[i].row, c.keys[i].first);
      EXPECT_EQ(track->keys[i].value, c.keys[i].second);
    }
    for (double row : {-1.0, 0.0, 2.5, 5.0, 7.5, 15.0, 1e9})
      EXPECT_TRUE(std::isfinite(sync_get_val(track, row)));
  }
}

TEST(RocketPathTest, EncodesEveryOtherByteAsHex) {
  EXPECT_EQ(sync_track_path("data/sync/", "system:track.0"), "data/sync/_system-3Atrack.0.track");
  EXPECT_EQ(sync_track_path("data/sync/", "a b/c_D9"), "data/sync/_a-20b/c_D9.track");
  EXPECT_EQ(encode_track_name("\xE9-\x01"), "-E9-2D-01");
  // At the limit an escape is dropped whole rather than cut.
  const std::string long_name = std::string(257, 'x') + ":";
  EXPECT_EQ(encode_track_name(long_name), std::string(257, 'x'));
  EXPECT_EQ(encode_track_name(std::string(300, 'y')).size(), max_encoded_track_name);
}

// File callbacks over one in-memory file, the way a caller with its own file system reads tracks.
struct memory_file_t {
  std::string bytes;
  size_t cursor = 0;
  int opens = 0;
  std::string last_path;
};
memory_file_t memory_file;

void* memory_open(const char* path, const char* mode) {
  ++memory_file.opens;
  memory_file.last_path = path;
  if (memory_file.bytes.empty()) return nullptr;
  memory_file.cursor = 0;
  return &memory_file;
}
size_t memory_read(void* destination, size_t size, size_t count, void* handle) {
  if (handle == nullptr || size == 0) return 0;
  const size_t bytes = std::min(size * count, memory_file.bytes.size() - memory_file.cursor);
  std::memcpy(destination, memory_file.bytes.data() + memory_file.cursor, bytes);
  memory_file.cursor += bytes;
  return bytes / size;
}
int memory_close(void* handle) {
  memory_file.cursor = 0;
  return 0;
}

TEST(RocketIoTest, TracksAreReadOnceThroughTheCallbacks) {
  memory_file = {};
  memory_file.bytes = track_file_bytes(2, {{0, 1.0f, KEY_LINEAR}, {20, 3.0f, KEY_LINEAR}});
  sync_device* device = sync_create_device("data/sync/");
  ASSERT_NE(device, nullptr);
  sync_io_cb io{&memory_open, &memory_read, &memory_close};
  sync_set_io_cb(device, &io);

  const sync_track* track = sync_get_track(device, "system:track.0");
  EXPECT_EQ(memory_file.last_path, "data/sync/_system-3Atrack.0.track");
  EXPECT_DOUBLE_EQ(sync_get_val(track, 0.5f * 20.0f), 2.0);
  EXPECT_DOUBLE_EQ(sync_get_val(track, 2.0f * 20.0f), 3.0);
  EXPECT_DOUBLE_EQ(sync_get_val(track, -20.0), 1.0);
  EXPECT_EQ(sync_get_track(device, "system:track.0"), track);
  EXPECT_EQ(memory_file.opens, 1);

  memory_file.bytes.clear();  // the open callback now fails
  EXPECT_TRUE(sync_get_track(device, "beats:beat.0")->keys.empty());
  EXPECT_EQ(memory_file.opens, 2);
  sync_destroy_device(device);
  EXPECT_EQ(sync_create_device(nullptr), nullptr);
}

}  // namespace
