#include <cstdio>
#include <memory>
#include <unordered_map>

#include "libs/rocket/sync.h"
#include "libs/rocket/sync_track_path.h"
#include "libs/rocket/sync_track_reader.h"

namespace {

void* stdio_open(const char* filename, const char* mode) { return std::fopen(filename, mode); }
size_t stdio_read(void* ptr, size_t size, size_t nitems, void* stream) {
  return std::fread(ptr, size, nitems, static_cast<FILE*>(stream));
}
int stdio_close(void* stream) { return std::fclose(static_cast<FILE*>(stream)); }

}  // namespace

struct sync_device {
  std::string base;
  sync_io_cb io{&stdio_open, &stdio_read, &stdio_close};
  std::unordered_map<std::string, std::unique_ptr<sync_track>> tracks;
};

sync_device* sync_create_device(const char* base) {
  if (base == nullptr) return nullptr;
  auto* device = new sync_device;
  device->base = base;
  return device;
}

void sync_destroy_device(sync_device* device) { delete device; }

void sync_set_io_cb(sync_device* device, sync_io_cb* cb) {
  if (device == nullptr || cb == nullptr) return;
  if (cb->open) device->io.open = cb->open;
  if (cb->read) device->io.read = cb->read;
  if (cb->close) device->io.close = cb->close;
}

const sync_track* sync_get_track(sync_device* device, const char* name) {
  if (device == nullptr || name == nullptr) return nullptr;
  auto [it, created] = device->tracks.try_emplace(name);
  if (created) {
    auto track = std::make_unique<sync_track>();
    track->name = name;
    track->keys = read_track_keys(device->io, sync_track_path(device->base, name).c_str());
    it->second = std::move(track);
  }
  return it->second.get();
}
