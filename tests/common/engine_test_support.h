#pragma once
// Shared pieces of the engine tests: a log capture, a music clock the test sets, and a fixture
// with a registered engine whose time is the music position.

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_impl.h"
#include "text/serial_reader.h"
#include "media/soundsystem.h"
#include "common/log_capture.h"
#include "support/log.h"

// Lines of the level and text that the capture holds.
inline int count_lines(const log_capture_t& log, int level, const std::string& message) {
  int n = 0;
  for (const auto& [line_level, text] : log.lines) n += line_level == level && text == message ? 1 : 0;
  return n;
}

// Music whose position the test sets; records the volume the engine asks for.
class fake_music_t final : public soundsystem_t {
 public:
  void shutdown() override { ++shutdowns; }
  void unload() override {}
  void save(serial::value_t&) override {}
  bool load(const serial::value_t&) override {
    ++loads;
    return true;
  }
  void play() override { playing = true; }
  void pause() override { playing = false; }
  bool has_music() override { return music_loaded; }
  float get_volume() override { return volume; }
  void set_volume(float v) override {
    volume = v;
    ++volume_calls;
  }
  float get_length() override { return 100.0f; }
  float get_position() override {
    if (trace) *trace += "position ";
    return position;
  }
  void set_position(float seconds) override { position = seconds; }
  bool load_music(const std::string&) override { return true; }
  void free_music() override {}
  std::string get_soundtrack() override { return {}; }
  double get_position_precise() override {
    if (trace) *trace += "precise ";
    return position;
  }
  std::vector<float> get_beats(int) override { return {}; }
  void set_beats(int, const std::vector<float>&) override {}

  bool music_loaded = true;  // false: the engine's stopwatch is the clock
  bool playing = false;
  float position = 0.0f;
  float volume = 1.0f;
  int volume_calls = 0;
  int loads = 0;
  int shutdowns = 0;
  std::string* trace = nullptr;  // the position queries in order, when set
};

// An engine registered in the engine context, with the fake music as its clock.
class engine_fixture_t : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = *engine_context;
    *engine_context = engine_context_t{};
    engine_context->soundsystem = &music;
    engine = std::make_unique<engine_impl_t>();
    engine_context->engine = engine.get();
  }
  void TearDown() override {
    engine.reset();
    *engine_context = saved_;
  }

  // The root of a parsed text; kept alive by the fixture.
  const serial::value_t& parse(const std::string& text) {
    auto parsed = serial::parse_text(text, "");
    EXPECT_TRUE(parsed.has_value()) << text << ": " << (parsed ? "" : parsed.error());
    roots_.push_back(parsed ? std::move(*parsed) : std::make_unique<serial::value_t>());
    return *roots_.back();
  }

  fake_music_t music;
  std::unique_ptr<engine_impl_t> engine;

 private:
  engine_context_t saved_;
  std::vector<std::unique_ptr<serial::value_t>> roots_;
};

inline std::shared_ptr<block_base_t> make_test_block(int id, float start, float end, int layer = 0) {
  auto block = std::make_shared<block_dummy_t>();
  block->id = id;
  block->start_time = start;
  block->end_time = end;
  block->layer = layer;
  return block;
}
