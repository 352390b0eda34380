#include "engine/e3d.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "files/filesystem.h"
#include "support/systems.h"
#include "support/log.h"

namespace e3d {
namespace {

constexpr float largest_float = std::numeric_limits<float>::max();

// Little-endian reads over the file's bytes; any read past the end sets the sticky error flag
// and yields zeros, so a payload parser may run to its end and be judged once.
class stream_reader_t {
 public:
  explicit stream_reader_t(std::span<const uint8_t> bytes) : data_(bytes) {}

  size_t left() const { return data_.size() - cursor_; }
  size_t cursor() const { return cursor_; }
  void seek(size_t position) { cursor_ = std::min(position, data_.size()); }
  bool failed() const { return error_; }

  void read_bytes(void* out, size_t size) {
    if (error_ || size > left()) {
      error_ = true;
      std::memset(out, 0, size);
      return;
    }
    std::memcpy(out, data_.data() + cursor_, size);
    cursor_ += size;
  }
  uint32_t read_u32() {
    uint8_t b[4];
    read_bytes(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  int32_t read_i32() { return static_cast<int32_t>(read_u32()); }
  float read_float() {
    uint32_t bits = read_u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  float3 read_float3() {
    float3 v;
    v.x = read_float();
    v.y = read_float();
    v.z = read_float();
    return v;
  }
  float3x3 read_float3x3() {
    float3x3 m;
    for (float& element : std::span(m.data(), 9)) element = read_float();
    return m;
  }
  std::string read_string() {
    uint32_t length = read_u32();
    if (error_ || length > left()) {
      error_ = true;
      return {};
    }
    std::string text(reinterpret_cast<const char*>(data_.data() + cursor_), length);
    cursor_ += length;
    return text;
  }

 private:
  std::span<const uint8_t> data_;
  size_t cursor_ = 0;
  bool error_ = false;
};

// A count read from the file bounded by the bytes that could hold its items, so a forged count
// cannot make the reader reserve more than the file could ever fill.
size_t bounded_count(stream_reader_t& in, int32_t count, size_t item_size) {
  if (count <= 0) return 0;
  return std::min(static_cast<size_t>(count), in.left() / item_size);
}

void read_object_base(stream_reader_t& in, scene_t& scene, object_base_t& object) {
  object.name = in.read_string();
  object.id = in.read_i32();
  object.position = in.read_float3();
  object.rotation = in.read_float3x3();
  scene.objects[object.id] = &object;
}

void read_switches(stream_reader_t& in, scene_t& scene) {
  int32_t count = in.read_i32();
  std::vector<camera_switch_t> switches;
  for (int32_t i = 0; i < count && !in.failed(); ++i) {
    camera_switch_t entry;
    entry.start_time = in.read_float();
    entry.end_time = largest_float;
    entry.camera_id = in.read_i32();
    if (!switches.empty()) switches.back().end_time = entry.start_time;
    switches.push_back(entry);
  }
  scene.camera_switches = std::move(switches);
}

void read_mesh(stream_reader_t& in, scene_t& scene) {
  auto mesh = std::make_unique<mesh_t>();
  read_object_base(in, scene, *mesh);
  int32_t vertex_count = in.read_i32();
  int32_t triangle_count = in.read_i32();
  mesh->bounds_min = {largest_float, largest_float, largest_float};
  mesh->bounds_max = {-largest_float, -largest_float, -largest_float};
  mesh->vertices.reserve(bounded_count(in, vertex_count, 12));
  for (int32_t i = 0; i < vertex_count && !in.failed(); ++i) {
    float3 v = in.read_float3();
    mesh->bounds_min = {std::min(mesh->bounds_min.x, v.x), std::min(mesh->bounds_min.y, v.y),
                        std::min(mesh->bounds_min.z, v.z)};
    mesh->bounds_max = {std::max(mesh->bounds_max.x, v.x), std::max(mesh->bounds_max.y, v.y),
                        std::max(mesh->bounds_max.z, v.z)};
    mesh->vertices.push_back(v);
  }
  mesh->triangles.reserve(bounded_count(in, triangle_count, 12));
  for (int32_t i = 0; i < triangle_count && !in.failed(); ++i) {
    int3 triangle;
    triangle.x = in.read_i32();
    triangle.y = in.read_i32();
    triangle.z = in.read_i32();
    mesh->triangles.push_back(triangle);
  }
  scene.meshes.push_back(std::move(mesh));
}

void read_tracks(stream_reader_t& in, scene_t& scene) {
  int32_t track_count = in.read_i32();
  for (int32_t t = 0; t < track_count && !in.failed(); ++t) {
    int32_t target_id = in.read_i32();
    int32_t key_count = in.read_i32();
    track_t track;
    track.keys.reserve(bounded_count(in, key_count, 52));
    for (int32_t k = 0; k < key_count && !in.failed(); ++k) {
      key_t key;
      key.time = in.read_float();
      key.position = in.read_float3();
      key.rotation = in.read_float3x3();
      track.keys.push_back(key);
    }
    scene.tracks[target_id] = std::move(track);
  }
}

void read_camera(stream_reader_t& in, scene_t& scene) {
  auto camera = std::make_unique<camera_t>();
  read_object_base(in, scene, *camera);
  camera->fov = in.read_float();
  camera->unused = in.read_float();
  camera->near_plane = in.read_float();
  camera->far_plane = in.read_float();
  camera->target_id = in.read_i32();
  scene.cameras.push_back(std::move(camera));
}

void read_chunk(stream_reader_t& in, scene_t& scene, const char tag[4]) {
  auto is = [&](const char* name) { return std::memcmp(tag, name, 4) == 0; };
  if (is("STAG")) {
    read_switches(in, scene);
  } else if (is("MESH")) {
    read_mesh(in, scene);
  } else if (is("ANIM")) {
    read_tracks(in, scene);
  } else if (is("SCEN")) {
    scene.name = in.read_string();
    scene.values[0] = in.read_u32();
    scene.values[1] = in.read_u32();
  } else if (is("CAMR")) {
    read_camera(in, scene);
  } else if (is("DUMY")) {
    auto dummy = std::make_unique<dummy_t>();
    read_object_base(in, scene, *dummy);
    scene.dummies.push_back(std::move(dummy));
  }
}

float blend_factor(const key_t& a, const key_t& b, float t) { return (t - a.time) / (b.time - a.time); }

}  // namespace

std::pair<const key_t*, const key_t*> track_t::find_keys(float t) const {
  if (keys.empty()) return {nullptr, nullptr};
  if (keys.size() == 1 || t <= keys.front().time) return {&keys.front(), nullptr};
  if (t >= keys.back().time) return {&keys.back(), nullptr};
  // A linear walk stays in bounds also for keys that a file gave out of order.
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys[i].time > t) return {&keys[i - 1], &keys[i]};
  }
  return {&keys.back(), nullptr};
}

float3 track_t::sample_position(float t) const {
  auto [a, b] = find_keys(t);
  if (!a) return {};
  if (!b) return a->position;
  float u = blend_factor(*a, *b, t);
  return {(1 - u) * a->position.x + u * b->position.x, (1 - u) * a->position.y + u * b->position.y,
          (1 - u) * a->position.z + u * b->position.z};
}

float3x3 track_t::sample_rotation(float t) const {
  auto [a, b] = find_keys(t);
  if (!a) return {};
  if (!b) return a->rotation;
  float u = blend_factor(*a, *b, t);
  float3x3 result;
  for (int i = 0; i < 9; ++i) result.data()[i] = (1 - u) * a->rotation.data()[i] + u * b->rotation.data()[i];
  return result;
}

void scene_t::clear() {
  objects.clear();
  dummies.clear();
  cameras.clear();
  meshes.clear();
  tracks.clear();
  camera_switches.reset();
}

std::unique_ptr<scene_t> parse_scene(std::span<const uint8_t> bytes) {
  auto scene = std::make_unique<scene_t>();
  stream_reader_t in(bytes);
  while (in.left() > 0) {
    if (in.left() < 8) return nullptr;
    size_t chunk_start = in.cursor();
    char tag[4];
    in.read_bytes(tag, 4);
    uint32_t size = in.read_u32();
    if (size > in.left()) return nullptr;
    // The payload is read on its own: a short chunk must not take the next chunk's bytes as its own.
    stream_reader_t payload(bytes.subspan(in.cursor(), size));
    read_chunk(payload, *scene, tag);
    if (payload.failed()) return nullptr;
    in.seek(chunk_start + 8 + size);
  }

  for (const auto& camera : scene->cameras) {
    if (camera->target_id == 0) continue;
    auto found = scene->objects.find(camera->target_id);
    if (found == scene->objects.end()) {
      LOG_INF("Unable to find target: %d", camera->target_id);
      continue;
    }
    camera->target = found->second;
  }
  // Every object binds, also one whose id a later object took over in the map.
  auto bind_track = [&](object_base_t& object) {
    auto track = scene->tracks.find(object.id);
    if (track != scene->tracks.end()) object.track = &track->second;
  };
  for (auto& dummy : scene->dummies) bind_track(*dummy);
  for (auto& camera : scene->cameras) bind_track(*camera);
  for (auto& mesh : scene->meshes) bind_track(*mesh);
  return scene;
}

std::unique_ptr<scene_t> load_scene(const std::string& path) {
  byte_vector_t bytes;
  if (!g_systems || !S(filesystem) || !S(filesystem)->read_file(path, bytes)) {
    LOG_INF("Error loading file: %s", path.c_str());
    return nullptr;
  }
  return parse_scene(bytes);
}

}  // namespace e3d
