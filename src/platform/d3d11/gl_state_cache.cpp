#include "platform/d3d11/gl_state_cache.h"

namespace {
constexpr GLuint unknown_name = ~0u;
constexpr GLenum known_caps[] = {GL_CULL_FACE,
                                 GL_DEPTH_TEST,
                                 GL_STENCIL_TEST,
                                 GL_SCISSOR_TEST,
                                 GL_DEPTH_CLAMP,
                                 GL_POLYGON_OFFSET_FILL,
                                 GL_SAMPLE_ALPHA_TO_COVERAGE,
                                 GL_POLYGON_OFFSET_LINE};
}  // namespace

void gl_state_cache_t::reset() {
  caps_.fill(-1);
  for (auto& b : blend_) b = blend_t{};
  blend_color_ = {-1, -1, -1, -1};
  depth_mask_ = -1;
  depth_func_ = 0;
  stencil_[0] = stencil_[1] = stencil_face_t{};
  stencil_mask_known_ = false;
  cull_face_ = front_face_ = polygon_mode_ = 0;
  offset_known_ = false;
  for (auto& v : viewport_) v = {-1, -1, -1, -1};
  for (auto& d : depth_range_) d = {-1, -1};
  for (auto& s : scissor_) s = {-1, -1, -1, -1};
  pipeline_known_ = false;
  stage_known_ = {false, false};
  vao_known_ = false;
  for (auto& v : vertex_) v = vertex_binding_t{unknown_name, 0, 0};
  element_known_ = false;
  draw_framebuffer_known_ = false;
  textures_.fill(unknown_name);
  samplers_.fill(unknown_name);
  for (auto& r : uniforms_) r = range_t{unknown_name, 0, 0};
  for (auto& r : storage_) r = range_t{unknown_name, 0, 0};
  for (auto& i : images_) i = image_t{unknown_name};
  indirect_known_ = false;
}

int gl_state_cache_t::cap_index(GLenum cap) {
  for (int i = 0; i < 8; ++i)
    if (known_caps[i] == cap) return i;
  return -1;
}

void gl_state_cache_t::enable(GLenum cap, bool on) {
  const int index = cap_index(cap);
  if (index >= 0 && caps_[index] == int(on)) return;
  if (index >= 0) caps_[index] = on;
  if (on)
    glEnable(cap);
  else
    glDisable(cap);
}

void gl_state_cache_t::enable_blend(int target, bool on) {
  if (blend_[target].enabled == int(on)) return;
  blend_[target].enabled = on;
  if (on)
    glEnablei(GL_BLEND, target);
  else
    glDisablei(GL_BLEND, target);
}

void gl_state_cache_t::blend_func(int target, GLenum src, GLenum dst, GLenum src_alpha, GLenum dst_alpha) {
  blend_t& b = blend_[target];
  if (b.src == src && b.dst == dst && b.src_alpha == src_alpha && b.dst_alpha == dst_alpha) return;
  b.src = src, b.dst = dst, b.src_alpha = src_alpha, b.dst_alpha = dst_alpha;
  glBlendFuncSeparatei(target, src, dst, src_alpha, dst_alpha);
}

void gl_state_cache_t::blend_equation(int target, GLenum rgb, GLenum alpha) {
  blend_t& b = blend_[target];
  if (b.op == rgb && b.op_alpha == alpha) return;
  b.op = rgb, b.op_alpha = alpha;
  glBlendEquationSeparatei(target, rgb, alpha);
}

void gl_state_cache_t::color_mask(int target, uint8_t mask) {
  if (blend_[target].mask == mask) return;
  blend_[target].mask = mask;
  glColorMaski(target, mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}

void gl_state_cache_t::blend_color(const float color[4]) {
  if (blend_color_[0] == color[0] && blend_color_[1] == color[1] && blend_color_[2] == color[2] &&
      blend_color_[3] == color[3])
    return;
  blend_color_ = {color[0], color[1], color[2], color[3]};
  glBlendColor(color[0], color[1], color[2], color[3]);
}

void gl_state_cache_t::depth_mask(bool on) {
  if (depth_mask_ == int(on)) return;
  depth_mask_ = on;
  glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void gl_state_cache_t::depth_func(GLenum func) {
  if (depth_func_ == func) return;
  depth_func_ = func;
  glDepthFunc(func);
}

void gl_state_cache_t::stencil_func(GLenum face, GLenum func, GLint ref, GLuint mask) {
  stencil_face_t& s = stencil_[face == GL_BACK ? 1 : 0];
  if (s.func == func && s.ref == ref && s.mask == mask) return;
  s.func = func, s.ref = ref, s.mask = mask;
  glStencilFuncSeparate(face, func, ref, mask);
}

void gl_state_cache_t::stencil_op(GLenum face, GLenum fail, GLenum depth_fail, GLenum pass) {
  stencil_face_t& s = stencil_[face == GL_BACK ? 1 : 0];
  if (s.fail == fail && s.depth_fail == depth_fail && s.pass == pass) return;
  s.fail = fail, s.depth_fail = depth_fail, s.pass = pass;
  glStencilOpSeparate(face, fail, depth_fail, pass);
}

void gl_state_cache_t::stencil_mask(GLuint mask) {
  if (stencil_mask_known_ && stencil_mask_ == mask) return;
  stencil_mask_known_ = true;
  stencil_mask_ = mask;
  glStencilMask(mask);
}

void gl_state_cache_t::cull_face(GLenum face) {
  if (cull_face_ == face) return;
  cull_face_ = face;
  glCullFace(face);
}

void gl_state_cache_t::front_face(GLenum mode) {
  if (front_face_ == mode) return;
  front_face_ = mode;
  glFrontFace(mode);
}

void gl_state_cache_t::polygon_mode(GLenum mode) {
  if (polygon_mode_ == mode) return;
  polygon_mode_ = mode;
  glPolygonMode(GL_FRONT_AND_BACK, mode);
}

void gl_state_cache_t::polygon_offset(float factor, float units) {
  if (offset_known_ && offset_factor_ == factor && offset_units_ == units) return;
  offset_known_ = true;
  offset_factor_ = factor, offset_units_ = units;
  glPolygonOffset(factor, units);
}

void gl_state_cache_t::viewport(int index, float x, float y, float w, float h) {
  auto& v = viewport_[index];
  if (v[0] == x && v[1] == y && v[2] == w && v[3] == h) return;
  v = {x, y, w, h};
  glViewportIndexedf(index, x, y, w, h);
}

void gl_state_cache_t::depth_range(int index, double near_value, double far_value) {
  auto& d = depth_range_[index];
  if (d[0] == near_value && d[1] == far_value) return;
  d = {near_value, far_value};
  glDepthRangeIndexed(index, near_value, far_value);
}

void gl_state_cache_t::scissor(int index, GLint x, GLint y, GLsizei w, GLsizei h) {
  auto& s = scissor_[index];
  if (s[0] == x && s[1] == y && s[2] == w && s[3] == h) return;
  s = {x, y, w, h};
  glScissorIndexed(index, x, y, w, h);
}

void gl_state_cache_t::bind_program_pipeline(GLuint pipeline) {
  if (pipeline_known_ && pipeline_ == pipeline) return;
  pipeline_known_ = true;
  pipeline_ = pipeline;
  glBindProgramPipeline(pipeline);
}

void gl_state_cache_t::use_program_stage(int slot, GLuint pipeline, int stage, GLbitfield bit,
                                         GLuint program) {
  if (!stage_known_[slot]) {
    stage_program_[slot].fill(unknown_name);
    stage_known_[slot] = true;
  }
  if (stage_program_[slot][stage] == program) return;
  stage_program_[slot][stage] = program;
  glUseProgramStages(pipeline, bit, program);
}

void gl_state_cache_t::bind_vertex_array(GLuint vao) {
  if (vao_known_ && vao_ == vao) return;
  vao_known_ = true;
  vao_ = vao;
  glBindVertexArray(vao);
}

void gl_state_cache_t::vertex_buffer(GLuint vao, int binding, GLuint buffer, GLintptr offset,
                                     GLsizei stride) {
  auto& v = vertex_[binding];
  if (v.buffer == buffer && v.offset == offset && v.stride == stride) return;
  v = {buffer, offset, stride};
  glVertexArrayVertexBuffer(vao, binding, buffer, offset, stride);
}

void gl_state_cache_t::element_buffer(GLuint vao, GLuint buffer) {
  if (element_known_ && element_ == buffer) return;
  element_known_ = true;
  element_ = buffer;
  glVertexArrayElementBuffer(vao, buffer);
}

void gl_state_cache_t::bind_draw_framebuffer(GLuint framebuffer) {
  if (draw_framebuffer_known_ && draw_framebuffer_ == framebuffer) return;
  draw_framebuffer_known_ = true;
  draw_framebuffer_ = framebuffer;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
}

void gl_state_cache_t::bind_texture_unit(int unit, GLuint texture) {
  if (textures_[unit] == texture) return;
  textures_[unit] = texture;
  glBindTextureUnit(unit, texture);
}

void gl_state_cache_t::bind_sampler(int unit, GLuint sampler) {
  if (samplers_[unit] == sampler) return;
  samplers_[unit] = sampler;
  glBindSampler(unit, sampler);
}

void gl_state_cache_t::bind_uniform_buffer(int index, GLuint buffer, GLintptr offset, GLsizeiptr size) {
  auto& r = uniforms_[index];
  if (r.buffer == buffer && r.offset == offset && r.size == size) return;
  r = {buffer, offset, size};
  glBindBufferRange(GL_UNIFORM_BUFFER, index, buffer, offset, size);
}

void gl_state_cache_t::bind_storage_buffer(int index, GLuint buffer, GLintptr offset, GLsizeiptr size) {
  auto& r = storage_[index];
  if (r.buffer == buffer && r.offset == offset && r.size == size) return;
  r = {buffer, offset, size};
  glBindBufferRange(GL_SHADER_STORAGE_BUFFER, index, buffer, offset, size);
}

void gl_state_cache_t::bind_image(int unit, GLuint texture, GLint level, bool layered, GLint layer,
                                  GLenum format) {
  auto& i = images_[unit];
  if (i.texture == texture && i.level == level && i.layered == layered && i.layer == layer &&
      i.format == format)
    return;
  i = {texture, level, layered, layer, format};
  glBindImageTexture(unit, texture, level, layered ? GL_TRUE : GL_FALSE, layer, GL_READ_WRITE,
                     format ? format : GL_R32UI);
}

void gl_state_cache_t::bind_indirect_buffer(GLuint buffer) {
  if (indirect_known_ && indirect_ == buffer) return;
  indirect_known_ = true;
  indirect_ = buffer;
  glBindBuffer(GL_DRAW_INDIRECT_BUFFER, buffer);
}

void gl_state_cache_t::forget_texture(GLuint name) {
  for (auto& t : textures_)
    if (t == name) t = unknown_name;
  for (auto& i : images_)
    if (i.texture == name) i.texture = unknown_name;
}

void gl_state_cache_t::forget_buffer(GLuint name) {
  for (auto& r : uniforms_)
    if (r.buffer == name) r.buffer = unknown_name;
  for (auto& r : storage_)
    if (r.buffer == name) r.buffer = unknown_name;
  for (auto& v : vertex_)
    if (v.buffer == name) v.buffer = unknown_name;
  if (element_ == name) element_known_ = false;
  if (indirect_ == name) indirect_known_ = false;
}

void gl_state_cache_t::forget_sampler(GLuint name) {
  for (auto& s : samplers_)
    if (s == name) s = unknown_name;
}

void gl_state_cache_t::forget_program(GLuint name) {
  for (auto& slot : stage_program_)
    for (auto& p : slot)
      if (p == name) p = unknown_name;
}

void gl_state_cache_t::forget_framebuffer(GLuint name) {
  if (draw_framebuffer_ == name) draw_framebuffer_known_ = false;
}
