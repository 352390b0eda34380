#pragma once
// The meshes of a glTF 2.0 scene (text glTF with embedded buffers, or GLB) converted for drawing:
// per mesh one interleaved float vertex array and one 32-bit index list rebased over all its
// primitives. Only the first scene's top-level nodes are read; external buffers come through the
// caller's reader, nothing else outside the bytes is opened.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "support/math.h"

enum gltf_flag_t : uint32_t {
  GLTF_POSITION = 1,
  GLTF_NORMAL = 2,
  GLTF_TEXCOORD = 4,
};

struct gltf_mesh_data_t {
  std::string name;
  uint32_t flags = 0;
  uint32_t stride = 0;  // floats per vertex: position 3, normal 3, texture coordinates 2, those present
  uint32_t vertex_count = 0;
  std::vector<float> vertices;
  std::vector<uint32_t> indices;
  float4x4 transform = mat4_identity();
  int node = -1;                  // in the file
  int parent = -1;                // position of the parent's mesh in the result, -1 for none
  std::vector<int> children;      // positions of the children's meshes in the result
  // Where the scene lists the node, in the order of its list: a node listed twice is drawn twice.
  std::vector<int> draw_slots;
};

enum class gltf_error_t {
  unreadable,  // not glTF, truncated, missing or broken buffers, accessors out of range
  no_scenes,
};

struct gltf_failure_t {
  gltf_error_t error = gltf_error_t::unreadable;
  std::string problem;  // what is wrong, for the caller's message naming the file; may be empty
};

// Reads the file an external buffer's URI names, relative to the glTF file; false when it cannot.
using gltf_file_reader_t = std::function<bool(const std::string& uri, std::vector<uint8_t>& bytes)>;

// Skipped meshes and attributes are logged, named after the mesh. Without a reader every external
// buffer is missing. Every accessor used must agree with its primitive's vertex count and fit in the
// bytes present; what the meshes make together is bounded by those bytes too.
tl::expected<std::vector<gltf_mesh_data_t>, gltf_failure_t> read_gltf_meshes(std::span<const uint8_t> bytes,
                                                                         const gltf_file_reader_t& read_file = {});
