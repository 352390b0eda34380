#include "blocks/block_depth_of_field.h"

#include "engine/block_factory.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "graphics/render_target.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "shaders/shader_manager.h"
#include "support/log.h"
#include "support/systems.h"
#include "variables/engine_context.h"
#include "variables/range_value.h"

namespace {

constexpr int32_t point_stride = 28;
constexpr uint32_t scratch_flags = RT_TEMPORARY | RT_MIPS | RT_SRV;
constexpr float transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};

bool load_description(const char* path, std::vector<std::shared_ptr<render_pass_t>>& passes) {
  auto loaded = load_render_passes_from_desc(path);
  if (!loaded) {
    LOG_WRN("Error loading shader desc: %s: %s", path, loaded.error().c_str());
    return false;
  }
  passes = std::move(*loaded);
  return true;
}

}  // namespace

block_depth_of_field_t::block_depth_of_field_t() : block_base_t("depth-of-field") {
  bound_inputs.push_back(make_layer_input("Input", 0));
  bound_inputs.push_back(make_layer_input("Depth", 1));
}

block_depth_of_field_t::~block_depth_of_field_t() {
  bokeh_points.reset();
  draw_arguments.reset();
  dof_passes.clear();
  bokeh_passes.clear();
}

bool block_depth_of_field_t::default_init() {
  if (!block_base_t::default_init()) return false;
  if (!load_description("shaders/dof.toml", dof_passes)) return false;
  if (!load_description("shaders/dof.bokeh.toml", bokeh_passes)) return false;
  return find_passes() && create_bokeh_buffers();
}

bool block_depth_of_field_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  // The block reads nothing but the layer below; a table that names no inputs keeps those two.
  if (bound_inputs.empty()) {
    bound_inputs.push_back(make_layer_input("Input", 0));
    bound_inputs.push_back(make_layer_input("Depth", 1));
  }
  load_variables(table, variables);
  if (!load_render_passes(table.get("dof-shaderdesc", serial::value_kind_t::table), dof_passes)) return false;
  if (!load_render_passes(table.get("bokeh-shaderdesc", serial::value_kind_t::table), bokeh_passes)) return false;
  return find_passes() && create_bokeh_buffers();
}

void block_depth_of_field_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_passes(*table.add("dof-shaderdesc", serial::value_kind_t::table), dof_passes);
  save_render_passes(*table.add("bokeh-shaderdesc", serial::value_kind_t::table), bokeh_passes);
}

bool block_depth_of_field_t::find_passes() {
  calc_coc = find_render_pass(dof_passes, "calc-coc");
  dof_blur = calc_coc ? find_render_pass(dof_passes, "dof-blur") : nullptr;
  bokeh_collect = dof_blur ? find_render_pass(bokeh_passes, "bokeh-collect") : nullptr;
  bokeh_render = bokeh_collect ? find_render_pass(bokeh_passes, "bokeh-render") : nullptr;
  bokeh_render_ngon = bokeh_render ? find_render_pass(bokeh_passes, "bokeh-render-ngon") : nullptr;
  if (!calc_coc) {
    LOG_WRN("unable to find rp, blur");
    return false;
  }
  if (!dof_blur || !bokeh_collect || !bokeh_render || !bokeh_render_ngon) {
    LOG_WRN("unable to find rp, dof");
    return false;
  }
  return true;
}

bool block_depth_of_field_t::create_bokeh_buffers() {
  const int2 size = S(gsys)->get_backbuffer_size();
  bokeh_points.reset();
  ensure_point_capacity(size.x, size.y);
  draw_arguments = S(resources)->create_indirect_args_buffer(1);
  return true;
}

bool block_depth_of_field_t::ensure_point_capacity(int width, int height) {
  const int64_t wanted = int64_t(std::max(width, 1)) * std::max(height, 1);
  if (bokeh_points && bokeh_points->count >= wanted) return true;
  bokeh_points = S(resources)->create_buffer(static_cast<int>(wanted), point_stride, BUF_APPEND | BUF_SRV | BUF_UAV);
  return bokeh_points != nullptr;
}

void block_depth_of_field_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  if (context.input_targets.size() != 2 || !context.input_targets[0] || !context.input_targets[1]) return;
  if (!calc_coc || !dof_blur || !bokeh_collect || !bokeh_render || !draw_arguments || !draw_arguments->uav) return;
  for (render_pass_t* pass : {calc_coc, dof_blur, bokeh_collect, bokeh_render})
    if (!pass->shaders_loaded()) return;
  render_target_t* in0 = context.input_targets[0];
  render_target_t* in1 = context.input_targets[1];
  render_target_t* out0 = context.outputs.empty() ? nullptr : context.outputs[0];
  if (!out0 || !in0->srv || !in1->srv) return;
  const int w = static_cast<int>(in0->viewport.Width);
  const int h = static_cast<int>(in0->viewport.Height);
  // An input larger than the back buffer the points were sized for must not append past the end.
  if (!ensure_point_capacity(w, h)) return;

  ID3D11DeviceContext* device_context = S(gsys)->get_context();
  graphics_resources_t* resources = S(resources);
  device_context->GenerateMips(in0->srv);

  auto coc = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R16_FLOAT, scratch_flags);
  calc_coc->draw_fullscreen_to_target(coc.get(), {in0->srv, in1->srv}, transparent);

  auto collected = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R16G16B16A16_FLOAT, scratch_flags);
  // The point buffer binds after the colour target with its append counter at 0.
  bokeh_collect->draw_fullscreen_to_targets({collected.get(), bokeh_points.get()}, {in0->srv, in1->srv, coc->srv},
                                            transparent);

  auto blurred_once = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R16G16B16A16_FLOAT, scratch_flags);
  auto blurred = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R16G16B16A16_FLOAT, scratch_flags);
  device_context->GenerateMips(collected->srv);
  dof_blur->draw_fullscreen_to_target(blurred_once.get(), {collected->srv, in1->srv, coc->srv}, transparent);
  device_context->GenerateMips(blurred_once->srv);
  dof_blur->draw_fullscreen_to_target(blurred.get(), {blurred_once->srv, in1->srv, coc->srv}, transparent);

  auto sprites = resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R16G16B16A16_FLOAT, scratch_flags);
  device_context->CopyStructureCount(draw_arguments->buffer, 0, bokeh_points->uav);
  render_target_t* previous = S(runtime)->set_render_target(sprites.get(), transparent, true);
  if (bokeh_render->vs) bokeh_render->vs->resources[0].srv = bokeh_points->srv;
  bokeh_render->bind();
  device_context->DrawInstancedIndirect(draw_arguments->buffer, 0);
  bokeh_render->unbind();
  S(runtime)->set_render_target(previous, nullptr, false);

  engine_context->shader_manager->blend(sprites.get(), blurred.get(), *out0, BLEND_ADD,
                                        float4{1.0f, 1.0f, 1.0f, 1.0f});
}

void block_depth_of_field_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  for (render_pass_t* pass : {calc_coc, dof_blur, bokeh_collect, bokeh_render})
    if (pass) pass->collect_variables(registry);
}

block_ptr_t make_depth_of_field_block() { return std::make_shared<block_depth_of_field_t>(); }

namespace {
const block_class_registrar_t registrar{"depth-of-field", make_depth_of_field_block};
}  // namespace
