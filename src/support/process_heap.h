#pragma once
// The process heap's policy, set once at start-up before any thread starts.

// The GL driver allocates and frees large blocks every frame. With glibc's defaults they go back to
// the kernel when freed (trim, or unmap of a large block) and each frame faults them in again, which
// costs several times the frame's own work once other processes compete for the CPU. Freed memory
// now stays mapped and is reused; only blocks of 32 MiB and more get mappings of their own.
void keep_freed_heap_mapped();
