// The six functions the host resolves by name from its own executable.
#include "engine/engine.h"
#include "engine/engine_impl.h"
#include "graphics/graphics_system.h"
#include "media/rocket_manager.h"
#include "shaders/shader_manager.h"
#include "media/soundsystem.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "support/log.h"

extern "C" {

bool engine_init(systems_t* systems, const char* project_text) {
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
bool engine_tick() { return engine_context->engine ? current_engine()->tick() : true; }

void engine_start() {
  if (engine_context->engine) current_engine()->set_running(true);
}

void engine_stop() {
  if (engine_context->engine) current_engine()->set_running(false);
}

void engine_set_cur_time(float seconds) {
  if (engine_context->engine) current_engine()->set_cur_time(seconds);
}

}  // extern "C"
