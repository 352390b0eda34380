#include "shaders/render_pass_desc.h"

#include <fmt/printf.h>

#include <utility>

#include "shaders/render_pass.h"
#include "graphics/render_target_types.h"
#include "files/toml_file.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/strings.h"

namespace {

using name_table_t = std::initializer_list<std::pair<const char*, int>>;

int find_name(name_table_t table, const std::string& name, int fallback) {
  for (const auto& [text, id] : table)
    if (name == text) return id;
  return fallback;
}

// Reads "inputs" or "outputs" into the pass's mask and slot list.
tl::expected<void, std::string> read_format_slots(const serial::value_t& table, const char* key, const char* what,
                                                  uint64_t& formats, std::vector<format_slot_t>& slots) {
  for (const serial::value_t& element : table.get_array(key)) {
    const int32_t slot = element.get_int("slot", -1);
    const int type = render_target_type_from_name(element.get_string("format", ""));
    if (slot < 0 || type == 0)
      return tl::unexpected(fmt::sprintf("Error parsing %s format: slot %d, format %d", what, slot, type));
    formats |= uint64_t(1) << type;
    slots.push_back({slot, type});
  }
  return {};
}

tl::expected<std::shared_ptr<render_pass_t>, std::string> read_pass(const serial::value_t& table,
                                                                    const std::string& default_file) {
  auto pass = make_render_pass();
  const std::string display_name = table.get_string("displayname", "");
  const std::string vertex_entry = table.get_string("vertexshader", "");
  if (!vertex_entry.empty()) {
    std::vector<uint32_t> layout;
    for (const serial::value_t& token : table.get_array("layout")) {
      const uint32_t code = parse_vertex_format_name(token.as_string());
      if (code == 0) return tl::unexpected(fmt::sprintf("Unknown layout token: %s", token.as_string()));
      layout.push_back(code);
    }
    const std::string file = table.get_string("vertexshader_filename", default_file);
    const bool loaded = layout.empty() ? pass->load_vertex_shader(file, vertex_entry)
                                       : pass->load_vertex_shader_with_layout(file, vertex_entry, layout);
    if (!loaded) return tl::unexpected(fmt::sprintf("unable to load vertex shader: %s", vertex_entry));
  }

  const std::string geometry_entry = table.get_string("geometryshader", "");
  if (!geometry_entry.empty() &&
      !pass->load_geometry_shader(table.get_string("geometryshader_filename", default_file), geometry_entry))
    return tl::unexpected(fmt::sprintf("unable to load geometry shader: %s", geometry_entry));

  const std::string pixel_entry = table.get_string("pixelshader", "");
  if (!pixel_entry.empty()) {
    const bool fullscreen_tag = table.get_bool("fullscreen", false);
    const std::string file = table.get_string("pixelshader_filename", default_file);
    bool loaded = false;
    if (fullscreen_tag || vertex_entry.empty()) {
      loaded = pass->load_fullscreen_shaders(file, pixel_entry);
      if (loaded && vertex_entry.empty() && !fullscreen_tag)
        LOG_INF("No fullscreen tag found, but there was no vertex shader either, so assuming fullscreen: %s",
                pixel_entry.c_str());
    } else {
      loaded = pass->load_pixel_shader(file, pixel_entry);
    }
    if (!loaded) return tl::unexpected(fmt::sprintf("unable to load pixel shader: %s", pixel_entry));
    pass->posteffect = table.get_bool("posteffect", false);
  }

  const std::string compute_entry = table.get_string("computeshader", "");
  if (!compute_entry.empty() &&
      !pass->load_compute_shader(table.get_string("computeshader_filename", default_file), compute_entry))
    return tl::unexpected(fmt::sprintf("unable to load compute shader: %s", compute_entry));

  if (auto read = read_format_slots(table, "inputs", "input", pass->input_formats, pass->input_slots); !read)
    return tl::unexpected(read.error());
  if (auto read = read_format_slots(table, "outputs", "output", pass->output_formats, pass->output_slots); !read)
    return tl::unexpected(read.error());

  pass->set_blend_state(parse_blend_state_name(table.get_string("blendstate", "default")));
  pass->set_rasterizer_state(parse_rasterizer_state_name(table.get_string("rasterizerstate", "default")));
  pass->set_depth_stencil_state(parse_depth_stencil_state_name(table.get_string("depthstencilstate", "default")));
  pass->geometry.topology = parse_topology_name(table.get_string("topology", "trianglelist"));
  pass->create_samplers_from_shader();

  for (const serial::value_t& element : table.get_array("resources")) {
    const int32_t slot = element.get_int("slot", -1);
    shader_t* main = pass->main_shader();
    if (slot < 0 || slot >= SHADER_SLOT_COUNT || !main) continue;
    const std::string filename = element.get_string("filename", "");
    const std::string sys = element.get_string("sys", "");
    if (!filename.empty()) main->resources[slot].file_name = filename;
    if (!sys.empty()) main->resources[slot].sys_name = sys;
  }

  std::string name = display_name;
  for (const std::string* candidate : {&pixel_entry, &vertex_entry, &compute_entry})
    if (name.empty()) name = *candidate;
  if (name.empty()) {
    LOG_INF("Shader has no name.. this is weird..");
    name = "unknown";
  }
  pass->set_name(name);
  return pass;
}

}  // namespace

int parse_rasterizer_state_name(const std::string& name) {
  return find_name({{"default", 1}, {"cullnone", 2}, {"cullfrontface", 3}, {"wireframe", 4}}, to_lower(name), 0);
}

int parse_blend_state_name(const std::string& name) {
  return find_name({{"default", 1},
                    {"srcalpha", 2},
                    {"ignorealpha", 3},
                    {"oneone", 4},
                    {"colorwritesoff", 5},
                    {"premultiplied", 6},
                    {"weightedblend", 7},
                    {"weightedblendresolve", 8}},
                   to_lower(name), 0);
}

int parse_depth_stencil_state_name(const std::string& name) {
  return find_name({{"default", 1}, {"disabled", 2}, {"writedisabled", 3}, {"depthequal", 4}}, to_lower(name), 0);
}

int parse_topology_name(const std::string& name) {
  return find_name({{"pointlist", 1}, {"linelist", 2}, {"linestrip", 3}, {"trianglelist", 4}, {"trianglestrip", 5}},
                   to_lower(name), 4);
}

uint32_t parse_vertex_format_name(const std::string& name) {
  return static_cast<uint32_t>(find_name({{"VF_POS", 1},
                                          {"VF_POS_XYZW", 2},
                                          {"VF_SV_POS_XYZW", 3},
                                          {"VF_POS_XY", 4},
                                          {"VF_NORMAL", 5},
                                          {"VF_TANGENT", 6},
                                          {"VF_BINORMAL", 7},
                                          {"VF_TEX1", 8},
                                          {"VF_TEX2", 9},
                                          {"VF_TEX3", 10},
                                          {"VF_TEX4", 11},
                                          {"VF_COLOR", 12},
                                          {"VF_COLOR_U32", 13}},
                                         name, 0));
}

tl::expected<std::vector<std::shared_ptr<render_pass_t>>, std::string> load_render_passes_from_desc(
    const std::string& path) {
  LOG_DBG("Parsing shader desc: %s", path.c_str());
  auto root = serial::load_toml(path);
  if (!root) return tl::unexpected(root.error());
  const std::string default_file = replace_extension(path, "hlsl");
  std::vector<std::shared_ptr<render_pass_t>> passes;
  for (const serial::value_t& element : (*root)->get_array("shaders")) {
    // An element that is not a table reads as empty: every lookup on it finds nothing.
    const serial::value_t& table = element.kind == serial::value_kind_t::table ? element : serial::null_value();
    auto pass = read_pass(table, default_file);
    if (!pass) return tl::unexpected(pass.error());
    passes.push_back(std::move(*pass));
  }
  return passes;
}

tl::expected<std::shared_ptr<render_pass_t>, std::string> load_render_pass_from_desc(const std::string& path) {
  auto passes = load_render_passes_from_desc(path);
  if (!passes) return tl::unexpected(passes.error());
  if (passes->empty()) {
    LOG_INF("No renderpasses found in %s", path.c_str());
    return std::shared_ptr<render_pass_t>();
  }
  return passes->front();
}
