#include "platform/dxgi/formats.h"

#include <epoxy/gl.h>

#include <cstring>

namespace {

using kind_t = dxgi_format_kind_t;

struct table_t {
  dxgi_format_info_t entries[dxgi_format_last + 1];
};

dxgi_format_info_t& put(table_t& t, DXGI_FORMAT f, const char* name, uint32_t internal, uint32_t format,
                        uint32_t type, uint32_t bytes) {
  dxgi_format_info_t& e = t.entries[f];
  e.format = f;
  e.name = name;
  e.supported = internal != 0;
  e.gl_internal_format = internal;
  e.gl_format = format;
  e.gl_type = type;
  e.block_bytes = bytes;
  e.integer = format == GL_RED_INTEGER || format == GL_RG_INTEGER || format == GL_RGB_INTEGER ||
              format == GL_RGBA_INTEGER;
  return e;
}

dxgi_format_info_t& typeless(dxgi_format_info_t& e) {
  e.typeless = true;
  return e;
}

dxgi_format_info_t& srgb(dxgi_format_info_t& e) {
  e.srgb = true;
  return e;
}

dxgi_format_info_t& block(table_t& t, DXGI_FORMAT f, const char* name, uint32_t internal, uint32_t bytes) {
  dxgi_format_info_t& e = put(t, f, name, internal, 0, 0, bytes);
  e.compressed = true;
  e.block_size = 4;
  return e;
}

// No GL texture format; the byte size still describes the data for callers that only copy it.
dxgi_format_info_t& none(table_t& t, DXGI_FORMAT f, const char* name) { return put(t, f, name, 0, 0, 0, 0); }

#define F(code) DXGI_FORMAT_##code, "DXGI_FORMAT_" #code

table_t build_table() {
  table_t t;
  for (uint32_t code = 0; code <= dxgi_format_last; ++code)
    t.entries[code].format = static_cast<DXGI_FORMAT>(code);

  typeless(put(t, F(R32G32B32A32_TYPELESS), GL_RGBA32F, GL_RGBA, GL_FLOAT, 16));
  put(t, F(R32G32B32A32_FLOAT), GL_RGBA32F, GL_RGBA, GL_FLOAT, 16);
  put(t, F(R32G32B32A32_UINT), GL_RGBA32UI, GL_RGBA_INTEGER, GL_UNSIGNED_INT, 16);
  put(t, F(R32G32B32A32_SINT), GL_RGBA32I, GL_RGBA_INTEGER, GL_INT, 16);
  typeless(put(t, F(R32G32B32_TYPELESS), GL_RGB32F, GL_RGB, GL_FLOAT, 12));
  put(t, F(R32G32B32_FLOAT), GL_RGB32F, GL_RGB, GL_FLOAT, 12);
  put(t, F(R32G32B32_UINT), GL_RGB32UI, GL_RGB_INTEGER, GL_UNSIGNED_INT, 12);
  put(t, F(R32G32B32_SINT), GL_RGB32I, GL_RGB_INTEGER, GL_INT, 12);
  typeless(put(t, F(R16G16B16A16_TYPELESS), GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8));
  put(t, F(R16G16B16A16_FLOAT), GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8);
  put(t, F(R16G16B16A16_UNORM), GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 8);
  put(t, F(R16G16B16A16_UINT), GL_RGBA16UI, GL_RGBA_INTEGER, GL_UNSIGNED_SHORT, 8);
  put(t, F(R16G16B16A16_SNORM), GL_RGBA16_SNORM, GL_RGBA, GL_SHORT, 8);
  put(t, F(R16G16B16A16_SINT), GL_RGBA16I, GL_RGBA_INTEGER, GL_SHORT, 8);
  typeless(put(t, F(R32G32_TYPELESS), GL_RG32F, GL_RG, GL_FLOAT, 8));
  put(t, F(R32G32_FLOAT), GL_RG32F, GL_RG, GL_FLOAT, 8);
  put(t, F(R32G32_UINT), GL_RG32UI, GL_RG_INTEGER, GL_UNSIGNED_INT, 8);
  put(t, F(R32G32_SINT), GL_RG32I, GL_RG_INTEGER, GL_INT, 8);

  // 32-bit float depth with 8 stencil bits and 24 unused: GL's FLOAT_32_UNSIGNED_INT_24_8_REV
  // has the same bytes.
  auto& d32s8 = typeless(put(t, F(R32G8X24_TYPELESS), GL_DEPTH32F_STENCIL8, GL_DEPTH_STENCIL,
                             GL_FLOAT_32_UNSIGNED_INT_24_8_REV, 8));
  d32s8.depth_alias = DXGI_FORMAT_D32_FLOAT_S8X24_UINT;
  d32s8.kind = kind_t::depth_stencil;
  put(t, F(D32_FLOAT_S8X24_UINT), GL_DEPTH32F_STENCIL8, GL_DEPTH_STENCIL, GL_FLOAT_32_UNSIGNED_INT_24_8_REV,
      8)
      .kind = kind_t::depth_stencil;
  typeless(put(t, F(R32_FLOAT_X8X24_TYPELESS), GL_DEPTH32F_STENCIL8, GL_DEPTH_STENCIL,
               GL_FLOAT_32_UNSIGNED_INT_24_8_REV, 8))
      .kind = kind_t::depth_stencil;
  typeless(put(t, F(X32_TYPELESS_G8X24_UINT), GL_DEPTH32F_STENCIL8, GL_DEPTH_STENCIL,
               GL_FLOAT_32_UNSIGNED_INT_24_8_REV, 8))
      .kind = kind_t::depth_stencil;

  typeless(put(t, F(R10G10B10A2_TYPELESS), GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, 4));
  put(t, F(R10G10B10A2_UNORM), GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, 4);
  put(t, F(R10G10B10A2_UINT), GL_RGB10_A2UI, GL_RGBA_INTEGER, GL_UNSIGNED_INT_2_10_10_10_REV, 4);
  put(t, F(R11G11B10_FLOAT), GL_R11F_G11F_B10F, GL_RGB, GL_UNSIGNED_INT_10F_11F_11F_REV, 4);
  typeless(put(t, F(R8G8B8A8_TYPELESS), GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4));
  put(t, F(R8G8B8A8_UNORM), GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4);
  srgb(put(t, F(R8G8B8A8_UNORM_SRGB), GL_SRGB8_ALPHA8, GL_RGBA, GL_UNSIGNED_BYTE, 4));
  put(t, F(R8G8B8A8_UINT), GL_RGBA8UI, GL_RGBA_INTEGER, GL_UNSIGNED_BYTE, 4);
  put(t, F(R8G8B8A8_SNORM), GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, 4);
  put(t, F(R8G8B8A8_SINT), GL_RGBA8I, GL_RGBA_INTEGER, GL_BYTE, 4);
  typeless(put(t, F(R16G16_TYPELESS), GL_RG16F, GL_RG, GL_HALF_FLOAT, 4));
  put(t, F(R16G16_FLOAT), GL_RG16F, GL_RG, GL_HALF_FLOAT, 4);
  put(t, F(R16G16_UNORM), GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4);
  put(t, F(R16G16_UINT), GL_RG16UI, GL_RG_INTEGER, GL_UNSIGNED_SHORT, 4);
  put(t, F(R16G16_SNORM), GL_RG16_SNORM, GL_RG, GL_SHORT, 4);
  put(t, F(R16G16_SINT), GL_RG16I, GL_RG_INTEGER, GL_SHORT, 4);

  // One texture serves as the D32_FLOAT depth target and the R32_FLOAT view of it, so the
  // typeless format must have depth storage.
  typeless(put(t, F(R32_TYPELESS), GL_R32F, GL_RED, GL_FLOAT, 4)).depth_alias = DXGI_FORMAT_D32_FLOAT;
  put(t, F(D32_FLOAT), GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, 4).kind = kind_t::depth;
  put(t, F(R32_FLOAT), GL_R32F, GL_RED, GL_FLOAT, 4);
  put(t, F(R32_UINT), GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, 4);
  put(t, F(R32_SINT), GL_R32I, GL_RED_INTEGER, GL_INT, 4);

  auto& r24g8 =
      typeless(put(t, F(R24G8_TYPELESS), GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, 4));
  r24g8.depth_alias = DXGI_FORMAT_D24_UNORM_S8_UINT;
  r24g8.kind = kind_t::depth_stencil;
  r24g8.conversion = dxgi_conversion_t::depth24_stencil8_swap;
  for (DXGI_FORMAT f :
       {DXGI_FORMAT_D24_UNORM_S8_UINT, DXGI_FORMAT_R24_UNORM_X8_TYPELESS, DXGI_FORMAT_X24_TYPELESS_G8_UINT}) {
    static const char* const names[] = {"DXGI_FORMAT_D24_UNORM_S8_UINT", "DXGI_FORMAT_R24_UNORM_X8_TYPELESS",
                                        "DXGI_FORMAT_X24_TYPELESS_G8_UINT"};
    auto& e = put(t, f, names[f - DXGI_FORMAT_D24_UNORM_S8_UINT], GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL,
                  GL_UNSIGNED_INT_24_8, 4);
    e.typeless = f != DXGI_FORMAT_D24_UNORM_S8_UINT;
    e.kind = kind_t::depth_stencil;
    e.conversion = dxgi_conversion_t::depth24_stencil8_swap;
  }

  typeless(put(t, F(R8G8_TYPELESS), GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2));
  put(t, F(R8G8_UNORM), GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2);
  put(t, F(R8G8_UINT), GL_RG8UI, GL_RG_INTEGER, GL_UNSIGNED_BYTE, 2);
  put(t, F(R8G8_SNORM), GL_RG8_SNORM, GL_RG, GL_BYTE, 2);
  put(t, F(R8G8_SINT), GL_RG8I, GL_RG_INTEGER, GL_BYTE, 2);
  typeless(put(t, F(R16_TYPELESS), GL_R16F, GL_RED, GL_HALF_FLOAT, 2)).depth_alias = DXGI_FORMAT_D16_UNORM;
  put(t, F(R16_FLOAT), GL_R16F, GL_RED, GL_HALF_FLOAT, 2);
  put(t, F(D16_UNORM), GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 2).kind = kind_t::depth;
  put(t, F(R16_UNORM), GL_R16, GL_RED, GL_UNSIGNED_SHORT, 2);
  put(t, F(R16_UINT), GL_R16UI, GL_RED_INTEGER, GL_UNSIGNED_SHORT, 2);
  put(t, F(R16_SNORM), GL_R16_SNORM, GL_RED, GL_SHORT, 2);
  put(t, F(R16_SINT), GL_R16I, GL_RED_INTEGER, GL_SHORT, 2);
  typeless(put(t, F(R8_TYPELESS), GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1));
  put(t, F(R8_UNORM), GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1);
  put(t, F(R8_UINT), GL_R8UI, GL_RED_INTEGER, GL_UNSIGNED_BYTE, 1);
  put(t, F(R8_SNORM), GL_R8_SNORM, GL_RED, GL_BYTE, 1);
  put(t, F(R8_SINT), GL_R8I, GL_RED_INTEGER, GL_BYTE, 1);
  // D3D samples alpha-only textures as (0, 0, 0, a).
  put(t, F(A8_UNORM), GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1).swizzle = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};
  none(t, F(R1_UNORM));
  put(t, F(R9G9B9E5_SHAREDEXP), GL_RGB9_E5, GL_RGB, GL_UNSIGNED_INT_5_9_9_9_REV, 4);
  // Packed 4:2:2 pairs have no GL texture format.
  none(t, F(R8G8_B8G8_UNORM));
  none(t, F(G8R8_G8B8_UNORM));

  typeless(block(t, F(BC1_TYPELESS), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8));
  block(t, F(BC1_UNORM), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8);
  srgb(block(t, F(BC1_UNORM_SRGB), GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT, 8));
  typeless(block(t, F(BC2_TYPELESS), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16));
  block(t, F(BC2_UNORM), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16);
  srgb(block(t, F(BC2_UNORM_SRGB), GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT, 16));
  typeless(block(t, F(BC3_TYPELESS), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16));
  block(t, F(BC3_UNORM), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16);
  srgb(block(t, F(BC3_UNORM_SRGB), GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT, 16));
  typeless(block(t, F(BC4_TYPELESS), GL_COMPRESSED_RED_RGTC1, 8));
  block(t, F(BC4_UNORM), GL_COMPRESSED_RED_RGTC1, 8);
  block(t, F(BC4_SNORM), GL_COMPRESSED_SIGNED_RED_RGTC1, 8);
  typeless(block(t, F(BC5_TYPELESS), GL_COMPRESSED_RG_RGTC2, 16));
  block(t, F(BC5_UNORM), GL_COMPRESSED_RG_RGTC2, 16);
  block(t, F(BC5_SNORM), GL_COMPRESSED_SIGNED_RG_RGTC2, 16);

  // Blue in the low bits: GL's reversed packed types with BGRA order match D3D's layouts.
  put(t, F(B5G6R5_UNORM), GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2);
  put(t, F(B5G5R5A1_UNORM), GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2);
  put(t, F(B8G8R8A8_UNORM), GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4);
  put(t, F(B8G8R8X8_UNORM), GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4).swizzle = {GL_RED, GL_GREEN, GL_BLUE,
                                                                               GL_ONE};
  none(t, F(R10G10B10_XR_BIAS_A2_UNORM));
  typeless(put(t, F(B8G8R8A8_TYPELESS), GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4));
  srgb(put(t, F(B8G8R8A8_UNORM_SRGB), GL_SRGB8_ALPHA8, GL_BGRA, GL_UNSIGNED_BYTE, 4));
  typeless(put(t, F(B8G8R8X8_TYPELESS), GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4)).swizzle = {GL_RED, GL_GREEN,
                                                                                            GL_BLUE, GL_ONE};
  srgb(put(t, F(B8G8R8X8_UNORM_SRGB), GL_SRGB8_ALPHA8, GL_BGRA, GL_UNSIGNED_BYTE, 4)).swizzle = {
      GL_RED, GL_GREEN, GL_BLUE, GL_ONE};

  typeless(block(t, F(BC6H_TYPELESS), GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, 16));
  block(t, F(BC6H_UF16), GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, 16);
  block(t, F(BC6H_SF16), GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT, 16);
  typeless(block(t, F(BC7_TYPELESS), GL_COMPRESSED_RGBA_BPTC_UNORM, 16));
  block(t, F(BC7_UNORM), GL_COMPRESSED_RGBA_BPTC_UNORM, 16);
  srgb(block(t, F(BC7_UNORM_SRGB), GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM, 16));

  // Video formats (packed and planar YUV) and palettes have no GL texture format.
  none(t, F(AYUV));
  none(t, F(Y410));
  none(t, F(Y416));
  none(t, F(NV12));
  none(t, F(P010));
  none(t, F(P016));
  none(t, F(420_OPAQUE));
  none(t, F(YUY2));
  none(t, F(Y210));
  none(t, F(Y216));
  none(t, F(NV11));
  none(t, F(AI44));
  none(t, F(IA44));
  none(t, F(P8));
  none(t, F(A8P8));

  // Nibbles from the low end are B, G, R, A, which GL's 4_4_4_4_REV with BGRA order reads.
  put(t, F(B4G4R4A4_UNORM), GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2);
  return t;
}

#undef F

const table_t& table() {
  static const table_t t = build_table();
  return t;
}

}  // namespace

const dxgi_format_info_t& dxgi_format_info(uint32_t code) {
  return table().entries[code <= dxgi_format_last ? code : DXGI_FORMAT_UNKNOWN];
}

bool dxgi_swizzle_is_identity(const dxgi_format_info_t& info) {
  return info.swizzle == std::array<int32_t, 4>{GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
}

uint32_t dxgi_row_bytes(const dxgi_format_info_t& info, uint32_t width) {
  if (!info.supported) return 0;
  return (width + info.block_size - 1) / info.block_size * info.block_bytes;
}

uint32_t dxgi_block_rows(const dxgi_format_info_t& info, uint32_t height) {
  return (height + info.block_size - 1) / info.block_size;
}

namespace {

void rotate_words(void* texels, size_t count, int left) {
  auto* bytes = static_cast<unsigned char*>(texels);
  for (size_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, bytes + i * 4, 4);
    v = left == 8 ? (v << 8) | (v >> 24) : (v >> 8) | (v << 24);
    std::memcpy(bytes + i * 4, &v, 4);
  }
}

}  // namespace

void dxgi_convert_to_gl(const dxgi_format_info_t& info, void* texels, size_t texel_count) {
  // D3D: depth in bits 0-23, stencil in 24-31; GL: depth in 8-31, stencil in 0-7.
  if (info.conversion == dxgi_conversion_t::depth24_stencil8_swap) rotate_words(texels, texel_count, 8);
}

void dxgi_convert_from_gl(const dxgi_format_info_t& info, void* texels, size_t texel_count) {
  if (info.conversion == dxgi_conversion_t::depth24_stencil8_swap) rotate_words(texels, texel_count, 24);
}
