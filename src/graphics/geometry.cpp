#include "graphics/geometry.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <fmt/printf.h>

#include "graphics/graphics_resources.h"
#include "graphics/graphics_system.h"
#include "support/systems.h"
#include "platform/dxgi/hresult.h"

namespace {

// The ring's capacity and offsets are ints.
constexpr int64_t MAX_RING_BYTES = std::numeric_limits<int32_t>::max();

// Rings are sized for the most a block may ever draw and mostly stay far below it: the shadow's
// pages are committed only when first written (anonymous memory, page-aligned).
uint8_t* map_shadow(size_t bytes) {
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
}

}  // namespace

dyn_buffer_base::~dyn_buffer_base() {
  if (shadow) munmap(shadow, shadow_bytes_);
}

void dyn_buffer_base::create(int size) {
  if (size < 0 || 3 * int64_t{size} > MAX_RING_BYTES)
    throw std::runtime_error(fmt::sprintf("A vertex ring of 3 x %d bytes does not fit", size));
  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(3 * size);
  desc.Usage = D3D11_USAGE_DYNAMIC;
  desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  com_ptr_t<ID3D11Buffer> ring;
  const HRESULT hr = S(gsys)->get_device()->CreateBuffer(&desc, nullptr, &ring.p);
  if (FAILED(hr)) {
    throw std::runtime_error(fmt::sprintf(
        "%s: %s", "S(gsys)->get_device()->CreateBuffer(&desc, nullptr, &buffer.p)", hresult_message(hr)));
  }
  const size_t shadow_bytes = std::max<size_t>(static_cast<size_t>(size), 1);
  uint8_t* new_shadow = map_shadow(shadow_bytes);
  if (!new_shadow) throw std::runtime_error("out of memory for the vertex shadow");
  if (shadow) munmap(shadow, shadow_bytes_);
  shadow = new_shadow;
  shadow_bytes_ = shadow_bytes;
  buffer = std::move(ring);
  capacity = 3 * size;
  write_offset = 0;
}

int dyn_buffer_base::commit(const uint8_t* end) {
  const int n = static_cast<int>(end - shadow);
  if (n <= 0 || !buffer) return 0;
  // A batch longer than the shadow was never written there; copying it would read past the shadow
  // and write past the ring.
  if (n > capacity / 3) return 0;
  D3D11_MAP mode = D3D11_MAP_WRITE_NO_OVERWRITE;
  if (capacity - write_offset < n) {
    write_offset = 0;
    mode = D3D11_MAP_WRITE_DISCARD;
  }
  ID3D11DeviceContext* context = S(gsys)->get_context();
  D3D11_MAPPED_SUBRESOURCE mapped{};
  // Without a mapping nothing reaches the ring: the batch's vertices would be stale, so the ring
  // position does not move either and the caller draws from its start.
  if (FAILED(context->Map(buffer, 0, mode, 0, &mapped))) return 0;
  std::memcpy(static_cast<uint8_t*>(mapped.pData) + write_offset, shadow, static_cast<size_t>(n));
  context->Unmap(buffer, 0);
  const int first_vertex = stride > 0 ? write_offset / stride : 0;
  write_offset += n;
  return first_vertex;
}

void geometry_t::create_dynamic_vertices(int vertex_count, int vertex_stride) {
  // Refused before anything changes: the geometry keeps its ring.
  const int64_t shadow_bytes = (int64_t{vertex_count} * vertex_stride + 15) & ~int64_t{15};
  if (vertex_count < 0 || vertex_stride < 0 || 3 * shadow_bytes > MAX_RING_BYTES)
    throw std::runtime_error(
        fmt::sprintf("A vertex ring for %d vertices of %d bytes does not fit", vertex_count, vertex_stride));
  count = vertex_count;
  stride = vertex_stride;
  auto vertices = std::make_unique<dyn_buffer_base>();
  vertices->stride = vertex_stride;
  dyn_vertices = std::move(vertices);
  dyn_vertices->create(static_cast<int>(shadow_bytes));
}

void geometry_t::create_index_buffer(int index_count, int reserved, const uint32_t* indices) {
  // The buffer below refuses a count whose bytes do not fit; the size is then 0 with it.
  const int64_t bytes = int64_t{index_count} * 4;
  index_size = bytes >= 0 && bytes <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(bytes) : 0;
  index_format = DXGI_FORMAT_R32_UINT;
  index_buffer = S(resources)->create_index_buffer(index_count, DXGI_FORMAT_R32_UINT, indices, false);
}
