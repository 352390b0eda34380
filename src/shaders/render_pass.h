#pragma once
// A render pass: up to four shader stages, the pipeline states chosen by preset, the geometry,
// the declared input and output formats, a name and the post-effect flag. Passes come from
// shader description files (render_pass_desc.h), from project tables (render_pass_table.h) or
// from code, which fills an empty pass with the loaders and setters below.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "graphics/geometry.h"
#include "shaders/shader.h"
#include "graphics/state_set.h"

struct render_target_t;
struct render_context_t;
class variable_registry_t;

enum render_pass_kind_t : int32_t {
  RENDER_PASS_NONE = 0,
  RENDER_PASS_GRAPHICS = 1,
  RENDER_PASS_COMPUTE = 2,
};

struct format_slot_t {
  int32_t slot = 0;
  int64_t format = 0;  // render-target type
};

class render_pass_t : public std::enable_shared_from_this<render_pass_t> {
 public:
  // Shares the state records and copies the preset ids; each stage becomes a shader clone.
  // Nothing else is copied.
  std::shared_ptr<render_pass_t> clone() const;
  void set_name(const std::string& new_name) { name = new_name; }
  // The pixel shader of a graphics pass, the compute shader of a compute pass, else null.
  shader_t* main_shader() const;

  // Each stores the id and the preset's record; true when the record is not empty.
  bool set_rasterizer_state(int id);
  bool set_blend_state(int id);
  bool set_depth_stencil_state(int id);
  // Stops at the first setter that fails.
  bool set_states(int rasterizer, int blend, int depth_stencil);
  // Appends the presets' samplers and ids.
  bool set_samplers(const std::vector<int>& ids);
  // Sampler presets chosen from the names of the pixel shader's samplers.
  bool create_samplers_from_shader();

  // Blocking loads; true when the stored stage is ready. A failed stage stays stored.
  bool load_vertex_shader(const std::string& file, const std::string& entry_point);
  bool load_vertex_shader_with_layout(const std::string& file, const std::string& entry_point,
                                      const std::vector<uint32_t>& layout);
  bool load_geometry_shader(const std::string& file, const std::string& entry_point);
  bool load_pixel_shader(const std::string& file, const std::string& entry_point);
  bool load_compute_shader(const std::string& file, const std::string& entry_point);
  // "VsQuad" of "shaders/default.hlsl", then the pixel shader.
  bool load_fullscreen_shaders(const std::string& file, const std::string& entry_point);

  // Drawing; the pass is bound only for the duration of each call.
  void bind();
  void unbind();
  void draw_indexed(uint32_t index_count, int32_t base_vertex);
  void draw_fullscreen();
  void dispatch(uint32_t x);
  // Draws into the target with the views in the pixel shader's first slots, then binds the target
  // bound before again. A null colour keeps the target's content.
  // The lists are written in place by the callers ({a, b}), so they cost no allocation.
  void draw_fullscreen_to_target(render_target_t* target, std::initializer_list<ID3D11ShaderResourceView*> views,
                                 const float* clear_colour);
  void draw_fullscreen_to_targets(std::initializer_list<render_target_t*> targets,
                                  std::initializer_list<ID3D11ShaderResourceView*> views, const float* clear_colour);

  // The context's inputs into the pixel shader's slots 0, 1, ...
  void bind_input_textures(const render_context_t& context);
  // Into the pixel shader's slot when there is one, else the compute shader's.
  void set_uav(int slot, ID3D11UnorderedAccessView* view, int initial_count);

  // Each stage to the newest ready version of its shader. Binding does it too, and every frame does
  // it for all passes before any block runs (use_newest_shader_versions), so that what a block tests
  // and sets before it draws is the version that draws.
  void switch_to_current_versions();

  // Every present stage is ready (state 4).
  bool shaders_loaded() const;
  // Every present stage passes shader_t::is_ready.
  bool is_ready() const;

  void collect_variables(variable_registry_t& registry);
  void collect_variables_prefixed(const std::string& prefix, variable_registry_t& registry);

  int32_t kind = RENDER_PASS_NONE;
  uint64_t input_formats = 0;
  std::vector<format_slot_t> input_slots;
  uint64_t output_formats = 0;
  std::vector<format_slot_t> output_slots;
  state_set_t states;
  geometry_t geometry;
  std::vector<uint32_t> vs_layout;
  shader_ptr_t vs;
  shader_ptr_t gs;
  shader_ptr_t ps;
  shader_ptr_t cs;
  std::string name;
  bool posteffect = false;

 private:
  // The views into the pixel shader's first slots.
  void set_pixel_views(std::initializer_list<ID3D11ShaderResourceView*> views);
  bool load_stage(shader_ptr_t& member, const shader_request_t& request);
};

using render_pass_ptr_t = std::shared_ptr<render_pass_t>;

// Every pass made here is switched by use_newest_shader_versions.
std::shared_ptr<render_pass_t> make_render_pass();

// Switches every living pass made by make_render_pass to its shaders' newest ready versions. The
// engine calls it once at the start of each frame; it allocates nothing.
void use_newest_shader_versions();

// The first pass of the list named exactly `name`, else null.
render_pass_t* find_render_pass(const std::vector<std::shared_ptr<render_pass_t>>& passes, const std::string& name);
