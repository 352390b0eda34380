#include "platform/win32/directory_changes.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/win32/events.h"
#include "platform/win32/file_objects.h"
#include "platform/win32/text_conversion.h"

namespace {

constexpr uintptr_t status_pending = 0x103;
constexpr size_t record_header_size = offsetof(FILE_NOTIFY_INFORMATION, FileName);

win32::directory_object_t* directory_of(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<win32::directory_object_t*>(win32::from_handle(handle));
}

uint32_t inotify_mask(DWORD filter) {
  uint32_t mask = 0;
  if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  // Saving, truncating and touching all change the last-write time.
  if (filter & FILE_NOTIFY_CHANGE_LAST_WRITE) mask |= IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB;
  return mask;
}

DWORD action_of(uint32_t mask) {
  if (mask & IN_CREATE) return FILE_ACTION_ADDED;
  if (mask & IN_DELETE) return FILE_ACTION_REMOVED;
  if (mask & IN_MOVED_FROM) return FILE_ACTION_RENAMED_OLD_NAME;
  if (mask & IN_MOVED_TO) return FILE_ACTION_RENAMED_NEW_NAME;
  return FILE_ACTION_MODIFIED;
}

void drain_events(win32::directory_object_t& directory, DWORD filter) {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t n = ::read(directory.inotify_fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t offset = 0; offset < n;) {
      inotify_event event;
      std::memcpy(&event, buffer + offset, sizeof(event));
      const char* name = buffer + offset + sizeof(inotify_event);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      // Events about the directory itself carry no name.
      if (event.len == 0 || (event.mask & (IN_Q_OVERFLOW | IN_IGNORED))) continue;
      bool is_directory = (event.mask & IN_ISDIR) != 0;
      if (is_directory && !(filter & FILE_NOTIFY_CHANGE_DIR_NAME)) continue;
      win32::directory_change_t change{action_of(event.mask), win32::widen_utf8(name)};
      // A large write arrives as many modifications; one record says it all.
      if (!directory.queued.empty() && directory.queued.back().action == change.action &&
          directory.queued.back().name == change.name)
        continue;
      directory.queued.push_back(std::move(change));
    }
  }
}

// Packs queued changes into the read's buffer; returns the bytes written.
DWORD pack_changes(win32::directory_object_t& directory) {
  auto* buffer = static_cast<char*>(directory.read_buffer);
  DWORD offset = 0;
  DWORD previous = 0;
  bool any = false;
  while (!directory.queued.empty()) {
    const win32::directory_change_t& change = directory.queued.front();
    DWORD name_bytes = static_cast<DWORD>(change.name.size() * sizeof(char16_t));
    DWORD size = static_cast<DWORD>((record_header_size + name_bytes + 3) & ~size_t{3});
    if (offset + size > directory.read_length) {
      // A record that can never fit would block the queue for good.
      if (!any) directory.queued.pop_front();
      break;
    }
    if (any) {
      DWORD next = offset - previous;
      std::memcpy(buffer + previous, &next, sizeof(DWORD));
    }
    DWORD zero = 0;
    std::memcpy(buffer + offset, &zero, sizeof(DWORD));
    std::memcpy(buffer + offset + 4, &change.action, sizeof(DWORD));
    std::memcpy(buffer + offset + 8, &name_bytes, sizeof(DWORD));
    std::memcpy(buffer + offset + record_header_size, change.name.data(), name_bytes);
    previous = offset;
    offset += size;
    any = true;
    directory.queued.pop_front();
  }
  return offset;
}

}  // namespace

BOOL ReadDirectoryChangesW(HANDLE handle, void* buffer, DWORD length, BOOL watch_subtree, DWORD filter,
                           DWORD* bytes_returned, OVERLAPPED* overlapped,
                           LPOVERLAPPED_COMPLETION_ROUTINE routine) {
  win32::directory_object_t* directory = directory_of(handle);
  if (!directory) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!buffer || length < record_header_size || watch_subtree || !overlapped || routine ||
      (reinterpret_cast<uintptr_t>(buffer) & 3) != 0 || inotify_mask(filter) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (directory->watch_descriptor < 0) {
    int wd = ::inotify_add_watch(directory->inotify_fd, directory->path.c_str(),
                                 inotify_mask(filter) | IN_ONLYDIR);
    if (wd < 0) {
      SetLastError(win32::error_from_errno(errno));
      return FALSE;
    }
    directory->watch_descriptor = wd;
    directory->filter = filter;
  }
  directory->read_buffer = buffer;
  directory->read_length = length;
  directory->read_overlapped = overlapped;
  overlapped->Internal = status_pending;
  overlapped->InternalHigh = 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* bytes, BOOL wait) {
  win32::directory_object_t* directory = directory_of(handle);
  if (!directory || !overlapped) {
    SetLastError(directory ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped->Internal != status_pending || directory->read_overlapped != overlapped) {
    // Already completed (or never started): report the earlier result again.
    if (bytes) *bytes = static_cast<DWORD>(overlapped->InternalHigh);
    return TRUE;
  }
  drain_events(*directory, directory->filter);
  while (directory->queued.empty()) {
    if (!wait) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    pollfd descriptor{directory->inotify_fd, POLLIN, 0};
    if (::poll(&descriptor, 1, -1) < 0 && errno != EINTR) {
      SetLastError(win32::error_from_errno(errno));
      return FALSE;
    }
    drain_events(*directory, directory->filter);
  }
  DWORD written = pack_changes(*directory);
  directory->read_buffer = nullptr;
  directory->read_overlapped = nullptr;
  overlapped->Internal = 0;
  overlapped->InternalHigh = written;
  if (bytes) *bytes = written;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
