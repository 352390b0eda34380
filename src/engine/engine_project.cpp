// Project loading: settings, blocks and music from the project's root table, and the block
// factory that turns a class name into a block.
#include <algorithm>
#include <exception>

#include <fmt/printf.h>

#include "engine/block_factory.h"
#include "engine/engine_impl.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "media/soundsystem.h"
#include "support/systems.h"
#include "support/log.h"

void engine_impl_t::load_settings(const serial::value_t& root) {
  const serial::value_t& table = root.get("settings", serial::value_kind_t::table);
  if (table.valid) {
    settings.project_name = table.get_string("project-name", "");
    settings.cur_time = table.get_float("cur-time", 0.0f);
    settings.fade_mode = table.get_int("fade-mode", 2);
    settings.block_fade_in = table.get_float("block-fade-in", 0.5f);
    settings.camera_fade_in = table.get_float("camera-fade-in", 0.25f);
    settings.sound_fade_out = table.get_float("sound-fade-out", 2.0f);
  }
  set_cur_time(settings.cur_time);
}

void engine_impl_t::load_blocks(const serial::value_t& root) {
  blocks.clear();
  for (const serial::value_t& item : root.get_array("blocks")) {
    if (item.kind != serial::value_kind_t::table) continue;
    block_ptr_t block = create_block(item.get_string("class-name", ""), false);
    if (!block) continue;
    // A block that cannot load what its table names keeps its place, so the layers above it
    // link as they would, and draws nothing.
    try {
      block->load(item);
    } catch (const std::exception& e) {
      block->load_failed = true;
      LOG_WRN("Block %d (%s) could not load and draws nothing: %s", block->id, block->name.c_str(), e.what());
    } catch (...) {
      block->load_failed = true;
      LOG_WRN("Block %d (%s) could not load and draws nothing: unknown exception", block->id, block->name.c_str());
    }
    blocks.push_back(block);
  }
  for (const block_ptr_t& block : blocks) {
    if (!block->post_load()) LOG_INF("Error in call to post_load for block: %s", block->get_name().c_str());
  }
  // An input fed by a block that does not exist keeps its block from ever drawing.
  for (const block_ptr_t& block : blocks) {
    for (const bound_input_t& input : block->bound_inputs) {
      if (input.type != BOUND_INPUT_BLOCK || input.block_id == -1 || find_block(input.block_id)) continue;
      LOG_WRN("Block %s: bound input %s has block-id %d, which no block has; the block draws nothing", block->name.c_str(),
              input.display_name.c_str(), input.block_id);
    }
  }
  if (blocks.empty()) LOG_WRN("Project has no blocks: nothing is drawn");
}

block_ptr_t engine_impl_t::create_block(const std::string& class_name, bool default_init) {
  block_ptr_t block = make_block_of_class(class_name);
  if (!block) {
    LOG_WRN("Trying to create unsupported class id: %s", class_name.c_str());
    return {};
  }
  if (default_init && !block->default_init()) {
    LOG_WRN("Block failed default init: %s", block->get_name().c_str());
    return {};
  }
  return block;
}

tl::expected<void, std::string> engine_impl_t::load_project_text(const std::string& name,
                                                                 const std::string& text) {
  serial::parse_result_t parsed = name.empty() ? serial::parse_text(text, name) : serial::load_toml(name);
  if (!parsed) return tl::unexpected(parsed.error());
  const serial::value_t& root = **parsed;
  load_settings(root);
  load_blocks(root);
  if (soundsystem_t* sound = engine_context->soundsystem) {
    sound->load(root);
    float end = 0.0f;
    for (const block_ptr_t& block : blocks) end = std::max(end, block->end_time);
    if (sound->has_music() && sound->get_length() < end)
      LOG_WRN("Soundtrack %s lasts %.1f s, less than the timeline's %.1f s; the time runs on without it",
              sound->get_soundtrack().c_str(), sound->get_length(), end);
  }
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
