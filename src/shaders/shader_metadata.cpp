// Shader metadata files: what the reflection cannot say about a shader's constants, textures and
// outputs. Applied by the compile task after the reflection, every time a version is made.
#include <cfloat>
#include <climits>

#include <fmt/printf.h>

#include "variables/engine_context.h"
#include "files/filesystem.h"
#include "graphics/render_target_types.h"
#include "text/serial_reader.h"
#include "shaders/shader_compile_task.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "support/log.h"

namespace {

using serial::value_kind_t;

// The entry point key of a stage in a "shaders" element; null for stages without one.
const char* stage_key(int32_t stage) {
  switch (stage) {
    case 1: return "vertexshader";
    case 2: return "geometryshader";
    case 4: return "pixelshader";
    case 8: return "computeshader";
    default: return nullptr;
  }
}

cbuffer_t* find_cbuffer(shader_t& version, const std::string& name) {
  for (const auto& buffer : version.cbuffers)
    if (buffer && buffer->name == name) return buffer.get();
  return nullptr;
}

bool has(const serial::value_t& table, const char* key, value_kind_t kind) { return table.get(key, kind).valid; }

// The "default" of a variable entry, read as its type says; a missing or mistyped key gives the
// type's zero. Types without a readable default keep the one they have.
void read_default(const serial::value_t& item, cb_entry_t& entry) {
  const serial::value_t& stored = item.get("default", value_kind_t(entry.type));
  const serial::payload_t& p = stored.payload;
  switch (entry.type) {
    case VT_BOOL: entry.default_value = stored.valid && p.i[0] == 1; break;
    case VT_INT: entry.default_value = item.get_int("default", 0); break;
    case VT_INT2: entry.default_value = stored.valid ? int2{p.i[0], p.i[1]} : int2{}; break;
    case VT_INT3: entry.default_value = stored.valid ? int3{p.i[0], p.i[1], p.i[2]} : int3{}; break;
    case VT_INT4: entry.default_value = stored.valid ? int4{p.i[0], p.i[1], p.i[2], p.i[3]} : int4{}; break;
    case VT_FLOAT: entry.default_value = item.get_float("default", 0.0f); break;
    case VT_FLOAT2: entry.default_value = stored.valid ? float2{p.f[0], p.f[1]} : float2{}; break;
    case VT_FLOAT3: entry.default_value = stored.valid ? float3{p.f[0], p.f[1], p.f[2]} : float3{}; break;
    case VT_FLOAT4: entry.default_value = stored.valid ? float4{p.f[0], p.f[1], p.f[2], p.f[3]} : float4{}; break;
    case VT_COLOR: entry.default_value = stored.valid ? color_t{p.f[0], p.f[1], p.f[2], p.f[3]} : color_t{}; break;
    default: break;
  }
}

// "min" and "max" of a numeric entry; a bound at its missing value counts as absent.
void read_range(const serial::value_t& item, cb_entry_t& entry) {
  if (entry.type >= VT_INT && entry.type <= VT_INT4) {
    const int32_t min = item.get_int("min", INT32_MAX), max = item.get_int("max", INT32_MIN);
    if (min == INT32_MAX || max == INT32_MIN) return;
    entry.min_value = min, entry.max_value = max;
    entry.flags |= CB_FLAG_RANGE;
  } else if (entry.type >= VT_FLOAT && entry.type <= VT_FLOAT4) {
    const float min = item.get_float("min", FLT_MAX), max = item.get_float("max", -FLT_MAX);
    if (min == FLT_MAX || max == -FLT_MAX) return;
    entry.min_value = min, entry.max_value = max;
    entry.flags |= CB_FLAG_RANGE;
  }
}

void apply_variable_entry(const serial::value_t& item, cb_entry_t& entry) {
  entry.var_name = item.get_string("var", "");
  entry.flags |= CB_FLAG_VAR;
  if (has(item, "type", value_kind_t::string)) {
    entry.type = parse_variable_type(item.get_string("type", ""));
    entry.default_value = make_default_value(variable_type_t(entry.type));
  }
  read_default(item, entry);
  read_range(item, entry);
  if (has(item, "normalized", value_kind_t::bool_)) {
    if (entry.type >= VT_FLOAT2 && entry.type <= VT_FLOAT4) {
      if (item.get_bool("normalized", false)) entry.flags |= CB_FLAG_NORMALIZED;
    } else {
      LOG_INF("Normalized attribute found on non vector floating point type (%s). Ingoring", entry.name.c_str());
    }
  }
  if (has(item, "hidden", value_kind_t::bool_)) {
    if (item.get_bool("hidden", false)) entry.flags |= CB_FLAG_HIDDEN;
  } else if (item.get_bool("external", false)) {
    entry.variable.reset();
    entry.flags |= CB_FLAG_EXTERNAL;
  }
}

void apply_entry(const serial::value_t& item, cbuffer_t& buffer) {
  const std::string name = item.get_string("name", "");
  cb_entry_t* entry = buffer.find_entry(name);
  if (!entry) {
    LOG_INF("cb entry: %s not found in shader", name.c_str());
    return;
  }
  if (has(item, "sys", value_kind_t::string)) {
    entry->sys_name = item.get_string("sys", "");
    entry->flags |= CB_FLAG_SYS;
  } else if (has(item, "sync", value_kind_t::string)) {
    entry->sync_name = item.get_string("sync", "");
    entry->flags |= CB_FLAG_SYNC;
  } else if (has(item, "var", value_kind_t::string)) {
    apply_variable_entry(item, *entry);
  } else {
    LOG_INF("cb entry: %s is not a var or a sys", name.c_str());
  }
}

// The texture of a file, or the default texture when it does not load.
texture_t* load_file_texture(texture_manager_t* textures, const std::string& file_name) {
  if (!textures) {
    LOG_WRN("Unable to load texture: %s (%s), using default", file_name.c_str(), "no texture manager");
    return nullptr;
  }
  auto loaded = textures->load_texture(file_name);
  if (loaded) return *loaded;
  LOG_WRN("Unable to load texture: %s (%s), using default", file_name.c_str(), loaded.error().c_str());
  return textures->default_texture();
}

}  // namespace

tl::expected<void, std::string> compile_task_t::apply_metadata() {
  std::string text;
  filesystem_t* filesystem = g_systems ? S(filesystem) : nullptr;
  if (!filesystem || !filesystem->read_text_file(metadata_path, text))
    return tl::unexpected(fmt::sprintf("Unable to load metadata for shader: %s", metadata_path));
  if (text.empty()) return {};

  // Named, so that the message says which file and line.
  auto parsed = serial::parse_text(text, metadata_path);
  if (!parsed) {
    LOG_INF("Error parsing meta data: %s", parsed.error().c_str());
    // The version fails like any other metadata error rather than run on half-read settings.
    return tl::unexpected(parsed.error());
  }
  const serial::value_t& root = **parsed;

  if (has(root, "cbuffers", value_kind_t::array)) apply_cbuffer_metadata(root.get("cbuffers", value_kind_t::array));

  shader_t& version = *shader;
  const char* key = stage_key(version.stage);
  for (const serial::value_t& element : root.get_array("shaders")) {
    if (!key || !has(element, key, value_kind_t::string) || element.get_string(key, "") != version.entry_point)
      continue;
    if (has(element, "resources", value_kind_t::array))
      apply_resource_metadata(element.get("resources", value_kind_t::array));
    if (has(element, "outputs", value_kind_t::array))
      apply_output_metadata(element.get("outputs", value_kind_t::array));
  }
  return {};
}

tl::expected<void, std::string> compile_task_t::apply_cbuffer_metadata(const serial::value_t& cbuffers) {
  shader_t& version = *shader;
  for (const auto& element : cbuffers.items) {
    if (element->kind != value_kind_t::table) continue;
    for (const auto& [buffer_name, entries] : element->children) {
      cbuffer_t* buffer = find_cbuffer(version, buffer_name);
      if (!buffer || entries->kind != value_kind_t::array) continue;
      for (const auto& item : entries->items) {
        if (item->kind != value_kind_t::table) {
          LOG_WRN("Element in cbuffer array isn't an object!");
          continue;
        }
        apply_entry(*item, *buffer);
      }
    }
  }
  return {};
}

tl::expected<void, std::string> compile_task_t::apply_resource_metadata(const serial::value_t& resources) {
  shader_t& version = *shader;
  texture_manager_t* textures = engine_context->texture_manager;
  for (const auto& element : resources.items) {
    const serial::value_t& slot_value = element->get_any("slot", {value_kind_t::int_, value_kind_t::float_});
    if (!slot_value.valid) continue;
    const int32_t slot = slot_value.as_int(-1);
    for (shader_resource_slot_t& resource : version.resources) {
      if (resource.input_type != D3D_SIT_TEXTURE || resource.binding.bind_point != slot) continue;
      if (has(*element, "displayname", value_kind_t::string))
        resource.display_name = element->get_string("displayname", "");
      if (has(*element, "filename", value_kind_t::string)) {
        resource.file_name = element->get_string("filename", "");
        resource.texture = load_file_texture(textures, resource.file_name);
      } else if (has(*element, "sys", value_kind_t::string)) {
        resource.sys_name = element->get_string("sys", "");
        // Like a file texture, it is bound through the slot's texture: its view is read when the
        // pass binds, and an input the block puts into the slot takes its place.
        resource.texture = textures ? textures->find_texture(resource.sys_name) : nullptr;
        if (!resource.texture) LOG_INF("Unable to find system texture: %s", resource.sys_name.c_str());
      }
    }
  }
  return {};
}

tl::expected<void, std::string> compile_task_t::apply_output_metadata(const serial::value_t& outputs) {
  shader_t& version = *shader;
  for (const auto& element : outputs.items) {
    const int32_t index = element->get_int("index", -1);
    const std::string name = element->get_string("format", "");
    const int type = render_target_type_from_name(name);
    if (index >= 0 && index < SHADER_SLOT_COUNT && type != 0) {
      version.outputs[index].format_name = name;
      version.outputs[index].format = type;
    } else {
      LOG_INF("Unable to find matching output for: %s (%d)", name.c_str(), index);
    }
  }
  return {};
}
