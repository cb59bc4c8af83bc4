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
    plan.consecutive = true;
    for (std::size_t i = 0; i < plan.column.size(); ++i) {
        plan.column[i] -= plan.first;
        plan.consecutive = plan.consecutive && plan.column[i] == static_cast<int>(i);
    }
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
    for (std::size_t i = 0; i < n; ++i) {
        plan.left[i] -= lo;
        plan.right[i] -= lo;
        plan.whole = plan.whole && plan.fraction[i] == 0;
    }
    return plan;
}

void BlendAlongX(const dib_source& row, const smooth_columns& plan, std::uint16_t* out) {
    const std::size_t width = plan.left.size();
    const int* left = plan.left.data();
    const int* right = plan.right.data();
    const std::uint16_t* fraction = plan.fraction.data();
    if (row.channels == 1) {
        const unsigned char* p = row.plane[0];
        for (std::size_t i = 0; i < width; ++i) {
            const unsigned f = fraction[i];
            out[i] = static_cast<std::uint16_t>(p[left[i]] * (256 - f) + p[right[i]] * f);
        }
        return;
    }
    // DIB byte order: blue, green, red.
    const unsigned char* r = row.plane[0];
    const unsigned char* g = row.plane[1];
    const unsigned char* b = row.plane[2];
    for (std::size_t i = 0; i < width; ++i, out += 3) {
        const int x0 = left[i], x1 = right[i];
        const unsigned f = fraction[i], w = 256 - f;
        out[0] = static_cast<std::uint16_t>(b[x0] * w + b[x1] * f);
        out[1] = static_cast<std::uint16_t>(g[x0] * w + g[x1] * f);
        out[2] = static_cast<std::uint16_t>(r[x0] * w + r[x1] * f);
    }
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
