#include "platform/d3d11/buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "platform/d3d11/immediate_context.h"
#include "platform/win32/debugger.h"

namespace {

// Below this a driver store costs little to zero, and orphaning it is cheaper than a fence per
// discard (constant buffers are discarded at every write).
constexpr size_t host_store_min_bytes = size_t(1) << 20;

size_t page_size() {
  static const size_t size = size_t(sysconf(_SC_PAGESIZE));
  return size;
}

bool fence_passed(GLsync fence) {
  return !fence || glClientWaitSync(fence, 0, 0) != GL_TIMEOUT_EXPIRED;
}

}  // namespace

d3d11_buffer_t::d3d11_buffer_t(d3d11_device_t* device, const D3D11_BUFFER_DESC& desc)
    : device_child_t(device), desc_(desc) {}

HRESULT d3d11_buffer_t::create(d3d11_device_t* device, const D3D11_BUFFER_DESC& in,
                               const D3D11_SUBRESOURCE_DATA* data, d3d11_buffer_t** buffer) {
  D3D11_BUFFER_DESC desc = in;
  if (desc.ByteWidth == 0) return E_INVALIDARG;
  if (desc.Usage == D3D11_USAGE_IMMUTABLE && (!data || !data->pSysMem)) return E_INVALIDARG;
  if (desc.Usage == D3D11_USAGE_DYNAMIC && !(desc.CPUAccessFlags & D3D11_CPU_ACCESS_WRITE))
    return E_INVALIDARG;
  if (desc.Usage == D3D11_USAGE_STAGING && desc.BindFlags != 0) return E_INVALIDARG;
  if ((desc.Usage == D3D11_USAGE_DEFAULT || desc.Usage == D3D11_USAGE_IMMUTABLE) && desc.CPUAccessFlags != 0)
    return E_INVALIDARG;
  if (desc.BindFlags & D3D11_BIND_CONSTANT_BUFFER) {
    // D3D limits a constant buffer to 4096 float4s, in whole float4s.
    if (desc.ByteWidth % 16 != 0 || desc.ByteWidth > 65536) return E_INVALIDARG;
    if (desc.BindFlags & ~(D3D11_BIND_CONSTANT_BUFFER)) return E_INVALIDARG;
  }
  if (desc.MiscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) {
    if (desc.StructureByteStride == 0 || desc.StructureByteStride % 4 != 0 ||
        desc.ByteWidth % desc.StructureByteStride != 0)
      return E_INVALIDARG;
  } else {
    desc.StructureByteStride = 0;
  }
  if (!buffer) return S_FALSE;

  std::vector<uint8_t> initial;
  if (data && data->pSysMem) {
    initial.resize(desc.ByteWidth);
    std::memcpy(initial.data(), data->pSysMem, desc.ByteWidth);
  }
  auto* object = new d3d11_buffer_t(device, desc);
  device->enqueue([object, initial = std::move(initial)] { object->create_gl(initial); });
  *buffer = object;
  return S_OK;
}

GLenum d3d11_buffer_t::gl_usage() const {
  switch (desc_.Usage) {
    case D3D11_USAGE_DYNAMIC:
      return GL_DYNAMIC_DRAW;
    case D3D11_USAGE_STAGING:
      return (desc_.CPUAccessFlags & D3D11_CPU_ACCESS_READ) ? GL_STREAM_READ : GL_STREAM_DRAW;
    case D3D11_USAGE_IMMUTABLE:
      return GL_STATIC_DRAW;
    default:
      return GL_DYNAMIC_COPY;
  }
}

void d3d11_buffer_t::create_gl(const std::vector<uint8_t>& data) {
  glCreateBuffers(1, &name_);
  const bool host_store =
      desc_.Usage == D3D11_USAGE_DYNAMIC || (desc_.Usage == D3D11_USAGE_DEFAULT && data.empty());
  if (host_store && desc_.ByteWidth >= host_store_min_bytes && device()->immediate()->pinned_memory()) {
    host_bytes_ = (size_t(desc_.ByteWidth) + page_size() - 1) & ~(page_size() - 1);
    if (uint8_t* memory = new_host_memory()) {
      if (!data.empty()) std::memcpy(memory, data.data(), desc_.ByteWidth);
      pin(memory);
      GLint64 size = 0;
      glGetNamedBufferParameteri64v(name_, GL_BUFFER_SIZE, &size);
      if (size == GLint64(desc_.ByteWidth)) {
        host_.memory = memory;
        return;
      }
      munmap(memory, host_bytes_);
    }
    host_bytes_ = 0;
  }
  if (!data.empty()) {
    glNamedBufferData(name_, desc_.ByteWidth, data.data(), gl_usage());
    return;
  }
  glNamedBufferData(name_, desc_.ByteWidth, nullptr, gl_usage());
  if (desc_.Usage == D3D11_USAGE_DYNAMIC) return;
  // GL leaves new storage undefined. The software rasterizer clears one pattern at a time, so the
  // widest pattern that divides the size keeps big buffers quick.
  static const uint32_t zero[4] = {};
  if (desc_.ByteWidth % 16 == 0)
    glClearNamedBufferData(name_, GL_RGBA32UI, GL_RGBA_INTEGER, GL_UNSIGNED_INT, zero);
  else if (desc_.ByteWidth % 4 == 0)
    glClearNamedBufferData(name_, GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, zero);
  else
    glClearNamedBufferData(name_, GL_R8UI, GL_RED_INTEGER, GL_UNSIGNED_BYTE, zero);
}

uint8_t* d3d11_buffer_t::new_host_memory() const {
  // Anonymous pages read as zero and are committed on the first write.
  void* memory = mmap(nullptr, host_bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
}

void d3d11_buffer_t::pin(uint8_t* memory) {
  glBindBuffer(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, name_);
  glBufferData(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, desc_.ByteWidth, memory, gl_usage());
  glBindBuffer(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, 0);
}

uint8_t* d3d11_buffer_t::discard_host_store() {
  uint8_t* fresh = nullptr;
  // A retired store that no draw reads any more, else new memory while there is room to retire
  // the current store, else the oldest retired store once its draws are done.
  for (host_store_t& store : retired_) {
    if (store.memory && fence_passed(store.fence)) {
      fresh = store.memory;
      store.memory = nullptr;
      free_host_store(store, false);
      break;
    }
  }
  host_store_t* free_slot = nullptr;
  for (host_store_t& store : retired_)
    if (!store.memory) free_slot = &store;
  if (!fresh && free_slot) fresh = new_host_memory();
  if (!fresh) {
    host_store_t* oldest = &retired_[0];
    for (host_store_t& store : retired_)
      if (store.retired_at < oldest->retired_at) oldest = &store;
    if (!free_slot) {
      glClientWaitSync(oldest->fence, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
      fresh = oldest->memory;
      oldest->memory = nullptr;
      free_host_store(*oldest, false);
      free_slot = oldest;
    }
  }
  if (!fresh) return nullptr;
  free_slot->memory = host_.memory;
  free_slot->fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  free_slot->retired_at = ++discards_;
  host_.memory = fresh;
  pin(fresh);
  return fresh;
}

void d3d11_buffer_t::free_host_store(host_store_t& store, bool wait) {
  if (store.fence) {
    if (wait) glClientWaitSync(store.fence, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
    glDeleteSync(store.fence);
    store.fence = nullptr;
  }
  if (store.memory) munmap(store.memory, host_bytes_);
  store.memory = nullptr;
}

void d3d11_buffer_t::destroy_gl() {
  if (!name_) return;
  device()->cache().forget_buffer(name_);
  glDeleteBuffers(1, &name_);
  name_ = 0;
  if (!host_bytes_) return;
  // Draws already issued may still read the host stores.
  host_.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  free_host_store(host_, true);
  for (host_store_t& store : retired_) free_host_store(store, true);
}

void* d3d11_buffer_t::map(D3D11_MAP type) {
  if (mapped_ || !name_) return nullptr;
  void* pointer = nullptr;
  if (host_bytes_ && desc_.Usage == D3D11_USAGE_DYNAMIC) {
    // The host store is the buffer's memory: a discard takes other memory, draws already issued
    // keep reading theirs.
    if (type == D3D11_MAP_WRITE_DISCARD) pointer = discard_host_store();
    else if (type == D3D11_MAP_WRITE_NO_OVERWRITE) pointer = host_.memory;
    mapped_ = pointer != nullptr;
    return pointer;
  }
  switch (type) {
    case D3D11_MAP_WRITE_DISCARD:
      if (desc_.Usage != D3D11_USAGE_DYNAMIC) return nullptr;
      // Respecifying the store orphans the old one, which in-flight draws keep reading.
      glNamedBufferData(name_, desc_.ByteWidth, nullptr, gl_usage());
      pointer =
          glMapNamedBufferRange(name_, 0, desc_.ByteWidth,
                                GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
      break;
    case D3D11_MAP_WRITE_NO_OVERWRITE:
      if (desc_.Usage != D3D11_USAGE_DYNAMIC) return nullptr;
      // The caller promises not to touch ranges the GPU still reads.
      pointer =
          glMapNamedBufferRange(name_, 0, desc_.ByteWidth, GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
      break;
    case D3D11_MAP_READ:
      if (!(desc_.CPUAccessFlags & D3D11_CPU_ACCESS_READ)) return nullptr;
      pointer = glMapNamedBufferRange(name_, 0, desc_.ByteWidth, GL_MAP_READ_BIT);
      break;
    case D3D11_MAP_WRITE:
    case D3D11_MAP_READ_WRITE:
      if (desc_.Usage != D3D11_USAGE_STAGING) return nullptr;
      pointer = glMapNamedBufferRange(name_, 0, desc_.ByteWidth,
                                      (type == D3D11_MAP_WRITE ? 0 : GL_MAP_READ_BIT) | GL_MAP_WRITE_BIT);
      break;
  }
  mapped_ = pointer != nullptr;
  return pointer;
}

void d3d11_buffer_t::unmap() {
  if (!mapped_) return;
  if (!host_bytes_) glUnmapNamedBuffer(name_);
  mapped_ = false;
}

bool buffer_view_start_fits(d3d11_device_t* device, uint64_t first_byte) {
  const uint32_t alignment = device->immediate()->buffer_view_alignment();
  if (first_byte % alignment == 0) return true;
  PLATFORM_LOG_WRN("Buffer view starting at byte %llu: GL binds buffer ranges from multiples of %u only",
          static_cast<unsigned long long>(first_byte), alignment);
  return false;
}

buffer_view_bytes_t buffer_view_bytes(const D3D11_BUFFER_DESC& buffer, DXGI_FORMAT format, uint32_t first,
                                      uint32_t count) {
  const uint32_t stride =
      format == DXGI_FORMAT_UNKNOWN ? buffer.StructureByteStride : dxgi_format_info(format).block_bytes;
  return {GLintptr(first) * stride, GLsizeiptr(count) * stride};
}
