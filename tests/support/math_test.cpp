#include "support/math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace {

void expect_mat_near(const float4x4& actual, const float4x4& expected, float tolerance = 1e-5f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << "[" << r << "][" << c << "]";
}

void expect_vec_near(const float3& actual, const float3& expected, float tolerance = 1e-5f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

float3 transform_point(const float3& p, const float4x4& m) {
  float v[4] = {p.x, p.y, p.z, 1};
  float out[4] = {};
  for (int c = 0; c < 4; ++c)
    for (int k = 0; k < 4; ++k) out[c] += v[k] * m.m[k][c];
  return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

TEST(MathTest, NormalizeTinyVectorsToZero) {
  struct case_t {
    float3 in;
    float3 out;
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{1e-8f, 0, 0}, {0, 0, 0}},
      {{0, 3, 4}, {0, 0.6f, 0.8f}},
  };
  for (const case_t& c : cases) expect_vec_near(vec3_normalize(c.in), c.out);
}

TEST(MathTest, MultiplyAppliesLeftFirst) {
  float4x4 scale = make_mat4(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
  float4x4 move = make_mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1);
  expect_vec_near(transform_point({1, 1, 1}, mat4_multiply(scale, move)), {12, 22, 32});
  expect_vec_near(transform_point({1, 1, 1}, mat4_multiply(move, scale)), {22, 42, 62});
}

TEST(MathTest, InverseOfAGeneralMatrix) {
  float4x4 m = make_mat4(2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 4, 0, 5, -2, 7, 1);
  float4 det;
  float4x4 inverse = mat4_inverse(m, &det);
  // det of the upper 3x3: 2*(12-0) - 0 + 1*(1-0) = 25.
  EXPECT_FLOAT_EQ(det.x, 25);
  EXPECT_FLOAT_EQ(det.w, 25);
  expect_mat_near(mat4_multiply(m, inverse), mat4_identity());
  expect_mat_near(mat4_multiply(inverse, m), mat4_identity());
}

TEST(MathTest, TransposeSwapsRowsAndColumns) {
  float4x4 m = make_mat4(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  float4x4 t = mat4_transpose(m);
  EXPECT_EQ(t.m[0][3], 12);
  EXPECT_EQ(t.m[3][0], 3);
  EXPECT_EQ(t.m[2][1], 6);
}

TEST(MathTest, InverseOfSingularMatrixIsNotFinite) {
  float4x4 m = make_mat4(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
  float4x4 inverse = mat4_inverse(m);
  bool any_non_finite = false;
  for (int i = 0; i < 16; ++i) any_non_finite |= !std::isfinite(inverse.data()[i]);
  EXPECT_TRUE(any_non_finite);
}

TEST(MathTest, LookAtAlongZIsIdentityRotation) {
  float4x4 view = look_at_lh({0, 0, -5}, {0, 0, 0}, {0, 1, 0});
  expect_mat_near(view, make_mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1));
}

TEST(MathTest, LookAtWithUpParallelToViewFallsBack) {
  // Looking along x with up along x: the up axis comes from (0, 1, 0).
  float4x4 view = look_at_lh({0, 0, 0}, {3, 0, 0}, {1, 0, 0});
  expect_vec_near({view.m[0][1], view.m[1][1], view.m[2][1]}, {0, 1, 0});
  expect_vec_near({view.m[0][2], view.m[1][2], view.m[2][2]}, {1, 0, 0});
  // Looking along y with up along y: the up axis comes from (0, 0, 1).
  view = look_at_lh({0, 0, 0}, {0, 2, 0}, {0, 1, 0});
  expect_vec_near({view.m[0][1], view.m[1][1], view.m[2][1]}, {0, 0, 1});
  expect_vec_near({view.m[0][2], view.m[1][2], view.m[2][2]}, {0, 1, 0});
  // Left-handed: x = y cross z, so looking up with z as up, right is -x.
  expect_vec_near({view.m[0][0], view.m[1][0], view.m[2][0]}, {-1, 0, 0});
}

TEST(MathTest, LookAtMapsTargetOntoPositiveZ) {
  float3 eye{1, 2, 3}, target{4, -2, 3};
  float4x4 view = look_at_lh(eye, target, {0, 1, 0});
  expect_vec_near(transform_point(target, view), {0, 0, 5});
  expect_vec_near(transform_point(eye, view), {0, 0, 0});
}

TEST(MathTest, PerspectiveFovLh) {
  float4x4 p = perspective_fov_lh(3.14159265f / 2, 1, 1, 2);
  expect_mat_near(p, make_mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 1, 0, 0, -2, 0));
  // Near and far planes map to depth 0 and 1.
  expect_vec_near(transform_point({0, 0, 1}, p), {0, 0, 0});
  expect_vec_near(transform_point({0, 0, 2}, p), {0, 0, 1});
}

// The depth row is −near · far / (far − near) evaluated in that order, to the last bit: a product
// of near and the far ratio rounds differently for about one pair in five.
TEST(MathTest, PerspectiveDepthRowIsExact) {
  const float nears[] = {0.01f, 0.05f, 0.1f, 0.15f, 0.2f, 0.25f, 0.3f, 0.5f, 0.7f, 0.9f, 1.0f, 3.0f, 10.0f};
  const float fars[] = {2.0f, 7.0f, 100.0f, 333.0f, 500.0f, 1000.0f, 1234.5f, 4000.0f, 5000.0f};
  int pairs = 0;
  for (float near_z : nears) {
    for (float far_z : fars) {
      if (far_z <= near_z) continue;
      const float4x4 p = perspective_fov_lh(1.0f, 1.5f, near_z, far_z);
      const float range = far_z / (far_z - near_z);
      const float depth = -near_z * far_z / (far_z - near_z);
      EXPECT_EQ(std::bit_cast<uint32_t>(p.m[2][2]), std::bit_cast<uint32_t>(range)) << near_z << " " << far_z;
      EXPECT_EQ(std::bit_cast<uint32_t>(p.m[3][2]), std::bit_cast<uint32_t>(depth)) << near_z << " " << far_z;
      ++pairs;
    }
  }
  EXPECT_GT(pairs, 100);
}

// The aspect divides only the x scale: a point on the frustum's right edge lands on x = 1 and one
// on its top edge on y = 1, whatever the aspect.
TEST(MathTest, PerspectiveFovLhWithAnAspect) {
  const float half_pi = 3.14159265f / 2;
  struct case_t {
    float aspect, near_z, far_z;
    float x_scale, depth_scale, depth_offset;  // rows 0, 2 and 3 as derived by hand
  } cases[] = {
      {2.0f, 1, 2, 0.5f, 2.0f, -2.0f},
      {0.5f, 1, 2, 2.0f, 2.0f, -2.0f},
      {4.0f, 1, 3, 0.25f, 1.5f, -1.5f},
      {16.0f / 9.0f, 2, 4, 0.5625f, 2.0f, -4.0f},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.aspect);
    const float4x4 p = perspective_fov_lh(half_pi, c.aspect, c.near_z, c.far_z);
    expect_mat_near(p, make_mat4(c.x_scale, 0, 0, 0, 0, 1, 0, 0, 0, 0, c.depth_scale, 1, 0, 0, c.depth_offset, 0));
    // With a 90 degree field of view the right edge at depth z lies at x = z * aspect.
    const float z = (c.near_z + c.far_z) / 2;
    EXPECT_NEAR(transform_point({z * c.aspect, 0, z}, p).x, 1.0f, 1e-5f);
    EXPECT_NEAR(transform_point({0, z, z}, p).y, 1.0f, 1e-5f);
    expect_vec_near(transform_point({0, 0, c.far_z}, p), {0, 0, 1});
  }
  // A field of view of 60 degrees: e = 1 / tan(30 degrees) = sqrt(3).
  const float4x4 p = perspective_fov_lh(3.14159265f / 3, 1.5f, 1, 2);
  EXPECT_NEAR(p.m[1][1], 1.7320508f, 1e-5f);
  EXPECT_NEAR(p.m[0][0], 1.7320508f / 1.5f, 1e-5f);
}

TEST(MathTest, SphereDirections) {
  std::vector<float3> dirs;
  sphere_directions(1, dirs);
  ASSERT_EQ(dirs.size(), 1u);
  expect_vec_near(dirs[0], {0, 0, -1});
  sphere_directions(2, dirs);
  ASSERT_EQ(dirs.size(), 2u);
  expect_vec_near(dirs[0], {0, 0, -1});
  expect_vec_near(dirs[1], {0, -1, 0});
  sphere_directions(1000, dirs);
  float3 sum{};
  for (const float3& d : dirs) {
    EXPECT_NEAR(vec3_length(d), 1.0f, 1e-5f);
    sum = vec3_add(sum, d);
  }
  // Evenly spread: the mean direction is close to zero.
  EXPECT_LT(vec3_length(sum) / 1000, 0.01f);
}

TEST(MathTest, QuadIndices) {
  EXPECT_EQ(make_quad_indices(2), (std::vector<uint32_t>{0, 1, 3, 3, 1, 2, 4, 5, 7, 7, 5, 6}));
  EXPECT_TRUE(make_quad_indices(0).empty());
  EXPECT_THROW(make_quad_indices(SIZE_MAX / 4), std::length_error);
}

}  // namespace
