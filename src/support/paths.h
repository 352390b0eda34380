#pragma once
// Path helpers. Paths inside the system use '/'; these turn '\' into '/', split paths into
// directory, stem and extension, and join them again.

#include <string>
#include <string_view>
#include <vector>

std::string to_forward_slashes(std::string_view path);
// The path up to its last '.' (or all of it), then '.', then the extension; a leading '.' of an
// extension longer than one character is dropped.
std::string replace_extension(std::string_view path, std::string_view extension);
// Without one leading and one trailing '/' or '\'.
std::string trim_slashes(std::string_view path);
// trim_slashes(a) + "/" + trim_slashes(b) in '/' form; a leading '/' of `a` (an absolute
// directory) is kept.
std::string join_paths(std::string_view a, std::string_view b);
// On the '/' form: directory = before the last '/', file = after it; without '/', directory is
// empty and file is the whole path. Either output may be null.
void split_dir_file(std::string_view path, std::string* directory, std::string* file = nullptr);
// split_dir_file, then split_first_dot of the file name (a.b.c gives stem a, extension b.c).
void split_dir_name_ext(std::string_view path, std::string* directory, std::string* stem = nullptr,
                        std::string* extension = nullptr);
// ASCII lower case, '\' to '/', runs of '/' collapsed.
std::string normalize_path(std::string_view path);
// Whether a "..", taken from the front ('/' and '\' both separate, "." and empty parts stay put),
// leaves the directory the path starts from: "../a", "a/../../b". A path that goes back down, such
// as "a/../b", does not.
bool path_climbs_above_root(std::string_view path);
// directory + '\' (unless empty or already ending in a separator) + name.
std::string append_path_backslash(std::string_view directory, std::string_view name);

// A parsed path: lower case, '/' form, directory with a trailing '/' unless empty, the stem up to
// the first '.', and the remaining dot-separated extension parts.
struct path_info_t {
  path_info_t() = default;
  explicit path_info_t(std::string_view path);
  // full = directory + stem + "." + extensions joined with ".".
  void rebuild();

  int valid = 1;
  std::string full;
  std::string directory;
  std::string stem;
  std::vector<std::string> extensions;
};
