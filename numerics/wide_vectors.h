#pragma once
// VANTORRA_WIDE_VECTORS before a function compiles it twice, for processors with AVX2 and for
// every other, the one to run chosen when the program starts. Neither compilation fuses a
// multiply and an add (AVX2 alone brings no fused multiply-add), so both give the same floats;
// only the width of the vectors differs.
// Not under the thread sanitizer: its hooks in the function that picks the compilation would run
// before the sanitizer itself has started.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VANTORRA_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VANTORRA_WIDE_VECTORS
#endif
