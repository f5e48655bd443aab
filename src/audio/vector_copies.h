// The modulator's hot loops are written on vectors of eight floats or four
// doubles. On x86-64 the compiler builds a second copy of each for
// processors with AVX2, picked when the program loads; elsewhere (and in
// the first copy) a vector is carried by two narrower registers. The sums
// are the same in both copies: contraction into fused multiply-adds is off.
#pragma once

#if defined(__x86_64__) && defined(__GLIBC__)
#define SKEDCAST_WITH_AVX2_COPY __attribute__((target_clones("avx2", "default")))
#else
#define SKEDCAST_WITH_AVX2_COPY
#endif
