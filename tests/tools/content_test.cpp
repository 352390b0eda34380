// The bundled production as the player reads it: the project through the text reader, every file
// it names through the content archive, the camera scenes, the sync tracks against the music, and
// the shader cache entries the build made.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "engine/e3d.h"
#include "engine/engine_impl.h"
#include "files/filesystem.h"
#include "media/rocket_manager.h"
#include "text/serial_reader.h"
#include "text/serial_value.h"
#include "support/systems.h"

namespace {

namespace fs = std::filesystem;
using serial::value_kind_t;
using serial::value_t;

const char* project_path = "projects/demo-final.proj.toml";

std::string source_dir() { return fs::path(PUMBLECRISP_TEST_DATA).parent_path().parent_path().parent_path(); }

std::string read_source(const std::string& relative) {
  std::ifstream in(source_dir() + "/content/" + relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<value_t> parse(const std::string& text, const std::string& name) {
  auto parsed = serial::parse_text(text, name);
  EXPECT_TRUE(parsed.has_value()) << name << ": " << (parsed ? "" : parsed.error());
  return parsed ? std::move(*parsed) : std::make_unique<value_t>();
}

std::vector<const value_t*> items(const value_t& parent, const char* key) {
  std::vector<const value_t*> out;
  for (const value_t& item : parent.get_array(key)) out.push_back(&item);
  return out;
}

// The stage tables ("vs", "gs", "ps", "cs") of every render-pass table below a node, whatever key
// its block keeps the pass under.
void collect_stages(const value_t& node, std::vector<const value_t*>& out) {
  if (node.kind == value_kind_t::array) {
    for (const auto& item : node.items) collect_stages(*item, out);
    return;
  }
  if (node.kind != value_kind_t::table) return;
  for (const char* stage : {"vs", "gs", "ps", "cs"})
    if (const value_t& table = node.get(stage, value_kind_t::table); table.valid) out.push_back(&table);
  for (const auto& [key, child] : node.children) collect_stages(*child, out);
}

// The classes whose passes are full-screen triangles over the image of the layer below.
const std::set<std::string> full_screen_classes = {"shader", "bloom", "streak", "tonemapping", "volumetric-light",
                                                   "intro-block"};

std::vector<const value_t*> stage_tables(const value_t& block) {
  std::vector<const value_t*> out;
  collect_stages(block, out);
  return out;
}

class ContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto created = create_filesystem_at(std::string(PUMBLECRISP_BINARY_DIR) + "/bin/player");
    ASSERT_TRUE(created.has_value());
    archive_.reset(*created);
    ASSERT_TRUE(archive_->mount_archive("vlm_ks9.dat")) << "the content archive is built with the player";
    project_ = parse(read_source(project_path), project_path);
  }
  static void TearDownTestSuite() {
    project_.reset();
    archive_.reset();
  }

  static std::vector<const value_t*> blocks() { return items(*project_, "blocks"); }
  static const value_t& block_named(const std::string& name) {
    for (const value_t* block : blocks())
      if (block->get_string("name", "") == name) return *block;
    ADD_FAILURE() << "no block " << name;
    return serial::null_value();
  }
  static std::vector<uint8_t> archived(const std::string& path) {
    byte_vector_t bytes;
    EXPECT_TRUE(archive_->read_file(path, bytes)) << path;
    return bytes;
  }

  static std::unique_ptr<filesystem_t> archive_;
  static std::unique_ptr<value_t> project_;
};

std::unique_ptr<filesystem_t> ContentTest::archive_;
std::unique_ptr<value_t> ContentTest::project_;

TEST_F(ContentTest, ProjectHasShaderAndPostEffectBlocksOverLayersWithBlendsFadesAndMusic) {
  const value_t& settings = project_->get("settings", value_kind_t::table);
  EXPECT_EQ(settings.get_int("fade-mode", 0), 2);
  EXPECT_GT(settings.get_float("block-fade-in", 0), 0.0f);
  EXPECT_GT(settings.get_float("camera-fade-in", 0), 0.0f);
  EXPECT_EQ(project_->get("soundsystem", value_kind_t::table).get_string("soundtrack", ""),
            "data/music/demo-final.ogg");

  std::set<int> layers, blend_modes, ids;
  std::set<std::string> classes;
  int shader_blocks = 0;
  for (const value_t* block : blocks()) {
    SCOPED_TRACE(block->get_string("name", "?"));
    const std::string class_name = block->get_string("class-name", "");
    classes.insert(class_name);
    layers.insert(block->get_int("layer", -1));
    blend_modes.insert(block->get_int("blend-mode", -1));
    EXPECT_TRUE(ids.insert(block->get_int("id", -1)).second) << "ids are unique";
    EXPECT_LT(block->get_float("start-time", 0), block->get_float("end-time", 0));
    // Every pass of the full-screen classes draws a triangle with a pixel shader.
    const auto stages = stage_tables(*block);
    if (!full_screen_classes.contains(class_name)) continue;
    EXPECT_FALSE(stages.empty());
    for (const value_t* stage : stages) {
      const int type = stage->get_int("type", 0);
      EXPECT_TRUE(type == 1 || type == 4) << stage->get_string("entrypoint", "");
      if (type == 1) {
        EXPECT_EQ(stage->get_string("entrypoint", ""), "VsQuad");
      }
    }
    if (class_name != "shader") continue;
    ++shader_blocks;
    const value_t& pass = block->get("renderpass", value_kind_t::table);
    EXPECT_EQ(pass.get_int("type", 0), 1);
    EXPECT_EQ(pass.get("ps", value_kind_t::table).get_int("type", 0), 4);
  }
  EXPECT_GE(shader_blocks, 6);
  // Every block class of the project format but the trivial one.
  EXPECT_EQ(classes, (std::set<std::string>{"shader", "bloom", "streak", "tonemapping", "volumetric-light",
                                            "simple-particlesystem", "particlesystem", "intro-block",
                                            "tile-transition", "grid-deform", "lsystem", "mesh", "sdf-text",
                                            "depth-of-field"}));
  EXPECT_EQ(layers, (std::set<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(blend_modes.contains(1) && blend_modes.contains(3)) << "add and screen are used";
}

// [[blocks.cameras]] after a block's nested tables belongs to that block.
TEST_F(ContentTest, CameraSpansNameCamerasOfTheirBlock) {
  struct case_t {
    const char* block;
    size_t cameras;
  };
  for (const case_t c : {case_t{"tunnel", 2}, case_t{"metaballs", 3}, case_t{"knot", 1}, case_t{"lsystem", 4}}) {
    SCOPED_TRACE(c.block);
    const value_t& block = block_named(c.block);
    const auto cameras = items(block, "cameras");
    ASSERT_EQ(cameras.size(), c.cameras);
    std::set<int> camera_ids;
    for (const value_t* camera : cameras) {
      camera_ids.insert(camera->get_int("id", -1));
      for (const char* key : {"pos", "dir", "up", "fov", "near-plane", "far-plane"})
        EXPECT_TRUE(camera->get(key, value_kind_t::table).valid) << key;
      EXPECT_EQ(camera->get("pos", value_kind_t::table).get_int("type", 0), 8);
      EXPECT_EQ(camera->get("fov", value_kind_t::table).get_int("type", 0), 6);
    }
    const auto spans = items(block, "camera-spans");
    ASSERT_EQ(spans.size(), c.cameras);
    float previous_end = 0.0f;
    for (const value_t* span : spans) {
      EXPECT_TRUE(camera_ids.contains(span->get_int("id", -1)));
      EXPECT_GT(span->get_float("end", 0), previous_end);
      previous_end = span->get_float("end", 0);
    }
    EXPECT_EQ(previous_end, block.get_float("end-time", 0) - block.get_float("start-time", 0));
  }
  EXPECT_TRUE(items(block_named("starfield"), "cameras").empty());
  EXPECT_EQ(block_named("starfield").get_string("camera-scene", ""), "data/scenes/star-flight.e3d");
}

// Every block above layer 0 lies within one scene, so linking feeds it that scene's image; post
// effects read the image below them, and the finishing pass of a scene is its topmost block over
// the whole scene and reads the image below it. Only the short flashes and a tonemapper lie above it.
TEST_F(ContentTest, UpperLayersSpanTheSceneBelowAndTheFinishingPassIsOnTop) {
  std::vector<std::pair<float, float>> scenes;
  for (const value_t* block : blocks())
    if (block->get_int("layer", -1) == 0)
      scenes.emplace_back(block->get_float("start-time", 0), block->get_float("end-time", 0));
  for (const value_t* block : blocks()) {
    if (block->get_int("layer", 0) == 0) continue;
    SCOPED_TRACE(block->get_string("name", ""));
    const std::pair<float, float> span{block->get_float("start-time", 0), block->get_float("end-time", 0)};
    EXPECT_TRUE(std::any_of(scenes.begin(), scenes.end(), [&](const std::pair<float, float>& scene) {
      return scene.first <= span.first && span.second <= scene.second;
    }));
    const std::string class_name = block->get_string("class-name", "");
    if (class_name == "grid-deform") {
      const auto inputs = items(*block, "bound-inputs");
      ASSERT_EQ(inputs.size(), 1u);
      EXPECT_EQ(inputs[0]->get_int("type", 0), 2) << "the image of the scene below";
      EXPECT_EQ(inputs[0]->get_int("layer_offset", 0), 1);
      continue;
    }
    // Text, particles and meshes draw over or instead of the image below as their classes do.
    if (!full_screen_classes.contains(class_name) && class_name != "depth-of-field") continue;
    if (class_name != "shader" && class_name != "intro-block") {
      // A post effect replaces the image below with its own result, read from the layer below.
      EXPECT_EQ(block->get_int("blend-mode", -1), 0);
      const auto inputs = items(*block, "bound-inputs");
      ASSERT_FALSE(inputs.empty());
      for (const value_t* input : inputs) {
        EXPECT_EQ(input->get_int("type", 0), 2);
        EXPECT_EQ(input->get_int("layer_offset", 0), 1);
      }
      continue;
    }
    const value_t& pass = block->get("renderpass", value_kind_t::table);
    if (pass.get("ps", value_kind_t::table).get_string("filename", "") != "shaders/demo/grade.hlsl") {
      EXPECT_NE(block->get_int("blend-mode", 0), 0) << "overlays are blended";
      continue;
    }
    EXPECT_TRUE(pass.get_bool("posteffect", false));
    const auto inputs = items(*block, "bound-inputs");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0]->get_int("type", 0), 2);
    EXPECT_EQ(inputs[0]->get_int("layer_offset", 0), 1);
    // Only a tonemapper, which maps the graded image to display values, follows the grade.
    for (const value_t* other : blocks()) {
      if (other->get_string("class-name", "") == "tonemapping") continue;
      if (other->get_float("start-time", 0) == span.first && other->get_float("end-time", 0) == span.second) {
        EXPECT_LE(other->get_int("layer", 0), block->get_int("layer", 0)) << other->get_string("name", "");
      }
    }
  }
  // Scenes follow each other without gaps to the end; only a transition overlaps its neighbours.
  std::sort(scenes.begin(), scenes.end());
  float covered = scenes.front().second;
  EXPECT_EQ(scenes.front().first, 0.0f);
  for (size_t i = 1; i < scenes.size(); ++i) {
    EXPECT_LE(scenes[i].first, covered) << "a gap before " << scenes[i].first;
    covered = std::max(covered, scenes[i].second);
  }
  EXPECT_EQ(covered, 124.0f);
}

// A tile transition reads the scene before and the scene after; both play under the whole
// transition, or the one outside its span would come through faded to black.
TEST_F(ContentTest, TileTransitionReadsTheScenesItJoins) {
  const value_t& transition = block_named("knot to lsystem");
  EXPECT_EQ(transition.get_string("class-name", ""), "tile-transition");
  const auto inputs = items(transition, "bound-inputs");
  ASSERT_EQ(inputs.size(), 2u);
  const float start = transition.get_float("start-time", 0), end = transition.get_float("end-time", 0);
  const char* joined[] = {"knot", "lsystem"};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(joined[i]);
    const value_t& scene = block_named(joined[i]);
    EXPECT_EQ(inputs[i]->get_int("type", 0), 3);
    EXPECT_EQ(inputs[i]->get_int("block-id", -1), scene.get_int("id", -2));
    EXPECT_LE(scene.get_float("start-time", 0), start);
    EXPECT_GE(scene.get_float("end-time", 0), end);
  }
  EXPECT_LT(block_named("knot").get_float("start-time", 0), start) << "the knot plays before";
  EXPECT_GT(block_named("lsystem").get_float("end-time", 0), end) << "the L-system plays after";
  // Listed after both, its chain is the one that reaches the screen.
  const auto all = blocks();
  auto position = [&](const char* name) {
    return std::find_if(all.begin(), all.end(), [&](const value_t* b) { return b->get_string("name", "") == name; });
  };
  EXPECT_GT(position("knot to lsystem"), position("lsystem"));
  EXPECT_GT(position("knot to lsystem"), position("knot"));
}

TEST_F(ContentTest, ArchiveHoldsEveryFileTheProjectNames) {
  std::set<std::string> files = {"data/music/demo-final.ogg", "shaders/posteffects/gamma22.toml",
                                 "shaders/posteffects/fxaa.post.toml", "shaders/default.hlsl",
                                 "data/fonts/gantrybolt.msdf", "shaders/sdf_text.toml",
                                 "shaders/particlesystems/simple_particle.toml"};
  for (const value_t* block : blocks()) {
    const value_t& pass = block->get("renderpass", value_kind_t::table);
    for (const char* stage : {"vs", "ps"})
      if (std::string file = pass.get(stage, value_kind_t::table).get_string("filename", ""); !file.empty())
        files.insert(file);
    if (std::string scene = block->get_string("camera-scene", ""); !scene.empty()) files.insert(scene);
    if (std::string mesh = block->get("scene", value_kind_t::table).get_string("filename", ""); !mesh.empty())
      files.insert(mesh);
    const value_t& rp = block->get("rp", value_kind_t::table);
    for (const char* stage : {"vs", "ps"})
      if (std::string file = rp.get(stage, value_kind_t::table).get_string("filename", ""); !file.empty())
        files.insert(file);
    if (block->get_string("class-name", "") == "lsystem")
      for (int i = 1; i <= 4; ++i) files.insert(fmt::sprintf("config/lsystem_cam%d.txt", i));
    for (const value_t* input : items(*block, "bound-inputs"))
      if (std::string texture = input->get_string("texture-path", ""); !texture.empty())
        files.insert(texture);
  }
  EXPECT_TRUE(files.contains("data/textures/rock.png"));
  EXPECT_TRUE(files.contains("data/meshes/knot.glb"));
  files.insert({"shaders/mesh.hlsl", "shaders/lsystem.toml", "shaders/lsystem.hlsl"});
  for (const std::string& file : files) {
    EXPECT_TRUE(archive_->exists(file)) << file;
    EXPECT_FALSE(archived(file).empty()) << file;
  }
  const std::vector<uint8_t> png = archived("data/textures/rock.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0);
  const std::vector<uint8_t> glb = archived("data/meshes/knot.glb");
  ASSERT_GE(glb.size(), 12u);
  EXPECT_EQ(std::memcmp(glb.data(), "glTF", 4), 0);
  // Sources of the build steps stay out.
  EXPECT_FALSE(archive_->exists("sync/demo.tracks"));
  EXPECT_FALSE(archive_->exists("music.cmake"));
}

// Each stage a block's render-pass tables, a description or the shader manager loads has compiled
// bytecode listed in the cache manifest.
TEST_F(ContentTest, ShaderCacheListsEveryStageTheContentLoads) {
  std::string manifest_text;
  ASSERT_TRUE(archive_->read_text_file("shadermanager.toml", manifest_text));
  auto manifest = parse(manifest_text, "shadermanager.toml");
  std::set<std::pair<std::string, std::string>> cached;
  for (const value_t* entry : items(*manifest, "cache")) {
    cached.insert({entry->get_string("filename", ""), entry->get_string("entrypoint", "")});
    EXPECT_TRUE(archive_->exists(entry->get_string("code_path", ""))) << entry->get_string("code_path", "");
    EXPECT_TRUE(archive_->exists(entry->get_string("reflection_path", "")));
  }
  std::set<std::pair<std::string, std::string>> wanted = {{"shaders/posteffects/gamma22.hlsl", "PsGamma"},
                                                          {"shaders/posteffects/fxaa.post.hlsl", "FxaaPS"}};
  for (const char* builtin : {"VsQuad", "PsLerp", "PsCopy", "PsCopyAlpha", "PsAdd", "PsMultiply", "PsScreen",
                              "PsDarken", "PsLighten", "PsDifference", "PsNegation"})
    wanted.insert({"shaders/default.hlsl", builtin});
  for (const value_t* block : blocks()) {
    for (const char* pass : {"renderpass", "rp"}) {
      for (const char* stage : {"vs", "ps"}) {
        const value_t& shader = block->get(pass, value_kind_t::table).get(stage, value_kind_t::table);
        if (shader.valid) wanted.insert({shader.get_string("filename", ""), shader.get_string("entrypoint", "")});
      }
    }
  }
  // Loaded by the blocks themselves.
  for (const char* entry : {"VsMeshPN", "VsMeshPNT", "PsMesh"}) wanted.insert({"shaders/mesh.hlsl", entry});
  for (const char* entry : {"VsLsystem", "PsLsystem"}) wanted.insert({"shaders/lsystem.hlsl", entry});
  for (const auto& entry : wanted) EXPECT_TRUE(cached.contains(entry)) << entry.first << " " << entry.second;
}

// The metadata beside each demo shader parses and feeds the frame constants from the engine and
// the sync tracks.
TEST_F(ContentTest, ShaderMetadataParsesAndNamesTheSyncTracks) {
  for (const char* name : {"starfield", "tunnel", "blobs", "fractal", "plasma", "sparkles", "grade"}) {
    SCOPED_TRACE(name);
    const std::string path = fmt::sprintf("shaders/demo/%s.toml", name);
    std::string text;
    ASSERT_TRUE(archive_->read_text_file(path, text));
    auto metadata = parse(text, path);
    std::set<std::string> syncs, systems;
    for (const value_t* buffers : items(*metadata, "cbuffers"))
      for (const value_t& entry : buffers->get_array("Frame")) {
        if (std::string sync = entry.get_string("sync", ""); !sync.empty()) syncs.insert(sync);
        if (std::string sys = entry.get_string("sys", ""); !sys.empty()) systems.insert(sys);
      }
    EXPECT_EQ(syncs, (std::set<std::string>{"demo:kick", "demo:snare", "demo:intensity"}));
    EXPECT_TRUE(systems.contains("time") && systems.contains("rt0") && systems.contains("cam-pos"));
    const auto shaders = items(*metadata, "shaders");
    ASSERT_EQ(shaders.size(), 1u);
    EXPECT_TRUE(shaders[0]->get_bool("fullscreen", false));
  }
}

TEST_F(ContentTest, CameraScenesHoldTrackedCamerasAndSwitches) {
  struct case_t {
    const char* path;
    std::vector<std::pair<float, int>> switches;
    float length;
  };
  for (const case_t& c :
       {case_t{"data/scenes/star-flight.e3d", {{0.0f, 1}, {7.0f, 2}}, 12.0f},
        case_t{"data/scenes/fractal-flight.e3d", {{0.0f, 1}, {5.0f, 2}, {10.0f, 1}}, 14.0f}}) {
    SCOPED_TRACE(c.path);
    const std::vector<uint8_t> bytes = archived(c.path);
    std::unique_ptr<e3d::scene_t> scene = e3d::parse_scene(bytes);
    ASSERT_TRUE(scene);
    ASSERT_EQ(scene->cameras.size(), 2u);
    ASSERT_TRUE(scene->camera_switches.has_value());
    ASSERT_EQ(scene->camera_switches->size(), c.switches.size());
    for (size_t i = 0; i < c.switches.size(); ++i) {
      EXPECT_EQ((*scene->camera_switches)[i].start_time, c.switches[i].first);
      EXPECT_EQ((*scene->camera_switches)[i].camera_id, c.switches[i].second);
    }
    for (const auto& camera : scene->cameras) {
      ASSERT_NE(camera->track, nullptr) << camera->name;
      EXPECT_LE(camera->track->keys.front().time, 0.0f);
      EXPECT_GE(camera->track->keys.back().time, c.length);
      // The direction (third row) and up vector (second row) are unit vectors at every time.
      for (float t : {0.0f, c.length / 3.0f, c.length}) {
        const float3x3 r = camera->track->sample_rotation(t);
        for (int row : {1, 2}) {
          const float length =
              std::sqrt(r.m[row][0] * r.m[row][0] + r.m[row][1] * r.m[row][1] + r.m[row][2] * r.m[row][2]);
          EXPECT_NEAR(length, 1.0f, 0.02f) << camera->name << " at " << t;
        }
      }
      EXPECT_GT(camera->fov, 0.1f);
    }
  }
}

// The tracks are read the way the player reads them, at times where the score puts its beats.
TEST_F(ContentTest, SyncTracksFollowTheScore) {
  const engine_context_t saved_context = *engine_context;
  systems_t* saved_systems = g_systems;
  systems_t systems;
  systems.filesystem = archive_.get();
  g_systems = &systems;
  *engine_context = engine_context_t{};
  engine_impl_t engine;
  engine_context->engine = &engine;
  auto manager = create_rocket_manager();
  ASSERT_TRUE(manager.has_value());

  struct case_t {
    const char* track;
    float seconds;
    float expected;
  };
  const case_t cases[] = {
      {"demo:kick", 7.9f, 0.0f},       {"demo:kick", 8.0f, 1.0f},       {"demo:kick", 8.1f, 0.5f},
      {"demo:kick", 8.3f, 0.0f},       {"demo:kick", 61.5f, 1.0f},      {"demo:kick", 62.5f, 0.0f},
      {"demo:snare", 12.0f, 0.0f},     {"demo:snare", 12.5f, 1.0f},     {"demo:snare", 13.5f, 1.0f},
      {"demo:snare", 14.0f, 0.0f},     {"demo:intensity", 0.0f, 0.2f},  {"demo:intensity", 12.0f, 0.7f},
      {"demo:intensity", 40.0f, 1.0f}, {"system:track.0", 30.0f, 2.0f}, {"beats:beat.0", 32.0f, 16.0f},
  };
  for (const case_t& c : cases) {
    engine.timer.seek(c.seconds);
    EXPECT_NEAR((*manager)->get_value(c.track), c.expected, 1e-5f) << c.track << " at " << c.seconds;
  }
  engine.timer.seek(45.0f);
  (*manager)->update();
  variable_ptr_t section = engine.find_variable("system:track.0");
  ASSERT_TRUE(section);
  EXPECT_EQ(std::get<float>(section->value.value), 3.0f);

  delete *manager;
  *engine_context = saved_context;
  g_systems = saved_systems;
}

// sox decodes the soundtrack: at least 60 s, and louder right at the kicks the sync track marks than
// just before them.
TEST_F(ContentTest, SoundtrackIsLongEnoughAndItsKicksMatchTheTrack) {
  const std::vector<uint8_t> ogg = archived("data/music/demo-final.ogg");
  const fs::path dir =
      fs::temp_directory_path() / fmt::sprintf("content_test_%d", static_cast<int>(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "music.ogg", std::ios::binary)
      .write(reinterpret_cast<const char*>(ogg.data()), ogg.size());
  const std::string command = fmt::sprintf("sox '%s' -t raw -e signed -b 16 -c 1 -r 8000 '%s' 2>/dev/null",
                                           (dir / "music.ogg").string(), (dir / "music.raw").string());
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir / "music.raw", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  fs::remove_all(dir);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  ASSERT_GE(samples.size(), 60u * 8000u);

  auto rms = [&](float from, float to) {
    double sum = 0;
    const size_t a = static_cast<size_t>(from * 8000), b = static_cast<size_t>(to * 8000);
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(b - a));
  };
  // Before the kick enters only pads and hats play; from 8 s on every beat starts with a kick.
  for (float beat : {8.0f, 8.5f, 20.0f, 33.0f})
    EXPECT_GT(rms(beat, beat + 0.06f), 1.5 * rms(beat - 0.1f, beat - 0.04f)) << beat;
  EXPECT_GT(rms(20.0f, 21.0f), 2.0 * rms(0.5f, 1.5f)) << "the full band is louder than the intro";
}

}  // namespace
