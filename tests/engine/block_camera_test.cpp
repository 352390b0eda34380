// Block cameras, camera spans, the active camera lookup and camera scenes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/block_base.h"
#include "engine/e3d.h"
#include "files/filesystem.h"
#include "support/systems.h"
#include "common/engine_test_support.h"

namespace {

using BlockCameraTest = engine_fixture_t;

camera_ptr_t default_camera() {
  auto camera = std::make_shared<block_camera_t>();
  camera->init_defaults();
  return camera;
}

TEST_F(BlockCameraTest, DefaultsDrawIdsFromTheCounterAndTablesRaiseIt) {
  camera_id_counter() = 1;
  camera_ptr_t first = default_camera();
  EXPECT_EQ(first->id, 1);
  EXPECT_EQ(first->name, "Camera 1");
  EXPECT_EQ(default_camera()->id, 2);

  block_camera_t loaded;
  loaded.load(parse("id = 7"));
  EXPECT_EQ(loaded.name, "");
  EXPECT_EQ(default_camera()->id, 8);
  block_camera_t no_id;
  no_id.load(parse("name = \"x\""));
  EXPECT_EQ(no_id.id, -1);
  EXPECT_EQ(default_camera()->id, 9);

  // The table's variables replace the defaults; absent ones read as the getter's default.
  EXPECT_FLOAT_EQ(no_id.get_pos(0).z, -20.0f);
  EXPECT_FLOAT_EQ(no_id.get_fov(0), 1.0471976f);
}

// The largest id a table can hold leaves the counter nowhere to go: it stays there instead of
// overflowing, and cameras given defaults afterwards share that id.
TEST_F(BlockCameraTest, LargestTableIdKeepsTheCounterInRange) {
  camera_id_counter() = 1;
  block_camera_t loaded;
  loaded.load(parse("id = 2147483647"));
  EXPECT_EQ(loaded.id, INT32_MAX);
  EXPECT_EQ(default_camera()->id, INT32_MAX);
  EXPECT_EQ(default_camera()->id, INT32_MAX);
  EXPECT_EQ(camera_id_counter(), INT32_MAX);
  camera_id_counter() = 1;
}

TEST_F(BlockCameraTest, GettersAnimateOnlyWhileRunningAndMatricesUseTimeZero) {
  block_camera_t camera;
  camera.load(
      parse("pos = {name = \"pos\", type = 8, default = {type = 8, value = float3(0, 0, -5)},"
            " has-animation = true, anim = {type = 8, interpolation = 3,"
            " channel_0 = [{time = 0, value = 0}, {time = 4, value = 8}],"
            " channel_1 = [{time = 0, value = 0}], channel_2 = [{time = 0, value = -5}]}}\n"
            "dir = {name = \"dir\", type = 8, default = {type = 8, value = float3(0, 0, 1)}}\n"
            "up = {name = \"up\", type = 8, default = {type = 8, value = float3(0, 1, 0)}}\n"));
  EXPECT_FLOAT_EQ(camera.get_pos(2).x, 0.0f) << "stopped: the current value";
  engine->set_running(true);
  EXPECT_FLOAT_EQ(camera.get_pos(2).x, 4.0f);
  // The view matrix takes the eye at time 0: (0, 0, -5) looking down +z puts the origin at z = 5.
  float4x4 view = camera.get_view_matrix();
  EXPECT_NEAR(view.m[3][0], 0.0f, 1e-5f);
  EXPECT_NEAR(view.m[3][2], 5.0f, 1e-5f);
  engine->set_running(false);
}

TEST_F(BlockCameraTest, SpansPickTheCameraAndPastTheLastSpanGiveIndexZero) {
  auto block = make_test_block(1, 0, 10);
  camera_ptr_t a = default_camera(), b = default_camera();
  block->cameras = {a, b};
  block->camera_spans = {{2, a}, {5, b}};
  struct case_t {
    float t;
    int span;
    block_camera_t* camera;
  };
  for (const case_t& c : {case_t{1, 0, a.get()}, case_t{3, 1, b.get()}, case_t{6, 0, a.get()}}) {
    music.position = c.t;
    EXPECT_EQ(block->get_active_span_index(), c.span) << c.t;
    EXPECT_EQ(block->get_active_camera(), c.camera) << c.t;
  }
  // A span without camera is skipped by the camera lookup but counted by the span index.
  block->camera_spans = {{2, nullptr}, {5, b}};
  music.position = 1;
  EXPECT_EQ(block->get_active_span_index(), 0);
  EXPECT_EQ(block->get_active_camera(), b.get());
  block->cameras.clear();
  EXPECT_EQ(block->get_active_camera(), nullptr);
}

TEST_F(BlockCameraTest, PostEffectUsesTheSourceSpansAtItsOwnLocalTime) {
  auto source = make_test_block(1, 0, 30, 0);
  auto post = make_test_block(2, 10, 30, 1);
  camera_ptr_t early = default_camera(), late = default_camera(), own = default_camera();
  source->cameras = {early, late};
  source->camera_spans = {{5, early}, {30, late}};
  post->cameras = {own};
  post->camera_spans = {{20, own}};
  post->sources = {source.get()};
  music.position = 12;  // post local time 2, source local time 12
  EXPECT_EQ(post->get_active_camera(), early.get());
  EXPECT_EQ(post->get_active_span_index(), 0);
  post->camera_override = true;
  EXPECT_EQ(post->get_active_camera(), own.get());
}

// Writes e3d files into a temp dir reached through a real file system.
class CameraSceneTest : public engine_fixture_t {
 protected:
  void SetUp() override {
    engine_fixture_t::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "e3d_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    auto created = create_filesystem_at(dir_ + "/player");
    ASSERT_TRUE(created.has_value());
    fs_.reset(*created);
    systems_.filesystem = fs_.get();
    saved_systems_ = g_systems;
    g_systems = &systems_;
  }
  void TearDown() override {
    g_systems = saved_systems_;
    fs_.reset();
    std::filesystem::remove_all(dir_);
    engine_fixture_t::TearDown();
  }
  void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i)));
  }
  void put_f32(std::string& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u32(out, bits);
  }
  void chunk(std::string& file, const char* tag, const std::string& payload) {
    file.append(tag, 4);
    put_u32(file, uint32_t(payload.size()));
    file += payload;
  }
  std::string camera(const std::string& name, int id, float fov) {
    std::string p;
    put_u32(p, uint32_t(name.size()));
    p += name;
    put_u32(p, uint32_t(id));
    for (float f : {1.0f, 2.0f, 3.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f}) put_f32(p, f);
    for (float f : {fov, 0.0f, 0.5f, 700.0f}) put_f32(p, f);
    put_u32(p, 0);
    return p;
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    return name;
  }

  std::string dir_;
  std::unique_ptr<filesystem_t> fs_;
  systems_t systems_;
  systems_t* saved_systems_ = nullptr;
};

TEST_F(CameraSceneTest, SceneWithoutSwitchesGivesOneSpanToTheBlockEnd) {
  std::string file;
  for (int id : {11, 12, 13}) chunk(file, "CAMR", camera(fmt::sprintf("cam%d", id), id, 0.7f));
  // A track for camera 12: position (0,0,0) at 0 s and (4,0,0) at 4 s.
  std::string anim;
  put_u32(anim, 1);
  put_u32(anim, 12);
  put_u32(anim, 2);
  for (float time : {0.0f, 4.0f}) {
    put_f32(anim, time);
    for (float f : {time, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f}) put_f32(anim, f);
  }
  chunk(file, "ANIM", anim);
  auto block = make_test_block(1, 0, 20);
  block->load_camera_scene(write("three.e3d", file));
  ASSERT_EQ(block->cameras.size(), 3u);
  EXPECT_EQ(block->cameras[1]->name, "cam12");
  ASSERT_EQ(block->camera_spans.size(), 1u);
  EXPECT_EQ(block->camera_spans[0].end, 20.0f);
  EXPECT_EQ(block->camera_spans[0].camera, block->cameras[0]);
  EXPECT_FLOAT_EQ(block->cameras[1]->get_pos(2.5f).x, 2.5f) << "the track at block-local time";
  EXPECT_FLOAT_EQ(block->cameras[1]->get_fov(2.5f), 0.7f);
  EXPECT_FLOAT_EQ(block->cameras[0]->get_pos(2.5f).y, 2.0f) << "no track: the stored position";
  EXPECT_FLOAT_EQ(block->cameras[0]->get_up(0).y, 1.0f);
  EXPECT_FLOAT_EQ(block->cameras[0]->get_dir(0).z, 1.0f);
}

TEST_F(CameraSceneTest, SwitchesBecomeSpansAndBadFilesChangeNothing) {
  std::string file;
  chunk(file, "CAMR", camera("a", 1, 0.7f));
  chunk(file, "CAMR", camera("b", 2, 0.7f));
  std::string stag;
  put_u32(stag, 3);
  for (auto [start, id] : {std::pair{0.0f, 1}, std::pair{4.0f, 2}, std::pair{9.0f, 5}}) {
    put_f32(stag, start);
    put_u32(stag, uint32_t(id));
  }
  chunk(file, "STAG", stag);
  auto block = make_test_block(1, 0, 20);
  block->load_camera_scene(write("switch.e3d", file));
  ASSERT_EQ(block->camera_spans.size(), 3u);
  EXPECT_EQ(block->camera_spans[0].end, 4.0f);
  EXPECT_EQ(block->camera_spans[1].end, 9.0f);
  EXPECT_EQ(block->camera_spans[2].end, 3.4028235e38f);
  EXPECT_EQ(block->camera_spans[1].camera, block->cameras[1]);
  EXPECT_EQ(block->camera_spans[2].camera, nullptr) << "the scene has no camera 5";

  log_capture_t log;
  block->load_camera_scene(write("bad.e3d", "CAMR\xff\xff"));
  EXPECT_EQ(count_lines(log, LOG_LEVEL_WRN, "Unable to load scene for camera: bad.e3d"), 1);
  EXPECT_EQ(block->cameras.size(), 2u);
  std::string dummy_only;
  std::string payload = camera("d", 3, 0.1f).substr(0, 4 + 1 + 4 + 48);
  chunk(dummy_only, "DUMY", payload);
  block->load_camera_scene(write("nocam.e3d", dummy_only));
  EXPECT_EQ(block->cameras.size(), 2u) << "a scene without cameras keeps the block's";
  EXPECT_EQ(block->camera_spans.size(), 3u);
}

}  // namespace
