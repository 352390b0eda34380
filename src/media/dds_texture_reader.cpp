#include "media/dds_texture_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "graphics/render_target_types.h"

namespace {

constexpr uint32_t dds_magic = 0x20534444;  // "DDS "
constexpr size_t header_end = 128;
constexpr size_t dx10_header_end = 148;

constexpr uint32_t header_flag_height = 0x2;
constexpr uint32_t header_flag_volume = 0x800000;

constexpr uint32_t pf_alpha = 0x2;
constexpr uint32_t pf_fourcc = 0x4;
constexpr uint32_t pf_rgb = 0x40;
constexpr uint32_t pf_luminance = 0x20000;
constexpr uint32_t pf_bump = 0x80000;

constexpr uint32_t caps2_cube = 0x200;
constexpr uint32_t caps2_all_faces = 0x400 | 0x800 | 0x1000 | 0x2000 | 0x4000 | 0x8000;
constexpr uint32_t dx10_misc_cube = 0x4;

constexpr uint32_t max_mip_count = 15;
constexpr uint32_t max_array_size = 2048;
constexpr uint32_t max_2d_size = 16384;
constexpr uint32_t max_3d_size = 2048;

const HRESULT invalid_data = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
const HRESULT not_supported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
const HRESULT arithmetic_overflow = HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
const HRESULT end_of_data = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);

constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

uint32_t read_u32(const uint8_t* bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes + offset, sizeof(value));
  return value;
}

struct pixel_format_t {
  uint32_t flags = 0;
  uint32_t code = 0;
  uint32_t bits = 0;
  uint32_t r = 0, g = 0, b = 0, a = 0;

  bool masks(uint32_t mr, uint32_t mg, uint32_t mb, uint32_t ma) const {
    return r == mr && g == mg && b == mb && a == ma;
  }
};

DXGI_FORMAT rgb_format(const pixel_format_t& pf) {
  if (pf.bits == 32) {
    if (pf.masks(0xFF, 0xFF00, 0xFF0000, 0xFF000000)) return DXGI_FORMAT_R8G8B8A8_UNORM;
    if (pf.masks(0xFFFF, 0xFFFF0000, 0, 0)) return DXGI_FORMAT_R16G16_UNORM;
    if (pf.masks(0xFF0000, 0xFF00, 0xFF, 0xFF000000)) return DXGI_FORMAT_B8G8R8A8_UNORM;
    if (pf.masks(0xFF0000, 0xFF00, 0xFF, 0)) return DXGI_FORMAT_B8G8R8X8_UNORM;
    if (pf.masks(0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)) return DXGI_FORMAT_R10G10B10A2_UNORM;
    if (pf.masks(0xFFFFFFFF, 0, 0, 0)) return DXGI_FORMAT_R32_FLOAT;
  } else if (pf.bits == 16) {
    if (pf.masks(0x7C00, 0x3E0, 0x1F, 0x8000)) return DXGI_FORMAT_B5G5R5A1_UNORM;
    if (pf.masks(0xF800, 0x7E0, 0x1F, 0)) return DXGI_FORMAT_B5G6R5_UNORM;
    if (pf.masks(0xF00, 0xF0, 0xF, 0xF000)) return DXGI_FORMAT_B4G4R4A4_UNORM;
  }
  return DXGI_FORMAT_UNKNOWN;
}

DXGI_FORMAT luminance_format(const pixel_format_t& pf) {
  if (pf.bits == 8 && pf.masks(0xFF, 0, 0, 0)) return DXGI_FORMAT_R8_UNORM;
  if (pf.bits == 16 && pf.masks(0xFFFF, 0, 0, 0)) return DXGI_FORMAT_R16_UNORM;
  if ((pf.bits == 8 || pf.bits == 16) && pf.masks(0xFF, 0, 0, 0xFF00)) return DXGI_FORMAT_R8G8_UNORM;
  return DXGI_FORMAT_UNKNOWN;
}

DXGI_FORMAT bump_format(const pixel_format_t& pf) {
  if (pf.bits == 16 && pf.masks(0xFF, 0xFF00, 0, 0)) return DXGI_FORMAT_R8G8_SNORM;
  if (pf.bits == 32 && pf.masks(0xFF, 0xFF00, 0xFF0000, 0xFF000000)) return DXGI_FORMAT_R8G8B8A8_SNORM;
  if (pf.bits == 32 && pf.masks(0xFFFF, 0xFFFF0000, 0, 0)) return DXGI_FORMAT_R16G16_SNORM;
  return DXGI_FORMAT_UNKNOWN;
}

DXGI_FORMAT fourcc_format(uint32_t code) {
  switch (code) {
    case fourcc('D', 'X', 'T', '1'): return DXGI_FORMAT_BC1_UNORM;
    case fourcc('D', 'X', 'T', '2'):
    case fourcc('D', 'X', 'T', '3'): return DXGI_FORMAT_BC2_UNORM;
    case fourcc('D', 'X', 'T', '4'):
    case fourcc('D', 'X', 'T', '5'): return DXGI_FORMAT_BC3_UNORM;
    case fourcc('A', 'T', 'I', '1'):
    case fourcc('B', 'C', '4', 'U'): return DXGI_FORMAT_BC4_UNORM;
    case fourcc('B', 'C', '4', 'S'): return DXGI_FORMAT_BC4_SNORM;
    case fourcc('A', 'T', 'I', '2'):
    case fourcc('B', 'C', '5', 'U'): return DXGI_FORMAT_BC5_UNORM;
    case fourcc('B', 'C', '5', 'S'): return DXGI_FORMAT_BC5_SNORM;
    case fourcc('R', 'G', 'B', 'G'): return DXGI_FORMAT_R8G8_B8G8_UNORM;
    case fourcc('G', 'R', 'G', 'B'): return DXGI_FORMAT_G8R8_G8B8_UNORM;
    case fourcc('Y', 'U', 'Y', '2'): return DXGI_FORMAT_YUY2;
    // The legacy Direct3D format numbers.
    case 36: return DXGI_FORMAT_R16G16B16A16_UNORM;
    case 110: return DXGI_FORMAT_R16G16B16A16_SNORM;
    case 111: return DXGI_FORMAT_R16_FLOAT;
    case 112: return DXGI_FORMAT_R16G16_FLOAT;
    case 113: return DXGI_FORMAT_R16G16B16A16_FLOAT;
    case 114: return DXGI_FORMAT_R32_FLOAT;
    case 115: return DXGI_FORMAT_R32G32_FLOAT;
    case 116: return DXGI_FORMAT_R32G32B32A32_FLOAT;
    default: return DXGI_FORMAT_UNKNOWN;
  }
}

DXGI_FORMAT legacy_format(const pixel_format_t& pf) {
  if (pf.flags & pf_rgb) return rgb_format(pf);
  if (pf.flags & pf_luminance) return luminance_format(pf);
  if (pf.flags & pf_alpha) return pf.bits == 8 ? DXGI_FORMAT_A8_UNORM : DXGI_FORMAT_UNKNOWN;
  if (pf.flags & pf_bump) return bump_format(pf);
  if (pf.flags & pf_fourcc) return fourcc_format(pf.code);
  return DXGI_FORMAT_UNKNOWN;
}

HRESULT read_dx10_layout(const uint8_t* bytes, uint32_t header_flags, dds_layout_t& layout) {
  const uint32_t format = read_u32(bytes, 128);
  const uint32_t dimension = read_u32(bytes, 132);
  const uint32_t misc_flags = read_u32(bytes, 136);
  layout.array_size = read_u32(bytes, 140);
  if (layout.array_size == 0) return invalid_data;
  if ((format >= DXGI_FORMAT_AI44 && format <= DXGI_FORMAT_A8P8) || dxgi_format_bits(format) == 0)
    return not_supported;
  layout.format = static_cast<DXGI_FORMAT>(format);
  switch (dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      if ((header_flags & header_flag_height) && layout.height != 1) return invalid_data;
      layout.height = layout.depth = 1;
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D:
      if (misc_flags & dx10_misc_cube) {
        // Six faces per cube; checked against the limit below before it can wrap.
        if (layout.array_size > max_array_size) return not_supported;
        layout.array_size *= 6;
        layout.cube = true;
      }
      layout.depth = 1;
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
      if (!(header_flags & header_flag_volume)) return invalid_data;
      if (layout.array_size > 1) return not_supported;
      break;
    default:
      return not_supported;
  }
  layout.dimension = static_cast<D3D11_RESOURCE_DIMENSION>(dimension);
  return S_OK;
}

HRESULT read_legacy_layout(const pixel_format_t& pf, uint32_t header_flags, uint32_t caps2,
                           dds_layout_t& layout) {
  layout.format = legacy_format(pf);
  if (layout.format == DXGI_FORMAT_UNKNOWN) return not_supported;
  if (header_flags & header_flag_volume) {
    layout.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
    layout.array_size = 1;
    return S_OK;
  }
  layout.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
  layout.depth = 1;
  layout.array_size = 1;
  if (caps2 & caps2_cube) {
    if ((caps2 & caps2_all_faces) != caps2_all_faces) return not_supported;
    layout.cube = true;
    layout.array_size = 6;
  }
  return S_OK;
}

HRESULT check_limits(const dds_layout_t& layout) {
  if (layout.mip_count > max_mip_count) return not_supported;
  switch (layout.dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      if (layout.array_size > max_array_size || layout.width > max_2d_size) return not_supported;
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D:
      if (layout.array_size > max_array_size || layout.width > max_2d_size || layout.height > max_2d_size)
        return not_supported;
      break;
    default:
      if (layout.array_size > 1 || layout.width > max_3d_size || layout.height > max_3d_size ||
          layout.depth > max_3d_size)
        return not_supported;
      break;
  }
  return S_OK;
}

D3D11_SHADER_RESOURCE_VIEW_DESC view_desc(const dds_layout_t& layout, uint32_t mips) {
  D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
  desc.Format = layout.format;
  const uint32_t levels = mips ? mips : 0xFFFFFFFFu;
  switch (layout.dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      if (layout.array_size > 1) {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
        desc.Texture1DArray = {0, levels, 0, layout.array_size};
      } else {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE1D;
        desc.Texture1D = {0, levels};
      }
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D:
      if (layout.cube && layout.array_size > 6) {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBEARRAY;
        desc.TextureCubeArray = {0, levels, 0, layout.array_size / 6};
      } else if (layout.cube) {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
        desc.TextureCube = {0, levels};
      } else if (layout.array_size > 1) {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
        desc.Texture2DArray = {0, levels, 0, layout.array_size};
      } else {
        desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        desc.Texture2D = {0, levels};
      }
      break;
    default:
      desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
      desc.Texture3D = {0, levels};
      break;
  }
  return desc;
}

template <class Texture>
HRESULT finish_resources(ID3D11Device* device, Texture* created, const dds_layout_t& layout, uint32_t mips,
                         ID3D11Resource** texture, ID3D11ShaderResourceView** view) {
  com_ptr_t<Texture> owned;
  owned.attach(created);
  if (view) {
    const D3D11_SHADER_RESOURCE_VIEW_DESC desc = view_desc(layout, mips);
    const HRESULT hr = device->CreateShaderResourceView(owned, &desc, view);
    if (FAILED(hr)) return hr;
  }
  if (texture) *texture = owned.detach();
  return S_OK;
}

}  // namespace

HRESULT dds_surface_size(DXGI_FORMAT format, uint32_t width, uint32_t height, uint64_t& row_bytes,
                         uint64_t& level_bytes) {
  const uint64_t w = width, h = height;
  auto blocks = [&](uint64_t block_bytes) {
    row_bytes = w ? std::max<uint64_t>(1, (w + 3) / 4) * block_bytes : 0;
    level_bytes = h ? row_bytes * std::max<uint64_t>(1, (h + 3) / 4) : 0;
  };
  switch (format) {
    case DXGI_FORMAT_R8G8_B8G8_UNORM:
    case DXGI_FORMAT_G8R8_G8B8_UNORM:
    case DXGI_FORMAT_YUY2:
      row_bytes = ((w + 1) / 2) * 4;
      level_bytes = row_bytes * h;
      return S_OK;
    case DXGI_FORMAT_BC1_TYPELESS:
    case DXGI_FORMAT_BC1_UNORM:
    case DXGI_FORMAT_BC1_UNORM_SRGB:
    case DXGI_FORMAT_BC4_TYPELESS:
    case DXGI_FORMAT_BC4_UNORM:
    case DXGI_FORMAT_BC4_SNORM:
      blocks(8);
      return S_OK;
    case DXGI_FORMAT_BC2_TYPELESS:
    case DXGI_FORMAT_BC2_UNORM:
    case DXGI_FORMAT_BC2_UNORM_SRGB:
    case DXGI_FORMAT_BC3_TYPELESS:
    case DXGI_FORMAT_BC3_UNORM:
    case DXGI_FORMAT_BC3_UNORM_SRGB:
    case DXGI_FORMAT_BC5_TYPELESS:
    case DXGI_FORMAT_BC5_UNORM:
    case DXGI_FORMAT_BC5_SNORM:
    case DXGI_FORMAT_BC6H_TYPELESS:
    case DXGI_FORMAT_BC6H_UF16:
    case DXGI_FORMAT_BC6H_SF16:
    case DXGI_FORMAT_BC7_TYPELESS:
    case DXGI_FORMAT_BC7_UNORM:
    case DXGI_FORMAT_BC7_UNORM_SRGB:
      blocks(16);
      return S_OK;
    case DXGI_FORMAT_NV12:
    case DXGI_FORMAT_420_OPAQUE:
      row_bytes = ((w + 1) / 2) * 2;
      level_bytes = row_bytes * h + (row_bytes * h) / 2;
      return S_OK;
    case DXGI_FORMAT_P010:
    case DXGI_FORMAT_P016:
      row_bytes = ((w + 1) / 2) * 4;
      level_bytes = row_bytes * h + (row_bytes * h) / 2;
      return S_OK;
    case DXGI_FORMAT_Y210:
    case DXGI_FORMAT_Y216:
      row_bytes = ((w + 1) / 2) * 8;
      level_bytes = row_bytes * h;
      return S_OK;
    case DXGI_FORMAT_NV11:
      row_bytes = ((w + 3) / 4) * 4;
      level_bytes = row_bytes * h * 2;
      return S_OK;
    default: {
      const uint64_t bits = static_cast<uint64_t>(dxgi_format_bits(format));
      if (bits == 0) return E_INVALIDARG;
      row_bytes = (w * bits + 7) / 8;
      level_bytes = row_bytes * h;
      return S_OK;
    }
  }
}

HRESULT dds_read_header(const uint8_t* bytes, size_t size, dds_layout_t& layout) {
  layout = {};
  if (!bytes) return E_INVALIDARG;
  if (size < header_end) return E_FAIL;
  if (read_u32(bytes, 0) != dds_magic || read_u32(bytes, 4) != 124 || read_u32(bytes, 76) != 32) return E_FAIL;

  const uint32_t header_flags = read_u32(bytes, 8);
  layout.height = read_u32(bytes, 12);
  layout.width = read_u32(bytes, 16);
  layout.depth = read_u32(bytes, 24);
  layout.mip_count = std::max(1u, read_u32(bytes, 28));
  pixel_format_t pf;
  pf.flags = read_u32(bytes, 80);
  pf.code = read_u32(bytes, 84);
  pf.bits = read_u32(bytes, 88);
  pf.r = read_u32(bytes, 92), pf.g = read_u32(bytes, 96), pf.b = read_u32(bytes, 100), pf.a = read_u32(bytes, 104);
  const uint32_t caps2 = read_u32(bytes, 112);

  const bool dx10 = (pf.flags & pf_fourcc) && pf.code == fourcc('D', 'X', '1', '0');
  if (dx10 && size < dx10_header_end) return E_FAIL;
  const size_t offset = dx10 ? dx10_header_end : header_end;
  layout.pixels = bytes + offset;
  layout.pixel_bytes = size - offset;

  const HRESULT hr = dx10 ? read_dx10_layout(bytes, header_flags, layout)
                          : read_legacy_layout(pf, header_flags, caps2, layout);
  if (FAILED(hr)) return hr;
  return check_limits(layout);
}

HRESULT dds_fill_init_data(const dds_layout_t& layout, uint32_t size_limit, dds_init_data_t& out) {
  out = {};
  try {
    out.entries.reserve(size_t(layout.array_size) * layout.mip_count);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  size_t offset = 0;
  for (uint32_t slice = 0; slice < layout.array_size; ++slice) {
    uint32_t w = layout.width, h = layout.height, d = layout.depth;
    for (uint32_t level = 0; level < layout.mip_count; ++level) {
      uint64_t row_bytes = 0, level_bytes = 0;
      HRESULT hr = dds_surface_size(layout.format, w, h, row_bytes, level_bytes);
      if (FAILED(hr)) return hr;
      constexpr uint64_t max_u32 = std::numeric_limits<uint32_t>::max();
      if (row_bytes > max_u32 || level_bytes > max_u32) return arithmetic_overflow;

      const bool used =
          layout.mip_count == 1 || size_limit == 0 || (w <= size_limit && h <= size_limit && d <= size_limit);
      if (used) {
        if (out.entries.empty()) out.width = w, out.height = h, out.depth = d;
        out.entries.push_back({layout.pixels + offset, static_cast<UINT>(row_bytes), static_cast<UINT>(level_bytes)});
      } else if (slice == 0) {
        ++out.skipped_levels;
      }
      // A short file must not be read past its end; an entry covers at least one level even
      // when a zero depth would advance by nothing.
      const uint64_t advance = level_bytes * d;
      if (std::max(advance, level_bytes) > layout.pixel_bytes - offset) return end_of_data;
      offset += static_cast<size_t>(advance);
      w = std::max(1u, w / 2), h = std::max(1u, h / 2), d = std::max(1u, d / 2);
    }
  }
  return out.entries.empty() ? E_FAIL : S_OK;
}

HRESULT dds_create_resources(ID3D11Device* device, const dds_layout_t& layout, const dds_init_data_t& init,
                             ID3D11Resource** texture, ID3D11ShaderResourceView** view) {
  if (!device || init.entries.empty()) return E_INVALIDARG;
  const uint32_t mips = layout.mip_count - init.skipped_levels;
  const D3D11_SUBRESOURCE_DATA* data = init.entries.data();
  HRESULT hr = E_FAIL;
  switch (layout.dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D: {
      D3D11_TEXTURE1D_DESC desc{};
      desc.Width = init.width, desc.MipLevels = mips, desc.ArraySize = layout.array_size;
      desc.Format = layout.format, desc.Usage = D3D11_USAGE_DEFAULT, desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
      ID3D11Texture1D* created = nullptr;
      hr = device->CreateTexture1D(&desc, data, &created);
      if (SUCCEEDED(hr)) hr = finish_resources(device, created, layout, mips, texture, view);
      break;
    }
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D: {
      D3D11_TEXTURE2D_DESC desc{};
      desc.Width = init.width, desc.Height = init.height, desc.MipLevels = mips;
      desc.ArraySize = layout.array_size, desc.Format = layout.format;
      desc.SampleDesc = {1, 0};
      desc.Usage = D3D11_USAGE_DEFAULT, desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
      desc.MiscFlags = layout.cube ? UINT(D3D11_RESOURCE_MISC_TEXTURECUBE) : 0u;
      ID3D11Texture2D* created = nullptr;
      hr = device->CreateTexture2D(&desc, data, &created);
      if (SUCCEEDED(hr)) hr = finish_resources(device, created, layout, mips, texture, view);
      break;
    }
    default: {
      D3D11_TEXTURE3D_DESC desc{};
      desc.Width = init.width, desc.Height = init.height, desc.Depth = init.depth, desc.MipLevels = mips;
      desc.Format = layout.format, desc.Usage = D3D11_USAGE_DEFAULT, desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
      ID3D11Texture3D* created = nullptr;
      hr = device->CreateTexture3D(&desc, data, &created);
      if (SUCCEEDED(hr)) hr = finish_resources(device, created, layout, mips, texture, view);
      break;
    }
  }
  return hr;
}

HRESULT dds_create_texture(ID3D11Device* device, const dds_layout_t& layout, ID3D11Resource** texture,
                           ID3D11ShaderResourceView** view) {
  dds_init_data_t init;
  HRESULT hr = dds_fill_init_data(layout, 0, init);
  if (SUCCEEDED(hr)) hr = dds_create_resources(device, layout, init, texture, view);
  if (FAILED(hr) && layout.mip_count > 1) {
    const uint32_t limit = layout.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D ? 2048 : 8192;
    hr = dds_fill_init_data(layout, limit, init);
    if (SUCCEEDED(hr)) hr = dds_create_resources(device, layout, init, texture, view);
  }
  return hr;
}

HRESULT load_dds_texture(ID3D11Device* device, const uint8_t* bytes, size_t size, ID3D11Resource** texture,
                         ID3D11ShaderResourceView** view) {
  if (texture) *texture = nullptr;
  if (view) *view = nullptr;
  if (!device || !bytes || (!texture && !view)) return E_INVALIDARG;
  dds_layout_t layout;
  const HRESULT hr = dds_read_header(bytes, size, layout);
  if (FAILED(hr)) return hr;
  return dds_create_texture(device, layout, texture, view);
}
