#pragma once
// The SDL2 audio device that BASS's output plays through: 16-bit stereo at the requested rate.
// SDL_AUDIODRIVER picks the driver; when it (or SDL's default) cannot open, the "dummy" driver is
// used instead, since it still consumes samples in real time and so keeps the music a clock.

#include <cstdint>
#include <string>

#include <SDL2/SDL_audio.h>
#include <tl/expected.hpp>

struct audio_output_t {
  SDL_AudioDeviceID device = 0;
  std::string driver;
};

tl::expected<audio_output_t, std::string> open_audio_output(uint32_t rate, uint32_t buffer_frames,
                                                            SDL_AudioCallback callback, void* user);
// Waits for a running callback to return, then releases the device and the driver.
void close_audio_output(audio_output_t& output);
