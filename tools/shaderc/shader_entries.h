#pragma once
// Finds every (source file, entry point, stage) the content loads: the shader manager's built-in
// full-screen shaders of shaders/default.hlsl, every pass of every shader description file (a .toml
// file with a "shaders" array), every render-pass table of every project file (a .proj.toml file),
// and the lines of shaders/entrypoints.txt for stages that code loads by name
// ("<vertex|geometry|pixel|compute> <file> <entry point>", '#' comments).

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/d3d11/spirv_translate.h"

struct shader_entry_t {
  spirv_stage_t stage = spirv_stage_t::vertex;
  std::string file;         // content path, lower case, '/'-separated: "shaders/default.hlsl"
  std::string entry_point;  // as written
  std::string origin;       // where the entry was named, for messages
};

// Sorted by file, then entry point; one entry per (file, entry point).
tl::expected<std::vector<shader_entry_t>, std::string> find_shader_entries(const std::string& content_root);

// The passes of one description text: its stages, with the default file derived from its path.
tl::expected<std::vector<shader_entry_t>, std::string> parse_shader_description(const std::string& text,
                                                                                const std::string& path);

const char* stage_word(spirv_stage_t stage);
// A path as the player looks a file up: lower case, '/' separated, without repeated or leading '/'.
std::string normalize_content_path(const std::string& path);
