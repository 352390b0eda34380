// Read-back through staging resources: CopyResource and CopySubresourceRegion into STAGING
// textures and buffers, Map READ with rows at the reported RowPitch (and slices at DepthPitch),
// mip levels and array slices as subresources, and the write direction through a writable staging
// texture.

#include <cstring>
#include <vector>

#include "common/d3d11_test_support.h"

using namespace d3d11_test;

namespace {

class D3D11StagingTest : public device_fixture_t {
 protected:
  com_ptr_t<ID3D11Texture2D> staging_2d(UINT w, UINT h, UINT mips = 1, UINT slices = 1,
                                        DXGI_FORMAT format = DXGI_FORMAT_R8G8B8A8_UNORM,
                                        UINT cpu = D3D11_CPU_ACCESS_READ) {
    D3D11_TEXTURE2D_DESC desc{w, h, mips, slices, format, {1, 0}, D3D11_USAGE_STAGING, 0, cpu, 0};
    com_ptr_t<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &texture), S_OK);
    return texture;
  }
  // Texels of a mapped 32-bit-per-texel subresource, read row by row at its RowPitch.
  std::vector<uint32_t> map_texels(ID3D11Resource* staging, UINT subresource, UINT w, UINT h) {
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, subresource, D3D11_MAP_READ, 0, &mapped), S_OK);
    if (!mapped.pData) return {};
    EXPECT_GE(mapped.RowPitch, w * 4);
    std::vector<uint32_t> texels(size_t(w) * h);
    for (UINT y = 0; y < h; ++y)
      std::memcpy(&texels[size_t(y) * w],
                  static_cast<const uint8_t*>(mapped.pData) + size_t(y) * mapped.RowPitch, w * 4);
    context->Unmap(staging, subresource);
    return texels;
  }
};

// Texel (x, y) of slice s, level l of the source textures: distinct everywhere.
uint32_t texel(UINT x, UINT y, UINT level = 0, UINT slice = 0) {
  return rgba(uint8_t(x * 16 + 1), uint8_t(y * 16 + 2), uint8_t(level * 64 + 3), uint8_t(slice * 64 + 4));
}

// A 5 × 3 texture uploaded from rows padded to 32 bytes reads back unpadded through a staging copy.
TEST_F(D3D11StagingTest, CopyResourceThenMapReadHonoursRowPitch) {
  constexpr UINT pitch = 32;
  std::vector<uint8_t> rows(pitch * 3, 0xCC);
  for (UINT y = 0; y < 3; ++y)
    for (UINT x = 0; x < 5; ++x) {
      const uint32_t value = texel(x, y);
      std::memcpy(&rows[y * pitch + x * 4], &value, 4);
    }
  D3D11_TEXTURE2D_DESC desc{
      5, 3, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  const D3D11_SUBRESOURCE_DATA init{rows.data(), pitch, 0};
  com_ptr_t<ID3D11Texture2D> source;
  ASSERT_EQ(device->CreateTexture2D(&desc, &init, &source), S_OK);
  auto staging = staging_2d(5, 3);
  context->CopyResource(staging, source);
  const auto texels = map_texels(staging, 0, 5, 3);
  for (UINT y = 0; y < 3; ++y)
    for (UINT x = 0; x < 5; ++x) EXPECT_EQ(texels[y * 5 + x], texel(x, y)) << x << "," << y;
}

// CopySubresourceRegion: a box of the source lands at (x, y) of the destination, nothing else
// changes; levels and slices are addressed as subresources (level + slice × levels).
TEST_F(D3D11StagingTest, CopySubresourceRegionMovesBoxesLevelsAndSlices) {
  // 4 × 4, three levels, three slices.
  std::vector<std::vector<uint32_t>> blocks;
  std::vector<const void*> data;
  for (UINT slice = 0; slice < 3; ++slice)
    for (UINT level = 0; level < 3; ++level) {
      const UINT w = 4 >> level;
      std::vector<uint32_t> block(w * w);
      for (UINT y = 0; y < w; ++y)
        for (UINT x = 0; x < w; ++x) block[y * w + x] = texel(x, y, level, slice);
      blocks.push_back(std::move(block));
    }
  for (const auto& b : blocks) data.push_back(b.data());
  D3D11_TEXTURE2D_DESC desc{
      4, 4, 3, 3, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE,
      0, 0};
  auto source = texture_2d(desc, data, 4);

  // A 3 × 2 box from (1, 1) of level 0, slice 0 to (2, 3) of an 8 × 8 staging texture.
  auto big = staging_2d(8, 8);
  const D3D11_BOX box{1, 1, 0, 4, 3, 1};
  context->CopySubresourceRegion(big, 0, 2, 3, 0, source, 0, &box);
  const auto moved = map_texels(big, 0, 8, 8);
  for (UINT y = 0; y < 8; ++y)
    for (UINT x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 3 && y < 5;
      EXPECT_EQ(moved[y * 8 + x], inside ? texel(x - 1, y - 2) : 0u) << x << "," << y;
    }

  const struct { UINT level, slice; } cases[] = {{1, 0}, {2, 0}, {0, 2}, {1, 2}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "level " << c.level << " slice " << c.slice);
    const UINT w = 4 >> c.level;
    auto one = staging_2d(w, w);
    context->CopySubresourceRegion(one, 0, 0, 0, 0, source, c.level + c.slice * 3, nullptr);
    const auto texels = map_texels(one, 0, w, w);
    for (UINT y = 0; y < w; ++y)
      for (UINT x = 0; x < w; ++x)
        EXPECT_EQ(texels[y * w + x], texel(x, y, c.level, c.slice)) << x << "," << y;
  }

  // The whole array into a staging array: each subresource maps on its own.
  auto copy = staging_2d(4, 4, 3, 3);
  context->CopyResource(copy, source);
  for (UINT slice = 0; slice < 3; ++slice)
    for (UINT level = 0; level < 3; ++level) {
      const UINT w = 4 >> level;
      const auto texels = map_texels(copy, level + slice * 3, w, w);
      ASSERT_EQ(texels.size(), size_t(w) * w);
      EXPECT_EQ(texels[w * w - 1], texel(w - 1, w - 1, level, slice)) << level << " " << slice;
    }
}

// A 2 × 2 × 3 volume maps with rows at RowPitch and slices at DepthPitch.
TEST_F(D3D11StagingTest, VolumeMapsReportRowAndDepthPitches) {
  std::vector<uint32_t> values(12);
  for (UINT i = 0; i < 12; ++i) values[i] = 1000 + i;
  D3D11_TEXTURE3D_DESC desc{2, 2, 3, 1, DXGI_FORMAT_R32_UINT, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE,
                            0, 0};
  const D3D11_SUBRESOURCE_DATA init{values.data(), 8, 16};
  com_ptr_t<ID3D11Texture3D> volume;
  ASSERT_EQ(device->CreateTexture3D(&desc, &init, &volume), S_OK);
  desc.Usage = D3D11_USAGE_STAGING, desc.BindFlags = 0, desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  com_ptr_t<ID3D11Texture3D> staging;
  ASSERT_EQ(device->CreateTexture3D(&desc, nullptr, &staging), S_OK);
  context->CopyResource(staging, volume);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  ASSERT_GE(mapped.RowPitch, 8u);
  ASSERT_GE(mapped.DepthPitch, mapped.RowPitch * 2);
  for (UINT z = 0; z < 3; ++z)
    for (UINT y = 0; y < 2; ++y)
      for (UINT x = 0; x < 2; ++x) {
        uint32_t value = 0;
        std::memcpy(
            &value,
            static_cast<const uint8_t*>(mapped.pData) + z * mapped.DepthPitch + y * mapped.RowPitch + x * 4,
            4);
        EXPECT_EQ(value, 1000 + z * 4 + y * 2 + x) << x << "," << y << "," << z;
      }
  context->Unmap(staging, 0);
}

// Buffers: a byte range copied to an offset of a staging buffer, then read.
TEST_F(D3D11StagingTest, BufferRegionsCopyToAnOffset) {
  const uint32_t values[8] = {10, 11, 12, 13, 14, 15, 16, 17};
  auto source = make_buffer(32, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                            D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 4, values);
  auto staging = make_buffer(32, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, 0);
  const D3D11_BOX box{4, 0, 0, 16, 1, 1};  // values 11, 12, 13
  context->CopySubresourceRegion(staging, 0, 8, 0, 0, source, 0, &box);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  const auto* read = static_cast<const uint32_t*>(mapped.pData);
  EXPECT_EQ(std::vector<uint32_t>(read, read + 8), (std::vector<uint32_t>{0, 0, 11, 12, 13, 0, 0, 0}));
  context->Unmap(staging, 0);
}

// New buffers read as zero whatever their size: the clear's pattern depends on how it divides.
TEST_F(D3D11StagingTest, NewBuffersOfEverySizeReadZero) {
  for (UINT size : {48u, 20u, 7u}) {
    SCOPED_TRACE(size);
    auto staging = make_buffer(size, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, 0);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    const auto* bytes = static_cast<const uint8_t*>(mapped.pData);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), std::vector<uint8_t>(size, 0));
    context->Unmap(staging, 0);
  }
}

// Writing through a staging texture: Map WRITE at RowPitch, copy into a default texture that a
// shader then reads, and back out through a read staging texture.
TEST_F(D3D11StagingTest, WritableStagingTexturesUploadTheirRows) {
  auto upload = staging_2d(3, 2, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_CPU_ACCESS_WRITE);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(upload, 0, D3D11_MAP_WRITE, 0, &mapped), S_OK);
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 3; ++x) {
      const uint32_t value = texel(x, y, 1);
      std::memcpy(static_cast<uint8_t*>(mapped.pData) + y * mapped.RowPitch + x * 4, &value, 4);
    }
  context->Unmap(upload, 0);
  auto target = make_target(3, 2);
  context->CopyResource(target.texture, upload);
  auto copy = make_target(3, 2);
  auto ps = pixel_shader(R"(
Texture2D tex : register(t0);
float4 main(float4 pos : SV_Position) : SV_Target { return tex.Load(int3(pos.xy, 0)); })");
  bind_target(copy);
  ID3D11ShaderResourceView* views[] = {target.srv};
  context->PSSetShaderResources(0, 1, views);
  draw_fullscreen(ps);
  auto readback = staging_2d(3, 2);
  context->CopyResource(readback, copy.texture);
  const auto texels = map_texels(readback, 0, 3, 2);
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 3; ++x) EXPECT_EQ(texels[y * 3 + x], texel(x, y, 1)) << x << "," << y;
}

}  // namespace
