#include "shaders/render_pass_table.h"

#include <optional>

#include "variables/engine_context.h"
#include "shaders/render_pass.h"
#include "variables/serializer_aux.h"
#include "shaders/shader_manager.h"
#include "support/log.h"

namespace {

using serial::value_kind_t;

// The ints of an array; none when any element is not an int.
template <typename int_t>
std::optional<std::vector<int_t>> read_int_array(const serial::value_t& table, const char* key) {
  const serial::value_t& array = table.get(key, value_kind_t::array);
  if (!array.valid) return std::nullopt;
  std::vector<int_t> values;
  for (const auto& item : array.items) {
    if (item->kind != value_kind_t::int_) return std::nullopt;
    values.push_back(static_cast<int_t>(item->payload.i[0]));
  }
  return values;
}

void add_int(serial::value_t& table, const std::string& key, int32_t value) {
  table.add(key, value_kind_t::int_)->payload.i[0] = value;
}

void add_int_array(serial::value_t& table, const std::string& key, const auto& values) {
  serial::value_t* array = table.add(key, value_kind_t::array);
  for (auto v : values) array->append(value_kind_t::int_)->payload.i[0] = static_cast<int32_t>(v);
}

void read_slots(const serial::value_t& table, const char* key, std::vector<format_slot_t>& slots) {
  for (const serial::value_t& element : table.get_array(key))
    slots.push_back({element.get_int("slot", 0), element.get_int("fmt", 0)});
}

void write_slots(serial::value_t& table, const char* key, const std::vector<format_slot_t>& slots) {
  if (slots.empty()) return;
  serial::value_t* array = table.add(key, value_kind_t::array);
  for (const format_slot_t& s : slots) {
    serial::value_t* element = array->append(value_kind_t::table);
    add_int(*element, "slot", s.slot);
    add_int(*element, "fmt", static_cast<int32_t>(s.format));
  }
}

// A preset id that names no preset would leave the pass without a state record, so it never draws:
// the default preset stands in, with a warning.
void set_state_or_default(render_pass_t& pass, const serial::value_t& table, const char* key, int id,
                          bool (render_pass_t::*setter)(int)) {
  if ((pass.*setter)(id)) return;
  LOG_WRN("%s, render pass %s: %s %d is not a preset; using 1", owner_path(table).c_str(),
          pass.name.c_str(), key, id);
  (pass.*setter)(1);
}

}  // namespace

bool load_render_pass(const serial::value_t& table, render_pass_t& pass) {
  pass.name = table.get_string("rp-name", "");
  pass.kind = table.get_int("type", 0);
  pass.geometry.topology = table.get_int("topology", D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  const int rasterizer = table.get_int("rasterizer-state", 1);
  const int blend = table.get_int("blend-state", 1);
  const int depth_stencil = table.get_int("depth-stencil-state", 1);
  const auto samplers = read_int_array<int>(table, "samplers");
  set_state_or_default(pass, table, "rasterizer-state", rasterizer, &render_pass_t::set_rasterizer_state);
  set_state_or_default(pass, table, "blend-state", blend, &render_pass_t::set_blend_state);
  set_state_or_default(pass, table, "depth-stencil-state", depth_stencil, &render_pass_t::set_depth_stencil_state);
  if (samplers && !samplers->empty()) {
    pass.set_samplers(*samplers);
    for (size_t i = 0; i < samplers->size(); ++i) {
      if (!pass.states.samplers[pass.states.samplers.size() - samplers->size() + i])
        LOG_WRN("%s, render pass %s: samplers %d is not a preset; register %d samples with the default",
                owner_path(table).c_str(), pass.name.c_str(), (*samplers)[i], int(i));
    }
  }

  const std::pair<const char*, shader_ptr_t*> stages[] = {{"vs", &pass.vs}, {"gs", &pass.gs}, {"ps", &pass.ps}, {"cs", &pass.cs}};
  for (const auto& [key, member] : stages) {
    const serial::value_t& stage = table.get(key, value_kind_t::table);
    if (!stage.valid) continue;
    if (member == &pass.ps) pass.posteffect = table.get_bool("posteffect", false);
    *member = load_pass_shader(stage);
  }

  pass.input_formats = static_cast<uint64_t>(static_cast<int64_t>(table.get_int("input-format", 0)));
  read_slots(table, "input-slots", pass.input_slots);
  pass.output_formats = static_cast<uint64_t>(static_cast<int64_t>(table.get_int("output-format", 0)));
  read_slots(table, "output-slots", pass.output_slots);
  return true;
}

std::shared_ptr<shader_t> load_pass_shader(const serial::value_t& table) {
  const int32_t stage = table.get_int("type", 0);
  const std::string filename = table.get_string("filename", "");
  const std::string entry_point = table.get_string("entrypoint", "");
  const auto layout = read_int_array<uint32_t>(table, "vs-layout");
  if (stage != SHADER_STAGE_VERTEX && stage != SHADER_STAGE_GEOMETRY && stage != SHADER_STAGE_PIXEL &&
      stage != SHADER_STAGE_COMPUTE)
    return nullptr;
  shader_request_t request(stage, filename, entry_point, 1);
  if (stage == SHADER_STAGE_VERTEX && layout) request.vs_layout = *layout;
  auto shader = engine_context->shader_manager->load_shader(request);
  if (shader->state != SHADER_STATE_READY) return shader;
  const serial::value_t& vars = table.get("vars", value_kind_t::table);
  for (const auto& [name, child] : vars.children) {
    auto variable = make_empty_variable();
    load_variable(*child, *variable);
    shader->variables[name] = variable;
  }
  // Bound now rather than at the first draw, so that the block animates them before its first
  // frame: its first frame would otherwise show the saved values.
  shader->bind_variables();
  return shader;
}

void save_render_pass(serial::value_t& table, const render_pass_t& pass) {
  table.add_string("rp-name", pass.name);
  add_int(table, "type", pass.kind);
  add_int(table, "topology", pass.geometry.topology);
  add_int(table, "rasterizer-state", pass.states.rasterizer_id);
  add_int(table, "blend-state", pass.states.blend_id);
  add_int(table, "depth-stencil-state", pass.states.depth_stencil_id);
  add_int_array(table, "samplers", pass.states.sampler_ids);
  if (pass.vs) save_pass_shader(*table.add("vs", value_kind_t::table), *pass.vs);
  if (pass.gs) save_pass_shader(*table.add("gs", value_kind_t::table), *pass.gs);
  if (pass.ps) {
    table.add("posteffect", value_kind_t::bool_)->payload.i[0] = pass.posteffect ? 1 : 0;
    save_pass_shader(*table.add("ps", value_kind_t::table), *pass.ps);
  }
  if (pass.cs) save_pass_shader(*table.add("cs", value_kind_t::table), *pass.cs);
  add_int(table, "input-format", static_cast<int32_t>(static_cast<uint32_t>(pass.input_formats)));
  write_slots(table, "input-slots", pass.input_slots);
  add_int(table, "output-format", static_cast<int32_t>(static_cast<uint32_t>(pass.output_formats)));
  write_slots(table, "output-slots", pass.output_slots);
}

void save_pass_shader(serial::value_t& table, const shader_t& shader) {
  add_int(table, "type", shader.stage);
  table.add_string("filename", shader.path.full);
  table.add_string("entrypoint", shader.entry_point);
  if (shader.stage == SHADER_STAGE_VERTEX && !shader.vs_layout.empty())
    add_int_array(table, "vs-layout", shader.vs_layout);
  if (shader.variables.empty()) return;
  serial::value_t* vars = table.add("vars", value_kind_t::table);
  for (const auto& [key, variable] : shader.variables)
    if (variable) save_variable(*vars->add(key, value_kind_t::table), *variable);
}

bool load_render_passes(const serial::value_t& table, std::vector<std::shared_ptr<render_pass_t>>& passes) {
  for (const serial::value_t& element : table.get_array("renderpass")) {
    auto pass = make_render_pass();
    if (!load_render_pass(element, *pass)) return false;
    passes.push_back(std::move(pass));
  }
  return true;
}

void save_render_passes(serial::value_t& table, const std::vector<std::shared_ptr<render_pass_t>>& passes) {
  if (passes.empty()) return;
  serial::value_t* array = table.add("renderpass", value_kind_t::array);
  for (const auto& pass : passes)
    if (pass) save_render_pass(*array->append(value_kind_t::table), *pass);
}
