#include "project_entries.h"

#include <fmt/printf.h>

#include <algorithm>

#include "text/serial_reader.h"
#include "text/serial_value.h"

namespace {

using serial::value_kind_t;
using serial::value_t;

const char* stage_keys[] = {"vs", "gs", "ps", "cs"};

bool stage_from_type(int type, spirv_stage_t& stage) {
  switch (type) {
    case 1:
      stage = spirv_stage_t::vertex;
      return true;
    case 2:
      stage = spirv_stage_t::geometry;
      return true;
    case 4:
      stage = spirv_stage_t::pixel;
      return true;
    case 8:
      stage = spirv_stage_t::compute;
      return true;
  }
  return false;
}

class walker_t {
 public:
  walker_t(const std::string& path, std::vector<shader_entry_t>& out) : path_(path), out_(out) {}

  // Children in key order, so the first origin named for an entry does not depend on hashing.
  void walk(const value_t& node, const std::string& where) {
    if (node.kind == value_kind_t::table) {
      add_stages(node, where);
      std::vector<const std::string*> keys;
      for (const auto& [key, child] : node.children) keys.push_back(&key);
      std::sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
      for (const std::string* key : keys)
        walk(*node.children.at(*key), where.empty() ? *key : where + "." + *key);
    } else if (node.kind == value_kind_t::array) {
      for (size_t i = 0; i < node.items.size(); ++i)
        walk(*node.items[i], fmt::sprintf("%s[%d]", where, static_cast<int>(i)));
    }
  }

 private:
  void add_stages(const value_t& pass, const std::string& where) {
    for (const char* key : stage_keys) {
      const value_t& stage_table = pass.get(key, value_kind_t::table);
      if (!stage_table.valid) continue;
      spirv_stage_t stage{};
      if (!stage_from_type(stage_table.get_int("type", 0), stage)) continue;
      const std::string file = stage_table.get_string("filename", "");
      const std::string entry = stage_table.get_string("entrypoint", "");
      if (file.empty() || entry.empty()) continue;  // the player's load of it fails by itself
      const std::string origin = where.empty() ? std::string(key) : where + "." + key;
      out_.push_back({stage, normalize_content_path(file), entry, path_ + ": " + origin});
    }
  }

  const std::string& path_;
  std::vector<shader_entry_t>& out_;
};

}  // namespace

tl::expected<std::vector<shader_entry_t>, std::string> parse_project_shaders(const std::string& text,
                                                                             const std::string& path) {
  auto root = serial::parse_text(text, path);
  if (!root) return tl::unexpected(fmt::sprintf("%s: error: %s", path, root.error()));
  std::vector<shader_entry_t> out;
  walker_t(path, out).walk(**root, "");
  return out;
}
