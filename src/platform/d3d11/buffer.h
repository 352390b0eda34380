#pragma once
// ID3D11Buffer over one GL buffer with mutable storage, so that a discarding map can orphan the
// storage: draws already issued keep the old data, the mapped pointer is fresh memory.
//
// Direct3D leaves the contents of a buffer made without initial data undefined, and the CPU writes
// a dynamic buffer before any draw reads it, so dynamic buffers are not cleared: bytes never written
// cost neither time nor memory. Buffers the device may read before the program writes them (default
// ones: UAVs, append and counter buffers, copy targets; staging ones) start zeroed.
//
// Large dynamic buffers, and large default ones made without initial data, live in host memory of
// their own, handed to GL as pinned memory where the driver takes it: its pages read as zero and are
// committed only when first written, where a driver store is allocated and zeroed whole. A
// screen-sized append buffer of which a frame fills a few thousand points so costs those points.

#include <array>
#include <cstddef>
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
  // Host memory behind a pinned GL store, with the fence of the last draws that may read it once
  // it is retired.
  struct host_store_t {
    uint8_t* memory = nullptr;
    GLsync fence = nullptr;
    uint64_t retired_at = 0;
  };

  d3d11_buffer_t(d3d11_device_t* device, const D3D11_BUFFER_DESC& desc);
  void create_gl(const std::vector<uint8_t>& data);
  void destroy_gl() override;
  GLenum gl_usage() const;
  // Pinned stores: fresh memory for a discarding map, the current store retired behind a fence.
  uint8_t* discard_host_store();
  uint8_t* new_host_memory() const;
  void pin(uint8_t* memory);
  void free_host_store(host_store_t& store, bool wait);

  D3D11_BUFFER_DESC desc_;
  GLuint name_ = 0;
  bool mapped_ = false;
  size_t host_bytes_ = 0;  // 0 while GL owns the store
  host_store_t host_;
  // Earlier stores that draws in flight may still read; reused once their fence has passed.
  std::array<host_store_t, 2> retired_{};
  uint64_t discards_ = 0;
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
