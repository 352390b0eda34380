// Feeds arbitrary bytes to the sound file decoder the audio stand-in plays soundtracks with; what
// it accepts must be whole stereo frames at a usable rate.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/bass/audio_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto pcm = decode_audio(data, size);
  if (!pcm) return 0;
  if (pcm->rate == 0 || pcm->samples.empty() || pcm->samples.size() % pcm_stream_t::channels != 0)
    std::abort();
  return 0;
}
