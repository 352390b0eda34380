#pragma once
// Mixes the playing streams into one block of 16-bit stereo output frames and advances their
// positions by the frames consumed; a stream at another rate than the output is resampled linearly.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "platform/bass/audio_decoder.h"

struct bass_channel_t {
  pcm_stream_t pcm;
  uint64_t position = 0;              // frames in 32.32 fixed point
  uint64_t step = uint64_t{1} << 32;  // stream frames per output frame, 32.32 fixed point
  float volume = 1.0f;
  bool playing = false;

  static constexpr int fraction_bits = 32;
  uint64_t position_frames() const { return position >> fraction_bits; }
  void set_position_frames(uint64_t frames) { position = frames << fraction_bits; }
};

using bass_channel_table_t = std::map<uint32_t, std::unique_ptr<bass_channel_t>>;

uint64_t resample_step(uint32_t stream_rate, uint32_t output_rate);
void mix_channels(bass_channel_table_t& channels, int16_t* output, size_t frames);
