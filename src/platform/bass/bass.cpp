#include "platform/bass/bass.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <mutex>

#include "platform/bass/audio_output.h"
#include "platform/bass/bass_mixer.h"

namespace {

// Everything the calls share; the mutex is also taken by the audio callback, so no SDL call that
// waits for the callback may be made while holding it.
struct bass_state_t {
  std::mutex mutex;
  bool initialized = false;
  bool output_started = false;
  audio_output_t output;
  uint32_t output_rate = 0;
  DWORD update_period_ms = 10;
  DWORD vista_truepos = 1;
  bass_channel_table_t channels;
  DWORD next_handle = 1;
};

bass_state_t& state() {
  static bass_state_t instance;
  return instance;
}

thread_local int last_error = BASS_OK;

BOOL succeed() {
  last_error = BASS_OK;
  return TRUE;
}

BOOL fail(int code) {
  last_error = code;
  return FALSE;
}

template <typename T>
T fail_with(int code, T result) {
  last_error = code;
  return result;
}

void audio_callback(void* user, Uint8* stream, int length) {
  auto* shared = static_cast<bass_state_t*>(user);
  std::lock_guard lock(shared->mutex);
  mix_channels(shared->channels, reinterpret_cast<int16_t*>(stream),
               static_cast<size_t>(length) / pcm_stream_t::frame_bytes);
}

// The device buffer covers about one update period, as a power of two SDL accepts everywhere.
uint32_t buffer_frames(uint32_t rate, DWORD period_ms) {
  const uint64_t wanted = period_ms == 0 ? 512 : uint64_t{rate} * period_ms / 1000;
  return static_cast<uint32_t>(std::bit_ceil(std::clamp<uint64_t>(wanted, 256, 8192)));
}

// Looks a stream up; the caller holds the mutex.
bass_channel_t* find_channel_locked(DWORD handle) {
  auto& s = state();
  if (!s.initialized) return nullptr;
  auto it = s.channels.find(handle);
  return it == s.channels.end() ? nullptr : it->second.get();
}

int missing_channel_error() { return state().initialized ? BASS_ERROR_HANDLE : BASS_ERROR_INIT; }

}  // namespace

BOOL BASS_SetConfig(DWORD option, DWORD value) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  switch (option) {
    case BASS_CONFIG_UPDATEPERIOD:
      if (value != 0 && (value < 5 || value > 100)) return fail(BASS_ERROR_ILLPARAM);
      s.update_period_ms = value;
      return succeed();
    case BASS_CONFIG_VISTA_TRUEPOS:
      s.vista_truepos = value != 0;
      return succeed();
    default:
      return fail(BASS_ERROR_ILLTYPE);
  }
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND window, const void* class_id) {
  auto& s = state();
  DWORD period = 0;
  {
    std::lock_guard lock(s.mutex);
    if (s.initialized) return fail(BASS_ERROR_ALREADY);
    period = s.update_period_ms;
  }
  if (device != -1) return fail(BASS_ERROR_DEVICE);
  if (freq == 0 || freq > 384000) return fail(BASS_ERROR_ILLPARAM);

  auto output = open_audio_output(freq, buffer_frames(freq, period), &audio_callback, &s);
  if (!output) return fail(BASS_ERROR_DRIVER);
  {
    std::lock_guard lock(s.mutex);
    s.output = *output;
    s.output_rate = freq;
    s.initialized = true;
    s.output_started = true;
  }
  // BASS starts the output at initialisation; no stream plays until BASS_ChannelPlay.
  SDL_PauseAudioDevice(output->device, 0);
  return succeed();
}

BOOL BASS_Free() {
  auto& s = state();
  audio_output_t output;
  {
    std::lock_guard lock(s.mutex);
    if (!s.initialized) return fail(BASS_ERROR_INIT);
    output = s.output;
    s.output = audio_output_t{};
    s.initialized = false;
    s.output_started = false;
  }
  close_audio_output(output);
  bass_channel_table_t released;
  {
    std::lock_guard lock(s.mutex);
    released.swap(s.channels);
  }
  return succeed();
}

namespace {

// Pausing the device is what stops the output: once paused, SDL runs no further callback, so the
// positions stand still.
BOOL set_output_started(bool started) {
  auto& s = state();
  SDL_AudioDeviceID device = 0;
  {
    std::lock_guard lock(s.mutex);
    if (!s.initialized) return fail(BASS_ERROR_INIT);
    device = s.output.device;
    s.output_started = started;
  }
  SDL_PauseAudioDevice(device, started ? 0 : 1);
  return succeed();
}

}  // namespace

BOOL BASS_Start() { return set_output_started(true); }

BOOL BASS_Stop() { return set_output_started(false); }

int BASS_ErrorGetCode() { return last_error; }

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  auto& s = state();
  uint32_t output_rate = 0;
  {
    std::lock_guard lock(s.mutex);
    if (!s.initialized) return fail_with<HSTREAM>(BASS_ERROR_INIT, 0);
    output_rate = s.output_rate;
  }
  if (!mem) return fail_with<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);
  if (file == nullptr || length == 0) return fail_with<HSTREAM>(BASS_ERROR_ILLPARAM, 0);

  auto pcm = decode_audio(static_cast<const uint8_t*>(file) + offset, length);
  if (!pcm) return fail_with<HSTREAM>(BASS_ERROR_FILEFORM, 0);
  auto channel = std::make_unique<bass_channel_t>();
  channel->step = resample_step(pcm->rate, output_rate);
  channel->pcm = std::move(*pcm);

  std::lock_guard lock(s.mutex);
  if (!s.initialized) return fail_with<HSTREAM>(BASS_ERROR_INIT, 0);
  // Handles are never reused, so a freed handle stays invalid.
  if (s.next_handle == 0) return fail_with<HSTREAM>(BASS_ERROR_MEM, 0);
  const HSTREAM handle = s.next_handle++;
  s.channels.emplace(handle, std::move(channel));
  last_error = BASS_OK;
  return handle;
}

BOOL BASS_StreamFree(HSTREAM handle) {
  auto& s = state();
  std::unique_ptr<bass_channel_t> released;
  std::lock_guard lock(s.mutex);
  if (find_channel_locked(handle) == nullptr) return fail(missing_channel_error());
  auto it = s.channels.find(handle);
  released = std::move(it->second);
  s.channels.erase(it);
  return succeed();
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail(missing_channel_error());
  if (!s.output_started) return fail(BASS_ERROR_START);
  if (restart) channel->set_position_frames(0);
  channel->playing = true;
  return succeed();
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail(missing_channel_error());
  if (attrib != BASS_ATTRIB_VOL) return fail(BASS_ERROR_ILLTYPE);
  if (!std::isfinite(value) || value < 0.0f) return fail(BASS_ERROR_ILLPARAM);
  channel->volume = value;
  return succeed();
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail_with(missing_channel_error(), BASS_QWORD_ERROR);
  if (mode != BASS_POS_BYTE) return fail_with(BASS_ERROR_NOTAVAIL, BASS_QWORD_ERROR);
  last_error = BASS_OK;
  return channel->pcm.frame_count() * pcm_stream_t::frame_bytes;
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail_with(missing_channel_error(), BASS_QWORD_ERROR);
  if (mode != BASS_POS_BYTE) return fail_with(BASS_ERROR_NOTAVAIL, BASS_QWORD_ERROR);
  last_error = BASS_OK;
  return channel->position_frames() * pcm_stream_t::frame_bytes;
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail(missing_channel_error());
  if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_NOTAVAIL);
  const uint64_t frame = pos / pcm_stream_t::frame_bytes;
  if (frame > channel->pcm.frame_count()) return fail(BASS_ERROR_POSITION);
  channel->set_position_frames(frame);
  return succeed();
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail_with(missing_channel_error(), -1.0);
  last_error = BASS_OK;
  return static_cast<double>(pos) / (static_cast<double>(channel->pcm.rate) * pcm_stream_t::frame_bytes);
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  bass_channel_t* channel = find_channel_locked(handle);
  if (channel == nullptr) return fail_with(missing_channel_error(), BASS_QWORD_ERROR);
  if (!(pos >= 0.0)) return fail_with(BASS_ERROR_ILLPARAM, BASS_QWORD_ERROR);
  // The margin keeps a seconds value made from a frame count on that frame despite rounding.
  const double frames = std::floor(pos * channel->pcm.rate + 1e-6);
  constexpr double max_frames = static_cast<double>(uint64_t{1} << 60);
  last_error = BASS_OK;
  return static_cast<QWORD>(std::min(frames, max_frames)) * pcm_stream_t::frame_bytes;
}
