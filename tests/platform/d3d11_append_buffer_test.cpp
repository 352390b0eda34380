// Append buffers and UAV counters: compute appends items, CopyStructureCount moves the hidden count
// into indirect arguments (directly, or through a constant buffer and a typed R32_UINT view as the
// particle simulation does), and the indirect draws light one pixel per item. Initial counts at
// bind time: 0 resets, −1 keeps, any other value replaces; pixel-shader UAVs bound with the targets
// start from the counts given there.

#include <algorithm>
#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

constexpr UINT keep = 0xFFFFFFFFu;
constexpr UINT target_w = 8, target_h = 4;

class D3D11AppendBufferTest : public device_fixture_t {
 protected:
  // A structured buffer of `count` elements of `stride` bytes with an append (or counter) view and
  // a read view.
  struct counted_t {
    com_ptr_t<ID3D11Buffer> buffer;
    com_ptr_t<ID3D11UnorderedAccessView> uav;
    com_ptr_t<ID3D11ShaderResourceView> srv;
  };
  counted_t counted_buffer(UINT count, UINT stride, UINT flag = D3D11_BUFFER_UAV_FLAG_APPEND) {
    counted_t c;
    c.buffer = make_buffer(count * stride, D3D11_USAGE_DEFAULT,
                           D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE, 0,
                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, stride);
    D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
    desc.Format = DXGI_FORMAT_UNKNOWN;
    desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
    desc.Buffer = {0, count, flag};
    EXPECT_EQ(device->CreateUnorderedAccessView(c.buffer, &desc, &c.uav), S_OK);
    EXPECT_EQ(device->CreateShaderResourceView(c.buffer, nullptr, &c.srv), S_OK);
    return c;
  }

  // Runs `cs` with `threads` in b0 over one group of 64, the view at u0 bound with `initial`.
  void append(ID3D11ComputeShader* cs, ID3D11UnorderedAccessView* uav, UINT initial, uint32_t threads,
              uint32_t base = 0) {
    const uint32_t params[4] = {threads, base, 0, 0};
    auto cb = constant_buffer(params, 16);
    ID3D11Buffer* cbs[] = {cb};
    ID3D11UnorderedAccessView* uavs[] = {uav};
    context->CSSetShader(cs, nullptr, 0);
    context->CSSetConstantBuffers(0, 1, cbs);
    context->CSSetUnorderedAccessViews(0, 1, uavs, &initial);
    context->Dispatch(1, 1, 1);
    ID3D11UnorderedAccessView* none[] = {nullptr};
    context->CSSetUnorderedAccessViews(0, 1, none, &keep);
  }

  // The hidden count, as the runtime reads it: CopyStructureCount into 4 staging bytes, Map READ.
  uint32_t read_count(ID3D11UnorderedAccessView* uav) {
    auto staging = make_buffer(4, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, 0);
    context->CopyStructureCount(staging, 0, uav);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    const uint32_t count = mapped.pData ? *static_cast<uint32_t*>(mapped.pData) : ~0u;
    context->Unmap(staging, 0);
    return count;
  }

  // Pixel (x, y) is lit (non-zero) for each entry of the result.
  std::vector<bool> lit_pixels(ID3D11Texture2D* texture) {
    std::vector<bool> lit;
    for (uint32_t p : read_rgba8(texture)) lit.push_back(p != 0);
    return lit;
  }
};

// Item i is the point at pixel (i mod 8, i div 8) of the 8 × 4 target.
const char* append_points_cs = R"(
AppendStructuredBuffer<float2> points : register(u0);
cbuffer params : register(b0) { uint count; uint base; };
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) {
  uint i = id.x + base;
  if (id.x < count) points.Append(float2(i % 8, i / 8));
})";

// Points from the buffer at t0, picked by vertex id or, for instanced draws, by instance id; a
// vertex id other than 0 in the instanced form moves the point off the target.
const char* points_vs = R"(
StructuredBuffer<float2> points : register(t0);
cbuffer params : register(b0) { uint by_instance; };
float4 main(uint vertex_id : SV_VertexID, uint instance_id : SV_InstanceID) : SV_Position {
  float2 p = points[by_instance ? instance_id : vertex_id];
  if (by_instance) p.y += vertex_id * 8;
  return float4((p.x + 0.5) / 4 - 1, 1 - (p.y + 0.5) / 2, 0, 1);
})";

TEST_F(D3D11AppendBufferTest, AppendedCountDrivesIndirectDraws) {
  auto points = counted_buffer(32, 8);
  auto cs = compute_shader(append_points_cs);
  append(cs, points.uav, 0, 13);
  EXPECT_EQ(read_count(points.uav), 13u);

  auto target = make_target(target_w, target_h);
  auto vs = vertex_shader(points_vs);
  auto ps = pixel_shader("float4 main() : SV_Target { return float4(1, 1, 1, 1); }");
  auto draw_with = [&](bool by_instance, auto&& draw) {
    const float clear[4] = {0, 0, 0, 0};
    context->ClearRenderTargetView(target.rtv, clear);
    const uint32_t params[4] = {by_instance ? 1u : 0u, 0, 0, 0};
    auto cb = constant_buffer(params, 16);
    ID3D11Buffer* cbs[] = {cb};
    ID3D11ShaderResourceView* srvs[] = {points.srv};
    bind_target(target);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
    context->IASetInputLayout(nullptr);
    context->VSSetShader(vs, nullptr, 0);
    context->VSSetConstantBuffers(0, 1, cbs);
    context->VSSetShaderResources(0, 1, srvs);
    context->PSSetShader(ps, nullptr, 0);
    draw();
    return lit_pixels(target.texture);
  };
  auto expect_first_lit = [](const std::vector<bool>& lit, uint32_t n) {
    ASSERT_EQ(lit.size(), size_t(target_w * target_h));
    for (uint32_t i = 0; i < lit.size(); ++i) EXPECT_EQ(lit[i], i < n) << "pixel " << i;
  };

  // Vertex count from the counter: args {count, 1, 0, 0}.
  const uint32_t draw_args[4] = {0, 1, 0, 0};
  auto args = make_buffer(16, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                          D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS, 4, draw_args);
  context->CopyStructureCount(args, 0, points.uav);
  expect_first_lit(draw_with(false, [&] { context->DrawInstancedIndirect(args, 0); }), 13);

  // Five more with the count kept: the same buffer now holds 18.
  append(cs, points.uav, keep, 5, 13);
  EXPECT_EQ(read_count(points.uav), 18u);

  // Instance count from the counter, through a constant buffer and a typed view, as the particle
  // simulation writes its arguments: {1 index, count instances, 0, 0, 0}.
  const uint32_t zeros[4] = {};
  auto count_cb = constant_buffer(zeros, 16);
  context->CopyStructureCount(count_cb, 0, points.uav);
  const uint32_t indexed_args[5] = {0, 1, 0, 0, 0};
  auto iargs = make_buffer(20, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                           D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS, 4, indexed_args);
  D3D11_UNORDERED_ACCESS_VIEW_DESC typed{};
  typed.Format = DXGI_FORMAT_R32_UINT;
  typed.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
  typed.Buffer = {0, 5, 0};
  com_ptr_t<ID3D11UnorderedAccessView> iargs_uav;
  ASSERT_EQ(device->CreateUnorderedAccessView(iargs, &typed, &iargs_uav), S_OK);
  auto write_args = compute_shader(R"(
cbuffer counts : register(b2) { uint item_count; };
RWBuffer<uint> args : register(u1);
[numthreads(1, 1, 1)]
void main() { args[0] = 1; args[1] = item_count; args[2] = 0; args[3] = 0; args[4] = 0; })");
  ID3D11Buffer* count_cbs[] = {count_cb};
  ID3D11UnorderedAccessView* arg_uavs[] = {iargs_uav};
  context->CSSetShader(write_args, nullptr, 0);
  context->CSSetConstantBuffers(2, 1, count_cbs);
  context->CSSetUnorderedAccessViews(1, 1, arg_uavs, nullptr);
  context->Dispatch(1, 1, 1);
  ID3D11UnorderedAccessView* none[] = {nullptr};
  context->CSSetUnorderedAccessViews(1, 1, none, &keep);
  EXPECT_EQ(read_buffer<uint32_t>(iargs, 5), (std::vector<uint32_t>{1, 18, 0, 0, 0}));

  const uint32_t indices[4] = {0, 0, 0, 0};
  auto ib = make_buffer(16, D3D11_USAGE_IMMUTABLE, D3D11_BIND_INDEX_BUFFER, 0, 0, 0, indices);
  context->IASetIndexBuffer(ib, DXGI_FORMAT_R32_UINT, 0);
  expect_first_lit(draw_with(true, [&] { context->DrawIndexedInstancedIndirect(iargs, 0); }), 18);
}

// 0 resets the count, −1 keeps it across unbinding, another value replaces it; appends continue
// from the count the view starts with.
TEST_F(D3D11AppendBufferTest, InitialCountsResetKeepOrReplaceTheCounter) {
  auto items = counted_buffer(16, 4);
  auto cs = compute_shader(R"(
AppendStructuredBuffer<uint> items : register(u0);
cbuffer params : register(b0) { uint count; uint base; };
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { if (id.x < count) items.Append(base + id.x); })");
  append(cs, items.uav, 0, 5, 100);
  EXPECT_EQ(read_count(items.uav), 5u);
  append(cs, items.uav, keep, 3, 200);
  EXPECT_EQ(read_count(items.uav), 8u);
  // Bound and unbound with −1 in between: nothing changes.
  ID3D11UnorderedAccessView* uavs[] = {items.uav};
  context->CSSetUnorderedAccessViews(0, 1, uavs, &keep);
  ID3D11UnorderedAccessView* none[] = {nullptr};
  context->CSSetUnorderedAccessViews(0, 1, none, &keep);
  EXPECT_EQ(read_count(items.uav), 8u);

  auto stored = read_buffer<uint32_t>(items.buffer, 8);
  std::sort(stored.begin(), stored.begin() + 5);
  std::sort(stored.begin() + 5, stored.end());
  EXPECT_EQ(stored, (std::vector<uint32_t>{100, 101, 102, 103, 104, 200, 201, 202}));

  // Count 2: the next append lands at element 2 and the count becomes 3.
  append(cs, items.uav, 2, 1, 300);
  EXPECT_EQ(read_count(items.uav), 3u);
  EXPECT_EQ(read_buffer<uint32_t>(items.buffer, 3)[2], 300u);
  append(cs, items.uav, 0, 0, 0);
  EXPECT_EQ(read_count(items.uav), 0u);
}

// Consume takes items off an append view's count: each thread gets a distinct item of those below
// the count, which drops by one per item taken (the particle emission takes dead slots this way).
TEST_F(D3D11AppendBufferTest, ConsumeTakesDistinctItemsBelowTheCount) {
  auto items = counted_buffer(16, 4);
  auto fill = compute_shader(R"(
AppendStructuredBuffer<uint> items : register(u0);
cbuffer params : register(b0) { uint count; uint base; };
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { if (id.x < count) items.Append(base + id.x); })");
  append(fill, items.uav, 0, 6, 10);
  ASSERT_EQ(read_count(items.uav), 6u);

  auto taken = make_buffer(16, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 4);
  D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
  desc.Format = DXGI_FORMAT_UNKNOWN;
  desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
  desc.Buffer = {0, 4, 0};
  com_ptr_t<ID3D11UnorderedAccessView> taken_uav;
  ASSERT_EQ(device->CreateUnorderedAccessView(taken, &desc, &taken_uav), S_OK);
  auto consume = compute_shader(R"(
ConsumeStructuredBuffer<uint> items : register(u0);
RWStructuredBuffer<uint> taken : register(u1);
[numthreads(4, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { taken[id.x] = items.Consume(); })");
  ID3D11UnorderedAccessView* uavs[] = {items.uav, taken_uav};
  const UINT counts[] = {keep, keep};
  context->CSSetShader(consume, nullptr, 0);
  context->CSSetUnorderedAccessViews(0, 2, uavs, counts);
  context->Dispatch(1, 1, 1);
  ID3D11UnorderedAccessView* none[] = {nullptr, nullptr};
  context->CSSetUnorderedAccessViews(0, 2, none, counts);

  EXPECT_EQ(read_count(items.uav), 2u);
  auto got = read_buffer<uint32_t>(taken, 4);
  auto left = read_buffer<uint32_t>(items.buffer, 2);
  got.insert(got.end(), left.begin(), left.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<uint32_t>{10, 11, 12, 13, 14, 15})) << "the taken and the kept make up the six";
}

// A counter view (not append): IncrementCounter hands out the slots after the initial count.
TEST_F(D3D11AppendBufferTest, CounterViewsHandOutSlotsFromTheInitialCount) {
  auto values = counted_buffer(16, 4, D3D11_BUFFER_UAV_FLAG_COUNTER);
  auto cs = compute_shader(R"(
RWStructuredBuffer<uint> values : register(u0);
cbuffer params : register(b0) { uint count; uint base; };
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) {
  if (id.x >= count) return;
  uint slot = values.IncrementCounter();
  values[slot] = base + id.x;
})");
  append(cs, values.uav, 4, 6, 50);
  EXPECT_EQ(read_count(values.uav), 10u);
  auto stored = read_buffer<uint32_t>(values.buffer, 10);
  std::sort(stored.begin() + 4, stored.end());
  EXPECT_EQ(std::vector<uint32_t>(stored.begin(), stored.begin() + 4), (std::vector<uint32_t>{0, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint32_t>(stored.begin() + 4, stored.end()),
            (std::vector<uint32_t>{50, 51, 52, 53, 54, 55}));
}

// A pixel shader appends one item per pixel through a UAV bound after the render target; binding
// with count 0 starts from zero each time.
TEST_F(D3D11AppendBufferTest, PixelShaderAppendsAfterTheRenderTargets) {
  auto items = counted_buffer(64, 4);
  auto target = make_target(4, 4);
  auto ps = pixel_shader(R"(
AppendStructuredBuffer<uint> items : register(u1);
float4 main(float4 pos : SV_Position) : SV_Target {
  items.Append(uint(pos.x) + 4 * uint(pos.y));
  return float4(0, 1, 0, 1);
})");
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ID3D11RenderTargetView* rtvs[] = {target.rtv};
    ID3D11UnorderedAccessView* uavs[] = {items.uav};
    const UINT zero = 0;
    context->OMSetRenderTargetsAndUnorderedAccessViews(1, rtvs, nullptr, 1, 1, uavs, &zero);
    const D3D11_VIEWPORT viewport{0, 0, 4, 4, 0, 1};
    context->RSSetViewports(1, &viewport);
    draw_fullscreen(ps);
    context->OMSetRenderTargets(0, nullptr, nullptr);
    EXPECT_EQ(read_count(items.uav), 16u);
    auto stored = read_buffer<uint32_t>(items.buffer, 16);
    std::sort(stored.begin(), stored.end());
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(stored[i], i);
    for (uint32_t p : read_rgba8(target.texture)) EXPECT_EQ(p, rgba(0, 255, 0, 255));
  }
}

// A buffer with room for a point per pixel of a large screen, of which a pass appends a handful, as
// the depth of field's bokeh points: the elements never written read as zero and cost no memory.
TEST_F(D3D11AppendBufferTest, ElementsNeverAppendedReadZeroAndCostNoMemory) {
  constexpr UINT stride = 32, count = (256u << 20) / stride;
  const long before = resident_mib();
  auto items = counted_buffer(count, stride);
  auto cs = compute_shader(R"(
struct item_t { uint4 a; uint4 b; };
AppendStructuredBuffer<item_t> items : register(u0);
cbuffer params : register(b0) { uint count; uint base; };
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) {
  item_t item;
  item.a = uint4(base + id.x, 1, 2, 3);
  item.b = uint4(4, 5, 6, 7);
  if (id.x < count) items.Append(item);
})");
  append(cs, items.uav, 0, 5, 100);
  EXPECT_EQ(read_count(items.uav), 5u);

  // The first elements and the last, through a staging copy of each.
  auto read_element = [&](UINT index) {
    auto staging = make_buffer(stride, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, 0);
    const D3D11_BOX box{index * stride, 0, 0, (index + 1) * stride, 1, 1};
    context->CopySubresourceRegion(staging, 0, 0, 0, 0, items.buffer, 0, &box);
    std::vector<uint32_t> words(stride / 4);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    if (mapped.pData) std::memcpy(words.data(), mapped.pData, stride);
    context->Unmap(staging, 0);
    return words;
  };
  std::vector<uint32_t> firsts;
  for (UINT i = 0; i < 5; ++i) {
    const auto words = read_element(i);
    EXPECT_EQ(std::vector<uint32_t>(words.begin() + 1, words.end()),
              (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7}));
    firsts.push_back(words[0]);
  }
  std::sort(firsts.begin(), firsts.end());
  EXPECT_EQ(firsts, (std::vector<uint32_t>{100, 101, 102, 103, 104}));
  EXPECT_EQ(read_element(5), std::vector<uint32_t>(stride / 4, 0u));
  EXPECT_EQ(read_element(count - 1), std::vector<uint32_t>(stride / 4, 0u));
  EXPECT_LT(resident_mib() - before, 64) << "of a 256 MiB buffer";
}

}  // namespace
