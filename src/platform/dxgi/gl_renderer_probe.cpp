#include "platform/dxgi/gl_renderer_probe.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <mutex>
#include <thread>

#include "platform/win32/debugger.h"

namespace {

gl_renderer_strings_t query_on_this_thread() {
  gl_renderer_strings_t result;
  if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) return result;
  EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) return result;
  // The display is shared with every other EGL user in the process, so it is never terminated.
  if (!eglBindAPI(EGL_OPENGL_API)) return result;
  const EGLint attributes[] = {EGL_NONE};
  EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) return result;
  if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    const auto* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    result.vendor = vendor ? vendor : "";
    result.renderer = renderer ? renderer : "";
    result.found = vendor || renderer;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }
  eglDestroyContext(display, context);
  eglReleaseThread();
  return result;
}

}  // namespace

const gl_renderer_strings_t& probe_gl_renderer() {
  static gl_renderer_strings_t strings;
  static std::once_flag once;
  std::call_once(once, [] {
    std::thread probe([] { strings = query_on_this_thread(); });
    probe.join();
    if (strings.found)
      PLATFORM_LOG_DBG("GL renderer: %s (%s)", strings.renderer.c_str(), strings.vendor.c_str());
    else
      PLATFORM_LOG_WRN("No GL renderer found for the adapter list");
  });
  return strings;
}
