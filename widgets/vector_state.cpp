#include "widgets/vector_state.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace {

// Compiled for AVX on its own, so the program as a whole still runs on any x86-64 processor.
__attribute__((target("avx"))) void ZeroUpperHalves()
{
    _mm256_zeroupper();
}

} // namespace

void ClearUpperVectorState()
{
    // Also false where the operating system has not enabled the AVX registers.
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        ZeroUpperHalves();
}

#else

void ClearUpperVectorState() {}

#endif
