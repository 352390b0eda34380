#pragma once
// Kernel objects behind file, directory and search handles.

#include <deque>
#include <string>
#include <vector>

#include "platform/win32/handle.h"

struct OVERLAPPED;

namespace win32 {

// An open file descriptor for reading.
class file_object_t : public kernel_object_t {
 public:
  explicit file_object_t(int fd) : fd(fd) {}
  ~file_object_t() override;
  int fd;
};

// One queued change of a watched directory, name in UTF-16.
struct directory_change_t {
  DWORD action = 0;
  std::u16string name;
};

// A directory opened for change reads: its own inotify descriptor, the changes
// read from it and not yet delivered, and the one outstanding read.
class directory_object_t : public kernel_object_t {
 public:
  explicit directory_object_t(std::string path) : path(std::move(path)) {}
  ~directory_object_t() override;

  std::string path;
  int inotify_fd = -1;
  int watch_descriptor = -1;
  DWORD filter = 0;
  std::deque<directory_change_t> queued;
  // The outstanding read, when one was started.
  void* read_buffer = nullptr;
  DWORD read_length = 0;
  OVERLAPPED* read_overlapped = nullptr;
};

// A directory enumeration started by FindFirstFileA.
class find_object_t : public kernel_object_t {
 public:
  std::vector<std::string> names;
  std::vector<DWORD> attributes;
  size_t next = 0;
};

}  // namespace win32
