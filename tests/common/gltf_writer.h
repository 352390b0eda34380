#pragma once
// Small glTF 2.0 texts for tests: accessors over one base64 "data:" buffer, meshes, nodes and
// one scene, written as the cases need them (attribute order, index widths, node links).

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace gltf_test {

inline std::string base64(const std::vector<uint8_t>& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = uint32_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= bytes[i + 2];
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
  }
  return out;
}

class gltf_writer_t {
 public:
  // An accessor over new bytes of the buffer; returns its index.
  template <typename T>
  int add(const std::vector<T>& values, const char* type, size_t count, int component_type) {
    const size_t offset = buffer_.size();
    buffer_.resize(offset + values.size() * sizeof(T));
    std::memcpy(buffer_.data() + offset, values.data(), values.size() * sizeof(T));
    while (buffer_.size() % 4) buffer_.push_back(0);
    views_.push_back(fmt::format(R"({{"buffer": 0, "byteOffset": {}, "byteLength": {}}})", offset,
                                 values.size() * sizeof(T)));
    accessors_.push_back(fmt::format(R"({{"bufferView": {}, "componentType": {}, "count": {}, "type": "{}"}})",
                                     views_.size() - 1, component_type, count, type));
    return int(accessors_.size() - 1);
  }
  int vec3(const std::vector<float>& v) { return add(v, "VEC3", v.size() / 3, 5126); }
  int vec2(const std::vector<float>& v) { return add(v, "VEC2", v.size() / 2, 5126); }
  int indices16(const std::vector<uint16_t>& v) { return add(v, "SCALAR", v.size(), 5123); }
  int indices32(const std::vector<uint32_t>& v) { return add(v, "SCALAR", v.size(), 5125); }
  // A raw accessor text, for broken ones.
  int accessor(const std::string& json) {
    accessors_.push_back(json);
    return int(accessors_.size() - 1);
  }

  // `attributes` in file order, e.g. {{"POSITION", 0}, {"NORMAL", 1}}.
  static std::string primitive(const std::vector<std::pair<std::string, int>>& attributes, int indices,
                               int mode = 4) {
    std::string list;
    for (const auto& [name, index] : attributes) list += fmt::format(R"({}"{}": {})", list.empty() ? "" : ", ", name, index);
    return fmt::format(R"({{"attributes": {{{}}}, "indices": {}, "mode": {}}})", list, indices, mode);
  }
  int mesh(const std::string& name, const std::vector<std::string>& primitives) {
    std::string list;
    for (const std::string& p : primitives) list += (list.empty() ? "" : ", ") + p;
    meshes_.push_back(fmt::format(R"({{"name": "{}", "primitives": [{}]}})", name, list));
    return int(meshes_.size() - 1);
  }
  // Extra keys of the node, e.g. R"("rotation": [0, 0, 0.7071, 0.7071])".
  int node(int mesh, const std::string& extra = "") {
    std::string body = mesh >= 0 ? fmt::format(R"("mesh": {})", mesh) : "";
    if (!extra.empty()) body += (body.empty() ? "" : ", ") + extra;
    nodes_.push_back("{" + body + "}");
    return int(nodes_.size() - 1);
  }

  std::string text(const std::vector<int>& scene_nodes, bool with_scene = true) const {
    auto join = [](const std::vector<std::string>& items) {
      std::string out;
      for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
      return out;
    };
    std::string nodes;
    for (int n : scene_nodes) nodes += (nodes.empty() ? "" : ", ") + std::to_string(n);
    const std::string scenes = with_scene ? fmt::format(R"("scene": 0, "scenes": [{{"nodes": [{}]}}],)", nodes) : "";
    return fmt::format(
        R"({{"asset": {{"version": "2.0"}}, {} "nodes": [{}], "meshes": [{}], "accessors": [{}], "bufferViews": [{}], )"
        R"("buffers": [{{"byteLength": {}, "uri": "data:application/octet-stream;base64,{}"}}]}})",
        scenes, join(nodes_), join(meshes_), join(accessors_), join(views_), buffer_.size(), base64(buffer_));
  }

 private:
  std::vector<uint8_t> buffer_;
  std::vector<std::string> views_, accessors_, meshes_, nodes_;
};

}  // namespace gltf_test
