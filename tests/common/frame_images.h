#pragma once
// Test-only: frames read back from the back buffer as RGBA8, compared with the expected images kept
// beside the playback tests, and written as PNG when they differ.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "media/image_decoder.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace frame_images {

inline uint8_t channel(uint32_t pixel, int i) { return static_cast<uint8_t>(pixel >> (8 * i)); }

// How far a frame is from the expected one, over the colour channels.
struct frame_difference_t {
  double mean = 0.0;          // mean absolute difference of a channel
  double far_fraction = 0.0;  // pixels with a channel further off than `far`
};

inline frame_difference_t compare_frames(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected,
                                         int far) {
  frame_difference_t d;
  size_t far_pixels = 0;
  for (size_t i = 0; i < actual.size(); ++i) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int delta = std::abs(int(channel(actual[i], c)) - int(channel(expected[i], c)));
      d.mean += delta;
      worst = std::max(worst, delta);
    }
    far_pixels += worst > far ? 1 : 0;
  }
  d.mean /= double(actual.size()) * 3.0;
  d.far_fraction = double(far_pixels) / double(actual.size());
  return d;
}

// llvmpipe may round differently on another CPU, and a ray that grazes a surface can then hit or
// miss: a frame matches when its mean channel difference is at most 1.5 and at most 1 % of its
// pixels are further off than 24 in a channel. A wrong blend, fade, camera or scene changes far more.
inline bool frames_match(const frame_difference_t& d) { return d.mean <= 1.5 && d.far_fraction <= 0.01; }

inline std::optional<std::vector<uint32_t>> read_png(const std::filesystem::path& path, int width, int height) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto image = decode_image_rgba8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!image || image->width != width || image->height != height) return std::nullopt;
  std::vector<uint32_t> pixels(size_t(width) * height);
  std::memcpy(pixels.data(), image->pixels.get(), pixels.size() * 4);
  return pixels;
}

inline bool write_png(const std::filesystem::path& path, std::vector<uint32_t> pixels, int width, int height) {
  for (uint32_t& p : pixels) p |= 0xff000000u;
  std::filesystem::create_directories(path.parent_path());
  return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4) != 0;
}

// An image file in memory: a width × height gradient, encoded as PNG or JPEG.
inline std::vector<uint8_t> encode_gradient(int width, int height, bool jpeg) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) rgba.insert(rgba.end(), {uint8_t(x * 255 / width), uint8_t(y * 255 / height), 90, 255});
  std::vector<uint8_t> file;
  auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  };
  if (jpeg)
    stbi_write_jpg_to_func(append, &file, width, height, 4, rgba.data(), 90);
  else
    stbi_write_png_to_func(append, &file, width, height, 4, rgba.data(), width * 4);
  return file;
}

}  // namespace frame_images
