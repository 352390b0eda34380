// The signed-distance-field font file: which glyph records fill which slots, the kerning pairs,
// the atlas, and files that are cut short, overrun by their counts, refused or missing.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/filesystem_fixture.h"
#include "common/log_capture.h"
#include "common/msdf_font_writer.h"
#include "media/msdf_font.h"
#include "support/systems.h"

namespace {

using font_test::font_file_t;
using font_test::glyph;

TEST(MsdfFontTest, GlyphCodesOutsideAByteAreIgnoredAndALaterRecordWins) {
  font_file_t file;
  file.glyphs = {glyph(65, 1, 2, 3, 4, 5), glyph(-1, 9, 9, 9, 9, 9), glyph(256, 9, 9, 9, 9, 9),
                 glyph(1000, 9, 9, 9, 9, 9), glyph(66, 0, 0, 1, 1, 1), glyph(65, 10, 20, 30, 40, 33)};
  const std::vector<uint8_t> bytes = file.bytes();
  auto font = std::make_unique<msdf_font_t>();
  ASSERT_TRUE(parse_msdf_font(bytes.data(), bytes.size(), *font).has_value());
  EXPECT_EQ(font->glyph_count, 6);
  EXPECT_EQ(font->line_height, 50);
  int filled = 0;
  for (int c = 0; c < 256; ++c) filled += font->glyph(uint8_t(c)) ? 1 : 0;
  EXPECT_EQ(filled, 2);
  ASSERT_NE(font->glyph('A'), nullptr);
  EXPECT_EQ(font->glyph('A')->atlas_x, 10);
  EXPECT_EQ(font->glyph('A')->x_advance, 33);
  EXPECT_EQ(font->glyph(255), nullptr);
  EXPECT_EQ(font->atlas_width, 8);
  EXPECT_EQ(font->atlas_height, 4);
  ASSERT_EQ(font->pixels.size(), 8u * 4u * 4u);
  EXPECT_EQ(font->pixels[(2 * 8 + 5) * 4 + 0], 5) << "texel (5, 2), rows top first";
  EXPECT_EQ(font->pixels[(2 * 8 + 5) * 4 + 1], 2);
}

TEST(MsdfFontTest, KerningPairsAreKeyedByPreviousThenCurrentCodeAndALaterPairWins) {
  font_file_t file;
  file.glyphs = {glyph('A', 0, 0, 1, 1, 1), glyph('V', 0, 0, 1, 1, 1)};
  file.kerning = {{'A' << 16 | 'V', -5}, {'V' << 16 | 'A', -2}, {'A' << 16 | 'V', -3}};
  const std::vector<uint8_t> bytes = file.bytes();
  auto font = std::make_unique<msdf_font_t>();
  ASSERT_TRUE(parse_msdf_font(bytes.data(), bytes.size(), *font).has_value());
  EXPECT_EQ(font->kerning.size(), 2u);
  EXPECT_EQ(font->kerning_of('A', 'V'), -3);
  EXPECT_EQ(font->kerning_of('V', 'A'), -2);
  EXPECT_EQ(font->kerning_of('A', 'A'), 0);

  // A count of 0 or below means no pairs, and nothing of the pairs section is read.
  file.kerning.clear();
  file.kerning_count = -7;
  const std::vector<uint8_t> none = file.bytes();
  auto plain = std::make_unique<msdf_font_t>();
  ASSERT_TRUE(parse_msdf_font(none.data(), none.size(), *plain).has_value());
  EXPECT_TRUE(plain->kerning.empty());
}

// Every cut of a good file, counts past its end and refused fields fail with a reason; nothing is
// read beyond the bytes (the sanitizers watch) and no pixels are left.
TEST(MsdfFontTest, TruncatedOverrunAndRefusedFilesFailWithTheirReason) {
  font_file_t good;
  good.glyphs = {glyph('A', 0, 0, 2, 2, 3), glyph('B', 2, 0, 2, 2, 3)};
  good.kerning = {{'A' << 16 | 'B', -1}};
  const std::vector<uint8_t> full = good.bytes();
  for (size_t cut = 0; cut < full.size(); ++cut) {
    const std::vector<uint8_t> part(full.begin(), full.begin() + std::ptrdiff_t(cut));
    auto font = std::make_unique<msdf_font_t>();
    auto parsed = parse_msdf_font(part.data(), part.size(), *font);
    ASSERT_FALSE(parsed.has_value()) << "cut at " << cut;
    EXPECT_TRUE(font->pixels.empty());
  }

  struct case_t {
    const char* what;
    size_t field;  // byte offset of the int32 to replace
    int32_t value;
    const char* reason;
  };
  const size_t kerning_at = 36 + 48 * 2;
  const size_t pages_at = 40 + 48 * 2 + 8 + 8;
  const case_t cases[] = {
      {"glyph count past the end", 8, 1000000, "1000000 glyph records run past the end"},
      {"negative glyph count", 8, -3, "glyph count -3 is negative"},
      {"kerning count past the end", kerning_at, 400000000, "400000000 kerning pairs run past the end"},
      {"page count 0", pages_at, 0, "page count 0 is below 1"},
      {"name length past the end", pages_at + 4, 1 << 30, "the image name"},
      {"negative name length", pages_at + 4, -1, "the image name"},
      {"image size past the end", pages_at + 8 + 9, 1 << 30, "the atlas image"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = full;
    for (int i = 0; i < 4; ++i) bytes[c.field + size_t(i)] = uint8_t(uint32_t(c.value) >> (8 * i));
    auto font = std::make_unique<msdf_font_t>();
    auto parsed = parse_msdf_font(bytes.data(), bytes.size(), *font);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_NE(parsed.error().find(c.reason), std::string::npos) << parsed.error();
    EXPECT_TRUE(font->pixels.empty());
  }

  font_file_t not_an_image = good;
  not_an_image.image = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> bytes = not_an_image.bytes();
  auto font = std::make_unique<msdf_font_t>();
  auto parsed = parse_msdf_font(bytes.data(), bytes.size(), *font);
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error(), "the atlas image does not decode");
}

// The font is read through the file system; a missing file and a refused one are warnings that
// name the file and the reason.
class MsdfFontFileTest : public filesystem_fixture_t {
 protected:
  void SetUp() override {
    filesystem_fixture_t::SetUp();
    saved_ = g_systems;
    systems_.filesystem = fs.get();
    g_systems = &systems_;
  }
  void TearDown() override {
    g_systems = saved_;
    filesystem_fixture_t::TearDown();
  }

 private:
  systems_t systems_;
  systems_t* saved_ = nullptr;
};

TEST_F(MsdfFontFileTest, MissingAndRefusedFilesWarnAndAGoodOneLoads) {
  {
    log_capture_t log;
    auto font = std::make_unique<msdf_font_t>();
    EXPECT_FALSE(load_msdf_font(*font));
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().second, "Font file data/fonts/gantrybolt.msdf cannot be read");
  }
  font_file_t file;
  file.glyphs = {glyph('A', 0, 0, 2, 2, 3)};
  file.pages = 0;
  std::vector<uint8_t> bytes = file.bytes();
  write("data/fonts/gantrybolt.msdf", std::string(bytes.begin(), bytes.end()));
  {
    log_capture_t log;
    auto font = std::make_unique<msdf_font_t>();
    EXPECT_FALSE(load_msdf_font(*font));
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().second, "Font file data/fonts/gantrybolt.msdf: page count 0 is below 1");
    EXPECT_TRUE(font->pixels.empty());
  }
  file.pages = 1;
  bytes = file.bytes();
  write("data/fonts/gantrybolt.msdf", std::string(bytes.begin(), bytes.end()));
  auto font = std::make_unique<msdf_font_t>();
  EXPECT_TRUE(load_msdf_font(*font));
  EXPECT_EQ(font->atlas_width, 8);
}

}  // namespace
