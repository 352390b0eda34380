#include "platform/bass/audio_output.h"

#include <SDL2/SDL.h>
#include <fmt/printf.h>

#include "platform/win32/debugger.h"

static tl::expected<audio_output_t, std::string> open_with_driver(const char* driver,
                                                                  const SDL_AudioSpec& wanted) {
  // A null driver lets SDL choose, honouring SDL_AUDIODRIVER.
  if (SDL_AudioInit(driver) != 0) return tl::make_unexpected(std::string(SDL_GetError()));
  audio_output_t output;
  output.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (output.device == 0) {
    std::string error = SDL_GetError();
    SDL_AudioQuit();
    return tl::make_unexpected(error);
  }
  const char* name = SDL_GetCurrentAudioDriver();
  output.driver = name ? name : "";
  return output;
}

tl::expected<audio_output_t, std::string> open_audio_output(uint32_t rate, uint32_t buffer_frames,
                                                            SDL_AudioCallback callback, void* user) {
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(rate);
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = static_cast<Uint16>(buffer_frames);
  wanted.callback = callback;
  wanted.userdata = user;

  auto output = open_with_driver(nullptr, wanted);
  if (output) return output;
  const char* requested = SDL_getenv("SDL_AUDIODRIVER");
  if (requested && SDL_strcasecmp(requested, "dummy") == 0) return output;
  PLATFORM_LOG_WRN("No audio output (%s); playing silently through the dummy audio driver", output.error().c_str());
  auto fallback = open_with_driver("dummy", wanted);
  if (!fallback)
    return tl::make_unexpected(fmt::sprintf("%s; dummy driver: %s", output.error(), fallback.error()));
  return fallback;
}

void close_audio_output(audio_output_t& output) {
  if (output.device == 0) return;
  SDL_CloseAudioDevice(output.device);
  SDL_AudioQuit();
  output = audio_output_t{};
}
