// glTF and GLB files of any bytes: the reader refuses them or makes meshes whose indices all lie
// within their vertices, and what it makes stays in proportion to the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "blocks/gltf_meshes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto meshes = read_gltf_meshes(std::span<const uint8_t>(data, size));
  if (!meshes) return 0;
  uint64_t made = 0;
  for (const gltf_mesh_data_t& mesh : *meshes) {
    if (mesh.vertices.size() != size_t(mesh.vertex_count) * mesh.stride) std::abort();
    for (uint32_t index : mesh.indices)
      if (index >= mesh.vertex_count) std::abort();
    made += (mesh.vertices.size() + mesh.indices.size()) * 4;
  }
  // Embedded buffers are smaller than the text that carries them: the file and its buffers are
  // at most twice its size, and the meshes at most 64 times those bytes.
  if (made > uint64_t(size) * 2 * 64) std::abort();
  return 0;
}
