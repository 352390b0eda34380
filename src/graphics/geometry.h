#pragma once
// The vertex and index buffers and topology a render pass draws with, and the dynamic vertex
// ring that effect blocks refill on the CPU every frame.

#include <cstdint>
#include <memory>

#include "graphics/gpu_buffers.h"
#include "platform/d3d11/d3d11.h"

// A dynamic vertex buffer used as a ring of three shadow-sized parts: batches are written into
// the CPU shadow, then copied to a range of the ring the GPU is not reading.
class dyn_buffer_base : public vertex_buffer_t {
 public:
  dyn_buffer_base() = default;
  dyn_buffer_base(const dyn_buffer_base&) = delete;
  dyn_buffer_base& operator=(const dyn_buffer_base&) = delete;
  virtual ~dyn_buffer_base();

  // A ring of 3 × size bytes and a shadow of size bytes. Throws std::runtime_error when the
  // device refuses; the previous ring and shadow then stay.
  void create(int size);
  // Uploads the shadow's bytes up to `end`; returns the batch's first vertex in the ring (the base
  // vertex of its draw). An empty batch returns 0 and changes nothing.
  int commit(const uint8_t* end);

  int32_t capacity = 0;
  int32_t write_offset = 0;
  // Page-aligned, capacity / 3 bytes; a page is committed when first written.
  uint8_t* shadow = nullptr;

 private:
  size_t shadow_bytes_ = 0;
};

struct geometry_t {
  // Replaces the dynamic vertices by a ring for `count` vertices of `stride` bytes.
  void create_dynamic_vertices(int count, int stride);
  // An immutable 32-bit index buffer; `reserved` is not read. Leaves index_buffer empty on failure.
  void create_index_buffer(int count, int reserved, const uint32_t* indices);

  int32_t topology = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST;
  int32_t stride = 0;
  int32_t count = 0;
  // Bound instead of dyn_vertices when present.
  std::shared_ptr<vertex_buffer_t> vertex_buffer;
  std::unique_ptr<dyn_buffer_base> dyn_vertices;
  int32_t index_size = 0;
  int32_t index_format = DXGI_FORMAT_UNKNOWN;
  std::shared_ptr<index_buffer_t> index_buffer;
};
