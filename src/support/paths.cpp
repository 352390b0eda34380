#include "support/paths.h"

#include "support/strings.h"

namespace {

bool is_slash(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string to_forward_slashes(std::string_view path) { return replace_char(path, '\\', '/'); }

std::string replace_extension(std::string_view path, std::string_view extension) {
  // Only a dot of the file name counts; one in a directory name ("v1.2/x") is not an extension.
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of("/\\");
  std::string out(dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)
                      ? path.substr(0, dot)
                      : path);
  if (extension.size() > 1 && extension.front() == '.') extension.remove_prefix(1);
  out += '.';
  out += extension;
  return out;
}

std::string trim_slashes(std::string_view path) {
  if (!path.empty() && is_slash(path.front())) path.remove_prefix(1);
  if (!path.empty() && is_slash(path.back())) path.remove_suffix(1);
  return std::string(path);
}

std::string join_paths(std::string_view a, std::string_view b) {
  // An absolute first part (the executable's directory) stays absolute.
  bool absolute = !a.empty() && a.front() == '/';
  std::string head = trim_slashes(a);
  std::string out = absolute ? "/" + head : head;
  if (!absolute || !head.empty()) out += '/';
  out += trim_slashes(b);
  return to_forward_slashes(out);
}

void split_dir_file(std::string_view path, std::string* directory, std::string* file) {
  std::string forward = to_forward_slashes(path);
  size_t slash = forward.find_last_of('/');
  if (slash == std::string::npos) {
    if (directory) directory->clear();
    if (file) *file = forward;
    return;
  }
  if (directory) *directory = forward.substr(0, slash);
  if (file) *file = forward.substr(slash + 1);
}

void split_dir_name_ext(std::string_view path, std::string* directory, std::string* stem,
                        std::string* extension) {
  std::string file;
  split_dir_file(path, directory, &file);
  std::string head, tail;
  split_first_dot(file, head, tail);
  if (stem) *stem = std::move(head);
  if (extension) *extension = std::move(tail);
}

std::string normalize_path(std::string_view path) {
  std::string lower = to_forward_slashes(to_lower(path));
  std::string out;
  out.reserve(lower.size());
  for (char c : lower) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string append_path_backslash(std::string_view directory, std::string_view name) {
  std::string out(directory);
  if (!out.empty() && !is_slash(out.back())) out += '\\';
  out += name;
  return out;
}

path_info_t::path_info_t(std::string_view path) {
  full = to_forward_slashes(to_lower(path));
  std::string file;
  split_dir_file(full, &directory, &file);
  std::string rest;
  split_first_dot(file, stem, rest);
  extensions = split_string(rest, '.');
  if (!directory.empty()) directory += '/';
}

void path_info_t::rebuild() {
  full = directory + stem;
  // No trailing dot without an extension: unlike Windows, Linux does not strip it when opening.
  if (!extensions.empty()) full += "." + join_strings(extensions, ".");
}

bool path_climbs_above_root(std::string_view path) {
  size_t depth = 0;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (depth == 0) return true;
      --depth;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return false;
}
