#pragma once
// The sync-track manager: sync tracks sampled at the engine time, for shader constants and the
// per-frame copy of the "system:track.%d" tracks into engine variables.

#include <string>

#include <tl/expected.hpp>

struct sync_track;

class rocket_manager_t {
 public:
  virtual ~rocket_manager_t() = default;
  // The track's value at the current engine time; the track's file is read on first use.
  virtual float get_value(const std::string& name) = 0;
  // The track of a name, for per-frame reads without the lookup; the manager owns it. Null
  // without a device.
  virtual const sync_track* find_track(const std::string& name) = 0;
  virtual float get_value(const sync_track* track) = 0;
  // Writes the "system:track.%d" tracks' values at the current time into their engine variables.
  virtual void update() = 0;
};

// Sync tracks are sampled at this many rows per second of engine time.
constexpr float sync_rows_per_second = 20.0f;

// Tracks are read from "data/sync/" through the file system; a missing file gives a track without
// keys. Registers the new manager in the engine context.
tl::expected<rocket_manager_t*, std::string> create_rocket_manager();
