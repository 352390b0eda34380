#include "shaders/shader_manager.h"

#include <atomic>

#include <fmt/printf.h>

#include "files/filesystem.h"
#include "graphics/graphics_resources.h"
#include "files/toml_file.h"
#include "support/systems.h"
#include "libs/enki/task_scheduler.h"
#include "platform/win32/events.h"
#include "platform/win32/perf_counter.h"
#include "support/log.h"
#include "support/strings.h"

namespace {

constexpr const char* manifest_path = "/shadermanager.toml";
constexpr const char* builtin_file = "shaders/default.hlsl";

// The path with its last extension replaced by "toml", or "toml" added when it has none.
std::string metadata_path_of(const path_info_t& path) {
  path_info_t metadata = path;
  if (metadata.extensions.empty())
    metadata.extensions.push_back("toml");
  else
    metadata.extensions.back() = "toml";
  metadata.rebuild();
  return metadata.full;
}

}  // namespace

std::string make_shader_key(const shader_t& shader) {
  return fmt::sprintf("%s:%s", shader.path.full, shader.entry_point);
}

shader_manager_impl_t::~shader_manager_impl_t() {
  wait_for_all_tasks();
  all_shaders.clear();
  dependents.clear();
  default_states = {};
  copy_states = {};
  one_one_states = {};
  src_alpha_states = {};
  for (auto* shader : {&vs_quad, &ps_copy, &ps_copy_alpha, &ps_add, &ps_multiply, &ps_screen, &ps_lerp, &ps_lighten,
                       &ps_darken, &ps_difference, &ps_negation})
    shader->reset();
  constants.reset();
  cache.clear();
  registry.clear();
}

tl::expected<void, std::string> shader_manager_impl_t::init() {
  // Without the manifest no shader loads; the messages that follow name only the shaders.
  if (auto manifest = serial::load_toml(*S(filesystem), manifest_path)) {
    load_cache_manifest(**manifest);
    if (cache.empty()) LOG_WRN("Shader cache manifest %s lists no usable shaders", manifest_path);
  } else {
    LOG_WRN("Unable to read the shader cache manifest %s: %s", manifest_path, manifest.error().c_str());
  }

  struct state_set_spec_t {
    state_set_t* set;
    int depth_stencil, blend, rasterizer;
    const char* message;
  };
  const state_set_spec_t sets[] = {
      {&copy_states, 2, 1, 2, "error creating copy-state"},
      {&one_one_states, 2, 4, 2, "error creating blend one-one state"},
      {&src_alpha_states, 2, 2, 2, "error creating src alpha state"},
      {&default_states, 1, 1, 1, "error creating default state"},
  };
  for (const state_set_spec_t& s : sets)
    if (!s.set->create(s.depth_stencil, s.blend, s.rasterizer, {})) return tl::unexpected(std::string(s.message));

  constants = S(resources)->create_constant_buffer(16, true, nullptr);

  const uint32_t t0 = timeGetTime();
  struct builtin_t {
    std::shared_ptr<shader_t>* member;
    int32_t stage;
    const char* entry_point;
  };
  const builtin_t builtins[] = {
      {&vs_quad, SHADER_STAGE_VERTEX, "VsQuad"},         {&ps_lerp, SHADER_STAGE_PIXEL, "PsLerp"},
      {&ps_copy, SHADER_STAGE_PIXEL, "PsCopy"},          {&ps_copy_alpha, SHADER_STAGE_PIXEL, "PsCopyAlpha"},
      {&ps_add, SHADER_STAGE_PIXEL, "PsAdd"},            {&ps_multiply, SHADER_STAGE_PIXEL, "PsMultiply"},
      {&ps_screen, SHADER_STAGE_PIXEL, "PsScreen"},      {&ps_darken, SHADER_STAGE_PIXEL, "PsDarken"},
      {&ps_lighten, SHADER_STAGE_PIXEL, "PsLighten"},    {&ps_difference, SHADER_STAGE_PIXEL, "PsDifference"},
      {&ps_negation, SHADER_STAGE_PIXEL, "PsNegation"},
  };
  std::vector<std::shared_ptr<shader_t>> loaded;
  for (const builtin_t& b : builtins) {
    *b.member = load_shader(shader_request_t(b.stage, builtin_file, b.entry_point, 0));
    loaded.push_back(*b.member);
  }
  std::vector<std::string> failed;
  for (const auto& shader : loaded) {
    wait_for(shader);
    if (shader->state == SHADER_STATE_FAILED) failed.push_back(shader->path.full);
  }
  LOG_INF("Shader load time: %dms", static_cast<int>(timeGetTime() - t0));
  if (!failed.empty()) return tl::unexpected(fmt::sprintf("error loading shaders: %s", join_strings(failed, ", ")));
  return {};
}

void shader_manager_impl_t::load_cache_manifest(const serial::value_t& root) {
  for (const serial::value_t& element : root.get_array("cache")) {
    const std::string key = element.get_string("key", "");
    const std::string code_path = element.get_string("code_path", "");
    const std::string reflection_path = element.get_string("reflection_path", "");
    const std::string filename = element.get_string("filename", "");
    const std::string entrypoint = element.get_string("entrypoint", "");
    const int64_t t_src = S(filesystem)->get_file_time(filename);
    const int64_t t_code = S(filesystem)->get_file_time(code_path);
    if (t_code >= t_src && !key.empty() && !code_path.empty() && !filename.empty() && !entrypoint.empty()) {
      shader_cache_entry_t entry{filename, entrypoint, {}, {}, t_src, false};
      if (!S(filesystem)->read_file(code_path, entry.code))
        LOG_WRN("Shader cache: unable to read %s for %s", code_path.c_str(), key.c_str());
      else if (!S(filesystem)->read_file(reflection_path, entry.reflection))
        LOG_WRN("Shader cache: unable to read %s for %s", reflection_path.c_str(), key.c_str());
      else if (entry.code.empty() || entry.reflection.empty())
        // An emptied file (a half-saved build) would make a shader without code or without inputs.
        LOG_WRN("Shader cache: %s is empty for %s", (entry.code.empty() ? code_path : reflection_path).c_str(),
                key.c_str());
      else
        cache[key] = std::move(entry);
    } else {
      LOG_INF("Shader cached: skipping modified file: %s", filename.c_str());
    }
  }
}

std::shared_ptr<shader_t> shader_manager_impl_t::create_shader_version(const shader_request_t& request, int32_t id,
                                                                       int32_t version) {
  auto shader = std::make_shared<shader_t>(request.stage, request.path, request.entry_point);
  shader->id = id;
  shader->version = version;
  shader->vs_layout = request.vs_layout;
  return shader;
}

void shader_manager_impl_t::lookup_cache_locked(compile_task_t& task, const shader_t& version,
                                                const shader_request_t& request) {
  auto found = cache.find(make_shader_key(version));
  if (found == cache.end()) return;
  shader_cache_entry_t& entry = found->second;
  if (entry.time < S(filesystem)->get_file_time(request.path.full)) return;
  task.code = entry.code;
  task.reflection = entry.reflection;
  entry.used = true;
}

std::shared_ptr<shader_t> shader_manager_impl_t::load_shader(const shader_request_t& request) {
  collect_finished_tasks();
  compile_task_t* submitted = nullptr;
  std::shared_ptr<shader_t> version;
  {
    std::lock_guard guard(lock);
    auto record = std::make_shared<shader_data_t>();
    record->request = request;
    record->id = next_id++;
    version = create_shader_version(request, record->id, 0);
    auto task = std::make_unique<compile_task_t>(this);
    registry[record->id] = record;
    task->start_time = static_cast<int32_t>(timeGetTime());
    task->shader = version;
    task->request = request;
    lookup_cache_locked(*task, *version, request);

    const std::string& source = request.path.full;
    auto& source_list = dependents[source];
    if (source_list.empty()) S(filesystem)->watch_file(&watch_owner, source);
    source_list.push_back(record);

    const std::string metadata = metadata_path_of(request.path);
    if (S(filesystem)->exists(metadata)) {
      task->metadata_path = metadata;
      record->metadata_path = metadata;
      dependents[metadata].push_back(record);
      S(filesystem)->watch_file(&watch_owner, metadata);
    } else {
      LOG_INF("No meta file found for %s. This is fine.", source.c_str());
    }
    all_shaders.push_back(version);
    submitted = task.get();
    tasks.push_back(std::move(task));
  }
  // Submitted outside the lock: a scheduler without workers runs the task right here, and the task
  // takes the lock to report.
  S(scheduler)->AddTaskSetToPipe(submitted);
  if (request.wait == 1) wait_for(version);
  return version;
}

namespace {
// Never reset, so that a count read under one manager never matches one read under the next.
std::atomic<uint64_t> finished_versions{0};
}  // namespace

uint64_t finished_shader_versions() { return finished_versions.load(); }

void shader_manager_impl_t::on_shader_loaded(compile_task_t& task, int32_t) {
  std::lock_guard guard(lock);
  auto found = registry.find(task.shader->id);
  if (found != registry.end()) found->second->versions.push_back(task.shader);
  ++finished_versions;
}

std::shared_ptr<shader_t> shader_manager_impl_t::current_version(int32_t id) {
  std::lock_guard guard(lock);
  auto found = registry.find(id);
  if (found == registry.end()) return nullptr;
  std::shared_ptr<shader_t> best;
  for (const auto& version : found->second->versions)
    if (version->state == SHADER_STATE_READY && (!best || version->version > best->version)) best = version;
  return best;
}

void shader_manager_impl_t::reload_changed_files() {
  collect_finished_tasks();
  std::vector<std::string> changed;
  S(filesystem)->get_changed_files(&watch_owner, changed);
  for (const std::string& path : changed) {
    auto list = dependents.find(path);
    if (list == dependents.end()) continue;
    // A copy: the list may not change while tasks are queued, but the map may rehash.
    const std::vector<std::shared_ptr<shader_data_t>> records = list->second;
    for (const auto& record : records) {
      compile_task_t* submitted = nullptr;
      {
        std::lock_guard guard(lock);
        record->version += 1;
        auto version = create_shader_version(record->request, record->id, record->version);
        auto task = std::make_unique<compile_task_t>(this);
        task->shader = version;
        task->request = record->request;
        task->metadata_path = record->metadata_path;
        task->start_time = static_cast<int32_t>(timeGetTime());
        lookup_cache_locked(*task, *version, record->request);
        LOG_INF("[SHD]: queuing compile task : %s, %s", version->path.full.c_str(), version->entry_point.c_str());
        submitted = task.get();
        tasks.push_back(std::move(task));
      }
      S(scheduler)->AddTaskSetToPipe(submitted);
    }
  }
}

void shader_manager_impl_t::wait_for(const std::shared_ptr<shader_t>& version) {
  // Waiting through the scheduler runs queued tasks on this thread, so a load returns even when
  // every worker is busy or there are none.
  for (const auto& task : tasks)
    if (task->shader == version) S(scheduler)->WaitforTask(task.get());
  WaitForSingleObject(version->done_event, INFINITE);
}

void shader_manager_impl_t::collect_finished_tasks() {
  tasks.remove_if([](const std::unique_ptr<compile_task_t>& task) { return task->GetIsComplete(); });
}

void shader_manager_impl_t::wait_for_all_tasks() {
  for (const auto& task : tasks) S(scheduler)->WaitforTask(task.get());
  tasks.clear();
}

std::shared_ptr<shader_t> shader_manager_impl_t::builtin(const std::string& entry_point) const {
  for (const auto* shader : {&vs_quad, &ps_copy, &ps_copy_alpha, &ps_add, &ps_multiply, &ps_screen, &ps_lerp,
                             &ps_lighten, &ps_darken, &ps_difference, &ps_negation})
    if (*shader && (*shader)->entry_point == entry_point) return *shader;
  return nullptr;
}

void shader_manager_impl_t::release() {
  // Tasks still create device objects for their versions; they finish before the device goes.
  wait_for_all_tasks();
  dependents.clear();
  cache.clear();
  all_shaders.clear();
  constants.reset();
  for (auto* shader : {&vs_quad, &ps_copy, &ps_copy_alpha, &ps_add, &ps_multiply, &ps_screen, &ps_lerp, &ps_lighten,
                       &ps_darken, &ps_difference, &ps_negation})
    shader->reset();
}
