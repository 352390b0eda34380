#include "media/msdf_font.h"

#include <cstring>

#include <fmt/printf.h>

#include "files/filesystem.h"
#include "media/image_decoder.h"
#include "support/log.h"
#include "support/systems.h"

namespace {

// A cursor over the file's bytes that refuses to move past their end.
class byte_reader_t {
 public:
  byte_reader_t(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  size_t offset() const { return offset_; }
  size_t left() const { return size_ - offset_; }
  bool skip(uint64_t n) {
    if (n > left()) return false;
    offset_ += static_cast<size_t>(n);
    return true;
  }
  bool read_int32(int32_t& value) {
    if (left() < 4) return false;
    const uint8_t* p = bytes_ + offset_;
    value = static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    offset_ += 4;
    return true;
  }
  const uint8_t* here() const { return bytes_ + offset_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t offset_ = 0;
};

constexpr size_t section_gap = 8;  // the block in front of every section, not interpreted

tl::unexpected<std::string> overrun(const char* what, size_t offset) {
  return tl::unexpected(fmt::sprintf("%s at byte %d runs past the end of the file", what, int64_t(offset)));
}

}  // namespace

int32_t msdf_font_t::kerning_of(int32_t previous, int32_t current) const {
  const auto found = kerning.find(static_cast<int32_t>(static_cast<uint32_t>(previous) << 16 | uint32_t(current)));
  return found == kerning.end() ? 0 : found->second;
}

void msdf_font_t::release() {
  pixels.clear();
  pixels.shrink_to_fit();
  for (msdf_glyph_t& slot : glyphs) slot = msdf_glyph_t{};
  kerning.clear();
  atlas_width = atlas_height = 0;
}

tl::expected<void, std::string> parse_msdf_font(const uint8_t* bytes, size_t size, msdf_font_t& font) {
  byte_reader_t in(bytes, size);
  if (!in.skip(section_gap) || !in.read_int32(font.glyph_count) || !in.read_int32(font.header_word) ||
      !in.read_int32(font.line_height) || !in.skip(section_gap))
    return overrun("the header", in.offset());
  if (font.glyph_count < 0) return tl::unexpected(fmt::sprintf("glyph count %d is negative", font.glyph_count));
  if (uint64_t(font.glyph_count) * sizeof(msdf_glyph_t) > in.left())
    return tl::unexpected(fmt::sprintf("%d glyph records run past the end of the file", font.glyph_count));
  for (int32_t i = 0; i < font.glyph_count; ++i) {
    msdf_glyph_t record;
    int32_t* fields = &record.code;
    for (int k = 0; k < 12; ++k) in.read_int32(fields[k]);
    // Codes beyond a byte, -1 included as an unsigned number, name no slot.
    if (static_cast<uint32_t>(record.code) <= 255) font.glyphs[record.code] = record;
  }

  int32_t kerning_count = 0;
  if (!in.skip(section_gap) || !in.read_int32(kerning_count)) return overrun("the kerning count", in.offset());
  if (kerning_count > 0) {
    if (uint64_t(kerning_count) * 8 > in.left())
      return tl::unexpected(fmt::sprintf("%d kerning pairs run past the end of the file", kerning_count));
    for (int32_t i = 0; i < kerning_count; ++i) {
      int32_t key = 0, amount = 0;
      in.read_int32(key);
      in.read_int32(amount);
      font.kerning[key] = amount;
    }
  }

  int32_t pages = 0, name_length = 0, image_size = 0;
  if (!in.skip(section_gap) || !in.read_int32(pages)) return overrun("the page count", in.offset());
  if (pages < 1) return tl::unexpected(fmt::sprintf("page count %d is below 1", pages));
  if (!in.read_int32(name_length)) return overrun("the image name", in.offset());
  if (name_length < 0 || !in.skip(uint64_t(name_length))) return overrun("the image name", in.offset());
  if (!in.read_int32(image_size)) return overrun("the image size", in.offset());
  if (image_size < 0 || uint64_t(image_size) > in.left()) return overrun("the atlas image", in.offset());

  auto image = decode_image_rgba8(in.here(), static_cast<size_t>(image_size));
  if (!image) return tl::unexpected(std::string("the atlas image does not decode"));
  const size_t pixel_bytes = size_t(image->width) * size_t(image->height) * 4;
  font.pixels.assign(image->pixels.get(), image->pixels.get() + pixel_bytes);
  font.atlas_width = image->width;
  font.atlas_height = image->height;
  return {};
}

bool load_msdf_font(msdf_font_t& font) {
  byte_vector_t bytes;
  if (!g_systems || !S(filesystem) || !S(filesystem)->read_file(msdf_font_path, bytes)) {
    LOG_WRN("Font file %s cannot be read", msdf_font_path);
    return false;
  }
  auto parsed = parse_msdf_font(bytes.data(), bytes.size(), font);
  if (!parsed) {
    LOG_WRN("Font file %s: %s", msdf_font_path, parsed.error().c_str());
    font.pixels.clear();
    return false;
  }
  return true;
}
