// Texture sampling: point and linear filters under the clamp, wrap and mirror address modes, explicit
// mip levels and views of a mip range, mip generation, 3D textures and cube maps. Every expected
// value is worked out by hand from texel values chosen to make the filters' weights visible.

#include <array>
#include <cmath>
#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11SamplingTest : public device_fixture_t {
 protected:
  // Draws one pixel that samples `coords` (xyz) at level `coords.w` through the bound sampler and
  // returns the red channel.
  float sample_once(ID3D11PixelShader* ps, const std::array<float, 4>& coords) {
    if (!target.texture) target = make_target(1, 1, DXGI_FORMAT_R32G32B32A32_FLOAT);
    auto cb = constant_buffer(coords.data(), 16);
    ID3D11Buffer* cbs[] = {cb};
    context->PSSetConstantBuffers(0, 1, cbs);
    bind_target(target);
    draw_fullscreen(ps);
    const auto texels = read_texels<std::array<float, 4>>(target.texture);
    return texels.empty() ? NAN : texels[0][0];
  }
  com_ptr_t<ID3D11SamplerState> sampler(D3D11_FILTER filter, D3D11_TEXTURE_ADDRESS_MODE mode) {
    D3D11_SAMPLER_DESC desc = CD3D11_SAMPLER_DESC(D3D11_DEFAULT);
    desc.Filter = filter;
    desc.AddressU = desc.AddressV = desc.AddressW = mode;
    com_ptr_t<ID3D11SamplerState> state;
    EXPECT_EQ(device->CreateSamplerState(&desc, &state), S_OK);
    return state;
  }
  com_ptr_t<ID3D11ShaderResourceView> view_of(ID3D11Resource* resource,
                                              const D3D11_SHADER_RESOURCE_VIEW_DESC* desc = nullptr) {
    com_ptr_t<ID3D11ShaderResourceView> srv;
    EXPECT_EQ(device->CreateShaderResourceView(resource, desc, &srv), S_OK);
    return srv;
  }
  void bind(ID3D11ShaderResourceView* srv, ID3D11SamplerState* state) {
    ID3D11ShaderResourceView* views[] = {srv};
    ID3D11SamplerState* samplers[] = {state};
    context->PSSetShaderResources(0, 1, views);
    context->PSSetSamplers(0, 1, samplers);
  }

  target_t target;
};

const char* sample_2d_ps = R"(
Texture2D<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 coords; };
float4 main() : SV_Target { return float4(tex.SampleLevel(smp, coords.xy, coords.w), 0, 0, 1); })";

constexpr D3D11_FILTER point = D3D11_FILTER_MIN_MAG_MIP_POINT;
constexpr D3D11_FILTER linear = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
constexpr D3D11_TEXTURE_ADDRESS_MODE clamp = D3D11_TEXTURE_ADDRESS_CLAMP;
constexpr D3D11_TEXTURE_ADDRESS_MODE wrap = D3D11_TEXTURE_ADDRESS_WRAP;
constexpr D3D11_TEXTURE_ADDRESS_MODE mirror = D3D11_TEXTURE_ADDRESS_MIRROR;

struct address_case_t {
  D3D11_FILTER filter;
  D3D11_TEXTURE_ADDRESS_MODE mode;
  float u, v;
  float expected;
};

// A 4 × 4 R32_FLOAT texture whose texel (x, y) holds 2^x + 16·y: row 0 is 1, 2, 4, 8. Texel
// centres are at u = 0.125, 0.375, 0.625, 0.875. A linear sample at u reads texels floor(s) and
// floor(s) + 1 with s = 4u − 0.5, weighted by the fraction of s; the address mode decides which
// texels indices outside 0..3 stand for (clamp: the edge; wrap: i mod 4; mirror: 4..7 → 3..0,
// −1..−4 → 0..3).
const address_case_t address_cases[] = {
    {point, clamp, 0.125f, 0.125f, 1},       {point, clamp, 0.3f, 0.125f, 2},
    {point, clamp, 0.99f, 0.125f, 8},        {point, clamp, 1.3f, 0.125f, 8},
    {point, clamp, -0.2f, 0.125f, 1},        {point, clamp, 0.625f, 1.7f, 4 + 48},
    {point, wrap, 1.3f, 0.125f, 2},          {point, wrap, -0.2f, 0.125f, 8},
    {point, wrap, 0.125f, 1.375f, 1 + 16},   {point, mirror, 1.3f, 0.125f, 4},
    {point, mirror, -0.2f, 0.125f, 1},       {point, mirror, 0.125f, 1.125f, 1 + 48},
    {linear, clamp, 0.25f, 0.125f, 1.5f},    {linear, clamp, 0.5f, 0.125f, 3},
    {linear, clamp, 0.3125f, 0.125f, 1.75f}, {linear, clamp, 0.0f, 0.125f, 1},
    {linear, clamp, 1.0f, 0.125f, 8},        {linear, clamp, 0.125f, 0.25f, 1 + 8},
    {linear, wrap, 0.0f, 0.125f, 4.5f},      {linear, wrap, 1.25f, 0.125f, 1.5f},
    {linear, wrap, -0.0625f, 0.125f, 6.25f}, {linear, wrap, 0.125f, 0.0f, 1 + 24},
    {linear, mirror, 0.0f, 0.125f, 1},       {linear, mirror, 1.25f, 0.125f, 6},
    {linear, mirror, -0.25f, 0.125f, 1.5f},  {linear, mirror, 0.125f, 1.0f, 1 + 48},
};

TEST_F(D3D11SamplingTest, FiltersAndAddressModesReadHandWorkedTexels) {
  float texels[16];
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) texels[y * 4 + x] = float(1 << x) + 16.0f * y;
  D3D11_TEXTURE2D_DESC desc{
      4, 4, 1, 1, DXGI_FORMAT_R32_FLOAT, {1, 0}, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  auto texture = texture_2d(desc, {texels}, 4);
  auto srv = view_of(texture);
  auto ps = pixel_shader(sample_2d_ps);
  for (const auto& c : address_cases) {
    SCOPED_TRACE(::testing::Message() << (c.filter == point ? "point" : "linear") << " mode " << c.mode
                                      << " at (" << c.u << ", " << c.v << ")");
    auto state = sampler(c.filter, c.mode);
    bind(srv, state);
    EXPECT_NEAR(sample_once(ps, {c.u, c.v, 0, 0}), c.expected, 1e-3);
  }
}

// Each level of a 4 × 4 texture holds one value: 1, 2 and 4. SampleLevel picks the level; a linear
// mip filter blends neighbours, a point one takes the nearer; a view starting at level 1 sees level 1
// as its level 0.
TEST_F(D3D11SamplingTest, SampleLevelReadsEachMipAndViewsStartAtTheirFirstLevel) {
  const float level0[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const float level1[4] = {2, 2, 2, 2};
  const float level2[1] = {4};
  D3D11_TEXTURE2D_DESC desc{
      4, 4, 3, 1, DXGI_FORMAT_R32_FLOAT, {1, 0}, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  auto texture = texture_2d(desc, {level0, level1, level2}, 4);
  auto ps = pixel_shader(sample_2d_ps);
  auto full = view_of(texture);
  D3D11_SHADER_RESOURCE_VIEW_DESC from_one{};
  from_one.Format = DXGI_FORMAT_R32_FLOAT;
  from_one.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
  from_one.Texture2D = {1, UINT(-1)};
  auto tail = view_of(texture, &from_one);
  D3D11_SHADER_RESOURCE_VIEW_DESC got{};
  tail->GetDesc(&got);
  EXPECT_EQ(got.Texture2D.MipLevels, 2u);

  const struct {
    ID3D11ShaderResourceView* view;
    D3D11_FILTER filter;
    float lod;
    float expected;
  } cases[] = {
      {full, point, 0, 1},    {full, point, 1, 2},        {full, point, 2, 4},         {full, point, 1.4f, 2},
      {full, point, 1.6f, 4}, {full, linear, 0.5f, 1.5f}, {full, linear, 1.5f, 3},     {full, linear, 7, 4},
      {tail, point, 0, 2},    {tail, point, 1, 4},        {tail, linear, 0.25f, 2.5f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lod " << c.lod << (c.view == tail ? " of the level-1 view" : ""));
    auto state = sampler(c.filter, clamp);
    bind(c.view, state);
    EXPECT_NEAR(sample_once(ps, {0.4f, 0.6f, 0, c.lod}), c.expected, 1e-3);
  }
}

// GenerateMips on a target that is still bound: each texel of a level is the box average of the
// 2 × 2 texels above it. Level 0 texel (x, y) is v = x + 4y times (1, 2, 3, 4) per channel
// (times 4/255 on the 8-bit format), so level 1 texel (i, j) is 2i + 8j + 2.5 and level 2 is 7.5.
TEST_F(D3D11SamplingTest, GenerateMipsAveragesEachTwoByTwoBlock) {
  const struct {
    DXGI_FORMAT format;
    float scale;  // level 0 value v is written as v · scale
  } formats[] = {{DXGI_FORMAT_R8G8B8A8_UNORM, 4.0f / 255.0f},
                 {DXGI_FORMAT_R16G16B16A16_FLOAT, 1},
                 {DXGI_FORMAT_R32G32B32A32_FLOAT, 1},
                 {DXGI_FORMAT_R16_FLOAT, 1}};
  auto ps = pixel_shader(R"(
cbuffer params : register(b0) { float4 scale; };
float4 main(float4 pos : SV_Position) : SV_Target {
  float v = floor(pos.x) + 4 * floor(pos.y);
  return float4(v, 2 * v, 3 * v, 4 * v) * scale.x;
})");
  auto sample_ps = pixel_shader(sample_2d_ps);
  for (const auto& f : formats) {
    SCOPED_TRACE(dxgi_format_info(f.format).name);
    auto t = make_target(4, 4, f.format, 0, D3D11_RESOURCE_MISC_GENERATE_MIPS);
    D3D11_TEXTURE2D_DESC desc{};
    t.texture->GetDesc(&desc);
    ASSERT_EQ(desc.MipLevels, 3u);
    const float scale[4] = {f.scale, 0, 0, 0};
    auto cb = constant_buffer(scale, 16);
    ID3D11Buffer* cbs[] = {cb};
    context->PSSetConstantBuffers(0, 1, cbs);
    bind_target(t);
    draw_fullscreen(ps);
    context->GenerateMips(t.srv);

    // Expected channel c of a texel whose level-0 average is `avg`.
    auto expected = [&](float avg, int c) { return avg * float(c + 1); };
    for (UINT level = 1; level < 3; ++level) {
      const UINT w = 4 >> level;
      for (UINT j = 0; j < w; ++j) {
        for (UINT i = 0; i < w; ++i) {
          const float avg = level == 1 ? 2.0f * i + 8.0f * j + 2.5f : 7.5f;
          SCOPED_TRACE(::testing::Message() << "level " << level << " texel " << i << "," << j);
          if (f.format == DXGI_FORMAT_R8G8B8A8_UNORM) {
            const uint32_t p = read_texels<uint32_t>(t.texture, level)[j * w + i];
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(double((p >> (8 * c)) & 0xFF), 4 * expected(avg, c), 1.0);
          } else if (f.format == DXGI_FORMAT_R32G32B32A32_FLOAT) {
            const auto p = read_texels<std::array<float, 4>>(t.texture, level)[j * w + i];
            for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(p[c], expected(avg, c));
          } else {
            // Half floats: read through a shader rather than decoding bits here.
            D3D11_SHADER_RESOURCE_VIEW_DESC one{};
            one.Format = f.format;
            one.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
            one.Texture2D = {level, 1};
            auto srv = view_of(t.texture, &one);
            context->OMSetRenderTargets(0, nullptr, nullptr);
            auto state = sampler(point, clamp);
            bind(srv, state);
            const float u = (i + 0.5f) / float(w), v = (j + 0.5f) / float(w);
            EXPECT_FLOAT_EQ(sample_once(sample_ps, {u, v, 0, 0}), expected(avg, 0));
            bind(nullptr, nullptr);
          }
        }
      }
    }
    context->OMSetRenderTargets(0, nullptr, nullptr);
  }
}

// A 2 × 2 × 4 volume whose texel (x, y, z) holds 10·(z + 1) + x + 2y, uploaded with padded row
// and slice pitches. Point sampling at w = (z + 0.5) / 4 reads slice z; linear sampling halfway
// between two slice centres averages them; Load addresses texels directly.
TEST_F(D3D11SamplingTest, VolumeTexturesSampleTheirSlices) {
  constexpr UINT row_pitch = 16, slice_pitch = 48;  // 8 and 16 bytes of texels
  std::vector<uint8_t> bytes(slice_pitch * 4, 0xEE);
  for (int z = 0; z < 4; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        const float value = 10.0f * (z + 1) + x + 2 * y;
        std::memcpy(&bytes[z * slice_pitch + y * row_pitch + x * 4], &value, 4);
      }
  D3D11_TEXTURE3D_DESC desc{
      2, 2, 4, 1, DXGI_FORMAT_R32_FLOAT, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  const D3D11_SUBRESOURCE_DATA init{bytes.data(), row_pitch, slice_pitch};
  com_ptr_t<ID3D11Texture3D> volume;
  ASSERT_EQ(device->CreateTexture3D(&desc, &init, &volume), S_OK);
  auto srv = view_of(volume);
  D3D11_SHADER_RESOURCE_VIEW_DESC got{};
  srv->GetDesc(&got);
  EXPECT_EQ(got.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE3D);
  auto ps = pixel_shader(R"(
Texture3D<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 coords; };
float4 main() : SV_Target {
  float value = coords.w >= 0 ? tex.SampleLevel(smp, coords.xyz, 0) : tex.Load(int4(coords.xyz, 0));
  return float4(value, 0, 0, 1);
})");
  const struct {
    D3D11_FILTER filter;
    float u, v, w;
    float load;  // ≥ 0 samples, < 0 loads texel (u, v, w)
    float expected;
  } cases[] = {
      {point, 0.25f, 0.25f, 0.125f, 0, 10},
      {point, 0.75f, 0.25f, 0.375f, 0, 21},
      {point, 0.25f, 0.75f, 0.625f, 0, 32},
      {point, 0.75f, 0.75f, 0.875f, 0, 43},
      {linear, 0.25f, 0.25f, 0.25f, 0, 15},
      {linear, 0.75f, 0.75f, 0.5f, 0, 28},
      {linear, 0.25f, 0.25f, 1.0f, 0, 40},
      {point, 1, 1, 2, -1, 33},
      {point, 0, 1, 3, -1, 42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "at (" << c.u << ", " << c.v << ", " << c.w << ")");
    auto state = sampler(c.filter, clamp);
    bind(srv, state);
    EXPECT_NEAR(sample_once(ps, {c.u, c.v, c.w, c.load}), c.expected, 1e-3);
  }
}

// A cube of 2 × 2 faces, face f texel (x, y) = 4f + 2y + x + 1. A direction picks the face by its
// major axis and the texel by the D3D face coordinates: +X (−z, −y), −X (z, −y), +Y (x, z),
// −Y (x, −z), +Z (x, −y), −Z (−x, −y), each mapped from [−1, 1] to [0, 1] with v = 0 at row 0.
// Every direction below aims at texel (1, 0) of its face, so orientation errors show.
TEST_F(D3D11SamplingTest, CubeMapsPickTheFaceAndTexelOfADirection) {
  float faces[6][4];
  for (int f = 0; f < 6; ++f)
    for (int t = 0; t < 4; ++t) faces[f][t] = float(4 * f + t + 1);
  D3D11_TEXTURE2D_DESC desc{2,
                            2,
                            1,
                            6,
                            DXGI_FORMAT_R32_FLOAT,
                            {1, 0},
                            D3D11_USAGE_IMMUTABLE,
                            D3D11_BIND_SHADER_RESOURCE,
                            0,
                            D3D11_RESOURCE_MISC_TEXTURECUBE};
  auto texture = texture_2d(desc, {faces[0], faces[1], faces[2], faces[3], faces[4], faces[5]}, 4);
  D3D11_SHADER_RESOURCE_VIEW_DESC cube{};
  cube.Format = DXGI_FORMAT_R32_FLOAT;
  cube.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
  cube.TextureCube = {0, 1};
  auto explicit_view = view_of(texture, &cube);
  auto default_view = view_of(texture);
  D3D11_SHADER_RESOURCE_VIEW_DESC got{};
  default_view->GetDesc(&got);
  EXPECT_EQ(got.ViewDimension, D3D11_SRV_DIMENSION_TEXTURECUBE);
  auto ps = pixel_shader(R"(
TextureCube<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 direction; };
float4 main() : SV_Target { return float4(tex.SampleLevel(smp, direction.xyz, 0), 0, 0, 1); })");
  const struct {
    float x, y, z;
    int face;
  } cases[] = {{1, 0.5f, -0.5f, 0}, {-1, 0.5f, 0.5f, 1}, {0.5f, 1, -0.5f, 2},
               {0.5f, -1, 0.5f, 3}, {0.5f, 0.5f, 1, 4},  {-0.5f, 0.5f, -1, 5}};
  auto state = sampler(point, clamp);
  for (ID3D11ShaderResourceView* view : {explicit_view.p, default_view.p}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "face " << c.face);
      bind(view, state);
      EXPECT_EQ(sample_once(ps, {c.x, c.y, c.z, 0}), float(4 * c.face + 2));
    }
  }
}

// Slices of 2D arrays, cube arrays and 1D textures, whole and through views that start at a later
// slice: slice s of the arrays holds 10·(s + 1) everywhere, the 1D texture 1, 2, 4, 8.
TEST_F(D3D11SamplingTest, ArraySlicesAndOneDimensionalTextures) {
  std::vector<std::vector<float>> slices;
  for (int s = 0; s < 12; ++s) slices.push_back(std::vector<float>(4, 10.0f * (s + 1)));
  std::vector<const void*> data;
  for (const auto& s : slices) data.push_back(s.data());
  D3D11_TEXTURE2D_DESC array_desc{
      2, 2, 1, 3, DXGI_FORMAT_R32_FLOAT, {1, 0}, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  auto array = texture_2d(array_desc, {data.begin(), data.begin() + 3}, 4);
  D3D11_TEXTURE2D_DESC cubes_desc = array_desc;
  cubes_desc.ArraySize = 12;
  cubes_desc.MiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE;
  auto cubes = texture_2d(cubes_desc, data, 4);
  const float row[4] = {1, 2, 4, 8};
  D3D11_TEXTURE1D_DESC line_desc{
      4, 1, 1, DXGI_FORMAT_R32_FLOAT, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  const D3D11_SUBRESOURCE_DATA line_data{row, 0, 0};
  com_ptr_t<ID3D11Texture1D> line;
  ASSERT_EQ(device->CreateTexture1D(&line_desc, &line_data, &line), S_OK);

  D3D11_SHADER_RESOURCE_VIEW_DESC from_slice_1{};
  from_slice_1.Format = DXGI_FORMAT_R32_FLOAT;
  from_slice_1.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
  from_slice_1.Texture2DArray = {0, 1, 1, 2};
  D3D11_SHADER_RESOURCE_VIEW_DESC second_cube{};
  second_cube.Format = DXGI_FORMAT_R32_FLOAT;
  second_cube.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBEARRAY;
  second_cube.TextureCubeArray = {0, 1, 6, 1};
  auto array_srv = view_of(array), array_tail = view_of(array, &from_slice_1);
  auto cubes_srv = view_of(cubes), cube_tail = view_of(cubes, &second_cube);
  auto line_srv = view_of(line);
  D3D11_SHADER_RESOURCE_VIEW_DESC got{};
  cubes_srv->GetDesc(&got);
  EXPECT_EQ(got.ViewDimension, D3D11_SRV_DIMENSION_TEXTURECUBEARRAY);
  EXPECT_EQ(got.TextureCubeArray.NumCubes, 2u);

  auto array_ps = pixel_shader(R"(
Texture2DArray<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 coords; };
float4 main() : SV_Target { return float4(tex.SampleLevel(smp, float3(0.5, 0.5, coords.x), 0), 0, 0, 1); })");
  auto cube_array_ps = pixel_shader(R"(
TextureCubeArray<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 coords; };
float4 main() : SV_Target { return float4(tex.SampleLevel(smp, float4(-1, 0.2, 0.1, coords.x), 0), 0, 0, 1); })");
  auto line_ps = pixel_shader(R"(
Texture1D<float> tex : register(t0);
SamplerState smp : register(s0);
cbuffer params : register(b0) { float4 coords; };
float4 main() : SV_Target { return float4(tex.SampleLevel(smp, coords.x, 0), 0, 0, 1); })");
  const struct {
    const char* name;
    ID3D11PixelShader* ps;
    ID3D11ShaderResourceView* view;
    D3D11_FILTER filter;
    D3D11_TEXTURE_ADDRESS_MODE mode;
    float coordinate;
    float expected;
  } cases[] = {
      {"array slice 0", array_ps, array_srv, point, clamp, 0, 10},
      {"array slice 2", array_ps, array_srv, point, clamp, 2, 30},
      {"array slice past the end clamps", array_ps, array_srv, point, wrap, 7, 30},
      {"view from slice 1, its slice 0", array_ps, array_tail, point, clamp, 0, 20},
      {"view from slice 1, its slice 1", array_ps, array_tail, point, clamp, 1, 30},
      // −X is face 1: cube c face 1 is slice 6c + 1.
      {"cube 0, face -X", cube_array_ps, cubes_srv, point, clamp, 0, 20},
      {"cube 1, face -X", cube_array_ps, cubes_srv, point, clamp, 1, 80},
      {"view of cube 1 alone", cube_array_ps, cube_tail, point, clamp, 0, 80},
      {"1D point", line_ps, line_srv, point, clamp, 0.6f, 4},
      {"1D linear", line_ps, line_srv, linear, clamp, 0.5f, 3},
      // s = 3.5 blends texel 3 with texel 4, which wraps to texel 0: (8 + 1) / 2.
      {"1D linear wraps", line_ps, line_srv, linear, wrap, 1.0f, 4.5f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = sampler(c.filter, c.mode);
    bind(c.view, state);
    EXPECT_NEAR(sample_once(c.ps, {c.coordinate, 0, 0, 0}), c.expected, 1e-3);
  }
}

}  // namespace
