// The scan's kernel for each instruction set, and the pick among them. One
// binary runs on any x86-64: the wider sets are taken only where the
// processor (and the system, for AVX-512 state) has them.
#include "greedy/subscan.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SUBSCAN_X86 1
#endif

// A store that goes past the cache, where the processor has one.
static inline void stream_int(int *p, int v) {
#ifdef SUBSCAN_X86
  _mm_stream_si32(p, v);
#else
  *p = v;
#endif
}

namespace subscan_base {
#define SUBSCAN_TARGET
#ifdef __SSE2__
#define SUBSCAN_SSE2
#endif
#include "greedy/subscan_body.h"
#undef SUBSCAN_SSE2
#undef SUBSCAN_TARGET
}  // namespace subscan_base

#ifdef SUBSCAN_X86
namespace subscan_avx2 {
#define SUBSCAN_TARGET __attribute__((target("avx2,bmi,bmi2,fma,popcnt")))
#define SUBSCAN_AVX2
#include "greedy/subscan_body.h"
#undef SUBSCAN_AVX2
#undef SUBSCAN_TARGET
}  // namespace subscan_avx2

namespace subscan_avx512 {
#ifdef __clang__
#define SUBSCAN_TARGET                                                                             \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx2,bmi2,popcnt")))
#else
#define SUBSCAN_TARGET                                                                             \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx2,bmi2,popcnt,"                     \
                        "prefer-vector-width=512")))
#endif
#define SUBSCAN_AVX512
#include "greedy/subscan_body.h"
#undef SUBSCAN_AVX512
#undef SUBSCAN_TARGET
}  // namespace subscan_avx512

const subscan_fn subscan_kernels[subkernels] = {subscan_base::scan_chunk, subscan_avx2::scan_chunk,
                                                subscan_avx512::scan_chunk};

bool subcount_supports(int kernel) {
  __builtin_cpu_init();
  switch (kernel) {
  case subkernel_base:
    return true;
  case subkernel_avx2:
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("fma");
  case subkernel_avx512:
    return subcount_supports(subkernel_avx2) && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq");
  default:
    return false;
  }
}
#else
const subscan_fn subscan_kernels[subkernels] = {subscan_base::scan_chunk, nullptr, nullptr};

bool subcount_supports(int kernel) { return kernel == subkernel_base; }
#endif

const char *subcount_kernel_name(int kernel) {
  static const char *const names[subkernels] = {"base", "avx2", "avx512"};
  return kernel >= 0 && kernel < subkernels ? names[kernel] : "";
}
