#pragma once
// Directory-change reads over inotify. A read started with
// ReadDirectoryChangesW completes at the first GetOverlappedResult that finds
// changes queued for the directory; nothing runs in the background.

#include "platform/win32/files.h"

constexpr DWORD FILE_NOTIFY_CHANGE_FILE_NAME = 0x1;
constexpr DWORD FILE_NOTIFY_CHANGE_DIR_NAME = 0x2;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_WRITE = 0x10;

constexpr DWORD FILE_ACTION_ADDED = 1;
constexpr DWORD FILE_ACTION_REMOVED = 2;
constexpr DWORD FILE_ACTION_MODIFIED = 3;
constexpr DWORD FILE_ACTION_RENAMED_OLD_NAME = 4;
constexpr DWORD FILE_ACTION_RENAMED_NEW_NAME = 5;

struct OVERLAPPED {
  uintptr_t Internal = 0;
  uintptr_t InternalHigh = 0;
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = nullptr;
};

// Records are DWORD-aligned; FileNameLength counts bytes of UTF-16.
struct FILE_NOTIFY_INFORMATION {
  DWORD NextEntryOffset;
  DWORD Action;
  DWORD FileNameLength;
  char16_t FileName[1];
};

using LPOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD, DWORD, OVERLAPPED*);

// Only overlapped reads without completion routine and without subtree are
// supported; the directory keeps one outstanding read.
BOOL ReadDirectoryChangesW(HANDLE directory, void* buffer, DWORD length, BOOL watch_subtree, DWORD filter,
                           DWORD* bytes_returned, OVERLAPPED* overlapped,
                           LPOVERLAPPED_COMPLETION_ROUTINE routine);
// Completes the outstanding read when changes are queued (signalling its
// event); otherwise FALSE with ERROR_IO_INCOMPLETE. Waiting is not supported.
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes, BOOL wait);
