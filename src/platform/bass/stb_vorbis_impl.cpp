// The one translation unit that compiles stb_vorbis's implementation.
#include <stb/stb_vorbis.h>
