#pragma once
// Timeline linking and render chains: each block is linked to the overlapping blocks of the
// following layers, same-layer neighbours whose edges nearly touch are snapped, and every active
// block with nothing below it roots one chain, rendered bottom to top.

#include <vector>

class block_base_t;

struct render_chain_t {
  block_base_t* root = nullptr;
  block_base_t* last = nullptr;
  std::vector<block_base_t*> members;  // bottom to top
  int target_type = 0;
  bool has_tonemapping = false;
  bool has_fxaa = false;
};

// What linking and chain building refill every frame; kept by the caller so that a frame like the
// one before allocates nothing.
struct chain_storage_t {
  std::vector<block_base_t*> sorted;
  std::vector<block_base_t*> roots;
  std::vector<block_base_t*> dependencies;
  std::vector<render_chain_t> chains;
};

// Rebuilds the links of the blocks, in list order; moves start times of snapped blocks.
void link_blocks(const std::vector<block_base_t*>& blocks, chain_storage_t& storage);
void link_blocks(const std::vector<block_base_t*>& blocks);
// The chains of the blocks active at t, in render order; sets the per-frame chain flags.
const std::vector<render_chain_t>& build_chains(const std::vector<block_base_t*>& blocks, float t,
                                                chain_storage_t& storage);
std::vector<render_chain_t> build_chains(const std::vector<block_base_t*>& blocks, float t);
// Refills `chain` with the chain the root starts.
void make_render_chain(block_base_t* root, render_chain_t& chain);
render_chain_t make_render_chain(block_base_t* root);
// Follows the first active source down from the block; the block itself when none is active.
block_base_t* find_deepest_active_source(block_base_t* block, float t);
