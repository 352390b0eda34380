// Index buffers: the byte offset given to IASetIndexBuffer, the start index and the base vertex
// of direct, instanced and indirect indexed draws, for 16- and 32-bit indices. Each index lights the
// pixel of its vertex id, so the lit pixels show which indices were read.

#include <algorithm>
#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11IndexBufferTest : public device_fixture_t {};

enum class draw_kind_t { indexed, instanced, indirect };

struct index_case_t {
  const char* name;
  DXGI_FORMAT format;
  UINT offset;  // bytes, as given to IASetIndexBuffer
  draw_kind_t kind;
  UINT count, start;
  INT base_vertex;
  std::vector<UINT> lit;  // pixels of the 8 × 1 target
};

// The buffer holds the indices 7, 6, 5, 4, 3, 2, 1, 0. A draw reads `count` indices from index
// offset / size + start on and adds the base vertex; vertex ids past 7 fall off the target.
const index_case_t index_cases[] = {
    {"32-bit, no offset", DXGI_FORMAT_R32_UINT, 0, draw_kind_t::indexed, 2, 0, 0, {6, 7}},
    {"32-bit, offset 8", DXGI_FORMAT_R32_UINT, 8, draw_kind_t::indexed, 2, 0, 0, {4, 5}},
    {"32-bit, offset 8, start 1", DXGI_FORMAT_R32_UINT, 8, draw_kind_t::indexed, 2, 1, 0, {3, 4}},
    {"32-bit, offset 4, base −2", DXGI_FORMAT_R32_UINT, 4, draw_kind_t::indexed, 1, 0, -2, {4}},
    {"16-bit, offset 2", DXGI_FORMAT_R16_UINT, 2, draw_kind_t::indexed, 2, 0, 0, {5, 6}},
    {"16-bit, offset 6, start 1", DXGI_FORMAT_R16_UINT, 6, draw_kind_t::indexed, 2, 1, 0, {2, 3}},
    {"32-bit instanced, offset 12", DXGI_FORMAT_R32_UINT, 12, draw_kind_t::instanced, 3, 0, 0, {2, 3, 4}},
    {"32-bit indirect, no offset, base 1", DXGI_FORMAT_R32_UINT, 0, draw_kind_t::indirect, 2, 0, 1, {7}},
    {"32-bit indirect, offset 8, start 1", DXGI_FORMAT_R32_UINT, 8, draw_kind_t::indirect, 2, 1, 0, {3, 4}},
    {"16-bit indirect, offset 4", DXGI_FORMAT_R16_UINT, 4, draw_kind_t::indirect, 1, 0, 0, {5}},
    {"16-bit indirect, offset 10, start 2", DXGI_FORMAT_R16_UINT, 10, draw_kind_t::indirect, 1, 2, 0, {0}},
};

TEST_F(D3D11IndexBufferTest, OffsetsStartIndicesAndBaseVerticesSelectTheIndices) {
  const uint32_t indices32[8] = {7, 6, 5, 4, 3, 2, 1, 0};
  const uint16_t indices16[8] = {7, 6, 5, 4, 3, 2, 1, 0};
  auto ib32 =
      make_buffer(sizeof(indices32), D3D11_USAGE_IMMUTABLE, D3D11_BIND_INDEX_BUFFER, 0, 0, 0, indices32);
  auto ib16 =
      make_buffer(sizeof(indices16), D3D11_USAGE_IMMUTABLE, D3D11_BIND_INDEX_BUFFER, 0, 0, 0, indices16);
  auto target = make_target(8, 1);
  auto vs = vertex_shader(R"(
float4 main(uint id : SV_VertexID) : SV_Position { return float4((id + 0.5) / 4 - 1, 0, 0, 1); })");
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(1, 1, 1, 1); }");

  for (const auto& c : index_cases) {
    SCOPED_TRACE(c.name);
    const float clear[4] = {0, 0, 0, 0};
    context->ClearRenderTargetView(target.rtv, clear);
    bind_target(target);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
    context->IASetIndexBuffer(c.format == DXGI_FORMAT_R16_UINT ? ib16 : ib32, c.format, c.offset);
    context->VSSetShader(vs, nullptr, 0);
    context->PSSetShader(ps, nullptr, 0);
    switch (c.kind) {
      case draw_kind_t::indexed:
        context->DrawIndexed(c.count, c.start, c.base_vertex);
        break;
      case draw_kind_t::instanced:
        context->DrawIndexedInstanced(c.count, 2, c.start, c.base_vertex, 0);
        break;
      case draw_kind_t::indirect: {
        const uint32_t args[5] = {c.count, 1, c.start, uint32_t(c.base_vertex), 0};
        auto buffer = make_buffer(20, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                                  D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS, 4, args);
        context->DrawIndexedInstancedIndirect(buffer, 0);
        break;
      }
    }
    const auto pixels = read_rgba8(target.texture);
    ASSERT_EQ(pixels.size(), 8u);
    for (UINT x = 0; x < 8; ++x) {
      const bool expected = std::find(c.lit.begin(), c.lit.end(), x) != c.lit.end();
      EXPECT_EQ(pixels[x] != 0, expected) << "pixel " << x;
    }
  }
}

// An index buffer bound once serves draws with and without an offset in turn, and arguments that
// sit past the start of their buffer are read from there.
TEST_F(D3D11IndexBufferTest, IndirectArgumentsAtAnOffsetAndAlternatingIndexOffsets) {
  const uint32_t indices[8] = {7, 6, 5, 4, 3, 2, 1, 0};
  auto ib = make_buffer(sizeof(indices), D3D11_USAGE_IMMUTABLE, D3D11_BIND_INDEX_BUFFER, 0, 0, 0, indices);
  const uint32_t args[10] = {99, 99, 99, 99, 99, 1, 1, 0, 0, 0};
  auto arg_buffer = make_buffer(sizeof(args), D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                                D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS, 4, args);
  auto target = make_target(8, 1);
  auto vs = vertex_shader(R"(
float4 main(uint id : SV_VertexID) : SV_Position { return float4((id + 0.5) / 4 - 1, 0, 0, 1); })");
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(1, 1, 1, 1); }");
  bind_target(target);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(ps, nullptr, 0);
  const UINT offsets[] = {0, 16, 4, 28};  // indices 7, 3, 6, 0
  for (UINT offset : offsets) {
    context->IASetIndexBuffer(ib, DXGI_FORMAT_R32_UINT, offset);
    context->DrawIndexedInstancedIndirect(arg_buffer, 20);
  }
  const auto pixels = read_rgba8(target.texture);
  for (UINT x = 0; x < 8; ++x) {
    const bool expected = x == 7 || x == 3 || x == 6 || x == 0;
    EXPECT_EQ(pixels[x] != 0, expected) << "pixel " << x;
  }
}

}  // namespace
