#include "blocks/block_streaks.h"

#include <algorithm>

#include "blocks/block_passes.h"
#include "blocks/shader_constants.h"
#include "engine/block_factory.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"

namespace {

constexpr int32_t horizontal_flags = 0x10;
constexpr int32_t exposed_flags = 7;
constexpr int min_level_size = 16;

variable_ptr_t make_horizontal() { return construct_variable("horizontal", VT_BOOL, true, horizontal_flags); }

// Half size across the streak direction; an output only a pixel or two across still gets a level
// of one pixel rather than none, which no target can have.
std::pair<int, int> level_size(int w2, int h2, bool along_x) {
  return along_x ? std::pair{w2, std::max(h2 / 2, 1)} : std::pair{std::max(w2 / 2, 1), h2};
}

}  // namespace

block_streak_t::block_streak_t() : block_base_t("streak") {
  bound_inputs.push_back(make_layer_input("Input", 0));
  horizontal = make_horizontal();
}

block_streak_t::~block_streak_t() = default;

bool block_streak_t::default_init() {
  if (!block_base_t::default_init()) return false;
  if (auto loaded = load_render_passes_from_desc("shaders/streak.toml")) {
    passes = std::move(*loaded);
    find_named_passes(passes,
                      {{"pre-filter", &pre_filter}, {"downsample", &downsample}, {"upsample", &upsample},
                       {"combine", &combine}},
                      nullptr);
  }
  return true;
}

bool block_streak_t::find_passes() {
  return find_named_passes(passes,
                           {{"pre-filter", &pre_filter}, {"downsample", &downsample}, {"upsample", &upsample},
                            {"combine", &combine}},
                           "unable to find rp, ");
}

bool block_streak_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  passes.clear();
  if (!load_render_passes(table.get("shaderdesc", serial::value_kind_t::table), passes) || !find_passes())
    return false;
  // A missing table keeps the constructor's variable, so the streaks run along x.
  horizontal = variable_of_type(load_variable_at(table, "horizontal", horizontal), VT_BOOL, make_horizontal(), name);
  return true;
}

void block_streak_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_passes(*table.add("shaderdesc", serial::value_kind_t::table), passes);
  if (horizontal) save_variable(*table.add("horizontal", serial::value_kind_t::table), *horizontal);
}

void block_streak_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  registry.add(horizontal.get(), exposed_flags);
  for (render_pass_t* pass : {pre_filter, downsample, upsample, combine})
    if (pass) pass->collect_variables_prefixed("streak", registry);
}

void block_streak_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  render_target_t* in0 = context.input_targets.empty() ? nullptr : context.input_targets[0];
  render_target_t* out0 = context.outputs.empty() ? nullptr : context.outputs[0];
  if (!in0 || !out0 || !pre_filter || !downsample || !upsample || !combine) return;
  int w2 = std::max(static_cast<int>(out0->viewport.Width) / 2, 1);
  int h2 = std::max(static_cast<int>(out0->viewport.Height) / 2, 1);
  const bool along_x = get_bool_variable(horizontal, true);
  const float g = along_x ? 1.0f : 0.0f;
  // Set before the first draw too, so the first frame already streaks the right way.
  for (render_pass_t* pass : {pre_filter, downsample})
    set_shader_constant(pass->ps.get(), "cbMain", "g_horizontal", g);

  levels_.clear();
  const auto [w0, h0] = level_size(w2, h2, along_x);
  auto first = make_level_target(w0, h0);
  pre_filter->draw_fullscreen_to_target(first.get(), {in0->srv.p}, nullptr);
  render_target_t* previous = first.get();
  while (w2 > min_level_size && h2 > min_level_size) {
    (along_x ? w2 : h2) /= 2;
    const auto [lw, lh] = level_size(w2, h2, along_x);
    levels_.push_back(make_level_target(lw, lh));
    downsample->draw_fullscreen_to_target(levels_.back().get(), {previous->srv.p}, nullptr);
    previous = levels_.back().get();
  }
  std::shared_ptr<render_target_t> current = first;
  if (!levels_.empty()) {
    current = levels_.back();
    levels_.pop_back();
  }
  while (!levels_.empty()) {
    std::shared_ptr<render_target_t> same = levels_.back();
    levels_.pop_back();
    auto grown = make_level_target(static_cast<int>(same->viewport.Width), static_cast<int>(same->viewport.Height));
    upsample->draw_fullscreen_to_target(grown.get(), {current->srv.p, same->srv.p}, nullptr);
    current = std::move(grown);
  }
  combine->draw_fullscreen_to_target(out0, {current->srv.p, in0->srv.p}, nullptr);
}

block_ptr_t make_streak_block() { return std::make_shared<block_streak_t>(); }

namespace {
const block_class_registrar_t registrar{"streak", make_streak_block};
}  // namespace
