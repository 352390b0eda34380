// The signed-distance-field text's layout and fly-in, on fonts made in the test: kerning, line
// centring and scale, the pen moving down line by line, atlas coordinates, letters without a glyph,
// the per-letter delays and the elastic depth at stated times.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "blocks/block_sdf_text.h"
#include "blocks/sdf_text_layout.h"
#include "common/msdf_font_writer.h"

namespace {

using font_test::glyph;

// A font of the capitals A to Z, each 20 texels wide and advancing by 20, in a W × H atlas.
std::unique_ptr<msdf_font_t> capitals(int width = 512, int height = 512) {
  auto font = std::make_unique<msdf_font_t>();
  font->atlas_width = width;
  font->atlas_height = height;
  font->line_height = 60;
  for (int c = 'A'; c <= 'Z'; ++c) font->glyphs[c] = glyph(c, 10, 20, 20, 40, 20);
  return font;
}

float min_x(const std::vector<sdf_text_vertex_t>& v) {
  float m = v.front().x;
  for (const auto& p : v) m = std::min(m, p.x);
  return m;
}
float max_x(const std::vector<sdf_text_vertex_t>& v) {
  float m = v.front().x;
  for (const auto& p : v) m = std::max(m, p.x);
  return m;
}

TEST(SdfTextLayoutTest, LinesAreCentredScaledAndKernedAndThePenMovesDown) {
  auto font = capitals();
  std::vector<sdf_text_vertex_t> two;
  layout_text_line(*font, "AB", 0.05f, two);
  ASSERT_EQ(two.size(), 8u);
  EXPECT_FLOAT_EQ(min_x(two), -1.0f) << "0..40 shifted by -20 and scaled by 0.05";
  EXPECT_FLOAT_EQ(max_x(two), 1.0f);
  EXPECT_FLOAT_EQ(font->pen_y, -60.0f);

  // A then V with -3: the V sits three font units left of its advance, before the scale.
  auto kerned = capitals();
  kerned->kerning['A' << 16 | 'V'] = -3;
  std::vector<sdf_text_vertex_t> av;
  layout_text_line(*kerned, "AV", 1.0f, av);
  EXPECT_FLOAT_EQ(av[4].x - av[0].x, 17.0f);
  EXPECT_FLOAT_EQ(max_x(av) - min_x(av), 37.0f);

  // Lines split on newlines; each moves the pen down one line height, which is never reset.
  std::vector<sdf_text_vertex_t> lines;
  layout_text_line(*font, "A\nB\n\nC", 1.0f, lines);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_FLOAT_EQ(lines[0].y, -60.0f);
  EXPECT_FLOAT_EQ(lines[4].y, -120.0f);
  EXPECT_FLOAT_EQ(lines[8].y, -180.0f);
  EXPECT_FLOAT_EQ(font->pen_y, -240.0f);
}

TEST(SdfTextLayoutTest, AtlasCoordinatesInSquareAndWideAtlases) {
  struct case_t {
    int width, height;
  };
  for (const case_t c : {case_t{512, 512}, case_t{1024, 512}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    auto font = capitals(c.width, c.height);
    std::vector<sdf_text_vertex_t> v;
    layout_text_line(*font, "A", 1.0f, v);
    ASSERT_EQ(v.size(), 4u);
    const float w = float(c.width), h = float(c.height);
    // Bottom left, top left, top right, bottom right: v is 20/512 at the top edge, 60/512 at the bottom.
    EXPECT_FLOAT_EQ(v[0].u, 10 / w);
    EXPECT_FLOAT_EQ(v[0].v, 60 / h);
    EXPECT_FLOAT_EQ(v[1].v, 20 / h);
    EXPECT_FLOAT_EQ(v[2].u, 30 / w);
    EXPECT_FLOAT_EQ(v[3].v, 60 / h);
    EXPECT_FLOAT_EQ(v[1].y - v[0].y, 40.0f);
    for (const auto& p : v) EXPECT_EQ(p.z, 10.0f);
  }
}

// Letters without a glyph make no quad and take no delay, so the letters after them keep theirs
// and the drawn quads are the laid-out ones.
TEST(SdfTextLayoutTest, LettersWithoutAGlyphMakeNoQuadAndKeepTheDelaysAligned) {
  auto font = capitals();
  sdf_text_object_t text;
  text.add_line(*font, 1.0f, "A?B", 0.0f);
  text.add_line(*font, 1.0f, "C~~D", 2.0f);
  EXPECT_EQ(text.text, "A?BC~~D");
  EXPECT_EQ(text.quad_count(), 4u);
  EXPECT_EQ(text.line_delays, (std::vector<float>{0.0f, 0.0f, 2.0f, 2.0f}));
  text.start = construct_variable("s", VT_FLOAT, 0.0f);
  text.fade = construct_variable("f", VT_FLOAT, 1.0f);
  animate_text(text, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(text.animated.size(), 16u);
}

TEST(SdfTextLayoutTest, LettersFlyInOneAfterTheOtherWithAnElasticEase) {
  EXPECT_FLOAT_EQ(letter_depth(0.0f), -20.0f);
  EXPECT_FLOAT_EQ(letter_depth(-1.0f), -20.0f);
  EXPECT_FLOAT_EQ(letter_depth(10.0f), -0.01953125f) << "the ease ends at 1 - 2^-10";
  EXPECT_FLOAT_EQ(letter_depth(30.0f), 0.0f) << "past its range the ease is 1";

  auto font = capitals();
  sdf_text_object_t text;
  text.add_line(*font, 1.0f, "ABCDEFGHIJK", 0.0f);
  text.add_line(*font, 1.0f, "L", 2.0f);
  text.start = construct_variable("s", VT_FLOAT, 5.0f);
  text.fade = construct_variable("f", VT_FLOAT, 1.0f);
  // At the start letter 0 has f = 0 and letter 10 f = -1: all wait at -20, in text order.
  animate_text(text, 5.0f, 0.0f, 3.0f);
  for (size_t q = 0; q < 12; ++q) {
    EXPECT_EQ(text.animated[q * 4].z, -20.0f);
    EXPECT_EQ(text.animated[q * 4].x, text.laid_out[q * 4].x);
    EXPECT_EQ(text.animated[q * 4].y, text.laid_out[q * 4].y + 3.0f);
  }
  // 3 s later letter i has f = 3 - i/10 (letter 11 also waits 2 s for its line): sorted far first.
  animate_text(text, 8.0f, 0.0f, 0.0f);
  std::vector<float> expected;
  for (int i = 0; i < 12; ++i) expected.push_back(letter_depth(3.0f - float(i) / 10.0f - (i == 11 ? 2.0f : 0.0f)));
  std::sort(expected.begin(), expected.end(), std::greater<float>());
  for (size_t j = 0; j < 12; ++j) EXPECT_FLOAT_EQ(text.animated[j * 4].z, expected[j]) << j;
  EXPECT_EQ(text.animated[11 * 4].x, text.laid_out[11 * 4].x) << "the waiting L is nearest, drawn last";

  // Half the fade halves the time each letter takes; a text delay holds every letter back.
  text.fade->value.set(0.5f);
  animate_text(text, 6.0f, 0.5f, 0.0f);
  EXPECT_FLOAT_EQ(text.animated[0].z, letter_depth(2.0f - 0.5f));
  // A fade of 0 has no ramp: every letter is in place from the start on.
  text.fade->value.set(0.0f);
  animate_text(text, 5.0f, 0.0f, 0.0f);
  for (size_t q = 0; q < 12; ++q) EXPECT_EQ(text.animated[q * 4].z, 0.0f);
  animate_text(text, 4.9f, 0.0f, 0.0f);
  for (size_t q = 0; q < 12; ++q) EXPECT_EQ(text.animated[q * 4].z, -20.0f);
}

TEST(SdfTextLayoutTest, GreetingsScrollBySpeedOverTheBlock) {
  EXPECT_FLOAT_EQ(block_sdf_text_t::scroll_offset(10.0f, 10.0f, 20.0f, 100.0f, -50.0f), -50.0f);
  EXPECT_FLOAT_EQ(block_sdf_text_t::scroll_offset(15.0f, 10.0f, 20.0f, 100.0f, -50.0f), 0.0f);
  EXPECT_FLOAT_EQ(block_sdf_text_t::scroll_offset(20.0f, 10.0f, 20.0f, 100.0f, -50.0f), 50.0f);
  EXPECT_FLOAT_EQ(block_sdf_text_t::scroll_offset(25.0f, 10.0f, 20.0f, 100.0f, -50.0f), 50.0f);
  EXPECT_FLOAT_EQ(block_sdf_text_t::scroll_offset(10.0f, 10.0f, 10.0f, 100.0f, -50.0f), 50.0f)
      << "a block of no length is at its end";
}

}  // namespace
