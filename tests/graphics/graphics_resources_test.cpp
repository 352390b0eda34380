// Graphics resources: plain buffers, read-back and indirect-argument buffers, GPU buffers, render
// targets with their creation failures, and the temporary pool.

#include <cstring>
#include <limits>
#include <stdexcept>

#include <fmt/printf.h>

#include "common/graphics_test_support.h"
#include "platform/dxgi/hresult.h"

namespace {

using graphics_test::graphics_fixture_t;

class GraphicsResourcesTest : public graphics_fixture_t {
 protected:
  D3D11_BUFFER_DESC desc_of(ID3D11Buffer* buffer) {
    D3D11_BUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    return desc;
  }
};

TEST_F(GraphicsResourcesTest, IndexBuffersRecordTheirSizeAndRoundTheBufferUpTo16) {
  const uint16_t short_indices[] = {0, 1, 2};
  auto shorts = resources->create_index_buffer(3, DXGI_FORMAT_R16_UINT, short_indices, false);
  ASSERT_TRUE(shorts);
  EXPECT_EQ(shorts->size, 6);
  EXPECT_EQ(shorts->count, 3);
  EXPECT_EQ(shorts->format, DXGI_FORMAT_R16_UINT);
  EXPECT_EQ(desc_of(shorts->buffer).ByteWidth, 16u);
  EXPECT_EQ(desc_of(shorts->buffer).Usage, D3D11_USAGE_IMMUTABLE);
  EXPECT_EQ(desc_of(shorts->buffer).BindFlags, UINT(D3D11_BIND_INDEX_BUFFER));

  const uint32_t long_indices[] = {0, 1, 2};
  auto longs = resources->create_index_buffer(3, DXGI_FORMAT_R32_UINT, long_indices, false);
  ASSERT_TRUE(longs);
  EXPECT_EQ(longs->size, 12);
  EXPECT_EQ(desc_of(longs->buffer).ByteWidth, 16u);
}

TEST_F(GraphicsResourcesTest, InitialDataIsPaddedWithZerosUpToTheRoundedSize) {
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  auto vertices = resources->create_vertex_buffer(1, 5, bytes, false);
  ASSERT_TRUE(vertices);
  EXPECT_EQ(vertices->size, 5);
  EXPECT_EQ(vertices->stride, 5);
  const auto contents = read_buffer<uint8_t>(vertices->buffer, 16);
  const uint8_t expected[16] = {1, 2, 3, 4, 5};
  EXPECT_EQ(std::memcmp(contents.data(), expected, 16), 0);
}

TEST_F(GraphicsResourcesTest, UsageFollowsDynamicAndData) {
  const float data[4] = {1, 2, 3, 4};
  auto dynamic = resources->create_constant_buffer(16, true, data);
  auto immutable = resources->create_constant_buffer(16, false, data);
  auto empty = resources->create_constant_buffer(20, false, nullptr);
  ASSERT_TRUE(dynamic && immutable && empty);
  EXPECT_EQ(desc_of(dynamic->buffer).Usage, D3D11_USAGE_DYNAMIC);
  EXPECT_EQ(desc_of(dynamic->buffer).CPUAccessFlags, UINT(D3D11_CPU_ACCESS_WRITE));
  EXPECT_TRUE(dynamic->dynamic);
  EXPECT_EQ(desc_of(immutable->buffer).Usage, D3D11_USAGE_IMMUTABLE);
  EXPECT_EQ(desc_of(empty->buffer).Usage, D3D11_USAGE_DEFAULT);
  EXPECT_EQ(desc_of(empty->buffer).ByteWidth, 32u);
  EXPECT_EQ(empty->size, 20);
}

TEST_F(GraphicsResourcesTest, UpdateRewritesADynamicBufferOnly) {
  const float first[4] = {1, 2, 3, 4};
  const float second[4] = {5, 6, 7, 8};
  auto dynamic = resources->create_constant_buffer(16, true, first);
  auto fixed = resources->create_constant_buffer(16, false, first);
  dynamic->update(second);
  fixed->update(second);
  EXPECT_EQ(read_buffer<float>(dynamic->buffer, 4), std::vector<float>({5, 6, 7, 8}));
  EXPECT_EQ(read_buffer<float>(fixed->buffer, 4), std::vector<float>({1, 2, 3, 4}));
}

TEST_F(GraphicsResourcesTest, ReadbackBuffersAreStagingOfTheExactSize) {
  auto readback = resources->create_readback_buffer(4);
  ASSERT_TRUE(readback);
  const auto desc = desc_of(readback->buffer);
  EXPECT_EQ(desc.ByteWidth, 4u);
  EXPECT_EQ(desc.Usage, D3D11_USAGE_STAGING);
  EXPECT_EQ(desc.BindFlags, 0u);
  EXPECT_EQ(desc.CPUAccessFlags, UINT(D3D11_CPU_ACCESS_READ));
  EXPECT_FALSE(readback->dynamic);
}

TEST_F(GraphicsResourcesTest, IndirectArgumentBuffersHoldTheirStartValuesAndAUintView) {
  struct row_t {
    int type;
    std::vector<uint32_t> values;
  };
  const row_t rows[] = {{0, {1, 1, 1}}, {1, {0, 1, 0, 0}}, {2, {0, 1, 0, 0, 0}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    auto args = resources->create_indirect_args_buffer(row.type);
    ASSERT_TRUE(args && args->buffer && args->uav);
    const auto desc = desc_of(args->buffer);
    EXPECT_EQ(desc.ByteWidth, 4u * row.values.size());
    EXPECT_EQ(desc.MiscFlags, UINT(D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS));
    EXPECT_EQ(desc.BindFlags, UINT(D3D11_BIND_UNORDERED_ACCESS));
    EXPECT_EQ(read_buffer<uint32_t>(args->buffer, row.values.size()), row.values);
    D3D11_UNORDERED_ACCESS_VIEW_DESC uav{};
    args->uav->GetDesc(&uav);
    EXPECT_EQ(uav.Format, DXGI_FORMAT_R32_UINT);
    EXPECT_EQ(uav.ViewDimension, D3D11_UAV_DIMENSION_BUFFER);
    EXPECT_EQ(uav.Buffer.NumElements, row.values.size());
    EXPECT_FALSE(args->srv);
    EXPECT_EQ(args->count, 0);
    EXPECT_EQ(args->flags, 0u);
  }
}

TEST_F(GraphicsResourcesTest, AnUnknownIndirectTypeGivesAnEmptyRecordAndALine) {
  log_capture_t log;
  auto args = resources->create_indirect_args_buffer(3);
  ASSERT_TRUE(args);
  EXPECT_FALSE(args->buffer);
  EXPECT_FALSE(args->uav);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Error creating indirect args buffer"));
}

TEST_F(GraphicsResourcesTest, GpuBuffersGetTheViewsAndCounterBufferOfTheirFlags) {
  auto list = resources->create_buffer(64, 16, BUF_UAV | BUF_SRV | BUF_APPEND | BUF_COUNT_BUFFER);
  ASSERT_TRUE(list && list->buffer && list->uav && list->srv);
  const auto desc = desc_of(list->buffer);
  EXPECT_EQ(desc.ByteWidth, 1024u);
  EXPECT_EQ(desc.StructureByteStride, 16u);
  EXPECT_EQ(desc.BindFlags, UINT(D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE));
  EXPECT_EQ(desc.MiscFlags, UINT(D3D11_RESOURCE_MISC_BUFFER_STRUCTURED));
  EXPECT_EQ(list->uav_desc.Format, DXGI_FORMAT_UNKNOWN);
  EXPECT_EQ(list->uav_desc.Buffer.NumElements, 64u);
  EXPECT_EQ(list->uav_desc.Buffer.Flags, UINT(D3D11_BUFFER_UAV_FLAG_APPEND));
  EXPECT_EQ(list->srv_desc.Buffer.NumElements, 64u);
  ASSERT_TRUE(list->count_buffer);
  EXPECT_EQ(desc_of(list->count_buffer->buffer).ByteWidth, 16u);
  EXPECT_FALSE(list->count_buffer->dynamic);
  EXPECT_EQ(list->count, 64);
  EXPECT_EQ(list->stride, 16);

  auto counter = resources->create_buffer(8, 4, BUF_UAV | BUF_SRV | BUF_COUNTER);
  ASSERT_TRUE(counter);
  EXPECT_EQ(counter->uav_desc.Buffer.Flags, UINT(D3D11_BUFFER_UAV_FLAG_COUNTER));
  EXPECT_FALSE(counter->count_buffer);
}

TEST_F(GraphicsResourcesTest, IndirectGpuBuffersStartWithOneInstanceOfNothing) {
  auto args = resources->create_buffer(4, 4, BUF_UAV | BUF_INDIRECT_ARGS);
  ASSERT_TRUE(args && args->uav);
  EXPECT_EQ(read_buffer<uint32_t>(args->buffer, 4), std::vector<uint32_t>({0, 1, 0, 0}));
  EXPECT_EQ(args->uav_desc.Format, DXGI_FORMAT_R32_UINT);
  // The start values are exactly 16 bytes; any other size would read past them.
  EXPECT_FALSE(resources->create_buffer(8, 4, BUF_UAV | BUF_INDIRECT_ARGS));
}

TEST_F(GraphicsResourcesTest, ARefusedGpuBufferIsNull) {
  EXPECT_FALSE(resources->create_buffer(0, 16, BUF_UAV | BUF_SRV));
}

// Byte sizes are count × stride in 64 bits: what an int cannot hold, or a negative count or
// stride, gives no buffer rather than a wrapped size.
TEST_F(GraphicsResourcesTest, BuffersTooLargeForAnIntAreRefused) {
  struct size_case_t {
    int count, stride;
  };
  for (const size_case_t& c : {size_case_t{65537, 65536}, size_case_t{65536, 65536}, size_case_t{-1, 16},
                               size_case_t{16, -4}, size_case_t{std::numeric_limits<int>::max(), 2}}) {
    SCOPED_TRACE(fmt::sprintf("%d x %d", c.count, c.stride));
    EXPECT_FALSE(resources->create_buffer(c.count, c.stride, BUF_UAV | BUF_SRV));
    EXPECT_FALSE(resources->create_vertex_buffer(c.count, c.stride, nullptr, false));
  }
  EXPECT_FALSE(resources->create_index_buffer(std::numeric_limits<int>::max() / 2, DXGI_FORMAT_R32_UINT,
                                              nullptr, false));
  EXPECT_FALSE(resources->create_index_buffer(-6, DXGI_FORMAT_R16_UINT, nullptr, false));
  EXPECT_FALSE(resources->create_constant_buffer(-16, false, nullptr));
  EXPECT_FALSE(resources->create_readback_buffer(-16));
  EXPECT_TRUE(resources->create_buffer(64, 16, BUF_UAV | BUF_SRV));
}

TEST_F(GraphicsResourcesTest, CopyCounterMovesTheHiddenCountIntoTheCountBuffer) {
  auto list = resources->create_buffer(64, 4, BUF_UAV | BUF_SRV | BUF_APPEND | BUF_COUNT_BUFFER);
  ASSERT_TRUE(list);
  auto shader = compute_shader(R"(
AppendStructuredBuffer<uint> items : register(u0);
[numthreads(1, 1, 1)] void main(uint3 id : SV_DispatchThreadID) { items.Append(id.x); })");
  ID3D11UnorderedAccessView* uav = list->uav;
  const UINT zero = 0;
  context->CSSetShader(shader, nullptr, 0);
  context->CSSetUnorderedAccessViews(0, 1, &uav, &zero);
  context->Dispatch(21, 1, 1);
  list->copy_counter();
  EXPECT_EQ(read_buffer<uint32_t>(list->count_buffer->buffer, 1)[0], 21u);
}

struct size_row_t {
  rt_size_t size_type;
  float width, height;
};

TEST_F(GraphicsResourcesTest, SizeTypesDivideTheBackBufferSizeAtCreation) {
  gsys->backbuffer_size = {1279, 719};
  const size_row_t rows[] = {
      {RT_SIZE_EXPLICIT, 100, 50}, {RT_SIZE_BACKBUFFER, 1279, 719}, {RT_SIZE_HALF, 639, 359},
      {RT_SIZE_QUARTER, 319, 179}, {RT_SIZE_EIGHTH, 159, 89},       {static_cast<rt_size_t>(9), 100, 50},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size_type);
    auto target = resources->create_render_target(row.size_type, 100, 50, DXGI_FORMAT_R8G8B8A8_UNORM, 0);
    ASSERT_TRUE(target && target->texture);
    EXPECT_EQ(target->viewport.Width, row.width);
    EXPECT_EQ(target->viewport.Height, row.height);
    EXPECT_EQ(target->viewport.MaxDepth, 1.0f);
    EXPECT_EQ(target->texture_desc.Width, UINT(row.width));
    EXPECT_EQ(target->size_type, row.size_type);
  }
}

TEST_F(GraphicsResourcesTest, FlagsChooseTheViewsMipsAndDepthOfATarget) {
  auto plain = resources->create_render_target(RT_SIZE_EXPLICIT, 16, 16, DXGI_FORMAT_R16G16B16A16_FLOAT, 0);
  EXPECT_TRUE(plain->rtv);
  EXPECT_FALSE(plain->srv);
  EXPECT_FALSE(plain->uav);
  EXPECT_FALSE(plain->ds_dsv);
  EXPECT_EQ(plain->texture_desc.MipLevels, 1u);
  EXPECT_EQ(plain->texture_desc.BindFlags, UINT(D3D11_BIND_RENDER_TARGET));
  // Not pooled, yet marked in use for ever.
  EXPECT_EQ(plain->flags, UINT(RT_IN_USE));
  EXPECT_TRUE(resources->temp_targets().empty());

  auto full = resources->create_render_target(RT_SIZE_EXPLICIT, 16, 16, DXGI_FORMAT_R16G16B16A16_FLOAT,
                                              RT_SRV | RT_UAV | RT_MIPS | RT_DEPTH);
  EXPECT_TRUE(full->srv && full->uav && full->ds_texture && full->ds_dsv && full->ds_srv);
  D3D11_TEXTURE2D_DESC made{};
  full->texture->GetDesc(&made);
  EXPECT_EQ(made.MipLevels, 5u);
  EXPECT_EQ(full->texture_desc.MiscFlags, UINT(D3D11_RESOURCE_MISC_GENERATE_MIPS));
  EXPECT_EQ(full->texture_desc.BindFlags,
            UINT(D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_UNORDERED_ACCESS));
  EXPECT_EQ(full->ds_texture_desc.Format, DXGI_FORMAT_R32_TYPELESS);
  EXPECT_EQ(full->ds_dsv_desc.Format, DXGI_FORMAT_D32_FLOAT);
  EXPECT_EQ(full->ds_srv_desc.Format, DXGI_FORMAT_R32_FLOAT);
  EXPECT_EQ(full->srv_desc.Texture2D.MipLevels, UINT(-1));
  EXPECT_EQ(gsys->counters.created, 2);
  EXPECT_EQ(gsys->counters.reused, 0);
}

TEST_F(GraphicsResourcesTest, APooledTargetIsReusedOnlyAfterAFrameBoundaryOnceReleased) {
  const uint32_t flags = RT_TEMPORARY | RT_SRV;
  auto first = resources->create_render_target(RT_SIZE_EXPLICIT, 32, 32, DXGI_FORMAT_R8G8B8A8_UNORM, flags);
  auto second = resources->create_render_target(RT_SIZE_EXPLICIT, 32, 32, DXGI_FORMAT_R8G8B8A8_UNORM, flags);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->flags, flags | RT_IN_USE);

  render_target_t* first_record = first.get();
  first.reset();
  auto third = resources->create_render_target(RT_SIZE_EXPLICIT, 32, 32, DXGI_FORMAT_R8G8B8A8_UNORM, flags);
  EXPECT_NE(third.get(), first_record);
  EXPECT_EQ(gsys->counters.created, 3);
  EXPECT_EQ(resources->temp_targets().size(), 3u);

  resources->begin_frame();
  EXPECT_EQ(resources->temp_targets()[0]->flags, flags);
  auto again = resources->create_render_target(RT_SIZE_EXPLICIT, 32, 32, DXGI_FORMAT_R8G8B8A8_UNORM, flags);
  EXPECT_EQ(again.get(), first_record);
  EXPECT_EQ(again->flags, flags | RT_IN_USE);
  EXPECT_EQ(again->last_frame, 1);
  EXPECT_EQ(gsys->counters.created, 3);
  EXPECT_EQ(gsys->counters.reused, 1);
}

TEST_F(GraphicsResourcesTest, PooledTargetsMatchOnSizeFormatAndExactFlags) {
  struct request_t {
    int width, height;
    DXGI_FORMAT format;
    uint32_t flags;
  };
  const request_t base{32, 16, DXGI_FORMAT_R16G16B16A16_FLOAT, RT_TEMPORARY | RT_SRV};
  const request_t others[] = {
      {32, 16, DXGI_FORMAT_R16G16B16A16_FLOAT, RT_TEMPORARY | RT_SRV | RT_DEPTH},
      {32, 16, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY | RT_SRV},
      {16, 32, DXGI_FORMAT_R16G16B16A16_FLOAT, RT_TEMPORARY | RT_SRV},
      {32, 17, DXGI_FORMAT_R16G16B16A16_FLOAT, RT_TEMPORARY | RT_SRV},
  };
  render_target_t* pooled =
      resources->create_render_target(RT_SIZE_EXPLICIT, base.width, base.height, base.format, base.flags)
          .get();
  resources->begin_frame();
  for (const auto& other : others) {
    auto target = resources->create_render_target(RT_SIZE_EXPLICIT, other.width, other.height, other.format,
                                                  other.flags);
    EXPECT_NE(target.get(), pooled);
  }
  EXPECT_EQ(gsys->counters.reused, 0);
  // A non-temporary request never takes a pooled target either.
  EXPECT_NE(resources->create_render_target(RT_SIZE_EXPLICIT, 32, 16, base.format, RT_SRV).get(), pooled);
  EXPECT_EQ(resources->create_render_target(RT_SIZE_EXPLICIT, 32, 16, base.format, base.flags).get(), pooled);
}

TEST_F(GraphicsResourcesTest, AnUnusedPooledTargetIsDroppedAtTheEleventhFrameWithALine) {
  log_capture_t log;
  resources->begin_frame();  // frame 1
  render_target_t* record =
      resources->create_render_target(RT_SIZE_EXPLICIT, 8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY).get();
  for (int frame = 2; frame <= 11; ++frame) {
    resources->begin_frame();
    ASSERT_EQ(resources->temp_targets().size(), 1u) << "frame " << frame;
  }
  EXPECT_TRUE(log.lines.empty());
  resources->begin_frame();  // frame 12 = 1 + 11
  EXPECT_TRUE(resources->temp_targets().empty());
  EXPECT_TRUE(log.contains(LOG_LEVEL_DBG,
                           fmt::sprintf("Releasing temp render target: %p", static_cast<void*>(record))));
  EXPECT_EQ(log.lines.size(), 1u);
}

TEST_F(GraphicsResourcesTest, AHeldPooledTargetIsNeverDroppedAndDroppingDoesNotSkipTheNext) {
  auto held =
      resources->create_render_target(RT_SIZE_EXPLICIT, 8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY);
  resources->create_render_target(RT_SIZE_EXPLICIT, 4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY);
  resources->create_render_target(RT_SIZE_EXPLICIT, 2, 2, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY);
  for (int frame = 0; frame < 30; ++frame) resources->begin_frame();
  ASSERT_EQ(resources->temp_targets().size(), 1u);
  EXPECT_EQ(resources->temp_targets()[0], held);
  EXPECT_TRUE(held->flags & RT_IN_USE);
}

// Removing an entry moves the later ones down: the walk looks at the same place again, so
// neighbours that age out together leave at the same frame, and a held one between them stays.
TEST_F(GraphicsResourcesTest, NeighboursThatAgeOutTogetherLeaveAtTheSameFrame) {
  log_capture_t log;
  resources->begin_frame();  // frame 1
  auto make = [&](int size) {
    return resources->create_render_target(RT_SIZE_EXPLICIT, size, size, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY);
  };
  render_target_t* first = make(2).get();
  render_target_t* second = make(3).get();
  auto held = make(4);
  render_target_t* fourth = make(5).get();
  render_target_t* fifth = make(6).get();
  for (int frame = 2; frame <= 11; ++frame) resources->begin_frame();
  ASSERT_EQ(resources->temp_targets().size(), 5u);
  resources->begin_frame();  // frame 12
  ASSERT_EQ(resources->temp_targets().size(), 1u);
  EXPECT_EQ(resources->temp_targets()[0], held);
  EXPECT_EQ(log.lines.size(), 4u);
  for (render_target_t* gone : {first, second, fourth, fifth})
    EXPECT_TRUE(log.contains(LOG_LEVEL_DBG, fmt::sprintf("Releasing temp render target: %p", static_cast<void*>(gone))));
}

// A device that forwards to the test device and refuses the n-th call of one creation method.
class refusing_device_t final : public com_object_t<ID3D11Device> {
 public:
  enum call_t {
    texture2d,
    render_target_view,
    shader_resource_view,
    unordered_access_view,
    depth_stencil_view
  };

  refusing_device_t(ID3D11Device* real, call_t call, int nth) : real_(real), call_(call), nth_(nth) {}

  HRESULT CreateBuffer(const D3D11_BUFFER_DESC* d, const D3D11_SUBRESOURCE_DATA* i,
                       ID3D11Buffer** o) override {
    return real_->CreateBuffer(d, i, o);
  }
  HRESULT CreateTexture1D(const D3D11_TEXTURE1D_DESC* d, const D3D11_SUBRESOURCE_DATA* i,
                          ID3D11Texture1D** o) override {
    return real_->CreateTexture1D(d, i, o);
  }
  HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* d, const D3D11_SUBRESOURCE_DATA* i,
                          ID3D11Texture2D** o) override {
    return refuse(texture2d) ? E_OUTOFMEMORY : real_->CreateTexture2D(d, i, o);
  }
  HRESULT CreateTexture3D(const D3D11_TEXTURE3D_DESC* d, const D3D11_SUBRESOURCE_DATA* i,
                          ID3D11Texture3D** o) override {
    return real_->CreateTexture3D(d, i, o);
  }
  HRESULT CreateShaderResourceView(ID3D11Resource* r, const D3D11_SHADER_RESOURCE_VIEW_DESC* d,
                                   ID3D11ShaderResourceView** o) override {
    return refuse(shader_resource_view) ? E_OUTOFMEMORY : real_->CreateShaderResourceView(r, d, o);
  }
  HRESULT CreateRenderTargetView(ID3D11Resource* r, const D3D11_RENDER_TARGET_VIEW_DESC* d,
                                 ID3D11RenderTargetView** o) override {
    return refuse(render_target_view) ? E_OUTOFMEMORY : real_->CreateRenderTargetView(r, d, o);
  }
  HRESULT CreateDepthStencilView(ID3D11Resource* r, const D3D11_DEPTH_STENCIL_VIEW_DESC* d,
                                 ID3D11DepthStencilView** o) override {
    return refuse(depth_stencil_view) ? E_OUTOFMEMORY : real_->CreateDepthStencilView(r, d, o);
  }
  HRESULT CreateUnorderedAccessView(ID3D11Resource* r, const D3D11_UNORDERED_ACCESS_VIEW_DESC* d,
                                    ID3D11UnorderedAccessView** o) override {
    return refuse(unordered_access_view) ? E_OUTOFMEMORY : real_->CreateUnorderedAccessView(r, d, o);
  }
  HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* d, ID3D11RasterizerState** o) override {
    return real_->CreateRasterizerState(d, o);
  }
  HRESULT CreateBlendState(const D3D11_BLEND_DESC* d, ID3D11BlendState** o) override {
    return real_->CreateBlendState(d, o);
  }
  HRESULT CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* d, ID3D11DepthStencilState** o) override {
    return real_->CreateDepthStencilState(d, o);
  }
  HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* d, ID3D11SamplerState** o) override {
    return real_->CreateSamplerState(d, o);
  }
  HRESULT CreateVertexShader(const void* c, SIZE_T n, ID3D11ClassLinkage* l,
                             ID3D11VertexShader** o) override {
    return real_->CreateVertexShader(c, n, l, o);
  }
  HRESULT CreateGeometryShader(const void* c, SIZE_T n, ID3D11ClassLinkage* l,
                               ID3D11GeometryShader** o) override {
    return real_->CreateGeometryShader(c, n, l, o);
  }
  HRESULT CreatePixelShader(const void* c, SIZE_T n, ID3D11ClassLinkage* l, ID3D11PixelShader** o) override {
    return real_->CreatePixelShader(c, n, l, o);
  }
  HRESULT CreateComputeShader(const void* c, SIZE_T n, ID3D11ClassLinkage* l,
                              ID3D11ComputeShader** o) override {
    return real_->CreateComputeShader(c, n, l, o);
  }
  HRESULT CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* e, UINT n, const void* c, SIZE_T s,
                            ID3D11InputLayout** o) override {
    return real_->CreateInputLayout(e, n, c, s, o);
  }
  void GetImmediateContext(ID3D11DeviceContext** context) override { real_->GetImmediateContext(context); }
  D3D_FEATURE_LEVEL GetFeatureLevel() override { return real_->GetFeatureLevel(); }

 private:
  bool refuse(call_t call) { return call == call_ && ++seen_ == nth_; }

  ID3D11Device* real_;
  call_t call_;
  int nth_;
  int seen_ = 0;
};

struct failure_row_t {
  refusing_device_t::call_t call;
  int nth;
  const char* text;
};

TEST_F(GraphicsResourcesTest, EachRefusedCreationStepThrowsItsCallTextAndChangesNothing) {
  const failure_row_t rows[] = {
      {refusing_device_t::texture2d, 1, "device_->CreateTexture2D(&rt->texture_desc, NULL, &rt->texture)"},
      {refusing_device_t::render_target_view, 1,
       "device_->CreateRenderTargetView(rt->texture, &rt->rtv_desc, &rt->rtv)"},
      {refusing_device_t::shader_resource_view, 1,
       "device_->CreateShaderResourceView(rt->texture, &rt->srv_desc, &rt->srv)"},
      {refusing_device_t::unordered_access_view, 1,
       "device_->CreateUnorderedAccessView(rt->texture, &rt->uav_desc, &rt->uav)"},
      {refusing_device_t::texture2d, 2,
       "device_->CreateTexture2D(&rt->ds_texture_desc, NULL, &rt->ds_texture)"},
      {refusing_device_t::depth_stencil_view, 1,
       "device_->CreateDepthStencilView(rt->ds_texture, &rt->ds_dsv_desc, &rt->ds_dsv)"},
      {refusing_device_t::shader_resource_view, 2,
       "device_->CreateShaderResourceView(rt->ds_texture, &rt->ds_srv_desc, &rt->ds_srv)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    com_ptr_t<refusing_device_t> refusing;
    refusing.attach(new refusing_device_t(device, row.call, row.nth));
    graphics_resource_impl_t service(refusing, context);
    gsys->counters = {};
    try {
      service.create_render_target(RT_SIZE_EXPLICIT, 8, 8, DXGI_FORMAT_R8G8B8A8_UNORM,
                                   RT_TEMPORARY | RT_SRV | RT_UAV | RT_DEPTH);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), std::string(row.text) + ": " + hresult_message(E_OUTOFMEMORY));
    }
    EXPECT_TRUE(service.temp_targets().empty());
    EXPECT_EQ(gsys->counters.created, 0);
    service.release_all();
  }
}

}  // namespace
