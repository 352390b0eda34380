// Feeds arbitrary bytes to the text reader, with and without a source name,
// and walks the resulting tree through the lookups loaders use.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/serial_reader.h"

namespace {

size_t walk(const serial::value_t& node, int depth) {
  size_t count = 1;
  node.get_int("x", 0);
  node.get_any("y", {serial::value_kind_t::int_, serial::value_kind_t::float_})
      .get("z", serial::value_kind_t::table);
  for (const auto& [name, child] : node.children) count += walk(*child, depth + 1);
  for (const auto& item : node.items) count += walk(*item, depth + 1);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  static const std::string named = "fuzz.toml";
  static const std::string unnamed;
  auto result = serial::parse_text(text, size % 2 ? named : unnamed);
  if (result) {
    if ((*result)->kind != serial::value_kind_t::table) __builtin_trap();
    walk(**result, 0);
  } else if (result.error().empty()) {
    __builtin_trap();
  }
  return 0;
}
