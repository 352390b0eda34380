#pragma once
// The graphics resources: buffers, render targets, state presets and the temporary-target
// pool. Reached as S(resources).

#include <string>

#include <tl/expected.hpp>

class graphics_resources_t {
 public:
  // Empties the state lists and the temporary pool.
  virtual void release_all() = 0;
  // Ages the temporary pool; once per frame before any rendering.
  virtual void begin_frame() = 0;

 protected:
  ~graphics_resources_t() = default;
};

// Stand-in until render targets exist: counts frames only.
tl::expected<graphics_resources_t*, std::string> create_graphics_resources();
