#pragma once
// The sync-track manager: sync tracks sampled at the engine time into engine variables.

#include <string>

#include <tl/expected.hpp>

class rocket_manager_t {
 public:
  virtual ~rocket_manager_t() = default;
  // Writes the tracks' values at the current time into their engine variables.
  virtual void update() = 0;
};

// Stand-in until sync tracks can be read: there are no tracks.
tl::expected<rocket_manager_t*, std::string> create_rocket_manager();
