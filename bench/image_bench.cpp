// Paged image throughput: region reads against memcpy, iterator walks, and a walk
// over an image 64 times the cache with its peak resident memory.
//
// Run from a Release build: build-release/bench/bench_image (bench/run_image_bench.sh
// prints the ratios).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/memcpy_reference.h"
#include "image/image.h"

namespace {

constexpr int kSide = 4096;  // a 16 MiB grey plane: exactly the cache, so all of it stays in memory
constexpr int kRegion = 1024;  // region side

void fillPlane(tarvel::image& img, int channel) {
    tarvel::image::pointer p(&img, channel, 0);
    const long long n = static_cast<long long>(img.GetWidth()) * img.GetHeight();
    for (long long i = 0; i < n; ++i, ++p) *p = static_cast<unsigned char>(i);
}

void BM_GetRegionCached(benchmark::State& state) {
    tarvel::image img(1, kSide, kSide, 0);
    fillPlane(img, 0);
    std::vector<unsigned char> out(kRegion * kRegion);
    int k = 0;
    for (auto _ : state) {
        const int x0 = tarvel_bench::RegionX(k, kRegion), y0 = tarvel_bench::RegionY(k, kRegion);
        img.GetRegion(x0, y0, x0 + kRegion - 1, y0 + kRegion - 1, 0, out.data());
        benchmark::DoNotOptimize(out.data());
        ++k;
    }
    state.SetBytesProcessed(state.iterations() * kRegion * kRegion);
}
BENCHMARK(BM_GetRegionCached);

void BM_MemcpyRegion(benchmark::State& state) {
    tarvel_bench::MemcpyRegions(state, kSide, kRegion);
}
BENCHMARK(BM_MemcpyRegion);

void BM_IpointerReadPlane(benchmark::State& state) {
    tarvel::image img(1, kSide, kSide, 0);
    fillPlane(img, 0);
    const int n = kSide * kSide;
    for (auto _ : state) {
        tarvel::image::ipointer p(&img, 0, 0);
        unsigned sum = 0;
        for (int i = 0; i < n; ++i, ++p) sum += *p;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(n));
}
BENCHMARK(BM_IpointerReadPlane)->Unit(benchmark::kMillisecond);

void BM_PointerWritePlane(benchmark::State& state) {
    tarvel::image img(1, kSide, kSide, 0);
    const int n = kSide * kSide;
    for (auto _ : state) {
        tarvel::image::pointer p(&img, 0, 0);
        for (int i = 0; i < n; ++i, ++p) *p = static_cast<unsigned char>(i);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(n));
}
BENCHMARK(BM_PointerWritePlane)->Unit(benchmark::kMillisecond);

long long residentHighWaterBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
    }
    return -1;
}

// Writes then reads every sample of a 1 GiB grey image (64 x the 16 MiB cache)
// through the iterators; page files go to $TMPDIR (or /tmp).
void BM_WalkImage64xCache(benchmark::State& state) {
    const int width = 32768, height = 32768;
    for (auto _ : state) {
        {
            std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
        }
        tarvel::image img(1, width, height, 0);
        {
            tarvel::image::pointer p(&img, 0, 0);
            for (long long i = 0; i < static_cast<long long>(width) * height; ++i, ++p) {
                *p = static_cast<unsigned char>(i >> 8);
            }
        }
        long long wrong = 0;
        {
            tarvel::image::ipointer p(&img, 0, 0);
            for (long long i = 0; i < static_cast<long long>(width) * height; ++i, ++p) {
                wrong += *p != static_cast<unsigned char>(i >> 8);
            }
        }
        if (wrong != 0) state.SkipWithError("samples read back differ");
        state.counters["peak_MiB"] = residentHighWaterBytes() / 1048576.0;
    }
    state.SetBytesProcessed(state.iterations() * 2LL * width * height);
}
BENCHMARK(BM_WalkImage64xCache)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
