// The engine's block queries, its variables and the tick's end test with the music fade.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_impl.h"
#include "media/rocket_manager.h"
#include "media/soundsystem.h"
#include "variables/variable.h"
#include "common/engine_test_support.h"

namespace {

block_ptr_t make_block(int id, float start, float end, int layer = 0) {
  auto block = std::make_shared<block_base_t>("shader");
  block->id = id;
  block->start_time = start;
  block->end_time = end;
  block->layer = layer;
  return block;
}

class EngineCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = *engine_context;
    *engine_context = engine_context_t{};
    engine_context->soundsystem = &music_;
  }
  void TearDown() override { *engine_context = saved_; }

  engine_context_t saved_;
  fake_music_t music_;
  engine_impl_t engine_;
};

TEST_F(EngineCoreTest, FreeBlockIdIsTheSmallestUnusedPositiveId) {
  struct case_t {
    std::vector<int> ids;
    int expected;
  };
  const case_t cases[] = {{{}, 1}, {{1, 2, 3}, 4}, {{2, 3}, 1}, {{1, 3}, 2}, {{3, 1, 2, 5}, 4}};
  for (const case_t& c : cases) {
    engine_.blocks.clear();
    for (int id : c.ids) engine_.blocks.push_back(make_block(id, 0, 1));
    EXPECT_EQ(engine_.get_free_block_id(), c.expected) << "with " << c.ids.size() << " blocks";
  }
}

TEST_F(EngineCoreTest, RootBlocksAreThoseWithoutSourcesAndActiveOnesContainTheTime) {
  auto a = make_block(1, 0, 10), b = make_block(2, 10, 20), c = make_block(3, 0, 10, 1);
  c->sources.push_back(a.get());
  engine_.blocks = {a, b, c};
  music_.position = 10.0f;
  EXPECT_EQ(engine_.get_root_blocks(false), (std::vector<block_base_t*>{a.get(), b.get()}));
  // A block ends before its end time: at 10 only the second block is active.
  EXPECT_EQ(engine_.get_root_blocks(true), (std::vector<block_base_t*>{b.get()}));
  EXPECT_EQ(engine_.find_block(3), c.get());
  EXPECT_EQ(engine_.find_block(7), nullptr);
}

TEST_F(EngineCoreTest, SystemVariablesExistOnceWithTheirTypesAndEngineEvaluatedFlag) {
  engine_.create_system_variables();
  const std::pair<const char*, variable_type_t> expected[] = {{"system::time", VT_FLOAT4},
                                                              {"system::active-cam", VT_INT},
                                                              {"system::cam-pos", VT_FLOAT3},
                                                              {"system::cam-dir", VT_FLOAT3},
                                                              {"system::cam-up", VT_FLOAT3},
                                                              {"system::cam-fov", VT_FLOAT},
                                                              {"system::cam-near-plane", VT_FLOAT},
                                                              {"system::cam-far-plane", VT_FLOAT},
                                                              {"system::view", VT_FLOAT4X4},
                                                              {"system::proj", VT_FLOAT4X4},
                                                              {"system::viewProj", VT_FLOAT4X4},
                                                              {"system::rt0", VT_FLOAT2},
                                                              {"system::rt7", VT_FLOAT2}};
  for (const auto& [name, type] : expected) {
    variable_ptr_t v = engine_.find_variable(name);
    ASSERT_TRUE(v) << name;
    EXPECT_EQ(v->type, type) << name;
    EXPECT_TRUE(v->flags & VAR_FLAG_ENGINE_EVALUATED) << name;
  }
  EXPECT_EQ(engine_.variables.size(), 19u);
  // An existing name with another type gives the existing variable unchanged.
  variable_ptr_t time = engine_.find_variable("system::time");
  EXPECT_EQ(engine_.get_or_create_variable("system::time", VT_INT), time);
  EXPECT_EQ(time->type, VT_FLOAT4);
  EXPECT_FALSE(engine_.find_variable("system::nothing"));
}

TEST_F(EngineCoreTest, TickEndsAtTheLastBlockEndAndFadesTheMusicBefore) {
  EXPECT_TRUE(engine_.tick()) << "a timeline without blocks never ends";
  engine_.blocks = {make_block(1, 0, 5), make_block(2, 3, 10)};
  engine_.settings.sound_fade_out = 3.0f;

  music_.position = 5.0f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_EQ(music_.volume_calls, 0) << "outside the fade-out the volume is untouched";

  // The fade runs down from the soundtrack's volume (0.8), never up to full volume first.
  music_.volume = 0.8f;
  music_.position = 7.5f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_FLOAT_EQ(music_.volume, 0.8f * 2.5f / 3.0f);
  music_.position = 8.5f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_FLOAT_EQ(music_.volume, 0.4f);

  // A seek back before the fade gives the soundtrack its volume again, and the fade starts anew.
  music_.position = 2.0f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_FLOAT_EQ(music_.volume, 0.8f);
  music_.position = 8.5f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_FLOAT_EQ(music_.volume, 0.4f);

  music_.position = 10.0f;
  const int calls = music_.volume_calls;
  EXPECT_FALSE(engine_.tick());
  EXPECT_EQ(music_.volume_calls, calls);

  engine_.settings.sound_fade_out = 0.0f;
  music_.position = 2.0f;
  EXPECT_TRUE(engine_.tick());
  music_.volume_calls = 0;
  music_.position = 9.99f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_EQ(music_.volume_calls, 0);
  EXPECT_EQ(engine_.get_frame_count(), 9u);
}

// With nothing to draw into, a tick still links the timeline at its time and ages the cache.
TEST_F(EngineCoreTest, TickWithoutABackBufferLinksAndAgesTheCache) {
  auto lower = make_block(1, 0, 10), upper = make_block(2, 0, 10, 1);
  engine_.blocks = {lower, upper};
  engine_.output_cache[7] = cached_output_t{nullptr, -1.0f};
  music_.position = 1.0f;
  EXPECT_TRUE(engine_.tick());
  EXPECT_EQ(upper->sources, (std::vector<block_base_t*>{lower.get()}));
  EXPECT_EQ(engine_.get_root_blocks(false), (std::vector<block_base_t*>{lower.get()}));
  EXPECT_TRUE(engine_.output_cache.empty()) << "an entry the previous frame did not use is dropped";
  EXPECT_EQ(engine_.cache_frame, 1.0f);
}

// The tick asks the music for its precise position before the sync tracks are updated, then reads
// the clock for the variables and for the frame.
TEST_F(EngineCoreTest, TickQueriesTheMusicPositionBeforeTheSyncTracks) {
  struct traced_tracks_t final : rocket_manager_t {
    float get_value(const std::string&) override { return 0.0f; }
    const sync_track* find_track(const std::string&) override { return nullptr; }
    float get_value(const sync_track*) override { return 0.0f; }
    void update() override { *trace += "tracks "; }
    std::string* trace = nullptr;
  };
  std::string trace;
  traced_tracks_t tracks;
  tracks.trace = &trace;
  music_.trace = &trace;
  engine_context->rocket_manager = &tracks;
  EXPECT_TRUE(engine_.tick());
  EXPECT_EQ(trace, "precise tracks position position ");
}

// A soundtrack shorter than the timeline (here 100 s) does not hold the time at its end: past it
// the stopwatch, seeked along with the music, keeps the time.
TEST_F(EngineCoreTest, TimeRunsOnPastTheEndOfAShortSoundtrack) {
  engine_.set_cur_time(40.0f);
  EXPECT_EQ(music_.position, 40.0f);
  EXPECT_EQ(engine_.get_cur_time(), 40.0f);
  engine_.set_cur_time(130.0f);
  music_.position = 100.0f;  // where the music stops
  EXPECT_EQ(engine_.get_cur_time(), 130.0f);
  engine_.set_cur_time(20.0f);
  EXPECT_EQ(engine_.get_cur_time(), 20.0f);
}

TEST_F(EngineCoreTest, SeekClampsNegativeTimesAndStartStopAreIdempotent) {
  music_.position = 4.0f;
  engine_.set_cur_time(-5.0f);
  EXPECT_EQ(music_.position, 0.0f);
  engine_.set_running(true);
  engine_.set_running(true);
  EXPECT_TRUE(engine_.is_running());
  EXPECT_TRUE(music_.playing);
  engine_.set_running(false);
  engine_.set_running(false);
  EXPECT_FALSE(engine_.is_running());
  EXPECT_FALSE(music_.playing);
}

// Without music the stopwatch is the clock: a seek while stopped reads back exactly, in whole
// microseconds and never below 0; running, it counts on from the seek; stopped, it stands.
TEST_F(EngineCoreTest, WithoutMusicTheStopwatchIsTheClockAndSeeksSetIt) {
  music_.music_loaded = false;
  music_.position = 42.0f;  // not consulted
  struct case_t {
    float seek;
    float reading;
  } cases[] = {{2.5f, 2.5f},   {-5.0f, 0.0f}, {7.0f, 7.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f},
               {1.2345678f, 1234567.0f / 1e6f}, {0.0f, 0.0f}};
  for (const case_t& c : cases) {
    engine_.set_cur_time(c.seek);
    EXPECT_EQ(engine_.get_cur_time(), c.reading) << c.seek;
    EXPECT_EQ(engine_.get_cur_time(), c.reading) << "stopped, the time stands";
  }
  EXPECT_EQ(music_.position, 42.0f) << "no music to seek";

  engine_.set_cur_time(3.0f);
  engine_.set_running(true);
  const float first = engine_.get_cur_time();
  EXPECT_GE(first, 3.0f);
  float later = first;
  while (later == first) later = engine_.get_cur_time();
  EXPECT_GT(later, first);
  // A seek while running: the next reading is the target plus the little that ran since.
  engine_.set_cur_time(1.0f);
  const float after_seek = engine_.get_cur_time();
  EXPECT_GE(after_seek, 1.0f);
  EXPECT_LT(after_seek, later);
  engine_.set_running(false);
  const float stopped = engine_.get_cur_time();
  EXPECT_EQ(engine_.get_cur_time(), stopped);

  // With music loaded the music's position is the time again.
  music_.music_loaded = true;
  EXPECT_EQ(engine_.get_cur_time(), 42.0f);
}

}  // namespace
