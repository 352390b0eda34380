#include "blocks/sdf_text_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/strings.h"
#include "variables/animation.h"

namespace {

constexpr int32_t elastic_out = 8;
constexpr float laid_out_depth = 10.0f;
constexpr float start_depth = -20.0f;

float float_of(const variable_ptr_t& variable, float fallback) {
  const float* value = variable ? std::get_if<float>(&variable->value.value) : nullptr;
  return value ? *value : fallback;
}

}  // namespace

void layout_text_line(msdf_font_t& font, const std::string& text, float scale,
                      std::vector<sdf_text_vertex_t>& vertices) {
  font.pen_x = 0.0f;
  int32_t previous = 0;
  const float w_atlas = static_cast<float>(font.atlas_width);
  const float h_atlas = static_cast<float>(font.atlas_height);
  for (const std::string& line : split_string(text, '\n')) {
    font.pen_x = 0.0f;
    const size_t first = vertices.size();
    for (const char byte : line) {
      const uint8_t c = static_cast<uint8_t>(byte);
      const msdf_glyph_t* glyph = font.glyph(c);
      if (!glyph) continue;
      const float k = static_cast<float>(font.kerning_of(previous, c));
      const float x0 = font.pen_x + static_cast<float>(glyph->x_offset) + k;
      const float y0 = font.pen_y - static_cast<float>(glyph->y_offset);
      const float w = static_cast<float>(glyph->width);
      const float h = static_cast<float>(glyph->height);
      const float gx = static_cast<float>(glyph->atlas_x);
      const float gy = static_cast<float>(glyph->atlas_y);
      vertices.push_back({x0, y0, laid_out_depth, gx / w_atlas, (gy + h) / h_atlas, 0.0f});
      vertices.push_back({x0, y0 + h, laid_out_depth, gx / w_atlas, gy / h_atlas, 0.0f});
      vertices.push_back({x0 + w, y0 + h, laid_out_depth, (gx + w) / w_atlas, gy / h_atlas, 0.0f});
      vertices.push_back({x0 + w, y0, laid_out_depth, (gx + w) / w_atlas, (gy + h) / h_atlas, 0.0f});
      font.pen_x += static_cast<float>(glyph->x_advance);
      previous = c;
    }
    if (vertices.size() > first) {
      float smallest = std::numeric_limits<float>::max();
      float largest = std::numeric_limits<float>::lowest();
      for (size_t i = first; i < vertices.size(); ++i) {
        smallest = std::min(smallest, vertices[i].x);
        largest = std::max(largest, vertices[i].x);
      }
      for (size_t i = first; i < vertices.size(); ++i) {
        vertices[i].x = (vertices[i].x - smallest - (largest - smallest) * 0.5f) * scale;
        vertices[i].y *= scale;
      }
    }
    font.pen_y -= static_cast<float>(font.line_height);
  }
}

void sdf_text_object_t::add_line(msdf_font_t& font, float scale, const std::string& line, float line_delay) {
  const size_t before = laid_out.size();
  text += line;
  layout_text_line(font, line, scale, laid_out);
  line_delays.insert(line_delays.end(), (laid_out.size() - before) / 4, line_delay);
  animated = laid_out;
  depth_order.reserve(quad_count());
}

float letter_depth(float f) {
  const float e = apply_easing(elastic_out, std::max(f, 0.0f) / 10.0f);
  return (1.0f - e) * start_depth;
}

void animate_text(sdf_text_object_t& text, float t, float text_delay, float y_offset) {
  const float start = float_of(text.start, 0.0f);
  const float fade = float_of(text.fade, 1.0f);
  // A fade of 0 or less has no ramp: every letter is in place from the start time on.
  float run = 0.0f;
  if (fade > 0.0f) {
    run = (t - start) / fade;
  } else {
    run = t >= start ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
  }
  const size_t quads = std::min(text.quad_count(), text.line_delays.size());
  text.depth_order.clear();
  for (size_t i = 0; i < quads; ++i) {
    const float f = run - static_cast<float>(i) / 10.0f - text.line_delays[i] - text_delay;
    text.depth_order.emplace_back(letter_depth(f), static_cast<uint32_t>(i));
  }
  // Far letters first; equal depths keep text order.
  std::sort(text.depth_order.begin(), text.depth_order.end(),
            [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
  text.animated.resize(quads * 4);
  for (size_t j = 0; j < quads; ++j) {
    const auto [z, i] = text.depth_order[j];
    for (size_t k = 0; k < 4; ++k) {
      sdf_text_vertex_t vertex = text.laid_out[size_t(i) * 4 + k];
      vertex.y += y_offset;
      vertex.z = z;
      text.animated[j * 4 + k] = vertex;
    }
  }
}
