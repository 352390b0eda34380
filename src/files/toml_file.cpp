#include "files/toml_file.h"

#include <atomic>
#include <string_view>

#include <fmt/printf.h>

#include "files/filesystem.h"

namespace serial {

namespace {
std::atomic<filesystem_t*> default_filesystem_pointer{nullptr};
}

void set_default_filesystem(filesystem_t* filesystem) { default_filesystem_pointer = filesystem; }

filesystem_t* default_filesystem() { return default_filesystem_pointer; }

parse_result_t load_toml(filesystem_t& filesystem, const std::string& path) {
  if (path.size() < 4 || path.compare(path.size() - 4, 4, "toml") != 0)
    return tl::unexpected(std::string("unsupported extension"));
  byte_vector_t bytes;
  if (!filesystem.read_file(path, bytes)) return tl::unexpected(fmt::sprintf("error reading file: %s", path));
  return parse_text(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

parse_result_t load_toml(const std::string& path) {
  filesystem_t* filesystem = default_filesystem();
  if (!filesystem) {
    if (path.size() < 4 || path.compare(path.size() - 4, 4, "toml") != 0)
      return tl::unexpected(std::string("unsupported extension"));
    return tl::unexpected(fmt::sprintf("error reading file: %s", path));
  }
  return load_toml(*filesystem, path);
}

}  // namespace serial
