#include "blocks/gltf_meshes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#pragma GCC diagnostic ignored "-Wnull-dereference"
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
#pragma GCC diagnostic pop

#include <fmt/format.h>

#include "support/log.h"

namespace {

using ordered_json = nlohmann::ordered_json;

// The accessor type as numbered in the messages: 1 scalar, 2 to 4 vectors, 5 to 7 matrices.
int type_number(int type) {
  switch (type) {
    case TINYGLTF_TYPE_SCALAR: return 1;
    case TINYGLTF_TYPE_VEC2: return 2;
    case TINYGLTF_TYPE_VEC3: return 3;
    case TINYGLTF_TYPE_VEC4: return 4;
    case TINYGLTF_TYPE_MAT2: return 5;
    case TINYGLTF_TYPE_MAT3: return 6;
    case TINYGLTF_TYPE_MAT4: return 7;
    default: return 0;
  }
}

// The JSON text of the file: all of it, or the first chunk of a GLB.
std::optional<std::string_view> json_text(std::span<const uint8_t> bytes, bool binary) {
  const auto* chars = reinterpret_cast<const char*>(bytes.data());
  if (!binary) return std::string_view(chars, bytes.size());
  if (bytes.size() < 20) return std::nullopt;
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 12, 4);
  if (length > bytes.size() - 20) return std::nullopt;
  return std::string_view(chars + 20, length);
}

// The attribute names of every primitive in the order the file lists them: the map of the parsed
// model is sorted by name, and which attributes are taken depends on their order.
using attribute_orders_t = std::vector<std::vector<std::vector<std::string>>>;

attribute_orders_t attribute_orders(std::string_view text) {
  attribute_orders_t orders;
  ordered_json root = ordered_json::parse(text.begin(), text.end(), nullptr, false);
  if (!root.is_object() || !root.contains("meshes") || !root["meshes"].is_array()) return orders;
  for (const ordered_json& mesh : root["meshes"]) {
    auto& primitives = orders.emplace_back();
    if (!mesh.is_object() || !mesh.contains("primitives") || !mesh["primitives"].is_array()) continue;
    for (const ordered_json& primitive : mesh["primitives"]) {
      auto& names = primitives.emplace_back();
      if (!primitive.is_object() || !primitive.contains("attributes")) continue;
      const ordered_json& attributes = primitive["attributes"];
      if (!attributes.is_object()) continue;
      for (auto it = attributes.begin(); it != attributes.end(); ++it) names.push_back(it.key());
    }
  }
  return orders;
}

int component_size(int component_type) {
  switch (component_type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return 2;
    case TINYGLTF_COMPONENT_TYPE_INT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT: return 4;
    default: return 0;
  }
}

int component_count(int type) {
  switch (type) {
    case TINYGLTF_TYPE_SCALAR: return 1;
    case TINYGLTF_TYPE_VEC2: return 2;
    case TINYGLTF_TYPE_VEC3: return 3;
    case TINYGLTF_TYPE_VEC4:
    case TINYGLTF_TYPE_MAT2: return 4;
    case TINYGLTF_TYPE_MAT3: return 9;
    case TINYGLTF_TYPE_MAT4: return 16;
    default: return 0;
  }
}

// An accessor's elements within its buffer: the first byte and the distance between elements.
// Empty when any element would lie outside the view or the view outside its buffer.
struct accessor_view_t {
  const uint8_t* data = nullptr;  // null when the accessor has no buffer view: it reads as zeros
  size_t stride = 0;
  int component_type = 0;
  int components = 0;
  bool normalized = false;
  size_t count = 0;
};

// What the meshes of one file may make together: the file's own bytes and its buffers' bound
// every accessor without data and, times a margin for meshes drawn by several nodes, the output.
struct limits_t {
  uint64_t bytes_present = 0;
  uint64_t output_left = 0;  // bytes of vertices and indices still allowed
  static constexpr uint64_t output_per_byte = 64;
};

std::optional<accessor_view_t> view_of(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                                       const limits_t& limits, std::string& problem) {
  accessor_view_t v;
  v.component_type = accessor.componentType;
  v.components = component_count(accessor.type);
  v.normalized = accessor.normalized;
  v.count = accessor.count;
  const size_t element = size_t(component_size(accessor.componentType)) * size_t(v.components);
  if (element == 0) {
    problem = "an accessor of an unknown component type";
    return std::nullopt;
  }
  if (accessor.bufferView < 0) {
    // Without data every element reads as zero: its count is all that sizes the mesh.
    if (uint64_t(v.count) > limits.bytes_present) {
      problem = fmt::format("an accessor of {} elements without data in a file of {} bytes", v.count,
                            limits.bytes_present);
      return std::nullopt;
    }
    return v;
  }
  problem = "an accessor past the end of its data";
  if (size_t(accessor.bufferView) >= model.bufferViews.size()) return std::nullopt;
  const tinygltf::BufferView& view = model.bufferViews[size_t(accessor.bufferView)];
  if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size()) return std::nullopt;
  const std::vector<unsigned char>& buffer = model.buffers[size_t(view.buffer)].data;
  if (view.byteOffset > buffer.size() || view.byteLength > buffer.size() - view.byteOffset) return std::nullopt;
  v.stride = view.byteStride != 0 ? view.byteStride : element;
  if (v.count > 0) {
    if (accessor.byteOffset > view.byteLength) return std::nullopt;
    const size_t room = view.byteLength - accessor.byteOffset;
    if (element > room || (v.count - 1) > (room - element) / v.stride) return std::nullopt;
  }
  problem.clear();
  v.data = buffer.data() + view.byteOffset + accessor.byteOffset;
  return v;
}

// One component as a float; normalised integers map to [0, 1] or [-1, 1].
float read_component(const uint8_t* p, int component_type, bool normalized) {
  auto load = [p]<typename T>(T) {
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
  };
  switch (component_type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
      const float f = float(load(int8_t{}));
      return normalized ? std::max(f / 127.0f, -1.0f) : f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: {
      const float f = float(load(uint8_t{}));
      return normalized ? f / 255.0f : f;
    }
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
      const float f = float(load(int16_t{}));
      return normalized ? std::max(f / 32767.0f, -1.0f) : f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      const float f = float(load(uint16_t{}));
      return normalized ? f / 65535.0f : f;
    }
    case TINYGLTF_COMPONENT_TYPE_INT: return float(load(int32_t{}));
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: return float(load(uint32_t{}));
    case TINYGLTF_COMPONENT_TYPE_FLOAT: return load(float{});
    default: return 0.0f;
  }
}

void read_floats(const accessor_view_t& v, size_t i, float* out, int n) {
  const size_t size = size_t(component_size(v.component_type));
  for (int k = 0; k < n; ++k) {
    out[k] = v.data && k < v.components
                 ? read_component(v.data + v.stride * i + size * size_t(k), v.component_type, v.normalized)
                 : 0.0f;
  }
}

std::optional<uint32_t> read_index(const accessor_view_t& v, size_t j) {
  if (!v.data) return 0u;
  const uint8_t* p = v.data + v.stride * j;
  switch (v.component_type) {
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return uint32_t(*p);
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      uint16_t value;
      std::memcpy(&value, p, 2);
      return uint32_t(value);
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
      uint32_t value;
      std::memcpy(&value, p, 4);
      return value;
    }
    default: return std::nullopt;
  }
}

float4x4 node_transform(const tinygltf::Node& node) {
  float4x4 m = mat4_identity();
  if (node.matrix.size() == 16) {
    // Column-major with column vectors is, float by float, row-major with row vectors.
    for (int k = 0; k < 16; ++k) m.m[k / 4][k % 4] = float(node.matrix[size_t(k)]);
    return m;
  }
  if (node.scale.size() == 3)
    for (int k = 0; k < 3; ++k) m.m[k][k] = float(node.scale[size_t(k)]);
  if (node.translation.size() == 3)
    for (int k = 0; k < 3; ++k) m.m[3][k] = float(node.translation[size_t(k)]);
  return m;
}

// One mesh of the file, or nothing (logged) when it cannot be drawn; data out of range or of
// disagreeing counts fails the whole file with the problem.
std::optional<gltf_mesh_data_t> make_mesh(const tinygltf::Model& model, const tinygltf::Mesh& mesh,
                                          const std::vector<std::vector<std::string>>& orders, limits_t& limits,
                                          std::string& problem) {
  const char* name = mesh.name.c_str();
  if (mesh.primitives.empty()) {
    LOG_INF("Skipping mesh: %s - no primitives found", name);
    return std::nullopt;
  }
  gltf_mesh_data_t out;
  out.name = mesh.name;
  std::optional<uint32_t> first_set;
  for (size_t p = 0; p < mesh.primitives.size(); ++p) {
    const tinygltf::Primitive& primitive = mesh.primitives[p];
    const bool has_indices = primitive.indices >= 0 && size_t(primitive.indices) < model.accessors.size();
    if (primitive.mode != TINYGLTF_MODE_TRIANGLES || !has_indices) {
      LOG_INF("Skipping mesh: %s - no indices found", name);
      return std::nullopt;
    }
    uint32_t set = 0;
    size_t n = 0;
    int cp = 0, cn = 0, ct = 0;
    const tinygltf::Accessor *position = nullptr, *normal = nullptr, *texcoord = nullptr;
    const std::vector<std::string> names = p < orders.size() ? orders[p] : std::vector<std::string>{};
    for (const std::string& attribute : names) {
      auto found = primitive.attributes.find(attribute);
      if (found == primitive.attributes.end()) continue;
      if (found->second < 0 || size_t(found->second) >= model.accessors.size()) {
        problem = fmt::format("mesh {}: {} names no accessor", mesh.name, attribute);
        return std::nullopt;
      }
      const tinygltf::Accessor& accessor = model.accessors[size_t(found->second)];
      if (attribute == "POSITION") {
        if (accessor.type == TINYGLTF_TYPE_VEC3) {
          position = &accessor, n = accessor.count, set |= GLTF_POSITION, cp = 3;
        } else {
          LOG_INF("Skipping pos attributes for %s - non compatible types found (%d)", name,
                  type_number(accessor.type));
        }
      } else if (attribute == "NORMAL") {
        if (accessor.type == TINYGLTF_TYPE_VEC3 && accessor.count == n) {
          normal = &accessor, set |= GLTF_NORMAL, cn = 3;
        } else {
          LOG_INF("Skipping normal attributes for %s - non compatible types found (%d)", name,
                  type_number(accessor.type));
        }
      } else if (attribute.starts_with("TEXCOORD")) {
        if (accessor.type == TINYGLTF_TYPE_VEC2 && accessor.count == n) {
          texcoord = &accessor, set |= GLTF_TEXCOORD, ct = 2;
        } else {
          LOG_INF("Skipping texcoord attributes for %s - non compatible types found (%d/%d)", name,
                  type_number(accessor.type), int(accessor.count));
        }
      }
    }
    if (first_set && set != *first_set) {
      LOG_INF("Skipping mesh: %s - attributes aren't consistent for all primitives", name);
      return std::nullopt;
    }
    if (!first_set) first_set = set;
    out.flags |= set;

    // An attribute taken before the position decided the count must still hold one per vertex.
    for (auto [attribute, label] : {std::pair{normal, "NORMAL"}, std::pair{texcoord, "TEXCOORD"}}) {
      if (attribute && attribute->count != n) {
        problem = fmt::format("mesh {}: {} has {} elements for {} vertices", mesh.name, label, attribute->count, n);
        return std::nullopt;
      }
    }

    const uint32_t stride = uint32_t(cp + cn + ct);
    out.stride = stride;
    const size_t base = out.vertex_count;
    // The vertex buffer's count and the rebased indices are 32-bit.
    if (n > size_t(UINT32_MAX) - base) {
      problem = fmt::format("mesh {}: more than 2^32 vertices", mesh.name);
      return std::nullopt;
    }
    std::optional<accessor_view_t> pv, nv, tv, index_view;
    auto view = [&](const tinygltf::Accessor* accessor, std::optional<accessor_view_t>& out) {
      return !accessor || (out = view_of(model, *accessor, limits, problem)).has_value();
    };
    if (!view(position, pv) || !view(normal, nv) || !view(texcoord, tv) ||
        !view(&model.accessors[size_t(primitive.indices)], index_view)) {
      problem = fmt::format("mesh {}: {}", mesh.name, problem);
      return std::nullopt;
    }
    const uint64_t output = (uint64_t(n) * stride + index_view->count) * 4;
    if (output > limits.output_left) {
      problem = fmt::format("mesh {}: more vertices and indices than {} bytes of file can hold", mesh.name,
                            limits.bytes_present);
      return std::nullopt;
    }
    limits.output_left -= output;
    out.vertices.resize((base + n) * stride);
    for (size_t i = 0; i < n; ++i) {
      float* v = out.vertices.data() + (base + i) * stride;
      if (pv) read_floats(*pv, i, v, 3), v += 3;
      if (nv) read_floats(*nv, i, v, 3), v += 3;
      if (tv) read_floats(*tv, i, v, 2);
    }
    out.indices.reserve(out.indices.size() + index_view->count);
    for (size_t j = 0; j < index_view->count; ++j) {
      std::optional<uint32_t> index = read_index(*index_view, j);
      // An index past the primitive's vertices would make the draw read past the buffer.
      if (!index || *index >= n) {
        LOG_INF("Skipping mesh: %s - indices out of range", name);
        return std::nullopt;
      }
      out.indices.push_back(*index + uint32_t(base));
    }
    out.vertex_count = uint32_t(base + n);
  }
  return out;
}

// A URI that stays beside the glTF file: no absolute path, no step up out of its folder.
bool is_local_uri(const std::string& uri) {
  if (uri.empty() || uri.front() == '/' || uri.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= uri.size()) {
    const size_t end = std::min(uri.find_first_of("/\\", start), uri.size());
    if (uri.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

bool reader_has(const std::string& uri, void* user_data) {
  return static_cast<const gltf_file_reader_t*>(user_data)->operator bool() && is_local_uri(uri);
}
std::string keep_path(const std::string& path, void*) { return path; }
bool read_through(std::vector<unsigned char>* out, std::string* err, const std::string& uri, void* user_data) {
  const auto& read_file = *static_cast<const gltf_file_reader_t*>(user_data);
  if (read_file && is_local_uri(uri) && read_file(uri, *out)) return true;
  if (err) *err += "unable to read external file: " + uri + "\n";
  return false;
}
bool refuse_write(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
  if (err) *err += "writing not allowed\n";
  return false;
}
bool skip_image(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int,
                void*) {
  return true;
}

}  // namespace

tl::expected<std::vector<gltf_mesh_data_t>, gltf_failure_t> read_gltf_meshes(std::span<const uint8_t> bytes,
                                                                           const gltf_file_reader_t& read_file) {
  if (bytes.size() > UINT32_MAX) return tl::unexpected(gltf_failure_t{gltf_error_t::unreadable, "larger than 4 GB"});
  const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
  tinygltf::TinyGLTF loader;
  // External buffers are read through the caller, so nothing outside the virtual file system opens.
  loader.SetFsCallbacks({reader_has, keep_path, read_through, refuse_write,
                         const_cast<gltf_file_reader_t*>(&read_file)});
  loader.SetImageLoader(skip_image, nullptr);
  tinygltf::Model model;
  std::string err, warn;
  const bool loaded =
      binary ? loader.LoadBinaryFromMemory(&model, &err, &warn, bytes.data(), unsigned(bytes.size()), "")
             : loader.LoadASCIIFromString(&model, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                          unsigned(bytes.size()), "");
  if (!loaded) {
    while (!err.empty() && (err.back() == '\n' || err.back() == ' ')) err.pop_back();
    return tl::unexpected(gltf_failure_t{gltf_error_t::unreadable, err.empty() ? "not glTF" : err});
  }
  if (model.scenes.empty()) return tl::unexpected(gltf_failure_t{gltf_error_t::no_scenes, "no scenes"});
  limits_t limits;
  limits.bytes_present = bytes.size();
  for (const tinygltf::Buffer& buffer : model.buffers) limits.bytes_present += buffer.data.size();
  limits.output_left = limits.bytes_present * limits_t::output_per_byte;
  const auto text = json_text(bytes, binary);
  const attribute_orders_t orders = text ? attribute_orders(*text) : attribute_orders_t{};

  // A node's parent is the node that lists it as a child.
  std::vector<int> parent_of(model.nodes.size(), -1);
  for (size_t i = 0; i < model.nodes.size(); ++i)
    for (int child : model.nodes[i].children)
      if (child >= 0 && size_t(child) < parent_of.size()) parent_of[size_t(child)] = int(i);

  const int scene_index = 0;
  std::vector<gltf_mesh_data_t> meshes;
  std::map<int, int> mesh_of_node;
  // A node the scene lists again is drawn again, from the mesh made the first time: converting it
  // anew would let a short list of the same node grow the work and memory without bound.
  std::set<int> skipped_nodes;
  const std::vector<int>& listed = model.scenes[scene_index].nodes;
  for (size_t slot = 0; slot < listed.size(); ++slot) {
    const int node_index = listed[slot];
    if (node_index < 0 || size_t(node_index) >= model.nodes.size()) continue;
    const tinygltf::Node& node = model.nodes[size_t(node_index)];
    if (node.mesh < 0 || size_t(node.mesh) >= model.meshes.size()) continue;
    if (auto made = mesh_of_node.find(node_index); made != mesh_of_node.end()) {
      meshes[size_t(made->second)].draw_slots.push_back(int(slot));
      continue;
    }
    if (skipped_nodes.contains(node_index)) continue;
    const size_t mesh_index = size_t(node.mesh);
    std::string problem;
    auto mesh = make_mesh(model, model.meshes[mesh_index],
                          mesh_index < orders.size() ? orders[mesh_index] : attribute_orders_t::value_type{}, limits,
                          problem);
    if (!problem.empty()) return tl::unexpected(gltf_failure_t{gltf_error_t::unreadable, problem});
    if (!mesh) {
      skipped_nodes.insert(node_index);
      continue;
    }
    mesh->node = node_index;
    mesh->draw_slots.push_back(int(slot));
    mesh->transform = node_transform(node);
    mesh_of_node[node_index] = int(meshes.size());
    meshes.push_back(std::move(*mesh));
  }
  for (gltf_mesh_data_t& mesh : meshes) {
    if (auto found = mesh_of_node.find(parent_of[size_t(mesh.node)]); found != mesh_of_node.end())
      mesh.parent = found->second;
    for (int child : model.nodes[size_t(mesh.node)].children)
      if (auto found = mesh_of_node.find(child); found != mesh_of_node.end()) mesh.children.push_back(found->second);
  }
  return meshes;
}
