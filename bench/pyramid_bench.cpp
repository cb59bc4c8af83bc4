// Pyramid benchmarks: opening a stored pyramid and capturing views of it, and
// halving a large layer. The stored pyramid is the one bench/pyramid_bench.sh
// builds (its directory in TARVEL_PYRAMID_DIR); without it those are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "pyramid/pyramid.h"
#include "pyramid/resampler.h"

namespace {

// Opens the stored pyramid into p, or marks the benchmark skipped and returns false.
bool open_stored_pyramid(benchmark::State& state, tarvel::pyramid& p) {
    const char* dir = std::getenv("TARVEL_PYRAMID_DIR");
    if (dir == nullptr) {
        state.SkipWithError("TARVEL_PYRAMID_DIR names no pyramid");
        return false;
    }
    if (!p.Create(dir, nullptr)) {
        state.SkipWithError("the pyramid does not open");
        return false;
    }
    return true;
}

// Opening alone: pyramid.ini and every layer section, no page read.
void BM_OpenStoredPyramid(benchmark::State& state) {
    for (auto _ : state) {
        tarvel::pyramid p;
        if (!open_stored_pyramid(state, p)) return;
        benchmark::DoNotOptimize(p.GetLayerCount());
    }
}
BENCHMARK(BM_OpenStoredPyramid)->Unit(benchmark::kMillisecond);

// Open, then capture a 1024 x 1024 view whose area spans `range(0)` pixels of
// layer 0 on each side, from the centre: 1024 copies layer 0, 4096 reads
// layer 2, the whole image the coarsest fitting layer. Every sample of the
// view is produced; the pyramid's pages come from the page files each time.
void BM_OpenAndCapture1024(benchmark::State& state) {
    for (auto _ : state) {
        tarvel::pyramid p;
        if (!open_stored_pyramid(state, p)) return;
        const int w = p.GetLayerAt(0)->GetWidth();
        const int h = p.GetLayerAt(0)->GetHeight();
        const int side = state.range(0) > 0 ? static_cast<int>(state.range(0)) : std::min(w, h);
        tarvel::image view;
        p.Capture(view, 1024, 1024, (w - side) / 2, (h - side) / 2, side, side);
        benchmark::DoNotOptimize(view.GetWidth());
    }
    state.SetLabel(state.range(0) > 0 ? std::to_string(state.range(0)) + " px square"
                                      : "whole image");
}
BENCHMARK(BM_OpenAndCapture1024)->Arg(1024)->Arg(4096)->Arg(0)->Unit(benchmark::kMillisecond);

// Halving one 5000 x 4000 RGB layer into the next (the build's inner loop),
// pages staying in their files between runs.
void BM_HalveLayer(benchmark::State& state) {
    tarvel::image source(3, 5000, 4000, 0);
    for (int c = 0; c < 3; ++c) {
        tarvel::image::pointer p(&source, c, 0);
        for (int i = 0; i < 5000 * 4000; ++i, ++p) *p = static_cast<unsigned char>(i * 7 + c);
    }
    for (auto _ : state) {
        tarvel::image half;
        tarvel::CImageResampler_bilinear r;
        r.SetSource(&source, 0, 0, 5000, 4000);
        r.SetDestination(&half, 0, 0, 2500, 2000);
        r.Execute(nullptr);
        half.Flush();
    }
    state.SetBytesProcessed(state.iterations() * 3LL * 5000 * 4000);
}
BENCHMARK(BM_HalveLayer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
