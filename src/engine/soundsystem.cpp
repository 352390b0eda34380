#include "engine/soundsystem.h"

#include <cstdint>

#include "engine/engine.h"
#include "engine/filesystem.h"
#include "engine/serial_value.h"
#include "engine/systems.h"
#include "support/log.h"

namespace {

// Error codes as the audio library reports them.
constexpr int error_file_open = 2;
constexpr int error_file_format = 41;

float clamp_volume(float volume) {
  if (volume > 1.0f) return 1.0f;
  if (volume < 0.0f) return 0.0f;
  return volume;
}

class soundsystem_impl_t final : public soundsystem_t {
 public:
  void shutdown() override {}
  void unload() override {}
  void save(serial::value_t& parent) override { parent.add("soundsystem", serial::value_kind_t::table); }

  bool load(const serial::value_t& root) override {
    const serial::value_t& table = root.get("soundsystem", serial::value_kind_t::table);
    soundtrack_ = table.get_string("soundtrack", "");
    if (!soundtrack_.empty() && !load_music(soundtrack_))
      LOG_WRN("Error loading music: %s", soundtrack_.c_str());
    set_volume(table.get_float("volume", 0.0f));
    return true;
  }

  void play() override {}
  void pause() override {}
  bool has_music() override { return false; }
  float get_volume() override { return volume_; }
  void set_volume(float volume) override { volume_ = clamp_volume(volume); }
  float get_length() override { return length_; }
  float get_position() override { return 0.0f; }
  void set_position(float) override {}

  bool load_music(const std::string& path) override {
    byte_vector_t bytes;
    bool read = g_systems && S(filesystem) && S(filesystem)->read_file(path, bytes);
    // No decoder yet: a readable file is still not music.
    LOG_INF("Error loading music. Error code: %x", read ? error_file_format : error_file_open);
    return false;
  }

  void free_music() override {}
  std::string get_soundtrack() override { return soundtrack_; }
  double get_position_precise() override { return 0.0; }
  std::vector<float> get_beats(int list) override {
    return valid_list(list) ? beats_[list] : std::vector<float>{};
  }
  void set_beats(int list, const std::vector<float>& beats) override {
    if (valid_list(list)) beats_[list] = beats;
  }

 private:
  static bool valid_list(int list) { return list >= 0 && list < 5; }

  float length_ = 180.0f;
  float volume_ = 0.3f;
  std::string soundtrack_;
  std::vector<float> beats_[5];
};

}  // namespace

tl::expected<soundsystem_t*, std::string> create_soundsystem() {
  auto* soundsystem = new soundsystem_impl_t;
  engine_context->soundsystem = soundsystem;
  return soundsystem;
}
