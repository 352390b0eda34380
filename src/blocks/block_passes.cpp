#include "blocks/block_passes.h"

#include "graphics/graphics_resources.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "support/log.h"
#include "support/systems.h"

bool find_named_passes(const std::vector<std::shared_ptr<render_pass_t>>& passes,
                       const std::vector<named_pass_t>& wanted, const char* missing_prefix) {
  for (const auto& [name, member] : wanted) *member = nullptr;
  for (const auto& [name, member] : wanted) {
    *member = find_render_pass(passes, name);
    if (*member) continue;
    if (missing_prefix) LOG_WRN("%s%s", missing_prefix, name);
    return false;
  }
  return true;
}

std::shared_ptr<render_target_t> make_level_target(int width, int height) {
  return S(resources)->create_render_target(RT_SIZE_EXPLICIT, width, height, DXGI_FORMAT_R16G16B16A16_FLOAT,
                                            RT_TEMPORARY | RT_SRV);
}

variable_ptr_t variable_of_type(const variable_ptr_t& loaded, variable_type_t type, const variable_ptr_t& fallback,
                                const std::string& block_name) {
  if (loaded && loaded->type == type && value_matches_type(loaded->value.value, type)) return loaded;
  const std::string name = fallback ? fallback->name : std::string("?");
  LOG_WRN("%s: \"%s\" is not a %s variable, using its default", block_name.c_str(), name.c_str(),
          variable_type_name(type));
  return fallback;
}
