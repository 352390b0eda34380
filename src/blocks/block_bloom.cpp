#include "blocks/block_bloom.h"

#include <algorithm>

#include "blocks/block_passes.h"
#include "engine/block_factory.h"
#include "graphics/graphics_resources.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "shaders/shader_manager.h"
#include "support/log.h"
#include "support/systems.h"
#include "variables/engine_context.h"
#include "variables/range_value.h"

namespace {

constexpr int32_t threshold_flags = 0x10;
constexpr int32_t exposed_flags = 7;
constexpr int min_level_size = 16;
constexpr float transparent_black[4] = {0.0f, 0.0f, 0.0f, 0.0f};

variable_ptr_t make_use_threshold() { return construct_variable("use-threshold", VT_BOOL, true, threshold_flags); }
variable_ptr_t make_history() {
  return construct_ranged_variable("history", VT_FLOAT, 0.0f, 0.0f, 1.0f, VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX);
}

bool same_input(const bound_input_t& a, const bound_input_t& b) {
  return a.type == b.type && a.mode == b.mode && a.display_name == b.display_name && a.dim.x == b.dim.x &&
         a.dim.y == b.dim.y && a.system_texture == b.system_texture && a.texture_path == b.texture_path &&
         a.block_id == b.block_id && a.layer_offset == b.layer_offset && a.layer == b.layer &&
         a.is_dynamic == b.is_dynamic;
}

}  // namespace

block_bloom_t::block_bloom_t() : block_base_t("bloom") {
  bound_inputs.push_back(make_layer_input("Input", 0));
  use_threshold = make_use_threshold();
  history = make_history();
  register_variable(use_threshold);
  register_variable(history);
}

block_bloom_t::~block_bloom_t() = default;

bool block_bloom_t::default_init() {
  block_base_t::default_init();
  auto loaded = load_render_passes_from_desc("shaders/bloom.toml");
  if (!loaded) {
    LOG_WRN("Error loading shader desc: %s: %s", "shaders/bloom.toml", loaded.error().c_str());
    return false;
  }
  passes = std::move(*loaded);
  return find_passes();
}

bool block_bloom_t::find_passes() {
  return find_named_passes(passes,
                           {{"pre-filter", &pre_filter},
                            {"bloom-texture", &bloom_texture},
                            {"downsample-13", &downsample_13},
                            {"upsample-tent", &upsample_tent}},
                           "unable to find rp, ");
}

bool block_bloom_t::copy_from(const block_base_t& other) {
  block_base_t::copy_from(other);
  if (const auto* bloom = dynamic_cast<const block_bloom_t*>(&other)) {
    if (bloom->use_threshold) use_threshold = clone_variable(*bloom->use_threshold);
    if (bloom->history) history = clone_variable(*bloom->history);
  }
  return find_passes();
}

bool block_bloom_t::load(const serial::value_t& table) {
  // The base reads the two variable tables with the base variables.
  if (!block_base_t::load(table)) return false;
  use_threshold = variable_of_type(use_threshold, VT_BOOL, make_use_threshold(), name);
  history = variable_of_type(history, VT_FLOAT, make_history(), name);
  passes.clear();
  if (!load_render_passes(table.get("shaderdesc", serial::value_kind_t::table), passes)) return false;
  return find_passes();
}

void block_bloom_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_passes(*table.add("shaderdesc", serial::value_kind_t::table), passes);
}

void block_bloom_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  registry.add(history.get(), exposed_flags);
  registry.add(use_threshold.get(), exposed_flags);
  for (render_pass_t* pass : {threshold() ? pre_filter : bloom_texture, downsample_13, upsample_tent})
    if (pass) pass->collect_variables(registry);
}

const std::vector<bound_input_t>& block_bloom_t::get_bound_inputs() {
  // Follows "use-threshold" live: the emissive light is read only while it is off. Entries that
  // are already as wanted are kept, so steady frames allocate nothing.
  const std::vector<bound_input_t>& wanted = threshold() ? colour_input_ : emissive_inputs_;
  if (!std::equal(bound_inputs.begin(), bound_inputs.end(), wanted.begin(), wanted.end(), same_input))
    bound_inputs = wanted;
  return bound_inputs;
}

void block_bloom_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  render_target_t* in0 = context.input_targets.empty() ? nullptr : context.input_targets[0];
  if (!in0 || context.outputs.empty() || !context.outputs[0]) return;
  const bool use_threshold_now = threshold();
  ID3D11ShaderResourceView* source = nullptr;
  if (use_threshold_now) {
    source = in0->srv;
  } else if (context.input_targets.size() > 1 && context.input_targets[1] && context.input_targets[1]->srv) {
    source = context.input_targets[1]->srv;
  } else if (context.input_views.size() > 1 && context.input_views[1]) {
    source = context.input_views[1];
  }
  if (!source) return;
  render_target_t* out0 = context.outputs[0];
  const int w = static_cast<int>(in0->viewport.Width);
  const int h = static_cast<int>(in0->viewport.Height);

  render_target_t* image = in0;
  const float mix = std::get_if<float>(&history->value.value) ? std::get<float>(history->value.value) : 0.0f;
  if (mix > 0.0f) {
    auto mixed = make_level_target(w, h);
    const bool fresh = !history_target || static_cast<int>(history_target->viewport.Width) != w ||
                       static_cast<int>(history_target->viewport.Height) != h;
    // A new history target holds whatever the pool left in it: the first frame mixes the input with
    // itself instead.
    render_target_t* previous = fresh ? in0 : history_target.get();
    engine_context->shader_manager->blend(in0, previous, *mixed, BLEND_LERP, float4{mix, 0.0f, 0.0f, 0.0f});
    history_target = std::move(mixed);
    image = history_target.get();
  }

  // Level sizes: halves while both sides stay at least 16; the smallest one is left out.
  int count = 0;
  for (int lw = w / 2, lh = h / 2; lw >= min_level_size && lh >= min_level_size; lw /= 2, lh /= 2) ++count;
  if (count == 0) return;
  const int levels = count == 1 ? 1 : count - 1;
  render_pass_t* first = use_threshold_now ? pre_filter : bloom_texture;
  if (!first || !upsample_tent || (levels > 1 && !downsample_13)) return;

  levels_.resize(static_cast<size_t>(levels));
  for (int i = 0, lw = w / 2, lh = h / 2; i < levels; ++i, lw /= 2, lh /= 2) levels_[i] = make_level_target(lw, lh);

  first->draw_fullscreen_to_target(levels_[0].get(), {source}, transparent_black);
  for (int i = 1; i < levels; ++i)
    downsample_13->draw_fullscreen_to_target(levels_[i].get(), {levels_[i - 1]->srv.p}, transparent_black);
  for (int i = levels - 1; i >= 1; --i)
    upsample_tent->draw_fullscreen_to_target(levels_[i - 1].get(), {levels_[i]->srv.p}, nullptr);
  engine_context->shader_manager->blit(*image, *out0, float4{1.0f, 1.0f, 1.0f, 1.0f});
  upsample_tent->draw_fullscreen_to_target(out0, {levels_[0]->srv.p}, nullptr);
  for (auto& level : levels_) level.reset();
}

block_ptr_t make_bloom_block() { return std::make_shared<block_bloom_t>(); }

namespace {
const block_class_registrar_t registrar{"bloom", make_bloom_block};
}  // namespace
