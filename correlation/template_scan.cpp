// The correlator's scan: window box sums from summed-area tables, template
// products as one contiguous dot product per candidate, and the scan rule.
#include "correlation/template_scan.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "correlation/correlation.h"

namespace tarvel {

namespace {

using correlator = CImageCorrelator_targeting;
constexpr int kSide = correlator::kTemplateSide;  // 17
constexpr int kWindow = correlator::kSearchSide;  // 76
constexpr int kPixels = kSide * kSide;            // 289
// Dot products run over whole vectors of this many 16-bit samples; the
// template is padded with zeros up to a multiple of it.
constexpr int kLanes = 16;
constexpr int kPadded = (kPixels + kLanes - 1) / kLanes * kLanes;
// The n of the formulas and the factor that turns a sum into a mean.
constexpr double kCount = 289.0;
constexpr double kMeanFactor = 1.0 / 289.0;

// Sums of the window's samples and of their squares over every rectangle
// anchored at the top-left, one row and column of zeros in front. Exact: at
// most 5,776 x 255^2 < 2^31.
struct summed_areas {
    std::int32_t sum[kWindow + 1][kWindow + 1];
    std::int32_t squares[kWindow + 1][kWindow + 1];

    explicit summed_areas(const unsigned char* window) {
        for (int x = 0; x <= kWindow; ++x) sum[0][x] = squares[0][x] = 0;
        for (int y = 0; y < kWindow; ++y) {
            std::int32_t rowSum = 0, rowSquares = 0;
            sum[y + 1][0] = squares[y + 1][0] = 0;
            for (int x = 0; x < kWindow; ++x) {
                const std::int32_t v = window[y * kWindow + x];
                rowSum += v;
                rowSquares += v * v;
                sum[y + 1][x + 1] = sum[y][x + 1] + rowSum;
                squares[y + 1][x + 1] = squares[y][x + 1] + rowSquares;
            }
        }
    }
    // Over the 17 x 17 block whose top-left sample is (left, top).
    static std::int32_t block(const std::int32_t (&table)[kWindow + 1][kWindow + 1], int left,
                              int top) {
        return table[top + kSide][left + kSide] - table[top][left + kSide] -
               table[top + kSide][left] + table[top][left];
    }
};

// Sum of products of two runs of kPadded samples; exact in 32 bits (at most
// 289 x 255^2). Written as one plain loop so that compilers turn it into
// multiply-add vector instructions.
std::int32_t dot(const std::int16_t* a, const std::int16_t* b) {
    std::int32_t total = 0;
    for (int k = 0; k < kPadded; ++k) total += a[k] * b[k];
    return total;
}

}  // namespace

template_match ScanTemplate(const unsigned char* pattern, const unsigned char* window) {
    // The template as 16-bit samples with its sums; sums of bytes are exact
    // integers, so the formulas below see the same values as with sums
    // accumulated in floating point.
    std::int16_t templ[kPadded] = {};
    std::int32_t sumT = 0, squaresT = 0;
    for (int k = 0; k < kPixels; ++k) {
        templ[k] = pattern[k];
        sumT += pattern[k];
        squaresT += pattern[k] * pattern[k];
    }
    const double meanT = sumT * kMeanFactor;
    const double spreadT = squaresT - kCount * meanT * meanT;

    std::int16_t samples[kWindow * kWindow];
    for (int k = 0; k < kWindow * kWindow; ++k) samples[k] = window[k];
    const summed_areas areas(window);

    // The 17 columns of the candidates of one column, row after row, so that
    // each candidate's block is one contiguous run of 289 samples. The tail
    // lets a dot product of the last candidate read its padding.
    std::int16_t strip[kWindow * kSide + kPadded - kPixels] = {};

    template_match best{-1.0, 0, 0};
    for (int cx = correlator::kFirstCentre; cx <= correlator::kLastCentre; ++cx) {
        const int left = cx - correlator::kTemplateHalf;
        for (int y = 0; y < kWindow; ++y) {
            std::memcpy(strip + y * kSide, samples + y * kWindow + left,
                        sizeof(std::int16_t) * kSide);
        }
        int cy = correlator::kFirstCentre;
        while (cy <= correlator::kLastCentre) {
            const int top = cy - correlator::kTemplateHalf;
            const double sumW = summed_areas::block(areas.sum, left, top);
            const double squaresW = summed_areas::block(areas.squares, left, top);
            const double sumTW = dot(templ, strip + top * kSide);
            // The formulas evaluated left to right as written.
            const double meanW = sumW * kMeanFactor;
            const double cov = sumTW - kCount * meanW * meanT;
            bool improved = false;
            if (cov >= 0) {
                const double var = spreadT * (squaresW - kCount * meanW * meanW);
                if (var > 0) {
                    const double r = cov / std::sqrt(var);
                    if (r > best.score) {
                        best = template_match{r, cx, cy};
                        improved = true;
                    }
                }
            }
            cy += improved ? 1 : 2;
        }
    }
    return best;
}

}  // namespace tarvel
