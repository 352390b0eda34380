// Feeds arbitrary bytes to the signed-distance-field font reader and lays a line out with what it
// accepts; an accepted font has an atlas whose pixels match its size, and every quad's texture
// coordinates come from its glyph record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "blocks/sdf_text_layout.h"
#include "media/msdf_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto font = std::make_unique<msdf_font_t>();
  if (!parse_msdf_font(data, size, *font)) {
    if (!font->pixels.empty()) std::abort();
    return 0;
  }
  if (font->atlas_width <= 0 || font->atlas_height <= 0) std::abort();
  if (font->pixels.size() != size_t(font->atlas_width) * size_t(font->atlas_height) * 4) std::abort();
  std::string line;
  for (int c = 1; c < 256; ++c) line.push_back(char(c == '\n' ? ' ' : c));
  std::vector<sdf_text_vertex_t> vertices;
  layout_text_line(*font, line, 0.05f, vertices);
  if (vertices.size() % 4 != 0) std::abort();
  return 0;
}
