#pragma once
// The multi-channel signed-distance-field font file: little-endian fixed-width fields holding the
// glyph metrics (one slot per byte value), the kerning pairs and the atlas image (PNG or JPEG).

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <tl/expected.hpp>

// Sizes and offsets in atlas texels.
struct msdf_glyph_t {
  int32_t code = -1;  // -1: the slot is empty
  int32_t unused_a = 0;
  int32_t unused_b = 0;
  int32_t atlas_x = 0;
  int32_t atlas_y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t x_offset = 0;
  int32_t y_offset = 0;  // from the baseline down to the glyph's bottom edge
  int32_t x_advance = 0;
  int32_t unused_c = 0;
  int32_t unused_d = 0;
};
static_assert(sizeof(msdf_glyph_t) == 48);

struct msdf_font_t {
  int32_t glyph_count = 0;
  int32_t header_word = 0;
  int32_t line_height = 0;
  msdf_glyph_t glyphs[256];
  std::unordered_map<int32_t, int32_t> kerning;  // (previous << 16 | current) -> amount
  std::vector<uint8_t> pixels;                   // RGBA8, rows top first
  int32_t atlas_width = 0;
  int32_t atlas_height = 0;
  // The layout position: pen x starts each line at 0, pen y is never reset.
  float pen_x = 0.0f;
  float pen_y = 0.0f;

  const msdf_glyph_t* glyph(uint8_t code) const { return glyphs[code].code == -1 ? nullptr : &glyphs[code]; }
  int32_t kerning_of(int32_t previous, int32_t current) const;
  void release();
};

inline constexpr const char* msdf_font_path = "data/fonts/gantrybolt.msdf";

// Fills the font from the file's bytes; a count or length that overruns the bytes, a page count
// below 1 or an image that does not decode is an error with its reason. Nothing is read past the
// end of the bytes.
tl::expected<void, std::string> parse_msdf_font(const uint8_t* bytes, size_t size, msdf_font_t& font);
// Reads "data/fonts/gantrybolt.msdf" through the file system and parses it; false with a warning
// naming the reason when it cannot.
bool load_msdf_font(msdf_font_t& font);
