#pragma once
// GNU Rocket's player-side sync interface: a device owns named tracks of keys read from track
// files, and a track gives an interpolated value at a fractional row. The device is not locked:
// callers serialise sync_get_track; sync_get_val only reads its track.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How the value moves from a key to the next one.
enum key_type : uint8_t { KEY_STEP = 0, KEY_LINEAR = 1, KEY_SMOOTH = 2, KEY_RAMP = 3 };

struct track_key {
  int32_t row = 0;
  float value = 0.0f;
  key_type type = KEY_STEP;  // other values are kept as read and evaluate to 0
};

struct sync_track {
  std::string name;
  std::vector<track_key> keys;  // sorted by row, one key per row
};

// Stand-ins for fopen, fread and fclose through which track files are read.
struct sync_io_cb {
  void* (*open)(const char* filename, const char* mode) = nullptr;
  size_t (*read)(void* ptr, size_t size, size_t nitems, void* stream) = nullptr;
  int (*close)(void* stream) = nullptr;
};

struct sync_device;

// base is the prefix of every track file path, e.g. "data/sync/". Returns null without a base.
sync_device* sync_create_device(const char* base);
void sync_destroy_device(sync_device* device);
// Replaces the file functions (the C runtime's by default); a callback left null keeps its default.
void sync_set_io_cb(sync_device* device, sync_io_cb* cb);
// Finds the track, or creates it and reads its file once; a missing file leaves it without keys.
const sync_track* sync_get_track(sync_device* device, const char* name);
// 0 for a track without keys; before the first key its value, after the last key its value.
double sync_get_val(const sync_track* track, double row);
