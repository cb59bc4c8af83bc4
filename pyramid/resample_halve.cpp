// ResampleHalve: each destination sample is the truncated mean of a 2x2 block.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/host.h"
#include "pyramid/resample_rows.h"

namespace tarvel {

void HalveRow(const unsigned char* upper, const unsigned char* lower, unsigned char* out,
              int width) {
    int i = 0;
#if defined(__SSE2__)
    // Sixteen outputs at a time: the two bytes of each pair of a row are the
    // low and high halves of a 16-bit lane, so a mask and a shift add them.
    const __m128i low = _mm_set1_epi16(0x00ff);
    for (; i + 16 <= width; i += 16, upper += 32, lower += 32, out += 16) {
        __m128i sums[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + 16 * h));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + 16 * h));
            const __m128i pairs =
                _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
                              _mm_add_epi16(_mm_and_si128(b, low), _mm_srli_epi16(b, 8)));
            sums[h] = _mm_srli_epi16(pairs, 2);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(sums[0], sums[1]));
    }
#endif
    for (; i < width; ++i, upper += 2, lower += 2, ++out)
        *out = static_cast<unsigned char>((upper[0] + upper[1] + lower[0] + lower[1]) >> 2);
}

void ResampleHalve(image::pointer destination, int width, int height, const resample_source& source,
                   int x, int y, int /*srcWidth*/, int /*srcHeight*/,
                   KORBAS::IProgressWork* progress) {
    source_row_reader upper(source);
    source_row_reader lower(source);
    destination_row_writer out(destination, width);
    const bool inside = x >= 0 && static_cast<long long>(x) + 2LL * width <= source.stride;
    for (int j = 0; j < height; ++j) {
        const long long top = static_cast<long long>(y) + 2LL * j;
        const unsigned char* a = upper.fetch(top);
        const unsigned char* b = lower.fetch(top + 1);
        unsigned char* row = out.row();
        if (inside) {
            HalveRow(a + x, b + x, row, width);
        } else {
            for (int i = 0; i < width; ++i) {
                const long long left = static_cast<long long>(x) + 2LL * i;
                const int c0 = clamp_index(left, source.stride);
                const int c1 = clamp_index(left + 1, source.stride);
                row[i] = static_cast<unsigned char>((a[c0] + a[c1] + b[c0] + b[c1]) >> 2);
            }
        }
        out.next();
        if (progress != nullptr) progress->Advance(1);
    }
}

}  // namespace tarvel
