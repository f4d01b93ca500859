#pragma once
// KELVANE_AVX2_CLONES before a function built for the vectoriser: on x86-64 it is compiled
// twice, plainly and for AVX2, and the loader picks the copy the processor can run. Other
// targets compile it once, for their own vector unit, since the AVX2 copy exists only there.
#if defined(__x86_64__)
#define KELVANE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KELVANE_AVX2_CLONES
#endif
