#pragma once
// Files and directories over POSIX: CreateFileA for reading files and for
// watching directories, directory creation, and directory enumeration.

#include "platform/win32/handle.h"
#include "platform/win32/last_error.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// Opens an existing file for reading, or, with FILE_FLAG_BACKUP_SEMANTICS, an
// existing directory for change reads. '\' separates like '/'. Only
// OPEN_EXISTING is supported; no security attributes, no template.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, void* security_attributes, DWORD creation,
                   DWORD flags_and_attributes, HANDLE template_file);
// Low 32 bits of a file's size; the high part is stored when asked for.
DWORD GetFileSize(HANDLE file, DWORD* size_high);
// Reads up to count bytes at the file position; no overlapped reads.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped);

// Creates the directory and every missing parent. The path must be absolute.
// ERROR_ALREADY_EXISTS when the directory is there; ERROR_DIRECTORY when a
// file that is not a directory stands in the way.
int SHCreateDirectoryExA(HWND window, LPCSTR path, void* security_attributes);

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  char cFileName[MAX_PATH] = {};
};

// Enumerates the directory part of pattern; the name part is a wildcard
// pattern where "*.*" matches every name, as on Windows.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);
