// The shader manager's two full-screen services: blit (a copy, optionally tinted) and blend (two
// inputs combined by a blend mode), each one triangle without vertex buffers.
#include <array>

#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/render_target.h"
#include "shaders/shader_manager.h"
#include "support/systems.h"

namespace {

constexpr float transparent_black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
constexpr int linear_clamp_sampler = 5;
constexpr int blit_sampler_register = 3;

}  // namespace

void shader_manager_impl_t::bind_target(render_target_t& target, render_target_t*& previous) {
  previous = S(runtime)->set_render_target(&target, transparent_black, true);
}

void shader_manager_impl_t::restore_target(render_target_t* previous) {
  if (previous) S(runtime)->set_render_target(previous, nullptr, false);
}

void shader_manager_impl_t::blit(render_target_t& source, render_target_t& target, const float4& tint) {
  render_target_t* previous = nullptr;
  bind_target(target, previous);
  graphics_runtime_t& runtime = *S(runtime);
  runtime.set_state_set(copy_states);
  runtime.set_sampler(STAGE_PIXEL, blit_sampler_register, S(resources)->get_sampler_state(linear_clamp_sampler).get());
  runtime.set_vertex_shader(vs_quad.get());
  shader_t* pixel_shader = ps_copy.get();
  // A NaN alpha fails the test and copies untinted.
  if (tint.w < 1.0f) {
    constants->update(&tint);
    runtime.set_constant_buffer(STAGE_PIXEL, 0, constants.get());
    pixel_shader = ps_copy_alpha.get();
  }
  runtime.set_pixel_shader(pixel_shader);
  runtime.set_shader_resource(STAGE_PIXEL, 0, source.srv);
  runtime.set_topology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  runtime.draw(3, 0);
  runtime.unset_shader_resources(STAGE_PIXEL, 0, 1);
  restore_target(previous);
}

void shader_manager_impl_t::blend(render_target_t* first, render_target_t* second, render_target_t& target,
                                  int32_t mode, const float4& parameter) {
  render_target_t* previous = nullptr;
  bind_target(target, previous);
  graphics_runtime_t& runtime = *S(runtime);
  runtime.set_vertex_shader(vs_quad.get());
  runtime.set_geometry_shader(nullptr);
  constants->update(&parameter);
  runtime.set_constant_buffer(STAGE_PIXEL, 0, constants.get());
  runtime.set_state_set(copy_states);
  shader_t* pixel_shader = nullptr;
  switch (mode) {
    case BLEND_ADD: pixel_shader = ps_add.get(); break;
    case BLEND_MULTIPLY: pixel_shader = ps_multiply.get(); break;
    case BLEND_SCREEN: pixel_shader = ps_screen.get(); break;
    case BLEND_DARKEN: pixel_shader = ps_darken.get(); break;
    case BLEND_LIGHTEN: pixel_shader = ps_lighten.get(); break;
    case BLEND_DIFFERENCE: pixel_shader = ps_difference.get(); break;
    case BLEND_NEGATION: pixel_shader = ps_negation.get(); break;
    default: pixel_shader = ps_lerp.get(); break;
  }
  runtime.set_pixel_shader(pixel_shader);
  const std::array<ID3D11ShaderResourceView*, 2> views = {first ? first->srv.p : nullptr,
                                                          second ? second->srv.p : nullptr};
  runtime.set_shader_resources(STAGE_PIXEL, 0, views);
  runtime.set_topology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  runtime.draw(3, 0);
  runtime.unset_shader_resources(STAGE_PIXEL, 0, 2);
  restore_target(previous);
}
