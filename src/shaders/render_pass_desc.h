#pragma once
// Shader description files: text files whose "shaders" array lists render passes, read into
// passes with all their shaders loaded. Also the name parsers of states, topologies and layouts.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tl/expected.hpp>

class render_pass_t;

// Preset names compared in lower case; 0 for any other text.
int parse_rasterizer_state_name(const std::string& name);
int parse_blend_state_name(const std::string& name);
int parse_depth_stencil_state_name(const std::string& name);
// Triangle list (4) for any other text.
int parse_topology_name(const std::string& name);
// "VF_POS" 1 ... "VF_COLOR_U32" 13, exact; 0 for any other text.
uint32_t parse_vertex_format_name(const std::string& name);

// Every pass of a description in file order, or the first error's message.
tl::expected<std::vector<std::shared_ptr<render_pass_t>>, std::string> load_render_passes_from_desc(
    const std::string& path);
// The first pass; an empty pointer for a description without passes.
tl::expected<std::shared_ptr<render_pass_t>, std::string> load_render_pass_from_desc(const std::string& path);
