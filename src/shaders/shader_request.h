#pragma once
// What a load asks of the shader manager: one stage of one entry point of one source file.

#include <cstdint>
#include <string>
#include <vector>

#include "support/paths.h"

// The same bits select stages in the graphics runtime's stage masks.
enum shader_stage_t : int32_t {
  SHADER_STAGE_VERTEX = 1,
  SHADER_STAGE_GEOMETRY = 2,
  SHADER_STAGE_PIXEL = 4,
  SHADER_STAGE_COMPUTE = 8,
};

struct shader_request_t {
  shader_request_t() = default;
  // The layout stays empty.
  shader_request_t(int32_t stage, const std::string& file_name, const std::string& entry_point, int32_t wait)
      : stage(stage), path(file_name), entry_point(entry_point), wait(wait) {}

  int32_t stage = 0;
  path_info_t path;
  std::string entry_point;
  // Vertex-format codes of a vertex shader's input layout; empty for every other stage.
  std::vector<uint32_t> vs_layout;
  // 1: the load returns only once the shader's compile task has finished.
  int32_t wait = 0;
};
