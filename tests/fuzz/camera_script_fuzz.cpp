// Camera scripts of any bytes: read and evaluated at a few times without touching a missing line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "blocks/camera_script.h"
#include "variables/expression_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (register_lsystem_math_functions(), true);
  (void)registered;
  const camera_script_t script = parse_camera_script(std::string_view(reinterpret_cast<const char*>(data), size));
  expression_context_t& context = lsystem_expression_context();
  for (float t : {0.0f, 1.5f, -3.0f}) {
    context.set_variable("t", t);
    (void)evaluate_camera_script(script, context, {});
  }
  return 0;
}
