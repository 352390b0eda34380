#include "files/filesystem.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "files/case_insensitive_paths.h"
#include "files/toml_file.h"
#include "files/zip_archive.h"
#include "platform/win32/file_dialog.h"
#include "platform/win32/files.h"
#include "platform/win32/module.h"
#include "platform/win32/resources.h"
#include "support/files.h"
#include "support/fw2/file_watcher.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/strings.h"

std::string to_virtual_path(const std::string& path) {
  std::string n = normalize_path(path);
  if (n.size() > 2 && n[1] == ':' && (n[2] == '/' || n[2] == '\\')) return n;
  if (!n.empty() && n[0] != '/') n.insert(n.begin(), '/');
  return n;
}

namespace {

// Every reader goes through here, so no file name read from content reaches the disk outside the
// program's directory.
bool refused(const std::string& path) {
  if (!path_climbs_above_root(path)) return false;
  LOG_WRN("Refusing a path that climbs above the program's directory: %s", path.c_str());
  return true;
}

// The one file system: mappings first, then the archive, then the disk.
class filesystem_impl_t final : public filesystem_t {
 public:
  explicit filesystem_impl_t(const std::string& exe_path);

  void shutdown() override {}
  void add_mappings(const path_mappings_t& mappings) override;
  bool mount_archive(const std::string& name) override;
  std::string get_base_dir() override { return base_dir_; }
  std::string get_exe_path() override { return exe_path_; }
  bool always_false() override { return false; }
  bool exists(const std::string& path) override;
  bool read_file(const std::string& path, byte_vector_t& bytes) override;
  bool read_text_file(const std::string& path, std::string& text) override;
  std::string resolve_local_path(const std::string& path, bool must_exist) override;
  std::string make_relative(const std::string& path) override;
  bool load_resource(const std::string& name, byte_vector_t& bytes) override;
  int64_t get_file_time(const std::string& path) override;
  bool create_directory(const std::string& path) override;
  std::string open_file_dialog(const std::string& title, const char* filter, const char* initial_dir,
                               uint32_t flags, void* owner) override;
  std::vector<std::pair<std::string, std::string>> list_pairs() override;
  std::vector<filesystem_file_t> find_files(const std::string& directory,
                                            const std::string& patterns) override;
  void poll_changes() override { fw2::poll(); }
  int watch_file(const void* owner, const std::string& path) override;
  void get_changed_files(const void* owner, std::vector<std::string>& out) override;
  int watch_file_callback(const std::string& path, bool call_now,
                          const std::function<void(const std::string&)>& callback) override;

 private:
  const std::string* find_mapping(const std::string& path) const;
  void find_in_directory(const std::string& local_dir, const std::string& suffix,
                         std::vector<filesystem_file_t>& found);

  std::unordered_map<std::string, std::string> mappings_;
  case_insensitive_paths_t disk_names_;
  zip_archive_t archive_;
  bool archive_mounted_ = false;
  std::string exe_path_;
  std::string base_dir_;
  std::unordered_map<std::string, std::string> watches_;
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::mutex mutex_;
};

filesystem_impl_t::filesystem_impl_t(const std::string& exe_path) : exe_path_(exe_path) {
  split_dir_name_ext(to_forward_slashes(exe_path), &base_dir_);
}

void filesystem_impl_t::add_mappings(const path_mappings_t& mappings) {
  for (const auto& [from, to] : mappings) mappings_[to_lower(from)] = to_lower(to);
}

const std::string* filesystem_impl_t::find_mapping(const std::string& path) const {
  auto it = mappings_.find(path);
  return it == mappings_.end() ? nullptr : &it->second;
}

bool filesystem_impl_t::mount_archive(const std::string& name) {
  std::string full = append_path_backslash(base_dir_, to_virtual_path(name));
  const std::string local = resolve_local_path(to_virtual_path(name), true);
  if (local.empty()) {
    LOG_WRN("Attempting to non-existant archive: %s", full.c_str());
    return false;
  }
  std::lock_guard lock(mutex_);
  // A failed open has already ended the previous archive, so nothing stays mounted.
  archive_mounted_ = archive_.open(local);
  if (!archive_mounted_) LOG_WRN("Error mounting archive: %s", name.c_str());
  return archive_mounted_;
}

// Names on the disk are matched without regard to case: the virtual paths and the mappings arrive
// lower-cased, the files keep the case they were written with.
std::string filesystem_impl_t::resolve_local_path(const std::string& path, bool must_exist) {
  if (refused(path)) return std::string();
  const std::string base = base_dir_.empty() ? std::string("/") : base_dir_;
  if (!must_exist) return disk_names_.find_existing_part(base, path);
  std::string local = disk_names_.find(base, path);
  if (local.empty() || !file_exists(local)) return std::string();
  return local;
}

bool filesystem_impl_t::exists(const std::string& path) {
  if (refused(path)) return false;
  std::string trimmed = trim_slashes(path);
  if (const std::string* mapped = find_mapping(path)) return !resolve_local_path(*mapped, true).empty();
  {
    std::lock_guard lock(mutex_);
    if (archive_mounted_) return archive_.locate(trimmed).has_value();
  }
  return !resolve_local_path(path, true).empty();
}

bool filesystem_impl_t::read_file(const std::string& path, byte_vector_t& bytes) {
  if (refused(path)) return false;
  std::string file = to_virtual_path(path);
  std::string trimmed = trim_slashes(path);
  if (const std::string* mapped = find_mapping(path)) {
    file = *mapped;
  } else {
    std::lock_guard lock(mutex_);
    if (archive_mounted_) {
      if (auto index = archive_.locate(trimmed)) {
        if (auto size = archive_.uncompressed_size(*index)) {
          bytes.resize(*size);
          if (archive_.extract(*index, bytes)) return true;
          bytes.clear();
          return false;
        }
      }
    }
  }
  std::string local = resolve_local_path(file, true);
  if (local.empty()) return false;
  // An empty file must not read as whatever the vector held before.
  bytes.clear();
  return read_whole_file(local, bytes);
}

bool filesystem_impl_t::read_text_file(const std::string& path, std::string& text) {
  byte_vector_t bytes;
  if (!read_file(path, bytes)) return false;
  text.assign(bytes.begin(), bytes.end());
  return true;
}

std::string filesystem_impl_t::make_relative(const std::string& path) {
  std::string n = normalize_path(path);
  std::string base = normalize_path(base_dir_);
  // Only a whole directory prefix counts: /a/bin is not below /a/b.
  if (n.compare(0, base.size(), base) != 0 ||
      (n.size() > base.size() && n[base.size()] != '/' && !base.empty() && base.back() != '/'))
    return n;
  std::string rest = n.substr(base.size());
  if (rest.empty() || rest[0] != '/') rest.insert(rest.begin(), '/');
  return rest;
}

bool filesystem_impl_t::load_resource(const std::string& name, byte_vector_t& bytes) {
  HRSRC resource = FindResourceA(nullptr, name.c_str(), RT_RCDATA);
  if (!resource) return false;
  HGLOBAL data = LoadResource(nullptr, resource);
  if (!data) return false;
  const void* locked = LockResource(data);
  DWORD size = SizeofResource(nullptr, resource);
  if (!locked || size == 0) return false;
  const auto* begin = static_cast<const uint8_t*>(locked);
  bytes.assign(begin, begin + size);
  return true;
}

int64_t filesystem_impl_t::get_file_time(const std::string& path) {
  std::string local = resolve_local_path(path, true);
  struct stat st {};
  if (local.empty() || ::stat(local.c_str(), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_mtime);
}

bool filesystem_impl_t::create_directory(const std::string& path) {
  std::string local = resolve_local_path(path, false);
  if (local.empty()) return false;
  int result = SHCreateDirectoryExA(nullptr, local.c_str(), nullptr);
  return result == 0 || result == static_cast<int>(ERROR_FILE_EXISTS) ||
         result == static_cast<int>(ERROR_ALREADY_EXISTS);
}

std::string filesystem_impl_t::open_file_dialog(const std::string& title, const char* filter,
                                                const char* initial_dir, uint32_t flags, void* owner) {
  std::string local_dir;
  if (initial_dir) {
    std::string candidate = resolve_local_path(initial_dir, false);
    if (directory_exists(candidate)) local_dir = replace_char(candidate, '/', '\\');
  }
  char file[MAX_PATH] = {};
  OPENFILENAMEA dialog;
  dialog.lStructSize = sizeof(OPENFILENAMEA);
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrFilter = filter;
  dialog.lpstrInitialDir = initial_dir ? local_dir.c_str() : nullptr;
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = flags;
  if (!GetOpenFileNameA(&dialog)) return std::string();
  return make_relative(file);
}

std::vector<std::pair<std::string, std::string>> filesystem_impl_t::list_pairs() { return pairs_; }

void filesystem_impl_t::find_in_directory(const std::string& local_dir, const std::string& suffix,
                                          std::vector<filesystem_file_t>& found) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(append_path_backslash(local_dir, "*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string child = append_path_backslash(local_dir, name);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      find_in_directory(child, suffix, found);
    } else if (name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      filesystem_file_t file;
      file.local_path = normalize_path(child);
      file.virtual_path = make_relative(file.local_path);
      file.file_name = name;
      split_dir_name_ext(file.virtual_path, nullptr, &file.stem);
      file.attributes = data.dwFileAttributes;
      found.push_back(std::move(file));
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::vector<filesystem_file_t> filesystem_impl_t::find_files(const std::string& directory,
                                                             const std::string& patterns) {
  std::vector<filesystem_file_t> found;
  for (const std::string& pattern : split_string(patterns, ';')) {
    std::string suffix = !pattern.empty() && pattern[0] == '*' ? pattern.substr(1) : pattern;
    find_in_directory(append_path_backslash(base_dir_, directory), suffix, found);
  }
  return found;
}

int filesystem_impl_t::watch_file(const void* owner, const std::string& path) {
  std::string local = resolve_local_path(path, true);
  if (local.empty()) return -1;
  watches_[local] = path;
  return fw2::add_watch(owner, local);
}

void filesystem_impl_t::get_changed_files(const void* owner, std::vector<std::string>& out) {
  out.clear();
  std::vector<std::string> locals;
  fw2::take_changes(owner, locals);
  for (const std::string& local : locals) {
    auto it = watches_.find(local);
    if (it != watches_.end())
      out.push_back(it->second);
    else
      LOG_INF("Unable to find resolved to local mapping for: %s", local.c_str());
  }
}

int filesystem_impl_t::watch_file_callback(const std::string& path, bool call_now,
                                           const std::function<void(const std::string&)>& callback) {
  if (call_now) callback(path);
  return 0;
}

}  // namespace

tl::expected<filesystem_t*, std::string> create_filesystem_at(const std::string& exe_path) {
  auto* filesystem = new filesystem_impl_t(exe_path);
  serial::set_default_filesystem(filesystem);
  return filesystem;
}

tl::expected<filesystem_t*, std::string> create_filesystem() {
  char exe_path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe_path, MAX_PATH);
  return create_filesystem_at(exe_path);
}
