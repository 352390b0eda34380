// ThreadSanitizer suppressions for every test executable. Mesa's software rasterizer waits for its
// own threads through futexes, which ThreadSanitizer does not see, and then reports the fence's mutex
// as raced when it is destroyed. Our GL calls all come from one thread; the races inside the driver
// are not ours to find.
extern "C" const char* __tsan_default_suppressions() { return "race:swrast_dri.so\n"; }
