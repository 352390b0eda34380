#pragma once
// Reads a DDS file held in memory (with or without the DX10 extension header) and makes a
// Direct3D 11 texture with every mip level and array slice of it, plus a shader-resource view.
// Stateless and re-entrant: textures load on whichever thread asks for them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d11/d3d11.h"

// The texture a DDS file describes, checked against its headers and the device limits.
struct dds_layout_t {
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
  uint32_t width = 0;
  uint32_t height = 1;
  uint32_t depth = 1;
  uint32_t mip_count = 1;   // 1 when the header says 0
  uint32_t array_size = 1;  // six per cube
  bool cube = false;
  const uint8_t* pixels = nullptr;  // the bytes after the headers
  size_t pixel_bytes = 0;
};

// The subresources to create with, slices then levels, and the size of the first level used.
struct dds_init_data_t {
  std::vector<D3D11_SUBRESOURCE_DATA> entries;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 0;
  uint32_t skipped_levels = 0;
};

// Bytes per row and per level of a mip level of w × h texels.
HRESULT dds_surface_size(DXGI_FORMAT format, uint32_t width, uint32_t height, uint64_t& row_bytes,
                         uint64_t& level_bytes);

// The file's headers, format, dimension and limits; no device needed.
HRESULT dds_read_header(const uint8_t* bytes, size_t size, dds_layout_t& layout);

// Splits the pixel data into subresources, leaving out levels larger than `size_limit` (0: none).
HRESULT dds_fill_init_data(const dds_layout_t& layout, uint32_t size_limit, dds_init_data_t& out);

HRESULT dds_create_resources(ID3D11Device* device, const dds_layout_t& layout, const dds_init_data_t& init,
                             ID3D11Resource** texture, ID3D11ShaderResourceView** view);

// Fills and creates; when that fails for a file with several mip levels, tries once more
// without the levels above 2048 (3D) or 8192 texels.
HRESULT dds_create_texture(ID3D11Device* device, const dds_layout_t& layout, ID3D11Resource** texture,
                           ID3D11ShaderResourceView** view);

// Either output may be null, not both; both are set to null first.
HRESULT load_dds_texture(ID3D11Device* device, const uint8_t* bytes, size_t size, ID3D11Resource** texture,
                         ID3D11ShaderResourceView** view);
