#pragma once
// Render passes kept in a block's table of the project file: the pass table, one stage table per
// shader with its saved variables, and the "renderpass" array of several passes. The readers
// never fail; missing keys take defaults.

#include <memory>
#include <vector>

#include "text/serial_value.h"

class render_pass_t;
struct shader_t;

bool load_render_pass(const serial::value_t& table, render_pass_t& pass);
void save_render_pass(serial::value_t& table, const render_pass_t& pass);
// Loads the stage synchronously and restores its variables; empty for an unusable "type".
std::shared_ptr<shader_t> load_pass_shader(const serial::value_t& table);
void save_pass_shader(serial::value_t& table, const shader_t& shader);
bool load_render_passes(const serial::value_t& table, std::vector<std::shared_ptr<render_pass_t>>& passes);
void save_render_passes(serial::value_t& table, const std::vector<std::shared_ptr<render_pass_t>>& passes);
