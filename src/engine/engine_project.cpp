// Project loading: settings, blocks and music from the project's root table. The block factory
// is a stand-in that knows no class yet, so every block item is skipped with its warning.
#include <fmt/printf.h>

#include "engine/engine_impl.h"
#include "engine/filesystem.h"
#include "engine/serial_reader.h"
#include "engine/soundsystem.h"
#include "engine/systems.h"
#include "support/log.h"

namespace {

void load_settings(engine_impl_t& engine, const serial::value_t& root) {
  const serial::value_t& table = root.get("settings", serial::value_kind_t::table);
  project_settings_t& settings = engine.settings;
  if (table.valid && table.kind == serial::value_kind_t::table) {
    settings.project_name = table.get_string("project-name", "");
    settings.cur_time = table.get_float("cur-time", 0.0f);
    settings.fade_mode = table.get_int("fade-mode", 2);
    settings.block_fade_in = table.get_float("block-fade-in", 0.5f);
    settings.camera_fade_in = table.get_float("camera-fade-in", 0.25f);
    settings.sound_fade_out = table.get_float("sound-fade-out", 2.0f);
  }
  engine.set_cur_time(settings.cur_time);
}

void load_blocks(engine_impl_t& engine, const serial::value_t& root) {
  engine.blocks.clear();
  for (const serial::value_t& item : root.get_array("blocks")) {
    if (item.kind != serial::value_kind_t::table) continue;
    block_ptr_t block = engine.create_block(item.get_string("class-name", ""), false);
    if (block) engine.blocks.push_back(block);
  }
}

}  // namespace

block_ptr_t engine_impl_t::create_block(const std::string& class_name, bool default_init) {
  LOG_WRN("Trying to create unsupported class id: %s", class_name.c_str());
  return {};
}

tl::expected<void, std::string> engine_impl_t::load_project_text(const std::string& name,
                                                                 const std::string& text) {
  serial::parse_result_t parsed = name.empty() ? serial::parse_text(text, name) : serial::load_toml(name);
  if (!parsed) return tl::unexpected(parsed.error());
  const serial::value_t& root = **parsed;
  load_settings(*this, root);
  load_blocks(*this, root);
  if (engine_context->soundsystem) engine_context->soundsystem->load(root);
  LOG_INF("Loaded: %s", name.c_str());
  return {};
}

tl::expected<void, std::string> engine_impl_t::load_project(const std::string& path) {
  std::string text;
  if (!g_systems || !S(filesystem) || !S(filesystem)->read_text_file(path, text)) {
    return tl::unexpected(fmt::sprintf("Unable to load file: %s", path));
  }
  return load_project_text("", text);
}
