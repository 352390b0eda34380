#include "support/fw2/file_watcher.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/win32/events.h"
#include "platform/win32/perf_counter.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/strings.h"

namespace fw2 {
namespace {

constexpr DWORD watched_changes = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

struct watcher_state_t {
  std::unordered_map<std::string, std::unique_ptr<directory_watch_t>> directories;
  std::unordered_map<const file_watch_t*, uint32_t> pending;
  std::unordered_map<const void*, std::vector<std::string>> queues;
  uint32_t next_id = 0;
};

watcher_state_t& state() {
  static watcher_state_t instance;
  return instance;
}

bool start_read(directory_watch_t& watch) {
  return ReadDirectoryChangesW(watch.handle, watch.buffer, notify_buffer_size, FALSE, watched_changes,
                               nullptr, &watch.overlapped, nullptr) != FALSE;
}

bool equal_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

void harvest(directory_watch_t& watch, DWORD bytes, uint32_t now) {
  // A completed read of no bytes (an overflow) leaves the buffer's old records behind.
  size_t offset = 0;
  while (bytes > 0 && offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) <= bytes) {
    FILE_NOTIFY_INFORMATION record;
    std::memcpy(&record, watch.buffer + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
    size_t name_offset = offset + offsetof(FILE_NOTIFY_INFORMATION, FileName);
    size_t units = std::min<size_t>(record.FileNameLength, bytes - name_offset) / 2;
    std::u16string name16(units, u'\0');
    std::memcpy(name16.data(), watch.buffer + name_offset, units * 2);
    std::string name;
    if (to_utf8_n(name16.data(), units, name)) {
      name = to_forward_slashes(name);
      for (const auto& file : watch.files)
        if (equal_ignoring_case(file->file_name, name)) state().pending[file.get()] = now;
    }
    if (record.NextEntryOffset == 0) break;
    offset += record.NextEntryOffset;
  }
}

}  // namespace

directory_watch_t::~directory_watch_t() {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
}

directory_watch_t* get_directory_watch(const std::string& path) {
  std::string directory;
  split_dir_file(to_forward_slashes(path), &directory, nullptr);
  auto& directories = state().directories;
  if (auto it = directories.find(directory); it != directories.end()) return it->second.get();
  auto watch = std::make_unique<directory_watch_t>();
  watch->handle = CreateFileA(directory.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  watch->overlapped = OVERLAPPED{};
  watch->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!start_read(*watch)) {
    LOG_WRN("ReadDirectoryChangesW failed with: %x", GetLastError());
    return nullptr;
  }
  directory_watch_t* result = watch.get();
  directories.emplace(directory, std::move(watch));
  return result;
}

int add_watch(const void* owner, const std::string& path) {
  directory_watch_t* watch = get_directory_watch(path);
  if (!watch) return -1;
  int id = static_cast<int>(state().next_id++);
  std::string file_name;
  split_dir_file(to_forward_slashes(path), nullptr, &file_name);
  watch->files.push_back(std::make_unique<file_watch_t>(file_watch_t{path, file_name, owner}));
  return id;
}

void poll() { poll_at(timeGetTime()); }

void poll_at(uint32_t now) {
  auto& pending = state().pending;
  for (auto it = pending.begin(); it != pending.end();) {
    if (static_cast<uint32_t>(now - it->second) > quiet_time_ms) {
      state().queues[it->first->owner].push_back(it->first->path);
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [directory, watch] : state().directories) {
    DWORD bytes = 0;
    if (!GetOverlappedResult(watch->handle, &watch->overlapped, &bytes, FALSE)) continue;
    harvest(*watch, bytes, now);
    ResetEvent(watch->overlapped.hEvent);
    if (!start_read(*watch)) {
      // Without a new read the old result would be harvested again at every poll.
      watch->overlapped.InternalHigh = 0;
      LOG_WRN("ReadDirectoryChangesW failed with: %x", GetLastError());
    }
  }
}

void take_changes(const void* owner, std::vector<std::string>& out) {
  out.clear();
  auto& queues = state().queues;
  if (auto it = queues.find(owner); it != queues.end()) {
    out = std::move(it->second);
    queues.erase(it);
  }
}

}  // namespace fw2
