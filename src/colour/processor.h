#pragma once
// Which vector instructions the kernels may use, and whether the build is held to AVX2
// (PROLUT_HOLD_TO_AVX2), so that a machine with AVX-512 can run and measure the program as a
// processor without it would.

// AVX2 with FMA.
bool processor_runs_avx2();

// True in a build held to AVX2.
bool processor_held_to_avx2();
