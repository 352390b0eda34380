#include "variables/engine_context.h"

namespace {
engine_context_t g_engine_context;
}  // namespace

engine_context_t* const engine_context = &g_engine_context;
