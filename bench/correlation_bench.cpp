// Target correlation per call: Execute (two region reads and the scan) and the
// scan alone on a 17 x 17 template in a 76 x 76 window; built against OpenCV,
// also matchTemplate with TM_CCOEFF_NORMED and minMaxLoc on the same data, on
// one thread. bench/correlation_bench.sh runs the comparison.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "correlation/correlation.h"
#include "correlation/template_scan.h"

#ifdef TARVEL_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using tarvel::CImageCorrelator_targeting;

constexpr int kSide = 512;
constexpr int kCases = 64;

// A grey picture in memory; region reads copy rows.
class memory_image : public KORBAS::CImage {
  public:
    explicit memory_image(std::vector<unsigned char> pixels) : m_pixels(std::move(pixels)) {}
    int getClass() const override { return 0; }
    unsigned getWidth() const override { return kSide; }
    unsigned getHeight() const override { return kSide; }
    unsigned short getBPP() const override { return 1; }
    KORBAS::CBitmap* createBitmap() override { return nullptr; }
    void destroyBitmap(KORBAS::CBitmap*) override {}
    void set(KORBAS::CBitmap*) override {}
    void flush() override {}
    void GetRegion(int, int x0, int y0, int x1, int y1, int, unsigned char* out) override {
        const int width = x1 - x0 + 1;
        for (int y = y0; y <= y1; ++y, out += width)
            std::memcpy(out, &m_pixels[size_t(y) * kSide + x0], width);
    }

  private:
    std::vector<unsigned char> m_pixels;
};

// Map-like texture: smooth waves and grain; the second picture is the first
// shifted by (5, -3) with noise.
struct scene {
    memory_image first, second;
    zun::geom::PNT_3D targets[kCases], guesses[kCases];
    unsigned char patterns[kCases][17 * 17], windows[kCases][76 * 76];

    static std::vector<unsigned char> picture(int dx, int dy, int noise, std::mt19937& rng) {
        std::vector<unsigned char> p(size_t(kSide) * kSide);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const double u = x - dx, v = y - dy;
                double value = 128 + 50 * std::sin(u * 0.07) * std::cos(v * 0.05) +
                               30 * std::sin((u + v) * 0.13) +
                               ((int(u) * 7919 ^ int(v) * 104729) & 15);
                if (noise) value += int(rng() % (2 * noise + 1)) - noise;
                p[size_t(y) * kSide + x] =
                    static_cast<unsigned char>(std::fmin(255, std::fmax(0, value)));
            }
        return p;
    }
    explicit scene(std::mt19937 rng = std::mt19937(7))
        : first(picture(0, 0, 0, rng)), second(picture(5, -3, 12, rng)) {
        std::uniform_real_distribution<double> at(60, kSide - 60);
        for (int k = 0; k < kCases; ++k) {
            targets[k] = {at(rng), at(rng)};
            guesses[k] = {targets[k].x + 5 + (rng() % 21) - 10.0,
                          targets[k].y + 3 + (rng() % 21) - 10.0};
            const int tx0 = int(targets[k].x - 8), ty0 = int(kSide - targets[k].y - 8);
            const int sx0 = int(guesses[k].x) - 38, sy0 = int(kSide - guesses[k].y) - 38;
            first.GetRegion(0, tx0, ty0, tx0 + 16, ty0 + 16, 0, patterns[k]);
            second.GetRegion(0, sx0, sy0, sx0 + 75, sy0 + 75, 0, windows[k]);
        }
    }
};

scene& data() {
    static scene s;
    return s;
}

void BM_Execute(benchmark::State& state) {
    scene& s = data();
    int k = 0;
    for (auto _ : state) {
        CImageCorrelator_targeting c(s.first, s.second, s.targets[k], s.guesses[k]);
        benchmark::DoNotOptimize(c.Execute());
        benchmark::DoNotOptimize(c.GetFactor());
        k = (k + 1) % kCases;
    }
}
BENCHMARK(BM_Execute);

// The scan on buffers already read: all of Execute but the two region reads.
void BM_Scan(benchmark::State& state) {
    scene& s = data();
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarvel::ScanTemplate(s.patterns[k], s.windows[k]));
        k = (k + 1) % kCases;
    }
}
BENCHMARK(BM_Scan);

#ifdef TARVEL_BENCH_OPENCV
// Every one of the 60 x 60 positions scored, then the best one found.
void BM_OpenCVMatchTemplate(benchmark::State& state) {
    cv::setNumThreads(1);
    scene& s = data();
    cv::Mat result;
    int k = 0;
    for (auto _ : state) {
        const cv::Mat pattern(17, 17, CV_8U, s.patterns[k]);
        const cv::Mat window(76, 76, CV_8U, s.windows[k]);
        cv::matchTemplate(window, pattern, result, cv::TM_CCOEFF_NORMED);
        double best;
        cv::Point where;
        cv::minMaxLoc(result, nullptr, &best, nullptr, &where);
        benchmark::DoNotOptimize(best);
        k = (k + 1) % kCases;
    }
}
BENCHMARK(BM_OpenCVMatchTemplate);
#endif

}  // namespace

BENCHMARK_MAIN();
