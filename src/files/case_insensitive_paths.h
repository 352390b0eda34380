#pragma once
// Finds files below a directory whatever the letter case of their names: productions are made on a
// disk that ignores case, and their paths are lower-cased on the way in, while this disk keeps the
// case it was given. Directory listings are cached and read again once the directory changed.
//
// Of two names that differ only in case, the one whose case matches exactly wins, else the first
// in byte order (so "FOO.txt" before "Foo.txt" before "foo.TXT"): the same file every time.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class case_insensitive_paths_t {
 public:
  // The existing local path `base`/`relative`, each component of `relative` matched without regard
  // to ASCII case; empty when some component has no match. `base` is taken as it is.
  std::string find(const std::string& base, std::string_view relative);
  // As find, for as many leading components as exist; the rest is appended as given (a directory
  // still to be made).
  std::string find_existing_part(const std::string& base, std::string_view relative);

 private:
  struct listing_t {
    // What identifies this state of the directory; any entry added, removed or renamed changes it.
    uint64_t device = 0, inode = 0;
    int64_t modified_ns = 0, changed_ns = 0;
    std::vector<std::string> names;  // in byte order
  };

  // The component's name in the directory, or none; exact case first.
  std::optional<std::string> match(const std::string& directory, const std::string& component);
  const listing_t* listing_locked(const std::string& directory);
  std::string resolve(const std::string& base, std::string_view relative, bool whole);

  std::mutex mutex_;
  std::unordered_map<std::string, listing_t> listings_;
};
