#include "platform/win32/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

std::string executable_path() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<size_t>(length));
}

std::string canonical(const char* path) {
  char resolved[PATH_MAX];
  if (!realpath(path, resolved)) return {};
  return resolved;
}

// The program's instance and its loaded module are one handle, as on Windows.
HMODULE own_module() {
  static void* const handle = dlopen(nullptr, RTLD_NOW);
  return static_cast<HMODULE>(handle);
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (module || !buffer || size == 0) return 0;
  std::string path = executable_path();
  size_t copied = std::min<size_t>(path.size(), size - 1);
  std::memcpy(buffer, path.data(), copied);
  buffer[copied] = '\0';
  return static_cast<DWORD>(copied);
}

HMODULE GetModuleHandleA(LPCSTR name) { return name ? nullptr : own_module(); }

HMODULE LoadLibraryA(LPCSTR path) {
  if (path) {
    std::string wanted = canonical(path);
    if (wanted.empty() || wanted != canonical(executable_path().c_str())) return nullptr;
  }
  return own_module();
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<FARPROC>(dlsym(static_cast<void*>(module), name));
}
