// The camera-scene reader: chunk walking, the object kinds, switches and track sampling.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/e3d.h"
#include "common/engine_test_support.h"

namespace {

constexpr float largest_float = std::numeric_limits<float>::max();

// Little-endian chunk builder.
class e3d_writer_t {
 public:
  e3d_writer_t& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) payload_.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  e3d_writer_t& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  e3d_writer_t& f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return u32(bits);
  }
  e3d_writer_t& vec(float x, float y, float z) { return f32(x).f32(y).f32(z); }
  e3d_writer_t& identity() { return vec(1, 0, 0).vec(0, 1, 0).vec(0, 0, 1); }
  e3d_writer_t& str(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    payload_.insert(payload_.end(), s.begin(), s.end());
    return *this;
  }
  e3d_writer_t& object(const std::string& name, int32_t id, float3 pos = {}) {
    return str(name).i32(id).vec(pos.x, pos.y, pos.z).identity();
  }
  e3d_writer_t& camera(const std::string& name, int32_t id, int32_t target = 0, float fov = 0.8f) {
    return object(name, id).f32(fov).f32(0).f32(0.5f).f32(900.0f).i32(target);
  }
  // Closes the payload written since the last chunk under the tag; size_delta forges the size.
  e3d_writer_t& chunk(const char* tag, int size_delta = 0) {
    file_.insert(file_.end(), tag, tag + 4);
    uint32_t size = static_cast<uint32_t>(static_cast<int>(payload_.size()) + size_delta);
    for (int i = 0; i < 4; ++i) file_.push_back(uint8_t(size >> (8 * i)));
    file_.insert(file_.end(), payload_.begin(), payload_.end());
    payload_.clear();
    return *this;
  }
  std::unique_ptr<e3d::scene_t> parse() const { return e3d::parse_scene(file_); }
  std::vector<uint8_t>& bytes() { return file_; }

 private:
  std::vector<uint8_t> payload_;
  std::vector<uint8_t> file_;
};

TEST(E3dReaderTest, OneCameraChunkGivesOneCameraWithoutSwitchesOrTracks) {
  auto scene = e3d_writer_t().camera("main", 3).chunk("CAMR").parse();
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->cameras.size(), 1u);
  const e3d::camera_t& camera = *scene->cameras[0];
  EXPECT_EQ(camera.name, "main");
  EXPECT_EQ(camera.id, 3);
  EXPECT_FLOAT_EQ(camera.fov, 0.8f);
  EXPECT_FLOAT_EQ(camera.near_plane, 0.5f);
  EXPECT_FLOAT_EQ(camera.far_plane, 900.0f);
  EXPECT_EQ(camera.target, nullptr);
  EXPECT_EQ(camera.track, nullptr);
  EXPECT_FALSE(scene->camera_switches.has_value());
  EXPECT_TRUE(scene->tracks.empty());
  EXPECT_EQ(scene->objects.at(3), &camera);
}

TEST(E3dReaderTest, EmptyFileIsAnEmptySceneAndTruncatedFilesAreRejected) {
  auto empty = e3d_writer_t().parse();
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->cameras.empty());

  EXPECT_FALSE(e3d_writer_t().camera("c", 1).chunk("CAMR", 1).parse()) << "size past the end";
  e3d_writer_t short_header;
  short_header.camera("c", 1).chunk("CAMR");
  short_header.bytes().insert(short_header.bytes().end(), {'D', 'U', 'M'});
  EXPECT_FALSE(short_header.parse()) << "fewer than 8 bytes for a header";
  // The payload claims a string longer than what is left of the file.
  EXPECT_FALSE(e3d_writer_t().u32(1000).chunk("SCEN").parse());
  // A payload that ends before its fields does not read into the next chunk.
  EXPECT_FALSE(e3d_writer_t().object("d", 1).chunk("CAMR").parse());
}

// A camera chunk cut after its field of view, followed by a whole dummy: the camera's near plane
// and the rest would otherwise be read from the dummy chunk's header and name.
TEST(E3dReaderTest, ShortChunkDoesNotReadTheNextChunk) {
  e3d_writer_t w;
  w.object("c", 1).f32(0.8f).chunk("CAMR").object("a dummy with a long enough name", 2).chunk("DUMY");
  EXPECT_FALSE(w.parse());
  e3d_writer_t whole;
  whole.camera("c", 1).chunk("CAMR").object("a dummy with a long enough name", 2).chunk("DUMY");
  EXPECT_TRUE(whole.parse());
}

TEST(E3dReaderTest, UnknownChunksAreSkippedBySize) {
  auto scene = e3d_writer_t()
                   .u32(0xdeadbeef)
                   .u32(7)
                   .chunk("XTRA")
                   .object("helper", 5, {1, 2, 3})
                   .chunk("DUMY")
                   .camera("cam", 6, 5)
                   .chunk("CAMR")
                   .parse();
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->dummies.size(), 1u);
  EXPECT_FLOAT_EQ(scene->dummies[0]->position.y, 2.0f);
  EXPECT_EQ(scene->cameras[0]->target, scene->dummies[0].get());
}

TEST(E3dReaderTest, SwitchesEndWhereTheNextStartsAndAnEmptyListIsPresent) {
  auto scene = e3d_writer_t().i32(2).f32(0).i32(1).f32(5).i32(2).chunk("STAG").parse();
  ASSERT_TRUE(scene && scene->camera_switches);
  const auto& switches = *scene->camera_switches;
  ASSERT_EQ(switches.size(), 2u);
  EXPECT_FLOAT_EQ(switches[0].start_time, 0.0f);
  EXPECT_FLOAT_EQ(switches[0].end_time, 5.0f);
  EXPECT_EQ(switches[0].camera_id, 1);
  EXPECT_FLOAT_EQ(switches[1].end_time, largest_float);
  EXPECT_EQ(switches[1].camera_id, 2);

  auto none = e3d_writer_t().i32(0).chunk("STAG").parse();
  ASSERT_TRUE(none && none->camera_switches);
  EXPECT_TRUE(none->camera_switches->empty());
}

TEST(E3dReaderTest, TrackSamplesInterpolateAndClampToTheEndKeys) {
  e3d_writer_t w;
  w.camera("cam", 4).chunk("CAMR");
  w.i32(1).i32(4).i32(2);
  w.f32(0).vec(0, 0, 0).identity();
  w.f32(2).vec(2, 0, 0).vec(3, 0, 0).vec(0, 3, 0).vec(0, 0, 3);
  auto scene = w.chunk("ANIM").parse();
  ASSERT_TRUE(scene);
  const e3d::track_t* track = scene->cameras[0]->track;
  ASSERT_NE(track, nullptr);
  EXPECT_FLOAT_EQ(track->sample_position(1).x, 1.0f);
  EXPECT_FLOAT_EQ(track->sample_position(-1).x, 0.0f);
  EXPECT_FLOAT_EQ(track->sample_position(3).x, 2.0f);
  // Rotations blend element by element: halfway from identity to 3 * identity is 2.
  EXPECT_FLOAT_EQ(track->sample_rotation(1).m[1][1], 2.0f);
  EXPECT_FLOAT_EQ(track->sample_rotation(1).m[0][1], 0.0f);

  auto keys = track->find_keys(2.0f);
  EXPECT_EQ(keys.first, &track->keys[1]);
  EXPECT_EQ(keys.second, nullptr);
  e3d::track_t empty;
  EXPECT_EQ(empty.find_keys(1).first, nullptr);
  EXPECT_FLOAT_EQ(empty.sample_position(1).x, 0.0f);
  EXPECT_FLOAT_EQ(empty.sample_rotation(1).m[2][2], 1.0f);
}

TEST(E3dReaderTest, MissingTargetIsLoggedAndLeftEmpty) {
  log_capture_t log;
  auto scene = e3d_writer_t().camera("cam", 1, 7).chunk("CAMR").parse();
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->cameras[0]->target, nullptr);
  EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, "Unable to find target: 7"), 1);
}

TEST(E3dReaderTest, MeshBoundsAreTheComponentwiseExtremes) {
  e3d_writer_t w;
  w.object("mesh", 9).i32(3).i32(1).vec(1, -2, 3).vec(-4, 5, 0).vec(2, 0, -6).i32(0).i32(1).i32(2);
  auto scene = w.chunk("MESH").parse();
  ASSERT_TRUE(scene);
  const e3d::mesh_t& mesh = *scene->meshes[0];
  EXPECT_FLOAT_EQ(mesh.bounds_min.x, -4);
  EXPECT_FLOAT_EQ(mesh.bounds_min.y, -2);
  EXPECT_FLOAT_EQ(mesh.bounds_min.z, -6);
  EXPECT_FLOAT_EQ(mesh.bounds_max.x, 2);
  EXPECT_FLOAT_EQ(mesh.bounds_max.y, 5);
  EXPECT_FLOAT_EQ(mesh.bounds_max.z, 3);
  ASSERT_EQ(mesh.triangles.size(), 1u);
  EXPECT_EQ(mesh.triangles[0].z, 2);

  // A forged vertex count larger than the file is rejected, not reserved.
  EXPECT_FALSE(e3d_writer_t().object("m", 1).i32(0x7fffffff).i32(0).chunk("MESH").parse());
}

TEST(E3dReaderTest, UnreadableFileIsLogged) {
  log_capture_t log;
  EXPECT_FALSE(e3d::load_scene("data/no-such.e3d"));
  EXPECT_EQ(count_lines(log, LOG_LEVEL_INF, "Error loading file: data/no-such.e3d"), 1);
}

}  // namespace
