#include "engine/graphics_resources.h"

#include "engine/graphics_resource_impl.h"
#include "engine/graphics_system.h"
#include "engine/systems.h"

graphics_resource_impl_t::graphics_resource_impl_t(ID3D11Device* device, ID3D11DeviceContext* context)
    : device_(device), context_(context) {
  states_.build_presets(device_);
}

graphics_resource_impl_t::~graphics_resource_impl_t() = default;

void graphics_resource_impl_t::release_all() {
  states_.clear();
  temp_targets_.clear();
}

void graphics_resource_impl_t::begin_frame() { ++frame_counter_; }

std::unique_ptr<index_buffer_t> graphics_resource_impl_t::create_index_buffer(int, int, const void*, bool) {
  return nullptr;
}
std::unique_ptr<vertex_buffer_t> graphics_resource_impl_t::create_vertex_buffer(int, int, const void*, bool) {
  return nullptr;
}
std::unique_ptr<constant_buffer_t> graphics_resource_impl_t::create_constant_buffer(int, bool, const void*) {
  return nullptr;
}
std::unique_ptr<constant_buffer_t> graphics_resource_impl_t::create_readback_buffer(int) { return nullptr; }
std::unique_ptr<render_target_t> graphics_resource_impl_t::create_indirect_args_buffer(int) {
  return std::make_unique<render_target_t>();
}
std::shared_ptr<render_target_t> graphics_resource_impl_t::create_render_target(rt_size_t, int, int, DXGI_FORMAT,
                                                                                uint32_t) {
  return std::make_shared<render_target_t>();
}
std::unique_ptr<render_target_t> graphics_resource_impl_t::create_buffer(int, int, uint32_t) { return nullptr; }

std::shared_ptr<rasterizer_state_t> graphics_resource_impl_t::create_rasterizer_state(
    const D3D11_RASTERIZER_DESC& desc) {
  return states_.create_rasterizer_state(device_, desc);
}
std::shared_ptr<blend_state_t> graphics_resource_impl_t::create_blend_state(const D3D11_BLEND_DESC& desc) {
  return states_.create_blend_state(device_, desc);
}
std::shared_ptr<depth_stencil_state_t> graphics_resource_impl_t::create_depth_stencil_state(
    const D3D11_DEPTH_STENCIL_DESC& desc) {
  return states_.create_depth_stencil_state(device_, desc);
}
std::shared_ptr<sampler_state_t> graphics_resource_impl_t::create_sampler_state(const D3D11_SAMPLER_DESC& desc) {
  return states_.create_sampler_state(device_, desc);
}
std::shared_ptr<rasterizer_state_t> graphics_resource_impl_t::get_rasterizer_state(int id) {
  return states_.get_rasterizer_state(id);
}
std::shared_ptr<blend_state_t> graphics_resource_impl_t::get_blend_state(int id) { return states_.get_blend_state(id); }
std::shared_ptr<depth_stencil_state_t> graphics_resource_impl_t::get_depth_stencil_state(int id) {
  return states_.get_depth_stencil_state(id);
}
std::shared_ptr<sampler_state_t> graphics_resource_impl_t::get_sampler_state(int id) {
  return states_.get_sampler_state(id);
}

tl::expected<graphics_resources_t*, std::string> create_graphics_resources() {
  return new graphics_resource_impl_t(S(gsys)->get_device(), S(gsys)->get_context());
}
