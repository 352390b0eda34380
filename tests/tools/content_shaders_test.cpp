// The content's shaders as the build compiled them (the SPIR-V of the shader cache), drawn headless
// through the Direct3D 11 layer and read back: the built-in copies and blends, the gamma and FXAA
// post effects against values worked out by hand, and every scene shader with its metadata's
// defaults giving a finite, structured image.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/d3d11_test_support.h"
#include "text/serial_reader.h"
#include "text/serial_value.h"

namespace {

using d3d11_test::rgba;
using serial::value_kind_t;

struct float4_t {
  float r = 0, g = 0, b = 0, a = 0;
};

std::string content_dir() {
  return (std::filesystem::path(PUMBLECRISP_TEST_DATA).parent_path().parent_path().parent_path() / "content")
      .string();
}

std::vector<uint8_t> cached_code(const std::string& file, const std::string& entry) {
  // The cache names a stage by its lower-cased path and entry point.
  std::string key = file + "." + entry;
  std::replace(key.begin(), key.end(), '/', '.');
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
  std::ifstream in(std::string(PUMBLECRISP_BINARY_DIR) + "/content-gen/shaders/cache/" + key + ".spv",
                   std::ios::binary);
  std::vector<uint8_t> code{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(code.empty()) << "no compiled " << file << ":" << entry;
  return code;
}

uint8_t channel(uint32_t pixel, int i) { return static_cast<uint8_t>(pixel >> (8 * i)); }

class ContentShadersTest : public d3d11_test::device_fixture_t {
 protected:
  void SetUp() override {
    d3d11_test::device_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const auto code = cached_code("shaders/default.hlsl", "VsQuad");
    ASSERT_EQ(device->CreateVertexShader(code.data(), code.size(), nullptr, &quad), S_OK);
  }
  void TearDown() override {
    quad.Release();
    d3d11_test::device_fixture_t::TearDown();
  }

  com_ptr_t<ID3D11PixelShader> content_ps(const std::string& file, const std::string& entry) {
    const auto code = cached_code(file, entry);
    com_ptr_t<ID3D11PixelShader> shader;
    EXPECT_EQ(device->CreatePixelShader(code.data(), code.size(), nullptr, &shader), S_OK);
    return shader;
  }

  com_ptr_t<ID3D11SamplerState> sampler(D3D11_TEXTURE_ADDRESS_MODE address) {
    D3D11_SAMPLER_DESC desc{};
    desc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    desc.AddressU = desc.AddressV = desc.AddressW = address;
    desc.MaxLOD = 1000.0f;
    com_ptr_t<ID3D11SamplerState> state;
    EXPECT_EQ(device->CreateSamplerState(&desc, &state), S_OK);
    return state;
  }

  com_ptr_t<ID3D11ShaderResourceView> float_texture(UINT width, UINT height,
                                                    const std::vector<float4_t>& texels) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = width, desc.Height = height, desc.MipLevels = 1, desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R32G32B32A32_FLOAT;
    desc.SampleDesc = {1, 0};
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    auto texture = texture_2d(desc, {texels.data()}, sizeof(float4_t));
    com_ptr_t<ID3D11ShaderResourceView> view;
    EXPECT_EQ(device->CreateShaderResourceView(texture, nullptr, &view), S_OK);
    return view;
  }

  // One full-screen triangle of VsQuad and `ps` into `target`.
  void draw(ID3D11PixelShader* ps, const target_t& target, std::vector<ID3D11ShaderResourceView*> views,
            std::vector<ID3D11Buffer*> constants, ID3D11SamplerState* sampler_state, UINT sampler_slot = 0) {
    bind_target(target);
    if (!views.empty()) context->PSSetShaderResources(0, UINT(views.size()), views.data());
    if (!constants.empty()) context->PSSetConstantBuffers(0, UINT(constants.size()), constants.data());
    if (sampler_state) context->PSSetSamplers(sampler_slot, 1, &sampler_state);
    context->IASetInputLayout(nullptr);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->VSSetShader(quad, nullptr, 0);
    context->GSSetShader(nullptr, nullptr, 0);
    context->PSSetShader(ps, nullptr, 0);
    context->Draw(3, 0);
  }

  com_ptr_t<ID3D11VertexShader> quad;
};

TEST_F(ContentShadersTest, BuiltInBlendsCombineTheTwoInputsTexelByTexel) {
  const std::vector<float4_t> first = {{0.2f, 0.5f, 0.8f, 1.0f}, {1.0f, 0.0f, 0.25f, 1.0f}};
  const std::vector<float4_t> second = {{0.4f, 0.5f, 0.1f, 1.0f}, {0.5f, 0.75f, 0.25f, 1.0f}};
  auto a = float_texture(2, 1, first), b = float_texture(2, 1, second);
  const float parameter[4] = {1, 1, 1, 1};
  auto constants = constant_buffer(parameter, sizeof parameter);
  struct case_t {
    const char* entry;
    float (*expected)(float, float);
  };
  const case_t cases[] = {
      {"PsAdd", [](float x, float y) { return x + y; }},
      {"PsMultiply", [](float x, float y) { return x * y; }},
      {"PsScreen", [](float x, float y) { return 1 - (1 - x) * (1 - y); }},
      {"PsDarken", [](float x, float y) { return std::min(x, y); }},
      {"PsLighten", [](float x, float y) { return std::max(x, y); }},
      {"PsDifference", [](float x, float y) { return std::abs(x - y); }},
      {"PsNegation", [](float x, float y) { return 1 - std::abs(1 - x - y); }},
      {"PsLerp", [](float x, float y) { return y; }},  // parameter.x = 1: all of the second
  };
  target_t target = make_target(2, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.entry);
    auto ps = content_ps("shaders/default.hlsl", c.entry);
    draw(ps, target, {a, b}, {constants}, nullptr);
    const auto out = read_texels<float4_t>(target.texture);
    ASSERT_EQ(out.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_NEAR(out[i].r, c.expected(first[i].r, second[i].r), 1e-5f) << i;
      EXPECT_NEAR(out[i].g, c.expected(first[i].g, second[i].g), 1e-5f) << i;
      EXPECT_NEAR(out[i].b, c.expected(first[i].b, second[i].b), 1e-5f) << i;
    }
  }
}

// The fade: the tint's alpha weights the source against the tint's colour.
TEST_F(ContentShadersTest, CopyAlphaFadesTowardsTheTint) {
  auto source = float_texture(1, 1, {{0.8f, 0.4f, 0.2f, 1.0f}});
  auto clamp = sampler(D3D11_TEXTURE_ADDRESS_CLAMP);
  target_t target = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
  for (float weight : {1.0f, 0.5f, 0.15625f, 0.0f}) {
    const float tint[4] = {0, 0, 0, weight};
    auto constants = constant_buffer(tint, sizeof tint);
    draw(content_ps("shaders/default.hlsl", "PsCopyAlpha"), target, {source}, {constants}, clamp, 3);
    const auto out = read_texels<float4_t>(target.texture);
    EXPECT_NEAR(out[0].r, 0.8f * weight, 1e-5f) << weight;
    EXPECT_NEAR(out[0].g, 0.4f * weight, 1e-5f) << weight;
    EXPECT_NEAR(out[0].b, 0.2f * weight, 1e-5f) << weight;
  }
}

TEST_F(ContentShadersTest, FlashIsItsColourTimesItsStrength) {
  target_t target = make_target(2, 2, DXGI_FORMAT_R32G32B32A32_FLOAT);
  for (float strength : {1.0f, 0.375f, 0.0f}) {
    const float flash[8] = {1.0f, 0.85f, 0.7f, 1.0f, strength, 0, 0, 0};
    auto constants = constant_buffer(flash, sizeof flash);
    draw(content_ps("shaders/demo/flash.hlsl", "PsFlash"), target, {}, {constants}, nullptr);
    for (const float4_t& p : read_texels<float4_t>(target.texture)) {
      EXPECT_NEAR(p.r, 1.0f * strength, 1e-6f) << strength;
      EXPECT_NEAR(p.g, 0.85f * strength, 1e-6f) << strength;
      EXPECT_NEAR(p.b, 0.7f * strength, 1e-6f) << strength;
    }
  }
}

TEST_F(ContentShadersTest, GammaRaisesEachChannelToOneOverTwoPointTwo) {
  const std::vector<float4_t> input = {{0.0f, 0.25f, 1.0f, 1.0f},
                                       {0.5f, 0.04f, 2.0f, 0.5f},
                                       {0.18f, 0.7f, -0.5f, 1.0f},
                                       {0.9f, 0.01f, 0.33f, 0.0f}};
  auto source = float_texture(4, 1, input);
  target_t target = make_target(4, 1);
  draw(content_ps("shaders/posteffects/gamma22.hlsl", "PsGamma"), target, {source}, {}, nullptr);
  const auto out = read_rgba8(target.texture);
  ASSERT_EQ(out.size(), 4u);
  auto expected = [](float v) {
    return static_cast<int>(std::lround(std::pow(std::clamp(v, 0.0f, 1.0f), 1.0f / 2.2f) * 255.0f));
  };
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(channel(out[i], 0), expected(input[i].r), 1);
    EXPECT_NEAR(channel(out[i], 1), expected(input[i].g), 1);
    EXPECT_NEAR(channel(out[i], 2), expected(input[i].b), 1);
    EXPECT_NEAR(channel(out[i], 3), std::lround(input[i].a * 255.0f), 1);
  }
}

class FxaaTest : public ContentShadersTest {
 protected:
  // Runs FXAA over a 16 x 16 image of grey levels with the metadata's default settings.
  std::vector<uint32_t> fxaa(const std::vector<float>& grey) {
    std::vector<float4_t> texels;
    for (float v : grey) texels.push_back({v, v, v, 1.0f});
    auto source = float_texture(16, 16, texels);
    const float params[8] = {1.0f / 16, 1.0f / 16, 0, 0, 0.75f, 0.166f, 0.0833f, 2.0f};
    auto constants = constant_buffer(params, sizeof params);
    auto clamp = sampler(D3D11_TEXTURE_ADDRESS_CLAMP);
    target_t target = make_target(16, 16);
    draw(content_ps("shaders/posteffects/fxaa.post.hlsl", "FxaaPS"), target, {source}, {constants}, clamp);
    return read_rgba8(target.texture);
  }
};

TEST_F(FxaaTest, FlatImageIsUnchanged) {
  const auto out = fxaa(std::vector<float>(256, 0.5f));
  ASSERT_EQ(out.size(), 256u);
  for (uint32_t pixel : out) ASSERT_NEAR(channel(pixel, 0), 128, 1);
}

// A staircase edge: pixels whose neighbourhood is uniform keep their value, and the pixels along the
// edge are blended to values between the two sides.
TEST_F(FxaaTest, StaircaseEdgeIsSmoothedAndFlatAreasAreKept) {
  std::vector<float> grey(256);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) grey[y * 16 + x] = x * 2 > y * 3 ? 1.0f : 0.0f;
  const auto out = fxaa(grey);
  ASSERT_EQ(out.size(), 256u);
  int blended = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool uniform = true;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const int sx = std::clamp(x + dx, 0, 15), sy = std::clamp(y + dy, 0, 15);
          uniform = uniform && grey[sy * 16 + sx] == grey[y * 16 + x];
        }
      const int value = channel(out[y * 16 + x], 0);
      if (uniform) {
        EXPECT_EQ(value, grey[y * 16 + x] > 0 ? 255 : 0) << x << ", " << y;
      }
      if (value > 20 && value < 235) ++blended;
    }
  EXPECT_GE(blended, 8);
}

// Every scene with its metadata's defaults, at a time inside its block: finite values, and an image
// with structure (many distinct values, not one colour).
struct scene_case_t {
  const char* name;
  const char* entry;
  const char* params;
  float camera[3];
};

class SceneShaderTest : public ContentShadersTest, public ::testing::WithParamInterface<scene_case_t> {};

TEST_P(SceneShaderTest, DrawsAFiniteStructuredImage) {
  const scene_case_t& c = GetParam();
  const std::string description = content_dir() + "/shaders/demo/" + c.name + ".toml";
  std::ifstream in(description);
  auto metadata = serial::parse_text(std::string{std::istreambuf_iterator<char>(in), {}}, description);
  ASSERT_TRUE(metadata.has_value());

  // Params members are laid out in metadata order, colours and float4s before the floats.
  std::vector<float> params;
  for (const serial::value_t& buffers : (*metadata)->get_array("cbuffers"))
    for (const serial::value_t& entry : buffers.get_array(c.params)) {
      const std::string type = entry.get_string("type", "");
      if (type == "float") {
        params.push_back(entry.get_float("default", 0));
      } else {
        const serial::value_t& value = entry.get_any("default", {value_kind_t::color, value_kind_t::float4});
        ASSERT_TRUE(value.valid) << entry.get_string("name", "");
        params.insert(params.end(), value.payload.f, value.payload.f + 4);
      }
    }
  ASSERT_FALSE(params.empty());

  constexpr UINT width = 48, height = 27;
  // time, camPos, camFov, camDir, kick, camUp, snare, resolution, intensity, section
  const float frame[20] = {5.0f, 2.0f, 0.016f,       14.0f,         c.camera[0], c.camera[1], c.camera[2],
                           1.0f, 0.0f, 0.05f,        1.0f,          0.5f,        0.0f,        1.0f,
                           0.0f, 0.5f, float(width), float(height), 0.8f,        2.0f};
  auto frame_buffer = constant_buffer(frame, sizeof frame);
  auto params_buffer = constant_buffer(params.data(), UINT(params.size() * sizeof(float)));
  std::vector<float4_t> pattern;
  for (int i = 0; i < 64; ++i) pattern.push_back({float(i % 8) / 8, float(i / 8) / 8, 0.5f, 1.0f});
  auto texture = float_texture(8, 8, pattern);
  auto wrap = sampler(D3D11_TEXTURE_ADDRESS_WRAP);
  target_t target = make_target(width, height, DXGI_FORMAT_R32G32B32A32_FLOAT);
  draw(content_ps(fmt::sprintf("shaders/demo/%s.hlsl", c.name), c.entry), target, {texture},
       {frame_buffer, params_buffer}, wrap);
  const auto out = read_texels<float4_t>(target.texture);
  ASSERT_EQ(out.size(), size_t(width) * height);
  std::set<int> levels;
  for (const float4_t& p : out) {
    for (float v : {p.r, p.g, p.b}) {
      ASSERT_TRUE(std::isfinite(v));
      ASSERT_GE(v, -0.05f);
      ASSERT_LE(v, 4.0f);
    }
    levels.insert(static_cast<int>((p.r + p.g + p.b) * 200.0f));
  }
  EXPECT_GE(levels.size(), 20u) << "an image with structure";
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneShaderTest,
                         ::testing::Values(scene_case_t{"starfield", "PsStarfield", "Params", {0, 0, 0}},
                                           scene_case_t{"tunnel", "PsTunnel", "Params", {0, 0, 0}},
                                           scene_case_t{"blobs", "PsBlobs", "Params", {0, 2, -8}},
                                           scene_case_t{"fractal", "PsFractal", "Params", {6, 6, 0}},
                                           scene_case_t{"plasma", "PsPlasma", "Params", {0, 0, 0}},
                                           scene_case_t{"sparkles", "PsSparkles", "Params", {0, 0, 0}},
                                           scene_case_t{"grade", "PsGrade", "Grade", {0, 0, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
