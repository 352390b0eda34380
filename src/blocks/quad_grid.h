#pragma once
// The grid of nx by ny screen quads that the tile transition and the grid deform draw: vertices
// row by row from the top-left tile, four per tile, and two triangles per tile.

#include <cstdint>
#include <vector>

// Tile transition: position, the tile's centre, its cell.
struct tile_vertex_t {
  float x, y, z, w;
  float centre_x, centre_y, centre_z, centre_w;
  float column, row;
};
static_assert(sizeof(tile_vertex_t) == 40);

// Grid deform: position and texture coordinates.
struct grid_vertex_t {
  float x, y, z, w;
  float u, v;
};
static_assert(sizeof(grid_vertex_t) == 24);

template <typename vertex_t>
struct quad_grid_t {
  int columns = 0;
  int rows = 0;
  std::vector<vertex_t> vertices;
  std::vector<uint32_t> indices;
};

constexpr int min_tiles = 1;
constexpr int max_tiles = 100;

// Counts are clamped to 1..100: below one there is no grid to draw (and the sizes would go
// negative), above a hundred the buffers grow without bound.
quad_grid_t<tile_vertex_t> build_tile_grid(int columns, int rows);
quad_grid_t<grid_vertex_t> build_deform_grid(int columns, int rows);
