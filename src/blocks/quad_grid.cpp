#include "blocks/quad_grid.h"

#include <algorithm>

namespace {

struct tile_corners_t {
  float x0, y0, x1, y1;  // left, top, right, bottom in clip space
  float u0, v0, u1, v1;
  int column, row;
};

// Calls emit for each tile in row order and appends its six indices.
template <typename vertex_t, typename emit_t>
quad_grid_t<vertex_t> build(int columns, int rows, emit_t emit) {
  quad_grid_t<vertex_t> grid;
  grid.columns = std::clamp(columns, min_tiles, max_tiles);
  grid.rows = std::clamp(rows, min_tiles, max_tiles);
  const size_t tiles = size_t(grid.columns) * size_t(grid.rows);
  grid.vertices.reserve(4 * tiles);
  grid.indices.reserve(6 * tiles);
  const float dx = 2.0f / float(grid.columns), dy = 2.0f / float(grid.rows);
  const float du = 1.0f / float(grid.columns), dv = 1.0f / float(grid.rows);
  float y0 = 1.0f, v0 = 0.0f;
  for (int r = 0; r < grid.rows; ++r) {
    const float y1 = y0 - dy, v1 = v0 + dv;
    float x0 = -1.0f, u0 = 0.0f;
    for (int c = 0; c < grid.columns; ++c) {
      const float x1 = x0 + dx, u1 = u0 + du;
      const auto b = uint32_t(grid.vertices.size());
      emit(grid.vertices, tile_corners_t{x0, y0, x1, y1, u0, v0, u1, v1, c, r});
      for (uint32_t k : {2u, 0u, 3u, 3u, 0u, 1u}) grid.indices.push_back(b + k);
      x0 = x1;
      u0 = u1;
    }
    y0 = y1;
    v0 = v1;
  }
  return grid;
}

}  // namespace

quad_grid_t<tile_vertex_t> build_tile_grid(int columns, int rows) {
  return build<tile_vertex_t>(columns, rows, [](std::vector<tile_vertex_t>& out, const tile_corners_t& t) {
    const float cx = (t.x1 + t.x0 + t.x0 + t.x1) * 0.25f;
    const float cy = (t.y0 + t.y0 + t.y1 + t.y1) * 0.25f;
    const float c = float(t.column), r = float(t.row);
    for (auto [x, y] : {std::pair{t.x0, t.y0}, {t.x1, t.y0}, {t.x0, t.y1}, {t.x1, t.y1}})
      out.push_back({x, y, 0.5f, 1.0f, cx, cy, 0.5f, 4.0f, c, r});
  });
}

quad_grid_t<grid_vertex_t> build_deform_grid(int columns, int rows) {
  return build<grid_vertex_t>(columns, rows, [](std::vector<grid_vertex_t>& out, const tile_corners_t& t) {
    out.push_back({t.x0, t.y0, 0.5f, 1.0f, t.u0, t.v0});
    out.push_back({t.x1, t.y0, 0.5f, 1.0f, t.u1, t.v0});
    out.push_back({t.x0, t.y1, 0.5f, 1.0f, t.u0, t.v1});
    out.push_back({t.x1, t.y1, 0.5f, 1.0f, t.u1, t.v1});
  });
}
