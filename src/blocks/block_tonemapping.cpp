#include "blocks/block_tonemapping.h"

#include "blocks/block_passes.h"
#include "engine/block_factory.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"
#include "support/systems.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"

namespace {

struct operator_info_t {
  const char* entry_point;
  const char* table_key;
};
constexpr std::array<operator_info_t, 4> operator_infos = {{
    {"PsReinhard", "rp-reinhard"},
    {"PsReinhardLuma", "rp-reinhard-luma"},
    {"PsReinhardLumaWhite", "rp-reinhard-luma-white"},
    {"PsFilmicHejl", "rp-filmic-hejl"},
}};
const char* fxaa_key = "rp-fxaa";
const char* operators_file = "shaders/tonemapping.hlsl";
constexpr int32_t fxaa_flags = 0x10;
constexpr int32_t exposed_flags = 7;

variable_ptr_t make_use_fxaa() { return construct_variable("use-fxaa", VT_BOOL, true, fxaa_flags); }

}  // namespace

block_tonemapping_t::block_tonemapping_t() : block_base_t("tonemapping") {
  for (auto& pass : operators) pass = make_render_pass();
  fxaa = make_render_pass();
  bound_inputs.push_back(make_layer_input("Input", 0));
}

block_tonemapping_t::~block_tonemapping_t() = default;

bool block_tonemapping_t::default_init() {
  block_base_t::default_init();
  use_fxaa = make_use_fxaa();
  return build_passes();
}

bool block_tonemapping_t::build_passes() {
  for (size_t i = 0; i < operators.size(); ++i)
    operators[i]->load_fullscreen_shaders(operators_file, operator_infos[i].entry_point);
  fxaa->load_fullscreen_shaders("shaders/posteffects/fxaa.post.hlsl", "FxaaPS");
  for (auto* pass : {operators[0].get(), operators[1].get(), operators[2].get(), operators[3].get(), fxaa.get()}) {
    pass->set_states(2, 1, 2);
    pass->set_samplers({5});
  }
  return true;
}

bool block_tonemapping_t::copy_from(const block_base_t& other) {
  block_base_t::copy_from(other);
  const auto* source = dynamic_cast<const block_tonemapping_t*>(&other);
  if (!source) return true;
  for (size_t i = 0; i < operators.size(); ++i) operators[i] = source->operators[i]->clone();
  fxaa = source->fxaa->clone();
  if (source->use_fxaa) use_fxaa = clone_variable(*source->use_fxaa);
  tonemapper = source->tonemapper;
  return true;
}

bool block_tonemapping_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  tonemapper = table.get_int("tonemapper", TONEMAPPER_REINHARD);
  if (tonemapper < 0 || tonemapper >= static_cast<int32_t>(operators.size())) {
    // Kept as read: such a block draws nothing, which the picture shows, so say why.
    LOG_WRN("Block %s: tonemapper %d is not an operator (0 to %d); the block draws nothing", name.c_str(),
            tonemapper, int(operators.size()) - 1);
  }
  // Without its table, or of another type, "use-fxaa" is what a new block has: on.
  use_fxaa = variable_of_type(load_variable_at(table, "use-fxaa", make_use_fxaa()), VT_BOOL, make_use_fxaa(), name);
  for (size_t i = 0; i < operators.size(); ++i)
    load_render_pass(table.get(operator_infos[i].table_key, serial::value_kind_t::table), *operators[i]);
  load_render_pass(table.get(fxaa_key, serial::value_kind_t::table), *fxaa);
  return true;
}

void block_tonemapping_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  table.add("tonemapper", serial::value_kind_t::int_)->payload.i[0] = tonemapper;
  if (use_fxaa) save_variable(*table.add("use-fxaa", serial::value_kind_t::table), *use_fxaa);
  for (size_t i = 0; i < operators.size(); ++i)
    save_render_pass(*table.add(operator_infos[i].table_key, serial::value_kind_t::table), *operators[i]);
  save_render_pass(*table.add(fxaa_key, serial::value_kind_t::table), *fxaa);
}

render_pass_t* block_tonemapping_t::selected_pass() const {
  if (tonemapper < 0 || tonemapper >= static_cast<int32_t>(operators.size())) return nullptr;
  return operators[static_cast<size_t>(tonemapper)].get();
}

void block_tonemapping_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  if (use_fxaa) registry.add(use_fxaa.get(), exposed_flags);
  if (render_pass_t* pass = selected_pass()) pass->collect_variables_prefixed("tonemapping", registry);
}

void block_tonemapping_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  render_pass_t* pass = selected_pass();
  render_target_t* in0 = context.input_targets.empty() ? nullptr : context.input_targets[0];
  render_target_t* out0 = context.outputs.empty() ? nullptr : context.outputs[0];
  if (!pass || !pass->ps || !in0 || !out0) return;
  if (!get_bool_variable(use_fxaa, true) || !fxaa->ps) {
    pass->ps->resources[0].srv = in0->srv;
    pass->draw_fullscreen();
    return;
  }
  auto mapped = S(resources)->create_render_target(RT_SIZE_EXPLICIT, static_cast<int>(in0->viewport.Width),
                                                   static_cast<int>(in0->viewport.Height),
                                                   DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY | RT_SRV);
  graphics_runtime_t& runtime = *S(runtime);
  runtime.set_render_target(mapped.get(), nullptr, false);
  pass->ps->resources[0].srv = in0->srv;
  pass->draw_fullscreen();
  runtime.set_render_target(out0, nullptr, false);
  fxaa->ps->resources[0].srv = mapped->srv;
  fxaa->draw_fullscreen();
}

block_ptr_t make_tonemapping_block() { return std::make_shared<block_tonemapping_t>(); }

namespace {
const block_class_registrar_t registrar{"tonemapping", make_tonemapping_block};
}  // namespace
