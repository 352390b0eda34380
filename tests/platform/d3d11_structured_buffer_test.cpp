// Structured buffers in compute: read one through a shader-resource view, write another through an
// unordered-access view, read the result back through a staging copy and a read map. Views that
// start past the first element see the buffer from there.

#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11StructuredBufferTest : public device_fixture_t {
 protected:
  // Runs the transform shader over `groups` groups of 4 threads, `count` of which do work.
  void transform(ID3D11ShaderResourceView* srv, ID3D11UnorderedAccessView* uav, uint32_t count, float scale,
                 UINT groups) {
    if (!cs) cs = compute_shader(transform_cs);
    const struct {
      uint32_t count;
      float scale;
      uint32_t pad[2];
    } params{count, scale, {}};
    auto cb = constant_buffer(&params, sizeof(params));
    ID3D11ShaderResourceView* srvs[] = {srv};
    ID3D11UnorderedAccessView* uavs[] = {uav};
    ID3D11Buffer* cbs[] = {cb};
    context->CSSetShader(cs, nullptr, 0);
    context->CSSetShaderResources(0, 1, srvs);
    context->CSSetUnorderedAccessViews(0, 1, uavs, nullptr);
    context->CSSetConstantBuffers(0, 1, cbs);
    context->Dispatch(groups, 1, 1);
  }
  // A structured buffer of `count` zeroed uints and its write view.
  struct uint_buffer_t {
    com_ptr_t<ID3D11Buffer> buffer;
    com_ptr_t<ID3D11UnorderedAccessView> uav;
  };
  uint_buffer_t uint_buffer(UINT count) {
    uint_buffer_t b;
    b.buffer = make_buffer(count * 4, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 4);
    EXPECT_EQ(device->CreateUnorderedAccessView(b.buffer, nullptr, &b.uav), S_OK);
    return b;
  }
  void TearDown() override {
    cs.Release();
    device_fixture_t::TearDown();
  }

  static const char* transform_cs;
  com_ptr_t<ID3D11ComputeShader> cs;
};

struct item_t {
  float a;
  uint32_t b;
  float c[2];
  bool operator==(const item_t&) const = default;
};

const char* D3D11StructuredBufferTest::transform_cs = R"(
struct item { float a; uint b; float2 c; };
StructuredBuffer<item> input : register(t0);
RWStructuredBuffer<item> output : register(u0);
cbuffer params : register(b0) { uint count; float scale; };
[numthreads(4, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) {
  if (id.x >= count) return;
  item i = input[id.x];
  item o;
  o.a = i.a * scale;
  o.b = i.b + id.x * 100;
  o.c = i.c.yx;
  output[id.x] = o;
})";

// What the shader makes of input element `i` at thread `id`.
item_t transformed(const item_t& i, uint32_t id, float scale) {
  return {i.a * scale, i.b + id * 100, {i.c[1], i.c[0]}};
}

const item_t sentinel{-1.0f, 0xDEADBEEF, {-2.0f, -3.0f}};

TEST_F(D3D11StructuredBufferTest, ComputeReadsOneBufferAndWritesAnother) {
  std::vector<item_t> input(10);
  for (uint32_t i = 0; i < 10; ++i) input[i] = {float(i) + 0.5f, i * 3, {float(i), -float(i)}};
  auto in = make_buffer(sizeof(item_t) * 10, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0,
                        D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, sizeof(item_t), input.data());
  const std::vector<item_t> initial(12, sentinel);
  auto out = make_buffer(sizeof(item_t) * 12, D3D11_USAGE_DEFAULT,
                         D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE, 0,
                         D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, sizeof(item_t), initial.data());
  com_ptr_t<ID3D11ShaderResourceView> srv;
  ASSERT_EQ(device->CreateShaderResourceView(in, nullptr, &srv), S_OK);
  com_ptr_t<ID3D11UnorderedAccessView> uav;
  ASSERT_EQ(device->CreateUnorderedAccessView(out, nullptr, &uav), S_OK);
  transform(srv, uav, 10, 2.0f, 3);  // 12 threads, the last two past `count`

  const auto result = read_buffer<item_t>(out, 12);
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(result[i], transformed(input[i], i, 2.0f)) << i;
  EXPECT_EQ(result[10], sentinel);
  EXPECT_EQ(result[11], sentinel);
}

// A read view from element 2 and a write view from element 4: thread id reads input[2 + id] and
// writes output[4 + id]; elements outside the write view keep their contents.
TEST_F(D3D11StructuredBufferTest, ViewsStartAtTheirFirstElement) {
  std::vector<item_t> input(10);
  for (uint32_t i = 0; i < 10; ++i) input[i] = {float(i), 1000 + i, {0.25f * i, 1.0f}};
  auto in = make_buffer(sizeof(item_t) * 10, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                        D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, sizeof(item_t), input.data());
  const std::vector<item_t> initial(12, sentinel);
  auto out = make_buffer(sizeof(item_t) * 12, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                         D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, sizeof(item_t), initial.data());
  D3D11_SHADER_RESOURCE_VIEW_DESC srv_desc{};
  srv_desc.Format = DXGI_FORMAT_UNKNOWN;
  srv_desc.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
  srv_desc.Buffer.FirstElement = 2;
  srv_desc.Buffer.NumElements = 6;
  com_ptr_t<ID3D11ShaderResourceView> srv;
  ASSERT_EQ(device->CreateShaderResourceView(in, &srv_desc, &srv), S_OK);
  D3D11_UNORDERED_ACCESS_VIEW_DESC uav_desc{};
  uav_desc.Format = DXGI_FORMAT_UNKNOWN;
  uav_desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
  uav_desc.Buffer = {4, 6, 0};
  com_ptr_t<ID3D11UnorderedAccessView> uav;
  ASSERT_EQ(device->CreateUnorderedAccessView(out, &uav_desc, &uav), S_OK);
  // A view past the end is refused.
  uav_desc.Buffer = {8, 6, 0};
  com_ptr_t<ID3D11UnorderedAccessView> too_long;
  EXPECT_EQ(device->CreateUnorderedAccessView(out, &uav_desc, &too_long), E_INVALIDARG);

  transform(srv, uav, 6, -1.0f, 2);

  const auto result = read_buffer<item_t>(out, 12);
  for (uint32_t i = 0; i < 12; ++i) {
    if (i >= 4 && i < 10)
      EXPECT_EQ(result[i], transformed(input[i - 2], i - 4, -1.0f)) << i;
    else
      EXPECT_EQ(result[i], sentinel) << i;
  }
}

// A dispatch's writes are visible to the next dispatch reading the same buffer, without a barrier
// from the caller: each pass doubles every element.
TEST_F(D3D11StructuredBufferTest, LaterDispatchesSeeEarlierWrites) {
  const std::vector<uint32_t> initial = {1, 2, 3, 4, 5, 6, 7, 8};
  auto buffer = make_buffer(32, D3D11_USAGE_DEFAULT, D3D11_BIND_UNORDERED_ACCESS, 0,
                            D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 4, initial.data());
  com_ptr_t<ID3D11UnorderedAccessView> uav;
  ASSERT_EQ(device->CreateUnorderedAccessView(buffer, nullptr, &uav), S_OK);
  auto doubler = compute_shader(R"(
RWStructuredBuffer<uint> values : register(u0);
[numthreads(8, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { values[id.x] = values[id.x] * 2; })");
  ID3D11UnorderedAccessView* uavs[] = {uav};
  context->CSSetShader(doubler, nullptr, 0);
  context->CSSetUnorderedAccessViews(0, 1, uavs, nullptr);
  for (int pass = 0; pass < 5; ++pass) context->Dispatch(1, 1, 1);
  const auto result = read_buffer<uint32_t>(buffer, 8);
  for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(result[i], initial[i] * 32) << i;
}

// Writes to an unbound UAV slot, and appends to an unbound append view, go nowhere, as in D3D: they
// must not reach what unbound shader resources and constant buffers read.
TEST_F(D3D11StructuredBufferTest, WritesToUnboundViewsAreDropped) {
  auto scribble = compute_shader(R"(
RWStructuredBuffer<uint> values : register(u0);
AppendStructuredBuffer<uint> items : register(u1);
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { values[id.x] = 0xABCD0000 + id.x; items.Append(7); })");
  context->CSSetShader(scribble, nullptr, 0);
  context->Dispatch(4, 1, 1);

  // An unbound structured buffer still reads zero everywhere.
  auto [out, uav] = uint_buffer(256);
  auto copy = compute_shader(R"(
StructuredBuffer<uint> values : register(t0);
RWStructuredBuffer<uint> copied : register(u0);
[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { copied[id.x] = values[id.x] + 1; })");
  ID3D11UnorderedAccessView* uavs[] = {uav};
  context->CSSetShader(copy, nullptr, 0);
  context->CSSetUnorderedAccessViews(0, 1, uavs, nullptr);
  context->Dispatch(4, 1, 1);
  for (uint32_t v : read_buffer<uint32_t>(out, 256)) ASSERT_EQ(v, 1u);

  // And so does an unbound constant buffer.
  auto read_cb = compute_shader(R"(
cbuffer params : register(b0) { uint4 value; };
RWStructuredBuffer<uint> copied : register(u0);
[numthreads(1, 1, 1)]
void main() { copied[0] = value.x + value.y + value.z + value.w; })");
  context->CSSetShader(read_cb, nullptr, 0);
  context->Dispatch(1, 1, 1);
  EXPECT_EQ(read_buffer<uint32_t>(out, 1)[0], 0u);
}

// A view whose first element GL cannot bind (storage ranges start at aligned offsets, 16 bytes on
// llvmpipe) is never silently wrong: it is either refused or reads from its first element.
TEST_F(D3D11StructuredBufferTest, ViewsStartingOffAlignmentAreRefusedOrExact) {
  const uint32_t values[16] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
  auto in = make_buffer(64, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE, 0,
                        D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 4, values);
  auto [out, uav] = uint_buffer(16);
  auto copy = compute_shader(R"(
StructuredBuffer<uint> values : register(t0);
RWStructuredBuffer<uint> copied : register(u0);
[numthreads(4, 1, 1)]
void main(uint3 id : SV_DispatchThreadID) { copied[id.x] = values[id.x]; })");
  for (UINT first : {1u, 4u, 5u}) {
    SCOPED_TRACE(::testing::Message() << "first element " << first);
    D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
    desc.Format = DXGI_FORMAT_UNKNOWN;
    desc.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
    desc.Buffer.FirstElement = first;
    desc.Buffer.NumElements = 4;
    com_ptr_t<ID3D11ShaderResourceView> srv;
    const HRESULT hr = device->CreateShaderResourceView(in, &desc, &srv);
    if (FAILED(hr)) {
      EXPECT_EQ(hr, E_INVALIDARG);
      continue;
    }
    ID3D11ShaderResourceView* srvs[] = {srv};
    ID3D11UnorderedAccessView* uavs[] = {uav};
    context->CSSetShader(copy, nullptr, 0);
    context->CSSetShaderResources(0, 1, srvs);
    context->CSSetUnorderedAccessViews(0, 1, uavs, nullptr);
    context->Dispatch(1, 1, 1);
    EXPECT_EQ(read_buffer<uint32_t>(out, 4),
              (std::vector<uint32_t>{10 + first, 11 + first, 12 + first, 13 + first}));
  }
}

}  // namespace
