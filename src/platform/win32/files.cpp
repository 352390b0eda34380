#include "platform/win32/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/win32/file_objects.h"

namespace win32 {

file_object_t::~file_object_t() {
  if (fd >= 0) ::close(fd);
}

directory_object_t::~directory_object_t() {
  if (inotify_fd >= 0) ::close(inotify_fd);
}

}  // namespace win32

namespace {

std::string posix_path(LPCSTR path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

DWORD attributes_of(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, void* security_attributes, DWORD creation,
                   DWORD flags_and_attributes, HANDLE template_file) {
  if (!path || creation != OPEN_EXISTING || security_attributes || template_file) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string local = posix_path(path);
  struct stat st {};
  if (::stat(local.c_str(), &st) != 0) {
    SetLastError(win32::error_from_errno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (S_ISDIR(st.st_mode)) {
    // Directories open only for change reads, as on Windows.
    if (!(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
      SetLastError(win32::error_from_errno(errno));
      return INVALID_HANDLE_VALUE;
    }
    auto* directory = new win32::directory_object_t(local);
    directory->inotify_fd = fd;
    SetLastError(ERROR_SUCCESS);
    return win32::to_handle(directory);
  }
  if (!(access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(win32::error_from_errno(errno));
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return win32::to_handle(new win32::file_object_t(fd));
}

DWORD GetFileSize(HANDLE file, DWORD* size_high) {
  auto* object = file && file != INVALID_HANDLE_VALUE
                     ? dynamic_cast<win32::file_object_t*>(win32::from_handle(file))
                     : nullptr;
  struct stat st {};
  if (!object || ::fstat(object->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size_high) *size_high = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped) {
  auto* object = file && file != INVALID_HANDLE_VALUE
                     ? dynamic_cast<win32::file_object_t*>(win32::from_handle(file))
                     : nullptr;
  if (read) *read = 0;
  if (!object || overlapped) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // read() may return short; keep going until the count or the end of file.
  DWORD total = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (total < count) {
    ssize_t n = ::read(object->fd, bytes + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(win32::error_from_errno(errno));
      if (read) *read = total;
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (read) *read = total;
  return TRUE;
}

int SHCreateDirectoryExA(HWND window, LPCSTR path, void* security_attributes) {
  if (!path || path[0] == '\0') return static_cast<int>(ERROR_BAD_PATHNAME);
  std::string local = posix_path(path);
  if (local[0] != '/') return static_cast<int>(ERROR_BAD_PATHNAME);
  while (local.size() > 1 && local.back() == '/') local.pop_back();
  struct stat st {};
  if (::stat(local.c_str(), &st) == 0)
    return static_cast<int>(S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_DIRECTORY);
  // Create each missing component from the root down.
  for (size_t slash = local.find('/', 1);; slash = local.find('/', slash + 1)) {
    std::string prefix = local.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
      return static_cast<int>(win32::error_from_errno(errno));
    if (::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return static_cast<int>(slash == std::string::npos ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    if (slash == std::string::npos) break;
  }
  return static_cast<int>(ERROR_SUCCESS);
}

namespace {

bool fill_find_data(win32::find_object_t* find, WIN32_FIND_DATAA* data) {
  if (find->next >= find->names.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  const std::string& name = find->names[find->next];
  data->dwFileAttributes = find->attributes[find->next];
  size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
  std::memcpy(data->cFileName, name.data(), length);
  data->cFileName[length] = '\0';
  ++find->next;
  return true;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string local = posix_path(pattern);
  size_t slash = local.rfind('/');
  std::string directory = slash == std::string::npos ? "." : local.substr(0, slash);
  if (directory.empty()) directory = "/";
  std::string glob = slash == std::string::npos ? local : local.substr(slash + 1);
  if (glob == "*.*") glob = "*";
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) {
    SetLastError(win32::error_from_errno(errno));
    return INVALID_HANDLE_VALUE;
  }
  auto* find = new win32::find_object_t;
  // Windows lists "." and ".." as well; callers skip them.
  while (dirent* entry = ::readdir(dir)) {
    if (::fnmatch(glob.c_str(), entry->d_name, 0) != 0) continue;
    struct stat st {};
    std::string full = directory + "/" + entry->d_name;
    if (::stat(full.c_str(), &st) != 0) continue;
    find->names.push_back(entry->d_name);
    find->attributes.push_back(attributes_of(st));
  }
  ::closedir(dir);
  if (!fill_find_data(find, data)) {
    delete find;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return win32::to_handle(find);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  auto* object = find && find != INVALID_HANDLE_VALUE
                     ? dynamic_cast<win32::find_object_t*>(win32::from_handle(find))
                     : nullptr;
  if (!object || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return fill_find_data(object, data) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE find) {
  auto* object = find && find != INVALID_HANDLE_VALUE
                     ? dynamic_cast<win32::find_object_t*>(win32::from_handle(find))
                     : nullptr;
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete object;
  return TRUE;
}
