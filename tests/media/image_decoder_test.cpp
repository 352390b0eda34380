// PNG and JPEG files the fuzzer found: an empty image-data chunk before the first one with data (the
// decoder copied the chunk's no bytes through a null buffer), a JPEG Huffman table the decoder read
// past, and headers that claim far more pixels than their bytes could hold.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "media/image_decoder.h"

namespace {

std::vector<uint8_t> fixture(const char* name) {
  std::ifstream in(std::filesystem::path(PUMBLECRISP_TEST_DATA) / "fuzz" / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ImageDecoderTest, EmptyImageDataChunksAreSkipped) {
  const std::vector<uint8_t> plain = fixture("palette.png");
  const std::vector<uint8_t> with_empty = fixture("palette-empty-idat.png");
  ASSERT_EQ(with_empty.size(), plain.size() + 12);
  auto expected = decode_image_rgba8(plain.data(), plain.size());
  auto image = decode_image_rgba8(with_empty.data(), with_empty.size());
  ASSERT_TRUE(expected.has_value());
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->width, 9);
  ASSERT_EQ(image->height, 7);
  EXPECT_EQ(std::memcmp(image->pixels.get(), expected->pixels.get(), 9 * 7 * 4), 0);

  // What the fuzzer found: an empty chunk, then garbage. No image, and nothing undefined.
  const std::vector<uint8_t> found = fixture("png-empty-first-idat.png");
  ASSERT_FALSE(found.empty());
  EXPECT_FALSE(decode_image_rgba8(found.data(), found.size()).has_value());
}

TEST(ImageDecoderTest, BrokenJpegsAndOversizedHeadersGiveNoImage) {
  const std::vector<uint8_t> jpeg = fixture("jpeg-bad-huffman-table.jpg");
  ASSERT_FALSE(jpeg.empty());
  EXPECT_FALSE(decode_image_rgba8(jpeg.data(), jpeg.size()).has_value());

  // The 9×7 PNG claiming 20000×20000 pixels in its header.
  std::vector<uint8_t> huge = fixture("palette.png");
  ASSERT_GT(huge.size(), 24u);
  const uint8_t side[4] = {0x00, 0x00, 0x4E, 0x20};
  std::memcpy(huge.data() + 16, side, 4);
  std::memcpy(huge.data() + 20, side, 4);
  EXPECT_FALSE(decode_image_rgba8(huge.data(), huge.size()).has_value());
}

}  // namespace
