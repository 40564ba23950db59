#include "colour/processor.h"

bool processor_held_to_avx2() {
#ifdef PROLUT_HOLD_TO_AVX2
    return true;
#else
    return false;
#endif
}

bool processor_runs_avx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
