// The row kernels of the view fills against plain loops: every run length
// around the vector widths, unaligned starts, and blends at the span's ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "display/view_fill.h"

namespace tarvel_test {

namespace {

std::vector<unsigned char> random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (unsigned char& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

}  // namespace

// Colour spans become blue, green, red triples and grey spans stay as they
// are; nothing after the last pixel is written.
TEST(ViewFill, SpansBecomeDibPixelsAtEveryLength) {
    const int widths[] = {1, 2, 15, 16, 17, 47, 63, 64, 65, 79, 80, 81, 128, 143, 200, 1921};
    const auto samples = random_bytes(3 * 2048, 5);
    for (int channels : {1, 3}) {
        for (int width : widths) {
            for (int start : {0, 1, 7}) {
                SCOPED_TRACE("channels " + std::to_string(channels) + ", width " +
                             std::to_string(width) + ", start " + std::to_string(start));
                const unsigned char* r = samples.data() + start;
                const unsigned char* g = r + 2048;
                const unsigned char* b = g + 2048;
                std::vector<unsigned char> expected(3 * static_cast<std::size_t>(width) + 5, 0xA5);
                for (int i = 0; i < width; ++i) {
                    if (channels == 1) {
                        expected[i] = r[i];
                    } else {
                        expected[3 * i] = b[i];
                        expected[3 * i + 1] = g[i];
                        expected[3 * i + 2] = r[i];
                    }
                }
                if (channels == 1) expected.resize(width + 5);
                std::vector<unsigned char> out(expected.size(), 0xA5);
                tarvel::view_fill::PutDibSpan({{r, g, b}, channels}, width, out.data());
                EXPECT_EQ(out, expected);
            }
        }
    }
}

// Each pixel is sample x * (256 - f) + sample x + 1 * f for the table entry
// 256x + f, the last sample alone at and beyond the row's end, whatever the
// order of the entries and however narrow the span.
TEST(ViewFill, BlendsAlongRowsMatchTheWeightedSums) {
    struct blend_case {
        const char* what;
        int rowWidth;
        std::vector<int> entries;
    };
    std::vector<int> rising, falling, onEdge;
    for (int i = 0; i < 37; ++i) rising.push_back(3 * 256 + i * 345);  // 1.35 samples a pixel
    falling.assign(rising.rbegin(), rising.rend());
    for (int i = 0; i < 21; ++i) onEdge.push_back(i % 3 == 0 ? 49 * 256 : 47 * 256 + 20 * i);
    const blend_case cases[] = {
        {"rising, fractions", 60, rising},
        {"falling (a mirrored view)", 60, falling},
        {"the last sample without a fraction, and past it", 50, onEdge},
        {"one sample wide", 1, std::vector<int>(19, 0)},
        {"two samples, only the last", 2, std::vector<int>(17, 5 * 256 + 77)},
    };
    for (const blend_case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto samples = random_bytes(3 * static_cast<std::size_t>(c.rowWidth), 9);
        const tarvel::view_fill::smooth_columns plan =
            tarvel::view_fill::PlanSmooth(c.entries, c.rowWidth);
        const unsigned char* row[3];
        for (int k = 0; k < 3; ++k) row[k] = samples.data() + k * c.rowWidth + plan.first;
        const std::size_t n = c.entries.size();
        std::vector<std::uint16_t> out(3 * n);
        tarvel::view_fill::BlendAlongX({{row[0], row[1], row[2]}, 3}, plan, out.data());
        std::vector<std::uint16_t> expected(3 * n);
        for (int k = 0; k < 3; ++k) {
            const unsigned char* s = samples.data() + k * c.rowWidth;
            for (std::size_t i = 0; i < n; ++i) {
                int x = c.entries[i] / 256, f = c.entries[i] % 256;
                if (x >= c.rowWidth - 1) x = c.rowWidth - 1, f = 0;
                expected[k * n + i] =
                    static_cast<std::uint16_t>(s[x] * (256 - f) + (f ? s[x + 1] * f : 0));
            }
        }
        EXPECT_EQ(out, expected);
    }
}

}  // namespace tarvel_test
