#include "blocks/camera_script.h"

#include <algorithm>
#include <cmath>

#include "variables/expression.h"

camera_script_t parse_camera_script(std::string_view text) {
  camera_script_t script;
  size_t position = 0;
  for (size_t i = 0; i < script.sources.size() && position < text.size(); ++i) {
    // A lone "\r" ends a line too, as scripts saved on old systems have it.
    const size_t end = std::min(text.find_first_of("\r\n", position), text.size());
    script.sources[i] = std::string(text.substr(position, end - position));
    position = end;
    if (position < text.size()) position += text.compare(position, 2, "\r\n") == 0 ? 2 : 1;
    script.expressions[i] = parser::parse_expression_string(script.sources[i]);
  }
  return script;
}

camera_pose_t evaluate_camera_script(const camera_script_t& script, const expression_context_t& context,
                                     const camera_pose_t& current) {
  camera_pose_t pose = current;
  float* components[9] = {&pose.position.x, &pose.position.y, &pose.position.z, &pose.target.x, &pose.target.y,
                          &pose.target.z,   &pose.up.x,       &pose.up.y,       &pose.up.z};
  // z, y, x within each vector, as the scripts were written against.
  for (int vector = 0; vector < 3; ++vector) {
    for (int axis = 2; axis >= 0; --axis) {
      const int i = vector * 3 + axis;
      if (!script.expressions[size_t(i)]) continue;
      const float value = script.expressions[size_t(i)]->evaluate(context);
      if (std::isfinite(value))
        *components[i] = value;
      else
        pose.non_finite_lines |= uint16_t(1u << i);
    }
  }
  return pose;
}
