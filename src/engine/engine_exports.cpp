// The six functions the host resolves by name from its own executable.
#include <exception>
#include <string>

#include "engine/engine.h"
#include "engine/engine_impl.h"
#include "graphics/graphics_system.h"
#include "media/rocket_manager.h"
#include "shaders/shader_manager.h"
#include "media/soundsystem.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "support/log.h"

namespace {

// The host calls these through plain C entry points: nothing may be thrown past them, or the player
// would terminate. What a lower layer throws is logged; the export then answers as on a failure.
// A failure that repeats every frame is logged once.
template <typename F>
auto guarded(const char* what, F&& body, decltype(body()) on_failure) noexcept -> decltype(body()) {
  static std::string last_failure;
  std::string failure;
  try {
    auto result = body();
    last_failure.clear();
    return result;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  try {
    if (failure != last_failure) LOG_WRN("%s failed: %s", what, failure.c_str());
    last_failure = std::move(failure);
  } catch (...) {
  }
  return on_failure;
}

bool init_engine(systems_t* systems, const char* project_text) {
  g_systems = systems;
  if (systems && systems->logger) logger::set_current_logger(systems->logger);

  auto* shader_manager = new shader_manager_impl_t;
  if (auto initialised = shader_manager->init(); !initialised) {
    delete shader_manager;
    LOG_WRN("Error creating shader manager: %s", initialised.error().c_str());
    return false;
  }
  engine_context->shader_manager = shader_manager;

  auto texture_manager = create_texture_manager(S(gsys) ? S(gsys)->get_device() : nullptr, S(filesystem));
  if (!texture_manager) {
    LOG_WRN("Error creating texture manager: %s", texture_manager.error().c_str());
    return false;
  }
  engine_context->texture_manager = *texture_manager;

  auto soundsystem = create_soundsystem();
  if (!soundsystem) {
    LOG_WRN("Error creating soundsystem: %s", soundsystem.error().c_str());
    return false;
  }

  auto* engine = new engine_impl_t;
  engine->create_system_variables();
  engine_context->engine = engine;
  engine->load_default_post_effects();

  auto rocket_manager = create_rocket_manager();
  if (!rocket_manager) {
    LOG_WRN("Error creating rocker manager: %s", rocket_manager.error().c_str());
    return false;
  }
  engine_context->rocket_manager = *rocket_manager;

  if (!project_text) return true;
  if (auto loaded = engine->load_project_text("", project_text); !loaded) {
    LOG_WRN("Error loading project: %s", loaded.error().c_str());
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

bool engine_init(systems_t* systems, const char* project_text) {
  return guarded("engine_init", [&] { return init_engine(systems, project_text); }, false);
}

bool engine_close() {
  LOG_DBG("Engine::close");
  if (engine_context->rocket_manager) {
    delete engine_context->rocket_manager;
    engine_context->rocket_manager = nullptr;
  }
  if (engine_context->shader_manager) engine_context->shader_manager->release();
  if (engine_context->soundsystem) engine_context->soundsystem->shutdown();
  if (engine_context->shader_manager) {
    delete engine_context->shader_manager;
    engine_context->shader_manager = nullptr;
  }
  if (engine_context->texture_manager) {
    delete engine_context->texture_manager;
    engine_context->texture_manager = nullptr;
  }
  if (engine_context->engine) {
    delete engine_context->engine;
    engine_context->engine = nullptr;
  }
  return true;
}

// Without an engine the timeline never ends: the window keeps showing the cleared frame.
// A frame that fails outside every block is lost, and the show goes on with the next one.
bool engine_tick() {
  return guarded("engine_tick", [] { return engine_context->engine ? current_engine()->tick() : true; }, true);
}

void engine_start() {
  guarded(
      "engine_start",
      [] {
        if (engine_context->engine) current_engine()->set_running(true);
        return true;
      },
      false);
}

void engine_stop() {
  guarded(
      "engine_stop",
      [] {
        if (engine_context->engine) current_engine()->set_running(false);
        return true;
      },
      false);
}

void engine_set_cur_time(float seconds) {
  guarded(
      "engine_set_cur_time",
      [&] {
        if (engine_context->engine) current_engine()->set_cur_time(seconds);
        return true;
      },
      false);
}

}  // extern "C"
