#pragma once
// Decodes a whole sound file in memory (every format libsndfile reads: Ogg Vorbis and Opus, MP3,
// FLAC, WAV, AIFF, ...) to interleaved 16-bit stereo at the file's rate.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

struct pcm_stream_t {
  uint32_t rate = 0;
  std::vector<int16_t> samples;  // left, right, left, right, ...

  static constexpr uint32_t channels = 2;
  static constexpr uint32_t frame_bytes = channels * sizeof(int16_t);
  uint64_t frame_count() const { return samples.size() / channels; }
};

tl::expected<pcm_stream_t, std::string> decode_audio(const uint8_t* data, size_t size);
