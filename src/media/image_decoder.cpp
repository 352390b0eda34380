#include "media/image_decoder.h"

#include <climits>
#include <cstring>
#include <vector>

// The decoder's functions stay local to this file, so another user of stb_image cannot clash.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

uint32_t big_endian(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The PNG without its empty image-data chunks, or nothing when it has none: the decoder copies
// such a chunk's no bytes through a null pointer before it has any buffer, which is undefined.
std::optional<std::vector<uint8_t>> without_empty_idat(const uint8_t* bytes, size_t size) {
  static constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 || std::memcmp(bytes, signature, 8) != 0) return std::nullopt;
  std::optional<std::vector<uint8_t>> kept;
  size_t at = 8;
  while (size - at >= 12) {
    const uint64_t chunk = 12 + uint64_t(big_endian(bytes + at));
    if (chunk > size - at) break;
    const bool empty_idat = chunk == 12 && std::memcmp(bytes + at + 4, "IDAT", 4) == 0;
    if (empty_idat && !kept) kept.emplace(bytes, bytes + at);
    if (!empty_idat && kept) kept->insert(kept->end(), bytes + at, bytes + at + chunk);
    at += size_t(chunk);
  }
  if (kept) kept->insert(kept->end(), bytes + at, bytes + size);
  return kept;
}

}  // namespace

void decoded_image_t::free_pixels_t::operator()(uint8_t* pixels) const { stbi_image_free(pixels); }

std::optional<decoded_image_t> decode_image_rgba8(const uint8_t* bytes, size_t size) {
  if (!bytes || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
  const auto cleaned = without_empty_idat(bytes, size);
  if (cleaned) bytes = cleaned->data(), size = cleaned->size();
  decoded_image_t image;
  int channels = 0;
  image.pixels.reset(stbi_load_from_memory(bytes, static_cast<int>(size), &image.width, &image.height, &channels, 4));
  if (!image.pixels) return std::nullopt;
  return image;
}
