#include "files/case_insensitive_paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <memory>

namespace {

std::string join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Two changes within one tick of the file-time clock leave the same times: a directory changed in
// the last two seconds may change again unseen, so its listing is read anew each time until then.
bool changed_recently(const struct stat& st) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - st.st_mtim.tv_sec < 2;
}

std::vector<std::string> split_components(std::string_view relative) {
  std::vector<std::string> components;
  std::string current;
  for (char c : relative) {
    if (c == '/' || c == '\\') {
      if (!current.empty()) components.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) components.push_back(std::move(current));
  return components;
}

}  // namespace

const case_insensitive_paths_t::listing_t* case_insensitive_paths_t::listing_locked(
    const std::string& directory) {
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    listings_.erase(directory);
    return nullptr;
  }
  const int64_t modified = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  const int64_t changed = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  auto found = listings_.find(directory);
  if (found != listings_.end() && !changed_recently(st) && found->second.device == st.st_dev &&
      found->second.inode == st.st_ino && found->second.modified_ns == modified &&
      found->second.changed_ns == changed)
    return &found->second;

  listing_t listing{
      static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), modified, changed, {}};
  struct close_dir_t {
    void operator()(DIR* dir) const { closedir(dir); }
  };
  std::unique_ptr<DIR, close_dir_t> dir(opendir(directory.c_str()));
  if (!dir) return nullptr;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") listing.names.push_back(name);
  }
  std::sort(listing.names.begin(), listing.names.end());
  return &(listings_[directory] = std::move(listing));
}

std::optional<std::string> case_insensitive_paths_t::match(const std::string& directory,
                                                           const std::string& component) {
  struct stat st {};
  if (component == "." || component == ".." || ::lstat(join(directory, component).c_str(), &st) == 0)
    return component;
  std::lock_guard lock(mutex_);
  const listing_t* listing = listing_locked(directory);
  if (!listing) return std::nullopt;
  for (const std::string& name : listing->names)
    if (same_ignoring_case(name, component)) return name;
  return std::nullopt;
}

std::string case_insensitive_paths_t::resolve(const std::string& base, std::string_view relative,
                                              bool whole) {
  std::string path = base;
  const std::vector<std::string> components = split_components(relative);
  for (size_t i = 0; i < components.size(); ++i) {
    std::optional<std::string> name = match(path, components[i]);
    if (!name) {
      if (whole) return std::string();
      for (size_t j = i; j < components.size(); ++j) path = join(path, components[j]);
      return path;
    }
    path = join(path, *name);
  }
  return path;
}

std::string case_insensitive_paths_t::find(const std::string& base, std::string_view relative) {
  return resolve(base, relative, true);
}

std::string case_insensitive_paths_t::find_existing_part(const std::string& base, std::string_view relative) {
  return resolve(base, relative, false);
}
