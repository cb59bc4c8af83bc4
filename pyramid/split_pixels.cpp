// SplitPixels: interleaved pixels into planes, sixteen at a time where the
// processor allows.
#include "pyramid/split_pixels.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARVEL_X86 1
#endif

namespace tarvel {

namespace {

#if defined(TARVEL_X86)

// Blue, green, red pixels, sixteen (48 bytes, three registers) at a time:
// each plane gathers its bytes from the three registers with one shuffle
// each. Bytes of another register read as zero (index with the high bit set).
__attribute__((target("ssse3"))) int split_three_ssse3(const unsigned char* in, int count,
                                                       unsigned char* const* planes) {
    static const struct masks {
        alignas(16) signed char m[3][3][16];  // [byte of the pixel][register][output]
        masks() {
            for (int k = 0; k < 3; ++k)
                for (int r = 0; r < 3; ++r)
                    for (int i = 0; i < 16; ++i) {
                        const int at = 3 * i + k - 16 * r;
                        m[k][r][i] = static_cast<signed char>(at >= 0 && at < 16 ? at : -128);
                    }
        }
    } shuffles;
    int x = 0;
    for (; x + 16 <= count; x += 16, in += 48) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        for (int k = 0; k < 3; ++k) {
            const __m128i* m = reinterpret_cast<const __m128i*>(shuffles.m[k]);
            const __m128i plane =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, _mm_load_si128(m)),
                                          _mm_shuffle_epi8(v1, _mm_load_si128(m + 1))),
                             _mm_shuffle_epi8(v2, _mm_load_si128(m + 2)));
            // Byte k of a pixel is blue, green, red for k = 0, 1, 2.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[2 - k] + x), plane);
        }
    }
    return x;
}

// Four-byte pixels, sixteen (four registers) at a time: each plane's byte is
// shifted to the bottom of its 32-bit lane, masked and packed down to bytes.
int split_four_sse2(const unsigned char* in, int count, unsigned char* const* planes) {
    const __m128i low = _mm_set1_epi32(0xff);
    int x = 0;
    for (; x + 16 <= count; x += 16, in += 64) {
        __m128i v[4];
        for (int r = 0; r < 4; ++r)
            v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * r));
        for (int k = 0; k < 3; ++k) {
            __m128i lanes[4];
            for (int r = 0; r < 4; ++r) lanes[r] = _mm_and_si128(_mm_srli_epi32(v[r], 8 * k), low);
            const __m128i words = _mm_packs_epi32(lanes[0], lanes[1]);
            const __m128i words2 = _mm_packs_epi32(lanes[2], lanes[3]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[2 - k] + x),
                             _mm_packus_epi16(words, words2));
        }
    }
    return x;
}

bool has_ssse3() {
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}

#endif

}  // namespace

void SplitPixels(const unsigned char* pixels, int count, int pixelBytes,
                 unsigned char* const* planes, bool mirrored) {
    if (pixelBytes == 1 && !mirrored) {
        std::memcpy(planes[0], pixels, static_cast<std::size_t>(count));
        return;
    }
    int x = 0;
#if defined(TARVEL_X86)
    if (!mirrored && pixelBytes == 3 && has_ssse3()) x = split_three_ssse3(pixels, count, planes);
    if (!mirrored && pixelBytes == 4) x = split_four_sse2(pixels, count, planes);
#endif
    const int channels = pixelBytes == 1 ? 1 : 3;
    for (int c = 0; c < channels; ++c) {
        // Channel c (red, green, blue) is byte 2 - c of a blue, green, red pixel.
        const unsigned char* in =
            pixels + static_cast<std::ptrdiff_t>(x) * pixelBytes + (channels == 1 ? 0 : 2 - c);
        unsigned char* out = planes[c];
        for (int i = x; i < count; ++i, in += pixelBytes) out[mirrored ? count - 1 - i : i] = *in;
    }
}

}  // namespace tarvel
