#pragma once
// Test-only: writes DDS files for the layouts that common tools do not write (DX10 headers, 1D
// textures, arrays, cubes, volumes) and deliberately broken headers.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dds_test {

constexpr uint32_t fourcc(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
         uint32_t(uint8_t(code[3])) << 24;
}

constexpr uint32_t flag_height = 0x2;
constexpr uint32_t flag_volume = 0x800000;
constexpr uint32_t pf_alpha = 0x2;
constexpr uint32_t pf_fourcc = 0x4;
constexpr uint32_t pf_rgb = 0x40;
constexpr uint32_t pf_luminance = 0x20000;
constexpr uint32_t pf_bump = 0x80000;
constexpr uint32_t caps2_cube_all_faces = 0x200 | 0xFC00;

struct dds_header_t {
  uint32_t magic = 0x20534444;
  uint32_t header_size = 124;
  uint32_t flags = 0x1007 | flag_height;
  uint32_t height = 1;
  uint32_t width = 1;
  uint32_t pitch = 0;
  uint32_t depth = 0;
  uint32_t mip_count = 1;
  uint32_t pf_size = 32;
  uint32_t pf_flags = pf_rgb;
  uint32_t pf_fourcc_code = 0;
  uint32_t pf_bits = 32;
  uint32_t r_mask = 0xFF, g_mask = 0xFF00, b_mask = 0xFF0000, a_mask = 0xFF000000;
  uint32_t caps2 = 0;
  bool dx10 = false;
  uint32_t dxgi_format = 28;
  uint32_t dimension = 3;
  uint32_t misc_flags = 0;
  uint32_t array_size = 1;
};

inline void put_u32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

// The headers followed by `pixels`.
inline std::vector<uint8_t> dds_file(dds_header_t h, const std::vector<uint8_t>& pixels = {}) {
  if (h.dx10) h.pf_flags = pf_fourcc, h.pf_fourcc_code = fourcc("DX10");
  std::vector<uint8_t> bytes(h.dx10 ? 148 : 128, 0);
  put_u32(bytes, 0, h.magic);
  put_u32(bytes, 4, h.header_size);
  put_u32(bytes, 8, h.flags);
  put_u32(bytes, 12, h.height);
  put_u32(bytes, 16, h.width);
  put_u32(bytes, 20, h.pitch);
  put_u32(bytes, 24, h.depth);
  put_u32(bytes, 28, h.mip_count);
  put_u32(bytes, 76, h.pf_size);
  put_u32(bytes, 80, h.pf_flags);
  put_u32(bytes, 84, h.pf_fourcc_code);
  put_u32(bytes, 88, h.pf_bits);
  put_u32(bytes, 92, h.r_mask);
  put_u32(bytes, 96, h.g_mask);
  put_u32(bytes, 100, h.b_mask);
  put_u32(bytes, 104, h.a_mask);
  put_u32(bytes, 108, 0x1000);
  put_u32(bytes, 112, h.caps2);
  if (h.dx10) {
    put_u32(bytes, 128, h.dxgi_format);
    put_u32(bytes, 132, h.dimension);
    put_u32(bytes, 136, h.misc_flags);
    put_u32(bytes, 140, h.array_size);
  }
  // GCC 12 at -O2 misjudges the bounds of this append once the header's size is known.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  return bytes;
}

// RGBA8 texels for every slice, level and depth slice of a texture in file order, each texel
// (slice × 20 + level × 5 + z, x, y, 255) so that a read-back texel names where it came from.
inline std::vector<uint8_t> tagged_rgba8(uint32_t slices, uint32_t mips, uint32_t w, uint32_t h, uint32_t d) {
  std::vector<uint8_t> pixels;
  for (uint32_t s = 0; s < slices; ++s) {
    uint32_t lw = w, lh = h, ld = d;
    for (uint32_t level = 0; level < mips; ++level) {
      for (uint32_t z = 0; z < ld; ++z)
        for (uint32_t y = 0; y < lh; ++y)
          for (uint32_t x = 0; x < lw; ++x)
            pixels.insert(pixels.end(), {uint8_t(s * 20 + level * 5 + z), uint8_t(x), uint8_t(y), 255});
      lw = lw > 1 ? lw / 2 : 1, lh = lh > 1 ? lh / 2 : 1, ld = ld > 1 ? ld / 2 : 1;
    }
  }
  return pixels;
}

constexpr uint32_t tagged_texel(uint32_t slice, uint32_t level, uint32_t z, uint32_t x, uint32_t y) {
  return (slice * 20 + level * 5 + z) | x << 8 | y << 16 | 0xFFu << 24;
}

}  // namespace dds_test
