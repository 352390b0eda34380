#include "media/soundsystem.h"

#include <cstdint>
#include <memory>

#include <fmt/printf.h>

#include "variables/engine_context.h"
#include "files/filesystem.h"
#include "variables/range_value.h"
#include "text/serial_value.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "platform/bass/bass.h"
#include "support/log.h"

namespace {

using serial::value_kind_t;

// BASS's code for a file that cannot be opened: a failed read is reported as that, not as
// whatever error an earlier call left behind.
constexpr int error_file_open = 2;
constexpr int beat_list_count = 5;

float clamp_volume(float volume) {
  if (volume > 1.0f) return 1.0f;
  if (volume < 0.0f) return 0.0f;
  return volume;
}

class soundsystem_impl_t final : public soundsystem_t {
 public:
  void shutdown() override {
    release_stream();
    BASS_Free();
    texture_.reset();
  }

  // Kept for beat analysis; nothing fills it.
  void create_texture() {
    if (engine_context->texture_manager)
      texture_ = engine_context->texture_manager->create_texture_2d(9, 16, DXGI_FORMAT_R32_FLOAT, nullptr);
  }

  void unload() override {
    if (!stream_) return;
    release_stream();
    length_ = 0.0f;
    volume_ = 0.3f;
    soundtrack_.clear();
  }

  void save(serial::value_t& parent) override {
    serial::value_t* table = parent.add("soundsystem", value_kind_t::table);
    if (!stream_) return;
    table->add_string("soundtrack", soundtrack_);
    table->add_float("volume", volume_);
    serial::value_t* beat_params = table->add("beat-params", value_kind_t::table);
    for (const range_value_t<float>* param : {&c_, &v_, &deadzone_, &duration_}) param->save(*beat_params);
    beat_params->add_float("use-variance", use_variance_ ? 1.0f : 0.0f);
  }

  bool load(const serial::value_t& root) override {
    const serial::value_t& table = root.get("soundsystem", value_kind_t::table);
    soundtrack_ = table.get_string("soundtrack", "");
    if (!soundtrack_.empty() && !load_music(soundtrack_))
      LOG_WRN("Error loading music: %s", soundtrack_.c_str());
    set_volume(table.get_float("volume", 0.0f));

    const serial::value_t& beat_params = table.get("beat-params", value_kind_t::table);
    if (!beat_params.valid) return true;
    c_.value = beat_params.get_float(c_.name, 4.5f);
    v_.value = beat_params.get_float(v_.name, -1.5f);
    deadzone_.value = beat_params.get_float(deadzone_.name, 0.25f);
    duration_.value = beat_params.get_float(duration_.name, 0.1f);
    use_variance_ = beat_params.get_bool("use-variance", true);
    return true;
  }

  void play() override {
    if (!stream_) return;
    BASS_Start();
    BASS_ChannelPlay(stream_, FALSE);
  }

  void pause() override {
    if (stream_) BASS_Stop();
  }

  bool has_music() override { return stream_ != 0; }
  float get_volume() override { return volume_; }

  void set_volume(float volume) override {
    volume_ = clamp_volume(volume);
    if (stream_) BASS_ChannelSetAttribute(stream_, BASS_ATTRIB_VOL, volume_);
  }

  float get_length() override { return length_; }
  float get_position() override { return static_cast<float>(get_position_precise()); }

  void set_position(float seconds) override {
    if (!stream_) return;
    BASS_ChannelSetPosition(stream_, BASS_ChannelSeconds2Bytes(stream_, static_cast<double>(seconds)),
                            BASS_POS_BYTE);
  }

  bool load_music(const std::string& path) override {
    release_stream();
    const bool read = g_systems && S(filesystem) && S(filesystem)->read_file(path, music_bytes_);
    if (read)
      stream_ = BASS_StreamCreateFile(TRUE, music_bytes_.data(), 0, music_bytes_.size(), BASS_STREAM_PRESCAN);
    if (!stream_) {
      LOG_INF("Error loading music. Error code: %x", read ? BASS_ErrorGetCode() : error_file_open);
      return false;
    }
    length_ =
        static_cast<float>(BASS_ChannelBytes2Seconds(stream_, BASS_ChannelGetLength(stream_, BASS_POS_BYTE)));
    soundtrack_ = path;
    return true;
  }

  void free_music() override {
    if (!stream_) return;
    release_stream();
    soundtrack_.clear();
  }

  std::string get_soundtrack() override { return soundtrack_; }

  double get_position_precise() override {
    if (!stream_) return 0.0;
    return BASS_ChannelBytes2Seconds(stream_, BASS_ChannelGetPosition(stream_, BASS_POS_BYTE));
  }

  std::vector<float> get_beats(int list) override {
    return valid_list(list) ? beats_[list] : std::vector<float>{};
  }

  void set_beats(int list, const std::vector<float>& beats) override {
    if (valid_list(list)) beats_[list] = beats;
  }

 private:
  static bool valid_list(int list) { return list >= 0 && list < beat_list_count; }

  // Forgets the handle it frees, so a repeated release frees nothing twice.
  void release_stream() {
    if (!stream_) return;
    BASS_StreamFree(stream_);
    stream_ = 0;
  }

  byte_vector_t music_bytes_;  // the stream plays from this memory
  HSTREAM stream_ = 0;
  float length_ = 180.0f;
  float volume_ = 0.3f;
  std::string soundtrack_;
  // Kept and saved for the editor; playback does not use them.
  range_value_t<float> c_{"c", 4.5f};
  range_value_t<float> v_{"v", -1.5f};
  range_value_t<float> deadzone_{"deadzone", 0.25f};
  range_value_t<float> duration_{"duration", 0.1f};
  bool use_variance_ = false;
  std::unique_ptr<texture_t> texture_;
  std::vector<float> beats_[beat_list_count];
};

}  // namespace

tl::expected<soundsystem_t*, std::string> create_soundsystem() {
  auto* soundsystem = new soundsystem_impl_t;
  if (!BASS_SetConfig(BASS_CONFIG_VISTA_TRUEPOS, 0) || !BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 10) ||
      !BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr)) {
    delete soundsystem;
    return tl::unexpected(fmt::sprintf("Error initializing BASS. Error code: %x", BASS_ErrorGetCode()));
  }
  soundsystem->create_texture();
  engine_context->soundsystem = soundsystem;
  return soundsystem;
}

void destroy_soundsystem(soundsystem_t* soundsystem) {
  if (engine_context->soundsystem == soundsystem) engine_context->soundsystem = nullptr;
  delete static_cast<soundsystem_impl_t*>(soundsystem);
}
