// SplitPixels: interleaved pixels into planes, sixteen at a time where the
// processor allows.
#include "pyramid/split_pixels.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define TARVEL_X86 1
#endif

#include "imagefile/bgr_rows.h"

namespace tarvel {

namespace {

#if defined(TARVEL_X86)

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

#endif

}  // namespace

void SplitPixels(const unsigned char* pixels, int count, int pixelBytes,
                 unsigned char* const* planes, bool mirrored) {
    if (pixelBytes == 1 && !mirrored) {
        std::memcpy(planes[0], pixels, static_cast<std::size_t>(count));
        return;
    }
    if (pixelBytes == 3 && !mirrored) {
        DeinterleaveBgr(pixels, planes[0], planes[1], planes[2], count);
        return;
    }
    int x = 0;
#if defined(TARVEL_X86)
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
