// Placeholder; filled below.
#include <benchmark/benchmark.h>
BENCHMARK_MAIN();
