#include "blocks/block_sdf_text.h"

#include <algorithm>
#include <cstring>

#include <fmt/printf.h>

#include "engine/block_factory.h"
#include "graphics/geometry.h"
#include "media/texture_manager.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"
#include "support/math.h"
#include "variables/engine_context.h"
#include "variables/variable_registry.h"

namespace {

// Without a leading '/': the shader cache keys its entries by the relative path.
const char* text_pass_path = "shaders/sdf_text.toml";

const char* const intro_lines[] = {"VELMORA", "GLASSMOOR 2", "LANTERNFALL 2026"};
const float intro_delays[] = {0.0f, 2.0f, 4.0f};

const char* const greeting_lines[] = {
    "GREETINGS TO THE USUAL SUSPECTS",
    "KOBALT HARE",
    "NINTH ORBIT",
    "PAPER MOTH",
    "QUIET FOX",
    "SALTWORKS",
    "TUNDRA FIVE",
    "HALDEN DEMO CREW",
    "HI ALL AT LANTERNFALL!",
};

const char* const credit_lines[] = {"BEATS - MARREK", "VISUALS - WAXEN PLUM"};
const float credit_delays[] = {0.0f, 2.0f};

float float_of(const variable_ptr_t& variable, float fallback) {
  const float* value = variable ? std::get_if<float>(&variable->value.value) : nullptr;
  return value ? *value : fallback;
}

int32_t int_of(const variable_ptr_t& variable, int32_t fallback) {
  const int32_t* value = variable ? std::get_if<int32_t>(&variable->value.value) : nullptr;
  return value ? *value : fallback;
}

variable_ptr_t ranged_float(const char* name, float value, float min, float max) {
  return construct_ranged_variable(name, VT_FLOAT, value, min, max, VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX);
}

}  // namespace

block_sdf_text_t::block_sdf_text_t() : block_base_t("sdf-text"), pass(make_render_pass()) {
  text_select = construct_ranged_variable("text-select", VT_INT, int32_t{0}, int32_t{0}, int32_t{2},
                                          VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX);
  intro_delay = ranged_float("intro-delay", 1.0f, 0.0f, 10.0f);
  intro_offset = ranged_float("intro-offset", -50.0f, -100.0f, 100.0f);
  greets_offset = ranged_float("greets-offset", -50.0f, -100.0f, 100.0f);
  greets_speed = ranged_float("greets-speed", 1.0f, 0.0f, 100.0f);
  credits_offset = ranged_float("credits-offset", -50.0f, -100.0f, 100.0f);
  for (variable_ptr_t* member : {&text_select, &intro_delay, &intro_offset, &greets_offset, &greets_speed,
                                 &credits_offset})
    register_variable(*member);
  // Made with the block rather than after its table was read, so a saved fade loads again.
  make_text_variables(intro, "intro", 0.0f, 30.0f, 1.0f);
  make_text_variables(greetings, "greets", 0.0f, 40.0f, 1.0f);
  make_text_variables(credits, "credits", 0.0f, 20.0f, 1.0f);
}

block_sdf_text_t::~block_sdf_text_t() {
  pass.reset();
  font.release();
}

bool block_sdf_text_t::default_init() { return block_base_t::default_init() && init_text(); }

bool block_sdf_text_t::load(const serial::value_t& table) { return block_base_t::load(table) && init_text(); }

void block_sdf_text_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  if (pass) save_render_pass(*table.add("rp-font", serial::value_kind_t::table), *pass);
}

void block_sdf_text_t::make_text_variables(sdf_text_object_t& text, const char* prefix, float start, float end,
                                           float fade) {
  text.start = construct_variable(fmt::sprintf("%s-start", prefix), VT_FLOAT, start);
  text.end = construct_variable(fmt::sprintf("%s-end", prefix), VT_FLOAT, end);
  text.fade = construct_variable(fmt::sprintf("%s-fade", prefix), VT_FLOAT, fade);
  for (variable_ptr_t* member : {&text.start, &text.end, &text.fade}) register_variable(*member);
}

bool block_sdf_text_t::init_text() {
  auto loaded = load_render_pass_from_desc(text_pass_path);
  if (!loaded || !*loaded) {
    const std::string message = loaded ? "no render pass in the description" : loaded.error();
    LOG_WRN("Error loading shader desc: %s: %s", text_pass_path, message.c_str());
    return false;
  }
  pass = *loaded;
  pass->geometry.create_dynamic_vertices(max_vertices, static_cast<int>(sizeof(sdf_text_vertex_t)));
  const std::vector<uint32_t> indices = make_quad_indices(max_quads);
  pass->geometry.create_index_buffer(static_cast<int>(indices.size()), 0, indices.data());

  load_msdf_font(font);
  texture_manager_t* textures = engine_context->texture_manager;
  auto texture = textures && !font.pixels.empty()
                     ? textures->create_texture_from_pixels(font.pixels.data(), font.atlas_width,
                                                            font.atlas_height, 4)
                     : tl::expected<texture_t*, std::string>(tl::unexpect, "no pixels");
  if (!texture || !*texture) {
    LOG_WRN("Unable to load font from memory");
    return false;
  }
  atlas = *texture;

  for (size_t i = 0; i < std::size(intro_lines); ++i) intro.add_line(font, 0.1f, intro_lines[i], intro_delays[i]);
  for (size_t i = 0; i < std::size(greeting_lines); ++i)
    greetings.add_line(font, 0.05f, greeting_lines[i], 0.75f * static_cast<float>(i));
  for (size_t i = 0; i < std::size(credit_lines); ++i)
    credits.add_line(font, 0.05f, credit_lines[i], credit_delays[i]);
  return true;
}

float block_sdf_text_t::scroll_offset(float t, float start, float end, float speed, float offset) {
  const float length = end - start;
  const float progress = length > 0.0f ? std::clamp((t - start) / length, 0.0f, 1.0f) : 1.0f;
  return progress * speed + offset;
}

sdf_text_object_t* block_sdf_text_t::selected_text() {
  switch (int_of(text_select, 0)) {
    case 0: return &intro;
    case 1: return &greetings;
    case 2: return &credits;
    default: return nullptr;
  }
}

void block_sdf_text_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  if (!atlas || !pass) return;
  pass->bind_input_textures(context);
  if (pass->ps) pass->ps->resources[0].srv = atlas->srv;

  const float t = context.time;
  sdf_text_object_t* text = selected_text();
  if (!text) return;
  if (text->start) text->start->value.set(start_time);
  if (text->end) text->end->value.set(end_time);

  float delay = 0.0f;
  float y_offset = 0.0f;
  if (text == &intro) {
    delay = float_of(intro_delay, 1.0f);
    y_offset = float_of(intro_offset, -50.0f);
  } else if (text == &greetings) {
    y_offset = scroll_offset(t, start_time, end_time, float_of(greets_speed, 1.0f), float_of(greets_offset, -50.0f));
  } else {
    y_offset = float_of(credits_offset, -50.0f);
  }
  animate_text(*text, t, delay, y_offset);

  // The quads actually laid out, no more than the buffers were made for.
  const size_t quads = std::min(text->animated.size() / 4, size_t(max_quads));
  if (quads == 0 || !pass->is_ready()) return;
  dyn_buffer_base* vertices = pass->geometry.dyn_vertices.get();
  const size_t bytes = quads * 4 * sizeof(sdf_text_vertex_t);
  if (size_t(vertices->capacity / 3) < bytes) vertices->create(static_cast<int>(3 * bytes));
  std::memcpy(vertices->shadow, text->animated.data(), bytes);
  const int first = vertices->commit(vertices->shadow + bytes);
  pass->draw_indexed(static_cast<uint32_t>(6 * quads), first);
}

void block_sdf_text_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  for (variable_ptr_t* member : {&text_select, &intro_delay, &intro_offset, &greets_offset, &greets_speed,
                                 &credits_offset})
    registry.add(member->get(), 7);
  if (pass) pass->collect_variables(registry);
}

block_ptr_t make_sdf_text_block() { return std::make_shared<block_sdf_text_t>(); }

namespace {
const block_class_registrar_t registrar{"sdf-text", make_sdf_text_block};
}  // namespace
