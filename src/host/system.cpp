#include "host/system.h"

#include <fmt/printf.h>

#include <thread>
#include <vector>

#include "files/filesystem.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "files/toml_file.h"
#include "libs/enki/task_scheduler.h"
#include "platform/win32/module.h"
#include "platform/win32/perf_counter.h"
#include "platform/win32/process_times.h"
#include "platform/win32/window_messages.h"
#include "support/log.h"
#include "support/options.h"
#include "support/process_heap.h"
#include "support/strings.h"

namespace {

systems_t g_host_systems;
engine_api_t g_engine_api;
system_impl_t* g_system = nullptr;

std::string g_project_path = "projects/demo-final.proj.toml";
std::string g_archive_name = "vlm_ks9.dat";
// How long the settings dialog waited for its answer, told apart in the start-up time.
uint32_t g_dialog_milliseconds = 0;

// Option targets: accepted and never read.
struct options_t {
  std::string zip;
  std::string project;
  std::string music;
  bool debug = false;
  bool log = false;
};
options_t g_options;

constexpr WPARAM command_id_ignored = 40018;

void parse_command_line(const char16_t* command_line) {
  std::vector<std::string> arguments = split_string(to_utf8(command_line), ' ');
  ArgParser parser;
  parser.add_string("z", "zip", &g_options.zip);
  parser.add_string("p", "project", &g_options.project);
  parser.add_string("m", "music", &g_options.music);
  parser.add_flag("d", "debug", &g_options.debug);
  parser.add_flag("l", "log", &g_options.log);
  parser.parse(arguments);
}

int2 half_full_screen() {
  return {GetSystemMetrics(SM_CXFULLSCREEN) / 2, GetSystemMetrics(SM_CYFULLSCREEN) / 2};
}

template <typename function_t>
bool resolve(HMODULE module, const char* name, function_t*& target) {
  target = reinterpret_cast<function_t*>(GetProcAddress(module, name));
  if (target) return true;
  LOG_WRN("Unable to find '%s' in dll", name);
  return false;
}

// The text format has no writer: only ".toml" names are accepted, and saving them is
// unsupported too, so every save ends with this message.
tl::expected<void, std::string> save_tree(const serial::value_t&, const std::string&) {
  return tl::unexpected(std::string("unsupported extension"));
}

}  // namespace

void shutdown_host() {
  S(runtime)->shutdown();
  S(resources)->release_all();
  S(gsys)->shutdown();
  auto* system = static_cast<system_impl_t*>(S(system));
  if (system) save_window_settings(*system);
  if (enki::TaskScheduler* scheduler = S(scheduler)) {
    if (scheduler->GetNumTaskThreads() > 1) scheduler->WaitforAllAndShutdown();
    delete scheduler;
    S(scheduler) = nullptr;
  }
  delete system;
  if (g_system == system) g_system = nullptr;
  S(system) = nullptr;
}

double system_impl_t::get_time() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency);
}

systems_t& host_systems() { return g_host_systems; }
engine_api_t& host_engine_api() { return g_engine_api; }

int win_main(const char16_t* command_line) {
  keep_freed_heap_mapped();
  g_systems = &g_host_systems;
  parse_command_line(command_line);

  auto* logger = new logger::logger_t(4);
  logger::set_current_logger(logger);
  S(logger) = logger;
  {
    std::lock_guard lock(logger->mutex);
    logger->sinks.push_back({&logger::debugger_sink_instance(), -1});
  }

  auto* system = new system_impl_t;
  int2 size = half_full_screen();
  system->width = size.x;
  system->height = size.y;
  g_system = system;
  S(system) = system;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  system->frequency = frequency.QuadPart;

  if (auto started = init_system(*system); !started) {
    LOG_WRN("%s", started.error().c_str());
    return 1;
  }
  run_main_loop();
  shutdown_host();
  return 0;
}

tl::expected<void, std::string> init_system(system_impl_t& system) {
  auto filesystem = create_filesystem();
  if (!filesystem) return tl::unexpected(filesystem.error());
  S(filesystem) = *filesystem;

  S(filesystem)
      ->add_mappings({{"/data/Marrek - Ember Drift.ogg", "Marrek - Ember Drift.ogg"},
                      {"/data/marrek - ember drift_cut1.ogg", "marrek_ember_drift.ogg"}});

  byte_vector_t resource;
  if (S(filesystem)->load_resource("ZIP_FILE", resource))
    g_archive_name.assign(resource.begin(), resource.end());
  S(filesystem)->mount_archive(g_archive_name);

  load_window_settings(system);

  LOG_INF("engine::create");
  auto* scheduler = new enki::TaskScheduler;
  scheduler->Initialize(std::thread::hardware_concurrency());
  S(scheduler) = scheduler;

  if (auto graphics = init_graphics(system); !graphics) {
    return tl::unexpected(fmt::sprintf("Unable to init graphics: %s", graphics.error()));
  }

  char exe_path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe_path, MAX_PATH);

  resource.clear();
  if (S(filesystem)->load_resource("PROJECT_FILE", resource))
    g_project_path.assign(resource.begin(), resource.end());

  if (!load_engine(exe_path, g_project_path)) return tl::unexpected(std::string("unable to load dll"));
  return {};
}

tl::expected<void, std::string> init_graphics(system_impl_t& system) {
  auto* gsys = new graphics_system_impl_t;
  if (auto created = gsys->create_device(); !created) {
    gsys->release_device_objects();
    delete gsys;
    return tl::unexpected(created.error());
  }
  S(gsys) = gsys;

  S(runtime) = new graphics_runtime_impl_t(gsys->get_device(), gsys->get_context());

  auto resources = create_graphics_resources();
  if (!resources) return tl::unexpected(resources.error());
  S(resources) = *resources;

  const uint32_t dialog_start = timeGetTime();
  auto window = gsys->create_window_from_dialog(GetModuleHandleA(nullptr), window_proc);
  g_dialog_milliseconds = timeGetTime() - dialog_start;
  if (!window) return tl::unexpected(window.error());

  int2 size = gsys->get_backbuffer_size();
  system.width = size.x;
  system.height = size.y;
  return S(runtime)->init();
}

tl::expected<void, std::string> load_engine(const std::string& exe_path, const std::string& project_path) {
  HMODULE module = LoadLibraryA(exe_path.c_str());
  if (!module) return tl::unexpected(std::string("Unable to load library"));
  LOG_DBG("Loading engine as %s", exe_path.c_str());

  engine_api_t api;
  api.module = module;
  const char* missing = nullptr;
  if (!resolve(module, "engine_init", api.engine_init)) {
    missing = "engine_init";
  } else if (!resolve(module, "engine_close", api.engine_close)) {
    missing = "engine_close";
  } else if (!resolve(module, "engine_tick", api.engine_tick)) {
    missing = "engine_tick";
  } else if (!resolve(module, "engine_start", api.engine_start)) {
    missing = "engine_start";
  } else if (!resolve(module, "engine_stop", api.engine_stop)) {
    missing = "engine_stop";
  } else if (!resolve(module, "engine_set_cur_time", api.engine_set_cur_time)) {
    missing = "engine_set_cur_time";
  }
  if (missing) return tl::unexpected(fmt::sprintf("Unable to find: %s in dll", missing));

  S(scheduler)->WaitforAll();

  std::string project_text;
  if (S(filesystem)->read_text_file(project_path, project_text)) {
    // The engine has only the text; its messages cannot say which file it came from.
    if (!api.engine_init(g_systems, project_text.c_str()))
      LOG_WRN("Unable to start the project %s", project_path.c_str());
    api.engine_start();
  } else {
    LOG_WRN("Unable to load project file: %s", project_path.c_str());
  }

  g_engine_api = api;
  return {};
}

namespace {

// Milliseconds since the process was created, or -1 when the system cannot tell.
int64_t milliseconds_since_process_start() {
  FILETIME creation, exit, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return (int64_t(ticks(now)) - int64_t(ticks(creation))) / 10'000;
}

}  // namespace

void run_main_loop() {
  bool first_frame = true;
  for (;;) {
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
    }
    if (quit) break;

    S(gsys)->reset_frame_counters();
    S(runtime)->begin_frame();
    S(resources)->begin_frame();
    S(filesystem)->poll_changes();
    bool last = !g_engine_api.engine_tick();
    S(gsys)->present();
    if (first_frame) {
      first_frame = false;
      LOG_INF("First frame presented %d ms after the process started, %d ms of them in the settings dialog",
              int(milliseconds_since_process_start()), int(g_dialog_milliseconds));
    }
    if (last) break;
  }
  g_engine_api.engine_close();
}

LRESULT window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_MOVE:
      if (g_system) {
        g_system->x = LOWORD(static_cast<uint64_t>(lparam));
        g_system->y = HIWORD(static_cast<uint64_t>(lparam));
      }
      break;
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) {
        int width = LOWORD(static_cast<uint64_t>(lparam));
        int height = HIWORD(static_cast<uint64_t>(lparam));
        if (g_systems && S(gsys)) S(gsys)->resize(width, height);
        if (g_system) {
          g_system->width = width;
          g_system->height = height;
        }
      }
      break;
    case WM_KEYDOWN:
      if (LOWORD(wparam) == VK_ESCAPE) {
        PostQuitMessage(0);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (LOWORD(wparam) == command_id_ignored) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void load_window_settings(system_impl_t& system) {
  serial::parse_result_t loaded = serial::load_toml("/vossa.toml");
  if (!loaded) return;
  const serial::value_t& settings = (*loaded)->get("settings", serial::value_kind_t::table);
  const serial::value_t& pos = settings.get("pos", serial::value_kind_t::int2);
  const serial::value_t& size = settings.get("size", serial::value_kind_t::int2);
  if (pos.valid && pos.kind == serial::value_kind_t::int2) {
    system.x = pos.payload.i[0];
    system.y = pos.payload.i[1];
  } else {
    system.x = 0;
    system.y = 0;
  }
  if (size.valid && size.kind == serial::value_kind_t::int2) {
    system.width = size.payload.i[0];
    system.height = size.payload.i[1];
  } else {
    int2 half = half_full_screen();
    system.width = half.x;
    system.height = half.y;
  }
}

void save_window_settings(system_impl_t& system) {
  serial::value_t root(serial::value_kind_t::table);
  serial::value_t* settings = root.add("settings", serial::value_kind_t::table);
  serial::value_t* pos = settings->add("pos", serial::value_kind_t::int2);
  pos->payload.i[0] = system.x;
  pos->payload.i[1] = system.y;
  serial::value_t* size = settings->add("size", serial::value_kind_t::int2);
  size->payload.i[0] = system.width;
  size->payload.i[1] = system.height;
  // The save fails without writing anything; that is expected and not reported.
  (void)save_tree(root, "/vossa.toml");
}
