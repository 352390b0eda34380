#include "engine/system.h"

int win_main(const char16_t*) { return 0; }
