#include "graphics/graphics_runtime.h"

#include <algorithm>
#include <cstring>

#include <fmt/printf.h>

#include "graphics/geometry.h"
#include "graphics/gpu_buffers.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_system.h"
#include "graphics/pipeline_states.h"
#include "graphics/render_target.h"
#include "graphics/shader_objects.h"
#include "graphics/state_set.h"
#include "support/systems.h"

namespace {

constexpr float frame_clear_colour[4] = {0.1f, 0.2f, 0.5f, 1.0f};
constexpr float no_blend_factor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr UINT keep_counters[RUNTIME_SLOT_COUNT] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
constexpr UINT reset_counters[RUNTIME_SLOT_COUNT] = {};

// Sends one call to the VS, GS, PS and CS forms of a context method, by the bits of the mask.
template <class Vs, class Gs, class Ps, class Cs>
void for_stages(int mask, Vs vs, Gs gs, Ps ps, Cs cs) {
  if (mask & STAGE_VERTEX) vs();
  if (mask & STAGE_GEOMETRY) gs();
  if (mask & STAGE_PIXEL) ps();
  if (mask & STAGE_COMPUTE) cs();
}

void set_constant_buffers_on(ID3D11DeviceContext* c, int mask, UINT start, UINT n,
                             ID3D11Buffer* const* buffers) {
  for_stages(
      mask, [&] { c->VSSetConstantBuffers(start, n, buffers); },
      [&] { c->GSSetConstantBuffers(start, n, buffers); },
      [&] { c->PSSetConstantBuffers(start, n, buffers); },
      [&] { c->CSSetConstantBuffers(start, n, buffers); });
}

void set_samplers_on(ID3D11DeviceContext* c, int mask, UINT start, UINT n,
                     ID3D11SamplerState* const* states) {
  for_stages(
      mask, [&] { c->VSSetSamplers(start, n, states); }, [&] { c->GSSetSamplers(start, n, states); },
      [&] { c->PSSetSamplers(start, n, states); }, [&] { c->CSSetSamplers(start, n, states); });
}

void set_shader_resources_on(ID3D11DeviceContext* c, int mask, UINT start, UINT n,
                             ID3D11ShaderResourceView* const* views) {
  for_stages(
      mask, [&] { c->VSSetShaderResources(start, n, views); },
      [&] { c->GSSetShaderResources(start, n, views); }, [&] { c->PSSetShaderResources(start, n, views); },
      [&] { c->CSSetShaderResources(start, n, views); });
}

// The cache entry at index, or null outside the cache: system values name render targets and
// shader resources by any number a shader's metadata gives.
template <class T>
T* cached(const std::array<T*, RUNTIME_SLOT_COUNT>& cache, int index) {
  return index >= 0 && index < RUNTIME_SLOT_COUNT ? cache[index] : nullptr;
}

// The part of [start, start + count) that lies within the cache.
void clamp_range(int& start, int& count) {
  const int end = std::clamp(start + count, 0, RUNTIME_SLOT_COUNT);
  start = std::clamp(start, 0, RUNTIME_SLOT_COUNT);
  count = std::max(0, end - start);
}

}  // namespace

graphics_runtime_impl_t::graphics_runtime_impl_t(ID3D11Device* device, ID3D11DeviceContext* context)
    : device_(device), context_(context) {}

graphics_runtime_impl_t::~graphics_runtime_impl_t() = default;

void graphics_runtime_impl_t::shutdown() { readback.reset(); }

tl::expected<void, std::string> graphics_runtime_impl_t::init() {
  readback = S(resources)->create_readback_buffer(4);
  return {};
}

void graphics_runtime_impl_t::begin_frame() {
  set_render_target(S(gsys)->get_backbuffer(), frame_clear_colour, true);
}

void* graphics_runtime_impl_t::map_buffer(buffer_base_t* buffer) {
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context_->Map(buffer->buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) return nullptr;
  return mapped.pData;
}

void graphics_runtime_impl_t::unmap_buffer(buffer_base_t* buffer) { context_->Unmap(buffer->buffer, 0); }

void graphics_runtime_impl_t::set_constant_buffer(int mask, int slot, constant_buffer_t* buffer) {
  ID3D11Buffer* buffers[1] = {buffer->buffer};
  set_constant_buffers_on(context_, mask, slot, 1, buffers);
}

void graphics_runtime_impl_t::set_constant_buffers(int mask, int start,
                                                   std::span<ID3D11Buffer* const> buffers) {
  set_constant_buffers_on(context_, mask, start, static_cast<UINT>(buffers.size()), buffers.data());
}

void graphics_runtime_impl_t::set_input_layout(ID3D11InputLayout* layout) {
  context_->IASetInputLayout(layout);
}

void graphics_runtime_impl_t::set_index_buffer(index_buffer_t* buffer) {
  context_->IASetIndexBuffer(buffer->buffer, static_cast<DXGI_FORMAT>(buffer->format), 0);
}

void graphics_runtime_impl_t::set_vertex_buffer(vertex_buffer_t* buffer) {
  ID3D11Buffer* buffers[1] = {buffer ? buffer->buffer.get() : nullptr};
  const UINT strides[1] = {buffer ? static_cast<UINT>(buffer->stride) : 0u};
  const UINT offsets[1] = {0};
  context_->IASetVertexBuffers(0, 1, buffers, strides, offsets);
}

void graphics_runtime_impl_t::set_rasterizer_state(rasterizer_state_t* state) {
  if (trace_enabled) trace(fmt::sprintf("set rasterize state: %p", static_cast<void*>(state)));
  context_->RSSetState(state->state);
}

void graphics_runtime_impl_t::set_blend_state(blend_state_t* state, const float blend_factor[4],
                                              uint32_t sample_mask) {
  if (trace_enabled) trace(fmt::sprintf("set blend state: %p", static_cast<void*>(state)));
  context_->OMSetBlendState(state->state, blend_factor, sample_mask);
}

void graphics_runtime_impl_t::set_depth_stencil_state(depth_stencil_state_t* state, uint32_t stencil_ref) {
  if (trace_enabled) trace(fmt::sprintf("set depth stencil state: %p", static_cast<void*>(state)));
  context_->OMSetDepthStencilState(state->state, stencil_ref);
}

void graphics_runtime_impl_t::set_sampler(int mask, int slot, sampler_state_t* state) {
  if (!state) return;
  ID3D11SamplerState* states[1] = {state->state};
  set_samplers_on(context_, mask, slot, 1, states);
}

void graphics_runtime_impl_t::set_samplers(int mask, int start, std::span<sampler_state_t* const> states) {
  if (trace_enabled) trace(fmt::sprintf("set %d samplers", static_cast<int>(states.size())));
  std::array<ID3D11SamplerState*, RUNTIME_SLOT_COUNT> raw{};
  const size_t n = std::min(states.size(), raw.size());
  for (size_t i = 0; i < n; ++i) raw[i] = states[i] ? states[i]->state.get() : nullptr;
  set_samplers_on(context_, mask, start, static_cast<UINT>(n), raw.data());
}

// A shader still compiling or failed leaves the stage as it was, so a frame can be drawn while
// shaders are being prepared.
void graphics_runtime_impl_t::set_vertex_shader(shader_objects_t* shader) {
  if (!shader) {
    context_->VSSetShader(nullptr, nullptr, 0);
    return;
  }
  if (shader->state != SHADER_STATE_READY) return;
  context_->VSSetShader(shader->vertex_shader, nullptr, 0);
  context_->IASetInputLayout(shader->input_layout);
}

void graphics_runtime_impl_t::set_pixel_shader(shader_objects_t* shader) {
  if (!shader) {
    context_->PSSetShader(nullptr, nullptr, 0);
    return;
  }
  if (shader->state == SHADER_STATE_READY) context_->PSSetShader(shader->pixel_shader, nullptr, 0);
}

void graphics_runtime_impl_t::set_compute_shader(shader_objects_t* shader) {
  if (!shader) {
    context_->CSSetShader(nullptr, nullptr, 0);
    return;
  }
  if (shader->state == SHADER_STATE_READY) context_->CSSetShader(shader->compute_shader, nullptr, 0);
}

void graphics_runtime_impl_t::set_geometry_shader(shader_objects_t* shader) {
  if (!shader) {
    context_->GSSetShader(nullptr, nullptr, 0);
    return;
  }
  if (shader->state == SHADER_STATE_READY) context_->GSSetShader(shader->geometry_shader, nullptr, 0);
}

void graphics_runtime_impl_t::set_topology(D3D11_PRIMITIVE_TOPOLOGY topology) {
  context_->IASetPrimitiveTopology(topology);
}

void graphics_runtime_impl_t::set_shader_resource(int mask, int slot, ID3D11ShaderResourceView* view) {
  if (slot >= 0 && slot < RUNTIME_SLOT_COUNT) shader_resources[slot] = view;
  ID3D11ShaderResourceView* views[1] = {view};
  set_shader_resources_on(context_, mask, slot, 1, views);
}

void graphics_runtime_impl_t::set_shader_resources(int mask, int start,
                                                   std::span<ID3D11ShaderResourceView* const> views) {
  for (size_t i = 0; i < views.size() && start + i < shader_resources.size(); ++i)
    shader_resources[start + i] = views[i];
  set_shader_resources_on(context_, mask, start, static_cast<UINT>(views.size()), views.data());
}

void graphics_runtime_impl_t::set_state_set(const state_set_t& states) {
  if (trace_enabled) {
    trace(fmt::sprintf("set rasterize state: %p", static_cast<void*>(states.rasterizer.get())));
    trace(fmt::sprintf("set blend state: %p", static_cast<void*>(states.blend.get())));
    trace(fmt::sprintf("set depth stencil state: %p", static_cast<void*>(states.depth_stencil.get())));
  }
  context_->RSSetState(states.rasterizer ? states.rasterizer->state.get() : nullptr);
  context_->OMSetBlendState(states.blend ? states.blend->state.get() : nullptr, no_blend_factor, 0xFFFFFFFFu);
  context_->OMSetDepthStencilState(states.depth_stencil ? states.depth_stencil->state.get() : nullptr, 0);
  if (states.samplers.empty()) return;
  std::array<ID3D11SamplerState*, D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT> raw{};
  const size_t n = std::min(states.samplers.size(), raw.size());
  for (size_t i = 0; i < n; ++i) raw[i] = states.samplers[i] ? states.samplers[i]->state.get() : nullptr;
  context_->PSSetSamplers(0, static_cast<UINT>(n), raw.data());
}

void graphics_runtime_impl_t::set_geometry(const geometry_t& geometry) {
  ID3D11Buffer* buffer = nullptr;
  UINT stride = 0;
  if (geometry.vertex_buffer) {
    buffer = geometry.vertex_buffer->buffer;
    stride = static_cast<UINT>(geometry.stride);
  } else if (geometry.dyn_vertices) {
    buffer = geometry.dyn_vertices->buffer;
    stride = static_cast<UINT>(geometry.dyn_vertices->stride);
  }
  if (buffer) {
    const UINT offset = 0;
    context_->IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
  }
  if (geometry.index_buffer) {
    context_->IASetIndexBuffer(geometry.index_buffer->buffer,
                               static_cast<DXGI_FORMAT>(geometry.index_buffer->format), 0);
  }
  context_->IASetPrimitiveTopology(static_cast<D3D11_PRIMITIVE_TOPOLOGY>(geometry.topology));
}

void graphics_runtime_impl_t::set_viewports(int n, const D3D11_VIEWPORT& viewport) {
  std::array<D3D11_VIEWPORT, D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE> viewports;
  const int count = std::clamp(n, 0, static_cast<int>(viewports.size()));
  for (int i = 0; i < count; ++i) viewports[i] = viewport;
  context_->RSSetViewports(static_cast<UINT>(count), viewports.data());
}

void graphics_runtime_impl_t::set_scissor_rects(int n, const D3D11_RECT* rects) {
  context_->RSSetScissorRects(static_cast<UINT>(n), rects);
}

void graphics_runtime_impl_t::unset_shader_resources(int mask, int start, int count) {
  clamp_range(start, count);
  ID3D11ShaderResourceView* null_view[1] = {nullptr};
  for (int slot = start; slot < start + count; ++slot) {
    if (!shader_resources[slot]) continue;
    set_shader_resources_on(context_, mask, slot, 1, null_view);
    shader_resources[slot] = nullptr;
  }
}

void graphics_runtime_impl_t::unset_compute_uavs(int start, int count) {
  clamp_range(start, count);
  ID3D11UnorderedAccessView* const null_views[RUNTIME_SLOT_COUNT] = {};
  context_->CSSetUnorderedAccessViews(start, count, null_views, keep_counters);
}

void graphics_runtime_impl_t::unset_render_targets(int start, int count) {
  clamp_range(start, count);
  for (int slot = start; slot < start + count; ++slot) targets[slot] = nullptr;
  ID3D11RenderTargetView* const null_views[RUNTIME_SLOT_COUNT] = {};
  context_->OMSetRenderTargets(count, null_views, nullptr);
}

void graphics_runtime_impl_t::draw_indexed(uint32_t index_count, uint32_t start_index, int32_t base_vertex) {
  context_->DrawIndexed(index_count, start_index, base_vertex);
}

void graphics_runtime_impl_t::draw(uint32_t vertex_count, uint32_t start_vertex) {
  context_->Draw(vertex_count, start_vertex);
}

void graphics_runtime_impl_t::dispatch(uint32_t x, uint32_t y, uint32_t z) {
  if (trace_enabled) trace(fmt::sprintf("dispatch: %u, %u, %u", x, y, z));
  context_->Dispatch(x, y, z);
}

void graphics_runtime_impl_t::clear_render_target(render_target_t* target, const float colour[4]) {
  if (trace_enabled)
    trace(fmt::sprintf("clear rt: %p, col: %f, %f, %f, %f", static_cast<void*>(target), colour[0], colour[1],
                       colour[2], colour[3]));
  context_->ClearRenderTargetView(target->rtv, colour);
  if (target->ds_dsv) {
    if (trace_enabled) trace("clear depth");
    context_->ClearDepthStencilView(target->ds_dsv, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
  }
}

render_target_t* graphics_runtime_impl_t::set_render_target(render_target_t* target, const float colour[4],
                                                            bool clear_depth) {
  render_target_t* previous = targets[0];
  // The device keeps only this one bound; a record of the others would let a restore bring back a
  // target nobody bound.
  targets.fill(nullptr);
  targets[0] = target;
  if (!target) {
    ID3D11RenderTargetView* const null_view[1] = {nullptr};
    context_->OMSetRenderTargets(1, null_view, nullptr);
    return previous;
  }
  if (colour) context_->ClearRenderTargetView(target->rtv, colour);
  if (clear_depth && target->ds_dsv)
    context_->ClearDepthStencilView(target->ds_dsv, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
  context_->RSSetViewports(1, &target->viewport);
  ID3D11RenderTargetView* const views[1] = {target->rtv};
  context_->OMSetRenderTargets(1, views, target->ds_dsv);
  return previous;
}

bound_targets_t graphics_runtime_impl_t::set_render_targets(std::span<render_target_t* const> list,
                                                            std::span<const float* const> colours,
                                                            bool clear_depth) {
  // Everything bound before, so that restoring a shorter list brings back the targets it replaced.
  bound_targets_t previous;
  int bound = 0;
  for (int i = 0; i < RUNTIME_SLOT_COUNT; ++i)
    if (targets[i]) bound = i + 1;
  previous.count = std::max(bound, static_cast<int>(std::min(list.size(), targets.size())));
  previous.targets = targets;
  const int count = static_cast<int>(std::min(list.size(), targets.size()));
  targets.fill(nullptr);

  std::array<ID3D11RenderTargetView*, RUNTIME_SLOT_COUNT> views{};
  std::array<ID3D11UnorderedAccessView*, D3D11_1_UAV_SLOT_COUNT> uavs{};
  UINT view_count = 0, uav_count = 0;
  ID3D11DepthStencilView* depth = nullptr;
  for (int i = 0; i < count; ++i) {
    render_target_t* target = list[i];
    targets[i] = target;
    if (!target) {
      views[view_count++] = nullptr;
    } else if (target->rtv) {
      if (static_cast<size_t>(i) < colours.size() && colours[i])
        context_->ClearRenderTargetView(target->rtv, colours[i]);
      if (clear_depth && target->ds_dsv)
        context_->ClearDepthStencilView(target->ds_dsv, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
      if (i == 0) {
        context_->RSSetViewports(1, &target->viewport);
        depth = target->ds_dsv;
      }
      views[view_count++] = target->rtv;
    } else if (target->uav && uav_count < uavs.size()) {
      uavs[uav_count++] = target->uav;
    }
  }
  if (uav_count == 0) {
    context_->OMSetRenderTargets(view_count, views.data(), depth);
  } else {
    context_->OMSetRenderTargetsAndUnorderedAccessViews(view_count, views.data(), depth, view_count,
                                                        uav_count, uavs.data(), reset_counters);
  }
  return previous;
}

bound_targets_t graphics_runtime_impl_t::set_render_targets_clear_all(std::span<render_target_t* const> list,
                                                                      const float colour[4],
                                                                      bool clear_depth) {
  std::array<const float*, RUNTIME_SLOT_COUNT> colours{};
  const size_t n = colour ? std::min(list.size(), colours.size()) : 0;
  for (size_t i = 0; i < n; ++i) colours[i] = colour;
  return set_render_targets(list, std::span<const float* const>(colours.data(), n), clear_depth);
}

render_target_t* graphics_runtime_impl_t::get_render_target(int index) { return cached(targets, index); }

void graphics_runtime_impl_t::set_compute_uav(int slot, ID3D11UnorderedAccessView* view,
                                              uint32_t initial_count) {
  const UINT counts[1] = {initial_count};
  context_->CSSetUnorderedAccessViews(slot, 1, &view, counts);
}

void graphics_runtime_impl_t::set_compute_uavs(int start, std::span<ID3D11UnorderedAccessView* const> views,
                                               std::span<const uint32_t> initial_counts) {
  context_->CSSetUnorderedAccessViews(start, static_cast<UINT>(views.size()), views.data(),
                                      initial_counts.data());
}

float2 graphics_runtime_impl_t::get_render_target_size(int index) {
  const render_target_t* target = cached(targets, index);
  if (!target) return {};
  return {target->viewport.Width, target->viewport.Height};
}

float2 graphics_runtime_impl_t::get_shader_resource_size(int slot) {
  ID3D11ShaderResourceView* view = cached(shader_resources, slot);
  if (!view) return {};
  com_ptr_t<ID3D11Resource> resource;
  view->GetResource(&resource);
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
  if (resource) resource->GetType(&dimension);
  // Only 2D textures have a size to report here.
  if (dimension != D3D11_RESOURCE_DIMENSION_TEXTURE2D) return {};
  D3D11_TEXTURE2D_DESC desc{};
  static_cast<ID3D11Texture2D*>(resource.get())->GetDesc(&desc);
  return {static_cast<float>(desc.Width), static_cast<float>(desc.Height)};
}

bool graphics_runtime_impl_t::has_shader_resource(int slot) {
  return cached(shader_resources, slot) != nullptr;
}

uint32_t graphics_runtime_impl_t::read_uav_counter(ID3D11UnorderedAccessView* view) {
  // Before init and after shutdown there is no staging buffer to read through.
  if (!readback) return 0;
  context_->CopyStructureCount(readback->buffer, 0, view);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context_->Map(readback->buffer, 0, D3D11_MAP_READ, 0, &mapped))) return 0;
  uint32_t value = 0;
  std::memcpy(&value, mapped.pData, sizeof(value));
  context_->Unmap(readback->buffer, 0);
  return value;
}

void graphics_runtime_impl_t::trace(const std::string& line) {
  if (trace_sink) trace_sink(line);
}
