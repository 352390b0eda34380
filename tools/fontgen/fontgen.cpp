// fontgen: renders the printable ASCII glyphs of a TrueType font as signed distances (one distance
// copied into all three channels is a valid multi-channel field), packs them into one atlas and
// writes the font file: glyph metrics, the font's kerning pairs and the atlas as a PNG.
//
// Usage: fontgen <font.ttf> <out.msdf> [pixel height]

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#pragma GCC diagnostic ignored "-Wcast-qual"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wuseless-cast"
#endif
#pragma GCC diagnostic ignored "-Wsign-conversion"
// The packer first: stb_truetype otherwise declares a stand-in of its own.
#define STB_RECT_PACK_IMPLEMENTATION
#include <stb/stb_rect_pack.h>
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

constexpr int first_code = 32;
constexpr int last_code = 126;
constexpr int padding = 6;            // texels of distance around each glyph
constexpr unsigned char on_edge = 128;
constexpr float distance_scale = 128.0f / padding;  // the field reaches 0 and 255 at the padding

struct glyph_t {
  int32_t code = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t x_offset = 0, y_offset = 0, x_advance = 0;
  std::vector<unsigned char> distances;
};

void put_int32(std::vector<uint8_t>& out, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The 8 bytes in front of each section: a tag and the section's size, for people reading dumps.
void put_section(std::vector<uint8_t>& out, const char tag[5], int32_t size) {
  out.insert(out.end(), tag, tag + 4);
  put_int32(out, size);
}

void append_bytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: fontgen <font.ttf> <out.msdf> [pixel height]\n");
    return 2;
  }
  const float pixel_height = argc > 3 ? std::strtof(argv[3], nullptr) : 48.0f;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<unsigned char> ttf{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  stbtt_fontinfo info;
  if (ttf.empty() || !stbtt_InitFont(&info, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
    std::fprintf(stderr, "fontgen: %s is no TrueType font\n", argv[1]);
    return 1;
  }
  const float scale = stbtt_ScaleForPixelHeight(&info, pixel_height);
  int ascent = 0, descent = 0, line_gap = 0;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &line_gap);
  const int32_t line_height = static_cast<int32_t>(std::lround((ascent - descent + line_gap) * scale));

  std::vector<glyph_t> glyphs;
  for (int code = first_code; code <= last_code; ++code) {
    glyph_t g;
    g.code = code;
    int advance = 0, lsb = 0;
    stbtt_GetCodepointHMetrics(&info, code, &advance, &lsb);
    g.x_advance = static_cast<int32_t>(std::lround(advance * scale));
    int w = 0, h = 0, xoff = 0, yoff = 0;
    unsigned char* sdf =
        stbtt_GetCodepointSDF(&info, scale, code, padding, on_edge, distance_scale, &w, &h, &xoff, &yoff);
    if (sdf) {
      g.width = w;
      g.height = h;
      g.x_offset = xoff;
      g.y_offset = yoff + h;  // from the baseline down to the bottom edge
      g.distances.assign(sdf, sdf + size_t(w) * size_t(h));
      stbtt_FreeSDF(sdf, nullptr);
    }
    glyphs.push_back(std::move(g));
  }

  // Pack into the smallest power-of-two atlas, growing the height first.
  int atlas_width = 256, atlas_height = 256;
  std::vector<stbrp_rect> rects;
  for (;;) {
    rects.clear();
    for (size_t i = 0; i < glyphs.size(); ++i)
      rects.push_back({static_cast<int>(i), glyphs[i].width + 1, glyphs[i].height + 1, 0, 0, 0});
    std::vector<stbrp_node> nodes(static_cast<size_t>(atlas_width));
    stbrp_context context;
    stbrp_init_target(&context, atlas_width, atlas_height, nodes.data(), static_cast<int>(nodes.size()));
    if (stbrp_pack_rects(&context, rects.data(), static_cast<int>(rects.size()))) break;
    if (atlas_height <= atlas_width) atlas_height *= 2;
    else atlas_width *= 2;
    if (atlas_width > 4096) {
      std::fprintf(stderr, "fontgen: the glyphs do not fit a 4096 atlas\n");
      return 1;
    }
  }
  std::vector<uint8_t> rgba(size_t(atlas_width) * size_t(atlas_height) * 4, 0);
  for (size_t p = 3; p < rgba.size(); p += 4) rgba[p] = 255;
  for (const stbrp_rect& r : rects) {
    glyph_t& g = glyphs[size_t(r.id)];
    g.x = r.x;
    g.y = r.y;
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        const unsigned char d = g.distances[size_t(y) * size_t(g.width) + size_t(x)];
        uint8_t* texel = &rgba[(size_t(g.y + y) * size_t(atlas_width) + size_t(g.x + x)) * 4];
        texel[0] = texel[1] = texel[2] = d;
      }
  }
  std::vector<uint8_t> png;
  if (!stbi_write_png_to_func(append_bytes, &png, atlas_width, atlas_height, 4, rgba.data(), atlas_width * 4)) {
    std::fprintf(stderr, "fontgen: cannot encode the atlas\n");
    return 1;
  }

  std::vector<std::pair<int32_t, int32_t>> kerning;
  for (int a = first_code; a <= last_code; ++a)
    for (int b = first_code; b <= last_code; ++b) {
      const int32_t amount = static_cast<int32_t>(std::lround(stbtt_GetCodepointKernAdvance(&info, a, b) * scale));
      if (amount != 0) kerning.emplace_back(a << 16 | b, amount);
    }

  std::vector<uint8_t> out;
  put_section(out, "INFO", 12);
  put_int32(out, static_cast<int32_t>(glyphs.size()));
  put_int32(out, static_cast<int32_t>(pixel_height));
  put_int32(out, line_height);
  put_section(out, "CHRS", static_cast<int32_t>(glyphs.size() * 48));
  for (const glyph_t& g : glyphs) {
    for (int32_t v : {g.code, 0, 0, g.x, g.y, g.width, g.height, g.x_offset, g.y_offset, g.x_advance, 0, 0})
      put_int32(out, v);
  }
  put_section(out, "KERN", static_cast<int32_t>(4 + kerning.size() * 8));
  put_int32(out, static_cast<int32_t>(kerning.size()));
  for (const auto& [key, amount] : kerning) {
    put_int32(out, key);
    put_int32(out, amount);
  }
  const std::string name = "gantrybolt.png";
  put_section(out, "PAGE", static_cast<int32_t>(12 + name.size() + png.size()));
  put_int32(out, 1);
  put_int32(out, static_cast<int32_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  put_int32(out, static_cast<int32_t>(png.size()));
  out.insert(out.end(), png.begin(), png.end());

  std::ofstream file(argv[2], std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("fontgen: %zu glyphs, %zu kerning pairs, %dx%d atlas, line height %d\n", glyphs.size(),
              kerning.size(), atlas_width, atlas_height, line_height);
  return 0;
}
