// The geometry blocks drawn headless with the shaders the content build compiled: the tile grid's
// rebuild and its constant, the grid deform reproducing its input, a lit glTF quad, the mesh
// block's bad files, and the L-system grown, scripted and drawn.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>

#include "blocks/block_grid_deform.h"
#include "blocks/block_lsystem.h"
#include "blocks/block_mesh.h"
#include "blocks/block_tile_transition.h"
#include "common/block_fixture.h"
#include "common/gltf_writer.h"
#include "common/log_capture.h"
#include "engine/engine_impl.h"
#include "graphics/graphics_resources.h"
#include "graphics/input_layout.h"
#include "graphics/render_target.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "support/log.h"
#include "text/serial_reader.h"
#include "variables/expression_context.h"

namespace {

using block_test::rgba32f_t;
using gltf_test::gltf_writer_t;

bool logged(const log_capture_t& log, const std::string& text) {
  for (const auto& [level, line] : log.lines)
    if (line == text) return true;
  return false;
}

class BlocksDrawTest : public block_test::block_fixture_t {
 protected:
  const serial::value_t& parse(const std::string& text) {
    auto parsed = serial::parse_text(text, "test");
    EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error());
    roots_.push_back(parsed ? std::move(*parsed) : std::make_unique<serial::value_t>());
    return *roots_.back();
  }
  void write(const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = std::filesystem::path(files->get_base_dir()) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::vector<rgba32f_t> read(render_target_t& t) { return read_texels<rgba32f_t>(t.texture.get()); }

 private:
  std::vector<std::unique_ptr<serial::value_t>> roots_;
};

const float black[4] = {0, 0, 0, 1};

TEST_F(BlocksDrawTest, TileTransitionRebuildsOnANewTileCountAndDrawsOnlyWithItsScenes) {
  block_tile_transition_t block;
  ASSERT_TRUE(block.default_init());
  ASSERT_TRUE(block.pass->shaders_loaded());
  EXPECT_EQ(block.vertex_buffer->count, 400);
  EXPECT_EQ(block.vertex_buffer->stride, 40);
  EXPECT_EQ(block.index_buffer->count, 600);

  auto before = target(16, 16, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto after = target(16, 16, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto out = target(16, 16, DXGI_FORMAT_R32G32B32A32_FLOAT);
  const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
  runtime->clear_render_target(before.get(), red);
  runtime->clear_render_target(after.get(), green);

  // Without the scenes its shader reads, nothing is drawn.
  block.num_tiles_x->value.set(int32_t{20});
  bind({out.get()}, black);
  block.execute(render_context_t{{out.get()}, {}, {}, 0.0f, 0.0f, 0.0f});
  EXPECT_EQ(block.built_columns, 20) << "the rebuild comes before the check";
  EXPECT_EQ(block.vertex_buffer->count, 800);
  EXPECT_EQ(block.index_buffer->count, 1200);
  for (const rgba32f_t& p : read(*out)) ASSERT_EQ(p.r, 0.0f);

  render_context_t context{{out.get()}, {before.get(), after.get()}, {}, 0.0f, 0.0f, 0.0f};
  context.input_views.resize(2);
  bind({out.get()}, black);
  block.execute(context);
  const cb_entry_t* entry = block.pass->vs->find_cb_entry("cbMain", "g_num_tiles");
  ASSERT_TRUE(entry && entry->variable);
  const int2* tiles = std::get_if<int2>(&entry->variable->value.value);
  ASSERT_TRUE(tiles);
  EXPECT_EQ(tiles->x, 20);
  EXPECT_EQ(tiles->y, 10);
  // At the transition's start every tile shows its front, the scene before, unshaded.
  for (const rgba32f_t& p : read(*out)) {
    ASSERT_FLOAT_EQ(p.r, 1.0f);
    ASSERT_FLOAT_EQ(p.g, 0.0f);
  }
}

// A count is clamped to 1..100 before it becomes an int: a float NaN or 1e30 has no int value.
// An animated count out of range would rebuild often, so the block warns once.
TEST_F(BlocksDrawTest, TileCountsOutsideOneToAHundredAreClampedWithOneWarning) {
  block_tile_transition_t block;
  ASSERT_TRUE(block.default_init());
  struct case_t {
    typed_value_t value;
    int columns;
  };
  const case_t cases[] = {{std::numeric_limits<float>::quiet_NaN(), 10},
                          {1e30f, 100},
                          {-1e30f, 1},
                          {3.7f, 3},
                          {int32_t{500}, 100},
                          {int32_t{0}, 1}};
  log_capture_t log;
  for (const case_t& c : cases) {
    block.num_tiles_x->value.set(c.value);
    block.build_mesh();
    EXPECT_EQ(block.built_columns, c.columns);
    ASSERT_TRUE(block.vertex_buffer);
    EXPECT_EQ(block.vertex_buffer->count, 4 * c.columns * 10);
  }
  int warnings = 0;
  for (const auto& [level, line] : log.lines) warnings += level == LOG_LEVEL_WRN ? 1 : 0;
  EXPECT_EQ(warnings, 1);
  EXPECT_TRUE(logged(log, "tile-transition \"tile-transition\": num-tiles-x nan is no tile count of 1..100; using 10"));
}

TEST_F(BlocksDrawTest, GridDeformOneByOneWithAPassThroughVertexShaderReproducesItsInput) {
  block_grid_deform_t block;
  ASSERT_TRUE(block.default_init());
  ASSERT_TRUE(block.pass->load_vertex_shader_with_layout("shaders/grid-deform.hlsl", "VsPassThrough",
                                                         {VF_POS_XYZW, VF_TEX2}));
  block.num_tiles_x->value.set(int32_t{1});
  block.num_tiles_y->value.set(int32_t{1});

  const int w = 37, h = 23;
  auto in = target(w, h, DXGI_FORMAT_R8G8B8A8_UNORM);
  std::vector<uint32_t> pattern(size_t(w) * h);
  std::mt19937 random(7);
  for (uint32_t& p : pattern) p = random();
  context->UpdateSubresource(in->texture.get(), 0, nullptr, pattern.data(), w * 4, 0);
  auto out = target(w, h, DXGI_FORMAT_R8G8B8A8_UNORM);
  const float white[4] = {1, 1, 1, 1};

  // Without an input nothing is drawn.
  bind({out.get()}, white);
  block.execute(render_context_t{{out.get()}, {nullptr}, {nullptr}, 0.0f, 0.0f, 0.0f});
  for (uint32_t p : read_rgba8(out->texture.get())) ASSERT_EQ(p, 0xffffffffu);

  bind({out.get()}, white);
  block.execute(render_context_t{{out.get()}, {in.get()}, {nullptr}, 0.0f, 0.0f, 0.0f});
  EXPECT_EQ(block.built_columns, 1);
  EXPECT_EQ(read_rgba8(out->texture.get()), pattern);
}

// A quad facing the camera, lit by the mesh shader's sun: albedo × (ambient + (1 − ambient) ×
// N·L) + specular × (N·H)^shininess.
TEST_F(BlocksDrawTest, MeshBlockDrawsALitQuadAndItsDistanceIntoTheSecondOutput) {
  gltf_writer_t w;
  const int p = w.vec3({-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0});
  const int n = w.vec3({0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1});
  const int i = w.indices16({0, 1, 2, 2, 1, 3});
  const int mesh = w.mesh("quad", {gltf_writer_t::primitive({{"POSITION", p}, {"NORMAL", n}}, i)});
  write("meshes/quad.gltf", w.text({w.node(mesh)}));
  // The same node listed twice is drawn twice.
  write("meshes/twice.gltf", w.text({0, 0}));
  const serial::value_t& table = parse(R"(
class-name = "mesh"
id = 5
camera-spans = [{id = 9, end = 10.0}]
[scene]
filename = "meshes/quad.gltf"
[[cameras]]
name = "front"
id = 9
pos = {name = "pos", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, -3.0)}, has-animation = false}
dir = {name = "dir", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, 1.0)}, has-animation = false}
up = {name = "up", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 1.0, 0.0)}, has-animation = false}
fov = {name = "fov", flags = 0, type = 6, default = {type = 6, value = 1.0}, has-animation = false}
near-plane = {name = "near plane", flags = 0, type = 6, default = {type = 6, value = 0.1}, has-animation = false}
far-plane = {name = "far plane", flags = 0, type = 6, default = {type = 6, value = 100.0}, has-animation = false}
)");
  block_mesh_t block;
  ASSERT_TRUE(block.load(table));
  ASSERT_EQ(block.meshes.draw_list.size(), 1u);
  EXPECT_EQ(block.get_tags(), std::vector<std::string>{"cameras"});

  const int size = 64;
  auto colour = target(size, size, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto second = target(size, size, DXGI_FORMAT_R32G32B32A32_FLOAT);
  bind({colour.get(), second.get()}, black);
  block.execute(render_context_t{{colour.get(), second.get()}, {}, {}, 0.0f, 0.0f, 0.0f});

  const float3 l = vec3_normalize({0.4f, 0.8f, -0.45f});
  const float3 nrm{0, 0, -1}, v{0, 0, -1};
  const float3 hv = vec3_normalize(vec3_add(l, v));
  const float diffuse = vec3_dot(nrm, l);
  const float specular = 0.35f * std::pow(vec3_dot(nrm, hv), 24.0f);
  const float3 albedo{0.85f, 0.6f, 0.35f};
  const float light = 0.12f + 0.88f * diffuse;
  const std::vector<rgba32f_t> pixels = read(*colour);
  const rgba32f_t centre = pixels[size_t(size / 2) * size + size / 2];
  EXPECT_NEAR(centre.r, albedo.x * light + specular, 0.01f);
  EXPECT_NEAR(centre.g, albedo.y * light + specular, 0.01f);
  EXPECT_NEAR(centre.b, albedo.z * light + specular, 0.01f);
  EXPECT_EQ(pixels[0].r, 0.0f) << "the quad does not reach the corner";
  const rgba32f_t depth = read(*second)[size_t(size / 2) * size + size / 2];
  EXPECT_NEAR(depth.r, 3.0f, 0.01f) << "distance from the camera";
  EXPECT_EQ(depth.g, 1.0f) << "occlusion";

  serial::value_t saved;
  saved.kind = serial::value_kind_t::table;
  block.save(saved);
  EXPECT_EQ(saved.get("scene", serial::value_kind_t::table).get_string("filename", ""), "meshes/quad.gltf");

  ASSERT_TRUE(block.load_scene("meshes/twice.gltf"));
  ASSERT_EQ(block.meshes.draw_list.size(), 2u);
  EXPECT_EQ(block.meshes.draw_list[0], block.meshes.draw_list[1]);
  bind({colour.get(), second.get()}, black);
  block.execute(render_context_t{{colour.get(), second.get()}, {}, {}, 0.0f, 0.0f, 0.0f});
  const rgba32f_t again = read(*colour)[size_t(size / 2) * size + size / 2];
  EXPECT_NEAR(again.r, centre.r, 0.01f) << "an opaque quad drawn twice looks the same";
}

// A text glTF whose buffer assimp wrote into a file of its own is read through the file system,
// from beside the glTF file; without that file it is refused.
TEST_F(BlocksDrawTest, MeshBlockReadsAnExternalBufferBesideItsFile) {
  std::ifstream external(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes/assimp_external.gltf");
  write("scenes/external.gltf", {std::istreambuf_iterator<char>(external), std::istreambuf_iterator<char>()});
  {
    log_capture_t log;
    block_mesh_t block;
    EXPECT_FALSE(block.load(parse("[scene]\nfilename = \"scenes/external.gltf\"\n")));
    EXPECT_TRUE(logged(log, "Error loading scene: scenes/external.gltf"));
  }
  std::ifstream bin(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes/assimp_external.bin", std::ios::binary);
  write("scenes/assimp_external.bin", {std::istreambuf_iterator<char>(bin), std::istreambuf_iterator<char>()});
  block_mesh_t block;
  ASSERT_TRUE(block.load(parse("[scene]\nfilename = \"scenes/external.gltf\"\n")));
  ASSERT_FALSE(block.meshes.draw_list.empty());
}

TEST_F(BlocksDrawTest, MeshBlockRefusesBadScenesWithItsMessagesAndDrawsNothing) {
  gltf_writer_t w;
  const int p = w.vec3({0, 0, 0, 1, 0, 0, 0, 1, 0}), i = w.indices16({0, 1, 2});
  const int past =
      w.accessor(R"({"bufferView": 0, "byteOffset": 24, "componentType": 5126, "count": 3, "type": "VEC3"})");
  const int m = w.mesh("m", {gltf_writer_t::primitive({{"POSITION", past}, {"NORMAL", p}}, i)});
  write("meshes/out-of-range.gltf", w.text({w.node(m)}));
  write("meshes/no-scenes.gltf", w.text({w.node(m)}, false));
  {
    gltf_writer_t z;
    const int zp = z.vec3({0, 0, 0, 1, 0, 0, 0, 1, 0}), zi = z.indices16({0, 1, 2});
    const int empty = z.accessor(R"({"bufferView": 0, "componentType": 5126, "count": 0, "type": "VEC3"})");
    const int zm = z.mesh("m", {gltf_writer_t::primitive({{"NORMAL", empty}, {"POSITION", zp}}, zi)});
    write("meshes/zero-normals.gltf", z.text({z.node(zm)}));
  }
  std::ifstream glb(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes/two.glb", std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(glb), std::istreambuf_iterator<char>()};
  write("meshes/truncated.glb", bytes.substr(0, bytes.size() / 2));
  // An external buffer that would climb out of the glTF file's folder.
  std::ifstream external(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes/assimp_external.gltf");
  std::string climbing{std::istreambuf_iterator<char>(external), std::istreambuf_iterator<char>()};
  climbing.replace(climbing.find("\"assimp_external.bin\""), 21, "\"../assimp_external.bin\"");
  write("meshes/sub/climbing.gltf", climbing);
  std::ifstream bin(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "meshes/assimp_external.bin", std::ios::binary);
  write("meshes/assimp_external.bin", {std::istreambuf_iterator<char>(bin), std::istreambuf_iterator<char>()});

  struct case_t {
    const char* table;
    std::vector<std::string> messages;
  };
  const case_t cases[] = {
      {"class-name = \"mesh\"\n", {"Unable to find scene object"}},
      {"[scene]\nfilename = \"meshes/missing.gltf\"\n",
       {"error loading mesh file: meshes/missing.gltf", "Error loading scene: meshes/missing.gltf"}},
      {"[scene]\n", {"error loading mesh file: ", "Error loading scene: "}},
      {"[scene]\nfilename = \"meshes/truncated.glb\"\n", {"Error loading scene: meshes/truncated.glb"}},
      {"[scene]\nfilename = \"meshes/sub/climbing.gltf\"\n", {"Error loading scene: meshes/sub/climbing.gltf"}},
      {"[scene]\nfilename = \"meshes/out-of-range.gltf\"\n", {"Error loading scene: meshes/out-of-range.gltf"}},
      {"[scene]\nfilename = \"meshes/zero-normals.gltf\"\n",
       {"Unable to read glTF file meshes/zero-normals.gltf: mesh m: NORMAL has 0 elements for 3 vertices",
        "Error loading scene: meshes/zero-normals.gltf"}},
      {"[scene]\nfilename = \"meshes/no-scenes.gltf\"\n",
       {"file has no scenes: meshes/no-scenes.gltf", "Error loading scene: meshes/no-scenes.gltf"}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.table);
    log_capture_t log;
    block_mesh_t block;
    EXPECT_FALSE(block.load(parse(c.table)));
    for (const std::string& message : c.messages) EXPECT_TRUE(logged(log, message)) << message;
    EXPECT_TRUE(block.meshes.draw_list.empty());
    auto out = target(8, 8, DXGI_FORMAT_R32G32B32A32_FLOAT);
    bind({out.get()}, black);
    block.execute(render_context_t{{out.get()}, {}, {}, 0.0f, 0.0f, 0.0f});
    for (const rgba32f_t& px : read(*out)) ASSERT_EQ(px.r, 0.0f);
  }
}

// The project loader keeps a mesh block whose scene failed: it draws nothing, and the timeline
// plays on into the next scene.
TEST_F(BlocksDrawTest, ProductionWithABrokenMeshPlaysOnIntoTheNextScene) {
  engine_impl_t engine;
  engine_context->engine = &engine;
  log_capture_t log;
  ASSERT_TRUE(engine.load_project_text("", R"(
[[blocks]]
class-name = "mesh"
id = 1
start-time = 0.0
end-time = 5.0
[blocks.scene]
filename = "data/meshes/missing.glb"

[[blocks]]
class-name = "shader"
id = 2
start-time = 5.0
end-time = 10.0
[blocks.renderpass]
type = 1
rasterizer-state = 2
depth-stencil-state = 2
[blocks.renderpass.vs]
type = 1
filename = "shaders/default.hlsl"
entrypoint = "VsQuad"
[blocks.renderpass.ps]
type = 4
filename = "shaders/demo/plasma.hlsl"
entrypoint = "PsPlasma"
)").has_value());
  EXPECT_TRUE(logged(log, "Error loading scene: data/meshes/missing.glb"));
  ASSERT_EQ(engine.get_blocks().size(), 2u);
  render_target_t* backbuffer = gsys->get_backbuffer();
  auto lit_pixels = [&](float t) {
    engine.timer.seek(t);
    runtime->begin_frame();
    resources->begin_frame();
    engine.render_frame(backbuffer);
    int lit = 0;
    for (uint32_t p : read_rgba8(backbuffer->texture.get())) lit += (p & 0xffffffu) != 0 ? 1 : 0;
    return lit;
  };
  EXPECT_EQ(lit_pixels(2.5f), 0) << "the broken mesh block draws nothing";
  EXPECT_GT(lit_pixels(7.5f), 0) << "the next scene plays";
  engine_context->engine = nullptr;
}

// Scripts are read through the file system; one that is missing or does not parse is logged and
// leaves the camera's components as they were.
TEST_F(BlocksDrawTest, CameraScriptsThatAreMissingOrDoNotParseAreLogged) {
  auto local = create_filesystem_at(files->get_base_dir() + "/scripts/pumblecrisp");
  ASSERT_TRUE(local.has_value());
  std::unique_ptr<filesystem_t> scripts(*local);
  filesystem_t* saved = g_systems->filesystem;
  g_systems->filesystem = scripts.get();
  write("scripts/config/lsystem_cam1.txt", "1\n2\n3\n4\n5\n6\n0\n1\n0\n");
  write("scripts/config/lsystem_cam3.txt", "1\n)\n3\n");
  log_capture_t log;
  block_lsystem_t block;
  block.init_camera_scripts();
  g_systems->filesystem = saved;
  ASSERT_EQ(block.camera_scripts.size(), 4u);
  EXPECT_TRUE(block.camera_scripts[0].expressions[8]);
  EXPECT_TRUE(logged(log, "Unable to read camera script: config/lsystem_cam2.txt"));
  EXPECT_FALSE(block.camera_scripts[1].expressions[0]);
  EXPECT_TRUE(logged(log, "Camera script config/lsystem_cam3.txt, line 2: no expression in \")\""));
  EXPECT_TRUE(block.camera_scripts[2].expressions[2]);
  EXPECT_FALSE(block.camera_scripts[2].expressions[3]);
}

// The real resources, except that index buffers (the L-system makes one) are refused.
class refusing_index_buffers_t final : public graphics_resources_t {
 public:
  explicit refusing_index_buffers_t(graphics_resources_t& real) : real_(real) {}
  void release_all() override { real_.release_all(); }
  void begin_frame() override { real_.begin_frame(); }
  std::unique_ptr<index_buffer_t> create_index_buffer(int, int, const void*, bool) override { return nullptr; }
  std::unique_ptr<vertex_buffer_t> create_vertex_buffer(int count, int stride, const void* data,
                                                        bool dynamic) override {
    return real_.create_vertex_buffer(count, stride, data, dynamic);
  }
  std::unique_ptr<constant_buffer_t> create_constant_buffer(int size, bool dynamic, const void* data) override {
    return real_.create_constant_buffer(size, dynamic, data);
  }
  std::unique_ptr<constant_buffer_t> create_readback_buffer(int size) override {
    return real_.create_readback_buffer(size);
  }
  std::unique_ptr<render_target_t> create_indirect_args_buffer(int type) override {
    return real_.create_indirect_args_buffer(type);
  }
  std::shared_ptr<render_target_t> create_render_target(rt_size_t size_type, int width, int height,
                                                         DXGI_FORMAT format, uint32_t flags) override {
    return real_.create_render_target(size_type, width, height, format, flags);
  }
  std::unique_ptr<render_target_t> create_buffer(int count, int stride, uint32_t flags) override {
    return real_.create_buffer(count, stride, flags);
  }
  std::shared_ptr<rasterizer_state_t> create_rasterizer_state(const D3D11_RASTERIZER_DESC& desc) override {
    return real_.create_rasterizer_state(desc);
  }
  std::shared_ptr<blend_state_t> create_blend_state(const D3D11_BLEND_DESC& desc) override {
    return real_.create_blend_state(desc);
  }
  std::shared_ptr<depth_stencil_state_t> create_depth_stencil_state(const D3D11_DEPTH_STENCIL_DESC& desc) override {
    return real_.create_depth_stencil_state(desc);
  }
  std::shared_ptr<sampler_state_t> create_sampler_state(const D3D11_SAMPLER_DESC& desc) override {
    return real_.create_sampler_state(desc);
  }
  std::shared_ptr<rasterizer_state_t> get_rasterizer_state(int id) override { return real_.get_rasterizer_state(id); }
  std::shared_ptr<blend_state_t> get_blend_state(int id) override { return real_.get_blend_state(id); }
  std::shared_ptr<depth_stencil_state_t> get_depth_stencil_state(int id) override {
    return real_.get_depth_stencil_state(id);
  }
  std::shared_ptr<sampler_state_t> get_sampler_state(int id) override { return real_.get_sampler_state(id); }

 private:
  graphics_resources_t& real_;
};

// A block whose pass did not load keeps the empty pass, which has no buffers to bind: it draws
// nothing, and the warning names the description.
TEST_F(BlocksDrawTest, LsystemWithoutItsPassDrawsNothingAndNamesItsDescription) {
  struct case_t {
    const char* name;
    const char* description;  // where the description is read from; null: the content's own
    const char* bytes;        // written there; null: no file
  };
  const case_t cases[] = {
      {"index buffer refused", nullptr, nullptr},
      {"description missing", "broken/missing.toml", nullptr},
      {"description unparsable", "broken/garbage.toml", "[[shaders]\nvertexshader = = \"\x01\n"},
      {"vertex shader that does not load", "broken/no-vs.toml",
       "[[shaders]]\nvertexshader = \"VsNowhere\"\nlayout = [\"VF_POS\"]\npixelshader = \"PsLsystem\"\n"},
  };
  const serial::value_t& table = parse("class-name = \"lsystem\"\nid = 7\nstart-time = 0.0\nend-time = 10.0\n");
  refusing_index_buffers_t refusing(*resources);
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.description) files->add_mappings({{"shaders/lsystem.toml", c.description}});
    if (c.bytes) write(c.description, c.bytes);
    g_systems->resources = c.description ? resources.get() : static_cast<graphics_resources_t*>(&refusing);
    log_capture_t log;
    block_lsystem_t block;
    const bool loaded = block.load(table);
    g_systems->resources = resources.get();
    EXPECT_FALSE(loaded);
    int warnings = 0;
    for (const auto& [level, line] : log.lines)
      if (level == LOG_LEVEL_WRN && line.rfind("Error loading shader desc: ", 0) == 0) {
        ++warnings;
        EXPECT_NE(line.find("shaders/lsystem.toml"), std::string::npos) << line;
      }
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(block.cube_count, 0);

    auto out = target(16, 16, DXGI_FORMAT_R32G32B32A32_FLOAT);
    auto second = target(16, 16, DXGI_FORMAT_R32G32B32A32_FLOAT);
    for (float t : {0.5f, 1.0f}) {
      bind({out.get(), second.get()}, black);
      block.execute(render_context_t{{out.get(), second.get()}, {}, {}, t, t, 0.0f});
    }
    for (const rgba32f_t& p : read(*second)) ASSERT_EQ(p.g, 0.0f);
  }
}

long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// The only test here that makes the L-system's full-capacity buffers (about 1.3 GB of ring).
TEST_F(BlocksDrawTest, LsystemGrowsAtLoadFollowsItsScriptAndDrawsOnlyInScriptedSpans) {
  const serial::value_t& table = parse(R"(
class-name = "lsystem"
id = 7
start-time = 0.0
end-time = 20.0
camera-spans = [{id = 1, end = 4.0}, {id = 1, end = 8.0}, {id = 1, end = 12.0}, {id = 1, end = 16.0}, {id = 1, end = 20.0}]
[[cameras]]
name = "c"
id = 1
pos = {name = "pos", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, -40.0)}, has-animation = false}
dir = {name = "dir", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, 1.0)}, has-animation = false}
up = {name = "up", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 1.0, 0.0)}, has-animation = false}
fov = {name = "fov", flags = 0, type = 6, default = {type = 6, value = 1.0}, has-animation = false}
near-plane = {name = "near plane", flags = 0, type = 6, default = {type = 6, value = 0.5}, has-animation = false}
far-plane = {name = "far plane", flags = 0, type = 6, default = {type = 6, value = 500.0}, has-animation = false}
)");
  const long before = resident_kib();
  block_lsystem_t block;
  {
    log_capture_t log;
    const bool loaded = block.load(table);
    for (const auto& [level, line] : log.lines) EXPECT_LT(level, LOG_LEVEL_WRN) << line;
    ASSERT_TRUE(loaded);
  }
  std::printf("resident memory: %ld MiB before the load, %ld MiB after\n", before / 1024, resident_kib() / 1024);
  EXPECT_EQ(block.cube_count, 5) << "defaults: the first seed only";
  EXPECT_EQ(block.pass->geometry.dyn_vertices->capacity, 3 * 9830400 * 44);
  EXPECT_EQ(block.pass->geometry.index_buffer->count, 750) << "indices for the cubes grown, not the capacity";
  ASSERT_EQ(block.camera_scripts.size(), 4u);

  auto out = target(64, 64, DXGI_FORMAT_R32G32B32A32_FLOAT);
  auto second = target(64, 64, DXGI_FORMAT_R32G32B32A32_FLOAT);
  bind({out.get(), second.get()}, black);
  const float t = 1.5f;
  block.execute(render_context_t{{out.get(), second.get()}, {}, {}, t, t, 0.0f});
  // The production's first script: an orbit at radius 42 around the structure.
  const float3* pos = std::get_if<float3>(&block.cameras[0]->pos->value.value);
  ASSERT_TRUE(pos);
  EXPECT_NEAR(pos->x, std::sin(t * 0.35f) * 42.0f, 1e-3f);
  EXPECT_NEAR(pos->z, -std::cos(t * 0.35f) * 42.0f, 1e-3f);
  int covered = 0;
  for (const rgba32f_t& p : read(*second)) covered += p.g == 1.0f ? 1 : 0;
  EXPECT_GT(covered, 0) << "the cubes are seen";

  // Past the four scripts: no camera update and no draw.
  block.start_time = -17.0f;
  block.cameras[0]->pos->value.set(float3{1, 2, 3});
  bind({out.get(), second.get()}, black);
  block.execute(render_context_t{{out.get(), second.get()}, {}, {}, 17.0f, 0.0f, 0.0f});
  EXPECT_EQ(block.get_active_span_index(), 4);
  EXPECT_EQ(std::get<float3>(block.cameras[0]->pos->value.value).x, 1.0f);
  for (const rgba32f_t& p : read(*second)) ASSERT_EQ(p.g, 0.0f);
}

}  // namespace
