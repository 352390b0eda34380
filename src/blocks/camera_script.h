#pragma once
// The L-system's camera scripts: plain text files of nine lines, camera position x, y, z, look-at
// target x, y, z and up vector x, y, z, each an expression of the block's local time "t".

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/math.h"

namespace parser {
class expression_t;
}
struct expression_context_t;

struct camera_script_t {
  std::array<std::string, 9> sources;
  // Null where the line did not parse (or was missing).
  std::array<std::shared_ptr<parser::expression_t>, 9> expressions;
  // Bit i: line i + 1 has been reported for a value that is not a finite number.
  uint16_t reported_lines = 0;
};

// The first nine lines ("\r\n", "\r" or "\n" end a line); later lines are ignored.
camera_script_t parse_camera_script(std::string_view text);

struct camera_pose_t {
  float3 position;
  float3 target;
  float3 up;
  // Bit i: line i + 1 gave no finite number (a log of zero, a division by zero).
  uint16_t non_finite_lines = 0;
};

// Each component from its expression; a line without one, or whose value is not a finite number,
// keeps that component of `current`: one NaN would make the whole view matrix NaN.
camera_pose_t evaluate_camera_script(const camera_script_t& script, const expression_context_t& context,
                                     const camera_pose_t& current);
