// glTF scenes into interleaved vertex arrays and rebased 32-bit indices: the primitives of a mesh,
// the attribute rules, the nodes that count, files written by gltfpack and assimp, and bad files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "blocks/gltf_meshes.h"
#include "common/gltf_writer.h"
#include "common/log_capture.h"

namespace {

using gltf_test::gltf_writer_t;

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> fixture(const char* name) {
  std::ifstream in(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes" / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool logged(const log_capture_t& log, const std::string& text) {
  for (const auto& [level, line] : log.lines)
    if (line == text) return true;
  return false;
}

const std::vector<float> quad_positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
const std::vector<float> quad_normals = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
const std::vector<float> tri_positions = {5, 0, 0, 6, 0, 0, 5, 1, 0};
const std::vector<float> tri_normals = {0, 1, 0, 0, 1, 0, 0, 1, 0};

TEST(GltfMeshesTest, PrimitivesOfAMeshShareOneInterleavedBufferWithRebasedIndices) {
  gltf_writer_t w;
  const int qp = w.vec3(quad_positions), qn = w.vec3(quad_normals), qi = w.indices16({0, 1, 2, 2, 1, 3});
  const int tp = w.vec3(tri_positions), tn = w.vec3(tri_normals), ti = w.indices32({0, 1, 2});
  const int mesh = w.mesh("pair", {gltf_writer_t::primitive({{"POSITION", qp}, {"NORMAL", qn}}, qi),
                                   gltf_writer_t::primitive({{"POSITION", tp}, {"NORMAL", tn}}, ti)});
  auto read = read_gltf_meshes(bytes_of(w.text({w.node(mesh)})));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1u);
  const gltf_mesh_data_t& m = read->front();
  EXPECT_EQ(m.name, "pair");
  EXPECT_EQ(m.flags, 3u);
  EXPECT_EQ(m.stride, 6u);
  EXPECT_EQ(m.vertex_count, 7u);
  ASSERT_EQ(m.vertices.size(), 42u);
  EXPECT_EQ(m.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3, 4, 5, 6}));
  // Vertex 5 is the triangle's second: position (6, 0, 0), normal (0, 1, 0).
  EXPECT_EQ(std::vector<float>(m.vertices.begin() + 30, m.vertices.begin() + 36),
            (std::vector<float>{6, 0, 0, 0, 1, 0}));
}

TEST(GltfMeshesTest, AttributeRulesFollowTheFileOrder) {
  struct case_t {
    const char* name;
    std::vector<std::string> order;
    uint32_t flags;
    const char* message;
  };
  const case_t cases[] = {
      {"normal before position is skipped", {"NORMAL", "POSITION"}, 1,
       "Skipping normal attributes for m - non compatible types found (3)"},
      {"position then normal", {"POSITION", "NORMAL"}, 3, nullptr},
      {"both texture sets: the later one", {"POSITION", "NORMAL", "TEXCOORD_0", "TEXCOORD_1"}, 7, nullptr},
      {"a vec2 position", {"POSITION2", "NORMAL"}, 0,
       "Skipping pos attributes for m - non compatible types found (2)"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    log_capture_t log;
    gltf_writer_t w;
    const int p = w.vec3(quad_positions), n = w.vec3(quad_normals);
    const int t0 = w.vec2({0, 0, 1, 0, 0, 1, 1, 1}), t1 = w.vec2({5, 5, 6, 5, 5, 6, 6, 6});
    const int flat = w.vec2({0, 0, 1, 0, 0, 1, 1, 1});
    const int i = w.indices16({0, 1, 2});
    std::vector<std::pair<std::string, int>> attributes;
    for (const std::string& name : c.order) {
      if (name == "POSITION") attributes.emplace_back(name, p);
      if (name == "POSITION2") attributes.emplace_back("POSITION", flat);
      if (name == "NORMAL") attributes.emplace_back(name, n);
      if (name == "TEXCOORD_0") attributes.emplace_back(name, t0);
      if (name == "TEXCOORD_1") attributes.emplace_back(name, t1);
    }
    const int mesh = w.mesh("m", {gltf_writer_t::primitive(attributes, i)});
    auto read = read_gltf_meshes(bytes_of(w.text({w.node(mesh)})));
    ASSERT_TRUE(read.has_value());
    // Without positions there are no vertices for the indices: the mesh is not made at all.
    ASSERT_EQ(read->size(), c.flags == 0 ? 0u : 1u);
    if (c.flags != 0) {
      EXPECT_EQ(read->front().flags, c.flags);
    }
    if (c.message) {
      EXPECT_TRUE(logged(log, c.message)) << c.message;
    }
    if (c.flags == 7) {
      EXPECT_EQ(read->front().stride, 8u);
      EXPECT_EQ(read->front().vertices[6], 5.0f) << "TEXCOORD_1's u of the first vertex";
    }
  }
}

TEST(GltfMeshesTest, MeshesThatCannotBeDrawnAreSkippedWithTheirMessage) {
  struct case_t {
    const char* name;
    const char* message;
  };
  const case_t cases[] = {
      {"no primitives", "Skipping mesh: m - no primitives found"},
      {"a triangle strip", "Skipping mesh: m - no indices found"},
      {"different attribute sets", "Skipping mesh: m - attributes aren't consistent for all primitives"},
      {"an index past the vertices", "Skipping mesh: m - indices out of range"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    log_capture_t log;
    gltf_writer_t w;
    const int p = w.vec3(quad_positions), n = w.vec3(quad_normals), i = w.indices16({0, 1, 2});
    const int bad = w.indices16({0, 1, 4});
    std::vector<std::string> primitives;
    const std::string name = c.name;
    if (name == "a triangle strip") primitives = {gltf_writer_t::primitive({{"POSITION", p}}, i, 5)};
    if (name == "different attribute sets")
      primitives = {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i),
                    gltf_writer_t::primitive({{"POSITION", p}}, i)};
    if (name == "an index past the vertices") primitives = {gltf_writer_t::primitive({{"POSITION", p}}, bad)};
    const int skipped = w.mesh("m", primitives);
    const int kept = w.mesh("kept", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
    auto read = read_gltf_meshes(bytes_of(w.text({w.node(skipped), w.node(kept)})));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), 1u) << "the other mesh loads";
    EXPECT_EQ(read->front().name, "kept");
    EXPECT_TRUE(logged(log, c.message)) << c.message;
  }
}

TEST(GltfMeshesTest, OnlyTopLevelNodesMakeMeshesAndTheirTransformsAreKept) {
  gltf_writer_t w;
  const int p = w.vec3(quad_positions), n = w.vec3(quad_normals), i = w.indices16({0, 1, 2});
  const int a = w.mesh("top", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
  const int b = w.mesh("child", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
  const int child = w.node(b);
  const int top = w.node(a, fmt::format(R"("children": [{}], "rotation": [0, 0, 0.7071068, 0.7071068], )"
                                        R"("translation": [1, 2, 3], "scale": [2, 2, 2])",
                                        child));
  auto read = read_gltf_meshes(bytes_of(w.text({top})));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1u);
  const gltf_mesh_data_t& m = read->front();
  EXPECT_EQ(m.name, "top");
  EXPECT_EQ(m.parent, -1);
  EXPECT_TRUE(m.children.empty()) << "the child node was not made";
  // The rotation is not read: scale on the diagonal, translation in the fourth row.
  EXPECT_EQ(m.transform.m[0][0], 2.0f);
  EXPECT_EQ(m.transform.m[0][1], 0.0f);
  EXPECT_EQ(m.transform.m[3][0], 1.0f);
  EXPECT_EQ(m.transform.m[3][2], 3.0f);
}

// A node the scene lists twice is drawn twice, in the scene's order, from one converted mesh.
TEST(GltfMeshesTest, ANodeListedTwiceIsDrawnTwice) {
  gltf_writer_t w;
  const int p = w.vec3(quad_positions), n = w.vec3(quad_normals), i = w.indices16({0, 1, 2});
  const int a = w.mesh("a", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
  const int b = w.mesh("b", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
  const int first = w.node(a), second = w.node(b), empty = w.node(-1);
  auto read = read_gltf_meshes(bytes_of(w.text({first, empty, second, first, first})));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 2u);
  EXPECT_EQ((*read)[0].name, "a");
  EXPECT_EQ((*read)[0].draw_slots, (std::vector<int>{0, 3, 4}));
  EXPECT_EQ((*read)[1].name, "b");
  EXPECT_EQ((*read)[1].draw_slots, (std::vector<int>{2}));
}

TEST(GltfMeshesTest, FilesWrittenByGltfpackAndAssimpLoad) {
  struct case_t {
    const char* file;
    uint32_t flags;
  };
  for (const case_t c : {case_t{"two.glb", 3}, case_t{"assimp_embedded.gltf", 7}}) {
    SCOPED_TRACE(c.file);
    auto read = read_gltf_meshes(fixture(c.file));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), 1u);
    const gltf_mesh_data_t& m = read->front();
    EXPECT_EQ(m.flags, c.flags);
    EXPECT_EQ(m.vertex_count, 7u) << "a quad and a triangle";
    EXPECT_EQ(m.indices.size(), 9u);
    for (uint32_t index : m.indices) EXPECT_LT(index, 7u);
    // Every normal of two.obj is (0, 0, -1).
    for (uint32_t v = 0; v < m.vertex_count; ++v) EXPECT_FLOAT_EQ(m.vertices[v * m.stride + 5], -1.0f);
  }
}

TEST(GltfMeshesTest, BadFilesAreRefused) {
  gltf_writer_t w;
  const int p = w.vec3(quad_positions), i = w.indices16({0, 1, 2});
  const int past_end = w.accessor(R"({"bufferView": 0, "byteOffset": 40, "componentType": 5126, "count": 4, "type": "VEC3"})");
  const int m = w.mesh("m", {gltf_writer_t::primitive({{"POSITION", past_end}}, i)});
  const std::string out_of_range = w.text({w.node(m)});
  const int fine = w.mesh("fine", {gltf_writer_t::primitive({{"POSITION", p}}, i)});
  w.node(fine);
  std::vector<uint8_t> glb = fixture("two.glb");
  ASSERT_GT(glb.size(), 100u);
  std::vector<uint8_t> truncated(glb.begin(), glb.begin() + std::ptrdiff_t(glb.size() / 2));

  struct case_t {
    const char* name;
    std::vector<uint8_t> bytes;
    gltf_error_t error;
  };
  const case_t cases[] = {
      {"truncated GLB", truncated, gltf_error_t::unreadable},
      {"an external buffer", fixture("assimp_external.gltf"), gltf_error_t::unreadable},
      {"an accessor past its view", bytes_of(out_of_range), gltf_error_t::unreadable},
      {"not glTF", bytes_of("solid cube\nendsolid\n"), gltf_error_t::unreadable},
      {"no bytes", {}, gltf_error_t::unreadable},
      {"no scenes", bytes_of(w.text({0}, false)), gltf_error_t::no_scenes},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    auto read = read_gltf_meshes(c.bytes);
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error().error, c.error);
    EXPECT_FALSE(read.error().problem.empty());
  }
}

// Every accessor a primitive takes holds one element per vertex, and no count sizes more than the
// file's bytes could: an attribute taken before the position set the count was read past its data,
// a count without data asked for gigabytes.
TEST(GltfMeshesTest, AccessorCountsAgreeWithTheVerticesAndTheBytesPresent) {
  struct case_t {
    const char* name;
    const char* problem;
  };
  const case_t cases[] = {
      {"empty normals before the position", "mesh m: NORMAL has 0 elements for 4 vertices"},
      {"empty texture coordinates before the position", "mesh m: TEXCOORD has 0 elements for 4 vertices"},
      {"positions without data", "mesh m: an accessor of 4000000000 elements without data in a file of"},
      {"one mesh drawn by many nodes", "mesh m: more vertices and indices than"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    gltf_writer_t w;
    const int p = w.vec3(quad_positions), n = w.vec3(quad_normals), i = w.indices16({0, 1, 2});
    const int empty_normals = w.accessor(R"({"bufferView": 1, "componentType": 5126, "count": 0, "type": "VEC3"})");
    const int empty_uv = w.accessor(R"({"bufferView": 1, "componentType": 5126, "count": 0, "type": "VEC2"})");
    const int huge = w.accessor(R"({"componentType": 5126, "count": 4000000000, "type": "VEC3"})");
    const int dataless = w.accessor(R"({"componentType": 5126, "count": 3000, "type": "VEC3"})");
    const std::string name = c.name;
    std::string primitive;
    std::vector<int> nodes;
    if (name == "empty normals before the position")
      primitive = gltf_writer_t::primitive({{"NORMAL", empty_normals}, {"POSITION", p}}, i);
    if (name == "empty texture coordinates before the position")
      primitive = gltf_writer_t::primitive({{"TEXCOORD_0", empty_uv}, {"POSITION", p}, {"NORMAL", n}}, i);
    if (name == "positions without data") primitive = gltf_writer_t::primitive({{"POSITION", huge}}, i);
    if (name == "one mesh drawn by many nodes") primitive = gltf_writer_t::primitive({{"POSITION", dataless}}, i);
    const int mesh = w.mesh("m", {primitive});
    for (int k = 0; k < (name == "one mesh drawn by many nodes" ? 3000 : 1); ++k) nodes.push_back(w.node(mesh));
    const std::string text = w.text(nodes);
    auto read = read_gltf_meshes(bytes_of(text));
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error().error, gltf_error_t::unreadable);
    EXPECT_EQ(read.error().problem.rfind(c.problem, 0), 0u) << read.error().problem;
  }
  // A handful of nodes drawing one mesh whose positions have no data is fine: they read as zeros.
  gltf_writer_t w;
  const int dataless = w.accessor(R"({"componentType": 5126, "count": 3, "type": "VEC3"})");
  const int i = w.indices16({0, 1, 2});
  const int mesh = w.mesh("m", {gltf_writer_t::primitive({{"POSITION", dataless}}, i)});
  auto read = read_gltf_meshes(bytes_of(w.text({w.node(mesh), w.node(mesh)})));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 2u);
  EXPECT_EQ(read->front().vertices, std::vector<float>(9, 0.0f));
}

}  // namespace
