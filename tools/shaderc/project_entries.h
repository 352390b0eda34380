#pragma once
// Finds the stages a project file loads by itself: every render-pass table of every block, under
// whatever key the block class keeps it ("renderpass", "rp", "rp-fxaa", the "renderpass" array of a
// "shaderdesc", ...). A render-pass table is any table with a stage table "vs", "gs", "ps" or "cs";
// the stage table's "type" (1 vertex, 2 geometry, 4 pixel, 8 compute) picks the stage as the player's
// loader does, and a stage table of any other type loads nothing, so it needs no bytecode.

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "shader_entries.h"

// The stages of one project text; `path` is its content path, for messages.
tl::expected<std::vector<shader_entry_t>, std::string> parse_project_shaders(const std::string& text,
                                                                             const std::string& path);
