#include "hlsl_declarations.h"

#include <algorithm>
#include <regex>
#include <set>
#include <vector>

namespace {

// The preprocessed text without its #line directives, and the origin of every line of it.
struct mapped_text_t {
  std::string text;
  std::vector<size_t> line_starts;
  std::vector<hlsl_location_t> origins;

  hlsl_location_t origin_of(size_t position) const {
    auto it = std::upper_bound(line_starts.begin(), line_starts.end(), position);
    const size_t index = static_cast<size_t>(it - line_starts.begin()) - 1;
    return origins[index];
  }
};

mapped_text_t map_lines(const std::string& preprocessed, const std::string& default_file) {
  static const std::regex line_directive(R"re(^\s*#\s*line\s+(\d+)(?:\s+"([^"]*)")?)re");
  mapped_text_t mapped;
  hlsl_location_t current{default_file, 1};
  size_t start = 0;
  while (start <= preprocessed.size()) {
    size_t end = preprocessed.find('\n', start);
    if (end == std::string::npos) end = preprocessed.size();
    const std::string line = preprocessed.substr(start, end - start);
    std::smatch match;
    if (std::regex_search(line, match, line_directive)) {
      current.line = std::stoi(match[1].str());
      if (match[2].matched) current.file = match[2].str();
      while (current.file.rfind("./", 0) == 0) current.file.erase(0, 2);
    } else {
      mapped.line_starts.push_back(mapped.text.size());
      mapped.origins.push_back(current);
      mapped.text += line;
      mapped.text += '\n';
      ++current.line;
    }
    start = end + 1;
  }
  if (mapped.line_starts.empty()) {
    mapped.line_starts.push_back(0);
    mapped.origins.push_back(current);
  }
  return mapped;
}

void scan_resources(const mapped_text_t& mapped, hlsl_declarations_t& out) {
  static const std::regex resource(
      R"(\b(Texture1D|Texture1DArray|Texture2D|Texture2DArray|Texture2DMS|Texture2DMSArray|Texture3D|TextureCube|)"
      R"(TextureCubeArray|Buffer|RWBuffer|RWTexture1D|RWTexture1DArray|RWTexture2D|RWTexture2DArray|RWTexture3D|)"
      R"(StructuredBuffer|RWStructuredBuffer|AppendStructuredBuffer|ConsumeStructuredBuffer|ByteAddressBuffer|)"
      R"(RWByteAddressBuffer|SamplerState|SamplerComparisonState)\s*(<[^;{}]*?>)?\s+(\w+))");
  for (auto it = std::sregex_iterator(mapped.text.begin(), mapped.text.end(), resource);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& match = *it;
    out.resources[match[3].str()] = {match[1].str(),
                                     mapped.origin_of(static_cast<size_t>(match.position(3)))};
  }
}

void scan_cbuffers(const mapped_text_t& mapped, hlsl_declarations_t& out) {
  static const std::regex cbuffer(R"(\bcbuffer\s+(\w+)[^{]*\{([^}]*)\})");
  static const std::regex word(R"(\w+)");
  static const std::set<std::string> modifiers = {"row_major", "column_major", "precise", "uniform",
                                                  "static",    "const",        "linear",  "nointerpolation"};
  for (auto it = std::sregex_iterator(mapped.text.begin(), mapped.text.end(), cbuffer);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& match = *it;
    const std::string name = match[1].str();
    out.cbuffers[name] = mapped.origin_of(static_cast<size_t>(match.position(1)));
    const std::string body = match[2].str();
    const size_t body_start = static_cast<size_t>(match.position(2));
    size_t statement_start = 0;
    while (statement_start < body.size()) {
      size_t statement_end = body.find(';', statement_start);
      if (statement_end == std::string::npos) statement_end = body.size();
      std::string statement = body.substr(statement_start, statement_end - statement_start);
      // Drop packoffset and array sizes; keep the type and the declared names.
      if (size_t colon = statement.find(':'); colon != std::string::npos) statement.resize(colon);
      std::string type;
      for (auto w = std::sregex_iterator(statement.begin(), statement.end(), word);
           w != std::sregex_iterator(); ++w) {
        const std::string token = w->str();
        const size_t at = static_cast<size_t>(w->position());
        const bool in_brackets =
            std::count(statement.begin(), statement.begin() + static_cast<long>(at), '[') >
            std::count(statement.begin(), statement.begin() + static_cast<long>(at), ']');
        if (in_brackets || modifiers.count(token)) continue;
        if (type.empty()) {
          type = token;
          continue;
        }
        out.members[name][token] = {type, mapped.origin_of(body_start + statement_start + at)};
      }
      statement_start = statement_end + 1;
    }
  }
}

}  // namespace

hlsl_location_t hlsl_declarations_t::locate(const std::string& cbuffer, const std::string& member) const {
  if (auto b = members.find(cbuffer); b != members.end()) {
    if (auto m = b->second.find(member); m != b->second.end()) return m->second.where;
  }
  if (auto b = cbuffers.find(cbuffer); b != cbuffers.end()) return b->second;
  return {};
}

hlsl_declarations_t scan_preprocessed_hlsl(const std::string& text, const std::string& default_file) {
  const mapped_text_t mapped = map_lines(text, default_file);
  hlsl_declarations_t out;
  scan_resources(mapped, out);
  scan_cbuffers(mapped, out);
  return out;
}
