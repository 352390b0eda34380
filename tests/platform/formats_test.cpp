#include "platform/dxgi/formats.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/d3d11/gl_context.h"

namespace {

// Bits per texel of each code as the texture code counts them (block formats: average bits).
int expected_bits(uint32_t code) {
  if (code < 1 || code > 115) return 0;
  if (code <= 4) return 128;
  if (code <= 8) return 96;
  if (code <= 22 || code == 102 || code == 108 || code == 109) return 64;
  if ((code >= 48 && code <= 59) || code == 85 || code == 86 || code == 114 || code == 115) return 16;
  if ((code >= 60 && code <= 65) || (code >= 73 && code <= 78) || (code >= 82 && code <= 84) ||
      (code >= 94 && code <= 99) || (code >= 111 && code <= 113))
    return 8;
  if (code == 66) return 1;
  if ((code >= 70 && code <= 72) || (code >= 79 && code <= 81)) return 4;
  if (code == 103 || code == 106 || code == 110) return 12;
  if (code == 104 || code == 105) return 24;
  return 32;
}

// Formats with no GL texture format: 1-bit, packed 4:2:2 pairs, XR bias, video and palettes.
const std::set<uint32_t> unsupported_codes = {0,   66,  68,  69,  89,  100, 101, 102, 103, 104,
                                              105, 106, 107, 108, 109, 110, 111, 112, 113, 114};

TEST(DxgiFormatTableTest, EveryCodeIsDescribedConsistently) {
  for (uint32_t code = 0; code <= 120; ++code) {
    SCOPED_TRACE(code);
    const dxgi_format_info_t& info = dxgi_format_info(code);
    if (code > dxgi_format_last) {
      EXPECT_FALSE(info.supported);
      EXPECT_EQ(info.format, DXGI_FORMAT_UNKNOWN);
      continue;
    }
    EXPECT_EQ(info.format, code);
    if (code > 0) {
      EXPECT_NE(std::string(info.name), "DXGI_FORMAT_UNKNOWN");
    }
    EXPECT_EQ(info.supported, unsupported_codes.count(code) == 0);
    if (!info.supported) {
      EXPECT_EQ(info.gl_internal_format, 0u);
      EXPECT_EQ(dxgi_row_bytes(info, 16), 0u);
      continue;
    }
    EXPECT_NE(info.gl_internal_format, 0u);
    EXPECT_EQ(info.compressed, info.block_size == 4);
    EXPECT_EQ(info.compressed, info.gl_format == 0 && info.gl_type == 0);
    EXPECT_EQ(static_cast<int>(info.block_bytes * 8 / (info.block_size * info.block_size)),
              expected_bits(code));
  }
}

TEST(DxgiFormatTableTest, NamesAndCodesThatDataFilesCarry) {
  struct case_t {
    uint32_t code;
    const char* name;
  };
  const case_t cases[] = {
      {2, "DXGI_FORMAT_R32G32B32A32_FLOAT"},
      {10, "DXGI_FORMAT_R16G16B16A16_FLOAT"},
      {24, "DXGI_FORMAT_R10G10B10A2_UNORM"},
      {28, "DXGI_FORMAT_R8G8B8A8_UNORM"},
      {39, "DXGI_FORMAT_R32_TYPELESS"},
      {40, "DXGI_FORMAT_D32_FLOAT"},
      {41, "DXGI_FORMAT_R32_FLOAT"},
      {42, "DXGI_FORMAT_R32_UINT"},
      {45, "DXGI_FORMAT_D24_UNORM_S8_UINT"},
      {57, "DXGI_FORMAT_R16_UINT"},
      {65, "DXGI_FORMAT_A8_UNORM"},
      {71, "DXGI_FORMAT_BC1_UNORM"},
      {77, "DXGI_FORMAT_BC3_UNORM"},
      {84, "DXGI_FORMAT_BC5_SNORM"},
      {88, "DXGI_FORMAT_B8G8R8X8_UNORM"},
      {98, "DXGI_FORMAT_BC7_UNORM"},
      {107, "DXGI_FORMAT_YUY2"},
      {113, "DXGI_FORMAT_P8"},
      {115, "DXGI_FORMAT_B4G4R4A4_UNORM"},
  };
  for (const case_t& c : cases) EXPECT_STREQ(dxgi_format_info(c.code).name, c.name) << c.code;
}

TEST(DxgiFormatTableTest, RowBytesCountBlocks) {
  const auto& bc1 = dxgi_format_info(DXGI_FORMAT_BC1_UNORM);
  EXPECT_EQ(dxgi_row_bytes(bc1, 1), 8u);
  EXPECT_EQ(dxgi_row_bytes(bc1, 256), 64u * 8);
  EXPECT_EQ(dxgi_block_rows(bc1, 5), 2u);
  const auto& rgba16f = dxgi_format_info(DXGI_FORMAT_R16G16B16A16_FLOAT);
  EXPECT_EQ(dxgi_row_bytes(rgba16f, 3), 24u);
  EXPECT_EQ(dxgi_block_rows(rgba16f, 5), 5u);
}

TEST(DxgiFormatTableTest, TypelessDepthAliases) {
  EXPECT_EQ(dxgi_format_info(DXGI_FORMAT_R32_TYPELESS).depth_alias, DXGI_FORMAT_D32_FLOAT);
  EXPECT_EQ(dxgi_format_info(DXGI_FORMAT_R24G8_TYPELESS).depth_alias, DXGI_FORMAT_D24_UNORM_S8_UINT);
  EXPECT_EQ(dxgi_format_info(DXGI_FORMAT_D32_FLOAT).kind, dxgi_format_kind_t::depth);
  EXPECT_EQ(dxgi_format_info(DXGI_FORMAT_D24_UNORM_S8_UINT).kind, dxgi_format_kind_t::depth_stencil);
}

TEST(DxgiFormatTableTest, DepthStencilWordsRoundTrip) {
  const auto& d24s8 = dxgi_format_info(DXGI_FORMAT_D24_UNORM_S8_UINT);
  // D3D: depth 0x123456 in the low 24 bits, stencil 0xAB on top.
  uint32_t words[2] = {0xAB123456u, 0x00FFFFFFu};
  dxgi_convert_to_gl(d24s8, words, 2);
  EXPECT_EQ(words[0], 0x123456ABu);
  EXPECT_EQ(words[1], 0xFFFFFF00u);
  dxgi_convert_from_gl(d24s8, words, 2);
  EXPECT_EQ(words[0], 0xAB123456u);
  uint32_t color = 0x11223344u;
  dxgi_convert_to_gl(dxgi_format_info(DXGI_FORMAT_R8G8B8A8_UNORM), &color, 1);
  EXPECT_EQ(color, 0x11223344u);
}

// Real GL: every supported format makes a texture that accepts an upload of its own layout.
class DxgiFormatGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = create_headless_gl_context();
    if (!made) GTEST_SKIP() << "no headless GL context: " << made.error();
    context_ = std::move(*made);
    ASSERT_TRUE(context_->make_current());
  }

  // Makes a 4x4 texture of the format from `bytes` (one level) and returns its name.
  GLuint upload(const dxgi_format_info_t& info, const std::vector<uint8_t>& bytes) {
    GLuint texture = 0;
    glCreateTextures(GL_TEXTURE_2D, 1, &texture);
    glTextureStorage2D(texture, 1, info.gl_internal_format, 4, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (info.compressed)
      glCompressedTextureSubImage2D(texture, 0, 0, 0, 4, 4, info.gl_internal_format,
                                    static_cast<GLsizei>(bytes.size()), bytes.data());
    else
      glTextureSubImage2D(texture, 0, 0, 0, 4, 4, info.gl_format, info.gl_type, bytes.data());
    return texture;
  }

  std::unique_ptr<gl_context_t> context_;
};

TEST_F(DxgiFormatGlTest, EverySupportedFormatUploads) {
  while (glGetError() != GL_NO_ERROR) {
  }
  for (uint32_t code = 1; code <= dxgi_format_last; ++code) {
    const dxgi_format_info_t& info = dxgi_format_info(code);
    if (!info.supported) continue;
    SCOPED_TRACE(info.name);
    std::vector<uint8_t> bytes(dxgi_row_bytes(info, 4) * dxgi_block_rows(info, 4));
    GLuint texture = upload(info, bytes);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &texture);
  }
}

TEST_F(DxgiFormatGlTest, PackedLayoutsReadBackAsD3DChannels) {
  struct case_t {
    DXGI_FORMAT format;
    uint16_t texel;  // 16-bit formats
    uint32_t texel32;
    uint8_t rgba[4];
  };
  // Expected RGBA8 after GL's conversion; red only in each case so a swapped order shows.
  const case_t cases[] = {
      {DXGI_FORMAT_B5G6R5_UNORM, 0xF800, 0, {255, 0, 0, 255}},
      {DXGI_FORMAT_B5G5R5A1_UNORM, 0xFC00, 0, {255, 0, 0, 255}},
      {DXGI_FORMAT_B4G4R4A4_UNORM, 0x0F00, 0, {255, 0, 0, 0}},
      {DXGI_FORMAT_B8G8R8A8_UNORM, 0, 0x40FF0000u, {255, 0, 0, 64}},
      {DXGI_FORMAT_R10G10B10A2_UNORM, 0, 0xC00003FFu, {255, 0, 0, 255}},
  };
  for (const case_t& c : cases) {
    const dxgi_format_info_t& info = dxgi_format_info(c.format);
    SCOPED_TRACE(info.name);
    std::vector<uint8_t> bytes(dxgi_row_bytes(info, 4) * 4);
    for (size_t i = 0; i < 16; ++i) {
      if (info.block_bytes == 2)
        std::memcpy(bytes.data() + i * 2, &c.texel, 2);
      else
        std::memcpy(bytes.data() + i * 4, &c.texel32, 4);
    }
    GLuint texture = upload(info, bytes);
    uint8_t out[16 * 4] = {};
    glGetTextureImage(texture, 0, GL_RGBA, GL_UNSIGNED_BYTE, sizeof(out), out);
    EXPECT_EQ(out[0], c.rgba[0]);
    EXPECT_EQ(out[1], c.rgba[1]);
    EXPECT_EQ(out[2], c.rgba[2]);
    EXPECT_EQ(out[3], c.rgba[3]);
    glDeleteTextures(1, &texture);
  }
}

TEST_F(DxgiFormatGlTest, DepthStencilUploadKeepsD3DDepth) {
  const dxgi_format_info_t& info = dxgi_format_info(DXGI_FORMAT_D24_UNORM_S8_UINT);
  std::vector<uint32_t> words(16, 0x7F800000u);  // D3D: stencil 0x7F, depth 0x800000 (about one half)
  dxgi_convert_to_gl(info, words.data(), words.size());
  std::vector<uint8_t> bytes(words.size() * 4);
  std::memcpy(bytes.data(), words.data(), bytes.size());
  GLuint texture = upload(info, bytes);
  float depth[16] = {};
  glGetTextureImage(texture, 0, GL_DEPTH_COMPONENT, GL_FLOAT, sizeof(depth), depth);
  EXPECT_NEAR(depth[0], 0x800000 / 16777215.0, 1e-6);
  uint8_t stencil[16] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTextureImage(texture, 0, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, sizeof(stencil), stencil);
  EXPECT_EQ(stencil[0], 0x7F);
  glDeleteTextures(1, &texture);
}

}  // namespace
