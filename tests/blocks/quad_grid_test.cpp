// The screen grids of the tile transition and the grid deform: vertex and index contents.

#include <gtest/gtest.h>

#include "blocks/quad_grid.h"

namespace {

TEST(QuadGridTest, TwoByOneTileGridHasTheCornersCentresCellsAndIndicesOfItsTiles) {
  const auto grid = build_tile_grid(2, 1);
  ASSERT_EQ(grid.vertices.size(), 8u);
  const float corners[8][2] = {{-1, 1}, {0, 1}, {-1, -1}, {0, -1}, {0, 1}, {1, 1}, {0, -1}, {1, -1}};
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const tile_vertex_t& v = grid.vertices[i];
    EXPECT_FLOAT_EQ(v.x, corners[i][0]);
    EXPECT_FLOAT_EQ(v.y, corners[i][1]);
    EXPECT_FLOAT_EQ(v.z, 0.5f);
    EXPECT_FLOAT_EQ(v.w, 1.0f);
    EXPECT_FLOAT_EQ(v.centre_x, i < 4 ? -0.5f : 0.5f);
    EXPECT_FLOAT_EQ(v.centre_y, 0.0f);
    EXPECT_FLOAT_EQ(v.centre_z, 0.5f);
    EXPECT_FLOAT_EQ(v.centre_w, 4.0f);
    EXPECT_FLOAT_EQ(v.column, i < 4 ? 0.0f : 1.0f);
    EXPECT_FLOAT_EQ(v.row, 0.0f);
  }
  EXPECT_EQ(grid.indices, (std::vector<uint32_t>{2, 0, 3, 3, 0, 1, 6, 4, 7, 7, 4, 5}));
}

TEST(QuadGridTest, OneByOneDeformGridCoversClipSpaceWithTheWholeImage) {
  const auto grid = build_deform_grid(1, 1);
  ASSERT_EQ(grid.vertices.size(), 4u);
  const float expected[4][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(grid.vertices[i].x, expected[i][0]);
    EXPECT_FLOAT_EQ(grid.vertices[i].y, expected[i][1]);
    EXPECT_FLOAT_EQ(grid.vertices[i].u, expected[i][2]);
    EXPECT_FLOAT_EQ(grid.vertices[i].v, expected[i][3]);
  }
  EXPECT_EQ(grid.indices, (std::vector<uint32_t>{2, 0, 3, 3, 0, 1}));
}

// Neighbouring tiles share their edges exactly, and the last ones end on the frame.
TEST(QuadGridTest, DeformGridTilesMeetWithoutGapsAndReachTheFrame) {
  const auto grid = build_deform_grid(3, 7);
  ASSERT_EQ(grid.vertices.size(), 4u * 21u);
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c + 1 < 3; ++c) {
      const grid_vertex_t& right_edge = grid.vertices[size_t(4 * (r * 3 + c) + 1)];
      const grid_vertex_t& next_left = grid.vertices[size_t(4 * (r * 3 + c + 1))];
      EXPECT_EQ(right_edge.x, next_left.x);
      EXPECT_EQ(right_edge.u, next_left.u);
    }
  }
  const grid_vertex_t& last = grid.vertices.back();
  EXPECT_NEAR(last.x, 1.0f, 1e-5f);
  EXPECT_NEAR(last.y, -1.0f, 1e-5f);
  EXPECT_NEAR(last.u, 1.0f, 1e-5f);
  EXPECT_NEAR(last.v, 1.0f, 1e-5f);
}

TEST(QuadGridTest, CountsOutsideOneToAHundredAreClamped) {
  struct case_t {
    int columns, rows, expected_columns, expected_rows;
  };
  for (const case_t c : {case_t{0, 5, 1, 5}, case_t{-4, -1, 1, 1}, case_t{500, 2, 100, 2}, case_t{20, 10, 20, 10}}) {
    SCOPED_TRACE(testing::Message() << c.columns << "x" << c.rows);
    const auto grid = build_tile_grid(c.columns, c.rows);
    EXPECT_EQ(grid.columns, c.expected_columns);
    EXPECT_EQ(grid.rows, c.expected_rows);
    EXPECT_EQ(grid.vertices.size(), size_t(4 * c.expected_columns * c.expected_rows));
    EXPECT_EQ(grid.indices.size(), size_t(6 * c.expected_columns * c.expected_rows));
  }
}

}  // namespace
