#include "engine/render_chain.h"

#include <algorithm>
#include <cmath>

#include "engine/block_base.h"

namespace {

constexpr float snap_distance = 0.1f;

bool is_active_at(const block_base_t& block, float t) { return block.start_time <= t && t < block.end_time; }

// After a snap the block's last camera span still ends at the block's length.
void fit_last_span(block_base_t& block) {
  if (!block.camera_spans.empty()) block.camera_spans.back().end = block.end_time - block.start_time;
}

}  // namespace

void link_blocks(const std::vector<block_base_t*>& blocks) {
  chain_storage_t storage;
  link_blocks(blocks, storage);
}

void link_blocks(const std::vector<block_base_t*>& blocks, chain_storage_t& storage) {
  std::vector<block_base_t*>& sorted = storage.sorted;
  sorted.assign(blocks.begin(), blocks.end());
  // Insertion sort keeps equal layers in list order, as a stable sort would, without the buffer
  // std::stable_sort allocates; the list is short.
  for (size_t i = 1; i < sorted.size(); ++i) {
    block_base_t* moving = sorted[i];
    size_t j = i;
    for (; j > 0 && sorted[j - 1]->layer > moving->layer; --j) sorted[j] = sorted[j - 1];
    sorted[j] = moving;
  }
  for (block_base_t* block : blocks) {
    block->prev = nullptr;
    block->next = nullptr;
    block->sources.clear();
    block->consumers.clear();
    block->last_layer = 0;
  }
  for (block_base_t* s : blocks) {
    s->last_layer = s->layer;
    for (block_base_t* p : sorted) {
      if (p == s) continue;
      if (p->layer == s->layer) {
        if (std::fabs(p->end_time - s->start_time) < snap_distance) {
          s->start_time = p->end_time;
          fit_last_span(*s);
          s->prev = p;
        }
        if (std::fabs(p->start_time - s->end_time) < snap_distance) {
          p->start_time = s->end_time;
          fit_last_span(*p);
          s->next = p;
        }
      }
      bool starts = s->start_time <= p->start_time && p->start_time < s->end_time;
      bool ends = s->start_time < p->end_time && p->end_time <= s->end_time;
      if ((starts || ends) && p->layer == s->last_layer + 1) {
        s->consumers.push_back({2 * int(ends) + int(starts), p});
        s->last_layer = p->layer;
        p->sources.push_back(s);
      }
    }
  }
}

std::vector<render_chain_t> build_chains(const std::vector<block_base_t*>& blocks, float t) {
  chain_storage_t storage;
  return build_chains(blocks, t, storage);
}

const std::vector<render_chain_t>& build_chains(const std::vector<block_base_t*>& blocks, float t,
                                                chain_storage_t& storage) {
  std::vector<block_base_t*>& roots = storage.roots;
  std::vector<block_base_t*>& dependencies = storage.dependencies;
  roots.clear();
  dependencies.clear();
  for (block_base_t* block : blocks) {
    block->active = false;
    block->is_dependency = false;
    block->skipped = false;
  }
  for (block_base_t* block : blocks) {
    if (!is_active_at(*block, t)) continue;
    block->active = true;
    if (!block->sources.empty()) continue;
    roots.push_back(block);
    // Only block inputs make dependencies; the walk is skipped, with its visited set, without them.
    if (!block->has_block_inputs()) continue;
    for (block_base_t* dependency : block->get_dependencies()) {
      if (std::find(dependencies.begin(), dependencies.end(), dependency) == dependencies.end())
        dependencies.push_back(dependency);
    }
  }
  for (block_base_t* dependency : dependencies) {
    dependency->is_dependency = true;
    if (dependency->active) continue;
    dependency->active = true;
    roots.push_back(dependency);
    for (block_consumer_t& consumer : dependency->consumers) {
      consumer.block->active = true;
      consumer.block->is_dependency = true;
    }
  }

  block_base_t* held = nullptr;
  for (block_base_t* root : roots) {
    if (root->is_dependency) continue;
    if (!held) {
      held = root;
      continue;
    }
    block_base_t* dropped = root;
    if (root->layer < held->layer) std::swap(held, dropped);
    dropped->skipped = true;
    dropped->error_text = "skipping chain - more than 1 free chains not supported";
  }

  for (block_base_t* root : roots) {
    std::erase_if(root->consumers, [](const block_consumer_t& consumer) { return !consumer.block->active; });
  }

  // The chains keep their member lists from frame to frame; only the count may change.
  std::vector<render_chain_t>& chains = storage.chains;
  size_t count = 0;
  for (block_base_t* root : roots) {
    if (chains.size() == count) chains.emplace_back();
    make_render_chain(root, chains[count]);
    if (chains[count].last && chains[count].target_type != 0) ++count;
  }
  chains.resize(count);
  return chains;
}

render_chain_t make_render_chain(block_base_t* root) {
  render_chain_t chain;
  make_render_chain(root, chain);
  return chain;
}

void make_render_chain(block_base_t* root, render_chain_t& chain) {
  chain.root = root;
  chain.last = nullptr;
  chain.target_type = 0;
  chain.has_tonemapping = false;
  chain.has_fxaa = false;
  root->get_chain_blocks(root->can_start_chain(), chain.members);
  for (block_base_t* member : chain.members) {
    chain.has_tonemapping = chain.has_tonemapping || member->class_name == "tonemapping";
    chain.has_fxaa = chain.has_fxaa || member->has_fxaa();
  }
  if (!chain.members.empty()) {
    chain.last = chain.members.back();
    chain.target_type = chain.last->get_render_target_type();
  }
}

block_base_t* find_deepest_active_source(block_base_t* block, float t) {
  block_base_t* current = block;
  // Sources lie on strictly lower layers, so the walk ends; the bound guards a hand-built cycle.
  for (size_t depth = 0; depth < 4096; ++depth) {
    block_base_t* next = nullptr;
    for (block_base_t* source : current->sources) {
      if (is_active_at(*source, t)) {
        next = source;
        break;
      }
    }
    if (!next) break;
    current = next;
  }
  return current;
}
