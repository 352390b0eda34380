#pragma once
// Buffer records handed out by the graphics resources. Each owns one reference to its Direct3D
// buffer. Only the dynamic ring buffer (geometry.h) adds a virtual destructor to this family.

#include <cstdint>

#include "platform/d3d11/d3d11.h"

struct buffer_base_t {
  com_ptr_t<ID3D11Buffer> buffer;
  // Bytes asked for, before rounding up to 16.
  int32_t size = 0;
};

struct index_buffer_t : buffer_base_t {
  int32_t count = 0;
  int32_t format = DXGI_FORMAT_UNKNOWN;
};

struct vertex_buffer_t : buffer_base_t {
  int32_t count = 0;
  int32_t stride = 0;
};

// Also the record of read-back buffers (then never dynamic).
struct constant_buffer_t : buffer_base_t {
  bool dynamic = false;

  // Replaces the whole contents of a dynamic buffer with `size` bytes of data; other buffers keep
  // the contents they were made with.
  void update(const void* data);
};
