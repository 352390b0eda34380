#include "engine/render_target.h"

render_target_t::~render_target_t() = default;

void render_target_t::copy_counter() {}
