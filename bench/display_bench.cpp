// Filling views of a stored pyramid through the pyramid bitmap: a 1920 x 1080
// view at reductions 1, 2.7 and 16, nearest and smooth, each repetition moved
// by one image pixel so that it really fills, with the view cache and with the
// default 16 MiB layer cache; an unchanged repaint; panning by 64 pixels; a
// view written as PNG at several zlib levels. Built with OpenCV (where it is
// installed), also cv::resize of the same region of the picture held in
// memory, one thread.
//
// Usage: bench_display PYRAMID_DIR [benchmark flags]
// bench/display_bench.sh builds the sample's pyramid and runs everything.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "display/display.h"
#include "host/qdc.h"

#ifdef TARVEL_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kViewWidth = 1920, kViewHeight = 1080;
constexpr double kReductions[] = {1.0, 2.7, 16.0};

std::string g_directory;

tarvel::CImagePyramid& adapter() {
    static std::unique_ptr<tarvel::CImagePyramid> opened;
    if (!opened) {
        try {
            opened = std::make_unique<tarvel::CImagePyramid>(nullptr, g_directory.c_str(), nullptr,
                                                             nullptr);
        } catch (const tarvel::CPyramidNotCreatedException&) {
            std::fprintf(stderr, "bench_display: %s holds no pyramid\n", g_directory.c_str());
            std::exit(1);
        }
    }
    return *opened;
}

// The rectangle, in layer-0 pixels from the top-left corner, that a view at
// `reduction` centred on the picture shows, moved right by `shift` pixels.
struct region {
    double x0, y0, x1, y1;
};
region centred(double reduction, double shiftX = 0, double shiftY = 0) {
    const double cx = adapter().getWidth() / 2.0 + shiftX;
    const double cy = adapter().getHeight() / 2.0 + shiftY;
    const double hw = reduction * kViewWidth / 2, hh = reduction * kViewHeight / 2;
    return {cx - hw, cy - hh, cx + hw, cy + hh};
}

tarvel::view_window window_of(const region& r) {
    return tarvel::WindowForView(static_cast<int>(adapter().getHeight()), r.x0, r.y0, r.x1, r.y1,
                                 kViewWidth, kViewHeight);
}

// A bitmap of the adapter, handed back at the end of the benchmark.
struct bench_bitmap {
    explicit bench_bitmap(bool smooth, bool viewCache = true) {
        adapter().setSmoothing(smooth ? 1 : 0);
        bitmap = static_cast<tarvel::CBitmapPyramidWindows*>(adapter().createBitmap());
        bitmap->SetViewCache(viewCache);
    }
    ~bench_bitmap() { adapter().destroyBitmap(bitmap); }
    tarvel::CBitmapPyramidWindows* bitmap;
};

// Arguments: reduction index, smooth, view cache. Every repetition moves the
// window by one pixel, so that every one fills.
void BM_Fill(benchmark::State& state) {
    const double reduction = kReductions[state.range(0)];
    bench_bitmap b(state.range(1) != 0, state.range(2) != 0);
    b.bitmap->FillView(kViewWidth, kViewHeight, window_of(centred(reduction)));
    const long long before = b.bitmap->GetFillCount();
    long long step = 0;
    for (auto _ : state) {
        const tarvel::view_window w =
            window_of(centred(reduction, static_cast<double>(++step & 1)));
        if (!b.bitmap->FillView(kViewWidth, kViewHeight, w)) state.SkipWithError("no fill");
    }
    state.counters["layer"] = b.bitmap->GetFillLayer();
    state.counters["refills"] =
        benchmark::Counter(static_cast<double>(b.bitmap->GetFillCount() - before) /
                           static_cast<double>(state.iterations()));
    tarvel::image& layer = *adapter().getPyramid().GetLayerAt(b.bitmap->GetFillLayer());
    state.counters["cache_MiB"] = static_cast<double>(layer.GetCacheBudget()) / 1048576.0;
}
BENCHMARK(BM_Fill)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {1, 0}})
    ->ArgNames({"reduction", "smooth", "viewcache"})
    ->Unit(benchmark::kMillisecond);

// The same view asked for again: the skip test alone, then with the blit
// onto a device surface of the view's size.
void BM_UnchangedRepaint(benchmark::State& state) {
    bench_bitmap b(true);
    const tarvel::view_window w = window_of(centred(2.7));
    QDC dc(kViewWidth, kViewHeight);
    b.bitmap->FillView(kViewWidth, kViewHeight, w);
    const long long before = b.bitmap->GetFillCount();
    for (auto _ : state) {
        if (state.range(0))
            b.bitmap->DisplayBitmap(dc, 0, kViewHeight - 1, kViewWidth - 1, 0, w.d1, w.d2, w.d3,
                                    w.d4);
        else
            b.bitmap->FillView(kViewWidth, kViewHeight, w);
    }
    if (b.bitmap->GetFillCount() != before) state.SkipWithError("an unchanged repaint filled");
}
BENCHMARK(BM_UnchangedRepaint)->Arg(0)->Arg(1)->ArgName("blit")->Unit(benchmark::kMicrosecond);

// Panning at 1:1 by 64 pixels a step, right (0) or down (1), back and forth
// across 20 steps.
void BM_Pan64(benchmark::State& state) {
    bench_bitmap b(state.range(1) != 0);
    long long step = 0;
    for (auto _ : state) {
        const long long k = step++ % 40;
        const double offset = 64.0 * (k < 20 ? k : 40 - k);
        const region r = state.range(0) ? centred(1.0, 0, offset) : centred(1.0, offset, 0);
        b.bitmap->FillView(kViewWidth, kViewHeight, window_of(r));
    }
}
BENCHMARK(BM_Pan64)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"down", "smooth"})
    ->Unit(benchmark::kMillisecond);

// A view written as PNG at a zlib level; the file's size is reported.
void BM_WritePng(benchmark::State& state) {
    QDC dc(kViewWidth, kViewHeight);
    {
        bench_bitmap b(true);
        const tarvel::view_window w = window_of(centred(2.7));
        b.bitmap->DisplayBitmap(dc, 0, kViewHeight - 1, kViewWidth - 1, 0, w.d1, w.d2, w.d3, w.d4);
    }
    const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                             "/bench_display_view.png";
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state)
        if (!dc.SaveAsPNG(path.c_str(), level)) state.SkipWithError("cannot write the PNG");
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        state.counters["KiB"] = static_cast<double>(std::ftell(f)) / 1024.0;
        std::fclose(f);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_WritePng)
    ->Arg(0)
    ->Arg(1)
    ->Arg(6)
    ->Arg(9)
    ->ArgName("level")
    ->Unit(benchmark::kMillisecond);

#ifdef TARVEL_BENCH_OPENCV
// Layer 0 of the pyramid as one interleaved blue-green-red array.
const cv::Mat& picture() {
    static cv::Mat mat;
    if (mat.empty()) {
        tarvel::image& top = *adapter().getPyramid().GetLayerAt(0);
        const int w = top.GetWidth(), h = top.GetHeight();
        mat.create(h, w, CV_8UC3);
        std::vector<unsigned char> row(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            unsigned char* out = mat.ptr<unsigned char>(y);
            for (int c = 0; c < 3; ++c) {
                top.GetRegion(0, y, w - 1, y, c, row.data());
                for (int x = 0; x < w; ++x) out[3 * x + 2 - c] = row[x];
            }
        }
        top.Flush();
    }
    return mat;
}

// cv::resize of the view's region, the part of it inside the picture, to the
// view's pixels for that part; arguments: reduction index, INTER_LINEAR.
void BM_OpenCVResize(benchmark::State& state) {
    cv::setNumThreads(1);
    const double reduction = kReductions[state.range(0)];
    const int interpolation = state.range(1) ? cv::INTER_LINEAR : cv::INTER_NEAREST;
    const cv::Mat& src = picture();
    cv::Mat dst;
    long long step = 0;
    for (auto _ : state) {
        const region r = centred(reduction, static_cast<double>(++step & 1));
        const int x0 = std::max(0, static_cast<int>(r.x0)),
                  y0 = std::max(0, static_cast<int>(r.y0));
        const int x1 = std::min(src.cols, static_cast<int>(r.x1));
        const int y1 = std::min(src.rows, static_cast<int>(r.y1));
        const cv::Size size(static_cast<int>((x1 - x0) / reduction + 0.5),
                            static_cast<int>((y1 - y0) / reduction + 0.5));
        cv::resize(src(cv::Rect(x0, y0, x1 - x0, y1 - y0)), dst, size, 0, 0, interpolation);
        benchmark::DoNotOptimize(dst.data);
    }
    state.counters["pixels"] = static_cast<double>(dst.total());
}
BENCHMARK(BM_OpenCVResize)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"reduction", "linear"})
    ->Unit(benchmark::kMillisecond);

// cv::merge of the 1:1 view's region from three separate planes, OpenCV's
// form of what a 1:1 fill does with a colour layer's channel-separate rows.
void BM_OpenCVMerge(benchmark::State& state) {
    cv::setNumThreads(1);
    static std::vector<cv::Mat> planes;
    if (planes.empty()) cv::split(picture(), planes);
    cv::Mat dst;
    long long step = 0;
    for (auto _ : state) {
        const region r = centred(1.0, static_cast<double>(++step & 1));
        const cv::Rect rect(static_cast<int>(r.x0), static_cast<int>(r.y0), kViewWidth,
                            kViewHeight);
        const cv::Mat parts[] = {planes[0](rect), planes[1](rect), planes[2](rect)};
        cv::merge(parts, 3, dst);
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_OpenCVMerge)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: bench_display PYRAMID_DIR [benchmark flags]\n");
        return 2;
    }
    g_directory = argv[1];
    argv[1] = argv[0];
    --argc;
    ++argv;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
