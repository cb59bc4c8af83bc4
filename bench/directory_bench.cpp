// Image directories and intensity changes: Freeze and Thaw of an image with thousands
// of pages, and a brightness change on an image whose cache is full.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/directory.h"
#include "image/image.h"
#include "platform/platform.h"

namespace {

// The most pages a channel can have: one 524289-byte line per page and a plane
// below 2^31 bytes give 4095 pages, four channels 16380 page keys.
constexpr int kWide = 524289;
constexpr int kTall = 4095;

std::string make_directory(const char* stem) {
    char base[kMaxPath];
    GetTempPathA(kMaxPath, base);
    std::string pattern = std::string(base) + stem + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void remove_directory(const std::string& dir) {
    std::system(("rm -rf '" + dir + "'").c_str());
}

// A directory for the widest four-channel image: its section in "big.ini" and
// one sparse page file of full size per page, so nothing is written but names.
struct many_pages {
    std::string dir = make_directory("tarvel-bench-pages");
    int pages = 0;

    many_pages() {
        tarvel::image probe(3, kWide, kTall, 3);
        std::vector<std::string> keys, values;
        auto add = [&](const std::string& k, int v) {
            keys.push_back(k);
            values.push_back(std::to_string(v));
        };
        add("Type", 3);
        add("Mode", 3);
        add("Width", kWide);
        add("Height", kTall);
        add("Channels", 4);
        add("PageCount", probe.GetPageCount());
        add("PageLen", probe.GetPageLen());
        add("PageSize", probe.GetPageSize());
        add("CacheLimit", probe.GetCacheLimit());
        for (int c = 0; c < 4; ++c) {
            for (int p = 0; p < probe.GetPageCount(); ++p, ++pages) {
                char name[16];
                std::snprintf(name, sizeof name, "~gm%x.tmp", 0x10000 + pages);
                const std::string path = dir + "/" + name;
                const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || ftruncate(fd, probe.GetPageSize()) != 0) std::abort();
                close(fd);
                keys.push_back(tarvel::PageKey(c, p));
                values.push_back(name);
            }
        }
        std::vector<LPCSTR> k, v;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            k.push_back(keys[i].c_str());
            v.push_back(values[i].c_str());
        }
        const std::string ini = dir + "/big.ini";
        if (!WritePrivateProfileKeysA("Layer0", k.data(), v.data(), static_cast<DWORD>(k.size()),
                                      ini.c_str())) {
            std::abort();
        }
    }
    ~many_pages() { remove_directory(dir); }
};

many_pages& fixture() {
    static many_pages f;
    return f;
}

void BM_Thaw16380Pages(benchmark::State& state) {
    many_pages& f = fixture();
    tarvel::image img;
    img.SetTempPath(f.dir.c_str());
    for (auto _ : state) {
        if (!img.Thaw("big.ini", "Layer0", false)) state.SkipWithError("thaw failed");
    }
    state.counters["pages"] = f.pages;
}
BENCHMARK(BM_Thaw16380Pages)->Unit(benchmark::kMillisecond);

// Freeze into a new file (as a pyramid build does) or over the same keys again.
void BM_Freeze16380Pages(benchmark::State& state) {
    many_pages& f = fixture();
    const bool fresh = state.range(0) != 0;
    tarvel::image img;
    img.SetTempPath(f.dir.c_str());
    if (!img.Thaw("big.ini", "Layer0", false)) state.SkipWithError("thaw failed");
    const std::string out = f.dir + "/frozen.ini";
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            std::remove(out.c_str());
            state.ResumeTiming();
        }
        if (!img.Freeze("frozen.ini", "Layer0", true)) state.SkipWithError("freeze failed");
    }
    state.counters["pages"] = f.pages;
}
BENCHMARK(BM_Freeze16380Pages)->ArgName("newfile")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// For comparison: the same number of keys written one call at a time, each a
// full atomic replacement of the growing file.
void BM_SingleKeyWrites(benchmark::State& state) {
    const std::string dir = make_directory("tarvel-bench-keys");
    const std::string ini = dir + "/keys.ini";
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(ini.c_str());
        state.ResumeTiming();
        for (int i = 0; i < n; ++i) {
            WritePrivateProfileStringA("Layer0", tarvel::PageKey(0, i).c_str(), "~gm12345678.tmp",
                                       ini.c_str());
        }
    }
    remove_directory(dir);
}
BENCHMARK(BM_SingleKeyWrites)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A grey image of 16 pages of 1048000 bytes: exactly a full cache.
struct full_cache {
    std::string dir = make_directory("tarvel-bench-cache");
    tarvel::image img;

    full_cache() {
        img.SetTempPath(dir.c_str());
        img.Create(1, 1000, 16 * 1048, 0);
        fill();
        img.Flush();  // every page has its file from now on
    }
    ~full_cache() {
        img.Destroy();
        remove_directory(dir);
    }
    // Brings every page into memory.
    void fill() {
        unsigned char px;
        for (int p = 0; p < img.GetPageCount(); ++p) {
            img.GetRegion(0, p * img.GetPageLen(), 0, p * img.GetPageLen(), 0, &px);
        }
    }
};

// Changing brightness drops the cached pages; with a directory attached it also
// rewrites the two keys. The refill variant reads all 16 pages back through the table.
void BM_BrightnessChange(benchmark::State& state) {
    full_cache f;
    const bool attached = state.range(0) != 0;
    const bool refill = state.range(1) != 0;
    if (attached) f.img.Freeze("image.ini", nullptr, true);
    int i = 0;
    for (auto _ : state) {
        if (!refill) {
            state.PauseTiming();
            f.fill();
            state.ResumeTiming();
        }
        f.img.SetBrightnessContrast(++i % 2 == 0 ? 60.0 : 40.0, 55.0);
        if (refill) f.fill();
    }
    state.counters["cached_pages"] = f.img.GetCacheLimit();
}
BENCHMARK(BM_BrightnessChange)
    ->ArgNames({"attached", "refill"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
