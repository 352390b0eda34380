#pragma once
// ID3D11Buffer over one GL buffer with mutable storage, so that a discarding map can orphan the
// storage: draws already issued keep the old data, the mapped pointer is fresh memory.

#include <cstdint>
#include <vector>

#include "platform/d3d11/device_child.h"

class d3d11_buffer_t final : public device_child_t<ID3D11Buffer> {
 public:
  // Validates and normalises the description; initial data is copied before returning.
  static HRESULT create(d3d11_device_t* device, const D3D11_BUFFER_DESC& desc,
                        const D3D11_SUBRESOURCE_DATA* data, d3d11_buffer_t** buffer);

  void GetType(D3D11_RESOURCE_DIMENSION* dimension) override { *dimension = D3D11_RESOURCE_DIMENSION_BUFFER; }
  void GetDesc(D3D11_BUFFER_DESC* desc) override { *desc = desc_; }

  const D3D11_BUFFER_DESC& desc() const { return desc_; }
  GLuint gl_name() const { return name_; }

  // Context thread.
  void* map(D3D11_MAP type);
  void unmap();
  bool mapped() const { return mapped_; }

 private:
  d3d11_buffer_t(d3d11_device_t* device, const D3D11_BUFFER_DESC& desc);
  void create_gl(const std::vector<uint8_t>& data);
  void destroy_gl() override;
  GLenum gl_usage() const;

  D3D11_BUFFER_DESC desc_;
  GLuint name_ = 0;
  bool mapped_ = false;
};

// The buffer behind an interface pointer of this layer (null for null).
inline d3d11_buffer_t* to_impl(ID3D11Buffer* buffer) { return static_cast<d3d11_buffer_t*>(buffer); }

// GL binds storage and texture buffer ranges only from aligned offsets (16 bytes on llvmpipe), and a
// shader cannot be told a start of its own; a buffer view starting elsewhere would read the wrong
// elements, so it is refused instead.
bool buffer_view_start_fits(d3d11_device_t* device, uint64_t first_byte);

inline d3d11_buffer_t* buffer_of(ID3D11Resource* resource) {
  if (!resource) return nullptr;
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
  resource->GetType(&dimension);
  return dimension == D3D11_RESOURCE_DIMENSION_BUFFER ? to_impl(static_cast<ID3D11Buffer*>(resource))
                                                      : nullptr;
}

// Bytes a view of `count` elements from `first` covers: structured views (unknown format) step by
// the buffer's structure stride, typed views by their format's size.
struct buffer_view_bytes_t {
  GLintptr offset = 0;
  GLsizeiptr size = 0;
};
buffer_view_bytes_t buffer_view_bytes(const D3D11_BUFFER_DESC& buffer, DXGI_FORMAT format, uint32_t first,
                                      uint32_t count);
