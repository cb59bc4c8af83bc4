// Column plans of the two fills (the spans they read, the per-column indices
// and weights, every one kept inside the layer) and the smooth fill's row kernels.
#include "display/view_fill.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel {
namespace view_fill {

nearest_columns PlanNearest(const std::vector<int>& table, int width) {
    nearest_columns plan;
    plan.column.resize(table.size());
    if (table.empty() || width < 1) return plan;
    const int last = width - 1;
    for (std::size_t i = 0; i < table.size(); ++i) plan.column[i] = std::clamp(table[i], 0, last);
    const auto span = std::minmax_element(plan.column.begin(), plan.column.end());
    plan.first = *span.first;
    plan.last = *span.second;
    for (int& c : plan.column) c -= plan.first;
    // The pixels that repeat the first sample, the consecutive run from the
    // last of them, and the pixels that repeat the run's last sample.
    const std::vector<int>& c = plan.column;
    const std::size_t n = c.size();
    std::size_t a = 0;
    while (a + 1 < n && c[a + 1] == c[0]) ++a;
    std::size_t b = a;
    while (b + 1 < n && c[b + 1] == c[b] + 1) ++b;
    std::size_t t = b;
    while (t + 1 < n && c[t + 1] == c[b]) ++t;
    plan.consecutive = t + 1 == n;
    plan.lead = static_cast<int>(a);
    plan.trail = static_cast<int>(n - 1 - b);
    return plan;
}

smooth_columns PlanSmooth(const std::vector<int>& table, int width) {
    smooth_columns plan;
    const std::size_t n = table.size();
    plan.left.resize(n);
    plan.right.resize(n);
    plan.fraction.resize(n);
    if (n == 0 || width < 1) return plan;
    int lo = width - 1, hi = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int entry = std::max(table[i], 0);
        int x = entry >> 8;
        int f = entry & 255;
        if (x >= width - 1) {  // the last column, or beyond it: no right neighbour
            x = width - 1;
            f = 0;
        }
        plan.left[i] = x;
        plan.right[i] = f ? x + 1 : x;
        plan.fraction[i] = static_cast<std::uint16_t>(f);
        lo = std::min(lo, x);
        hi = std::max(hi, plan.right[i]);
    }
    plan.first = lo;
    plan.last = hi;
    plan.whole = true;
    plan.consecutive = true;
    for (std::size_t i = 0; i < n; ++i) {
        plan.left[i] -= lo;
        plan.right[i] -= lo;
        plan.whole = plan.whole && plan.fraction[i] == 0;
        plan.consecutive = plan.consecutive && plan.left[i] == static_cast<int>(i);
    }
    plan.consecutive = plan.consecutive && plan.whole;
    plan.pairs = hi > lo;
    if (!plan.pairs) return plan;
    plan.pair.resize(n);
    plan.weight.resize(2 * n);
    const int lastInSpan = hi - lo;
    for (std::size_t i = 0; i < n; ++i) {
        const int f = plan.fraction[i];
        const bool onLast = plan.left[i] == lastInSpan;  // then f is 0
        plan.pair[i] = onLast ? lastInSpan - 1 : plan.left[i];
        plan.weight[2 * i] = static_cast<std::int16_t>(onLast ? 0 : 256 - f);
        plan.weight[2 * i + 1] = static_cast<std::int16_t>(onLast ? 256 : f);
    }
    return plan;
}

namespace {

// Two neighbouring samples as one little-endian word: p[0] low, p[1] high.
inline int sample_pair(const unsigned char* p) {
    return p[0] | p[1] << 8;
}

void blend_along_x_plain(const unsigned char* p, const smooth_columns& plan, std::size_t from,
                         std::uint16_t* out) {
    const std::size_t width = plan.left.size();
    const int* left = plan.left.data();
    const int* right = plan.right.data();
    const std::uint16_t* fraction = plan.fraction.data();
    for (std::size_t i = from; i < width; ++i) {
        const unsigned f = fraction[i];
        out[i] = static_cast<std::uint16_t>(p[left[i]] * (256 - f) + p[right[i]] * f);
    }
}

}  // namespace

void BlendAlongX(const dib_source& row, const smooth_columns& plan, std::uint16_t* out) {
    const std::size_t width = plan.left.size();
    std::size_t done = 0;
#if defined(__SSE2__)
    // Eight pixels of a plane at a time: their sample pairs gathered as words,
    // widened, multiplied by the pixel's two weights and summed in pairs
    // (pmaddwd); the sums, at most 65280, packed to unsigned words by way of
    // a signed pack of sum - 32768.
    if (plan.pairs) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i bias32 = _mm_set1_epi32(32768);
        const __m128i bias16 = _mm_set1_epi16(-32768);
        const int* pair = plan.pair.data();
        const std::int16_t* weight = plan.weight.data();
        for (; done + 8 <= width; done += 8) {
            const int* at = pair + done;
            const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + 2 * done));
            const __m128i w1 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + 2 * done + 8));
            for (int c = 0; c < row.channels; ++c) {
                const unsigned char* p = row.plane[c];
                __m128i v = _mm_cvtsi32_si128(sample_pair(p + at[0]));
                v = _mm_insert_epi16(v, sample_pair(p + at[1]), 1);
                v = _mm_insert_epi16(v, sample_pair(p + at[2]), 2);
                v = _mm_insert_epi16(v, sample_pair(p + at[3]), 3);
                v = _mm_insert_epi16(v, sample_pair(p + at[4]), 4);
                v = _mm_insert_epi16(v, sample_pair(p + at[5]), 5);
                v = _mm_insert_epi16(v, sample_pair(p + at[6]), 6);
                v = _mm_insert_epi16(v, sample_pair(p + at[7]), 7);
                const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), w0);
                const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), w1);
                const __m128i words =
                    _mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c * width + done),
                                 _mm_xor_si128(words, bias16));
            }
        }
    }
#endif
    for (int c = 0; c < row.channels; ++c)
        blend_along_x_plain(row.plane[c], plan, done, out + c * width);
}

void BlendRows(const std::uint16_t* a, const std::uint16_t* b, unsigned fy, std::size_t n,
               unsigned char* out) {
    const unsigned ga = 256 - fy;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Eight values at a time: the 32-bit products from their low and high
    // 16-bit halves, summed, shifted and packed to bytes (at most 255).
    const __m128i wa = _mm_set1_epi16(static_cast<short>(ga));
    const __m128i wb = _mm_set1_epi16(static_cast<short>(fy));
    for (; k + 8 <= n; k += 8) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const __m128i loA = _mm_mullo_epi16(va, wa), hiA = _mm_mulhi_epu16(va, wa);
        const __m128i loB = _mm_mullo_epi16(vb, wb), hiB = _mm_mulhi_epu16(vb, wb);
        const __m128i sum0 =
            _mm_add_epi32(_mm_unpacklo_epi16(loA, hiA), _mm_unpacklo_epi16(loB, hiB));
        const __m128i sum1 =
            _mm_add_epi32(_mm_unpackhi_epi16(loA, hiA), _mm_unpackhi_epi16(loB, hiB));
        const __m128i words = _mm_packs_epi32(_mm_srli_epi32(sum0, 16), _mm_srli_epi32(sum1, 16));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
    }
#endif
    for (; k < n; ++k) out[k] = static_cast<unsigned char>((a[k] * ga + b[k] * fy) >> 16);
}

void TakeRow(const std::uint16_t* a, std::size_t n, unsigned char* out) {
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= n; k += 16) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                         _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
#endif
    for (; k < n; ++k) out[k] = static_cast<unsigned char>(a[k] >> 8);
}

}  // namespace view_fill
}  // namespace tarvel
