#pragma once
// The host application: start-up, frame loop and shutdown. It creates the services, fills the
// systems record, resolves the engine's exports from its own executable and runs the frame loop.

#include <cstdint>
#include <string>

#include <tl/expected.hpp>

#include "support/systems.h"
#include "platform/win32/window.h"

// The host's system object.
class system_t {
 public:
  virtual ~system_t() = default;
  // Performance-counter seconds.
  virtual double get_time() = 0;
};

class system_impl_t final : public system_t {
 public:
  double get_time() override;

  int64_t frequency = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The engine's entry points as resolved from the own executable.
struct engine_api_t {
  HMODULE module = nullptr;
  bool (*engine_init)(systems_t*, const char*) = nullptr;
  bool (*engine_close)() = nullptr;
  bool (*engine_tick)() = nullptr;
  void (*engine_start)() = nullptr;
  void (*engine_stop)() = nullptr;
  void (*engine_set_cur_time)(float) = nullptr;
};

// Entry point of the host: the command line without the program name. Returns 0 after a normal
// run, 1 after a failed start-up.
int win_main(const char16_t* command_line);

tl::expected<void, std::string> init_system(system_impl_t& system);
tl::expected<void, std::string> init_graphics(system_impl_t& system);
tl::expected<void, std::string> load_engine(const std::string& exe_path, const std::string& project_path);
// Returns after engine_close.
void run_main_loop();
// Releases the graphics services, the scheduler and the system object, in that order.
void shutdown_host();
LRESULT window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
void load_window_settings(system_impl_t& system);
void save_window_settings(system_impl_t& system);

// The host's records, for tests.
systems_t& host_systems();
engine_api_t& host_engine_api();
