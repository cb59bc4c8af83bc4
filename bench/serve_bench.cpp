// Rendering tiles from a stored pyramid as the server does, with the layers'
// page files mapped and with plain page loads, at full resolution (where a
// page of whole rows holds far more than a tile needs) and at a quarter.
// The pyramid comes from TARVEL_BENCH_PYRAMID (bench/serve_bench.sh builds
// the built-in sample's); the page files are in the system's cache.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "server/pyramid_view.h"

namespace {

constexpr int kTile = 512;

void BM_Tile(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    const bool mapped = state.range(1) != 0;
    const char* dir = std::getenv("TARVEL_BENCH_PYRAMID");
    if (dir == nullptr) {
        state.SkipWithError("set TARVEL_BENCH_PYRAMID to a pyramid directory");
        return;
    }
    std::string error;
    std::unique_ptr<tarvel::server::pyramid_view> view =
        tarvel::server::pyramid_view::Open(dir, error, mapped);
    if (!view) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int span = kTile * scale;
    const int columns = view->Width() / span, rows = view->Height() / span;
    std::mt19937 random(42);
    tarvel::server::raster out;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    for (auto _ : state) {
        const int x = static_cast<int>(random() % columns) * span;
        const int y = static_cast<int>(random() % rows) * span;
        if (!view->Render(x, y, span, span, kTile, kTile, out, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(out.pixels.data());
    }
    getrusage(RUSAGE_SELF, &after);
    state.SetItemsProcessed(state.iterations());
    // Page faults per tile: for mapped files, about the 4 KiB pages touched.
    state.counters["faults/tile"] = static_cast<double>(after.ru_minflt - before.ru_minflt) /
                                    static_cast<double>(state.iterations());
    state.SetLabel(mapped ? "mapped page files" : "page loads");
}

BENCHMARK(BM_Tile)
    ->ArgNames({"scale", "mapped"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
