#include "shader_entries.h"

#include "project_entries.h"

#include <fmt/printf.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const char* builtin_file = "shaders/default.hlsl";
const char* builtin_pixel_shaders[] = {"PsLerp",   "PsCopy",   "PsCopyAlpha", "PsAdd",        "PsMultiply",
                                       "PsScreen", "PsDarken", "PsLighten",   "PsDifference", "PsNegation"};
const char* entry_list_file = "shaders/entrypoints.txt";
const char* project_suffix = ".proj.toml";

bool is_project(const fs::path& path) {
  const std::string name = path.filename().string();
  const std::string suffix = project_suffix;
  return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string replace_extension(const std::string& path, const std::string& extension) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  const bool has_dot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_dot ? path.substr(0, dot) : path) + "." + extension;
}

// The value kinds of the text format that a description's pass table needs; everything else is
// parsed only to be skipped.
struct named_value_t;

struct value_t {
  enum kind_t { other, string, boolean, array, table } kind = other;
  std::string text;
  bool flag = false;
  std::vector<value_t> items;
  std::vector<named_value_t> children;

  const value_t* child(const std::string& name) const;
  std::string string_at(const std::string& name) const {
    const value_t* v = child(name);
    return v && v->kind == string ? v->text : std::string();
  }
  bool bool_at(const std::string& name) const {
    const value_t* v = child(name);
    return v && v->kind == boolean && v->flag;
  }
};

// A table entry; a struct of its own because a pair cannot hold the still incomplete value type.
struct named_value_t {
  named_value_t(std::string key, value_t value) : first(std::move(key)), second(std::move(value)) {}
  std::string first;
  value_t second;
};

const value_t* value_t::child(const std::string& name) const {
  for (const auto& [key, value] : children)
    if (key == name) return &value;
  return nullptr;
}

class description_reader_t {
 public:
  description_reader_t(const std::string& text, const std::string& path) : text_(text), path_(path) {}

  tl::expected<value_t, std::string> read() {
    value_t root;
    root.kind = value_t::table;
    value_t* current = &root;
    for (;;) {
      skip();
      if (at_end()) return root;
      if (text_.compare(pos_, 2, "[[") == 0) {
        pos_ += 2;
        const size_t close = text_.find("]]", pos_);
        if (close == std::string::npos) return fail("unterminated table header");
        const std::string name = text_.substr(pos_, close - pos_);
        pos_ = close + 2;
        current = open_array_table(root, name);
      } else if (text_[pos_] == '[') {
        const size_t close = text_.find(']', ++pos_);
        if (close == std::string::npos) return fail("unterminated table header");
        pos_ = close + 1;
        current = &scratch_;  // no pass key lives in a plain table
      } else {
        const std::string key = read_run(true);
        skip();
        if (at_end() || text_[pos_] != '=') return fail(fmt::sprintf("expected = after key '%s'", key));
        ++pos_;
        skip();
        auto value = read_value();
        if (!value) return tl::unexpected(value.error());
        current->children.emplace_back(key, std::move(*value));
      }
    }
  }

 private:
  bool at_end() const { return pos_ >= text_.size(); }

  tl::unexpected<std::string> fail(const std::string& what) const {
    return tl::unexpected(fmt::sprintf("%s:%d: error: %s", path_, line_, what));
  }

  void skip() {
    while (!at_end()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '#') {
        while (!at_end() && text_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  std::string read_run(bool key) {
    const size_t start = pos_;
    while (!at_end()) {
      const char c = text_[pos_];
      const bool word = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
      if (!(word || (key && (c == '.' || c == ':')))) break;
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }

  value_t* open_array_table(value_t& root, const std::string& name) {
    if (name != "shaders") return &scratch_;
    value_t* array = nullptr;
    for (auto& [key, value] : root.children)
      if (key == name && value.kind == value_t::array) array = &value;
    if (array == nullptr) {
      root.children.emplace_back(name, value_t{value_t::array, {}, false, {}, {}});
      array = &root.children.back().second;
    }
    array->items.push_back(value_t{value_t::table, {}, false, {}, {}});
    return &array->items.back();
  }

  tl::expected<value_t, std::string> read_value() {
    if (at_end()) return fail("unexpected end of file");
    value_t value;
    const char c = text_[pos_];
    if (c == '"') {
      const size_t close = text_.find('"', pos_ + 1);
      if (close == std::string::npos) return fail("unterminated string");
      value.kind = value_t::string;
      value.text = text_.substr(pos_ + 1, close - pos_ - 1);
      line_ += static_cast<int>(std::count(value.text.begin(), value.text.end(), '\n'));
      pos_ = close + 1;
    } else if (c == '[' || c == '{') {
      const bool is_array = c == '[';
      value.kind = is_array ? value_t::array : value_t::table;
      ++pos_;
      for (;;) {
        skip();
        if (at_end()) return value;
        if (text_[pos_] == (is_array ? ']' : '}')) {
          ++pos_;
          return value;
        }
        if (text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        std::string key;
        if (!is_array) {
          key = read_run(true);
          skip();
          if (at_end() || text_[pos_] != '=') return fail(fmt::sprintf("expected = after key '%s'", key));
          ++pos_;
          skip();
        }
        const size_t before = pos_;
        auto item = read_value();
        if (!item) return tl::unexpected(item.error());
        if (pos_ == before) return fail(fmt::sprintf("unexpected '%c'", text_[pos_]));
        if (is_array) {
          value.items.push_back(std::move(*item));
        } else {
          value.children.emplace_back(key, std::move(*item));
        }
      }
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.') {
      while (!at_end() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' ||
                           text_[pos_] == '+' || text_[pos_] == '-'))
        ++pos_;
    } else {
      const std::string word = read_run(false);
      if (!at_end() && text_[pos_] == '(') {  // int2(..), float4(..), color(..)
        const size_t close = text_.find(')', pos_);
        if (close == std::string::npos) return fail("unterminated vector");
        pos_ = close + 1;
      } else if (word == "true" || word == "false") {
        value.kind = value_t::boolean;
        value.flag = word == "true";
      } else {
        value.kind = value_t::string;
        value.text = word;
      }
    }
    return value;
  }

  const std::string& text_;
  std::string path_;
  size_t pos_ = 0;
  int line_ = 1;
  value_t scratch_;
};

tl::expected<std::string, std::string> read_text(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return tl::unexpected(fmt::sprintf("cannot read %s", path.string()));
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

tl::expected<std::vector<shader_entry_t>, std::string> parse_entry_list(const std::string& text,
                                                                        const std::string& path) {
  std::vector<shader_entry_t> out;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string stage, file, entry, extra;
    if (!(words >> stage)) continue;
    if (!(words >> file >> entry) || (words >> extra))
      return tl::unexpected(
          fmt::sprintf("%s:%d: error: expected '<stage> <file> <entry point>'", path, number));
    shader_entry_t e;
    bool known = false;
    for (auto s :
         {spirv_stage_t::vertex, spirv_stage_t::geometry, spirv_stage_t::pixel, spirv_stage_t::compute}) {
      if (stage == stage_word(s)) {
        e.stage = s;
        known = true;
      }
    }
    if (!known)
      return tl::unexpected(fmt::sprintf(
          "%s:%d: error: unknown stage '%s' (vertex, geometry, pixel or compute)", path, number, stage));
    e.file = normalize_content_path(file);
    e.entry_point = entry;
    e.origin = fmt::sprintf("%s:%d", path, number);
    out.push_back(e);
  }
  return out;
}

}  // namespace

const char* stage_word(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return "vertex";
    case spirv_stage_t::geometry:
      return "geometry";
    case spirv_stage_t::pixel:
      return "pixel";
    case spirv_stage_t::compute:
      return "compute";
  }
  return "";
}

tl::expected<std::vector<shader_entry_t>, std::string> parse_shader_description(const std::string& text,
                                                                                const std::string& path) {
  description_reader_t reader(text, path);
  auto root = reader.read();
  if (!root) return tl::unexpected(root.error());
  std::vector<shader_entry_t> out;
  const value_t* passes = root->child("shaders");
  if (passes == nullptr || passes->kind != value_t::array) return out;
  const std::string default_file = replace_extension(normalize_content_path(path), "hlsl");
  auto add = [&](spirv_stage_t stage, const value_t& pass, const std::string& file_key,
                 const std::string& entry) {
    const std::string file = pass.string_at(file_key);
    out.push_back({stage, file.empty() ? default_file : normalize_content_path(file), entry, path});
  };
  for (const auto& pass : passes->items) {
    if (pass.kind != value_t::table) continue;
    const std::string vertex = pass.string_at("vertexshader");
    if (!vertex.empty()) add(spirv_stage_t::vertex, pass, "vertexshader_filename", vertex);
    const std::string geometry = pass.string_at("geometryshader");
    if (!geometry.empty()) add(spirv_stage_t::geometry, pass, "geometryshader_filename", geometry);
    const std::string pixel = pass.string_at("pixelshader");
    if (!pixel.empty()) {
      if (pass.bool_at("fullscreen") || vertex.empty())
        out.push_back({spirv_stage_t::vertex, builtin_file, "VsQuad", path});
      add(spirv_stage_t::pixel, pass, "pixelshader_filename", pixel);
    }
    const std::string compute = pass.string_at("computeshader");
    if (!compute.empty()) add(spirv_stage_t::compute, pass, "computeshader_filename", compute);
  }
  return out;
}

tl::expected<std::vector<shader_entry_t>, std::string> find_shader_entries(const std::string& content_root) {
  std::vector<shader_entry_t> found;
  const fs::path root(content_root);
  if (fs::exists(root / builtin_file)) {
    found.push_back({spirv_stage_t::vertex, builtin_file, "VsQuad", "built-in"});
    for (const char* entry : builtin_pixel_shaders)
      found.push_back({spirv_stage_t::pixel, builtin_file, entry, "built-in"});
  }
  std::vector<fs::path> descriptions, projects;
  if (fs::is_directory(root)) {
    for (const auto& item : fs::recursive_directory_iterator(root)) {
      if (!item.is_regular_file() || item.path().extension() != ".toml") continue;
      (is_project(item.path()) ? projects : descriptions).push_back(item.path());
    }
  }
  std::sort(descriptions.begin(), descriptions.end());
  std::sort(projects.begin(), projects.end());
  for (const auto& description : descriptions) {
    auto text = read_text(description);
    if (!text) return tl::unexpected(text.error());
    if (text->find("shaders") == std::string::npos) continue;
    const std::string virtual_path = fs::relative(description, root).generic_string();
    auto passes = parse_shader_description(*text, virtual_path);
    if (!passes) return tl::unexpected(passes.error());
    found.insert(found.end(), passes->begin(), passes->end());
  }
  for (const auto& project : projects) {
    auto text = read_text(project);
    if (!text) return tl::unexpected(text.error());
    auto stages = parse_project_shaders(*text, fs::relative(project, root).generic_string());
    if (!stages) return tl::unexpected(stages.error());
    found.insert(found.end(), stages->begin(), stages->end());
  }
  if (fs::exists(root / entry_list_file)) {
    auto text = read_text(root / entry_list_file);
    if (!text) return tl::unexpected(text.error());
    auto listed = parse_entry_list(*text, entry_list_file);
    if (!listed) return tl::unexpected(listed.error());
    found.insert(found.end(), listed->begin(), listed->end());
  }

  // One cache key per file and entry point: the same entry point cannot serve two stages.
  std::map<std::pair<std::string, std::string>, shader_entry_t> unique;
  for (const auto& entry : found) {
    auto [it, inserted] = unique.try_emplace({entry.file, entry.entry_point}, entry);
    if (!inserted && it->second.stage != entry.stage)
      return tl::unexpected(fmt::sprintf("%s: error: %s:%s is a %s shader here and a %s shader in %s",
                                         entry.origin, entry.file, entry.entry_point, stage_word(entry.stage),
                                         stage_word(it->second.stage), it->second.origin));
  }
  std::vector<shader_entry_t> out;
  for (auto& [key, entry] : unique) out.push_back(entry);
  return out;
}

std::string normalize_content_path(const std::string& path) {
  std::string out;
  for (char c : path) {
    c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  while (!out.empty() && out.front() == '/') out.erase(out.begin());
  return out;
}
