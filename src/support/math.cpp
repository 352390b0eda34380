#include "support/math.h"

#include <cmath>
#include <limits>
#include <stdexcept>

float4x4 make_mat4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                   float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33) {
  float4x4 r;
  float values[16] = {m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33};
  for (int i = 0; i < 16; ++i) r.data()[i] = values[i];
  return r;
}

float4x4 mat4_identity() { return make_mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1); }

float3 vec3_sub(const float3& a, const float3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float3 vec3_add(const float3& a, const float3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
float3 vec3_scale(float s, const float3& v) { return {s * v.x, s * v.y, s * v.z}; }
float vec3_dot(const float3& a, const float3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float3 vec3_cross(const float3& a, const float3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float vec3_length(const float3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

float3 vec3_normalize(const float3& v) {
  float length = vec3_length(v);
  if (!(length > 1e-7f)) return {0, 0, 0};
  return {v.x / length, v.y / length, v.z / length};
}

float4x4 mat4_multiply(const float4x4& a, const float4x4& b) {
  float4x4 r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[row][k] * b.m[k][col];
      r.m[row][col] = sum;
    }
  return r;
}

float4x4 mat4_transpose(const float4x4& m) {
  float4x4 r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) r.m[row][col] = m.m[col][row];
  return r;
}

float4x4 mat4_inverse(const float4x4& m, float4* determinant) {
  const float* a = m.data();
  float a00 = a[0], a01 = a[1], a02 = a[2], a03 = a[3];
  float a10 = a[4], a11 = a[5], a12 = a[6], a13 = a[7];
  float a20 = a[8], a21 = a[9], a22 = a[10], a23 = a[11];
  float a30 = a[12], a31 = a[13], a32 = a[14], a33 = a[15];

  // 2x2 sub-determinants of the upper and lower row pairs.
  float b00 = a00 * a11 - a01 * a10, b01 = a00 * a12 - a02 * a10, b02 = a00 * a13 - a03 * a10;
  float b03 = a01 * a12 - a02 * a11, b04 = a01 * a13 - a03 * a11, b05 = a02 * a13 - a03 * a12;
  float b06 = a20 * a31 - a21 * a30, b07 = a20 * a32 - a22 * a30, b08 = a20 * a33 - a23 * a30;
  float b09 = a21 * a32 - a22 * a31, b10 = a21 * a33 - a23 * a31, b11 = a22 * a33 - a23 * a32;

  float c[16] = {
      a11 * b11 - a12 * b10 + a13 * b09, a02 * b10 - a01 * b11 - a03 * b09, a31 * b05 - a32 * b04 + a33 * b03,
      a22 * b04 - a21 * b05 - a23 * b03, a12 * b08 - a10 * b11 - a13 * b07, a00 * b11 - a02 * b08 + a03 * b07,
      a32 * b02 - a30 * b05 - a33 * b01, a20 * b05 - a22 * b02 + a23 * b01, a10 * b10 - a11 * b08 + a13 * b06,
      a01 * b08 - a00 * b10 - a03 * b06, a30 * b04 - a31 * b02 + a33 * b00, a21 * b02 - a20 * b04 - a23 * b00,
      a11 * b07 - a10 * b09 - a12 * b06, a00 * b09 - a01 * b07 + a02 * b06, a31 * b01 - a30 * b03 - a32 * b00,
      a20 * b03 - a21 * b01 + a22 * b00,
  };
  // The first row against its cofactors (the first column of the adjugate).
  float det = a00 * c[0] + a01 * c[4] + a02 * c[8] + a03 * c[12];
  if (determinant) *determinant = {det, det, det, det};
  // Singular input is not detected: the result is then not finite.
  float inv = 1.0f / det;
  float4x4 r;
  for (int i = 0; i < 16; ++i) r.data()[i] = c[i] * inv;
  return r;
}

float4x4 look_at_lh(const float3& eye, const float3& target, const float3& up) {
  float3 z = vec3_normalize(vec3_sub(target, eye));
  float3 y = vec3_sub(up, vec3_scale(vec3_dot(z, up), z));
  if (vec3_length(y) < 1e-6f) {
    y = vec3_sub(float3{0, 1, 0}, vec3_scale(z.y, z));
    if (vec3_length(y) < 1e-6f) y = vec3_sub(float3{0, 0, 1}, vec3_scale(z.z, z));
  }
  y = vec3_normalize(y);
  float3 x = vec3_cross(y, z);
  return make_mat4(x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -vec3_dot(x, eye), -vec3_dot(y, eye),
                   -vec3_dot(z, eye), 1);
}

float4x4 perspective_fov_lh(float fovy, float aspect, float near_z, float far_z) {
  float e = 1.0f / std::tan(fovy * 0.5f);
  float range = far_z / (far_z - near_z);
  // Not -near_z * range: that rounds differently in the last bit for about one pair in five.
  float depth = -near_z * far_z / (far_z - near_z);
  return make_mat4(e / aspect, 0, 0, 0, 0, e, 0, 0, 0, 0, range, 1, 0, 0, depth, 0);
}

void sphere_directions(int count, std::vector<float3>& out) {
  size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  out.resize(n);
  for (size_t j = 0; j < n; ++j) {
    // Base-2 radical inverse of j.
    float r = 0;
    float weight = 0.5f;
    for (size_t bits = j; bits; bits >>= 1, weight *= 0.5f)
      if (bits & 1) r += weight;
    float z = 2 * r - 1;
    float phi_turns = 2.0f * (static_cast<float>(j) + 0.5f) / static_cast<float>(n);
    float phi = static_cast<float>(phi_turns * 3.14159265358979323846);
    float s = std::sqrt(1 - z * z);
    out[j] = {std::cos(phi) * s, std::sin(phi) * s, z};
  }
}

std::vector<uint32_t> make_quad_indices(size_t quad_count) {
  // Every index must fit in 32 bits as well as the count in the vector.
  if (quad_count > std::numeric_limits<size_t>::max() / 6 || quad_count > (size_t{1} << 30))
    throw std::length_error("make_quad_indices: too many quads");
  std::vector<uint32_t> indices(quad_count * 6);
  for (size_t i = 0; i < quad_count; ++i) {
    uint32_t base = static_cast<uint32_t>(4 * i);
    uint32_t* out = &indices[6 * i];
    out[0] = base;
    out[1] = base + 1;
    out[2] = base + 3;
    out[3] = base + 3;
    out[4] = base + 1;
    out[5] = base + 2;
  }
  return indices;
}
