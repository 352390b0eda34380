#include "media/image_decoder.h"

#include <climits>

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

void decoded_image_t::free_pixels_t::operator()(uint8_t* pixels) const { stbi_image_free(pixels); }

std::optional<decoded_image_t> decode_image_rgba8(const uint8_t* bytes, size_t size) {
  if (!bytes || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
  decoded_image_t image;
  int channels = 0;
  image.pixels.reset(stbi_load_from_memory(bytes, static_cast<int>(size), &image.width, &image.height, &channels, 4));
  if (!image.pixels) return std::nullopt;
  return image;
}
