#include "platform/d3d11/buffer.h"

#include <cstring>

#include "platform/d3d11/immediate_context.h"
#include "platform/win32/debugger.h"

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
  if (!data.empty()) {
    glNamedBufferData(name_, desc_.ByteWidth, data.data(), gl_usage());
  } else {
    // D3D hands out zeroed memory; GL leaves new storage undefined. The software rasterizer clears
    // one pattern at a time, so the widest pattern that divides the size keeps big buffers quick.
    glNamedBufferData(name_, desc_.ByteWidth, nullptr, gl_usage());
    static const uint32_t zero[4] = {};
    if (desc_.ByteWidth % 16 == 0)
      glClearNamedBufferData(name_, GL_RGBA32UI, GL_RGBA_INTEGER, GL_UNSIGNED_INT, zero);
    else if (desc_.ByteWidth % 4 == 0)
      glClearNamedBufferData(name_, GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, zero);
    else
      glClearNamedBufferData(name_, GL_R8UI, GL_RED_INTEGER, GL_UNSIGNED_BYTE, zero);
  }
}

void d3d11_buffer_t::destroy_gl() {
  if (!name_) return;
  device()->cache().forget_buffer(name_);
  glDeleteBuffers(1, &name_);
  name_ = 0;
}

void* d3d11_buffer_t::map(D3D11_MAP type) {
  if (mapped_ || !name_) return nullptr;
  void* pointer = nullptr;
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
  glUnmapNamedBuffer(name_);
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
