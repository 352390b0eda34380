#pragma once
// The graphics runtime: the command layer over the immediate context. Reached as S(runtime).
// Every call goes straight to Direct3D (repeated bindings are not filtered); the runtime only
// remembers the bound render targets and shader-resource views, so that callers can ask what is
// bound, save and restore targets, and unbind exactly what they bound. The caches hold plain
// pointers: a cached target or view must stay alive while it is bound.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include <tl/expected.hpp>

#include "platform/d3d11/d3d11.h"
#include "support/math.h"

struct buffer_base_t;
struct constant_buffer_t;
struct index_buffer_t;
struct vertex_buffer_t;
struct render_target_t;
struct rasterizer_state_t;
struct blend_state_t;
struct depth_stencil_state_t;
struct sampler_state_t;
struct state_set_t;
struct geometry_t;
struct shader_objects_t;

// Shader stages of the stage masks: each set bit sends a call to that stage's form.
enum shader_stage_mask_t : int {
  STAGE_VERTEX = 1,
  STAGE_GEOMETRY = 2,
  STAGE_PIXEL = 4,
  STAGE_COMPUTE = 8,
};

constexpr int RUNTIME_SLOT_COUNT = 8;

// The render targets bound before a set_render_targets call, to restore them with another one.
struct bound_targets_t {
  std::array<render_target_t*, RUNTIME_SLOT_COUNT> targets{};
  int count = 0;

  int size() const { return count; }
  render_target_t* operator[](int i) const { return targets[i]; }
  render_target_t* const* begin() const { return targets.data(); }
  render_target_t* const* end() const { return targets.data() + count; }
  operator std::span<render_target_t* const>() const { return {targets.data(), size_t(count)}; }
};

class graphics_runtime_t {
 public:
  virtual void shutdown() = 0;
  virtual tl::expected<void, std::string> init() = 0;
  // Binds the back buffer and clears it and its depth.
  virtual void begin_frame() = 0;
  virtual bool always_true() = 0;
  // WRITE_DISCARD; null when the map fails.
  virtual void* map_buffer(buffer_base_t* buffer) = 0;
  virtual void unmap_buffer(buffer_base_t* buffer) = 0;
  virtual void set_constant_buffer(int mask, int slot, constant_buffer_t* buffer) = 0;
  virtual void set_constant_buffers(int mask, int start, std::span<ID3D11Buffer* const> buffers) = 0;
  virtual void set_input_layout(ID3D11InputLayout* layout) = 0;
  virtual void set_index_buffer(index_buffer_t* buffer) = 0;
  // Null binds no buffer with stride 0.
  virtual void set_vertex_buffer(vertex_buffer_t* buffer) = 0;
  virtual void set_rasterizer_state(rasterizer_state_t* state) = 0;
  virtual void set_blend_state(blend_state_t* state, const float blend_factor[4], uint32_t sample_mask) = 0;
  virtual void set_depth_stencil_state(depth_stencil_state_t* state, uint32_t stencil_ref) = 0;
  // Null does nothing.
  virtual void set_sampler(int mask, int slot, sampler_state_t* state) = 0;
  // At most 8; null entries bind null.
  virtual void set_samplers(int mask, int start, std::span<sampler_state_t* const> states) = 0;
  // Null unbinds the stage; a shader that is not ready (state 4) leaves the stage as it was.
  virtual void set_vertex_shader(shader_objects_t* shader) = 0;
  virtual void set_pixel_shader(shader_objects_t* shader) = 0;
  virtual void set_compute_shader(shader_objects_t* shader) = 0;
  virtual void set_geometry_shader(shader_objects_t* shader) = 0;
  virtual void set_topology(D3D11_PRIMITIVE_TOPOLOGY topology) = 0;
  virtual void set_shader_resource(int mask, int slot, ID3D11ShaderResourceView* view) = 0;
  virtual void set_shader_resources(int mask, int start,
                                    std::span<ID3D11ShaderResourceView* const> views) = 0;
  // Rasterizer, blend (factor 1, mask 0xFFFFFFFF), depth-stencil (ref 0), pixel samplers.
  virtual void set_state_set(const state_set_t& states) = 0;
  // Vertex buffer (static before dynamic), index buffer when present, topology always.
  virtual void set_geometry(const geometry_t& geometry) = 0;
  // n copies of the one viewport.
  virtual void set_viewports(int n, const D3D11_VIEWPORT& viewport) = 0;
  virtual void set_scissor_rects(int n, const D3D11_RECT* rects) = 0;
  // Binds null only at slots with a cached view, then clears those cache entries.
  virtual void unset_shader_resources(int mask, int start, int count) = 0;
  // Null views; counters kept.
  virtual void unset_compute_uavs(int start, int count) = 0;
  // Clears the cache entries and leaves no target bound at all.
  virtual void unset_render_targets(int start, int count) = 0;
  virtual void draw_indexed(uint32_t index_count, uint32_t start_index, int32_t base_vertex) = 0;
  virtual void draw(uint32_t vertex_count, uint32_t start_vertex) = 0;
  virtual void dispatch(uint32_t x, uint32_t y, uint32_t z) = 0;
  // Clears colour, and depth and stencil when the target has a depth view.
  virtual void clear_render_target(render_target_t* target, const float colour[4]) = 0;
  // Binds one target as target 0 (null unbinds, viewport kept); returns the one it replaces.
  virtual render_target_t* set_render_target(render_target_t* target, const float colour[4],
                                             bool clear_depth) = 0;
  // Targets in order; colours[i] (null for none) clears target i. Targets without rtv but with a
  // uav (GPU buffers) are bound as UAVs after the render-target views, with counters reset to 0.
  virtual bound_targets_t set_render_targets(std::span<render_target_t* const> targets,
                                             std::span<const float* const> colours, bool clear_depth) = 0;
  virtual bound_targets_t set_render_targets_clear_all(std::span<render_target_t* const> targets,
                                                       const float colour[4], bool clear_depth) = 0;
  virtual render_target_t* get_render_target(int index) = 0;
  virtual void set_compute_uav(int slot, ID3D11UnorderedAccessView* view, uint32_t initial_count) = 0;
  virtual void set_compute_uavs(int start, std::span<ID3D11UnorderedAccessView* const> views,
                                std::span<const uint32_t> initial_counts) = 0;
  // Viewport size of the cached target, (0, 0) when none.
  virtual float2 get_render_target_size(int index) = 0;
  // Size of the 2D texture behind the cached view, (0, 0) when none.
  virtual float2 get_shader_resource_size(int slot) = 0;
  virtual bool has_shader_resource(int slot) = 0;
  // Waits for the GPU; the hidden counter of an append or counter UAV.
  virtual uint32_t read_uav_counter(ID3D11UnorderedAccessView* view) = 0;

 protected:
  ~graphics_runtime_t() = default;
};

// Not final: tests derive from it to record the draws a block makes.
class graphics_runtime_impl_t : public graphics_runtime_t {
 public:
  // Device and context of the graphics system, which owns them.
  graphics_runtime_impl_t(ID3D11Device* device, ID3D11DeviceContext* context);
  virtual ~graphics_runtime_impl_t();

  void shutdown() override;
  tl::expected<void, std::string> init() override;
  void begin_frame() override;
  bool always_true() override { return true; }
  void* map_buffer(buffer_base_t* buffer) override;
  void unmap_buffer(buffer_base_t* buffer) override;
  void set_constant_buffer(int mask, int slot, constant_buffer_t* buffer) override;
  void set_constant_buffers(int mask, int start, std::span<ID3D11Buffer* const> buffers) override;
  void set_input_layout(ID3D11InputLayout* layout) override;
  void set_index_buffer(index_buffer_t* buffer) override;
  void set_vertex_buffer(vertex_buffer_t* buffer) override;
  void set_rasterizer_state(rasterizer_state_t* state) override;
  void set_blend_state(blend_state_t* state, const float blend_factor[4], uint32_t sample_mask) override;
  void set_depth_stencil_state(depth_stencil_state_t* state, uint32_t stencil_ref) override;
  void set_sampler(int mask, int slot, sampler_state_t* state) override;
  void set_samplers(int mask, int start, std::span<sampler_state_t* const> states) override;
  void set_vertex_shader(shader_objects_t* shader) override;
  void set_pixel_shader(shader_objects_t* shader) override;
  void set_compute_shader(shader_objects_t* shader) override;
  void set_geometry_shader(shader_objects_t* shader) override;
  void set_topology(D3D11_PRIMITIVE_TOPOLOGY topology) override;
  void set_shader_resource(int mask, int slot, ID3D11ShaderResourceView* view) override;
  void set_shader_resources(int mask, int start, std::span<ID3D11ShaderResourceView* const> views) override;
  void set_state_set(const state_set_t& states) override;
  void set_geometry(const geometry_t& geometry) override;
  void set_viewports(int n, const D3D11_VIEWPORT& viewport) override;
  void set_scissor_rects(int n, const D3D11_RECT* rects) override;
  void unset_shader_resources(int mask, int start, int count) override;
  void unset_compute_uavs(int start, int count) override;
  void unset_render_targets(int start, int count) override;
  void draw_indexed(uint32_t index_count, uint32_t start_index, int32_t base_vertex) override;
  void draw(uint32_t vertex_count, uint32_t start_vertex) override;
  void dispatch(uint32_t x, uint32_t y, uint32_t z) override;
  void clear_render_target(render_target_t* target, const float colour[4]) override;
  render_target_t* set_render_target(render_target_t* target, const float colour[4],
                                     bool clear_depth) override;
  bound_targets_t set_render_targets(std::span<render_target_t* const> targets,
                                     std::span<const float* const> colours, bool clear_depth) override;
  bound_targets_t set_render_targets_clear_all(std::span<render_target_t* const> targets,
                                               const float colour[4], bool clear_depth) override;
  render_target_t* get_render_target(int index) override;
  void set_compute_uav(int slot, ID3D11UnorderedAccessView* view, uint32_t initial_count) override;
  void set_compute_uavs(int start, std::span<ID3D11UnorderedAccessView* const> views,
                        std::span<const uint32_t> initial_counts) override;
  float2 get_render_target_size(int index) override;
  float2 get_shader_resource_size(int slot) override;
  bool has_shader_resource(int slot) override;
  uint32_t read_uav_counter(ID3D11UnorderedAccessView* view) override;

  // Off unless a debugging session turns it on; one line per traced call.
  bool trace_enabled = false;
  std::function<void(const std::string&)> trace_sink;

 private:
  void trace(const std::string& line);

  std::shared_ptr<constant_buffer_t> readback;
  std::array<render_target_t*, RUNTIME_SLOT_COUNT> targets{};
  std::array<ID3D11ShaderResourceView*, RUNTIME_SLOT_COUNT> shader_resources{};
  [[maybe_unused]] ID3D11Device* device_ = nullptr;
  ID3D11DeviceContext* context_ = nullptr;
};
