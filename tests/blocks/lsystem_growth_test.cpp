// The L-system's growth: cube counts of its settings, where cubes and children sit, the cube
// mesh, and the settings that would never end or overflow the buffers.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "blocks/lsystem_growth.h"
#include "common/log_capture.h"

namespace {

struct grown_t {
  int cubes = 0;
  std::vector<lsystem_vertex_t> vertices;
};

grown_t grow(const lsystem_settings_t& settings, size_t cube_room = 4096) {
  grown_t g;
  g.vertices.resize(cube_room * cube_vertex_count);
  g.cubes = grow_lsystem(settings, cube_mesh(), g.vertices);
  return g;
}

TEST(LsystemGrowthTest, CubeCountsFollowDensityAndProcessedSegments) {
  struct case_t {
    const char* name;
    int initial_segments, max_segments, density, cubes;
  };
  const case_t cases[] = {
      {"defaults: only the first seed is processed", 13, 10, 5, 5},
      {"a seed, its straight child and its first hemisphere child", 1, 4, 3, 9},
      {"no seeds", 0, 10, 5, 0},
      {"max-segments minus seeds segments", 4, 10, 2, 12},
      {"negative max-segments ends after the first segment", 3, -7, 4, 4},
      {"negative seeds count as none", -3, 10, 5, 0},
      {"no cubes without density", 2, 12, 0, 0},
      {"one cube per segment", 1, 5, 1, 4},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    lsystem_settings_t settings;
    settings.initial_segments = c.initial_segments;
    settings.max_segments = c.max_segments;
    settings.density = c.density;
    EXPECT_EQ(grow(settings).cubes, c.cubes);
  }
}

TEST(LsystemGrowthTest, DefaultsGrowFiveFullSizeCubesAlongTheFirstSeed) {
  lsystem_settings_t settings;
  settings.segment_length_variance = 0.0f;
  const grown_t g = grow(settings);
  ASSERT_EQ(g.cubes, 5);
  std::vector<float3> seeds;
  sphere_directions(13, seeds);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const lsystem_vertex_t& first = g.vertices[size_t(i * cube_vertex_count)];
    EXPECT_NEAR(first.centre.x, seeds[0].x * 2.5f * float(i), 1e-4f);
    EXPECT_NEAR(first.centre.y, seeds[0].y * 2.5f * float(i), 1e-4f);
    EXPECT_NEAR(first.centre.z, seeds[0].z * 2.5f * float(i), 1e-4f);
    EXPECT_EQ(first.colour, float(i % 3));
    // Size 1 everywhere: each corner keeps its distance from the centre under the rotation.
    for (int j = 0; j < cube_vertex_count; ++j) {
      const lsystem_vertex_t& v = g.vertices[size_t(i * cube_vertex_count + j)];
      EXPECT_NEAR(v.distance, vec3_length(cube_mesh()[size_t(j)].position), 1e-4f);
      EXPECT_NEAR(vec3_length(v.direction), 1.0f, 1e-4f);
    }
  }
}

// Cubes of a seed of length 10 sit at 0, 2.5, 5, 7.5 and 10; its straight child starts at 12.5.
TEST(LsystemGrowthTest, ChildrenStartOneStepBeyondTheLastCube) {
  lsystem_settings_t settings;
  settings.segment_length_variance = 0.0f;
  settings.initial_segments = 1;
  settings.max_segments = 3;
  settings.length_decay = 1.0f;
  const grown_t g = grow(settings);
  ASSERT_EQ(g.cubes, 10);
  std::vector<float3> seeds;
  sphere_directions(1, seeds);
  const float3 child_start = g.vertices[size_t(5 * cube_vertex_count)].centre;
  EXPECT_NEAR(child_start.x, seeds[0].x * 12.5f, 1e-4f);
  EXPECT_NEAR(child_start.y, seeds[0].y * 12.5f, 1e-4f);
  EXPECT_NEAR(child_start.z, seeds[0].z * 12.5f, 1e-4f);
}

TEST(LsystemGrowthTest, GrowthStopsBeforeTheCubesWouldOverflowTheBuffer) {
  log_capture_t log;
  lsystem_settings_t settings;
  settings.initial_segments = 2;
  settings.max_segments = 1000;
  settings.density = 7;
  const grown_t g = grow(settings, 30);
  EXPECT_EQ(g.cubes, 28) << "four whole segments fit into room for 30 cubes";
  EXPECT_FALSE(log.lines.empty());
}

// Segments without cubes still spawn children; the count of processed segments bounds the queue.
TEST(LsystemGrowthTest, HugeSegmentLimitWithoutCubesEnds) {
  lsystem_settings_t settings;
  settings.initial_segments = 1;
  settings.max_segments = 2000000000;
  settings.density = 0;
  EXPECT_EQ(grow(settings, 1).cubes, 0);
}

bool warned(const log_capture_t& log, const std::string& text) {
  for (const auto& [level, line] : log.lines)
    if (level == LOG_LEVEL_WRN && line.find(text) != std::string::npos) return true;
  return false;
}

// Settings a user can type that made growth hang or take more memory than the machine has: it
// ends within the capacity, logs what it did, and writes only finite vertices.
TEST(LsystemGrowthTest, SillySettingsEndWithinTheCapacityAndAreLogged) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct case_t {
    const char* name;
    lsystem_settings_t settings;
    int cubes;
    const char* warning;
  };
  auto with = [](auto change) {
    lsystem_settings_t settings;
    change(settings);
    return settings;
  };
  const case_t cases[] = {
      {"lengths that grow past the float range",
       with([](lsystem_settings_t& s) { s.length_decay = 1e10f, s.initial_segments = 1, s.max_segments = 8; }), 20,
       "segment lengths left the float range (length-decay 1e+10)"},
      {"more seeds than can ever grow",
       with([](lsystem_settings_t& s) { s.initial_segments = 300000000; }), 5,
       "initial-segments 300000000 is more than the 65536 segments that can grow; using 65536"},
      {"a seed length that is no number", with([&](lsystem_settings_t& s) { s.segment_length = nan; }), 5,
       "segment_length nan is not a finite number; using 10"},
      {"an infinite decay", with([](lsystem_settings_t& s) {
         s.size_decay = std::numeric_limits<float>::infinity(), s.initial_segments = 1, s.max_segments = 4;
       }),
       15, "size-decay inf is not a finite number; using 0.9"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    log_capture_t log;
    const grown_t g = grow(c.settings);
    EXPECT_EQ(g.cubes, c.cubes);
    EXPECT_TRUE(warned(log, c.warning)) << c.warning;
    for (size_t i = 0; i < size_t(g.cubes) * cube_vertex_count; ++i) {
      const lsystem_vertex_t& v = g.vertices[i];
      ASSERT_TRUE(std::isfinite(v.centre.x) && std::isfinite(v.centre.y) && std::isfinite(v.centre.z) &&
                  std::isfinite(v.distance))
          << "vertex " << i;
    }
  }
}

// The rejection sampling draws a bounded number of times, whatever axis it is given.
TEST(LsystemGrowthTest, HemisphereDirectionsAroundAnAxisThatIsNoVectorStillEnd) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const float3 axis : {float3{nan, 0, 0}, float3{inf, 0, 0}, float3{nan, nan, nan}, float3{1e-45f, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << axis.x << " " << axis.y << " " << axis.z);
    for (int i = 0; i < 100; ++i) EXPECT_NEAR(vec3_length(random_hemisphere_direction(axis)), 1.0f, 1e-4f);
  }
}

TEST(LsystemGrowthTest, CubeMeshIsFiftySeparateTrianglesOfABevelledSolid) {
  const auto& mesh = cube_mesh();
  ASSERT_EQ(mesh.size(), size_t(cube_vertex_count));
  float top = -10, bottom = 10;
  for (size_t t = 0; t < mesh.size(); t += 3) {
    for (size_t k = 0; k < 3; ++k) {
      const cube_vertex_t& v = mesh[t + k];
      for (float c : {v.position.x, v.position.y, v.position.z}) EXPECT_LE(std::fabs(c), 1.07f);
      top = std::max(top, v.position.y);
      bottom = std::min(bottom, v.position.y);
      EXPECT_EQ(v.normal.x, mesh[t].normal.x) << "one face normal per triangle";
      EXPECT_NEAR(vec3_length(v.normal), 1.0f, 1e-5f);
    }
  }
  EXPECT_FLOAT_EQ(top, 1.0f);
  EXPECT_FLOAT_EQ(bottom, -1.0f);
  const auto scaled = scaled_cube_mesh(2.0f);
  EXPECT_FLOAT_EQ(scaled[0].position.y, 2.0f * mesh[0].position.y);
}

TEST(LsystemGrowthTest, HemisphereDirectionsLieAroundTheirAxisAndAZeroAxisStillGivesOne) {
  const float3 axis{0, 0, 1};
  for (int i = 0; i < 100; ++i) {
    const float3 d = random_hemisphere_direction(axis);
    EXPECT_GT(vec3_dot(d, axis), 0.0f);
    EXPECT_NEAR(vec3_length(d), 1.0f, 1e-4f);
  }
  EXPECT_NEAR(vec3_length(random_hemisphere_direction({0, 0, 0})), 1.0f, 1e-4f);
  for (int i = 0; i < 100; ++i) {
    const float u = random_uniform_range(-2.0f, 3.0f);
    EXPECT_GE(u, -2.0f);
    EXPECT_LE(u, 3.0f);
  }
}

}  // namespace
