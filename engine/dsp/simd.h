// Small vector helpers for the block loops of the signal kernels.
//
//   TESSAL_INLINE          forces a helper inline into its (cloned) caller,
//                          so the caller's target options apply to it;
//   TESSAL_TARGET_CLONES   on GCC for x86-64 Linux, compiles a function for
//                          AVX2 as well and picks the best version when the
//                          program loads (nothing elsewhere, and not under
//                          ThreadSanitizer, whose run-time is not up yet
//                          when the loader picks the version);
//   TESSAL_HAVE_VECTORS    defined where the vector types below exist (GCC
//                          and Clang); code keeps a plain loop for the rest.
//   vec4 / fvec4           four doubles / four floats;
//   load_fvec4             four floats from any address, widened to vec4;
//   hsum                   the sum of the four lanes, pairwise.
#pragma once

#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define TESSAL_TARGET_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TESSAL_TARGET_CLONES
#endif

#if defined(__GNUC__)
#define TESSAL_INLINE [[gnu::always_inline]] inline
#define TESSAL_HAVE_VECTORS 1
#else
#define TESSAL_INLINE inline
#endif

namespace tessal::simd {

#if defined(TESSAL_HAVE_VECTORS)
typedef double vec4 __attribute__((vector_size(32)));
typedef float fvec4 __attribute__((vector_size(16)));

TESSAL_INLINE vec4 load_fvec4(const float* p) {
    fvec4 f;
    std::memcpy(&f, p, sizeof f);
    return __builtin_convertvector(f, vec4);
}

TESSAL_INLINE double hsum(vec4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }
#endif

}  // namespace tessal::simd
