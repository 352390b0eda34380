#include "media/image_decoder.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

// The decoder's functions stay local to this file, so another user of stb_image cannot clash.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
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

// An image may hold this many pixels, or as many as its bytes could plausibly expand to: the
// header alone must not size a buffer of gigabytes.
bool plausible_size(int width, int height, size_t size) {
  if (width <= 0 || height <= 0) return false;
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  return pixels <= std::max<uint64_t>(uint64_t(1) << 24, uint64_t(size) * 8192);
}

struct jpeg_failure_t {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void on_jpeg_error(j_common_ptr info) {
  std::longjmp(reinterpret_cast<jpeg_failure_t*>(info->err)->jump, 1);
}
void on_jpeg_message(j_common_ptr) {}

// JPEG through libjpeg; nothing for a file it refuses. What is set before the jump and used after
// it lives outside this frame's registers.
std::optional<decoded_image_t> decode_jpeg(const uint8_t* bytes, size_t size) {
  struct state_t {
    jpeg_decompress_struct info{};
    jpeg_failure_t failure{};
    uint8_t* pixels = nullptr;
  };
  auto state = std::make_unique<state_t>();
  state_t* volatile s = state.get();
  s->info.err = jpeg_std_error(&s->failure.manager);
  s->failure.manager.error_exit = on_jpeg_error;
  s->failure.manager.output_message = on_jpeg_message;
  if (setjmp(s->failure.jump)) {
    jpeg_destroy_decompress(&s->info);
    std::free(s->pixels);
    return std::nullopt;
  }
  jpeg_create_decompress(&s->info);
  jpeg_mem_src(&s->info, bytes, static_cast<unsigned long>(size));
  if (jpeg_read_header(&s->info, TRUE) != JPEG_HEADER_OK ||
      !plausible_size(int(s->info.image_width), int(s->info.image_height), size)) {
    jpeg_destroy_decompress(&s->info);
    return std::nullopt;
  }
  s->info.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&s->info);
  const size_t row = size_t(s->info.output_width) * 4;
  s->pixels = static_cast<uint8_t*>(std::malloc(row * s->info.output_height));
  if (!s->pixels || s->info.output_components != 4) {
    jpeg_destroy_decompress(&s->info);
    std::free(s->pixels);
    return std::nullopt;
  }
  while (s->info.output_scanline < s->info.output_height) {
    JSAMPROW line = s->pixels + row * s->info.output_scanline;
    jpeg_read_scanlines(&s->info, &line, 1);
  }
  jpeg_finish_decompress(&s->info);
  decoded_image_t image;
  image.width = int(s->info.output_width);
  image.height = int(s->info.output_height);
  image.pixels.reset(s->pixels);
  jpeg_destroy_decompress(&s->info);
  return image;
}

}  // namespace

// Both decoders allocate with malloc, so one free releases either's pixels.
void decoded_image_t::free_pixels_t::operator()(uint8_t* pixels) const { std::free(pixels); }

std::optional<decoded_image_t> decode_image_rgba8(const uint8_t* bytes, size_t size) {
  if (!bytes || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return decode_jpeg(bytes, size);
  int width = 0, height = 0, components = 0;
  if (!stbi_info_from_memory(bytes, static_cast<int>(size), &width, &height, &components) ||
      !plausible_size(width, height, size))
    return std::nullopt;
  const auto cleaned = without_empty_idat(bytes, size);
  if (cleaned) bytes = cleaned->data(), size = cleaned->size();
  decoded_image_t image;
  int channels = 0;
  image.pixels.reset(stbi_load_from_memory(bytes, static_cast<int>(size), &image.width, &image.height, &channels, 4));
  if (!image.pixels) return std::nullopt;
  return image;
}
