// The reference region reads are measured against: memcpy of the same rows
// out of one flat plane, over the same sequence of crossing rectangles.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace tarvel_bench {

// The k-th rectangle of side `region` inside a plane of side 3 x region or
// more: it crosses page and tile boundaries in both directions.
inline int RegionX(int k, int region) {
    return (k % 3) * region + 17;
}
inline int RegionY(int k, int region) {
    return ((k / 3) % 3) * region + 200;
}

inline void MemcpyRegions(benchmark::State& state, int side, int region) {
    std::vector<unsigned char> plane(static_cast<size_t>(side) * side, 1);
    std::vector<unsigned char> out(static_cast<size_t>(region) * region);
    int k = 0;
    for (auto _ : state) {
        const unsigned char* src =
            plane.data() + static_cast<size_t>(RegionY(k, region)) * side + RegionX(k, region);
        for (int y = 0; y < region; ++y)
            std::memcpy(&out[static_cast<size_t>(y) * region], src + static_cast<size_t>(y) * side,
                        region);
        benchmark::DoNotOptimize(out.data());
        ++k;
    }
    state.SetBytesProcessed(state.iterations() * region * region);
}

}  // namespace tarvel_bench
