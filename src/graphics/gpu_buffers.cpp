#include "graphics/gpu_buffers.h"

#include <cstring>

#include "graphics/graphics_system.h"
#include "support/systems.h"

void constant_buffer_t::update(const void* data) {
  if (!dynamic || !buffer) return;
  ID3D11DeviceContext* context = S(gsys)->get_context();
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) return;
  std::memcpy(mapped.pData, data, size);
  context->Unmap(buffer, 0);
}
