// The bundled production played as a person would watch it: to the end of its timeline, with the
// music faded out over the last seconds, then the player exits by itself; or cut short by Escape.
// SDL's disk audio driver records what the player mixed, and the recording is compared with sox's
// decode of the soundtrack taken from the player's own archive.

#include <gtest/gtest.h>

#include "player_run.h"
#include "x_session.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fmt/printf.h>

namespace {

using player_run::player_path;
using player_run::player_run_t;

// What the production and its soundtrack say: the last block ends at 124 s, the music is played at
// volume 0.8 and faded out over the last 2 s ("sound-fade-out"); the output is 44100 Hz stereo s16.
constexpr double timeline_end = 124.0;
constexpr double music_volume = 0.8;
constexpr double fade_seconds = 2.0;
constexpr int rate = 44100;

// Interleaved stereo 16-bit frames.
struct audio_t {
  std::vector<int16_t> samples;
  long frames() const { return static_cast<long>(samples.size() / 2); }
};

audio_t read_raw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  audio_t audio;
  audio.samples.resize(bytes.size() / 4 * 2);
  std::memcpy(audio.samples.data(), bytes.data(), audio.samples.size() * 2);
  return audio;
}

long frame_at(double seconds) { return std::lround(seconds * rate); }

// The soundtrack as the archive beside the player carries it, decoded by sox (libvorbis).
audio_t decode_bundled_soundtrack(const std::string& dir) {
  const std::string ogg = dir + "soundtrack.ogg";
  const std::string raw = dir + "soundtrack.raw";
  const std::string command = fmt::sprintf(
      "unzip -p '%s/bin/vlm_ks9.dat' data/music/demo-final.ogg > '%s' && "
      "sox '%s' -t raw -e signed -b 16 -c 2 -r %d '%s' 2>/dev/null",
      PUMBLECRISP_BINARY_DIR, ogg, ogg, rate, raw);
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  audio_t audio = read_raw(raw);
  std::remove(ogg.c_str());
  std::remove(raw.c_str());
  return audio;
}

// Where the source's first frame lies in the recording. The device plays exact zeros until the music
// starts, so the first sound gives the offset to a few frames; the normalised cross-correlation over
// a stretch of steady music settles it. -1 when the recording holds no music.
long align(const audio_t& recorded, const audio_t& source) {
  auto first_sound = [](const audio_t& audio, int threshold) {
    for (size_t i = 0; i < audio.samples.size(); ++i)
      if (std::abs(audio.samples[i]) > threshold) return static_cast<long>(i / 2);
    return -1L;
  };
  const long recorded_start = first_sound(recorded, 0);
  const long source_start = first_sound(source, 2);
  if (recorded_start < 0 || source_start < 0) return -1;
  const long guess = recorded_start - source_start;
  const long from = frame_at(5.0);
  const long length = frame_at(0.25);
  long best = -1;
  double best_score = -1.0;
  for (long offset = std::max(0L, guess - 256); offset <= guess + 256; ++offset) {
    if (offset + from + length > recorded.frames()) break;
    double cross = 0.0, recorded_energy = 0.0, source_energy = 0.0;
    for (long i = 2 * from; i < 2 * (from + length); ++i) {
      const double r = recorded.samples[static_cast<size_t>(2 * offset + i)];
      const double s = source.samples[static_cast<size_t>(i)];
      cross += r * s;
      recorded_energy += r * r;
      source_energy += s * s;
    }
    const double score = cross / std::sqrt(recorded_energy * source_energy + 1.0);
    if (score > best_score) {
      best_score = score;
      best = offset;
    }
  }
  return best_score > 0.99 ? best : -1;
}

// The recording over the source between two source times, as one gain by least squares: the
// volume the player mixed with, averaged over the stretch.
double gain(const audio_t& recorded, const audio_t& source, long offset, double from, double to) {
  double cross = 0.0, energy = 0.0;
  const long last = std::min(frame_at(to), std::min(source.frames(), recorded.frames() - offset));
  for (long frame = frame_at(from); frame < last; ++frame)
    for (long c = 0; c < 2; ++c) {
      const double s = source.samples[static_cast<size_t>(2 * frame + c)];
      cross += recorded.samples[static_cast<size_t>(2 * (offset + frame) + c)] * s;
      energy += s * s;
    }
  return energy > 0.0 ? cross / energy : 0.0;
}

class PlayToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (x_session::display_t::get().name().empty())
      GTEST_SKIP() << "no X display and Xvfb could not be started";
  }
};

// Played untouched, the player reaches the end of the timeline and exits with code 0. Until the
// fade the music is the soundtrack at volume 0.8 sample for sample; in the last 2 s the volume
// falls, each step set from a reading taken before it (so never below 0.8 × remaining / 2), and
// the music stops soon after the end.
TEST_F(PlayToEndTest, PlaysTheProductionToItsEndFadingTheMusicOut) {
  const std::string dir = ::testing::TempDir() + fmt::sprintf("play_to_end_%d_", static_cast<int>(getpid()));
  const std::string recording_path = dir + "output.raw";
  const audio_t source = decode_bundled_soundtrack(dir);
  ASSERT_GT(source.frames(), frame_at(timeline_end));

  player_run_t run(player_path(), {}, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", recording_path}});
  ASSERT_TRUE(run.answer_dialog()) << run.log();
  const auto started = std::chrono::steady_clock::now();
  // Loading the L-system's full-capacity buffers takes tens of seconds under the sanitizers.
  const int code = run.wait_exit(240);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_EQ(code, 0) << run.log();
  EXPECT_GE(seconds, timeline_end - 4.0) << run.log();
  EXPECT_EQ(player_run::count_of(run.log(), "Engine::close"), 1u) << run.log();

  const audio_t recorded = read_raw(recording_path);
  std::remove(recording_path.c_str());
  const long offset = align(recorded, source);
  ASSERT_GE(offset, 0) << "the recording does not hold the soundtrack";
  const double played = static_cast<double>(recorded.frames() - offset) / rate;
  ASSERT_GE(played, timeline_end - 0.05) << "the music stopped before the end";

  // Before the fade: the soundtrack scaled by 0.8, the two decoders a few steps apart at most.
  int worst = 0;
  for (long i = 0; i < 2 * frame_at(timeline_end - fade_seconds); ++i) {
    const double expected = source.samples[static_cast<size_t>(i)] * music_volume;
    worst = std::max(worst, static_cast<int>(std::lround(
                                std::abs(recorded.samples[static_cast<size_t>(2 * offset + i)] - expected))));
  }
  EXPECT_LE(worst, 4);

  const double before = gain(recorded, source, offset, timeline_end - 3.5, timeline_end - 2.5);
  const double last_half_second = gain(recorded, source, offset, timeline_end - 0.5, timeline_end);
  EXPECT_NEAR(before, music_volume, 0.005);
  // The volume changes once a frame, and a frame on a software renderer under load can take most of
  // a second: the last step before the final half second may leave up to 0.4 × (0.5 s + a frame).
  EXPECT_LT(last_half_second, 0.75 * before);
  // The fade in tenths of a second: the volume only falls, and since each step comes from a
  // reading of the position taken before the step is heard, it is never below 0.8 × (end − t) / 2
  // at the stretch's end.
  std::string fade;
  double previous = before;
  for (double t = timeline_end - fade_seconds - 0.5; t < timeline_end - 0.05; t += 0.1) {
    const double g = gain(recorded, source, offset, t, t + 0.1);
    fade += fmt::sprintf(" %.1f:%.3f", t, g);
    EXPECT_LE(g, previous + 0.01) << "at " << t;
    const double line = music_volume * std::min(1.0, (timeline_end - t - 0.1) / fade_seconds);
    EXPECT_GE(g, line - 0.01) << "at " << t;
    previous = g;
  }
  // Past the end the music goes on at the volume the fade left until the player has closed, which
  // takes a frame and the shutdown.
  const double after = played - timeline_end;
  EXPECT_LT(after, 4.0);
  if (after > 0.01) {
    EXPECT_LE(gain(recorded, source, offset, timeline_end, played), previous + 0.01);
  }
  const double analysis =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() - seconds;
  std::printf(
      "run %.1f s, analysis %.1f s; music played %.2f s (%.2f s past the end); gain 3 s before the end "
      "%.4f, in the last 0.5 s %.4f; gain per 0.1 s from 61.5 s:%s\n",
      seconds, analysis, played, after, before, last_half_second, fade.c_str());
}

// Escape while the production plays (its first scene and finishing pass drawn) ends the player
// within seconds with exit code 0, closing the engine once.
TEST_F(PlayToEndTest, EscapeWhilePlayingEndsWithExitCodeZero) {
  player_run_t run(player_path(), {}, {{"SDL_AUDIODRIVER", "dummy"}});
  ASSERT_TRUE(run.answer_dialog()) << run.log();
  ASSERT_TRUE(run.wait_for_log("First execute: grade:PsGrade", 1, 150)) << run.log();
  const std::string window = run.wait_for_window();
  ASSERT_FALSE(window.empty()) << run.log();
  const auto pressed = std::chrono::steady_clock::now();
  EXPECT_EQ(run.quit_with_escape(window), 0) << run.log();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
  EXPECT_LT(seconds, 20.0);
  const std::string log = run.log();
  EXPECT_EQ(player_run::count_of(log, "Engine::close"), 1u) << log;
  std::printf("Escape to exit: %.1f s\n", seconds);
}

}  // namespace
