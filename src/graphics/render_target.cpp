#include "graphics/render_target.h"

#include "graphics/graphics_system.h"
#include "support/systems.h"

render_target_t::~render_target_t() {
  count_buffer.reset();
  ds_dsv.Release();
  ds_srv.Release();
  ds_texture.Release();
  buffer.Release();
  uav.Release();
  srv.Release();
  rtv.Release();
  texture.Release();
}

void render_target_t::copy_counter() {
  if (!count_buffer) return;
  S(gsys)->get_context()->CopyStructureCount(count_buffer->buffer, 0, uav);
}
