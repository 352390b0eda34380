#pragma once
// The letters of the signed-distance-field text: lines laid out once into quads from the font's
// glyphs and kerning, and the per-frame fly-in that moves each quad from behind into place.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/msdf_font.h"
#include "variables/variable.h"

struct sdf_text_vertex_t {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  float u = 0.0f, v = 0.0f;
  float unused = 0.0f;
};
static_assert(sizeof(sdf_text_vertex_t) == 24);

// One of the texts: its lines, a delay and four vertices per letter that has a glyph (letters
// without one make no quad and take no delay, so delays and quads stay aligned).
struct sdf_text_object_t {
  // Appends the line's quads, centred on x = 0 and scaled, with one delay per quad.
  void add_line(msdf_font_t& font, float scale, const std::string& line, float line_delay);
  size_t quad_count() const { return laid_out.size() / 4; }

  std::string text;
  std::vector<float> line_delays;
  std::vector<sdf_text_vertex_t> laid_out;
  std::vector<sdf_text_vertex_t> animated;
  variable_ptr_t start;
  variable_ptr_t end;
  variable_ptr_t fade;
  std::vector<std::pair<float, uint32_t>> depth_order;  // kept so a frame allocates nothing
};

// Lays out the text's lines (split on "\n") at the font's pen, each centred on x = 0 and scaled;
// every line moves the pen down by one line height.
void layout_text_line(msdf_font_t& font, const std::string& text, float scale,
                      std::vector<sdf_text_vertex_t>& vertices);

// Each letter's depth at time t: it starts at z = -20 and settles with an elastic ease, one letter
// after the other, after its line's delay and the text's delay; the quads are then ordered by
// decreasing depth and moved up by y_offset.
void animate_text(sdf_text_object_t& text, float t, float text_delay, float y_offset);
// The depth of a letter whose fly-in has run f (seconds over the fade); f <= 0 is the start.
float letter_depth(float f);
