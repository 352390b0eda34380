#pragma once
// Reads GL_VENDOR and GL_RENDERER once per process from a throw-away headless EGL context, made
// on a thread of its own so that no context current on the caller's thread is disturbed.

#include <string>

struct gl_renderer_strings_t {
  std::string vendor;
  std::string renderer;
  bool found = false;  // false when no GL context could be made
};

const gl_renderer_strings_t& probe_gl_renderer();
