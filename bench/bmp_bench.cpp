// BMP export and import of a 10000 x 8000 RGB image (240 MB of pixels, far
// beyond the page cache), in MB/s of file bytes. The file goes to
// $TARVEL_BENCH_BMP (default: the temporary directory) so that
// bench/bmp_compare.sh can time a peer on the very same file.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "imagefile/imagefile.h"
#include "platform/platform.h"

namespace {

constexpr int kWidth = 10000;
constexpr int kHeight = 8000;

std::string bench_file() {
    if (const char* path = std::getenv("TARVEL_BENCH_BMP")) return path;
    char dir[kMaxPath];
    GetTempPathA(kMaxPath, dir);
    return std::string(dir) + "tarvel-bench-10000x8000.bmp";
}

std::int64_t file_bytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

// The source image, made once: a pattern no encoder could shortcut.
tarvel::image& source() {
    static std::unique_ptr<tarvel::image> img;
    if (!img) {
        img = std::make_unique<tarvel::image>(3, kWidth, kHeight, 0);
        for (int c = 0; c < 3; ++c) {
            tarvel::image::pointer p(img.get(), c, 0);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x, ++p) {
                    *p = static_cast<unsigned char>((x * (c + 3)) ^ (y * 7) ^ (x * y >> 9));
                }
            }
        }
    }
    return *img;
}

void BM_BmpWrite(benchmark::State& state) {
    tarvel::image& img = source();
    const std::string path = bench_file();
    for (auto _ : state) {
        if (tarvel::storeWindowsBMP(img, path.c_str(), nullptr) != 0) {
            state.SkipWithError("storeWindowsBMP failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * file_bytes(path));
}

void BM_BmpRead(benchmark::State& state) {
    const std::string path = bench_file();
    if (file_bytes(path) == 0 && tarvel::storeWindowsBMP(source(), path.c_str(), nullptr) != 0) {
        state.SkipWithError("cannot write the file to read");
        return;
    }
    for (auto _ : state) {
        tarvel::image img;  // freeing its pages and page files is timed too
        if (tarvel::loadWindowsBMP(img, path.c_str(), nullptr) != 0) {
            state.SkipWithError("loadWindowsBMP failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * file_bytes(path));
}

BENCHMARK(BM_BmpWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BmpRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
