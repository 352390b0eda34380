#pragma once
// ID3D11Texture1D, ID3D11Texture2D and ID3D11Texture3D over immutable GL texture storage. 2D
// textures with several slices or the cube flag are GL 2D arrays, so cube and slice views can be
// GL texture views of them. A typeless texture that is bound as a depth target gets the depth
// storage its depth view names (R32_TYPELESS becomes DEPTH_COMPONENT32F), which its R32_FLOAT view
// then samples: depth in red, as D3D reads it.
//
// A 2D texture made without initial data and without unordered access gets its GL storage only
// when something first needs its texels: a draw that writes or tests it, a view that samples it, a
// copy, a map. Until then it reads as zero, and a clear of the whole of level 0 is only recorded and
// applied when the storage is made. A pooled target's depth buffer that no draw tests, or a second
// output that no shader writes, so costs no memory, where the software rasterizer allocates and
// zeroes every texture whole.

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d11/device_child.h"

// What views, copies and maps need to know of any texture kind.
struct texture_core_t {
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
  uint32_t width = 1, height = 1, depth = 1;
  uint32_t mip_levels = 1, array_size = 1;
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;     // as created (may be typeless)
  const dxgi_format_info_t* storage = nullptr;  // the format whose GL storage the texture has
  D3D11_USAGE usage = D3D11_USAGE_DEFAULT;
  uint32_t bind_flags = 0, cpu_access = 0, misc_flags = 0;
  GLenum target = GL_TEXTURE_2D;

  // Mapping, context thread only.
  std::vector<uint8_t> map_memory;
  int mapped_subresource = -1;
  D3D11_MAP map_type = D3D11_MAP_READ;

  uint32_t level_width(uint32_t level) const { return width >> level ? width >> level : 1; }
  uint32_t level_height(uint32_t level) const { return height >> level ? height >> level : 1; }
  uint32_t level_depth(uint32_t level) const { return depth >> level ? depth >> level : 1; }
  uint32_t row_pitch(uint32_t level) const;
  uint32_t slice_pitch(uint32_t level) const;  // one depth slice or array slice of a level
  bool is_depth() const { return storage && storage->kind != dxgi_format_kind_t::color; }

  // Context thread. The GL texture, its storage made first when it was deferred.
  GLuint gl_name();
  bool storage_pending() const { return deferred_ && !name_; }
  // Context thread: makes the storage now, or defers it when the texture qualifies; `data` holds one
  // tightly packed block per subresource.
  void create_gl(const std::vector<std::vector<uint8_t>>& data);
  // Context thread, while the storage is pending: what a clear of the whole of level 0 leaves, in
  // glClearTexImage's terms (colour), or as depth and stencil values (depth formats).
  void record_colour_clear(GLenum format, GLenum type, const void* value, size_t bytes);
  void record_depth_clear(bool depth, float depth_value, bool stencil, uint8_t stencil_value);
  // Mips made from a level 0 that holds one value hold that value: the levels below level 0 take
  // what level 0 was last cleared to.
  void record_mip_generation();
  // Context thread; returns the name the GL texture had (0 when it had none) for caches to forget.
  GLuint destroy_gl();

  // Context thread: pixel transfer of one subresource (level + layer × mip_levels), tightly packed.
  void upload(uint32_t subresource, const void* bytes, const D3D11_BOX* box = nullptr);
  void download(uint32_t subresource, void* bytes);
  void* map(uint32_t subresource, D3D11_MAP type, uint32_t* row_pitch, uint32_t* depth_pitch);
  void unmap(uint32_t subresource);

 private:
  void create_storage(bool zeroed);
  void apply_recorded_clear();

  GLuint name_ = 0;
  bool deferred_ = false;
  // A recorded colour clear, in glClearTexImage's terms; nothing recorded reads as zero.
  struct colour_clear_t {
    bool recorded = false;
    GLenum format = 0, type = 0;
    std::array<uint8_t, 16> value{};
  };
  colour_clear_t first_level_clear_, other_levels_clear_;
  float clear_depth_ = 0.0f;
  uint8_t clear_stencil_ = 0;
  bool depth_cleared_ = false;
};

// The texture behind a resource of this layer; null for buffers and null.
texture_core_t* texture_core_of(ID3D11Resource* resource);

template <class Interface, class Desc>
class d3d11_texture_t final : public device_child_t<Interface> {
 public:
  d3d11_texture_t(d3d11_device_t* device, const Desc& desc, const texture_core_t& core)
      : device_child_t<Interface>(device), desc_(desc), core_(core) {}

  void GetType(D3D11_RESOURCE_DIMENSION* dimension) override { *dimension = core_.dimension; }
  void GetDesc(Desc* desc) override { *desc = desc_; }
  texture_core_t& core() { return core_; }

 private:
  void destroy_gl() override;

  Desc desc_;
  texture_core_t core_;
};

using d3d11_texture1d_t = d3d11_texture_t<ID3D11Texture1D, D3D11_TEXTURE1D_DESC>;
using d3d11_texture2d_t = d3d11_texture_t<ID3D11Texture2D, D3D11_TEXTURE2D_DESC>;
using d3d11_texture3d_t = d3d11_texture_t<ID3D11Texture3D, D3D11_TEXTURE3D_DESC>;

// Validate, normalise (MipLevels 0 = full chain) and copy initial data on the calling thread.
HRESULT create_texture1d(d3d11_device_t* device, const D3D11_TEXTURE1D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture1D** texture);
HRESULT create_texture2d(d3d11_device_t* device, const D3D11_TEXTURE2D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture2D** texture);
HRESULT create_texture3d(d3d11_device_t* device, const D3D11_TEXTURE3D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture3D** texture);
