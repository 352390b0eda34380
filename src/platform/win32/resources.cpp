#include "platform/win32/resources.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct data_resource_t {
  std::string name;
  const unsigned char* bytes;
  size_t size;
};

// Each record is allocated on its own and never removed, so the handles given out stay valid.
struct resource_table_t {
  std::mutex mutex;
  std::vector<std::unique_ptr<data_resource_t>> resources;
};

resource_table_t& table() {
  static resource_table_t instance;
  return instance;
}

data_resource_t* as_resource(HRSRC handle) { return reinterpret_cast<data_resource_t*>(handle); }

}  // namespace

namespace win32 {

data_resource_registrar_t::data_resource_registrar_t(const char* name, const unsigned char* bytes,
                                                     size_t size) {
  std::lock_guard lock(table().mutex);
  table().resources.push_back(std::make_unique<data_resource_t>(data_resource_t{name, bytes, size}));
}

}  // namespace win32

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (module || !name || IS_INTRESOURCE(name) || type != RT_RCDATA) return nullptr;
  std::lock_guard lock(table().mutex);
  for (const auto& resource : table().resources) {
    if (resource->name == name) return reinterpret_cast<HRSRC>(resource.get());
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (module || !resource) return nullptr;
  return const_cast<unsigned char*>(as_resource(resource)->bytes);
}

void* LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (module || !resource) return 0;
  return static_cast<DWORD>(as_resource(resource)->size);
}
