#pragma once
// The drawable scene of a mesh block: nodes with their links and transforms, and the meshes with
// their GPU buffers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/gpu_buffers.h"
#include "support/math.h"

namespace scene {

struct node_t {
  virtual ~node_t() = default;
  node_t* parent = nullptr;
  std::vector<node_t*> children;
  std::string name;
  float4x4 transform = mat4_identity();
};

struct mesh_t : node_t {
  uint32_t flags = 0;  // 1 position, 2 normal, 4 texture coordinates
  uint32_t vertex_count = 0;
  uint32_t index_count = 0;
  std::unique_ptr<vertex_buffer_t> vertex_buffer;
  std::unique_ptr<index_buffer_t> index_buffer;
};

// The owning list and the draw order.
struct scene_t {
  std::vector<std::unique_ptr<node_t>> nodes;
  std::vector<mesh_t*> draw_list;

  void clear() {
    draw_list.clear();
    nodes.clear();
  }
};

}  // namespace scene
