#include "media/rocket_manager.h"

#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <fmt/printf.h>

#include "variables/engine_context.h"
#include "files/filesystem.h"
#include "support/log.h"
#include "support/systems.h"
#include "libs/rocket/sync.h"
#include "libs/rocket/sync_track_reader.h"

namespace {

constexpr const char* sync_base = "data/sync/";
constexpr int system_track_count = 5;

class rocket_manager_impl_t;

// The device's file callbacks get no user pointer, so they reach the manager through this.
rocket_manager_impl_t* current_manager = nullptr;
// Every evaluation takes it, after the manager's own mutex.
std::mutex evaluation_mutex;

double evaluate_track(const sync_track* track, double row) {
  std::lock_guard lock(evaluation_mutex);
  return sync_get_val(track, row);
}

double row_at(float seconds) { return static_cast<double>(seconds * sync_rows_per_second); }

float current_time() { return engine_context->engine ? engine_context->engine->get_cur_time() : 0.0f; }

class rocket_manager_impl_t final : public rocket_manager_t {
 public:
  rocket_manager_impl_t() {
    for (int i = 0; i < system_track_count; ++i) system_track_names_[i] = fmt::sprintf("system:track.%d", i);
  }

  ~rocket_manager_impl_t() override {
    if (device_) sync_destroy_device(device_);
    if (current_manager == this) current_manager = nullptr;
  }

  bool create_device() {
    device_ = sync_create_device(sync_base);
    if (!device_) return false;
    sync_io_cb io{&rocket_io_open, &rocket_io_read, &rocket_io_close};
    sync_set_io_cb(device_, &io);
    add_default_tracks();
    return true;
  }

  float get_value(const std::string& name) override { return get_value(find_track(name)); }

  const sync_track* find_track(const std::string& name) override {
    std::lock_guard lock(mutex_);
    const sync_track*& track = tracks_[name];
    if (!track && device_) track = sync_get_track(device_, name.c_str());
    return track;
  }

  float get_value(const sync_track* track) override {
    const float t = current_time();
    std::lock_guard lock(mutex_);
    return static_cast<float>(evaluate_track(track, row_at(t)));
  }

  void update() override {
    if (!device_) return;
    const float t = current_time();
    std::lock_guard lock(mutex_);
    engine_variables_t* engine = engine_context->engine;
    if (!engine) return;
    // The tracks and their variables are looked up by name once per engine.
    if (system_tracks_engine_ != engine) {
      system_tracks_engine_ = engine;
      for (size_t i = 0; i < system_track_names_.size(); ++i) {
        const auto found = tracks_.find(system_track_names_[i]);
        system_tracks_[i].track = found == tracks_.end() ? nullptr : found->second;
        system_tracks_[i].variable =
            found == tracks_.end() ? variable_ptr_t() : engine->get_or_create_variable(system_track_names_[i], VT_FLOAT);
      }
    }
    for (const system_track_t& system_track : system_tracks_) {
      if (!system_track.variable) continue;
      system_track.variable->value.set(static_cast<float>(evaluate_track(system_track.track, row_at(t))));
    }
  }

  void add_track(const std::string& group, const std::string& name) {
    std::lock_guard lock(mutex_);
    const std::string key = fmt::sprintf("%s:%s", group, name);
    if (!tracks_.contains(key)) tracks_[key] = sync_get_track(device_, key.c_str());
  }

  void add_default_tracks() {
    for (int i = 0; i < system_track_count; ++i) add_track("system", fmt::sprintf("track.%d", i));
    for (const char* beat : {"beat.0", "beat.1", "beat.2"}) add_track("beats", beat);
  }

 private:
  static void* rocket_io_open(const char* path, const char*) {
    rocket_manager_impl_t* manager = current_manager;
    if (!manager || !g_systems || !S(filesystem)) return nullptr;
    if (!S(filesystem)->read_file(path, manager->file_)) return nullptr;
    // A file that is there but holds no whole track (cut short, overwritten) is not the quiet
    // missing case: it is reported, and noise never becomes keys.
    const track_file_check_t check = check_track_file(manager->file_.data(), manager->file_.size());
    if (!check.whole) {
      const std::string problem = !check.has_count ? fmt::sprintf("%zu bytes, no key count", manager->file_.size())
                                  : check.count < 0 ? fmt::sprintf("a key count of %d", check.count)
                                                    : fmt::sprintf("%zu bytes for %d keys", manager->file_.size(), check.count);
      LOG_WRN("Sync track file %s is not a whole track (%s); %s", path, problem.c_str(),
              check.keys_usable ? "keeping the whole keys it holds" : "the track has no keys");
      if (!check.keys_usable) return nullptr;
    }
    manager->cursor_ = 0;
    return manager;
  }

  static size_t rocket_io_read(void* destination, size_t size, size_t count, void* handle) {
    // A zero item size would divide by zero below and can copy nothing anyway.
    if (!handle || size == 0) return 0;
    auto* manager = static_cast<rocket_manager_impl_t*>(handle);
    const size_t remaining = manager->file_.size() - manager->cursor_;
    // Compared by division: size × count may not fit in size_t.
    const size_t copied = count > remaining / size ? remaining : size * count;
    if (copied > 0) std::memcpy(destination, manager->file_.data() + manager->cursor_, copied);
    manager->cursor_ += copied;
    return copied / size;
  }

  static int rocket_io_close(void* handle) {
    if (handle) static_cast<rocket_manager_impl_t*>(handle)->cursor_ = 0;
    return 0;
  }

  std::mutex mutex_;
  struct system_track_t {
    const sync_track* track = nullptr;
    variable_ptr_t variable;
  };
  std::array<std::string, system_track_count> system_track_names_;
  std::array<system_track_t, system_track_count> system_tracks_;
  engine_variables_t* system_tracks_engine_ = nullptr;  // whose variables system_tracks_ holds
  std::unordered_map<std::string, const sync_track*> tracks_;       // the device owns the tracks
  sync_device* device_ = nullptr;
  byte_vector_t file_;
  size_t cursor_ = 0;
};

}  // namespace

tl::expected<rocket_manager_t*, std::string> create_rocket_manager() {
  auto* manager = new rocket_manager_impl_t;
  current_manager = manager;
  if (g_systems && S(filesystem)) S(filesystem)->create_directory(sync_base);
  if (!manager->create_device()) {
    delete manager;
    current_manager = nullptr;
    return tl::unexpected(std::string("Error creating rocket device"));
  }
  engine_context->rocket_manager = manager;
  return manager;
}
