#pragma once
// Watches files for changes on disk and queues each changed file's path for
// the owner that registered it, once the file has been quiet for over a second.
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/directory_changes.h"

namespace fw2 {

constexpr DWORD notify_buffer_size = 16384;
// A change fires once its file has been quiet for longer than this.
constexpr uint32_t quiet_time_ms = 1000;

// One registration of one file.
struct file_watch_t {
  std::string path;       // local file path as registered
  std::string file_name;  // the part after the last '/'
  const void* owner = nullptr;
};

// One watched directory with its one outstanding change read.
struct directory_watch_t {
  directory_watch_t() = default;
  directory_watch_t(const directory_watch_t&) = delete;
  directory_watch_t& operator=(const directory_watch_t&) = delete;
  ~directory_watch_t();

  HANDLE handle = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  alignas(DWORD) uint8_t buffer[notify_buffer_size] = {};
  std::vector<std::unique_ptr<file_watch_t>> files;
};

// Registers the file for the owner; its id, or -1 when the directory cannot be watched.
int add_watch(const void* owner, const std::string& path);
// The watch of the path's directory, created on first use; null when it cannot be watched.
directory_watch_t* get_directory_watch(const std::string& path);
// Fires due changes into the owner queues, then harvests completed reads.
void poll();
// The same at a given time of the millisecond clock.
void poll_at(uint32_t now);
// Replaces out with the owner's queued paths, in queue order, and drops the queue.
void take_changes(const void* owner, std::vector<std::string>& out);

}  // namespace fw2
