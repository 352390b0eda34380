#pragma once
// A file system that passes every call on to another: test wrappers derive from it and override
// only the calls they change.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "files/filesystem.h"

namespace test_support {

class forwarding_filesystem_t : public filesystem_t {
 public:
  explicit forwarding_filesystem_t(filesystem_t& real) : real_(real) {}

  void shutdown() override { real_.shutdown(); }
  void add_mappings(const path_mappings_t& m) override { real_.add_mappings(m); }
  bool mount_archive(const std::string& name) override { return real_.mount_archive(name); }
  std::string get_base_dir() override { return real_.get_base_dir(); }
  std::string get_exe_path() override { return real_.get_exe_path(); }
  bool always_false() override { return real_.always_false(); }
  bool exists(const std::string& path) override { return real_.exists(path); }
  bool read_file(const std::string& path, byte_vector_t& bytes) override { return real_.read_file(path, bytes); }
  bool read_text_file(const std::string& path, std::string& text) override { return real_.read_text_file(path, text); }
  std::string resolve_local_path(const std::string& path, bool must_exist) override {
    return real_.resolve_local_path(path, must_exist);
  }
  std::string make_relative(const std::string& path) override { return real_.make_relative(path); }
  bool load_resource(const std::string& name, byte_vector_t& bytes) override { return real_.load_resource(name, bytes); }
  int64_t get_file_time(const std::string& path) override { return real_.get_file_time(path); }
  bool create_directory(const std::string& path) override { return real_.create_directory(path); }
  std::string open_file_dialog(const std::string& title, const char* filter, const char* initial_dir, uint32_t flags,
                               void* owner) override {
    return real_.open_file_dialog(title, filter, initial_dir, flags, owner);
  }
  std::vector<std::pair<std::string, std::string>> list_pairs() override { return real_.list_pairs(); }
  std::vector<filesystem_file_t> find_files(const std::string& directory, const std::string& patterns) override {
    return real_.find_files(directory, patterns);
  }
  void poll_changes() override { real_.poll_changes(); }
  int watch_file(const void* owner, const std::string& path) override { return real_.watch_file(owner, path); }
  void get_changed_files(const void* owner, std::vector<std::string>& out) override {
    real_.get_changed_files(owner, out);
  }
  int watch_file_callback(const std::string& path, bool call_now,
                          const std::function<void(const std::string&)>& callback) override {
    return real_.watch_file_callback(path, call_now, callback);
  }

 protected:
  filesystem_t& real_;
};

}  // namespace test_support
