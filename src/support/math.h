#pragma once
// Vector and 4x4 matrix helpers. Matrices are sixteen floats stored row by row and used with row
// vectors (v * M, translation in the fourth row); a * b applies a first, then b. View and
// projection are left-handed with depth 0..1.

#include <cstddef>
#include <cstdint>
#include <vector>

struct float2 {
  float x = 0, y = 0;
};
struct float3 {
  float x = 0, y = 0, z = 0;
};
struct float4 {
  float x = 0, y = 0, z = 0, w = 0;
};
struct int2 {
  int32_t x = 0, y = 0;
};
struct int3 {
  int32_t x = 0, y = 0, z = 0;
};
struct int4 {
  int32_t x = 0, y = 0, z = 0, w = 0;
};
// m[row][column]; the sixteen floats are contiguous.
struct float4x4 {
  float m[4][4] = {};
  float* data() { return &m[0][0]; }
  const float* data() const { return &m[0][0]; }
};

inline float2 make_float2(float x, float y) { return {x, y}; }
inline float3 make_float3(float x, float y, float z) { return {x, y, z}; }
inline float4 make_float4(float x, float y, float z, float w) { return {x, y, z, w}; }
float4x4 make_mat4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                   float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);
float4x4 mat4_identity();

float3 vec3_sub(const float3& a, const float3& b);
float3 vec3_add(const float3& a, const float3& b);
float3 vec3_scale(float s, const float3& v);
float vec3_dot(const float3& a, const float3& b);
float3 vec3_cross(const float3& a, const float3& b);
float vec3_length(const float3& v);
// v / length, or (0, 0, 0) when the length is not above 1e-7.
float3 vec3_normalize(const float3& v);

float4x4 mat4_multiply(const float4x4& a, const float4x4& b);
// Shader constants take matrices in column order.
float4x4 mat4_transpose(const float4x4& m);
// Adjugate over the determinant; a singular matrix gives non-finite values. `determinant`, when
// given, receives the determinant in all four lanes.
float4x4 mat4_inverse(const float4x4& m, float4* determinant = nullptr);
float4x4 look_at_lh(const float3& eye, const float3& target, const float3& up);
// fovy in radians, aspect = width / height.
float4x4 perspective_fov_lh(float fovy, float aspect, float near_z, float far_z);

// n unit directions spread evenly over the sphere (radical-inverse z, spiral in phi).
void sphere_directions(int count, std::vector<float3>& out);
// Six indices per quad: 4i, 4i+1, 4i+3, 4i+3, 4i+1, 4i+2. Throws std::length_error when too many.
std::vector<uint32_t> make_quad_indices(size_t quad_count);
