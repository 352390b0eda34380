// Frame rendering of the engine. Stand-in until blocks render: the runtime's cleared back
// buffer is the frame, and there are no post effects to load.
#include "engine/engine_impl.h"

void engine_impl_t::load_default_post_effects() {}

void engine_impl_t::render_frame() {}

std::vector<render_chain_t> engine_impl_t::build_chains(float t) { return ::build_chains(get_blocks(), t); }
