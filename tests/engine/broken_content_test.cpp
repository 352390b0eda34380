// The bundled production played headless with one of its files broken as a user's editor leaves
// it: missing, emptied, cut in half or overwritten with noise. Whatever the file, the player starts
// (or refuses to where it must, naming the file), logs what went wrong, survives every frame, and
// the frames where the file's block is not active look as they do with the file intact.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/content_engine_fixture.h"
#include "common/dds_file_writer.h"
#include "common/forwarding_filesystem.h"
#include "common/frame_images.h"
#include "common/graphics_test_support.h"
#include "common/log_capture.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "support/log.h"
#include "support/strings.h"
#include "variables/engine_context.h"

namespace {

namespace fs = std::filesystem;

enum damage_t { MISSING, EMPTY, TRUNCATED, RANDOM_BYTES, DAMAGE_COUNT };
constexpr const char* damage_names[DAMAGE_COUNT] = {"Missing", "Empty", "Truncated", "RandomBytes"};

// What a damaged file must log: a line at `level` containing `text` (no line when `text` is null,
// where the player logs nothing for it), and whether start-up is refused.
struct expected_t {
  int level = LOG_LEVEL_WRN;
  const char* text = nullptr;
  bool refused = false;
};

using expectations_t = std::array<expected_t, DAMAGE_COUNT>;

// One kind of file the production reads.
struct file_kind_t {
  const char* name;
  const char* path;  // as the production asks for it
  // A kind the production does not read is swapped in for one it does, in the project text.
  const char* replaces;
  // Times (among the expected images) at which the file's block is not active.
  std::vector<float> away;
  expectations_t expected;
  // Damages that fail only because of a fault being mended elsewhere: the fault, or null.
  std::array<const char*, DAMAGE_COUNT> pending = {};
};

constexpr const char* project_path = "projects/demo-final.proj.toml";

expected_t wrn(const char* text) { return {LOG_LEVEL_WRN, text, false}; }
expected_t refused(const char* text) { return {LOG_LEVEL_WRN, text, true}; }
expectations_t always(const expected_t& e) { return {e, e, e, e}; }
// The player says nothing (a missing sync track is a track without keys).
constexpr expected_t silent{LOG_LEVEL_WRN, nullptr, false};

const std::vector<file_kind_t>& file_kinds() {
  static const std::vector<file_kind_t> kinds = {
      // A missing project is the host's: it logs the file and never starts the engine.
      {"Project", project_path, nullptr, {},
       {refused(nullptr), wrn("Project has no blocks"), refused("Error loading project: "),
        refused("Error loading project: ")}},
      {"ShaderDescription", "shaders/particlesystems/simple_particle.toml", nullptr, {8.0f, 57.0f, 70.0f, 117.5f},
       always(wrn("shaders/particlesystems/simple_particle.toml"))},
      {"CacheManifest", "/shadermanager.toml", nullptr, {}, always(refused("/shadermanager.toml"))},
      {"ReflectionBlob", "shaders/cache/shaders.demo.flash.hlsl.psflash.refl", nullptr, {8.0f, 57.0f, 97.0f},
       // Missing and empty blobs are dropped from the cache; one that is not whole fails its shader.
       {wrn("shaders/cache/shaders.demo.flash.hlsl.psflash.refl"),
        wrn("shaders/cache/shaders.demo.flash.hlsl.psflash.refl"),
        wrn("Error reading reflection for: shaders/demo/flash.hlsl, entry point: PsFlash"),
        wrn("Error reading reflection for: shaders/demo/flash.hlsl, entry point: PsFlash")}},
      // The compile task names the shader whose bytecode it could not use.
      {"Bytecode", "shaders/cache/shaders.demo.flash.hlsl.psflash.spv", nullptr, {8.0f, 57.0f, 97.0f},
       always(wrn("shaders/demo/flash.hlsl"))},
      {"Png", "data/textures/rock.png", nullptr, {8.0f, 29.0f, 57.0f, 97.0f}, always(wrn("data/textures/rock.png"))},
      {"Jpeg", "data/textures/rock.jpg", "data/textures/rock.png", {8.0f, 29.0f, 57.0f},
       always(wrn("data/textures/rock.jpg"))},
      {"Dds", "data/textures/rock.dds", "data/textures/rock.png", {8.0f, 29.0f, 57.0f},
       always(wrn("data/textures/rock.dds"))},
      {"Gltf", "data/meshes/knot.glb", nullptr, {8.0f, 57.0f, 97.0f}, always(wrn("data/meshes/knot.glb"))},
      {"Font", "data/fonts/gantrybolt.msdf", nullptr, {15.0f, 57.0f, 70.0f}, always(wrn("data/fonts/gantrybolt.msdf"))},
      {"CameraScript", "config/lsystem_cam1.txt", nullptr, {8.0f, 57.0f, 97.0f}, always(wrn("config/lsystem_cam1.txt"))},
      {"SyncTrack", "data/sync/_demo-3Asnare.track", nullptr, {70.0f, 97.0f, 108.0f},
       {silent, wrn("data/sync/_demo-3Asnare.track"), wrn("data/sync/_demo-3Asnare.track"),
        wrn("data/sync/_demo-3Asnare.track")}},
      {"Soundtrack", "data/music/demo-final.ogg", nullptr, {8.0f, 57.0f, 97.0f}, always(wrn("data/music/demo-final.ogg"))},
      {"CameraScene", "data/scenes/star-flight.e3d", nullptr, {15.0f, 57.0f, 97.0f},
       always(wrn("data/scenes/star-flight.e3d"))},
  };
  return kinds;
}

struct broken_case_t {
  size_t kind;
  damage_t damage;
};

void PrintTo(const broken_case_t& c, std::ostream* out) {
  *out << file_kinds()[c.kind].name << damage_names[c.damage];
}

std::vector<broken_case_t> all_cases() {
  std::vector<broken_case_t> cases;
  for (size_t k = 0; k < file_kinds().size(); ++k)
    for (int d = 0; d < DAMAGE_COUNT; ++d) cases.push_back({k, damage_t(d)});
  return cases;
}

// The damaged bytes of a file; noise comes from a generator of its own, seeded per case.
std::vector<uint8_t> damaged(const std::vector<uint8_t>& bytes, damage_t damage, uint32_t seed) {
  switch (damage) {
    case TRUNCATED:
      return {bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 2)};
    case RANDOM_BYTES: {
      std::mt19937 noise(seed);
      std::vector<uint8_t> random(std::max<size_t>(bytes.size(), 64));
      for (uint8_t& b : random) b = uint8_t(noise());
      return random;
    }
    default:
      return {};
  }
}

// The intact file of a kind the production does not read itself.
std::vector<uint8_t> stand_in(const std::string& path) {
  if (path.ends_with(".jpg")) return frame_images::encode_gradient(64, 64, true);
  dds_test::dds_header_t header;
  header.width = header.height = 8;
  return dds_test::dds_file(header, dds_test::tagged_rgba8(1, 1, 8, 8, 1));
}

// The archive copy's file system with one file damaged: reads and existence checks of its path
// (letter case and a leading '/' aside) answer with the damaged bytes, or as for a missing file.
class damaging_filesystem_t final : public test_support::forwarding_filesystem_t {
 public:
  damaging_filesystem_t(filesystem_t& real, std::string path, std::optional<std::vector<uint8_t>> bytes)
      : forwarding_filesystem_t(real), path_(key(path)), bytes_(std::move(bytes)) {}

  bool exists(const std::string& path) override { return damaged(path) ? bytes_.has_value() : real_.exists(path); }
  bool read_file(const std::string& path, byte_vector_t& bytes) override {
    if (!damaged(path)) return real_.read_file(path, bytes);
    if (bytes_) bytes.assign(bytes_->begin(), bytes_->end());
    return bytes_.has_value();
  }
  bool read_text_file(const std::string& path, std::string& text) override {
    if (!damaged(path)) return real_.read_text_file(path, text);
    if (bytes_) text.assign(bytes_->begin(), bytes_->end());
    return bytes_.has_value();
  }

 private:
  static std::string key(const std::string& path) {
    std::string k = to_lower(path);
    return k.starts_with('/') ? k.substr(1) : k;
  }
  bool damaged(const std::string& path) const { return key(path) == path_; }

  std::string path_;
  std::optional<std::vector<uint8_t>> bytes_;
};

class BrokenContentTest : public content_test::sized_content_engine_fixture_t<320, 180>,
                          public ::testing::WithParamInterface<broken_case_t> {
 protected:
  BrokenContentTest() : sized_content_engine_fixture_t("broken_content") {}

  // From now on the file reads as damaged, for the engine and the text reader.
  void damage(const std::string& path, damage_t damage, const std::vector<uint8_t>& intact) {
    std::optional<std::vector<uint8_t>> bytes;
    if (damage != MISSING) bytes = damaged(intact, damage, 24u + uint32_t(GetParam().kind));
    auto damaging = std::make_unique<damaging_filesystem_t>(files(), path, std::move(bytes));
    damaging_ = damaging.get();
    read_through(std::move(damaging));
  }

  std::vector<uint8_t> read(const std::string& path) {
    byte_vector_t bytes;
    EXPECT_TRUE(files().read_file(path, bytes)) << path;
    return bytes;
  }

  damaging_filesystem_t* damaging_ = nullptr;
};

bool logged(const log_capture_t& log, const expected_t& expected) {
  for (const auto& [level, text] : log.lines)
    if (level == expected.level && text.find(expected.text) != std::string::npos) return true;
  return false;
}

TEST_P(BrokenContentTest, PlaysOnLogsAndKeepsTheOtherBlocks) {
  const file_kind_t& kind = file_kinds()[GetParam().kind];
  const damage_t damage_kind = GetParam().damage;
  const expected_t& expected = kind.expected[damage_kind];
  if (const char* fault = kind.pending[damage_kind]) GTEST_SKIP() << "pending the mend of " << fault;

  std::vector<uint8_t> intact = kind.replaces ? stand_in(kind.path) : read(kind.path);
  std::string project;
  ASSERT_TRUE(files().read_text_file(project_path, project));
  if (kind.replaces) {
    // The production reads the stand-in, intact or not, where it read the file it replaces.
    for (size_t at = project.find(kind.replaces); at != std::string::npos; at = project.find(kind.replaces, at))
      project.replace(at, std::string(kind.replaces).size(), kind.path);
  }
  damage(kind.path, damage_kind, intact);

  log_capture_t log;
  if (kind.path == std::string(project_path)) {
    // As the host reads it: an unreadable project file is never handed to the engine (the host
    // logs it and runs on without one).
    project.clear();
    if (!damaging_->read_text_file(project_path, project)) {
      EXPECT_TRUE(expected.refused);
      return;
    }
  }
  const bool started = start(project);
  // Some files are read only when their block first draws: the log is read after the frames.
  auto expect_logged = [&] {
    if (expected.text) {
      EXPECT_TRUE(logged(log, expected)) << "no line at level " << expected.level << " with: " << expected.text;
      return;
    }
    for (const auto& [level, text] : log.lines)
      EXPECT_FALSE(level >= LOG_LEVEL_WRN && text.find(kind.path) != std::string::npos) << text;
  };
  if (expected.refused) {
    EXPECT_FALSE(started);
    expect_logged();
    return;
  }
  ASSERT_TRUE(started);

  // Across the production, the broken block's times included; where the block is not active the
  // frame is the intact production's.
  const fs::path expected_dir = fs::path(PUMBLECRISP_TEST_DATA) / "demo_frames";
  const fs::path output_dir = fs::path(PUMBLECRISP_BINARY_DIR) / "test-output/broken_content";
  for (float t : {2.0f, 8.0f, 15.0f, 29.0f, 44.0f, 57.0f, 70.0f, 82.0f, 97.0f, 108.0f, 117.5f}) {
    const std::vector<uint32_t> frame = frame_at(t);
    if (std::find(kind.away.begin(), kind.away.end(), t) == kind.away.end()) continue;
    const std::string name = fmt::sprintf("frame_%05.2f.png", t);
    const auto intact_frame = frame_images::read_png(expected_dir / name, width, height);
    ASSERT_TRUE(intact_frame.has_value()) << name;
    const frame_images::frame_difference_t d = frame_images::compare_frames(frame, *intact_frame, 24);
    if (!frame_images::frames_match(d)) {
      const std::string written = fmt::sprintf("%s_%s_%s", kind.name, damage_names[damage_kind], name);
      frame_images::write_png(output_dir / written, frame, width, height);
      ADD_FAILURE() << name << " differs from the intact production's: mean difference " << d.mean << ", "
                    << 100.0 * d.far_fraction << " % of pixels far off; the frame is in "
                    << (output_dir / written).string();
    }
  }
  expect_logged();
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenContentTest, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<broken_case_t>& info) {
                           return std::string(file_kinds()[info.param.kind].name) + damage_names[info.param.damage];
                         });

}  // namespace
