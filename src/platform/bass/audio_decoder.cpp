#include "platform/bass/audio_decoder.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <fmt/printf.h>
#include <sndfile.h>

namespace {

// The bytes libsndfile reads through its virtual I/O; it never writes.
struct memory_file_t {
  const uint8_t* data = nullptr;
  sf_count_t size = 0;
  sf_count_t position = 0;
};

sf_count_t memory_length(void* user) { return static_cast<memory_file_t*>(user)->size; }

sf_count_t memory_seek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<memory_file_t*>(user);
  sf_count_t base = 0;
  switch (whence) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = file->position;
      break;
    case SEEK_END:
      base = file->size;
      break;
    default:
      return -1;
  }
  // Decoders probe past either end; the position stays inside the bytes.
  if (offset < -base || offset > file->size - base) return -1;
  file->position = base + offset;
  return file->position;
}

sf_count_t memory_read(void* out, sf_count_t count, void* user) {
  auto* file = static_cast<memory_file_t*>(user);
  const sf_count_t n = std::clamp<sf_count_t>(count, 0, file->size - file->position);
  std::copy_n(file->data + file->position, n, static_cast<uint8_t*>(out));
  file->position += n;
  return n;
}

sf_count_t memory_write(const void*, sf_count_t, void*) { return 0; }

sf_count_t memory_tell(void* user) { return static_cast<memory_file_t*>(user)->position; }

// Far beyond any soundtrack (about 3 hours at 48 kHz), so a forged header cannot reserve
// gigabytes up front.
constexpr sf_count_t max_reserved_frames = sf_count_t{1} << 29;

}  // namespace

tl::expected<pcm_stream_t, std::string> decode_audio(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return tl::make_unexpected(std::string("no data"));

  memory_file_t file{data, static_cast<sf_count_t>(size), 0};
  SF_VIRTUAL_IO io{memory_length, memory_seek, memory_read, memory_write, memory_tell};
  SF_INFO info{};
  std::unique_ptr<SNDFILE, decltype(&sf_close)> sound(sf_open_virtual(&io, SFM_READ, &info, &file),
                                                      &sf_close);
  if (!sound) return tl::make_unexpected(fmt::sprintf("not a sound file (%s)", sf_strerror(nullptr)));
  if (info.samplerate <= 0 || info.channels <= 0)
    return tl::make_unexpected(std::string("sound without rate or channels"));
  // Lossy decoders overshoot full scale a little; clipping keeps such peaks from wrapping round.
  sf_command(sound.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

  pcm_stream_t pcm;
  pcm.rate = static_cast<uint32_t>(info.samplerate);
  // The header's length is only a hint: reading until the decoder stops gives the exact length.
  if (info.frames > 0 && info.frames < max_reserved_frames)
    pcm.samples.reserve(static_cast<size_t>(info.frames) * pcm_stream_t::channels);

  // Mono plays on both sides; of more channels the first two (front left and right) are kept.
  const int channels = info.channels;
  constexpr sf_count_t chunk_frames = 4096;
  std::vector<short> chunk(static_cast<size_t>(chunk_frames) * channels);
  for (;;) {
    const sf_count_t frames = sf_readf_short(sound.get(), chunk.data(), chunk_frames);
    if (frames <= 0) break;
    for (sf_count_t f = 0; f < frames; ++f) {
      const short* in = chunk.data() + f * channels;
      pcm.samples.push_back(in[0]);
      pcm.samples.push_back(channels > 1 ? in[1] : in[0]);
    }
  }
  if (pcm.samples.empty()) return tl::make_unexpected(std::string("sound without samples"));
  // A file cut short would end the music, and with it the production's clock, early. WAV and AIFF
  // cannot tell: their declared size is taken from the bytes present.
  if (sf_error(sound.get()) != SF_ERR_NO_ERROR)
    return tl::make_unexpected(fmt::sprintf("damaged sound data (%s)", sf_strerror(sound.get())));
  const auto decoded = static_cast<sf_count_t>(pcm.frame_count());
  if (info.frames > 0 && info.frames != SF_COUNT_MAX && decoded < info.frames - info.frames / 100)
    return tl::make_unexpected(fmt::sprintf("sound ends after %lld of %lld frames",
                                            static_cast<long long>(decoded),
                                            static_cast<long long>(info.frames)));
  return pcm;
}
