// Frame rendering: every chain of the frame block by block into pooled targets, the blends, copies
// and fades between them, the output cache, and the presentation through gamma and FXAA.
#include <algorithm>
#include <exception>
#include <limits>
#include <string>

#include <fmt/printf.h>

#include "engine/engine_impl.h"
#include "engine/engine_presentation.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "graphics/render_target.h"
#include "shaders/shader_manager.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "support/log.h"

namespace {

constexpr uint32_t temporary_flags = RT_SRV | RT_MIPS | RT_TEMPORARY | RT_DEPTH;
constexpr float4 no_tint = {1, 1, 1, 1};

std::shared_ptr<render_target_t> temporary_target(int width, int height, DXGI_FORMAT format) {
  return S(resources)->create_render_target(RT_SIZE_EXPLICIT, width, height, format, temporary_flags);
}

DXGI_FORMAT colour_format(int target_type) {
  if (target_type == 3) return DXGI_FORMAT_R8G8B8A8_UNORM;
  if (target_type == 2) return DXGI_FORMAT_R32G32B32A32_FLOAT;
  return DXGI_FORMAT_R16G16B16A16_FLOAT;
}

void publish(const variable_ptr_t& variable, const typed_value_t& value) {
  if (variable) variable->value.set(value);
}

bool can_render() { return g_systems && S(runtime) && S(resources) && engine_context->shader_manager; }

void generate_mips(render_target_t& target) {
  ID3D11DeviceContext* device_context = S(gsys) ? S(gsys)->get_context() : nullptr;
  if (device_context && target.srv) device_context->GenerateMips(target.srv.get());
}

// Keeps the storage of one level of chain rendering for as long as the level is in use.
class chain_level_scope_t {
 public:
  chain_level_scope_t(std::vector<std::unique_ptr<chain_level_t>>& levels, size_t& depth) : depth_(depth) {
    if (levels.size() == depth) levels.push_back(std::make_unique<chain_level_t>());
    level_ = levels[depth++].get();
  }
  ~chain_level_scope_t() { --depth_; }
  chain_level_scope_t(const chain_level_scope_t&) = delete;
  chain_level_scope_t& operator=(const chain_level_scope_t&) = delete;
  chain_level_t& level() { return *level_; }

 private:
  size_t& depth_;
  chain_level_t* level_ = nullptr;
};

}  // namespace

presentation_t choose_presentation(const render_chain_t& chain, const project_settings_t& settings) {
  presentation_t result;
  result.gamma = settings.gamma && !chain.has_tonemapping;
  bool root_fxaa = chain.root && chain.root->get_bool_variable(chain.root->do_fxaa, true);
  result.fxaa = root_fxaa && !chain.has_fxaa;
  return result;
}

std::optional<float> chain_fade_weight(std::optional<float> block_fade, std::optional<float> camera_fade) {
  if (camera_fade) return block_fade ? *block_fade : *camera_fade;
  return block_fade;
}

void engine_impl_t::load_default_post_effects() {
  if (auto gamma = load_render_pass_from_desc("shaders/posteffects/gamma22.toml")) {
    gamma_pass = *gamma;
  } else {
    LOG_WRN("Unable to load default gamma: %s", gamma.error().c_str());
  }
  if (auto fxaa = load_render_pass_from_desc("shaders/posteffects/fxaa.post.toml")) {
    fxaa_pass = *fxaa;
  } else {
    LOG_WRN("Unable to load default fxaa: %s", fxaa.error().c_str());
  }
}

void engine_impl_t::store_cached_output(int id, const std::shared_ptr<render_target_t>& target) {
  output_cache[id] = cached_output_t{target, cache_frame};
}

void engine_impl_t::render_frame(render_target_t* backbuffer) {
  float t = get_cur_time();
  static float last_time = t;
  float dt = std::max(t - last_time, 0.0f);
  last_time = t;
  // Without a back buffer the timeline is still linked and the cache aged, so the links and the
  // cache stay those of the current time.
  const bool drawing = backbuffer && can_render();
  frame_targets.clear();
  rendering_roots.clear();
  // Before any block looks at its passes: what a block tests and sets is then the version it draws.
  use_newest_shader_versions();

  int width = 0;
  int height = 0;
  if (drawing) {
    const float background[4] = {0.1f, 0.2f, 0.5f, 1.0f};
    S(runtime)->clear_render_target(backbuffer, background);
    width = static_cast<int>(backbuffer->viewport.Width);
    height = static_cast<int>(backbuffer->viewport.Height);
  }

  const std::vector<block_base_t*>& blocks_in_order = frame_blocks();
  link_blocks(blocks_in_order, chain_storage_);
  const std::vector<render_chain_t>& chains = build_chains(blocks_in_order, t, chain_storage_);

  cache_prev_frame = cache_frame;
  cache_frame = t;
  std::erase_if(output_cache, [&](const auto& entry) { return entry.second.stamp != cache_prev_frame; });

  if (!drawing || chains.empty()) return;
  std::shared_ptr<render_target_t> output;
  for (const render_chain_t& chain : chains) output = render_chain(chain, width, height, t, dt);
  if (!output) return;

  presentation_t present = choose_presentation(chains.back(), settings);
  render_pass_t* gamma = present.gamma ? gamma_pass.get() : nullptr;
  render_pass_t* fxaa = present.fxaa ? fxaa_pass.get() : nullptr;
  // Both run whenever either is wanted; a pass that failed to load is left out.
  if (gamma || fxaa) {
    gamma = gamma_pass.get();
    fxaa = fxaa_pass.get();
  }
  if (gamma && fxaa) {
    auto graded = temporary_target(width, height, DXGI_FORMAT_R16G16B16A16_FLOAT);
    gamma->draw_fullscreen_to_target(graded.get(), {output->srv.get()}, nullptr);
    fxaa->draw_fullscreen_to_target(backbuffer, {graded->srv.get()}, nullptr);
  } else if (gamma || fxaa) {
    (gamma ? gamma : fxaa)->draw_fullscreen_to_target(backbuffer, {output->srv.get()}, nullptr);
  } else {
    engine_context->shader_manager->blit(*output, *backbuffer, no_tint);
  }
}

std::shared_ptr<render_target_t> engine_impl_t::render_chain(const render_chain_t& chain, int width,
                                                             int height, float t, float dt) {
  if (chain.members.empty() || !chain.root || !can_render()) return nullptr;
  shader_manager_t& shaders = *engine_context->shader_manager;
  std::optional<float> block_fade = chain.root->get_block_fade();
  std::optional<float> camera_fade = chain.root->get_camera_fade();
  auto shared = temporary_target(width, height, DXGI_FORMAT_R16G16B16A16_FLOAT);
  rendering_roots.push_back(chain.root);

  chain_level_scope_t scope(chain_levels_, chain_depth_);
  std::vector<chain_output_t>& entries = scope.level().entries;
  render_context_t& context = scope.level().context;
  entries.clear();
  for (size_t i = 0; i < chain.members.size(); ++i) {
    block_base_t& block = *chain.members[i];
    chain_output_t* previous = entries.empty() ? nullptr : &entries.back();
    if (block.camera_override && previous && camera_fade) {
      shaders.blit(*previous->colour, *shared, {0, 0, 0, *camera_fade});
      shaders.blit(*shared, *previous->colour, no_tint);
      // The faded image is what the blocks above read, through mip-filtered samplers too.
      generate_mips(*previous->colour);
      camera_fade.reset();
    }
    bool clear_colour = block.get_bool_variable(block.do_clear_color, true);
    bool clear_depth = block.supports_depth_clear() && block.get_bool_variable(block.do_clear_depth, true);
    bool passthrough = block.get_bool_variable(block.do_ext_passthrough, false);

    chain_output_t entry;
    entry.colour = temporary_target(width, height, colour_format(block.get_render_target_type()));
    entry.second = passthrough && previous ? previous->second
                                           : temporary_target(width, height, DXGI_FORMAT_R16G16B16A16_FLOAT);
    entries.push_back(entry);
    previous = entries.size() > 1 ? &entries[entries.size() - 2] : nullptr;

    block.update_variables(t, false);
    context.time = t;
    context.delta_time = dt;
    context.local_time = t - block.start_time;
    const std::vector<bound_input_t>& inputs = block.get_bound_inputs();
    context.input_targets.assign(inputs.size(), nullptr);
    context.input_views.assign(inputs.size(), nullptr);
    for (size_t k = 0; k < inputs.size(); ++k)
      resolve_input(inputs[k], i, entries, context, k, width, height, t, dt);

    std::optional<float4> second_clear;
    if (!passthrough) second_clear = float4{std::numeric_limits<float>::max(), 0, 0, 0};
    std::optional<float4> colour_clear;
    if (clear_colour) {
      const color_t* c = block.clear_color ? std::get_if<color_t>(&block.clear_color->value.value) : nullptr;
      colour_clear = c ? float4{c->r, c->g, c->b, c->a} : float4{0, 0, 0, 1};
    }

    if (block.blend_mode != BLEND_NONE) {
      context.outputs = {shared.get(), entry.second.get()};
      publish_system_variables(block, context);
      render_block(block, context, colour_clear, second_clear, clear_depth);
      shaders.blend(shared.get(), previous ? previous->colour.get() : nullptr, *entry.colour,
                    block.blend_mode, no_tint);
      // The blended image is what the blocks above read, through mip-filtered samplers too: its
      // mips must be its own, not those of the pooled target's earlier use.
      generate_mips(*entry.colour);
    } else {
      if (!clear_colour && previous) shaders.blit(*previous->colour, *entry.colour, no_tint);
      context.outputs = {entry.colour.get(), entry.second.get()};
      publish_system_variables(block, context);
      if (!render_block(block, context, colour_clear, second_clear, clear_depth) && !clear_colour && previous) {
        // The block drew nothing: the image below shows through, as when it draws nothing itself.
        shaders.blit(*previous->colour, *entry.colour, no_tint);
        generate_mips(*entry.colour);
      }
    }
    // Copied, not moved: the context keeps its storage for the next frame.
    block.last_context.input_views = context.input_views;
    block.last_context.local_time = context.local_time;
    block.last_context.time = context.time;
    block.last_context.delta_time = context.delta_time;
  }

  std::shared_ptr<render_target_t> result = entries.back().colour;
  if (std::optional<float> weight = chain_fade_weight(block_fade, camera_fade)) {
    shaders.blit(*result, *shared, {0, 0, 0, *weight});
    // Its mips are then the faded image's, not those of the shared target's earlier draws.
    generate_mips(*shared);
    result = shared;
  }
  rendering_roots.pop_back();
  // The pool lends a target again only once nobody holds it.
  entries.clear();
  store_cached_output(chain.root->id, result);
  return result;
}

void engine_impl_t::resolve_input(const bound_input_t& input, size_t position,
                                  const std::vector<chain_output_t>& entries, render_context_t& context,
                                  size_t k, int width, int height, float t, float dt) {
  switch (input.type) {
    case BOUND_INPUT_LAYER: {
      int64_t j = static_cast<int64_t>(position) - input.layer_offset;
      if (j < 0 || j >= static_cast<int64_t>(entries.size())) return;
      const chain_output_t& entry = entries[static_cast<size_t>(j)];
      context.input_targets[k] = (input.layer != 0 ? entry.second : entry.colour).get();
      return;
    }
    case BOUND_INPUT_BLOCK: {
      if (input.block_id == -1) return;
      auto cached = output_cache.find(input.block_id);
      if (cached != output_cache.end() && (cached->second.stamp == cache_frame || !input.is_dynamic)) {
        cached->second.stamp = cache_frame;
        context.input_targets[k] = cached->second.target.get();
        frame_targets.push_back(cached->second.target);
        return;
      }
      block_base_t* source = find_block(input.block_id);
      // A chain that reads its own output, directly or further down, stays unresolved.
      if (!source ||
          std::find(rendering_roots.begin(), rendering_roots.end(), source) != rendering_roots.end()) {
        return;
      }
      render_chain_t& nested = chain_levels_[chain_depth_ - 1]->nested;
      make_render_chain(source, nested);
      std::shared_ptr<render_target_t> output = render_chain(nested, width, height, t, dt);
      if (!output) return;
      context.input_targets[k] = output.get();
      frame_targets.push_back(std::move(output));
      return;
    }
    case BOUND_INPUT_TEXTURE: {
      texture_manager_t* textures = engine_context->texture_manager;
      if (!textures) return;
      // A file that failed to load is asked for again next frame: it may yet appear.
      if (!input.resolved_texture) {
        if (auto texture = textures->load_texture(input.texture_path); texture && *texture)
          input.resolved_texture = *texture;
      }
      if (input.resolved_texture) context.input_views[k] = input.resolved_texture->srv.get();
      return;
    }
    case BOUND_INPUT_SYSTEM: {
      texture_manager_t* textures = engine_context->texture_manager;
      if (!input.resolved_texture && textures) input.resolved_texture = textures->find_texture(input.system_texture);
      if (input.resolved_texture) context.input_views[k] = input.resolved_texture->srv.get();
      return;
    }
    default:
      return;
  }
}

bool engine_impl_t::render_block(block_base_t& block, const render_context_t& context,
                                 const std::optional<float4>& colour_clear,
                                 const std::optional<float4>& second_clear, bool clear_depth) {
  // Bound and cleared whatever the inputs do, so a block that cannot run leaves defined outputs,
  // not what the pooled targets held before.
  graphics_runtime_t& runtime = *S(runtime);
  const float* clears[2] = {colour_clear ? &colour_clear->x : nullptr,
                            second_clear ? &second_clear->x : nullptr};
  bound_targets_t previous = runtime.set_render_targets(context.outputs, clears, clear_depth);
  for (size_t k = 0; k < context.outputs.size() && k < system_variables.render_target_sizes.size(); ++k) {
    render_target_t* bound = runtime.get_render_target(static_cast<int>(k));
    if (!bound) continue;
    publish(system_variables.render_target_sizes[k], float2{bound->viewport.Width, bound->viewport.Height});
  }
  const bool drawn = !block.load_failed && inputs_resolved(block, context) && execute_block(block, context);
  if (!drawn) clear_undrawn_outputs(context, colour_clear, second_clear);
  for (render_target_t* output : context.outputs) {
    if (output) generate_mips(*output);
  }
  runtime.set_render_targets_clear_all(previous, nullptr, false);
  return drawn;
}

bool engine_impl_t::inputs_resolved(block_base_t& block, const render_context_t& context) const {
  const std::vector<bound_input_t>& inputs = block.get_bound_inputs();
  for (size_t k = 0; k < inputs.size(); ++k) {
    if (inputs[k].type == BOUND_INPUT_NONE) continue;
    bool has_target = k < context.input_targets.size() && context.input_targets[k];
    bool has_view = k < context.input_views.size() && context.input_views[k].get();
    if (!has_target && !has_view) return false;
  }
  return true;
}

bool engine_impl_t::execute_block(block_base_t& block, const render_context_t& context) {
  std::string failure;
  try {
    block.execute(context);
    if (!failing_blocks_.empty()) failing_blocks_.erase(block.id);
    return true;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  // Once while the block keeps failing the same way, not every frame.
  auto [logged, first] = failing_blocks_.try_emplace(block.id, failure);
  if (first || logged->second != failure) {
    LOG_WRN("Block %d (%s) draws nothing: %s", block.id, block.name.c_str(), failure.c_str());
    logged->second = failure;
  }
  return false;
}

void engine_impl_t::clear_undrawn_outputs(const render_context_t& context,
                                          const std::optional<float4>& colour_clear,
                                          const std::optional<float4>& second_clear) {
  const float transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  graphics_runtime_t& runtime = *S(runtime);
  if (!context.outputs.empty() && context.outputs[0])
    runtime.clear_render_target(context.outputs[0], colour_clear ? &colour_clear->x : transparent);
  if (context.outputs.size() > 1 && context.outputs[1] && second_clear)
    runtime.clear_render_target(context.outputs[1], &second_clear->x);
}

void engine_impl_t::publish_system_variables(block_base_t& block, const render_context_t& context) {
  const system_variables_t& v = system_variables;
  publish(v.time, float4{context.time, context.local_time, context.delta_time, block.end_time - block.start_time});
  if (block_camera_t* camera = block.get_active_camera()) {
    float local = context.local_time;
    float3 pos = camera->get_pos(local), dir = camera->get_dir(local), up = camera->get_up(local);
    float fov = camera->get_fov(local), near_plane = camera->get_near_plane(local);
    float far_plane = camera->get_far_plane(local);
    publish(v.cam_pos, pos);
    publish(v.cam_dir, dir);
    publish(v.cam_up, up);
    publish(v.cam_fov, fov);
    publish(v.cam_near_plane, near_plane);
    publish(v.cam_far_plane, far_plane);
    float aspect = 16.0f / 9.0f;
    if (!context.outputs.empty() && context.outputs[0] && context.outputs[0]->viewport.Height != 0.0f) {
      aspect = context.outputs[0]->viewport.Width / context.outputs[0]->viewport.Height;
    }
    float4x4 view = look_at_lh(pos, vec3_add(pos, dir), up);
    float4x4 proj = perspective_fov_lh(fov, aspect, near_plane, far_plane);
    publish(v.view, view);
    publish(v.proj, proj);
    publish(v.view_proj, mat4_multiply(view, proj));
  }
  publish(v.active_cam, int32_t{block.get_active_span_index()});
}
