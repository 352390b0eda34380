// Camera-scene files of any bytes: the reader rejects or builds a scene, and sampling every
// track of a built scene stays in bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/e3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto scene = e3d::parse_scene(std::span<const uint8_t>(data, size));
  if (!scene) return 0;
  for (const auto& [id, track] : scene->tracks) {
    for (float t : {-1.0f, 0.0f, 0.5f, 3.0f}) {
      (void)track.sample_position(t);
      (void)track.sample_rotation(t);
    }
  }
  scene->clear();
  return 0;
}
