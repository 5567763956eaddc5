#pragma once

// Marks a function to be built more than once: for each processor level named (GCC's and Clang's
// target names, such as "avx2" or "arch=x86-64-v4") and for the baseline processor; the loader
// picks the best one the processor runs through an indirect function. A loop whose lanes fit the
// wider vector registers then uses them without the program requiring them. Every build of the
// function must give the same results.
//
// Under ThreadSanitizer such an indirect function is resolved before the sanitizer's runtime is
// ready, and the program crashes at start; other processors than x86-64 have other target names:
// there only the baseline build is made.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define VARELO_VECTOR_CLONES(...) __attribute__((target_clones(__VA_ARGS__, "default")))
#else
#define VARELO_VECTOR_CLONES(...)
#endif
