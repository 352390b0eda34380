// Shader metadata files applied to a version whose tables look as the reflection leaves them:
// constant-buffer entries fed by system values, sync tracks and variables, texture slots from
// files and system textures, output types, and every message of a file that does not fit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "files/filesystem.h"
#include "shaders/shader_compile_task.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "common/filesystem_fixture.h"
#include "common/log_capture.h"

namespace {

// Knows one texture file and one system texture.
class fake_texture_manager_t final : public texture_manager_t {
 public:
  void reload_changed_files() override {}
  texture_t* default_texture() override { return &default_tex; }
  tl::expected<texture_t*, std::string> load_texture(const std::string& path) override {
    loaded_paths.push_back(path);
    if (path == "textures/known.png") return &file_tex;
    return tl::unexpected("Unable to load image: " + path);
  }
  tl::expected<texture_t*, std::string> create_texture_from_pixels(const uint8_t*, int, int, int) override {
    return tl::unexpected(std::string("unused"));
  }
  texture_t* find_texture(const std::string& name) override { return name == "random" ? &system_tex : nullptr; }
  std::vector<std::string> list_texture_names() override { return {"fft", "random"}; }
  std::unique_ptr<texture_t> create_texture_2d(int, int, DXGI_FORMAT, const void*) override { return nullptr; }
  HRESULT update_texture(texture_t&, const void*) override { return E_NOTIMPL; }
  std::unique_ptr<texture_t> create_texture_3d(int, int, int, DXGI_FORMAT, const void*) override { return nullptr; }

  texture_t default_tex, file_tex, system_tex;
  std::vector<std::string> loaded_paths;
};

class ShaderMetadataTest : public filesystem_fixture_t {
 protected:
  void SetUp() override {
    filesystem_fixture_t::SetUp();
    if (HasFatalFailure()) return;
    previous_systems = g_systems;
    systems.filesystem = fs.get();
    g_systems = &systems;
    previous_textures = engine_context->texture_manager;
    engine_context->texture_manager = &textures;
    // The textures' views are only compared, never used.
    textures.file_tex.srv.p = reinterpret_cast<ID3D11ShaderResourceView*>(0x5a5b0);
    textures.system_tex.srv.p = reinterpret_cast<ID3D11ShaderResourceView*>(0x5a5a0);

    task.shader = std::make_shared<shader_t>(4, path_info_t("shaders/effect.hlsl"), "PsMain");
    shader_t& version = *task.shader;
    version.cbuffers.resize(2);
    version.cbuffers[1] = make_buffer("params", 1,
                                      {{"speed", VT_FLOAT},
                                       {"count", VT_INT},
                                       {"tint", VT_COLOR},
                                       {"direction", VT_FLOAT3},
                                       {"amount", VT_FLOAT},
                                       {"offset", VT_INT2},
                                       {"enabled", VT_BOOL},
                                       {"matrix", VT_FLOAT4X4}});
    version.resources[1].input_type = D3D_SIT_TEXTURE;
    version.resources[1].binding.bind_point = 1;
    version.resources[1].display_name = "tex1";
    version.resources[1].needs_texture = true;
    version.resources[2].input_type = D3D_SIT_TEXTURE;
    version.resources[2].binding.bind_point = 2;
    version.resources[3].input_type = D3D_SIT_STRUCTURED;
    version.resources[3].binding.bind_point = 3;
    task.metadata_path = "shaders/effect.toml";
  }
  void TearDown() override {
    textures.file_tex.srv.p = nullptr;
    textures.system_tex.srv.p = nullptr;
    engine_context->texture_manager = previous_textures;
    g_systems = previous_systems;
    task.shader.reset();
    filesystem_fixture_t::TearDown();
  }

  static std::unique_ptr<cbuffer_t> make_buffer(const std::string& name, int32_t slot,
                                                const std::vector<std::pair<std::string, uint8_t>>& entries) {
    auto buffer = std::make_unique<cbuffer_t>();
    buffer->name = name;
    buffer->slot = slot;
    int32_t offset = 0;
    for (const auto& [entry_name, type] : entries) {
      cb_entry_t& entry = buffer->entries.emplace_back();
      entry.name = entry.var_name = entry_name;
      entry.type = type;
      entry.offset = offset;
      entry.default_value = make_default_value(variable_type_t(type));
      offset += 16;
    }
    return buffer;
  }

  tl::expected<void, std::string> apply(const std::string& text) {
    write("shaders/effect.toml", text);
    return task.apply_metadata();
  }
  cb_entry_t& entry(const std::string& name) { return *task.shader->find_cb_entry("params", name); }

  systems_t systems;
  systems_t* previous_systems = nullptr;
  texture_manager_t* previous_textures = nullptr;
  fake_texture_manager_t textures;
  compile_task_t task{nullptr};
};

std::string cbuffer_file(const std::string& entries) { return "cbuffers = [ { params = [ " + entries + " ] } ]\n"; }

TEST_F(ShaderMetadataTest, SystemValuesAndSyncTracksReadNothingElse) {
  ASSERT_TRUE(apply(cbuffer_file(R"({ name = "speed", sys = "time", var = "ignored", type = "int", min = 0, max = 1 },
    { name = "amount", sync = "fade", var = "ignored" })")));
  const cb_entry_t& speed = entry("speed");
  EXPECT_EQ(speed.flags, uint32_t(CB_FLAG_SYS));
  EXPECT_EQ(speed.sys_name, "time");
  EXPECT_EQ(speed.var_name, "speed");
  EXPECT_EQ(speed.type, VT_FLOAT);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(speed.min_value));
  const cb_entry_t& amount = entry("amount");
  EXPECT_EQ(amount.flags, uint32_t(CB_FLAG_SYNC));
  EXPECT_EQ(amount.sync_name, "fade");
}

TEST_F(ShaderMetadataTest, VariableDefaultsAndRangesFollowTheEntryType) {
  ASSERT_TRUE(apply(cbuffer_file(R"(
    { name = "count", var = "particles", default = 2.9, min = 0 },
    { name = "speed", var = "speed", default = 3, min = 0, max = 1 },
    { name = "amount", var = "amount", max = 340282350000000000000000000000000000000.0 },
    { name = "offset", var = "offset", default = int2(4, 5), min = -2, max = 7.8 },
    { name = "tint", var = "tint", default = color(0.5, 1, 0, 0.25) },
    { name = "direction", var = "direction", default = [1, 2, 3] },
    { name = "enabled", var = "enabled", default = true },
    { name = "matrix", var = "view", default = 4 })")));

  const cb_entry_t& count = entry("count");
  EXPECT_EQ(count.var_name, "particles");
  EXPECT_EQ(count.flags, uint32_t(CB_FLAG_VAR));
  EXPECT_EQ(std::get<int32_t>(count.default_value), 2);

  const cb_entry_t& speed = entry("speed");
  EXPECT_EQ(speed.flags, uint32_t(CB_FLAG_VAR | CB_FLAG_RANGE));
  EXPECT_EQ(std::get<float>(speed.default_value), 3.0f);
  EXPECT_EQ(std::get<float>(speed.min_value), 0.0f);
  EXPECT_EQ(std::get<float>(speed.max_value), 1.0f);

  const cb_entry_t& amount = entry("amount");
  EXPECT_EQ(amount.flags, uint32_t(CB_FLAG_VAR));
  EXPECT_EQ(std::get<float>(amount.default_value), 0.0f);

  const cb_entry_t& offset = entry("offset");
  EXPECT_EQ(offset.flags, uint32_t(CB_FLAG_VAR | CB_FLAG_RANGE));
  EXPECT_EQ(std::get<int2>(offset.default_value).y, 5);
  // Int bounds, also for vector types.
  EXPECT_EQ(std::get<int32_t>(offset.min_value), -2);
  EXPECT_EQ(std::get<int32_t>(offset.max_value), 7);

  // A float3 default is read only from a float3; an int array is another kind.
  const float3 direction = std::get<float3>(entry("direction").default_value);
  EXPECT_EQ(direction.x, 0.0f);
  const color_t tint = std::get<color_t>(entry("tint").default_value);
  EXPECT_EQ(tint.g, 1.0f);
  EXPECT_EQ(tint.a, 0.25f);
  EXPECT_EQ(std::get<bool>(entry("enabled").default_value), true);
  // Matrices read no default: the reflected one stays.
  EXPECT_TRUE(std::holds_alternative<float4x4>(entry("matrix").default_value));
  EXPECT_EQ(entry("matrix").var_name, "view");
}

TEST_F(ShaderMetadataTest, MissingOrMistypedDefaultsGiveTheTypesZero) {
  ASSERT_TRUE(apply(cbuffer_file(R"(
    { name = "tint", var = "tint", default = 1.0 },
    { name = "enabled", var = "enabled", default = 1 },
    { name = "direction", var = "direction", default = float3(0.5, 1.5, 2.5) },
    { name = "count", var = "count", default = "many", min = 0, max = 2147483647 },
    { name = "speed", var = "speed", min = 340282350000000000000000000000000000000.0, max = 1.0 })")));
  const color_t tint = std::get<color_t>(entry("tint").default_value);
  EXPECT_EQ(tint.r, 0.0f);
  EXPECT_EQ(tint.a, 1.0f);
  EXPECT_EQ(std::get<bool>(entry("enabled").default_value), false);
  EXPECT_EQ(std::get<float3>(entry("direction").default_value).z, 2.5f);
  EXPECT_EQ(std::get<int32_t>(entry("count").default_value), 0);
  EXPECT_EQ(entry("count").flags, uint32_t(CB_FLAG_VAR | CB_FLAG_RANGE));
  // A stored bound equal to the missing value counts as missing.
  EXPECT_EQ(entry("speed").flags, uint32_t(CB_FLAG_VAR));
}

TEST_F(ShaderMetadataTest, AGivenTypeReplacesTheReflectedOne) {
  ASSERT_TRUE(apply(cbuffer_file(R"(
    { name = "speed", var = "steps", type = "int", default = 7 },
    { name = "amount", var = "amount", type = "float9", default = 7 },
    { name = "tint", var = "tint", default = color(0.25, 0.5, 0.75) })")));
  EXPECT_EQ(entry("speed").type, VT_INT);
  EXPECT_EQ(std::get<int32_t>(entry("speed").default_value), 7);
  // An unknown name gives type 0, whose default is not read.
  EXPECT_EQ(entry("amount").type, VT_NONE);
  EXPECT_EQ(entry("amount").default_value.index(), make_default_value(VT_NONE).index());
  // No type: a reflected float4 with "col" in its name is a colour and reads a colour only.
  EXPECT_EQ(entry("tint").type, VT_COLOR);
  EXPECT_EQ(std::get<color_t>(entry("tint").default_value).r, 0.25f);
  EXPECT_EQ(std::get<color_t>(entry("tint").default_value).a, 1.0f);
}

TEST_F(ShaderMetadataTest, DisplayFlagsAndExternalVariables) {
  entry("speed").variable = construct_variable("speed", VT_FLOAT, 0.0f);
  entry("amount").variable = construct_variable("amount", VT_FLOAT, 0.0f);
  log_capture_t log;
  ASSERT_TRUE(apply(cbuffer_file(R"(
    { name = "direction", var = "direction", normalized = true, hidden = true },
    { name = "amount", var = "amount", normalized = true, hidden = false, external = true },
    { name = "speed", var = "speed", external = true })")));
  EXPECT_EQ(entry("direction").flags, uint32_t(CB_FLAG_VAR | CB_FLAG_NORMALIZED | CB_FLAG_HIDDEN));
  EXPECT_EQ(entry("amount").flags, uint32_t(CB_FLAG_VAR));
  EXPECT_NE(entry("amount").variable, nullptr);
  EXPECT_EQ(entry("speed").flags, uint32_t(CB_FLAG_VAR | CB_FLAG_EXTERNAL));
  EXPECT_EQ(entry("speed").variable, nullptr);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Normalized attribute found on non vector floating point type (amount). Ingoring"));
}

TEST_F(ShaderMetadataTest, EntriesThatDoNotFitAreReported) {
  log_capture_t log;
  ASSERT_TRUE(apply(R"(cbuffers = [ { params = [ 5, { name = "missing", var = "x" }, { name = "speed" } ],
  undeclared = [ { name = "speed", sys = "time" } ] } ]
)"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Element in cbuffer array isn't an object!"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "cb entry: missing not found in shader"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "cb entry: speed is not a var or a sys"));
  EXPECT_EQ(entry("speed").flags, 0u);
  EXPECT_EQ(log.lines.size(), 3u);
}

TEST_F(ShaderMetadataTest, TextureSlotsTakeFilesAndSystemTextures) {
  log_capture_t log;
  ASSERT_TRUE(apply(R"(
shaders = [
  { pixelshader = "PsMain", resources = [ { slot = 1, displayname = "Noise", filename = "textures/known.png" },
                                          { slot = 2.7, sys = "random" },
                                          { slot = 3, filename = "textures/known.png" },
                                          { displayname = "no slot" } ] },
  { pixelshader = "PsOther", resources = [ { slot = 1, displayname = "other" } ] },
  { vertexshader = "PsMain", resources = [ { slot = 1, displayname = "vertex" } ] }
]
)"));
  const shader_t& version = *task.shader;
  EXPECT_EQ(version.resources[1].display_name, "Noise");
  EXPECT_EQ(version.resources[1].file_name, "textures/known.png");
  EXPECT_EQ(version.resources[1].texture, &textures.file_tex);
  EXPECT_EQ(version.resources[2].sys_name, "random");
  EXPECT_EQ(version.resources[2].texture, &textures.system_tex);
  // Both are bound through the texture, so a reloaded file binds its new view.
  EXPECT_EQ(version.resources[1].view(), textures.file_tex.srv.p);
  EXPECT_EQ(version.resources[2].view(), textures.system_tex.srv.p);
  EXPECT_EQ(version.resources[2].srv, nullptr);
  // Not a texture slot.
  EXPECT_EQ(version.resources[3].texture, nullptr);
  EXPECT_EQ(textures.loaded_paths, std::vector<std::string>{"textures/known.png"});
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(ShaderMetadataTest, MissingTexturesFallBackOrStayEmpty) {
  log_capture_t log;
  ASSERT_TRUE(apply(R"(
shaders = [
  { pixelshader = "PsMain", resources = [ { slot = 1, filename = "textures/lost.png" } ] },
  { pixelshader = "PsMain", resources = [ { slot = 2, sys = "fft" }, { slot = 1, displayname = "second" } ] }
]
)"));
  const shader_t& version = *task.shader;
  EXPECT_EQ(version.resources[1].texture, &textures.default_tex);
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN,
                           "Unable to load texture: textures/lost.png (Unable to load image: textures/lost.png), "
                           "using default"));
  EXPECT_EQ(version.resources[2].texture, nullptr);
  EXPECT_EQ(version.resources[2].view(), nullptr);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Unable to find system texture: fft"));
  // Both elements for the entry point apply, in order.
  EXPECT_EQ(version.resources[1].display_name, "second");
}

TEST_F(ShaderMetadataTest, OutputsTakeRenderTargetTypes) {
  log_capture_t log;
  ASSERT_TRUE(apply(R"(
shaders = [ { pixelshader = "PsMain", outputs = [ { index = 0, format = "hdr16" }, { index = 1.9, format = "ldr" },
                                                  { index = 8, format = "hdr32" }, { index = 2, format = "HDR16" },
                                                  { format = "bloom" } ] } ]
)"));
  const shader_t& version = *task.shader;
  EXPECT_EQ(version.outputs[0].format, 1);
  EXPECT_EQ(version.outputs[0].format_name, "hdr16");
  EXPECT_EQ(version.outputs[1].format, 3);
  EXPECT_EQ(version.outputs[2].format, 0);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Unable to find matching output for: hdr32 (8)"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Unable to find matching output for: HDR16 (2)"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Unable to find matching output for: bloom (-1)"));
}

TEST_F(ShaderMetadataTest, UnreadableEmptyAndBrokenFiles) {
  auto unreadable = task.apply_metadata();
  ASSERT_FALSE(unreadable.has_value());
  EXPECT_EQ(unreadable.error(), "Unable to load metadata for shader: shaders/effect.toml");

  EXPECT_TRUE(apply("").has_value());

  log_capture_t log;
  auto broken = apply("cbuffers = [ { params = [ { name = \"speed\", sys = \"time\" } ] } ]\nbroken = -\n");
  ASSERT_FALSE(broken.has_value());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].second, "Error parsing meta data: " + broken.error());
  // Nothing of a file that does not parse is applied.
  EXPECT_EQ(entry("speed").flags, 0u);
}

}  // namespace
