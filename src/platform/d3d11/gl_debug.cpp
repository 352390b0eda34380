#include "platform/d3d11/gl_debug.h"

#include <epoxy/gl.h>

#include "platform/win32/debugger.h"

#ifndef NDEBUG
namespace {

void GLAPIENTRY on_gl_message(GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                              const void*) {
  if (type == GL_DEBUG_TYPE_ERROR)
    PLATFORM_LOG_ERR("GL error: %s", message);
  else if (severity == GL_DEBUG_SEVERITY_HIGH)
    PLATFORM_LOG_WRN("GL: %s", message);
}

}  // namespace

void gl_check_errors(const char* where) {
  for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
    PLATFORM_LOG_ERR("GL error 0x%x in %s", error, where);
}

void gl_install_debug_callback() {
  if (!epoxy_has_gl_extension("GL_KHR_debug") && epoxy_gl_version() < 43) return;
  glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
  glDebugMessageCallback(on_gl_message, nullptr);
}
#else
void gl_install_debug_callback() {}
#endif
