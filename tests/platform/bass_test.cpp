#include "platform/bass/bass.h"

#include "platform/bass/audio_decoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fmt/printf.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<uint8_t> read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One directory per test process (CTest runs tests in parallel), removed at exit.
const fs::path& scratch_dir() {
  struct scratch_t {
    fs::path path = fs::temp_directory_path() / fmt::sprintf("bass_test_%d", static_cast<int>(getpid()));
    scratch_t() { fs::create_directories(path); }
    ~scratch_t() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  };
  static scratch_t scratch;
  return scratch.path;
}

// An Ogg Vorbis sine made by sox, so the decoder reads a file that our code did not write.
std::vector<uint8_t> make_ogg(int rate, double seconds) {
  const fs::path path = scratch_dir() / fmt::sprintf("sine_%d_%g.ogg", rate, seconds);
  if (!fs::exists(path)) {
    const std::string command =
        fmt::sprintf("sox -n -r %d -c 2 '%s' synth %g sine 440 2>/dev/null", rate, path.string(), seconds);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  return read_bytes(path);
}

void use_audio_driver(const char* driver) { setenv("SDL_AUDIODRIVER", driver, 1); }

class BassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    use_audio_driver("dummy");
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_VISTA_TRUEPOS, 0));
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 10));
    ASSERT_TRUE(BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr)) << BASS_ErrorGetCode();
  }
  void TearDown() override { BASS_Free(); }

  HSTREAM create_stream(const std::vector<uint8_t>& bytes) {
    return BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), BASS_STREAM_PRESCAN);
  }

  double position_seconds(HSTREAM stream) {
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
  }

  // Polls until the position passes a value; the dummy driver plays in real time.
  bool wait_for_position_above(HSTREAM stream, QWORD bytes, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) > bytes) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
};

TEST_F(BassTest, LengthAndConversionsAreExact) {
  struct case_t {
    int rate;
    double seconds;
    QWORD frames;
  };
  for (const case_t c : {case_t{44100, 0.5, 22050}, case_t{48000, 0.25, 12000}, case_t{22050, 1.0, 22050}}) {
    SCOPED_TRACE(fmt::sprintf("%d Hz, %g s", c.rate, c.seconds));
    const auto bytes = make_ogg(c.rate, c.seconds);
    const HSTREAM stream = create_stream(bytes);
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    const QWORD length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    EXPECT_EQ(length, c.frames * 4);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stream, length), c.seconds);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, c.seconds / 2), c.frames / 2 * 4);
    for (QWORD frame : {QWORD{0}, QWORD{1}, QWORD{7}, c.frames / 3, c.frames - 1}) {
      const double seconds = BASS_ChannelBytes2Seconds(stream, frame * 4);
      EXPECT_EQ(seconds, static_cast<double>(frame) / c.rate);
      EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, seconds), frame * 4);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 0u);
    EXPECT_TRUE(BASS_StreamFree(stream));
  }
}

// The position is read here while SDL's audio thread advances it.
class BassThreadTest : public BassTest {};

TEST_F(BassThreadTest, PositionAdvancesStopsResumesAndSeeks) {
  const auto bytes = make_ogg(44100, 3.0);
  const HSTREAM stream = create_stream(bytes);
  ASSERT_NE(stream, 0u);

  // Not playing yet: output runs, the stream does not move.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 0u);

  ASSERT_TRUE(BASS_Start());
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  ASSERT_TRUE(wait_for_position_above(stream, 0));
  std::this_thread::sleep_for(100ms);
  const double playing = position_seconds(stream);
  EXPECT_GT(playing, 0.0);
  EXPECT_LT(playing, 2.5);

  ASSERT_TRUE(BASS_Stop());
  const QWORD stopped = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), stopped);
  EXPECT_FALSE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_START);

  const QWORD target = BASS_ChannelSeconds2Bytes(stream, 2.0);
  ASSERT_TRUE(BASS_ChannelSetPosition(stream, target, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), target);
  EXPECT_EQ(position_seconds(stream), 2.0);

  ASSERT_TRUE(BASS_Start());
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));  // resumes at the seek, no restart
  ASSERT_TRUE(wait_for_position_above(stream, target));
  EXPECT_LT(position_seconds(stream), 3.0);

  // Played to the end, the position stays at the length.
  ASSERT_TRUE(wait_for_position_above(stream, BASS_ChannelGetLength(stream, BASS_POS_BYTE) - 1));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), BASS_ChannelGetLength(stream, BASS_POS_BYTE));
}

// One tune, a two-note stereo chord, in every format the soundtrack may come in: sox writes the
// WAV and converts it, lame encodes the MP3.
struct encoded_tune_t {
  const char* format;
  std::vector<uint8_t> bytes;
};

std::vector<encoded_tune_t> make_tune_in_every_format(double seconds) {
  const fs::path dir = scratch_dir();
  const fs::path wav = dir / "tune.wav";
  const std::string make =
      fmt::sprintf("sox -n -r 44100 -b 16 -c 2 '%s' synth %g sine 440 sine 554 gain -6 2>/dev/null",
                   wav.string(), seconds);
  EXPECT_EQ(std::system(make.c_str()), 0) << make;
  std::vector<encoded_tune_t> tunes;
  tunes.push_back({"wav", read_bytes(wav)});
  for (const char* format : {"aiff", "flac", "ogg"}) {
    const fs::path out = dir / fmt::sprintf("tune.%s", format);
    const std::string convert = fmt::sprintf("sox '%s' '%s' 2>/dev/null", wav.string(), out.string());
    EXPECT_EQ(std::system(convert.c_str()), 0) << convert;
    tunes.push_back({format, read_bytes(out)});
  }
  const fs::path mp3 = dir / "tune.mp3";
  const std::string encode = fmt::sprintf("lame --quiet -b 192 '%s' '%s'", wav.string(), mp3.string());
  EXPECT_EQ(std::system(encode.c_str()), 0) << encode;
  tunes.push_back({"mp3", read_bytes(mp3)});
  return tunes;
}

// The smallest root-mean-square difference between two sample runs over a few frames of shift
// either way (a codec may delay the start slightly), relative to the reference's own level.
double relative_difference(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
  double reference_energy = 0;
  for (int16_t s : reference) reference_energy += double(s) * s;
  double best = 1e9;
  for (long shift = -64; shift <= 64; ++shift) {
    double error = 0;
    size_t count = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
      const long j = static_cast<long>(i) + shift * 2;
      if (j < 0 || j >= static_cast<long>(decoded.size())) continue;
      const double d = double(decoded[j]) - reference[i];
      error += d * d;
      ++count;
    }
    if (count > reference.size() * 9 / 10) best = std::min(best, std::sqrt(error / reference_energy));
  }
  return best;
}

TEST_F(BassTest, EveryFormatPlaysTheSameTune) {
  constexpr double seconds = 1.0;
  const auto tunes = make_tune_in_every_format(seconds);
  const auto reference = decode_audio(tunes[0].bytes.data(), tunes[0].bytes.size());
  ASSERT_TRUE(reference.has_value()) << reference.error();
  ASSERT_EQ(reference->frame_count(), 44100u);

  struct tolerance_t {
    const char* format;
    double difference;  // relative RMS difference from the WAV
  };
  // Lossless formats give the same samples; the lossy ones keep the tune within a few percent.
  const tolerance_t tolerances[] = {{"wav", 0.0}, {"aiff", 0.0}, {"flac", 0.0}, {"ogg", 0.05}, {"mp3", 0.05}};
  ASSERT_TRUE(BASS_Start());
  for (size_t i = 0; i < tunes.size(); ++i) {
    const encoded_tune_t& tune = tunes[i];
    SCOPED_TRACE(tune.format);
    ASSERT_EQ(std::string(tolerances[i].format), tune.format);
    const HSTREAM stream = create_stream(tune.bytes);
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    // The same length within one frame at 60 Hz.
    const double length = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream, BASS_POS_BYTE));
    EXPECT_NEAR(length, seconds, 1.0 / 60.0);
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    EXPECT_TRUE(wait_for_position_above(stream, 0));
    EXPECT_TRUE(BASS_StreamFree(stream));

    const auto decoded = decode_audio(tune.bytes.data(), tune.bytes.size());
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(decoded->rate, 44100u);
    if (tolerances[i].difference == 0.0)
      EXPECT_EQ(decoded->samples, reference->samples);
    else
      EXPECT_LT(relative_difference(reference->samples, decoded->samples), tolerances[i].difference);
  }
}

TEST_F(BassTest, TruncatedFilesFail) {
  for (const encoded_tune_t& tune : make_tune_in_every_format(0.5)) {
    SCOPED_TRACE(tune.format);
    for (const size_t kept : {size_t{4}, size_t{12}, size_t{40}}) {
      EXPECT_EQ(BASS_StreamCreateFile(TRUE, tune.bytes.data(), 0, kept, BASS_STREAM_PRESCAN), 0u) << kept;
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    }
    // Cut inside the sound data: the formats that record their length fail; WAV and AIFF hold no
    // length but that of their bytes, so they play the part that is there.
    const bool plays_the_part = std::string(tune.format) == "wav" || std::string(tune.format) == "aiff";
    const HSTREAM stream =
        BASS_StreamCreateFile(TRUE, tune.bytes.data(), 0, tune.bytes.size() / 2, BASS_STREAM_PRESCAN);
    if (plays_the_part) {
      ASSERT_NE(stream, 0u);
      EXPECT_LT(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream, BASS_POS_BYTE)), 0.3);
      EXPECT_TRUE(BASS_StreamFree(stream));
    } else {
      EXPECT_EQ(stream, 0u);
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    }
  }
}

TEST_F(BassTest, InvalidDataFailsWithAnErrorCode) {
  const auto ogg = make_ogg(44100, 0.5);
  const std::vector<uint8_t> garbage(4096, 0x5A);
  const std::vector<uint8_t> header_only(ogg.begin(), ogg.begin() + 40);
  struct case_t {
    const char* name;
    const void* data;
    QWORD length;
    int error;
  };
  for (const case_t c :
       {case_t{"garbage", garbage.data(), garbage.size(), BASS_ERROR_FILEFORM},
        case_t{"truncated header", header_only.data(), header_only.size(), BASS_ERROR_FILEFORM},
        case_t{"empty", ogg.data(), 0, BASS_ERROR_ILLPARAM},
        case_t{"no memory", nullptr, 100, BASS_ERROR_ILLPARAM}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, c.data, 0, c.length, BASS_STREAM_PRESCAN), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), c.error);
  }
}

TEST_F(BassTest, FreedAndUnknownHandlesFail) {
  const auto bytes = make_ogg(44100, 0.5);
  const HSTREAM stream = create_stream(bytes);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_StreamFree(stream));
  EXPECT_FALSE(BASS_StreamFree(stream));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), BASS_QWORD_ERROR);
  EXPECT_FALSE(BASS_ChannelPlay(12345, FALSE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

  const HSTREAM other = create_stream(bytes);
  ASSERT_NE(other, 0u);
  EXPECT_NE(other, stream);
  EXPECT_FALSE(
      BASS_ChannelSetPosition(other, BASS_ChannelGetLength(other, BASS_POS_BYTE) + 4, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_FALSE(BASS_ChannelSetAttribute(other, BASS_ATTRIB_VOL, -1.0f));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

  // BASS_Free releases every stream; a second initialisation starts afresh.
  ASSERT_TRUE(BASS_Free());
  EXPECT_FALSE(BASS_StreamFree(other));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(BASS_Free());
  ASSERT_TRUE(BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_FALSE(BASS_SetConfig(99, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

TEST(BassOutputTest, UnusableDriverFallsBackToDummyWithAWarning) {
  use_audio_driver("no-such-driver");
  testing::internal::CaptureStderr();
  const BOOL initialised = BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr);
  const std::string debugger_output = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(initialised) << BASS_ErrorGetCode();
  BASS_Free();
  // One warning line on the debugger output.
  ASSERT_EQ(std::count(debugger_output.begin(), debugger_output.end(), '\n'), 1) << debugger_output;
  EXPECT_NE(debugger_output.find("[WRN]"), std::string::npos) << debugger_output;
  EXPECT_NE(debugger_output.find("dummy"), std::string::npos) << debugger_output;
}

TEST(BassOutputTest, CallsBeforeInitFail) {
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, "x", 0, 1, BASS_STREAM_PRESCAN), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(BASS_Start());
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

// The disk driver writes what the device played, so the mixed samples can be compared with an
// independent decode (sox, through libvorbis) scaled by the volume.
TEST(BassOutputTest, DiskOutputHoldsTheDecodedSamplesScaledByTheVolume) {
  const fs::path dir = scratch_dir();
  const fs::path written = dir / "disk_output.raw";
  const fs::path reference_path = dir / "reference.raw";
  const auto ogg = make_ogg(44100, 0.5);
  const std::string decode = fmt::sprintf("sox '%s' -t raw -e signed -b 16 -c 2 '%s' 2>/dev/null",
                                          (dir / "sine_44100_0.5.ogg").string(), reference_path.string());
  ASSERT_EQ(std::system(decode.c_str()), 0);
  const auto reference_bytes = read_bytes(reference_path);
  std::vector<int16_t> reference(reference_bytes.size() / 2);
  std::memcpy(reference.data(), reference_bytes.data(), reference.size() * 2);

  use_audio_driver("disk");
  setenv("SDL_DISKAUDIOFILE", written.c_str(), 1);
  ASSERT_TRUE(BASS_Init(-1, 44100, BASS_DEVICE_LATENCY, nullptr, nullptr)) << BASS_ErrorGetCode();
  const HSTREAM stream = BASS_StreamCreateFile(TRUE, ogg.data(), 0, ogg.size(), BASS_STREAM_PRESCAN);
  ASSERT_NE(stream, 0u);
  constexpr float volume = 0.5f;
  ASSERT_TRUE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, volume));
  const QWORD length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
  ASSERT_EQ(length, reference.size() * 2);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) < length &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), length);
  ASSERT_TRUE(BASS_Free());  // closes the file after the last block

  const auto output_bytes = read_bytes(written);
  std::vector<int16_t> output(output_bytes.size() / 2);
  std::memcpy(output.data(), output_bytes.data(), output.size() * 2);

  // Silence comes before the stream starts: align on the first clearly audible sample, then
  // allow a few steps either way since two decoders may round differently.
  auto first_loud = [](const std::vector<int16_t>& samples, float scale) {
    for (size_t i = 0; i < samples.size(); ++i)
      if (std::abs(samples[i] * scale) > 1000.0f) return static_cast<long>(i);
    return -1L;
  };
  const long reference_start = first_loud(reference, volume);
  const long output_start = first_loud(output, 1.0f);
  ASSERT_GE(reference_start, 0);
  ASSERT_GE(output_start, reference_start);
  long best_offset = -1;
  int best_error = 1 << 30;
  for (long offset = output_start - reference_start - 8; offset <= output_start - reference_start + 8;
       offset += 2) {
    if (offset < 0 || offset + static_cast<long>(reference.size()) > static_cast<long>(output.size()))
      continue;
    int worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
      worst = std::max(worst, static_cast<int>(std::abs(output[offset + i] - reference[i] * volume)));
    if (worst < best_error) {
      best_error = worst;
      best_offset = offset;
    }
  }
  ASSERT_GE(best_offset, 0) << "the output does not hold the whole stream";
  EXPECT_LE(best_error, 2);
  // Before the stream started the device played silence.
  for (long i = 0; i < best_offset; ++i) ASSERT_EQ(output[i], 0) << i;
}

}  // namespace
