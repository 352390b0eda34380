#pragma once
// Test-only: font files in the signed-distance-field font layout, written field by field, with a
// small PNG atlas.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include "media/msdf_font.h"

namespace font_test {

// A width × height RGBA PNG whose texel (x, y) is (x, y, 7, 255).
inline std::vector<uint8_t> make_png(int width, int height) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) rgba.insert(rgba.end(), {uint8_t(x), uint8_t(y), 7, 255});
  std::vector<uint8_t> png;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      },
      &png, width, height, 4, rgba.data(), width * 4);
  return png;
}

struct font_file_t {
  int32_t line_height = 50;
  std::vector<msdf_glyph_t> glyphs;
  std::vector<std::pair<int32_t, int32_t>> kerning;
  int32_t kerning_count = -1;  // -1: the number of pairs
  int32_t pages = 1;
  std::string image_name = "atlas.png";
  std::vector<uint8_t> image = make_png(8, 4);

  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    auto put = [&](int32_t v) {
      for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    };
    auto gap = [&] { out.insert(out.end(), 8, uint8_t(0xAB)); };
    gap();
    put(int32_t(glyphs.size()));
    put(42);
    put(line_height);
    gap();
    for (const msdf_glyph_t& g : glyphs) {
      const int32_t* fields = &g.code;
      for (int k = 0; k < 12; ++k) put(fields[k]);
    }
    gap();
    put(kerning_count >= 0 ? kerning_count : int32_t(kerning.size()));
    for (const auto& [key, amount] : kerning) {
      put(key);
      put(amount);
    }
    gap();
    put(pages);
    put(int32_t(image_name.size()));
    out.insert(out.end(), image_name.begin(), image_name.end());
    put(int32_t(image.size()));
    out.insert(out.end(), image.begin(), image.end());
    return out;
  }
};

inline msdf_glyph_t glyph(int32_t code, int32_t x, int32_t y, int32_t w, int32_t h, int32_t advance,
                          int32_t x_offset = 0, int32_t y_offset = 0) {
  msdf_glyph_t g;
  g.code = code;
  g.atlas_x = x;
  g.atlas_y = y;
  g.width = w;
  g.height = h;
  g.x_offset = x_offset;
  g.y_offset = y_offset;
  g.x_advance = advance;
  return g;
}

}  // namespace font_test
