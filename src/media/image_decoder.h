#pragma once
// PNG and JPEG files in memory decoded to 8-bit RGBA, first row first.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

struct decoded_image_t {
  struct free_pixels_t {
    void operator()(uint8_t* pixels) const;
  };
  std::unique_ptr<uint8_t, free_pixels_t> pixels;  // width × height × 4 bytes
  int width = 0;
  int height = 0;
};

// Nothing when the bytes are no image the decoder reads.
std::optional<decoded_image_t> decode_image_rgba8(const uint8_t* bytes, size_t size);
