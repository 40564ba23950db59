#pragma once
// Which vector instructions the kernels may use: what the processor has, held at AVX2 in a
// build made with PROLUT_HOLD_TO_AVX2, so that a machine with AVX-512 can run and measure the
// program as a processor without it would.

// AVX2 with FMA.
bool processor_runs_avx2();

// AVX-512 F, BW, DQ and VL; never in a build held to AVX2.
bool processor_runs_avx512();

// True in a build held to AVX2.
bool processor_held_to_avx2();
