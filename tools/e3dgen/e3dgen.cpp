// e3dgen: writes the production's camera scenes as e3d files.
//   e3dgen OUT_DIR
// Writes OUT_DIR/data/scenes/star-flight.e3d and OUT_DIR/data/scenes/fractal-flight.e3d: cameras
// with animation tracks sampled from flight paths, a target dummy and the camera switch list.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct vec3 {
  float x = 0, y = 0, z = 0;
};

vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec3 operator*(vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
vec3 cross(vec3 a, vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
vec3 normalize(vec3 a) {
  const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return length > 0 ? a * (1.0f / length) : vec3{0, 0, 1};
}

// Rows: right, up, forward (the reader takes the direction from the third row, up from the second).
struct rotation_t {
  vec3 rows[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

rotation_t look_along(vec3 forward, vec3 up_hint) {
  rotation_t r;
  const vec3 f = normalize(forward);
  const vec3 right = normalize(cross(up_hint, f));
  r.rows[0] = right;
  r.rows[1] = cross(f, right);
  r.rows[2] = f;
  return r;
}

// Little-endian byte writer for chunks.
class chunk_writer_t {
 public:
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(bits);
  }
  void v3(vec3 v) {
    f32(v.x);
    f32(v.y);
    f32(v.z);
  }
  void rot(const rotation_t& r) {
    for (const vec3& row : r.rows) v3(row);
  }
  void str(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    bytes.append(s);
  }
  void object_base(const std::string& name, int32_t id, vec3 position, const rotation_t& rotation) {
    str(name);
    i32(id);
    v3(position);
    rot(rotation);
  }
  std::string bytes;
};

struct camera_spec_t {
  std::string name;
  int32_t id;
  float fov;
  std::function<vec3(float)> path;  // position at block-local time
  float start, end;                 // the span of its track
};

struct scene_spec_t {
  std::string name;
  std::vector<camera_spec_t> cameras;
  std::vector<std::pair<float, int32_t>> switches;  // start time, camera id
  vec3 target;                                      // where the dummy stands
};

void append_chunk(std::string& file, const char* tag, const chunk_writer_t& payload) {
  chunk_writer_t header;
  header.bytes.append(tag, 4);
  header.u32(static_cast<uint32_t>(payload.bytes.size()));
  file += header.bytes;
  file += payload.bytes;
}

std::string build_scene(const scene_spec_t& spec) {
  std::string file;
  chunk_writer_t scene;
  scene.str(spec.name);
  scene.u32(1);
  scene.u32(0);
  append_chunk(file, "SCEN", scene);

  chunk_writer_t dummy;
  dummy.object_base("target", 100, spec.target, rotation_t{});
  append_chunk(file, "DUMY", dummy);

  chunk_writer_t anim;
  anim.i32(static_cast<int32_t>(spec.cameras.size()));
  for (const camera_spec_t& camera : spec.cameras) {
    const vec3 start = camera.path(camera.start);
    const rotation_t facing = look_along(camera.path(camera.start + 0.1f) - start, {0, 1, 0});
    chunk_writer_t object;
    object.object_base(camera.name, camera.id, start, facing);
    object.f32(camera.fov);
    object.f32(0.0f);
    object.f32(0.1f);
    object.f32(1000.0f);
    object.i32(0);
    append_chunk(file, "CAMR", object);

    // Keys every 0.1 s, each facing along the path.
    const int count = static_cast<int>(std::lround((camera.end - camera.start) / 0.1f)) + 1;
    anim.i32(camera.id);
    anim.i32(count);
    for (int k = 0; k < count; ++k) {
      const float t = camera.start + 0.1f * static_cast<float>(k);
      const vec3 position = camera.path(t);
      const vec3 ahead = camera.path(t + 0.25f);
      const float roll = 0.15f * std::sin(t * 0.7f);
      anim.f32(t);
      anim.v3(position);
      anim.rot(look_along(ahead - position, normalize(vec3{std::sin(roll), std::cos(roll), 0})));
    }
  }
  append_chunk(file, "ANIM", anim);

  chunk_writer_t switches;
  switches.i32(static_cast<int32_t>(spec.switches.size()));
  for (const auto& [start, id] : spec.switches) {
    switches.f32(start);
    switches.i32(id);
  }
  append_chunk(file, "STAG", switches);
  return file;
}

// A fast flight forward with a slow sway, then a drift across the field.
scene_spec_t star_flight() {
  scene_spec_t spec{"star-flight", {}, {{0.0f, 1}, {7.0f, 2}}, {0, 0, 400}};
  spec.cameras.push_back(
      {"cruise", 1, 1.1f,
       [](float t) {
         return vec3{3.0f * std::sin(t * 0.4f), 1.5f * std::sin(t * 0.25f), 8.0f * t + t * t};
       },
       0.0f, 12.5f});
  spec.cameras.push_back({"drift", 2, 0.9f,
                          [](float t) {
                            return vec3{-20.0f + 3.0f * t, 4.0f * std::cos(t * 0.3f), 60.0f + 14.0f * t};
                          },
                          0.0f, 12.5f});
  return spec;
}

// Along the edges between the fractal's repeated cells, where the structure leaves room to fly.
scene_spec_t fractal_flight() {
  scene_spec_t spec{"fractal-flight", {}, {{0.0f, 1}, {5.0f, 2}, {10.0f, 1}}, {6, 6, 80}};
  spec.cameras.push_back(
      {"glide", 1, 1.2f,
       [](float t) {
         return vec3{6.0f + 1.2f * std::sin(t * 0.5f), 6.0f + 1.0f * std::cos(t * 0.35f), 3.0f * t};
       },
       0.0f, 14.5f});
  spec.cameras.push_back(
      {"corner", 2, 1.0f,
       [](float t) {
         return vec3{6.0f + 2.0f * std::cos(t * 0.6f), 6.0f - 1.5f * std::sin(t * 0.6f), 40.0f + 2.0f * t};
       },
       0.0f, 14.5f});
  return spec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: e3dgen OUT_DIR\n");
    return 2;
  }
  const std::filesystem::path dir = std::filesystem::path(argv[1]) / "data" / "scenes";
  std::filesystem::create_directories(dir);
  for (const scene_spec_t& spec : {star_flight(), fractal_flight()}) {
    const std::filesystem::path path = dir / (spec.name + ".e3d");
    std::ofstream out(path, std::ios::binary);
    const std::string bytes = build_scene(spec);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "e3dgen: cannot write %s\n", path.string().c_str());
      return 1;
    }
  }
  return 0;
}
