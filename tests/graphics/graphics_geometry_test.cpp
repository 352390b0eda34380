// Geometry: the dynamic vertex ring and its wrap, index buffers; state sets from presets and from
// descriptions.

#include <cstring>
#include <limits>
#include <stdexcept>

#include "graphics/geometry.h"
#include "graphics/state_set.h"
#include "common/graphics_test_support.h"

namespace {

using graphics_test::graphics_fixture_t;

class GraphicsGeometryTest : public graphics_fixture_t {
 protected:
  // Fills the whole shadow with `value` and commits it.
  int commit_filled(dyn_buffer_base& ring, uint8_t value, int bytes) {
    std::memset(ring.shadow, value, bytes);
    return ring.commit(ring.shadow + bytes);
  }
};

TEST_F(GraphicsGeometryTest, DynamicVerticesHaveAShadowAndARingOfThreeShadows) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(100, 36);
  EXPECT_EQ(geometry.count, 100);
  EXPECT_EQ(geometry.stride, 36);
  ASSERT_TRUE(geometry.dyn_vertices);
  dyn_buffer_base& ring = *geometry.dyn_vertices;
  EXPECT_EQ(ring.stride, 36);
  EXPECT_EQ(ring.capacity, 3 * 3600);
  EXPECT_EQ(ring.write_offset, 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(ring.shadow) % 16, 0u);
  D3D11_BUFFER_DESC desc{};
  ring.buffer->GetDesc(&desc);
  EXPECT_EQ(desc.ByteWidth, 10800u);
  EXPECT_EQ(desc.Usage, D3D11_USAGE_DYNAMIC);
  EXPECT_EQ(desc.BindFlags, UINT(D3D11_BIND_VERTEX_BUFFER));
  EXPECT_EQ(desc.CPUAccessFlags, UINT(D3D11_CPU_ACCESS_WRITE));
  EXPECT_EQ(ring.size, 0);
  EXPECT_EQ(ring.count, 0);
}

TEST_F(GraphicsGeometryTest, TheRingHandsOutFreshRangesAndWrapsWithADiscard) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(100, 36);
  dyn_buffer_base& ring = *geometry.dyn_vertices;
  EXPECT_EQ(commit_filled(ring, 1, 3600), 0);
  EXPECT_EQ(commit_filled(ring, 2, 3600), 100);
  EXPECT_EQ(commit_filled(ring, 3, 3600), 200);
  EXPECT_EQ(ring.write_offset, 10800);
  const auto full = read_buffer<uint8_t>(ring.buffer, 10800);
  EXPECT_EQ(full[0], 1);
  EXPECT_EQ(full[3599], 1);
  EXPECT_EQ(full[3600], 2);
  EXPECT_EQ(full[7200], 3);
  EXPECT_EQ(full[10799], 3);

  EXPECT_EQ(commit_filled(ring, 4, 3600), 0);
  EXPECT_EQ(ring.write_offset, 3600);
  EXPECT_EQ(read_buffer<uint8_t>(ring.buffer, 1)[0], 4);
  // A short batch after a full one starts right behind it.
  EXPECT_EQ(commit_filled(ring, 5, 72), 100);
  EXPECT_EQ(ring.write_offset, 3672);
}

TEST_F(GraphicsGeometryTest, AnEmptyCommitReturnsZeroAndKeepsThePosition) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(10, 16);
  dyn_buffer_base& ring = *geometry.dyn_vertices;
  EXPECT_EQ(commit_filled(ring, 7, 32), 0);
  EXPECT_EQ(ring.commit(ring.shadow), 0);
  EXPECT_EQ(ring.write_offset, 32);
}

TEST_F(GraphicsGeometryTest, ABatchLongerThanTheShadowIsRefused) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(4, 16);
  dyn_buffer_base& ring = *geometry.dyn_vertices;
  EXPECT_EQ(commit_filled(ring, 1, 32), 0);
  EXPECT_EQ(ring.commit(ring.shadow + 65), 0);
  EXPECT_EQ(ring.write_offset, 32);
}

TEST_F(GraphicsGeometryTest, ShadowSizesRoundUpTo16) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(3, 12);
  EXPECT_EQ(geometry.dyn_vertices->capacity, 3 * 48);
}

TEST_F(GraphicsGeometryTest, ARefusedRingThrowsItsCallTextAndKeepsThePreviousRing) {
  dyn_buffer_base ring;
  ring.stride = 16;
  ring.create(64);
  ID3D11Buffer* previous = ring.buffer;
  uint8_t* previous_shadow = ring.shadow;
  try {
    ring.create(0);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what())
                  .rfind("S(gsys)->get_device()->CreateBuffer(&desc, nullptr, &buffer.p): ", 0),
              0u)
        << error.what();
  }
  EXPECT_EQ(ring.buffer.get(), previous);
  EXPECT_EQ(ring.shadow, previous_shadow);
  EXPECT_EQ(ring.capacity, 192);
}

// Ring sizes are computed in 64 bits: three times a size, or a count times a stride, that an int
// cannot hold is refused before anything changes.
TEST_F(GraphicsGeometryTest, RingsTooLargeForAnIntAreRefused) {
  geometry_t geometry;
  geometry.create_dynamic_vertices(10, 16);
  const dyn_buffer_base* previous = geometry.dyn_vertices.get();
  struct ring_case_t {
    int count, stride;
  };
  for (const ring_case_t& c :
       {ring_case_t{100000, 100000}, ring_case_t{50000000, 16}, ring_case_t{-1, 16}, ring_case_t{16, -1}}) {
    EXPECT_THROW(geometry.create_dynamic_vertices(c.count, c.stride), std::runtime_error)
        << c.count << " " << c.stride;
    EXPECT_EQ(geometry.dyn_vertices.get(), previous);
    EXPECT_EQ(geometry.count, 10);
  }
  dyn_buffer_base ring;
  ring.stride = 16;
  ring.create(64);
  for (int size : {800000000, std::numeric_limits<int>::max(), -16}) {
    EXPECT_THROW(ring.create(size), std::runtime_error) << size;
    EXPECT_EQ(ring.capacity, 192);
  }
  geometry.create_index_buffer(std::numeric_limits<int>::max(), 0, nullptr);
  EXPECT_EQ(geometry.index_size, 0);
  EXPECT_FALSE(geometry.index_buffer);
}

TEST_F(GraphicsGeometryTest, IndexBuffersAreImmutable32Bit) {
  geometry_t geometry;
  const uint32_t indices[] = {0, 1, 2, 2, 1, 3};
  geometry.create_index_buffer(6, 12345, indices);
  EXPECT_EQ(geometry.index_size, 24);
  EXPECT_EQ(geometry.index_format, DXGI_FORMAT_R32_UINT);
  ASSERT_TRUE(geometry.index_buffer);
  EXPECT_EQ(geometry.index_buffer->count, 6);
  EXPECT_EQ(geometry.index_buffer->format, DXGI_FORMAT_R32_UINT);
  EXPECT_EQ(read_buffer<uint32_t>(geometry.index_buffer->buffer, 6),
            std::vector<uint32_t>(indices, indices + 6));
  EXPECT_EQ(geometry.topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
}

TEST_F(GraphicsGeometryTest, AStateSetFromPresetsHoldsThePresetRecords) {
  state_set_t states;
  states.rasterizer_id = 2;
  ASSERT_TRUE(states.create(3, 6, 2, {3, 1}));
  EXPECT_EQ(states.depth_stencil, resources->get_depth_stencil_state(3));
  EXPECT_EQ(states.blend, resources->get_blend_state(6));
  EXPECT_EQ(states.rasterizer, resources->get_rasterizer_state(2));
  ASSERT_EQ(states.samplers.size(), 2u);
  EXPECT_EQ(states.samplers[0], resources->get_sampler_state(3));
  EXPECT_EQ(states.samplers[1], resources->get_sampler_state(1));
  EXPECT_EQ(states.depth_stencil_id, 3);
  EXPECT_EQ(states.blend_id, 6);
  EXPECT_EQ(states.rasterizer_id, 2);
  EXPECT_EQ(states.sampler_ids, std::vector<int32_t>({3, 1}));
}

TEST_F(GraphicsGeometryTest, WithoutSamplerIdsTheSetTakesPointClampLinearWrapMirrorAndClamp) {
  state_set_t states;
  ASSERT_TRUE(states.create(1, 1, 1, {}));
  ASSERT_EQ(states.samplers.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(states.samplers[i], resources->get_sampler_state(i + 2)) << i;
  // Rebuilding starts the sampler list afresh.
  ASSERT_TRUE(states.create(1, 1, 1, {4}));
  ASSERT_EQ(states.samplers.size(), 1u);
  EXPECT_EQ(states.samplers[0], resources->get_sampler_state(4));
}

TEST_F(GraphicsGeometryTest, AMissingPresetLogsAndLeavesTheStatesAsTheyWere) {
  state_set_t states;
  ASSERT_TRUE(states.create(1, 2, 1, {}));
  const auto blend = states.blend;
  struct row_t {
    int depth_stencil, blend, rasterizer;
    std::vector<int32_t> samplers;
  };
  const row_t rows[] = {{5, 1, 1, {}}, {1, 9, 1, {}}, {1, 1, 0, {}}, {1, 1, 1, {1, 7}}};
  for (const auto& row : rows) {
    log_capture_t log;
    EXPECT_FALSE(states.create(row.depth_stencil, row.blend, row.rasterizer, row.samplers));
    EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Unable to find state"));
    EXPECT_EQ(states.blend, blend);
    EXPECT_EQ(states.samplers.size(), 4u);
  }
}

TEST_F(GraphicsGeometryTest, NullDescriptionsTakeTheDirect3DDefaults) {
  state_set_t states;
  ASSERT_TRUE(states.create_from_descs(nullptr, nullptr, nullptr, nullptr, 0));
  // The defaults equal depth preset 1, blend preset 1 and rasterizer preset 1, so they share them.
  EXPECT_EQ(states.depth_stencil, resources->get_depth_stencil_state(1));
  EXPECT_EQ(states.blend, resources->get_blend_state(1));
  EXPECT_EQ(states.rasterizer, resources->get_rasterizer_state(1));
  EXPECT_EQ(states.samplers.size(), 4u);

  D3D11_SAMPLER_DESC samplers[2] = {sampler_preset_desc(2), sampler_preset_desc(1)};
  samplers[1].MipLODBias = 1.0f;
  ASSERT_TRUE(states.create_from_descs(nullptr, nullptr, nullptr, samplers, 2));
  ASSERT_EQ(states.samplers.size(), 2u);
  EXPECT_EQ(states.samplers[0], resources->get_sampler_state(2));
  EXPECT_EQ(states.samplers[1]->desc.MipLODBias, 1.0f);
}

TEST_F(GraphicsGeometryTest, ARefusedDescriptionMakesTheSetIncomplete) {
  state_set_t states;
  D3D11_RASTERIZER_DESC bad = rasterizer_preset_desc(1);
  bad.CullMode = static_cast<D3D11_CULL_MODE>(9);
  EXPECT_FALSE(states.create_from_descs(nullptr, nullptr, &bad, nullptr, 0));
  EXPECT_FALSE(states.rasterizer);
}

}  // namespace
