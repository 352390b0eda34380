// The camera operations of the block base: span lookup, the active camera and camera scenes.
#include <unordered_map>

#include "engine/block_base.h"
#include "engine/e3d.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "engine/render_chain.h"
#include "support/systems.h"
#include "support/log.h"

namespace {

// The block whose spans and cameras apply: the deepest active source unless overridden.
const block_base_t* camera_block(const block_base_t& block, float t) {
  if (block.camera_override) return &block;
  return find_deepest_active_source(const_cast<block_base_t*>(&block), t);
}

float engine_time() { return engine_context->engine ? engine_context->engine->get_cur_time() : 0.0f; }

}  // namespace

int block_base_t::get_camera_index_at(float local_time) const {
  for (const camera_span_t& span : camera_spans) {
    if (!(span.end > local_time) || !span.camera) continue;
    for (size_t i = 0; i < cameras.size(); ++i) {
      if (cameras[i] == span.camera) return static_cast<int>(i);
    }
  }
  return 0;
}

int block_base_t::get_active_span_index() const {
  float t = engine_time();
  float local = t - start_time;
  const block_base_t* owner = camera_block(*this, t);
  for (size_t i = 0; i < owner->camera_spans.size(); ++i) {
    if (owner->camera_spans[i].end > local) return static_cast<int>(i);
  }
  return 0;
}

block_camera_t* block_base_t::get_active_camera() const {
  float t = engine_time();
  float local = t - start_time;
  const block_base_t* owner = camera_block(*this, t);
  if (owner->cameras.empty()) return nullptr;
  size_t index = static_cast<size_t>(owner->get_camera_index_at(local));
  return index < owner->cameras.size() ? owner->cameras[index].get() : nullptr;
}

void block_base_t::load_camera_scene(const std::string& path) {
  std::unique_ptr<e3d::scene_t> loaded = e3d::load_scene(path);
  if (!loaded) {
    LOG_WRN("Unable to load scene for camera: %s", path.c_str());
    return;
  }
  if (!watched_scene_paths.contains(path)) {
    watched_scene_paths.insert(path);
    if (g_systems && S(filesystem)) {
      std::weak_ptr<block_base_t> self = weak_from_this();
      S(filesystem)->watch_file_callback(path, false, [self](const std::string& changed) {
        if (auto block = self.lock()) block->load_camera_scene(changed);
      });
    }
  }
  if (loaded->cameras.empty()) {
    // An emptied or cut file reads as a scene without cameras: the block keeps the ones it has.
    LOG_WRN("Block %s: camera-scene %s has no cameras; the block keeps its own", name.c_str(), path.c_str());
    return;
  }

  cameras.clear();
  camera_spans.clear();
  std::unordered_map<int32_t, camera_ptr_t> by_scene_id;
  for (const auto& scene_camera : loaded->cameras) {
    auto camera = std::make_shared<block_camera_t>();
    camera->init_defaults();
    camera->name = scene_camera->name;
    camera->scene_camera = scene_camera.get();
    by_scene_id[scene_camera->id] = camera;
    cameras.push_back(camera);
  }
  if (scene) scene->clear();
  scene = std::move(loaded);

  if (scene->camera_switches) {
    for (const e3d::camera_switch_t& entry : *scene->camera_switches) {
      auto found = by_scene_id.find(entry.camera_id);
      camera_spans.push_back({entry.end_time, found == by_scene_id.end() ? camera_ptr_t() : found->second});
    }
  } else {
    camera_spans.push_back({end_time, cameras.front()});
  }
}
