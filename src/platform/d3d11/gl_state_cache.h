#pragma once
// The one place that changes cached GL state: every setter compares with the value last set and
// calls GL only on a difference. A deleted GL name leaves the cache (GL reuses names, and a stale
// entry would skip a bind the driver needs); reset() forgets everything after raw GL calls.

#include <epoxy/gl.h>

#include <array>
#include <cstdint>

class gl_state_cache_t {
 public:
  static constexpr int texture_units = 128;
  static constexpr int uniform_bindings = 64;
  static constexpr int storage_bindings = 80;
  static constexpr int image_units = 8;
  static constexpr int draw_buffers = 8;
  static constexpr int viewports = 16;
  static constexpr int vertex_bindings = 16;

  gl_state_cache_t() { reset(); }
  void reset();

  void enable(GLenum cap, bool on);
  void enable_blend(int target, bool on);
  void blend_func(int target, GLenum src, GLenum dst, GLenum src_alpha, GLenum dst_alpha);
  void blend_equation(int target, GLenum rgb, GLenum alpha);
  void color_mask(int target, uint8_t mask);
  void blend_color(const float color[4]);
  void depth_mask(bool on);
  void depth_func(GLenum func);
  void stencil_func(GLenum face, GLenum func, GLint ref, GLuint mask);
  void stencil_op(GLenum face, GLenum fail, GLenum depth_fail, GLenum pass);
  void stencil_mask(GLuint mask);
  void cull_face(GLenum face);
  void front_face(GLenum mode);
  void polygon_mode(GLenum mode);
  void polygon_offset(float factor, float units);
  void viewport(int index, float x, float y, float w, float h);
  void depth_range(int index, double near_value, double far_value);
  void scissor(int index, GLint x, GLint y, GLsizei w, GLsizei h);

  void bind_program_pipeline(GLuint pipeline);
  // `slot` tells the context's pipelines apart (0 graphics, 1 compute); `stage` 0 to 3.
  void use_program_stage(int slot, GLuint pipeline, int stage, GLbitfield bit, GLuint program);
  void bind_vertex_array(GLuint vao);
  void vertex_buffer(GLuint vao, int binding, GLuint buffer, GLintptr offset, GLsizei stride);
  void element_buffer(GLuint vao, GLuint buffer);
  void bind_draw_framebuffer(GLuint framebuffer);
  void bind_texture_unit(int unit, GLuint texture);
  void bind_sampler(int unit, GLuint sampler);
  void bind_uniform_buffer(int index, GLuint buffer, GLintptr offset, GLsizeiptr size);
  void bind_storage_buffer(int index, GLuint buffer, GLintptr offset, GLsizeiptr size);
  void bind_image(int unit, GLuint texture, GLint level, bool layered, GLint layer, GLenum format);
  void bind_indirect_buffer(GLuint buffer);

  void forget_texture(GLuint name);
  void forget_buffer(GLuint name);
  void forget_sampler(GLuint name);
  void forget_program(GLuint name);
  void forget_framebuffer(GLuint name);

 private:
  struct range_t {
    GLuint buffer = 0;
    GLintptr offset = 0;
    GLsizeiptr size = 0;
  };
  struct image_t {
    GLuint texture = 0;
    GLint level = 0;
    bool layered = false;
    GLint layer = 0;
    GLenum format = 0;
  };
  struct vertex_binding_t {
    GLuint buffer = 0;
    GLintptr offset = 0;
    GLsizei stride = 0;
  };
  struct blend_t {
    int enabled = -1;
    GLenum src = 0, dst = 0, src_alpha = 0, dst_alpha = 0;
    GLenum op = 0, op_alpha = 0;
    int mask = -1;
  };
  struct stencil_face_t {
    GLenum func = 0;
    GLint ref = -1;
    GLuint mask = 0;
    GLenum fail = 0, depth_fail = 0, pass = 0;
  };

  // Capabilities are few; index by a small table of the ones the layer uses.
  static int cap_index(GLenum cap);
  std::array<int, 8> caps_;  // -1 unknown, 0 off, 1 on

  std::array<blend_t, draw_buffers> blend_;
  std::array<float, 4> blend_color_;
  int depth_mask_ = -1;
  GLenum depth_func_ = 0;
  stencil_face_t stencil_[2];
  GLuint stencil_mask_ = 0;
  bool stencil_mask_known_ = false;
  GLenum cull_face_ = 0, front_face_ = 0, polygon_mode_ = 0;
  float offset_factor_ = 0, offset_units_ = 0;
  bool offset_known_ = false;
  std::array<std::array<float, 4>, viewports> viewport_;
  std::array<std::array<double, 2>, viewports> depth_range_;
  std::array<std::array<GLint, 4>, viewports> scissor_;

  GLuint pipeline_ = 0;
  bool pipeline_known_ = false;
  std::array<std::array<GLuint, 4>, 2> stage_program_;
  std::array<bool, 2> stage_known_;
  GLuint vao_ = 0;
  bool vao_known_ = false;
  std::array<vertex_binding_t, vertex_bindings> vertex_;
  GLuint element_ = 0;
  bool element_known_ = false;
  GLuint draw_framebuffer_ = 0;
  bool draw_framebuffer_known_ = false;
  std::array<GLuint, texture_units> textures_;
  std::array<GLuint, texture_units> samplers_;
  std::array<range_t, uniform_bindings> uniforms_;
  std::array<range_t, storage_bindings> storage_;
  std::array<image_t, image_units> images_;
  GLuint indirect_ = 0;
  bool indirect_known_ = false;
};
