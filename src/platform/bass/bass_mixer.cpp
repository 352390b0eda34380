#include "platform/bass/bass_mixer.h"

#include <algorithm>
#include <cmath>

uint64_t resample_step(uint32_t stream_rate, uint32_t output_rate) {
  return (uint64_t{stream_rate} << bass_channel_t::fraction_bits) / output_rate;
}

static int16_t to_sample(float value) {
  return static_cast<int16_t>(std::lrint(std::clamp(value, -32768.0f, 32767.0f)));
}

static void add_channel(bass_channel_t& channel, float* left, float* right) {
  const uint64_t frames = channel.pcm.frame_count();
  const uint64_t frame = channel.position_frames();
  if (frame >= frames) return;
  const int16_t* samples = channel.pcm.samples.data();
  float l = samples[frame * 2];
  float r = samples[frame * 2 + 1];
  const uint64_t fraction = channel.position & ((uint64_t{1} << bass_channel_t::fraction_bits) - 1);
  if (fraction != 0 && frame + 1 < frames) {
    const float t = static_cast<float>(static_cast<double>(fraction) / 4294967296.0);
    l += (samples[frame * 2 + 2] - l) * t;
    r += (samples[frame * 2 + 3] - r) * t;
  }
  *left += l * channel.volume;
  *right += r * channel.volume;
  // An ended stream keeps its position at the end.
  channel.position = std::min(channel.position + channel.step, frames << bass_channel_t::fraction_bits);
}

void mix_channels(bass_channel_table_t& channels, int16_t* output, size_t frames) {
  for (size_t i = 0; i < frames; ++i) {
    float left = 0.0f;
    float right = 0.0f;
    for (auto& [handle, channel] : channels) {
      if (channel->playing) add_channel(*channel, &left, &right);
    }
    output[i * 2] = to_sample(left);
    output[i * 2 + 1] = to_sample(right);
  }
}
