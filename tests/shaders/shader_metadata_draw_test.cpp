// A pixel shader whose constants come from its metadata file: each compile task reads the file
// anew, so after the file changes the next version draws with the new constants, and a texture
// slot named by the file draws that texture, also when no input fills the slot and after the
// texture file itself changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/reflection_blob_builder.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/shader_compile_task.h"
#include "media/texture_manager.h"
#include "common/graphics_test_support.h"
#include "platform/dxgi/hresult.h"

// The watcher's header brings the Win32 error codes, which clash with the DXGI ones in this file.
namespace fw2 {
void poll_at(uint32_t now);
}

namespace {

using d3d11_test::rgba;
using reflection_test::blob_builder_t;

const char* tint_shader = R"(
cbuffer params : register(b0) { float4 tint; float amount; };
Texture2D tex : register(t1);
SamplerState point_clamp : register(s0);
float4 main(float4 pos : SV_Position, float2 uv : TEXCOORD0) : SV_Target {
  return tint * amount + tex.Sample(point_clamp, uv);
})";

struct loaded_listener_t final : shader_loaded_interface_t {
  void on_shader_loaded(compile_task_t&, int32_t state) override { last_state = state; }
  int32_t last_state = -1;
};

class ShaderMetadataDrawTest : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "metadata_draw_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    std::filesystem::create_directories(base + "/shaders");
    auto created = create_filesystem_at(base + "/player");
    ASSERT_TRUE(created.has_value());
    fs.reset(*created);
    g_systems->filesystem = fs.get();
    previous_textures = engine_context->texture_manager;

    code = d3d11_test::compile_hlsl(tint_shader, "frag", "main");
    blob_builder_t::variable_t tint{"tint", 0, 16, 2, 1, 3, 1, 4, "float4"};
    blob_builder_t::variable_t amount{"amount", 16, 4, 2, 0, 3, 1, 1, "float"};
    reflection.buffers = {{"params", 0, 32, {tint, amount}}};
    reflection.bindings = {{"params", 0, 0, 0}, {"tex", 2, 1, 12}, {"point_clamp", 3, 0, 0}};
    reflection.outputs = {{"SV_Target", 0, 0}};
  }
  void TearDown() override {
    texture_manager.reset();
    engine_context->texture_manager = previous_textures;
    if (g_systems) g_systems->filesystem = nullptr;
    fs.reset();
    if (!base.empty()) std::filesystem::remove_all(base);
    graphics_fixture_t::TearDown();
  }

  // Only the texture tests pay for the procedural textures a manager makes.
  void start_texture_manager() {
    auto textures = create_texture_manager(device, fs.get());
    ASSERT_TRUE(textures.has_value()) << textures.error();
    texture_manager.reset(*textures);
  }

  void write_metadata(const std::string& text) { std::ofstream(base + "/shaders/tint.toml") << text; }

  // One compile task, as the shader manager runs it for every new version.
  std::shared_ptr<shader_t> make_version() {
    return compile(SHADER_STAGE_PIXEL, "shaders/tint.hlsl", code, reflection.bytes(), "shaders/tint.toml");
  }
  std::shared_ptr<shader_t> compile(int32_t stage, const char* path, const std::vector<uint8_t>& bytecode,
                                    const std::vector<uint8_t>& reflected, const char* metadata) {
    compile_task_t task(&listener);
    task.shader = std::make_shared<shader_t>(stage, path_info_t(path), "main");
    task.code = bytecode;
    task.reflection = reflected;
    task.metadata_path = metadata;
    task.ExecuteRange({0, 1}, 0);
    return task.shader;
  }

  // A shader block's pass: the full-screen triangle with the version as its pixel shader.
  std::shared_ptr<render_pass_t> fullscreen_pass(const std::shared_ptr<shader_t>& pixel) {
    auto pass = make_render_pass();
    pass->kind = RENDER_PASS_GRAPHICS;
    EXPECT_TRUE(pass->set_states(1, 1, 1));
    pass->vs = compile(SHADER_STAGE_VERTEX, "shaders/quad.hlsl",
                       d3d11_test::compile_hlsl(d3d11_test::fullscreen_vs, "vert", "main"), {}, "");
    EXPECT_EQ(pass->vs->state, SHADER_STATE_READY);
    pass->ps = pixel;
    return pass;
  }

  // Drawn by the pass itself over a 4 × 4 target, with whatever its slots hold.
  std::vector<uint32_t> draw_pass(render_pass_t& pass) {
    auto target = resources->create_render_target(RT_SIZE_EXPLICIT, 4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
    const float black[4] = {0, 0, 0, 0};
    render_target_t* previous = runtime->set_render_target(target.get(), black, false);
    pass.draw_fullscreen();
    runtime->set_render_target(previous, nullptr, false);
    return read_rgba8(target->texture);
  }

  void solid_png(const char* colour) {
    std::filesystem::create_directories(base + "/textures");
    const std::string path = base + "/textures/solid.png";
    ASSERT_EQ(std::system((std::string("convert -size 4x4 xc:") + colour + " '" + path + "'").c_str()), 0);
  }

  // A version whose metadata gives slot 1 a red PNG file.
  std::shared_ptr<shader_t> version_with_red_file() {
    start_texture_manager();
    solid_png("red");
    write_metadata("shaders = [ { pixelshader = \"main\",\n"
                   "              resources = [ { slot = 1, filename = \"textures/solid.png\" } ] } ]\n");
    return make_version();
  }

  // Two polls far enough apart for the watcher to hand out what changed on disk.
  void let_watcher_report_changes() {
    static uint32_t now = 700000;
    now += 5000;
    fw2::poll_at(now);
    fw2::poll_at(now + 1001);
  }

  // The version's constants and slots bound as a pass binds them, drawn over a 4 × 4 target.
  std::vector<uint32_t> draw(shader_t& version) {
    auto target = make_target(4, 4);
    bind_target(target);
    version.update_constants();
    ID3D11ShaderResourceView* view = version.resources[1].texture ? version.resources[1].texture->srv.p : nullptr;
    context->PSSetShaderResources(1, 1, &view);
    draw_fullscreen(version.pixel_shader);
    return read_rgba8(target.texture);
  }

  std::string base;
  std::unique_ptr<filesystem_t> fs;
  std::unique_ptr<texture_manager_t> texture_manager;
  texture_manager_t* previous_textures = nullptr;
  std::vector<uint8_t> code;
  blob_builder_t reflection;
  loaded_listener_t listener;
};

TEST_F(ShaderMetadataDrawTest, AChangedMetadataFileChangesTheConstantsOfTheNextVersion) {
  ASSERT_FALSE(code.empty());
  write_metadata(R"(cbuffers = [ { params = [ { name = "tint", var = "tint", default = float4(1, 0, 0, 1) },
                                 { name = "amount", var = "amount", default = 0.5 } ] } ]
)");
  std::shared_ptr<shader_t> first = make_version();
  ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
  ASSERT_NE(first->pixel_shader, nullptr);
  std::vector<uint32_t> pixels = draw(*first);
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(int(pixels[5] >> (8 * c) & 0xFF), c == 1 || c == 2 ? 0 : 128, 1) << c;

  write_metadata(R"(cbuffers = [ { params = [ { name = "tint", var = "tint", default = float4(0, 1, 0, 1) },
                                 { name = "amount", var = "amount", default = 1 } ] } ]
)");
  std::shared_ptr<shader_t> second = make_version();
  ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
  EXPECT_EQ(draw(*second)[5], rgba(0, 255, 0, 255));
  // The first version keeps what its file said then.
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(int(draw(*first)[5] >> (8 * c) & 0xFF), c == 1 || c == 2 ? 0 : 128, 1);
}

TEST_F(ShaderMetadataDrawTest, TextureSlotsDrawTheirFileOrTheDefaultTexture) {
  ASSERT_FALSE(code.empty());
  start_texture_manager();
  std::filesystem::create_directories(base + "/textures");
  const std::string command = "convert -size 4x2 xc:blue -size 4x2 xc:lime -append '" + base + "/textures/halves.png'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  write_metadata(R"(shaders = [ { pixelshader = "main", resources = [ { slot = 1, filename = "textures/halves.png" } ] } ]
)");
  std::shared_ptr<shader_t> version = make_version();
  ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
  ASSERT_NE(version->resources[1].texture, nullptr);
  std::vector<uint32_t> pixels = draw(*version);
  EXPECT_EQ(pixels[0], rgba(0, 0, 255, 255));
  EXPECT_EQ(pixels[15], rgba(0, 255, 0, 255));

  // Files that do not load give the default texture: transparent black left, white right.
  const std::string rgb24 = "convert -size 4x4 xc:red -alpha off -define dds:compression=none '" + base +
                            "/textures/rgb24.dds'";
  ASSERT_EQ(std::system(rgb24.c_str()), 0);
  for (const std::string name : {"lost.png", "rgb24.dds"}) {
    SCOPED_TRACE(name);
    write_metadata("shaders = [ { pixelshader = \"main\", resources = [ { slot = 1, filename = \"textures/" + name +
                   "\" } ] } ]\n");
    log_capture_t log;
    version = make_version();
    ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
    EXPECT_EQ(version->resources[1].texture, texture_manager->default_texture());
    const std::string reason = name == "lost.png" ? "Unable to load image: textures/lost.png"
                                                  : "Error creating dds texture: " +
                                                        hresult_message(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Unable to load texture: textures/" + name + " (" + reason +
                                                "), using default"));
    pixels = draw(*version);
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[3], rgba(255, 255, 255, 255));
  }
}

TEST_F(ShaderMetadataDrawTest, AFileTextureIsBoundWithoutAnInputAndFollowsItsFile) {
  ASSERT_FALSE(code.empty());
  std::shared_ptr<shader_t> version = version_with_red_file();
  ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
  auto pass = fullscreen_pass(version);
  // Nothing put a view into the slot; the file texture alone makes the pass ready and is drawn.
  EXPECT_EQ(version->resources[1].srv, nullptr);
  EXPECT_TRUE(pass->is_ready());
  for (uint32_t p : draw_pass(*pass)) EXPECT_EQ(p, rgba(255, 0, 0, 255));

  // The file changes on disk: the same texture object gets a new view, and the next draw shows it
  // without a new shader version.
  texture_manager->reload_changed_files();  // watches the file loaded by the compile task
  fw2::poll_at(1);
  solid_png("lime");
  let_watcher_report_changes();
  {
    log_capture_t log;
    texture_manager->reload_changed_files();
    ASSERT_TRUE(log.contains(LOG_LEVEL_INF, "Reloaded texture: textures/solid.png"));
  }
  EXPECT_EQ(*texture_manager->load_texture("textures/solid.png"), version->resources[1].texture);
  EXPECT_EQ(pass->ps, version);
  for (uint32_t p : draw_pass(*pass)) EXPECT_EQ(p, rgba(0, 255, 0, 255));
}

TEST_F(ShaderMetadataDrawTest, AnInputViewInTheSlotWinsOverTheFileTexture) {
  ASSERT_FALSE(code.empty());
  std::shared_ptr<shader_t> version = version_with_red_file();
  ASSERT_EQ(listener.last_state, SHADER_STATE_READY);
  auto pass = fullscreen_pass(version);
  const uint8_t blue[4] = {0, 0, 255, 255};
  auto input = texture_manager->create_texture_2d(1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, blue);
  ASSERT_TRUE(input);

  render_context_t with_input;
  with_input.input_targets = {nullptr, nullptr};
  with_input.input_views = {nullptr, input->srv};
  pass->bind_input_textures(with_input);
  for (uint32_t p : draw_pass(*pass)) EXPECT_EQ(p, rgba(0, 0, 255, 255));

  // An input that has no view this frame leaves the slot to the file texture.
  render_context_t without_view;
  without_view.input_targets = {nullptr, nullptr};
  pass->bind_input_textures(without_view);
  EXPECT_TRUE(pass->is_ready());
  for (uint32_t p : draw_pass(*pass)) EXPECT_EQ(p, rgba(255, 0, 0, 255));
}

TEST_F(ShaderMetadataDrawTest, AnUnreadableMetadataFileFailsTheVersion) {
  ASSERT_FALSE(code.empty());
  std::shared_ptr<shader_t> version = make_version();
  EXPECT_EQ(listener.last_state, SHADER_STATE_FAILED);
  EXPECT_EQ(version->state, SHADER_STATE_FAILED);
}

}  // namespace
