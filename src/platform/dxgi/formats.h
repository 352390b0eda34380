#pragma once
// DXGI_FORMAT with the codes DDS files and project tables carry, and what each format becomes in
// GL 4.5: the texture's internal format, the pixel-transfer format and type, the size of a texel
// or compressed block, the swizzle that gives D3D's channel values, and whether uploaded bytes
// need converting first. Formats without a GL texture format are marked unsupported.

#include <array>
#include <cstddef>
#include <cstdint>

enum DXGI_FORMAT : uint32_t {
  DXGI_FORMAT_UNKNOWN = 0,
  DXGI_FORMAT_R32G32B32A32_TYPELESS = 1,
  DXGI_FORMAT_R32G32B32A32_FLOAT = 2,
  DXGI_FORMAT_R32G32B32A32_UINT = 3,
  DXGI_FORMAT_R32G32B32A32_SINT = 4,
  DXGI_FORMAT_R32G32B32_TYPELESS = 5,
  DXGI_FORMAT_R32G32B32_FLOAT = 6,
  DXGI_FORMAT_R32G32B32_UINT = 7,
  DXGI_FORMAT_R32G32B32_SINT = 8,
  DXGI_FORMAT_R16G16B16A16_TYPELESS = 9,
  DXGI_FORMAT_R16G16B16A16_FLOAT = 10,
  DXGI_FORMAT_R16G16B16A16_UNORM = 11,
  DXGI_FORMAT_R16G16B16A16_UINT = 12,
  DXGI_FORMAT_R16G16B16A16_SNORM = 13,
  DXGI_FORMAT_R16G16B16A16_SINT = 14,
  DXGI_FORMAT_R32G32_TYPELESS = 15,
  DXGI_FORMAT_R32G32_FLOAT = 16,
  DXGI_FORMAT_R32G32_UINT = 17,
  DXGI_FORMAT_R32G32_SINT = 18,
  DXGI_FORMAT_R32G8X24_TYPELESS = 19,
  DXGI_FORMAT_D32_FLOAT_S8X24_UINT = 20,
  DXGI_FORMAT_R32_FLOAT_X8X24_TYPELESS = 21,
  DXGI_FORMAT_X32_TYPELESS_G8X24_UINT = 22,
  DXGI_FORMAT_R10G10B10A2_TYPELESS = 23,
  DXGI_FORMAT_R10G10B10A2_UNORM = 24,
  DXGI_FORMAT_R10G10B10A2_UINT = 25,
  DXGI_FORMAT_R11G11B10_FLOAT = 26,
  DXGI_FORMAT_R8G8B8A8_TYPELESS = 27,
  DXGI_FORMAT_R8G8B8A8_UNORM = 28,
  DXGI_FORMAT_R8G8B8A8_UNORM_SRGB = 29,
  DXGI_FORMAT_R8G8B8A8_UINT = 30,
  DXGI_FORMAT_R8G8B8A8_SNORM = 31,
  DXGI_FORMAT_R8G8B8A8_SINT = 32,
  DXGI_FORMAT_R16G16_TYPELESS = 33,
  DXGI_FORMAT_R16G16_FLOAT = 34,
  DXGI_FORMAT_R16G16_UNORM = 35,
  DXGI_FORMAT_R16G16_UINT = 36,
  DXGI_FORMAT_R16G16_SNORM = 37,
  DXGI_FORMAT_R16G16_SINT = 38,
  DXGI_FORMAT_R32_TYPELESS = 39,
  DXGI_FORMAT_D32_FLOAT = 40,
  DXGI_FORMAT_R32_FLOAT = 41,
  DXGI_FORMAT_R32_UINT = 42,
  DXGI_FORMAT_R32_SINT = 43,
  DXGI_FORMAT_R24G8_TYPELESS = 44,
  DXGI_FORMAT_D24_UNORM_S8_UINT = 45,
  DXGI_FORMAT_R24_UNORM_X8_TYPELESS = 46,
  DXGI_FORMAT_X24_TYPELESS_G8_UINT = 47,
  DXGI_FORMAT_R8G8_TYPELESS = 48,
  DXGI_FORMAT_R8G8_UNORM = 49,
  DXGI_FORMAT_R8G8_UINT = 50,
  DXGI_FORMAT_R8G8_SNORM = 51,
  DXGI_FORMAT_R8G8_SINT = 52,
  DXGI_FORMAT_R16_TYPELESS = 53,
  DXGI_FORMAT_R16_FLOAT = 54,
  DXGI_FORMAT_D16_UNORM = 55,
  DXGI_FORMAT_R16_UNORM = 56,
  DXGI_FORMAT_R16_UINT = 57,
  DXGI_FORMAT_R16_SNORM = 58,
  DXGI_FORMAT_R16_SINT = 59,
  DXGI_FORMAT_R8_TYPELESS = 60,
  DXGI_FORMAT_R8_UNORM = 61,
  DXGI_FORMAT_R8_UINT = 62,
  DXGI_FORMAT_R8_SNORM = 63,
  DXGI_FORMAT_R8_SINT = 64,
  DXGI_FORMAT_A8_UNORM = 65,
  DXGI_FORMAT_R1_UNORM = 66,
  DXGI_FORMAT_R9G9B9E5_SHAREDEXP = 67,
  DXGI_FORMAT_R8G8_B8G8_UNORM = 68,
  DXGI_FORMAT_G8R8_G8B8_UNORM = 69,
  DXGI_FORMAT_BC1_TYPELESS = 70,
  DXGI_FORMAT_BC1_UNORM = 71,
  DXGI_FORMAT_BC1_UNORM_SRGB = 72,
  DXGI_FORMAT_BC2_TYPELESS = 73,
  DXGI_FORMAT_BC2_UNORM = 74,
  DXGI_FORMAT_BC2_UNORM_SRGB = 75,
  DXGI_FORMAT_BC3_TYPELESS = 76,
  DXGI_FORMAT_BC3_UNORM = 77,
  DXGI_FORMAT_BC3_UNORM_SRGB = 78,
  DXGI_FORMAT_BC4_TYPELESS = 79,
  DXGI_FORMAT_BC4_UNORM = 80,
  DXGI_FORMAT_BC4_SNORM = 81,
  DXGI_FORMAT_BC5_TYPELESS = 82,
  DXGI_FORMAT_BC5_UNORM = 83,
  DXGI_FORMAT_BC5_SNORM = 84,
  DXGI_FORMAT_B5G6R5_UNORM = 85,
  DXGI_FORMAT_B5G5R5A1_UNORM = 86,
  DXGI_FORMAT_B8G8R8A8_UNORM = 87,
  DXGI_FORMAT_B8G8R8X8_UNORM = 88,
  DXGI_FORMAT_R10G10B10_XR_BIAS_A2_UNORM = 89,
  DXGI_FORMAT_B8G8R8A8_TYPELESS = 90,
  DXGI_FORMAT_B8G8R8A8_UNORM_SRGB = 91,
  DXGI_FORMAT_B8G8R8X8_TYPELESS = 92,
  DXGI_FORMAT_B8G8R8X8_UNORM_SRGB = 93,
  DXGI_FORMAT_BC6H_TYPELESS = 94,
  DXGI_FORMAT_BC6H_UF16 = 95,
  DXGI_FORMAT_BC6H_SF16 = 96,
  DXGI_FORMAT_BC7_TYPELESS = 97,
  DXGI_FORMAT_BC7_UNORM = 98,
  DXGI_FORMAT_BC7_UNORM_SRGB = 99,
  DXGI_FORMAT_AYUV = 100,
  DXGI_FORMAT_Y410 = 101,
  DXGI_FORMAT_Y416 = 102,
  DXGI_FORMAT_NV12 = 103,
  DXGI_FORMAT_P010 = 104,
  DXGI_FORMAT_P016 = 105,
  DXGI_FORMAT_420_OPAQUE = 106,
  DXGI_FORMAT_YUY2 = 107,
  DXGI_FORMAT_Y210 = 108,
  DXGI_FORMAT_Y216 = 109,
  DXGI_FORMAT_NV11 = 110,
  DXGI_FORMAT_AI44 = 111,
  DXGI_FORMAT_IA44 = 112,
  DXGI_FORMAT_P8 = 113,
  DXGI_FORMAT_A8P8 = 114,
  DXGI_FORMAT_B4G4R4A4_UNORM = 115,
};

// Highest code in the table; larger codes are unknown.
constexpr uint32_t dxgi_format_last = DXGI_FORMAT_B4G4R4A4_UNORM;

// How uploaded (and read-back) bytes differ from GL's layout.
enum class dxgi_conversion_t : uint8_t {
  none,
  // D3D keeps depth in the low 24 bits and stencil in the high 8; GL_UNSIGNED_INT_24_8 the reverse.
  depth24_stencil8_swap,
};

enum class dxgi_format_kind_t : uint8_t { color, depth, depth_stencil };

struct dxgi_format_info_t {
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
  const char* name = "DXGI_FORMAT_UNKNOWN";
  bool supported = false;           // has a GL texture format
  uint32_t gl_internal_format = 0;  // GLenum, e.g. GL_RGBA8
  uint32_t gl_format = 0;           // pixel-transfer format, e.g. GL_RGBA; 0 when compressed
  uint32_t gl_type = 0;             // pixel-transfer type, e.g. GL_UNSIGNED_BYTE; 0 when compressed
  uint32_t block_bytes = 0;         // bytes per texel, or per block when compressed
  uint32_t block_size = 1;          // texels per block side: 4 when compressed, else 1
  bool compressed = false;
  bool typeless = false;
  bool integer = false;  // sampled as (u)int, pixel format GL_*_INTEGER
  bool srgb = false;
  dxgi_format_kind_t kind = dxgi_format_kind_t::color;
  // For typeless formats that a depth view can alias (R32_TYPELESS → D32_FLOAT), the depth
  // format whose GL storage the texture needs when it is bound as a depth stencil; else UNKNOWN.
  DXGI_FORMAT depth_alias = DXGI_FORMAT_UNKNOWN;
  // GL_TEXTURE_SWIZZLE_RGBA values (GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA, GL_ZERO, GL_ONE).
  // Identity by default: GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA.
  std::array<int32_t, 4> swizzle = {0x1903, 0x1904, 0x1905, 0x1906};
  dxgi_conversion_t conversion = dxgi_conversion_t::none;
};

// The entry for a code; codes above the table give the unsupported DXGI_FORMAT_UNKNOWN entry.
const dxgi_format_info_t& dxgi_format_info(uint32_t code);

bool dxgi_swizzle_is_identity(const dxgi_format_info_t& info);

// Bytes in one row of blocks (a row of texels when uncompressed) of a level `width` texels wide;
// 0 for unsupported formats.
uint32_t dxgi_row_bytes(const dxgi_format_info_t& info, uint32_t width);
// Rows of blocks in a level `height` texels high.
uint32_t dxgi_block_rows(const dxgi_format_info_t& info, uint32_t height);

// In-place conversion between D3D's and GL's byte layouts of `texel_count` texels.
void dxgi_convert_to_gl(const dxgi_format_info_t& info, void* texels, size_t texel_count);
void dxgi_convert_from_gl(const dxgi_format_info_t& info, void* texels, size_t texel_count);
