#pragma once
// The record of the host's services. The host fills one static record; engine_init stores the
// pointer it is given in the same global, and S(member) reads a member of the current record.

namespace enki {
class TaskScheduler;
}
namespace logger {
class logger_t;
}
class graphics_runtime_t;
class graphics_system_t;
class graphics_resources_t;
class filesystem_t;
class system_t;

struct systems_t {
  enki::TaskScheduler* scheduler = nullptr;
  graphics_runtime_t* runtime = nullptr;
  graphics_system_t* gsys = nullptr;
  graphics_resources_t* resources = nullptr;
  filesystem_t* filesystem = nullptr;
  system_t* system = nullptr;
  logger::logger_t* logger = nullptr;
};

// The current record; null until the host or engine_init sets it.
extern systems_t* g_systems;

#define S(member) (g_systems->member)
