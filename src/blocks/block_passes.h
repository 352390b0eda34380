#pragma once
// What the post-effect blocks share: picking their passes out of a loaded list by name, the
// pooled half-float targets of their intermediate images, and the check that a variable read from
// a project table still has the type the block works with.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "variables/variable.h"

class render_pass_t;
struct render_target_t;

// A wanted pass: its name and the member that points at it.
using named_pass_t = std::pair<const char*, render_pass_t**>;

// Looks the passes up in order; with `missing_prefix` the first missing one is logged at WRN as
// the prefix followed by its name. Stops there; the members not reached are left null.
bool find_named_passes(const std::vector<std::shared_ptr<render_pass_t>>& passes,
                       const std::vector<named_pass_t>& wanted, const char* missing_prefix);

// A pooled R16G16B16A16_FLOAT shader-resource target of the size.
std::shared_ptr<render_target_t> make_level_target(int width, int height);

// The variable when it holds a value of `type`; otherwise WRN that the table gave another type
// and the block's default takes its place.
variable_ptr_t variable_of_type(const variable_ptr_t& loaded, variable_type_t type, const variable_ptr_t& fallback,
                                const std::string& block_name);
