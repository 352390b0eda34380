#pragma once
// One of three fixed texts (the intro, the greetings, the credits) drawn with a signed-distance-
// field font: every letter a quad that flies in from behind with an elastic ease, one letter after
// the other and one line after the other.

#include <memory>

#include "blocks/sdf_text_layout.h"
#include "engine/block_base.h"
#include "media/msdf_font.h"

class render_pass_t;
struct texture_t;

class block_sdf_text_t final : public block_base_t {
 public:
  static constexpr int max_vertices = 16384;
  static constexpr int max_quads = 4096;

  block_sdf_text_t();
  ~block_sdf_text_t() override;

  bool default_init() override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  void expose_variables(variable_registry_t& registry) override;

  // Pass, buffers, font, atlas and the three laid-out texts.
  bool init_text();
  // The greetings' y offset: up by speed over the block's span, from offset at its start.
  static float scroll_offset(float t, float start, float end, float speed, float offset);
  // The text "text-select" names, or null for a value outside 0..2.
  sdf_text_object_t* selected_text();

  msdf_font_t font;
  texture_t* atlas = nullptr;
  std::shared_ptr<render_pass_t> pass;

  variable_ptr_t text_select;
  variable_ptr_t intro_delay;
  variable_ptr_t intro_offset;
  variable_ptr_t greets_offset;
  variable_ptr_t greets_speed;
  variable_ptr_t credits_offset;

  sdf_text_object_t intro;
  sdf_text_object_t greetings;
  sdf_text_object_t credits;

 private:
  // The text's start, end and fade, loaded and saved after the block's own six.
  void make_text_variables(sdf_text_object_t& text, const char* prefix, float start, float end, float fade);
};

block_ptr_t make_sdf_text_block();
