// Linking of the timeline and the chains built from it at a time.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/render_chain.h"
#include "common/engine_test_support.h"

namespace {

// A post effect: cannot start a chain itself.
class post_block_t final : public block_base_t {
 public:
  post_block_t() : block_base_t("shader") {}
  bool can_start_chain() const override { return false; }
};

class RenderChainTest : public testing::Test {
 protected:
  block_base_t* add(float start, float end, int layer) {
    owned_.push_back(make_test_block(int(owned_.size()) + 1, start, end, layer));
    list_.push_back(owned_.back().get());
    return list_.back();
  }
  std::vector<std::vector<block_base_t*>> chains_at(float t) {
    link_blocks(list_);
    std::vector<std::vector<block_base_t*>> result;
    for (const render_chain_t& chain : build_chains(list_, t)) result.push_back(chain.members);
    return result;
  }

  std::vector<std::shared_ptr<block_base_t>> owned_;
  std::vector<block_base_t*> list_;
};

using chains_t = std::vector<std::vector<block_base_t*>>;

TEST_F(RenderChainTest, SameLayerEdgesWithinATenthSnap) {
  block_base_t* a = add(0, 10, 0);
  block_base_t* b = add(10.05f, 20, 0);
  b->camera_spans.push_back({9.95f, nullptr});
  link_blocks(list_);
  EXPECT_FLOAT_EQ(b->start_time, 10.0f);
  EXPECT_FLOAT_EQ(b->camera_spans.back().end, 10.0f) << "the last span follows the block's new length";
  EXPECT_EQ(b->prev, a);
  EXPECT_EQ(a->next, b);
  link_blocks(list_);
  EXPECT_FLOAT_EQ(b->start_time, 10.0f) << "a second link finds the edges equal";

  block_base_t* c = add(30, 40, 0);
  block_base_t* d = add(40.2f, 50, 0);
  link_blocks(list_);
  EXPECT_FLOAT_EQ(d->start_time, 40.2f);
  EXPECT_EQ(d->prev, nullptr);
  EXPECT_EQ(c->next, nullptr);
}

TEST_F(RenderChainTest, UpperBlockTakesBothLowerNeighboursAsSources) {
  block_base_t* a = add(0, 10, 0);
  block_base_t* p = add(5, 15, 1);
  block_base_t* b = add(10, 20, 0);
  link_blocks(list_);
  ASSERT_EQ(a->consumers.size(), 1u);
  EXPECT_EQ(a->consumers[0].overlap_flags, 1);
  EXPECT_EQ(a->consumers[0].block, p);
  ASSERT_EQ(b->consumers.size(), 1u);
  EXPECT_EQ(b->consumers[0].overlap_flags, 2);
  EXPECT_EQ(p->sources, (std::vector<block_base_t*>{a, b}));

  EXPECT_EQ(chains_at(7), (chains_t{{a, p}}));
  EXPECT_EQ(chains_at(12), (chains_t{{b, p}}));
  EXPECT_EQ(chains_at(16), (chains_t{{b}}));
}

TEST_F(RenderChainTest, CoveringBlockIsNotLinkedAndBecomesASkippedSecondRoot) {
  block_base_t* a = add(2, 8, 0);
  block_base_t* p = add(0, 10, 1);
  EXPECT_EQ(chains_at(5), (chains_t{{a}, {p}}));
  EXPECT_TRUE(p->sources.empty());
  EXPECT_FALSE(a->skipped);
  EXPECT_TRUE(p->skipped) << "the free root of the higher layer";
  EXPECT_EQ(p->error_text, "skipping chain - more than 1 free chains not supported");
}

TEST_F(RenderChainTest, LowerLayerFreeRootIsHeldWhenItComesLater) {
  block_base_t* high = add(0, 10, 1);
  block_base_t* low = add(0, 10, 0);
  high->start_time = -1;
  high->end_time = 11;  // covers low, so no link
  chains_at(5);
  EXPECT_TRUE(high->skipped);
  EXPECT_FALSE(low->skipped);
}

TEST_F(RenderChainTest, LayerGapStopsLinking) {
  block_base_t* a = add(0, 10, 0);
  block_base_t* c = add(0, 10, 2);
  link_blocks(list_);
  EXPECT_TRUE(a->consumers.empty());
  EXPECT_TRUE(c->sources.empty());
}

TEST_F(RenderChainTest, ThreeLayersChainBottomToTop) {
  block_base_t* a = add(0, 10, 0);
  block_base_t* b = add(0, 10, 1);
  block_base_t* c = add(0, 10, 2);
  link_blocks(list_);
  ASSERT_EQ(a->consumers.size(), 2u);
  EXPECT_EQ(a->consumers[0].overlap_flags, 3);
  EXPECT_EQ(chains_at(3), (chains_t{{a, b, c}}));
  EXPECT_EQ(find_deepest_active_source(c, 3), a);
  EXPECT_EQ(find_deepest_active_source(c, 20), c);
}

TEST_F(RenderChainTest, PostEffectRootAloneIsDroppedAndInactiveSourceHidesItsConsumer) {
  auto post = std::make_shared<post_block_t>();
  post->start_time = 0;
  post->end_time = 10;
  owned_.push_back(post);
  list_.push_back(post.get());
  EXPECT_TRUE(chains_at(5).empty());

  list_.clear();
  block_base_t* a = add(0, 4, 0);
  block_base_t* p = add(2, 10, 1);
  EXPECT_EQ(chains_at(6), chains_t{}) << "p has a source, so it is no root, and a is inactive";
  EXPECT_TRUE(p->active);
  EXPECT_FALSE(a->active);
}

TEST_F(RenderChainTest, PostEffectRootChainHoldsOnlyTheBlocksAbove) {
  auto post = std::make_shared<post_block_t>();
  post->end_time = 10;
  owned_.push_back(post);
  list_.push_back(post.get());
  block_base_t* above = add(0, 10, 1);
  EXPECT_EQ(chains_at(5), (chains_t{{above}}));
}

}  // namespace
