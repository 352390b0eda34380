#include "engine/graphics_runtime.h"

graphics_runtime_impl_t::graphics_runtime_impl_t(ID3D11Device* device, ID3D11DeviceContext* context)
    : device_(device), context_(context) {}
graphics_runtime_impl_t::~graphics_runtime_impl_t() = default;

void graphics_runtime_impl_t::shutdown() { readback.reset(); }
tl::expected<void, std::string> graphics_runtime_impl_t::init() { return {}; }
void graphics_runtime_impl_t::begin_frame() {}
void* graphics_runtime_impl_t::map_buffer(buffer_base_t*) { return nullptr; }
void graphics_runtime_impl_t::unmap_buffer(buffer_base_t*) {}
void graphics_runtime_impl_t::set_constant_buffer(int, int, constant_buffer_t*) {}
void graphics_runtime_impl_t::set_constant_buffers(int, int, std::span<ID3D11Buffer* const>) {}
void graphics_runtime_impl_t::set_input_layout(ID3D11InputLayout*) {}
void graphics_runtime_impl_t::set_index_buffer(index_buffer_t*) {}
void graphics_runtime_impl_t::set_vertex_buffer(vertex_buffer_t*) {}
void graphics_runtime_impl_t::set_rasterizer_state(rasterizer_state_t*) {}
void graphics_runtime_impl_t::set_blend_state(blend_state_t*, const float[4], uint32_t) {}
void graphics_runtime_impl_t::set_depth_stencil_state(depth_stencil_state_t*, uint32_t) {}
void graphics_runtime_impl_t::set_sampler(int, int, sampler_state_t*) {}
void graphics_runtime_impl_t::set_samplers(int, int, std::span<sampler_state_t* const>) {}
void graphics_runtime_impl_t::set_vertex_shader(shader_t*) {}
void graphics_runtime_impl_t::set_pixel_shader(shader_t*) {}
void graphics_runtime_impl_t::set_compute_shader(shader_t*) {}
void graphics_runtime_impl_t::set_geometry_shader(shader_t*) {}
void graphics_runtime_impl_t::set_topology(D3D11_PRIMITIVE_TOPOLOGY) {}
void graphics_runtime_impl_t::set_shader_resource(int, int, ID3D11ShaderResourceView*) {}
void graphics_runtime_impl_t::set_shader_resources(int, int, std::span<ID3D11ShaderResourceView* const>) {}
void graphics_runtime_impl_t::set_state_set(const state_set_t&) {}
void graphics_runtime_impl_t::set_geometry(const geometry_t&) {}
void graphics_runtime_impl_t::set_viewports(int, const D3D11_VIEWPORT&) {}
void graphics_runtime_impl_t::set_scissor_rects(int, const D3D11_RECT*) {}
void graphics_runtime_impl_t::unset_shader_resources(int, int, int) {}
void graphics_runtime_impl_t::unset_compute_uavs(int, int) {}
void graphics_runtime_impl_t::unset_render_targets(int, int) {}
void graphics_runtime_impl_t::draw_indexed(uint32_t, uint32_t, int32_t) {}
void graphics_runtime_impl_t::draw(uint32_t, uint32_t) {}
void graphics_runtime_impl_t::dispatch(uint32_t, uint32_t, uint32_t) {}
void graphics_runtime_impl_t::clear_render_target(render_target_t*, const float[4]) {}
render_target_t* graphics_runtime_impl_t::set_render_target(render_target_t*, const float[4], bool) {
  return nullptr;
}
bound_targets_t graphics_runtime_impl_t::set_render_targets(std::span<render_target_t* const>,
                                                            std::span<const float* const>, bool) {
  return {};
}
bound_targets_t graphics_runtime_impl_t::set_render_targets_clear_all(std::span<render_target_t* const>,
                                                                      const float[4], bool) {
  return {};
}
render_target_t* graphics_runtime_impl_t::get_render_target(int) { return nullptr; }
void graphics_runtime_impl_t::set_compute_uav(int, ID3D11UnorderedAccessView*, uint32_t) {}
void graphics_runtime_impl_t::set_compute_uavs(int, std::span<ID3D11UnorderedAccessView* const>,
                                               std::span<const uint32_t>) {}
float2 graphics_runtime_impl_t::get_render_target_size(int) { return {}; }
float2 graphics_runtime_impl_t::get_shader_resource_size(int) { return {}; }
bool graphics_runtime_impl_t::has_shader_resource(int) { return false; }
uint32_t graphics_runtime_impl_t::read_uav_counter(ID3D11UnorderedAccessView*) { return 0; }
void graphics_runtime_impl_t::trace(const std::string&) {}
