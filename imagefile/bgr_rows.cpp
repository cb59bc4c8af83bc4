// Blue-green-red rows to and from planes: 16 pixels at a time with byte
// shuffles where the processor has them (SSSE3), one at a time elsewhere and
// for the last pixels of a row. Rows of a large picture spend most of their
// copying time here, so the shuffles make BMP reading and writing several
// times cheaper in processor time.
#include "imagefile/bgr_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define TARVEL_BGR_SHUFFLES 1
#endif

namespace tarvel {

namespace {

void interleaveEach(const unsigned char* red, const unsigned char* green, const unsigned char* blue,
                    unsigned char* bgr, int from, int width) {
    for (int x = from; x < width; ++x) {
        bgr[3 * x] = blue[x];
        bgr[3 * x + 1] = green[x];
        bgr[3 * x + 2] = red[x];
    }
}

void deinterleaveEach(const unsigned char* bgr, unsigned char* red, unsigned char* green,
                      unsigned char* blue, int from, int width) {
    for (int x = from; x < width; ++x) {
        blue[x] = bgr[3 * x];
        green[x] = bgr[3 * x + 1];
        red[x] = bgr[3 * x + 2];
    }
}

#ifdef TARVEL_BGR_SHUFFLES

// Shuffle masks between 16 pixels of three planes (blue 0, green 1, red 2)
// and the 48 bytes of their blue-green-red form, in three blocks of 16.
// Byte 16k + j of the pixels is sample (16k + j) % 3 of pixel (16k + j) / 3.
// A mask byte with the top bit set gives 0, so each block or plane is the OR
// of three shuffles.
struct shuffle_masks {
    alignas(16) signed char toBlock[3][3][16];  // [block][channel][byte of block]
    alignas(16) signed char toPlane[3][3][16];  // [channel][block][pixel]
    shuffle_masks() {
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c) {
                for (int j = 0; j < 16; ++j) {
                    const int at = 16 * k + j;
                    toBlock[k][c][j] = static_cast<signed char>(at % 3 == c ? at / 3 : -128);
                    const int from = 3 * j + c;
                    toPlane[c][k][j] = static_cast<signed char>(from / 16 == k ? from % 16 : -128);
                }
            }
        }
    }
};

const shuffle_masks& masks() {
    static const shuffle_masks m;
    return m;
}

__m128i mask(const signed char* bytes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("ssse3"))) int interleaveShuffled(const unsigned char* red,
                                                        const unsigned char* green,
                                                        const unsigned char* blue,
                                                        unsigned char* bgr, int width) {
    const shuffle_masks& m = masks();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i planes[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x))};
        for (int k = 0; k < 3; ++k) {
            const __m128i block =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(planes[0], mask(m.toBlock[k][0])),
                                          _mm_shuffle_epi8(planes[1], mask(m.toBlock[k][1]))),
                             _mm_shuffle_epi8(planes[2], mask(m.toBlock[k][2])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * x + 16 * k), block);
        }
    }
    return x;
}

__attribute__((target("ssse3"))) int deinterleaveShuffled(const unsigned char* bgr,
                                                          unsigned char* red, unsigned char* green,
                                                          unsigned char* blue, int width) {
    const shuffle_masks& m = masks();
    unsigned char* planes[3] = {blue, green, red};
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i blocks[3] = {
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x + 16)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x + 32))};
        for (int c = 0; c < 3; ++c) {
            const __m128i plane =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blocks[0], mask(m.toPlane[c][0])),
                                          _mm_shuffle_epi8(blocks[1], mask(m.toPlane[c][1]))),
                             _mm_shuffle_epi8(blocks[2], mask(m.toPlane[c][2])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[c] + x), plane);
        }
    }
    return x;
}

bool haveShuffles() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}

#endif

}  // namespace

void InterleaveBgr(const unsigned char* red, const unsigned char* green, const unsigned char* blue,
                   unsigned char* bgr, int width) {
    int done = 0;
#ifdef TARVEL_BGR_SHUFFLES
    if (haveShuffles()) done = interleaveShuffled(red, green, blue, bgr, width);
#endif
    interleaveEach(red, green, blue, bgr, done, width);
}

void DeinterleaveBgr(const unsigned char* bgr, unsigned char* red, unsigned char* green,
                     unsigned char* blue, int width) {
    int done = 0;
#ifdef TARVEL_BGR_SHUFFLES
    if (haveShuffles()) done = deinterleaveShuffled(bgr, red, green, blue, width);
#endif
    deinterleaveEach(bgr, red, green, blue, done, width);
}

}  // namespace tarvel
