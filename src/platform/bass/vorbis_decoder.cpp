#include "platform/bass/vorbis_decoder.h"

#include <climits>
#include <memory>

#include <fmt/printf.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

tl::expected<pcm_stream_t, std::string> decode_vorbis(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return tl::make_unexpected(std::string("no data"));
  if (size > static_cast<size_t>(INT_MAX)) return tl::make_unexpected(std::string("stream too large"));

  int error = 0;
  std::unique_ptr<stb_vorbis, decltype(&stb_vorbis_close)> vorbis(
      stb_vorbis_open_memory(data, static_cast<int>(size), &error, nullptr), &stb_vorbis_close);
  if (!vorbis)
    return tl::make_unexpected(fmt::sprintf("not an Ogg Vorbis stream (stb_vorbis error %d)", error));

  const stb_vorbis_info info = stb_vorbis_get_info(vorbis.get());
  if (info.sample_rate == 0 || info.channels <= 0)
    return tl::make_unexpected(std::string("stream without rate or channels"));

  pcm_stream_t pcm;
  pcm.rate = info.sample_rate;
  // The header's length is only a hint: decoding until the decoder stops gives the exact length.
  const unsigned int hinted_frames = stb_vorbis_stream_length_in_samples(vorbis.get());
  stb_vorbis_seek_start(vorbis.get());
  if (hinted_frames > 0 && hinted_frames < (1u << 28)) pcm.samples.reserve(size_t{hinted_frames} * 2);

  constexpr int chunk_frames = 4096;
  std::vector<short> chunk(chunk_frames * pcm_stream_t::channels);
  for (;;) {
    const int frames = stb_vorbis_get_samples_short_interleaved(vorbis.get(), pcm_stream_t::channels,
                                                                chunk.data(), static_cast<int>(chunk.size()));
    if (frames <= 0) break;
    pcm.samples.insert(pcm.samples.end(), chunk.begin(), chunk.begin() + frames * pcm_stream_t::channels);
  }
  if (pcm.samples.empty()) return tl::make_unexpected(std::string("stream without samples"));
  return pcm;
}
