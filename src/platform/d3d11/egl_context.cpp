#include "platform/d3d11/egl_context.h"

#include <epoxy/egl.h>

#include <cassert>
#include <mutex>

#include <fmt/printf.h>

namespace {

// One display for the process: terminating it would end every context made on it.
EGLDisplay surfaceless_display(std::string& error) {
  static std::once_flag once;
  static EGLDisplay display = EGL_NO_DISPLAY;
  static std::string init_error;
  std::call_once(once, [] {
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!extensions || !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
      init_error = "EGL_MESA_platform_surfaceless is not available";
      return;
    }
    EGLDisplay candidate =
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (candidate == EGL_NO_DISPLAY || !eglInitialize(candidate, &major, &minor)) {
      init_error = fmt::sprintf("eglInitialize failed: 0x%x", eglGetError());
      return;
    }
    display = candidate;
  });
  error = init_error;
  return display;
}

class egl_context_t final : public gl_context_t {
 public:
  egl_context_t(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
  ~egl_context_t() override {
    release_current();
    eglDestroyContext(display_, context_);
  }
  bool make_current() override {
    if (current_here()) {
      assert(eglGetCurrentContext() == context_ && "the GL context was changed outside the layer");
      return true;
    }
    if (eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) != EGL_TRUE) return false;
    note_current_here();
    return true;
  }
  void release_current() override {
    if (eglGetCurrentContext() == context_) {
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      forget_current_here();
    }
  }
  const char* description() const override { return "EGL surfaceless"; }

 private:
  EGLDisplay display_;
  EGLContext context_;
};

}  // namespace

tl::expected<std::unique_ptr<gl_context_t>, std::string> create_headless_gl_context() {
  std::string error;
  EGLDisplay display = surfaceless_display(error);
  if (display == EGL_NO_DISPLAY) return tl::unexpected(error);
  if (!eglBindAPI(EGL_OPENGL_API)) return tl::unexpected(std::string("eglBindAPI(EGL_OPENGL_API) failed"));

  EGLConfig config = nullptr;
  const EGLint config_attribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLint config_count = 0;
  const bool no_config = epoxy_has_egl_extension(display, "EGL_KHR_no_config_context");
  if (!no_config &&
      (!eglChooseConfig(display, config_attribs, &config, 1, &config_count) || config_count < 1))
    return tl::unexpected(std::string("no EGL config for desktop GL"));

  const EGLint context_attribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                    4,
                                    EGL_CONTEXT_MINOR_VERSION,
                                    5,
                                    EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
#ifndef NDEBUG
                                    EGL_CONTEXT_OPENGL_DEBUG,
                                    EGL_TRUE,
#endif
                                    EGL_NONE};
  EGLContext context =
      eglCreateContext(display, no_config ? EGL_NO_CONFIG_KHR : config, EGL_NO_CONTEXT, context_attribs);
  if (context == EGL_NO_CONTEXT)
    return tl::unexpected(
        fmt::sprintf("no GL 4.5 core context: eglCreateContext failed with 0x%x", eglGetError()));
  auto result = std::make_unique<egl_context_t>(display, context);
  if (!result->make_current()) return tl::unexpected(std::string("eglMakeCurrent failed"));
  return result;
}
