// Dynamic resources as the engine uses them: a vertex ring filled with WRITE_NO_OVERWRITE and
// restarted with WRITE_DISCARD, drawn with the ring offset as base vertex, and a constant buffer and
// a texture rewritten with WRITE_DISCARD before every draw. Nothing is read back until all draws are
// issued, so any draw that saw a later write shows in the result.

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11DynamicBufferTest : public device_fixture_t {};

struct vertex_t {
  float x, y;
  float r, g;
};

constexpr UINT columns = 6, rows = 4;
constexpr UINT vertices_per_draw = rows;               // one point per row of the draw's column
constexpr UINT ring_vertices = 3 * vertices_per_draw;  // room for three draws

// Draw i lights column i with red 40·i, green 255 − 40·i (both from the vertices) and blue 30·i + 10
// (from the constant buffer), in 255ths.
uint32_t column_colour(UINT i) {
  return rgba(uint8_t(40 * i), uint8_t(255 - 40 * i), uint8_t(30 * i + 10), 255);
}

TEST_F(D3D11DynamicBufferTest, RingOfNoOverwriteAndDiscardMapsFeedEveryDraw) {
  auto ring = make_buffer(ring_vertices * sizeof(vertex_t), D3D11_USAGE_DYNAMIC, D3D11_BIND_VERTEX_BUFFER,
                          D3D11_CPU_ACCESS_WRITE, 0, 0);
  auto cb = make_buffer(16, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0);
  const uint32_t indices[4] = {0, 1, 2, 3};
  auto ib = make_buffer(sizeof(indices), D3D11_USAGE_IMMUTABLE, D3D11_BIND_INDEX_BUFFER, 0, 0, 0, indices);
  auto vs = vertex_shader(R"(
struct vs_out { float4 pos : SV_Position; float2 rg : COLOR0; };
vs_out main(float2 p : POSITION, float2 rg : COLOR0) { vs_out o; o.pos = float4(p, 0, 1); o.rg = rg; return o; })");
  const D3D11_INPUT_ELEMENT_DESC elements[] = {
      {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
      {"COLOR", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0}};
  com_ptr_t<ID3D11InputLayout> layout;
  ASSERT_EQ(device->CreateInputLayout(elements, 2, last_vs_code.data(), last_vs_code.size(), &layout), S_OK);
  auto ps = pixel_shader(R"(
cbuffer params : register(b0) { float4 blue; };
float4 main(float4 pos : SV_Position, float2 rg : COLOR0) : SV_Target { return float4(rg, blue.x, 1); })");

  auto target = make_target(columns, rows);
  bind_target(target);
  const UINT stride = sizeof(vertex_t), offset = 0;
  ID3D11Buffer* vbs[] = {ring};
  ID3D11Buffer* cbs[] = {cb};
  context->IASetVertexBuffers(0, 1, vbs, &stride, &offset);
  context->IASetInputLayout(layout);
  context->IASetIndexBuffer(ib, DXGI_FORMAT_R32_UINT, 0);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  context->PSSetConstantBuffers(0, 1, cbs);

  UINT write = 0;  // next free vertex of the ring
  for (UINT i = 0; i < columns; ++i) {
    const bool wrap = write + vertices_per_draw > ring_vertices;
    if (wrap) write = 0;
    D3D11_MAPPED_SUBRESOURCE mapped{};
    // The first map of a frame discards, as does every restart at the front.
    const D3D11_MAP type = (i == 0 || wrap) ? D3D11_MAP_WRITE_DISCARD : D3D11_MAP_WRITE_NO_OVERWRITE;
    ASSERT_EQ(context->Map(ring, 0, type, 0, &mapped), S_OK);
    auto* vertices = static_cast<vertex_t*>(mapped.pData) + write;
    for (UINT row = 0; row < rows; ++row)
      vertices[row] = {(i + 0.5f) / columns * 2 - 1, 1 - (row + 0.5f) / rows * 2, 40 * i / 255.0f,
                       (255 - 40 * i) / 255.0f};
    context->Unmap(ring, 0);

    ASSERT_EQ(context->Map(cb, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    const float blue[4] = {(30 * i + 10) / 255.0f, 0, 0, 0};
    std::memcpy(mapped.pData, blue, sizeof(blue));
    context->Unmap(cb, 0);

    context->DrawIndexed(vertices_per_draw, 0, INT(write));
    write += vertices_per_draw;
  }

  const auto pixels = read_rgba8(target.texture);
  ASSERT_EQ(pixels.size(), size_t(columns * rows));
  for (UINT y = 0; y < rows; ++y)
    for (UINT x = 0; x < columns; ++x) EXPECT_EQ(pixels[y * columns + x], column_colour(x)) << x << "," << y;
}

// The process's resident memory, from /proc.
// Direct3D leaves a new buffer's contents undefined, and the CPU writes a dynamic buffer before any
// draw reads it: a ring sized far beyond what is drawn costs memory only for the bytes written, and
// each draw reads what was written for it, across a discard too.
TEST_F(D3D11DynamicBufferTest, UnwrittenBytesOfADynamicBufferAreNeitherClearedNorResident) {
  constexpr UINT ring_bytes = 512u << 20;
  constexpr UINT far_vertex = ring_bytes / sizeof(vertex_t) - 1;
  const long before = resident_mib();
  auto ring = make_buffer(ring_bytes, D3D11_USAGE_DYNAMIC, D3D11_BIND_VERTEX_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0);
  ASSERT_TRUE(ring);
  auto vs = vertex_shader(R"(
struct vs_out { float4 pos : SV_Position; float2 rg : COLOR0; };
vs_out main(float2 p : POSITION, float2 rg : COLOR0) { vs_out o; o.pos = float4(p, 0, 1); o.rg = rg; return o; })");
  const D3D11_INPUT_ELEMENT_DESC elements[] = {
      {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
      {"COLOR", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0}};
  com_ptr_t<ID3D11InputLayout> layout;
  ASSERT_EQ(device->CreateInputLayout(elements, 2, last_vs_code.data(), last_vs_code.size(), &layout), S_OK);
  auto ps = pixel_shader(R"(
float4 main(float4 pos : SV_Position, float2 rg : COLOR0) : SV_Target { return float4(rg, 0, 1); })");
  constexpr UINT discards = 4;  // more than the stores draws in flight keep
  auto target = make_target(1 + discards, 1);
  bind_target(target);
  const UINT stride = sizeof(vertex_t), offset = 0;
  ID3D11Buffer* vbs[] = {ring};
  context->IASetVertexBuffers(0, 1, vbs, &stride, &offset);
  context->IASetInputLayout(layout);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);

  auto pixel_x = [](UINT pixel) { return (pixel + 0.5f) / (1 + discards) * 2 - 1; };
  // The last vertex of the ring lights the left pixel red.
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(ring, 0, D3D11_MAP_WRITE_NO_OVERWRITE, 0, &mapped), S_OK);
  static_cast<vertex_t*>(mapped.pData)[far_vertex] = {pixel_x(0), 0.0f, 1.0f, 0.0f};
  context->Unmap(ring, 0);
  context->Draw(1, far_vertex);
  // After each discard the first vertex lights the next pixel with more green; the draws before keep
  // their vertices.
  std::vector<uint32_t> expected = {rgba(255, 0, 0, 255)};
  for (UINT i = 1; i <= discards; ++i) {
    ASSERT_EQ(context->Map(ring, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    static_cast<vertex_t*>(mapped.pData)[0] = {pixel_x(i), 0.0f, 0.0f, float(i * 60) / 255.0f};
    context->Unmap(ring, 0);
    context->Draw(1, 0);
    expected.push_back(rgba(0, uint8_t(i * 60), 0, 255));
  }

  EXPECT_EQ(read_rgba8(target.texture), expected);
  EXPECT_LT(resident_mib() - before, 64) << "of a " << (ring_bytes >> 20) << " MiB buffer";
}

// Maps that the usage does not allow fail instead of handing out memory.
TEST_F(D3D11DynamicBufferTest, MapsOutsideTheUsageAreRefused) {
  auto dynamic =
      make_buffer(16, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0);
  auto fixed = make_buffer(16, D3D11_USAGE_DEFAULT, D3D11_BIND_CONSTANT_BUFFER, 0, 0, 0);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  EXPECT_EQ(context->Map(dynamic, 0, D3D11_MAP_READ, 0, &mapped), E_INVALIDARG);
  EXPECT_EQ(context->Map(fixed, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), E_INVALIDARG);
  EXPECT_EQ(context->Map(dynamic, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
  context->Unmap(dynamic, 0);
}

// A dynamic texture rewritten with WRITE_DISCARD between draws, rows written at the RowPitch the
// map reports: each draw reads the contents it was given.
TEST_F(D3D11DynamicBufferTest, DiscardedTextureMapsFeedEachDraw) {
  D3D11_TEXTURE2D_DESC desc{3,
                            2,
                            1,
                            1,
                            DXGI_FORMAT_R8G8B8A8_UNORM,
                            {1, 0},
                            D3D11_USAGE_DYNAMIC,
                            D3D11_BIND_SHADER_RESOURCE,
                            D3D11_CPU_ACCESS_WRITE,
                            0};
  com_ptr_t<ID3D11Texture2D> texture;
  ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, &texture), S_OK);
  com_ptr_t<ID3D11ShaderResourceView> srv;
  ASSERT_EQ(device->CreateShaderResourceView(texture, nullptr, &srv), S_OK);
  auto ps = pixel_shader(R"(
Texture2D tex : register(t0);
float4 main(float4 pos : SV_Position) : SV_Target { return tex.Load(int3(pos.xy, 0)); })");
  std::array<target_t, 3> targets = {make_target(3, 2), make_target(3, 2), make_target(3, 2)};
  auto texel = [](UINT round, UINT x, UINT y) {
    return rgba(uint8_t(round * 50), uint8_t(x * 60), uint8_t(y * 90), 255);
  };
  for (UINT round = 0; round < 3; ++round) {
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(context->Map(texture, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    ASSERT_GE(mapped.RowPitch, 12u);
    for (UINT y = 0; y < 2; ++y)
      for (UINT x = 0; x < 3; ++x) {
        const uint32_t value = texel(round, x, y);
        std::memcpy(static_cast<uint8_t*>(mapped.pData) + y * mapped.RowPitch + x * 4, &value, 4);
      }
    context->Unmap(texture, 0);
    bind_target(targets[round]);
    ID3D11ShaderResourceView* views[] = {srv};
    context->PSSetShaderResources(0, 1, views);
    draw_fullscreen(ps);
  }
  for (UINT round = 0; round < 3; ++round) {
    const auto pixels = read_rgba8(targets[round].texture);
    for (UINT y = 0; y < 2; ++y)
      for (UINT x = 0; x < 3; ++x)
        EXPECT_EQ(pixels[y * 3 + x], texel(round, x, y)) << round << ": " << x << "," << y;
  }
}

}  // namespace
