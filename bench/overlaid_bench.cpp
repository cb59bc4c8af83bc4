// Overlaid image throughput: row and region reads over loaded tiles against
// memcpy of the same bytes, single-sample access per call, and a full pass
// over an image 20 times the part list's limit against the same pass over a
// plain array.
//
// Run from a Release build: build-release/bench/bench_overlaid
// (bench/run_overlaid_bench.sh prints the ratios).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/memcpy_reference.h"
#include "overlaid/overlaid.h"

namespace {

using Image::COverlaidImage;
using Image::IImage;

constexpr int kSide = 4096;    // a 16 MiB grey image: 64 tiles, all loaded under the default limit
constexpr int kRegion = 1024;  // region side

// Holds one image for a benchmark and releases it.
struct grey_image {
    explicit grey_image(unsigned width, unsigned height)
        : image(new COverlaidImage(width, height, 1, IImage::kPixelByte, IImage::kImageGrey)) {}
    ~grey_image() { image->SubReference(); }
    COverlaidImage* image;
};

void fill(COverlaidImage& image) {
    std::vector<unsigned char> row(image.GetWidth());
    for (unsigned y = 0; y < image.GetHeight(); ++y) {
        for (unsigned x = 0; x < row.size(); ++x) row[x] = static_cast<unsigned char>(x + y);
        image.PutRegion(0, y, row.size() - 1, y, 0, row.data());
    }
}

void BM_OverlaidGetLine(benchmark::State& state) {
    grey_image g(kSide, kSide);
    fill(*g.image);
    std::vector<unsigned char> out(kSide);
    int y = 0;
    for (auto _ : state) {
        g.image->GetLine(0, kSide - 1, y, 0, out.data());
        benchmark::DoNotOptimize(out.data());
        y = (y + 1) % kSide;
    }
    state.SetBytesProcessed(state.iterations() * kSide);
}
BENCHMARK(BM_OverlaidGetLine);

void BM_MemcpyLine(benchmark::State& state) {
    std::vector<unsigned char> plane(static_cast<size_t>(kSide) * kSide, 1);
    std::vector<unsigned char> out(kSide);
    int y = 0;
    for (auto _ : state) {
        std::memcpy(out.data(), &plane[static_cast<size_t>(y) * kSide], kSide);
        benchmark::DoNotOptimize(out.data());
        y = (y + 1) % kSide;
    }
    state.SetBytesProcessed(state.iterations() * kSide);
}
BENCHMARK(BM_MemcpyLine);

// Regions that cross tile boundaries in both directions.
void BM_OverlaidGetRegion(benchmark::State& state) {
    grey_image g(kSide, kSide);
    fill(*g.image);
    std::vector<unsigned char> out(kRegion * kRegion);
    int k = 0;
    for (auto _ : state) {
        const int x0 = tarvel_bench::RegionX(k, kRegion), y0 = tarvel_bench::RegionY(k, kRegion);
        g.image->GetRegion(x0, y0, x0 + kRegion - 1, y0 + kRegion - 1, 0, out.data());
        benchmark::DoNotOptimize(out.data());
        ++k;
    }
    state.SetBytesProcessed(state.iterations() * kRegion * kRegion);
}
BENCHMARK(BM_OverlaidGetRegion);

void BM_MemcpyRegion(benchmark::State& state) {
    tarvel_bench::MemcpyRegions(state, kSide, kRegion);
}
BENCHMARK(BM_MemcpyRegion);

// Single samples along rows, so that every call may land in another tile.
void BM_OverlaidPutPixel(benchmark::State& state) {
    grey_image g(kSide, kSide);
    unsigned i = 0;
    for (auto _ : state) {
        g.image->PutPixel(i % kSide, (i / kSide) % kSide, 0, static_cast<unsigned char>(i));
        i += 7;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OverlaidPutPixel);

void BM_OverlaidGetPixel(benchmark::State& state) {
    grey_image g(kSide, kSide);
    fill(*g.image);
    unsigned i = 0, sum = 0;
    for (auto _ : state) {
        sum += g.image->GetPixel(i % kSide, (i / kSide) % kSide, 0);
        i += 7;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OverlaidGetPixel);

// The full pass: every row written, then every row read, over an image of 20
// times the part list's limit (tiles saved to the swap file and loaded again)
// and over a plain array of the same size.
constexpr unsigned kPassLimit = 8u << 20;
constexpr int kPassWidth = 13312, kPassHeight = 12800;  // 162.5 MiB: 26 x 25 tiles

void BM_OverlaidFullPass(benchmark::State& state) {
    img::COverlaidImagePartList::SetDefaultByteLimit(kPassLimit);
    std::vector<unsigned char> row(kPassWidth);
    for (auto _ : state) {
        grey_image g(kPassWidth, kPassHeight);
        for (int y = 0; y < kPassHeight; ++y) {
            std::memset(row.data(), y, row.size());
            g.image->PutRegion(0, y, kPassWidth - 1, y, 0, row.data());
        }
        unsigned sum = 0;
        for (int y = 0; y < kPassHeight; ++y) {
            g.image->GetLine(0, kPassWidth - 1, y, 0, row.data());
            sum += row[y % kPassWidth];
        }
        benchmark::DoNotOptimize(sum);
    }
    img::COverlaidImagePartList::SetDefaultByteLimit(
        img::COverlaidImagePartList::kDefaultByteLimit);
    state.SetBytesProcessed(state.iterations() * 2LL * kPassWidth * kPassHeight);
}
BENCHMARK(BM_OverlaidFullPass)->Iterations(1)->Unit(benchmark::kMillisecond);

// The array is in memory before the pass starts, so that the pass costs only
// the copies, not the page faults of fresh memory.
void BM_PlainFullPass(benchmark::State& state) {
    std::vector<unsigned char> row(kPassWidth);
    std::vector<unsigned char> plane(static_cast<size_t>(kPassWidth) * kPassHeight, 1);
    for (auto _ : state) {
        for (int y = 0; y < kPassHeight; ++y) {
            std::memset(row.data(), y, row.size());
            std::memcpy(&plane[static_cast<size_t>(y) * kPassWidth], row.data(), kPassWidth);
        }
        unsigned sum = 0;
        for (int y = 0; y < kPassHeight; ++y) {
            std::memcpy(row.data(), &plane[static_cast<size_t>(y) * kPassWidth], kPassWidth);
            sum += row[y % kPassWidth];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * 2LL * kPassWidth * kPassHeight);
}
BENCHMARK(BM_PlainFullPass)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
