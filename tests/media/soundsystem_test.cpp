// The sound system over the audio output: SDL's dummy driver plays in real time without a sound
// card, and its disk driver records what was played. Music is made by sox and oggenc.

#include "media/soundsystem.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fmt/printf.h>

#include "engine/engine.h"
#include "text/serial_reader.h"
#include "text/serial_value.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "common/filesystem_fixture.h"
#include "common/log_capture.h"
#include "platform/bass/bass.h"

namespace {

using namespace std::chrono_literals;
using serial::value_kind_t;

constexpr int rate = 44100;

class SoundsystemTest : public filesystem_fixture_t {
 protected:
  void SetUp() override {
    filesystem_fixture_t::SetUp();
    saved_context_ = *engine_context;
    saved_systems_ = g_systems;
    *engine_context = engine_context_t{};
    systems_.filesystem = fs.get();
    g_systems = &systems_;
    setenv("SDL_AUDIODRIVER", audio_driver(), 1);
    start_new_soundsystem();
  }

  void TearDown() override {
    drop_soundsystem();
    *engine_context = saved_context_;
    g_systems = saved_systems_;
    filesystem_fixture_t::TearDown();
  }

  virtual const char* audio_driver() { return "dummy"; }

  // The player keeps its one sound system to the end; a test deletes each one it made.
  void drop_soundsystem() {
    if (!sound) return;
    sound->shutdown();
    destroy_soundsystem(sound);
    sound = nullptr;
  }

  // There is one audio output, so the previous sound system goes first.
  void start_new_soundsystem() {
    drop_soundsystem();
    auto created = create_soundsystem();
    ASSERT_TRUE(created.has_value()) << created.error();
    sound = *created;
  }

  // A two-note stereo chord, so that the left and right channels differ.
  std::string make_music(const std::string& name, double seconds) {
    const std::string wav = base + "/" + name + ".wav";
    const std::string command = fmt::sprintf(
        "sox -n -r %d -b 16 -c 2 '%s' synth %g sine 440 sine 554 gain -3 2>/dev/null && "
        "oggenc -Q -o '%s/%s' '%s'",
        rate, wav, seconds, base, name, wav);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return name;
  }

  // The soundsystem table of a project text.
  bool load_project(const std::string& soundsystem_table) {
    auto root = serial::parse_text(soundsystem_table, "");
    EXPECT_TRUE(root.has_value()) << (root ? "" : root.error());
    return root && sound->load(**root);
  }

  // Waits until the position passes a value; the output plays in real time.
  bool wait_for_position_above(float seconds, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (sound->get_position() > seconds) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  soundsystem_t* sound = nullptr;
  engine_context_t saved_context_;
  systems_t* saved_systems_ = nullptr;
  systems_t systems_;
};

TEST_F(SoundsystemTest, RegistersItselfAndStartsWithoutMusic) {
  EXPECT_EQ(engine_context->soundsystem, sound);
  EXPECT_FALSE(sound->has_music());
  EXPECT_EQ(sound->get_length(), 180.0f);
  EXPECT_EQ(sound->get_volume(), 0.3f);
  EXPECT_EQ(sound->get_position(), 0.0f);
  EXPECT_EQ(sound->get_position_precise(), 0.0);
  // Operations that need music do nothing.
  sound->play();
  sound->set_position(5.0f);
  sound->pause();
  EXPECT_EQ(sound->get_position(), 0.0f);
}

TEST_F(SoundsystemTest, ProjectWithoutTableHasNoMusicAndVolumeZero) {
  ASSERT_TRUE(load_project("[settings]\nname = \"x\"\n"));
  EXPECT_FALSE(sound->has_music());
  EXPECT_EQ(sound->get_volume(), 0.0f);
  EXPECT_EQ(sound->get_length(), 180.0f);
  EXPECT_EQ(sound->get_soundtrack(), "");
}

TEST_F(SoundsystemTest, VolumeIsClampedToTheUnitRange) {
  struct case_t {
    const char* text;
    float expected;
  };
  const case_t cases[] = {{"1.7", 1.0f}, {"-0.2", 0.0f}, {"0.45", 0.45f},   {"1", 1.0f},
                          {"0", 0.0f},   {"1.0", 1.0f},  {"\"loud\"", 0.0f}};
  for (const case_t& c : cases) {
    ASSERT_TRUE(load_project(fmt::sprintf("[soundsystem]\nvolume = %s\n", c.text)));
    EXPECT_EQ(sound->get_volume(), c.expected) << c.text;
  }
  for (const case_t& c : {case_t{"", 3.5f}, case_t{"", -1.0f}, case_t{"", 0.25f}}) {
    sound->set_volume(c.expected);
    EXPECT_EQ(sound->get_volume(), std::clamp(c.expected, 0.0f, 1.0f));
  }
}

TEST_F(SoundsystemTest, SoundtrackLoadsWithItsLengthAndVolume) {
  make_music("theme.ogg", 2.0);
  ASSERT_TRUE(load_project("[soundsystem]\nsoundtrack = \"theme.ogg\"\nvolume = 0.8\n"));
  ASSERT_TRUE(sound->has_music());
  EXPECT_EQ(sound->get_length(), 2.0f);
  EXPECT_EQ(sound->get_volume(), 0.8f);
  EXPECT_EQ(sound->get_soundtrack(), "theme.ogg");
  EXPECT_EQ(sound->get_position(), 0.0f);

  sound->set_position(1.25f);
  EXPECT_EQ(sound->get_position(), 1.25f);
  EXPECT_EQ(sound->get_position_precise(), 1.25);

  sound->free_music();
  EXPECT_FALSE(sound->has_music());
  EXPECT_EQ(sound->get_soundtrack(), "");
  EXPECT_EQ(sound->get_length(), 2.0f);
  EXPECT_EQ(sound->get_volume(), 0.8f);
}

TEST_F(SoundsystemTest, UnloadResetsLengthAndVolume) {
  sound->unload();  // without music nothing changes
  EXPECT_EQ(sound->get_length(), 180.0f);
  make_music("theme.ogg", 1.0);
  ASSERT_TRUE(load_project("[soundsystem]\nsoundtrack = \"theme.ogg\"\nvolume = 0.9\n"));
  sound->unload();
  EXPECT_FALSE(sound->has_music());
  EXPECT_EQ(sound->get_length(), 0.0f);
  EXPECT_EQ(sound->get_volume(), 0.3f);
  EXPECT_EQ(sound->get_soundtrack(), "");
}

TEST_F(SoundsystemTest, FailedSoundtracksLeaveNoMusicAndAreLogged) {
  make_music("theme.ogg", 1.0);
  write("noise.ogg", std::string(2048, 'x'));
  std::ifstream theme(base + "/theme.ogg", std::ios::binary);
  const std::string whole{std::istreambuf_iterator<char>(theme), std::istreambuf_iterator<char>()};
  write("cut.ogg", whole.substr(0, whole.size() / 2));
  ASSERT_TRUE(sound->load_music("theme.ogg"));
  struct case_t {
    const char* path;
    const char* info;
  };
  for (const case_t c : {case_t{"missing.ogg", "Error loading music. Error code: 2"},
                         case_t{"noise.ogg", "Error loading music. Error code: 29"},
                         case_t{"cut.ogg", "Error loading music. Error code: 29"}}) {
    ASSERT_TRUE(sound->load_music("theme.ogg"));
    log_capture_t log;
    ASSERT_TRUE(load_project(fmt::sprintf("[soundsystem]\nsoundtrack = \"%s\"\nvolume = 0.5\n", c.path)));
    EXPECT_FALSE(sound->has_music()) << c.path;
    EXPECT_EQ(sound->get_volume(), 0.5f);
    EXPECT_TRUE(log.contains(LOG_LEVEL_INF, c.info)) << c.path;
    EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, fmt::sprintf("Error loading music: %s", c.path))) << c.path;
  }
  // An empty soundtrack neither loads nor frees.
  ASSERT_TRUE(sound->load_music("theme.ogg"));
  ASSERT_TRUE(load_project("[soundsystem]\nsoundtrack = \"\"\n"));
  EXPECT_TRUE(sound->has_music());
}

TEST_F(SoundsystemTest, SavedTableHoldsTheBeatParametersWithTheirDefaults) {
  make_music("theme.ogg", 1.0);
  struct case_t {
    const char* beat_params;
    float c, v, deadzone, duration, use_variance;
  };
  const case_t cases[] = {
      {"", 4.5f, -1.5f, 0.25f, 0.1f, 0.0f},
      {"beat-params = {c = 2.0}", 2.0f, -1.5f, 0.25f, 0.1f, 1.0f},
      {"beat-params = {v = 3, deadzone = 0.5, duration = 0.2, use-variance = false}", 4.5f, 3.0f, 0.5f, 0.2f,
       0.0f},
      {"beat-params = {use-variance = 7}", 4.5f, -1.5f, 0.25f, 0.1f, 1.0f},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.beat_params);
    start_new_soundsystem();
    ASSERT_TRUE(load_project(
        fmt::sprintf("[soundsystem]\nsoundtrack = \"theme.ogg\"\nvolume = 0.6\n%s\n", c.beat_params)));
    serial::value_t parent;
    sound->save(parent);
    const serial::value_t& table = parent.get("soundsystem", value_kind_t::table);
    EXPECT_EQ(table.get_string("soundtrack", ""), "theme.ogg");
    EXPECT_EQ(table.get_float("volume", -1), 0.6f);
    const serial::value_t& params = table.get("beat-params", value_kind_t::table);
    EXPECT_EQ(params.get_float("c", -9), c.c);
    EXPECT_EQ(params.get_float("v", -9), c.v);
    EXPECT_EQ(params.get_float("deadzone", -9), c.deadzone);
    EXPECT_EQ(params.get_float("duration", -9), c.duration);
    EXPECT_EQ(params.get_float("use-variance", -9), c.use_variance);
  }
  // Without music the table is written empty.
  sound->free_music();
  serial::value_t parent;
  sound->save(parent);
  const serial::value_t& table = parent.get("soundsystem", value_kind_t::table);
  EXPECT_TRUE(table.valid);
  EXPECT_TRUE(table.children.empty());
}

TEST_F(SoundsystemTest, BeatListsAreStoredByIndex) {
  sound->set_beats(2, {0.5f, 1.5f});
  sound->set_beats(5, {9.0f});
  EXPECT_EQ(sound->get_beats(2), (std::vector<float>{0.5f, 1.5f}));
  EXPECT_TRUE(sound->get_beats(0).empty());
  EXPECT_TRUE(sound->get_beats(5).empty());
  EXPECT_TRUE(sound->get_beats(-1).empty());
}

TEST_F(SoundsystemTest, ShutdownTwiceFreesNothingTwiceAndAllowsANewStart) {
  make_music("theme.ogg", 1.0);
  ASSERT_TRUE(sound->load_music("theme.ogg"));
  sound->shutdown();
  EXPECT_FALSE(sound->has_music());
  sound->shutdown();
  EXPECT_FALSE(sound->has_music());
  start_new_soundsystem();
  EXPECT_TRUE(sound->load_music("theme.ogg"));
}

TEST_F(SoundsystemTest, CreationFailsWhileTheOutputIsTaken) {
  auto second = create_soundsystem();
  ASSERT_FALSE(second.has_value());
  EXPECT_EQ(second.error(), fmt::sprintf("Error initializing BASS. Error code: %x", BASS_ERROR_ALREADY));
  EXPECT_EQ(engine_context->soundsystem, sound);
}

// Records the textures asked for.
class texture_recorder_t final : public texture_manager_t {
 public:
  void reload_changed_files() override {}
  texture_t* default_texture() override { return nullptr; }
  tl::expected<texture_t*, std::string> load_texture(const std::string&) override { return nullptr; }
  tl::expected<texture_t*, std::string> create_texture_from_pixels(const uint8_t*, int, int, int) override {
    return nullptr;
  }
  texture_t* find_texture(const std::string&) override { return nullptr; }
  std::vector<std::string> list_texture_names() override { return {}; }
  std::unique_ptr<texture_t> create_texture_2d(int width, int height, DXGI_FORMAT format,
                                               const void* data) override {
    requests.push_back({width, height, format, data});
    return std::make_unique<texture_t>();
  }
  HRESULT update_texture(texture_t&, const void*) override { return 0; }
  std::unique_ptr<texture_t> create_texture_3d(int, int, int, DXGI_FORMAT, const void*) override {
    return nullptr;
  }

  struct request_t {
    int width, height;
    DXGI_FORMAT format;
    const void* data;
  };
  std::vector<request_t> requests;
};

TEST_F(SoundsystemTest, HoldsABeatTextureFromTheTextureManagerUntilShutdown) {
  texture_recorder_t textures;
  engine_context->texture_manager = &textures;
  start_new_soundsystem();
  ASSERT_EQ(textures.requests.size(), 1u);
  EXPECT_EQ(textures.requests[0].width, 9);
  EXPECT_EQ(textures.requests[0].height, 16);
  EXPECT_EQ(textures.requests[0].format, DXGI_FORMAT_R32_FLOAT);
  EXPECT_EQ(textures.requests[0].data, nullptr);
  // Released once: the second shutdown (in TearDown) has nothing left to free.
  sound->shutdown();
  engine_context->texture_manager = nullptr;
}

// The position is read here while the audio thread advances it.
class SoundsystemThreadTest : public SoundsystemTest {};

TEST_F(SoundsystemThreadTest, PlaysInRealTimePausesResumesAndSeeks) {
  make_music("theme.ogg", 3.0);
  ASSERT_TRUE(load_project("[soundsystem]\nsoundtrack = \"theme.ogg\"\nvolume = 0.5\n"));

  const auto started = std::chrono::steady_clock::now();
  sound->play();
  ASSERT_TRUE(wait_for_position_above(0.2f));
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Never ahead of the wall clock by more than the device's buffer.
  EXPECT_LE(sound->get_position(), elapsed + 0.1);

  sound->pause();
  const float paused = sound->get_position();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sound->get_position(), paused);

  sound->set_position(2.0f);
  EXPECT_EQ(sound->get_position(), 2.0f);
  sound->play();
  ASSERT_TRUE(wait_for_position_above(2.05f));
  EXPECT_LT(sound->get_position(), 3.0f);
  ASSERT_TRUE(wait_for_position_above(2.999f));
  EXPECT_EQ(sound->get_position(), 3.0f);
}

// Records the played samples to a file.
class SoundsystemDiskTest : public SoundsystemTest {
 protected:
  void SetUp() override {
    setenv("SDL_DISKAUDIOFILE", (std::filesystem::temp_directory_path() / output_name()).c_str(), 1);
    SoundsystemTest::SetUp();
  }
  const char* audio_driver() override { return "disk"; }
  static std::string output_name() {
    return fmt::sprintf("soundsystem_disk_%d.raw", static_cast<int>(getpid()));
  }

  static std::vector<int16_t> read_samples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
};

// After a seek to 1 s, the device plays silence, then the second half of the decoded music
// (decoded independently by sox) at the project's volume, then silence again.
TEST_F(SoundsystemDiskTest, PlayedSamplesAreTheMusicFromTheSeekOnAtTheVolume) {
  make_music("theme.ogg", 1.5);
  const std::string reference_path = base + "/reference.raw";
  ASSERT_EQ(
      std::system(fmt::sprintf("sox '%s/theme.ogg' -t raw -e signed -b 16 -c 2 '%s' trim 1.0 2>/dev/null",
                               base, reference_path)
                      .c_str()),
      0);
  const std::vector<int16_t> reference = read_samples(reference_path);
  ASSERT_EQ(reference.size(), static_cast<size_t>(rate / 2 * 2));

  ASSERT_TRUE(load_project("[soundsystem]\nsoundtrack = \"theme.ogg\"\nvolume = 0.25\n"));
  sound->set_position(1.0f);
  sound->play();
  ASSERT_TRUE(wait_for_position_above(1.4999f, 5000ms));
  drop_soundsystem();  // closes the output file after the last block
  const std::string output_path = (std::filesystem::temp_directory_path() / output_name()).string();
  const std::vector<int16_t> output = read_samples(output_path);
  std::filesystem::remove(output_path);

  size_t start = 0;
  while (start < output.size() && output[start] == 0) ++start;
  ASSERT_LT(start, output.size()) << "nothing was played";
  start -= start % 2;  // the first sample of a frame
  // The music starts at a zero crossing of both channels only by chance: search a few frames back.
  size_t best_start = start;
  double best_error = 1e30;
  for (size_t back = 0; back <= 16 && back <= start; back += 2) {
    if (start - back + reference.size() > output.size()) continue;
    double worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
      worst = std::max(worst, std::abs(output[start - back + i] - reference[i] * 0.25));
    if (worst < best_error) {
      best_error = worst;
      best_start = start - back;
    }
  }
  EXPECT_LE(best_error, 2.0);
  // Left and right differ: the channels were not swapped or mixed down.
  EXPECT_NE(output[best_start + 2000], output[best_start + 2001]);
  for (size_t i = best_start + reference.size(); i < output.size(); ++i) ASSERT_EQ(output[i], 0) << i;
}

}  // namespace
