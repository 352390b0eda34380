#pragma once
// The virtual file system: path mappings, one content archive next to the
// executable, the local disk below it, data resources and watched files.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

// A file found by find_files.
struct filesystem_file_t {
  std::string stem;          // file name up to its first '.'
  std::string file_name;     // as found
  std::string virtual_path;  // the local path made relative
  std::string local_path;    // normalised
  uint32_t attributes = 0;   // Windows file attributes
};

using byte_vector_t = std::vector<uint8_t>;
using path_mappings_t = std::unordered_map<std::string, std::string>;

// Every file the player reads goes through this one object.
class filesystem_t {
 public:
  virtual void shutdown() = 0;
  virtual void add_mappings(const path_mappings_t& mappings) = 0;
  virtual bool mount_archive(const std::string& name) = 0;
  virtual std::string get_base_dir() = 0;
  virtual std::string get_exe_path() = 0;
  virtual bool always_false() = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool read_file(const std::string& path, byte_vector_t& bytes) = 0;
  virtual bool read_text_file(const std::string& path, std::string& text) = 0;
  virtual std::string resolve_local_path(const std::string& path, bool must_exist) = 0;
  virtual std::string make_relative(const std::string& path) = 0;
  virtual bool load_resource(const std::string& name, byte_vector_t& bytes) = 0;
  virtual int64_t get_file_time(const std::string& path) = 0;
  virtual bool create_directory(const std::string& path) = 0;
  // initial_dir may be null; owner is the owning window handle.
  virtual std::string open_file_dialog(const std::string& title, const char* filter, const char* initial_dir,
                                       uint32_t flags, void* owner) = 0;
  virtual std::vector<std::pair<std::string, std::string>> list_pairs() = 0;
  virtual std::vector<filesystem_file_t> find_files(const std::string& directory,
                                                    const std::string& patterns) = 0;
  virtual void poll_changes() = 0;
  virtual int watch_file(const void* owner, const std::string& path) = 0;
  virtual void get_changed_files(const void* owner, std::vector<std::string>& out) = 0;
  virtual int watch_file_callback(const std::string& path, bool call_now,
                                  const std::function<void(const std::string&)>& callback) = 0;
  virtual ~filesystem_t() = default;
};

// Builds the file system from the executable's own path. The newest one also
// becomes the file system that serial::load_toml(path) reads through.
tl::expected<filesystem_t*, std::string> create_filesystem();

// The same with an explicit executable path (tests place a fake executable).
tl::expected<filesystem_t*, std::string> create_filesystem_at(const std::string& exe_path);

// Virtual form of a path: normalised, '/'-rooted unless it names a drive.
std::string to_virtual_path(const std::string& path);
