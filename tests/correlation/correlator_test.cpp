// Target correlator: border checks, planted copies, flat templates, ties, and
// agreement with a plain reference of the scan rule on random image pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "correlation/correlation.h"

namespace {

using tarvel::CImageCorrelator_targeting;
using zun::geom::PNT_3D;

// A grey in-memory host image, rows from the top. Region reads that leave it
// fail the test and write zeros.
class memory_image : public KORBAS::CImage {
  public:
    memory_image(int width, int height, unsigned char value = 0)
        : m_width(width), m_height(height), m_pixels(size_t(width) * height, value) {}
    unsigned char& at(int x, int row) { return m_pixels[size_t(row) * m_width + x]; }
    unsigned char at(int x, int row) const { return m_pixels[size_t(row) * m_width + x]; }

    int getClass() const override { return 0; }
    unsigned getWidth() const override { return m_width; }
    unsigned getHeight() const override { return m_height; }
    unsigned short getBPP() const override { return 1; }
    KORBAS::CBitmap* createBitmap() override { return nullptr; }
    void destroyBitmap(KORBAS::CBitmap*) override {}
    void set(KORBAS::CBitmap*) override {}
    void flush() override {}
    void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                   unsigned char* out) override {
        ++reads;
        EXPECT_EQ(layer, 0);
        EXPECT_EQ(channel, 0);
        const bool inside = x0 >= 0 && y0 >= 0 && x1 < m_width && y1 < m_height;
        EXPECT_TRUE(inside) << x0 << "," << y0 << " - " << x1 << "," << y1;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) *out++ = inside ? at(x, y) : 0;
    }
    int reads = 0;

  private:
    int m_width, m_height;
    std::vector<unsigned char> m_pixels;
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

// The scan rule written plainly from its formulas: sums in double, every
// sample read straight from the images.
outcome reference(const memory_image& first, const memory_image& second, PNT_3D p1, PNT_3D p2) {
    const double w1 = first.getWidth(), h1 = first.getHeight();
    const double w2 = second.getWidth(), h2 = second.getHeight();
    if (!(p1.x - 8 - 2 >= 0 && p1.x + 10 < w1 && p1.y - 8 - 2 >= 0 && p1.y + 10 < h1) ||
        !(p2.x - 38 - 2 >= 0 && p2.x + 40 < w2 && p2.y - 38 - 2 >= 0 && p2.y + 40 < h2))
        return {false, 0, 0, 0};
    const double r1 = h1 - p1.y;
    const int X2 = int(std::trunc(p2.x)), R2 = int(std::trunc(h2 - p2.y));
    const int tx0 = int(std::trunc(p1.x - 8)), ty0 = int(std::trunc(r1 - 8));
    const int sx0 = X2 - 38, sy0 = R2 - 38;
    double sumT = 0, sumSqT = 0;
    for (int j = 0; j < 17; ++j)
        for (int i = 0; i < 17; ++i) {
            const double t = first.at(tx0 + i, ty0 + j);
            sumT += t;
            sumSqT += t * t;
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
            if (cov >= 0 && var > 0 && cov / std::sqrt(var) > best) {
                best = cov / std::sqrt(var);
                mx = sx0 + cx;
                my = sy0 + cy;
                ++cy;
            } else {
                cy += 2;
            }
        }
    }
    if (best != -1.0) {
        mx += std::fabs(p1.x - std::trunc(p1.x));
        my += std::fabs(r1 - std::trunc(r1));
    }
    return {true, mx, h2 - my, best};
}

void fill_random(memory_image& img, std::mt19937& rng) {
    for (unsigned y = 0; y < img.getHeight(); ++y)
        for (unsigned x = 0; x < img.getWidth(); ++x) img.at(x, y) = rng() & 255;
}

// Copies the 17 x 17 block whose top-left is (fx, fy) in `from` to (tx, ty) in `to`.
void plant(const memory_image& from, int fx, int fy, memory_image& to, int tx, int ty) {
    for (int j = 0; j < 17; ++j)
        for (int i = 0; i < 17; ++i) to.at(tx + i, ty + j) = from.at(fx + i, fy + j);
}

TEST(Correlator, BorderChecksKeepEveryReadInside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct row {
        PNT_3D p1, p2;
        bool done;
        tarvel::correlation_failure why;
    } rows[] = {
        {{10, 10}, {50, 50}, true, tarvel::correlation_failure::none},
        {{89.9, 89.9}, {50, 50}, true, tarvel::correlation_failure::none},
        {{9.9, 50}, {50, 50}, false, tarvel::correlation_failure::first_point_near_border},
        {{90, 50}, {50, 50}, false, tarvel::correlation_failure::first_point_near_border},
        {{50, 9.9}, {50, 50}, false, tarvel::correlation_failure::first_point_near_border},
        {{50, 90}, {50, 50}, false, tarvel::correlation_failure::first_point_near_border},
        {{nan, 50}, {50, 50}, false, tarvel::correlation_failure::first_point_near_border},
        {{50, 50}, {40, 40}, true, tarvel::correlation_failure::none},
        {{50, 50}, {59.9, 59.9}, true, tarvel::correlation_failure::none},
        {{50, 50}, {39.9, 50}, false, tarvel::correlation_failure::second_point_near_border},
        {{50, 50}, {60, 50}, false, tarvel::correlation_failure::second_point_near_border},
        {{50, 50}, {50, 39.9}, false, tarvel::correlation_failure::second_point_near_border},
        {{50, 50}, {50, 60}, false, tarvel::correlation_failure::second_point_near_border},
        {{50, 50}, {50, -1e300}, false, tarvel::correlation_failure::second_point_near_border},
    };
    std::mt19937 rng(1);
    memory_image first(100, 100), second(100, 100);
    fill_random(first, rng);
    fill_random(second, rng);
    for (const row& r : rows) {
        first.reads = second.reads = 0;
        CImageCorrelator_targeting c(first, second, r.p1, r.p2);
        EXPECT_EQ(c.Execute(), r.done) << r.p1.x << "," << r.p1.y << " " << r.p2.x << "," << r.p2.y;
        EXPECT_EQ(c.GetFailure(), r.why);
        EXPECT_EQ(*c.GetError() == '\0', r.done);
        // Each image is read once, or not at all after a refusal.
        EXPECT_EQ(first.reads, r.done ? 1 : 0);
        EXPECT_EQ(second.reads, r.done ? 1 : 0);
        if (!r.done) {
            EXPECT_EQ(c.GetFactor(), -1.0);
            EXPECT_EQ(c.GetPoint().y, r.p2.y);
        }
    }
    // A side that int coordinates cannot reach refuses every point.
    struct tall_image : memory_image {
        using memory_image::memory_image;
        unsigned getHeight() const override { return 3000000000u; }
    } tall(100, 100);
    CImageCorrelator_targeting c(first, tall, {50, 50}, {50, 50});
    EXPECT_FALSE(c.Execute());
    EXPECT_EQ(tall.reads, 0);
}

TEST(Correlator, FindsAPlantedCopyWithFactorOne) {
    // Target point, search point, and the candidate centre (always scanned:
    // every column starts at row 8) where the copy is planted.
    struct row {
        PNT_3D p1, p2;
        int cx, cy;
    } rows[] = {
        {{40, 60}, {60, 70}, 8, 8},  // the first candidate scored
        {{40.25, 60.0}, {60.5, 70.9}, 37, 8},
        {{33.5, 41.75}, {70, 55.25}, 67, 8},
        {{12.99, 87.01}, {41, 109.5}, 20, 8},
    };
    std::mt19937 rng(2);
    for (const row& r : rows) {
        memory_image first(100, 100), second(120, 150);
        fill_random(first, rng);
        fill_random(second, rng);
        const double r1 = 100 - r.p1.y;
        const int X2 = int(r.p2.x), R2 = int(150 - r.p2.y);
        plant(first, int(r.p1.x - 8), int(r1 - 8), second, X2 - 38 + r.cx - 8, R2 - 38 + r.cy - 8);
        const outcome o = run(first, second, r.p1, r.p2);
        EXPECT_TRUE(o.done);
        EXPECT_EQ(o.factor, 1.0);
        EXPECT_DOUBLE_EQ(o.x, X2 - 38 + r.cx + (r.p1.x - std::floor(r.p1.x)));
        EXPECT_DOUBLE_EQ(o.y, 150 - (R2 - 38 + r.cy + (r1 - std::floor(r1))));
    }
}

TEST(Correlator, FlatTemplateScoresNothingAndUncorrelatedScoresZero) {
    std::mt19937 rng(3);
    for (int value : {0, 1, 77, 255}) {
        memory_image first(60, 60, static_cast<unsigned char>(value)), second(150, 150);
        fill_random(second, rng);
        const outcome o = run(first, second, {30.5, 30.5}, {75.7, 80.2});
        EXPECT_TRUE(o.done);
        EXPECT_EQ(o.factor, -1.0);
        EXPECT_EQ(o.x, 75.0);
        EXPECT_EQ(o.y, 150 - 69);  // the row 150 - 80.2 truncated
    }
    // A template of vertical stripes over horizontal stripes of period 17:
    // every candidate's covariance is exactly 0, so every one scores 0 and
    // the first scanned stays the best.
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

TEST(Correlator, EqualScoresKeepTheFirstScanned) {
    // Two copies of the template in the window; the scan meets the first one
    // first. After (30, 8) the column goes on at rows 9, 11, ... 27.
    struct row {
        int cx1, cy1, cx2, cy2;
    } rows[] = {{20, 8, 50, 8}, {30, 8, 30, 27}};
    std::mt19937 rng(4);
    for (const row& r : rows) {
        memory_image first(50, 50), second(100, 100);
        fill_random(first, rng);
        fill_random(second, rng);
        plant(first, 17, 17, second, 12 + r.cx1 - 8, 12 + r.cy1 - 8);
        plant(first, 17, 17, second, 12 + r.cx2 - 8, 12 + r.cy2 - 8);
        const outcome o = run(first, second, {25, 25}, {50, 50});
        EXPECT_EQ(o.factor, 1.0);
        EXPECT_EQ(o.x, 12 + r.cx1);
        EXPECT_EQ(o.y, 100 - (12 + r.cy1));
    }
}

TEST(Correlator, MatchesThePlainScanOnRandomPairs) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0, 1);
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        const int w = 100 + rng() % 80, h = 100 + rng() % 80;
        memory_image first(w, h), second(w, h);
        // Smooth texture (random values on a coarse grid, interpolated) so
        // that scores vary gradually and the scan's skips matter.
        const int step = 3 + rng() % 10;
        std::vector<double> grid((w / step + 2) * (h / step + 2));
        for (double& g : grid) g = rng() % 256;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int gx = x / step, gy = y / step, stride = w / step + 2;
                const double fx = double(x % step) / step, fy = double(y % step) / step;
                const double* g = &grid[gy * stride + gx];
                first.at(x, y) =
                    static_cast<unsigned char>((g[0] * (1 - fx) + g[1] * fx) * (1 - fy) +
                                               (g[stride] * (1 - fx) + g[stride + 1] * fx) * fy);
            }
        // The second image: the first shifted, with noise of a random
        // strength; some inverted (nothing correlates), some half flat.
        const int dx = int(rng() % 21) - 10, dy = int(rng() % 21) - 10, noise = rng() % 60;
        const int kind = rng() % 8;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int v = first.at(std::clamp(x - dx, 0, w - 1), std::clamp(y - dy, 0, h - 1));
                v += noise ? int(rng() % (2 * noise + 1)) - noise : 0;
                if (kind == 0) v = 255 - v;
                if (kind == 1 && x < w / 2) v = 90;
                second.at(x, y) = static_cast<unsigned char>(std::clamp(v, 0, 255));
            }
        // The target near where the search point came from, a few points
        // too near a border.
        const PNT_3D p2(36 + unit(rng) * (w - 72), 36 + unit(rng) * (h - 72));
        const PNT_3D p1(p2.x - dx + (unit(rng) - 0.5) * 30, p2.y + dy + (unit(rng) - 0.5) * 30);
        if (kind == 2 && p2.x >= 40 && p2.x < w - 40 && p2.y >= 40 && p2.y < h - 40) {
            // An exact copy of the template somewhere in the window.
            const int X2 = int(p2.x), R2 = int(h - p2.y);
            plant(first, int(p1.x - 8), int(h - p1.y - 8), second, X2 - 38 + rng() % 60,
                  R2 - 38 + rng() % 60);
        }
        const outcome got = run(first, second, p1, p2), want = reference(first, second, p1, p2);
        ASSERT_EQ(got.done, want.done) << "round " << round;
        if (!got.done) continue;
        ++compared;
        EXPECT_EQ(got.factor, want.factor) << "round " << round;
        EXPECT_EQ(got.x, want.x) << "round " << round;
        EXPECT_EQ(got.y, want.y) << "round " << round;
    }
    EXPECT_GE(compared, 250);
}

}  // namespace
