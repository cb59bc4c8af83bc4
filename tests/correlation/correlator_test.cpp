// Target correlator: border checks, planted copies and ties, flat templates,
// and agreement with a plain reference of the scan rule on random image pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "correlation/correlation.h"

namespace {

using tarvel::CImageCorrelator_targeting;
using tarvel::correlation_failure;
using zun::geom::PNT_3D;

// A grey in-memory host image, rows from the top. Region reads that leave it
// fail the test.
struct memory_image : KORBAS::CImage {
    memory_image(int w, int h, int value = 0) : width(w), height(h), pixels(size_t(w) * h, value) {}
    unsigned char& at(int x, int row) { return pixels[size_t(row) * width + x]; }
    int getClass() const override { return 0; }
    unsigned getWidth() const override { return width; }
    unsigned getHeight() const override { return height; }
    unsigned short getBPP() const override { return 1; }
    KORBAS::CBitmap* createBitmap() override { return nullptr; }
    void destroyBitmap(KORBAS::CBitmap*) override {}
    void set(KORBAS::CBitmap*) override {}
    void flush() override {}
    void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                   unsigned char* out) override {
        ++reads;
        EXPECT_TRUE(layer == 0 && channel == 0);
        ASSERT_TRUE(x0 >= 0 && y0 >= 0 && x1 < width && y1 < height) << x0 << "," << y0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) *out++ = at(x, y);
    }
    int width, height, reads = 0;
    std::vector<unsigned char> pixels;
};

struct outcome {
    bool done;
    double x, y, factor;
};

outcome run(memory_image& first, memory_image& second, PNT_3D p1, PNT_3D p2) {
    CImageCorrelator_targeting c(first, second, p1, p2);
    const bool done = c.Execute();
    return {done, c.GetPoint().x, c.GetPoint().y, c.GetFactor()};
}

// The scan rule written plainly from its formulas: sums in double, samples
// read straight from the images.
outcome reference(memory_image& first, memory_image& second, PNT_3D p1, PNT_3D p2) {
    const double h1 = first.height, h2 = second.height;
    if (!(p1.x - 8 - 2 >= 0 && p1.x + 10 < first.width && p1.y - 8 - 2 >= 0 && p1.y + 10 < h1) ||
        !(p2.x - 38 - 2 >= 0 && p2.x + 40 < second.width && p2.y - 38 - 2 >= 0 && p2.y + 40 < h2))
        return {false, 0, 0, 0};
    const double r1 = h1 - p1.y;
    const int tx0 = int(p1.x - 8), ty0 = int(r1 - 8);
    const int X2 = int(p2.x), R2 = int(h2 - p2.y), sx0 = X2 - 38, sy0 = R2 - 38;
    double sumT = 0, sumSqT = 0;
    for (int j = 0; j < 17; ++j)
        for (int i = 0; i < 17; ++i) {
            sumT += first.at(tx0 + i, ty0 + j);
            sumSqT += first.at(tx0 + i, ty0 + j) * first.at(tx0 + i, ty0 + j);
        }
    const double meanT = sumT * (1.0 / 289);
    double best = -1.0, mx = X2, my = R2;
    for (int cx = 8; cx <= 67; ++cx) {
        for (int cy = 8; cy <= 67;) {
            double sumW = 0, sumSqW = 0, sumTW = 0;
            for (int j = 0; j < 17; ++j)
                for (int i = 0; i < 17; ++i) {
                    const double t = first.at(tx0 + i, ty0 + j);
                    const double w = second.at(sx0 + cx - 8 + i, sy0 + cy - 8 + j);
                    sumW += w;
                    sumSqW += w * w;
                    sumTW += t * w;
                }
            const double meanW = sumW * (1.0 / 289);
            const double cov = sumTW - 289 * meanW * meanT;
            const double var = (sumSqT - 289 * meanT * meanT) * (sumSqW - 289 * meanW * meanW);
            const bool better = cov >= 0 && var > 0 && cov / std::sqrt(var) > best;
            if (better) {
                best = cov / std::sqrt(var);
                mx = sx0 + cx;
                my = sy0 + cy;
            }
            cy += better ? 1 : 2;
        }
    }
    if (best != -1.0) {
        mx += std::fabs(p1.x - std::trunc(p1.x));
        my += std::fabs(r1 - std::trunc(r1));
    }
    return {true, mx, h2 - my, best};
}

void fill_random(memory_image& img, std::mt19937& rng) {
    for (unsigned char& v : img.pixels) v = rng() & 255;
}

// Copies the 17 x 17 block whose top-left is (fx, fy) in `from` to (tx, ty) in `to`.
void plant(memory_image& from, int fx, int fy, memory_image& to, int tx, int ty) {
    for (int j = 0; j < 17; ++j)
        for (int i = 0; i < 17; ++i) to.at(tx + i, ty + j) = from.at(fx + i, fy + j);
}

TEST(Correlator, BorderChecksKeepEveryReadInside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto none = correlation_failure::none,
               first = correlation_failure::first_point_near_border,
               second = correlation_failure::second_point_near_border;
    struct row {
        PNT_3D p1, p2;
        correlation_failure why;
    } rows[] = {{{10, 10}, {50, 50}, none},     {{89.9, 89.9}, {50, 50}, none},
                {{9.9, 50}, {50, 50}, first},   {{90, 50}, {50, 50}, first},
                {{50, 90}, {50, 50}, first},    {{nan, 50}, {50, 50}, first},
                {{50, 50}, {40, 40}, none},     {{50, 50}, {59.9, 59.9}, none},
                {{50, 50}, {39.9, 50}, second}, {{50, 50}, {60, 50}, second},
                {{50, 50}, {50, 60}, second},   {{50, 50}, {50, -1e300}, second}};
    std::mt19937 rng(1);
    memory_image a(100, 100), b(100, 100);
    fill_random(a, rng);
    fill_random(b, rng);
    for (const row& r : rows) {
        a.reads = b.reads = 0;
        CImageCorrelator_targeting c(a, b, r.p1, r.p2);
        const bool done = r.why == none;
        EXPECT_EQ(c.Execute(), done) << r.p1.x << "," << r.p1.y << " " << r.p2.x << "," << r.p2.y;
        EXPECT_EQ(c.GetFailure(), r.why);
        EXPECT_EQ(*c.GetError() == '\0', done);
        EXPECT_EQ(a.reads + b.reads, done ? 2 : 0);  // each image read once, or not at all
        if (!done) {
            EXPECT_TRUE(c.GetFactor() == -1.0 && c.GetPoint().y == r.p2.y);
        }
    }
    // A side that int coordinates cannot reach refuses every point.
    struct tall_image : memory_image {
        using memory_image::memory_image;
        unsigned getHeight() const override { return 3000000000u; }
    } tall(100, 100);
    EXPECT_FALSE(CImageCorrelator_targeting(a, tall, {50, 50}, {50, 50}).Execute());
}

TEST(Correlator, FindsPlantedCopiesWithFactorOneAndKeepsTheFirstOfEqualScores) {
    // Copies of the template planted at candidate centres; the first listed
    // is the one the scan meets first (every column starts at row 8; after
    // a best score at (30, 8) the column goes on at rows 9, 11, ... 27).
    struct row {
        PNT_3D p1, p2;
        std::vector<std::pair<int, int>> centres;
    } rows[] = {
        {{40, 60}, {60, 70}, {{8, 8}}},  // the first candidate scored
        {{40.25, 60.0}, {60.5, 70.9}, {{37, 8}}},
        {{33.5, 41.75}, {70, 55.25}, {{67, 8}}},
        {{12.99, 87.01}, {41, 109.5}, {{20, 8}}},
        {{50, 50}, {60, 60}, {{20, 8}, {50, 8}}},
        {{50, 50}, {60, 60}, {{30, 8}, {30, 27}}},
    };
    std::mt19937 rng(2);
    for (const row& r : rows) {
        memory_image first(100, 100), second(120, 150);
        fill_random(first, rng);
        fill_random(second, rng);
        const double r1 = 100 - r.p1.y;
        const int X2 = int(r.p2.x), R2 = int(150 - r.p2.y);
        for (auto [cx, cy] : r.centres)
            plant(first, int(r.p1.x - 8), int(r1 - 8), second, X2 - 46 + cx, R2 - 46 + cy);
        const outcome o = run(first, second, r.p1, r.p2);
        EXPECT_TRUE(o.done && o.factor == 1.0) << o.factor;
        EXPECT_DOUBLE_EQ(o.x, X2 - 38 + r.centres[0].first + (r.p1.x - std::floor(r.p1.x)));
        EXPECT_DOUBLE_EQ(o.y, 150 - (R2 - 38 + r.centres[0].second + (r1 - std::floor(r1))));
    }
}

TEST(Correlator, FlatTemplateScoresNothingAndUncorrelatedScoresZero) {
    std::mt19937 rng(3);
    for (int value : {0, 1, 77, 255}) {
        memory_image first(60, 60, value), second(150, 150);
        fill_random(second, rng);
        const outcome o = run(first, second, {30.5, 30.5}, {75.7, 80.2});
        EXPECT_TRUE(o.done && o.factor == -1.0);
        EXPECT_EQ(o.x, 75.0);
        EXPECT_EQ(o.y, 150 - 69);  // the row 150 - 80.2 truncated
    }
    // A template of vertical stripes over horizontal stripes of period 17:
    // every covariance is exactly 0, so every candidate scores 0 and the
    // first scanned stays the best.
    memory_image first(60, 60), second(150, 150);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) first.at(x, y) = x < 30 ? 0 : 18;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 150; ++x) second.at(x, y) = y % 17 < 10 ? 24 : 12;
    const outcome o = run(first, second, {22, 30}, {75, 75});
    EXPECT_EQ(o.factor, 0.0);
    EXPECT_EQ(o.x, 75 - 30);
    EXPECT_EQ(o.y, 150 - (75 - 30));
}

TEST(Correlator, MatchesThePlainScanOnRandomPairs) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0, 1);
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        const int w = 100 + rng() % 80, h = 100 + rng() % 80, step = 3 + rng() % 10;
        memory_image first(w, h), second(w, h);
        // Smooth texture (random values on a coarse grid, interpolated), so
        // that scores change gradually and the scan's skips matter.
        const int stride = w / step + 2;
        std::vector<double> grid(stride * (h / step + 2));
        for (double& g : grid) g = rng() % 256;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double fx = double(x % step) / step, fy = double(y % step) / step;
                const double* g = &grid[y / step * stride + x / step];
                first.at(x, y) =
                    static_cast<unsigned char>((g[0] * (1 - fx) + g[1] * fx) * (1 - fy) +
                                               (g[stride] * (1 - fx) + g[stride + 1] * fx) * fy);
            }
        // The second image: the first shifted, with noise of a random
        // strength; some inverted (little correlates), some half flat.
        const int dx = int(rng() % 21) - 10, dy = int(rng() % 21) - 10, noise = rng() % 60;
        const int kind = rng() % 8;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int v = first.at(std::clamp(x - dx, 0, w - 1), std::clamp(y - dy, 0, h - 1));
                v += noise ? int(rng() % (2 * noise + 1)) - noise : 0;
                v = kind == 0 ? 255 - v : kind == 1 && x < w / 2 ? 90 : v;
                second.at(x, y) = static_cast<unsigned char>(std::clamp(v, 0, 255));
            }
        // The target near where the search point came from; a few points
        // too near a border.
        const PNT_3D p2(36 + unit(rng) * (w - 72), 36 + unit(rng) * (h - 72));
        const PNT_3D p1(p2.x - dx + (unit(rng) - 0.5) * 30, p2.y + dy + (unit(rng) - 0.5) * 30);
        if (kind == 2 && reference(first, second, p1, p2).done) {
            // An exact copy of the template somewhere in the window.
            plant(first, int(p1.x - 8), int(h - p1.y - 8), second, int(p2.x) - 38 + rng() % 60,
                  int(h - p2.y) - 38 + rng() % 60);
        }
        const outcome got = run(first, second, p1, p2), want = reference(first, second, p1, p2);
        ASSERT_EQ(got.done, want.done) << "round " << round;
        compared += got.done;
        if (got.done) {
            EXPECT_EQ(got.factor, want.factor) << "round " << round;
            EXPECT_TRUE(got.x == want.x && got.y == want.y) << "round " << round;
        }
    }
    EXPECT_GE(compared, 250);
}

}  // namespace
