// PutDibSpan: consecutive samples to DIB pixels, colour planes interleaved
// into blue, green, red with the widest byte permutes the processor offers.
#include <cstring>

#include "display/view_fill.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TARVEL_PERMUTE_DISPATCH 1
#include <immintrin.h>
#endif

namespace tarvel {
namespace view_fill {

namespace {

void interleave_plain(const unsigned char* r, const unsigned char* g, const unsigned char* b,
                      int from, int width, unsigned char* out) {
    out += 3 * static_cast<std::size_t>(from);
    for (int i = from; i < width; ++i, out += 3) {
        out[0] = b[i];
        out[1] = g[i];
        out[2] = r[i];
    }
}

#if defined(TARVEL_PERMUTE_DISPATCH)
// Output byte k of a run of blue, green, red pixels is channel k % 3 (0 blue,
// 1 green, 2 red) of pixel k / 3.

// Masks for 16 pixels (48 bytes): mask[v][c] takes output bytes 16v .. 16v + 15
// from plane c, 0x80 (a zero) where another plane's byte goes.
struct shuffle_masks {
    alignas(16) unsigned char mask[3][3][16];
    shuffle_masks() {
        for (int v = 0; v < 3; ++v)
            for (int c = 0; c < 3; ++c)
                for (int l = 0; l < 16; ++l) {
                    const int k = 16 * v + l;
                    mask[v][c][l] = static_cast<unsigned char>(k % 3 == c ? k / 3 : 0x80);
                }
    }
};

// Whole runs of 16 pixels; returns how many pixels it wrote.
__attribute__((target("ssse3"))) int interleave_ssse3(const unsigned char* r,
                                                      const unsigned char* g,
                                                      const unsigned char* b, int width,
                                                      unsigned char* out) {
    static const shuffle_masks table;
    __m128i m[3][3];
    for (int v = 0; v < 3; ++v)
        for (int c = 0; c < 3; ++c)
            m[v][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.mask[v][c]));
    int i = 0;
    for (; i + 16 <= width; i += 16, out += 48) {
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i));
        const __m128i vr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i));
        for (int v = 0; v < 3; ++v) {
            const __m128i bytes = _mm_or_si128(
                _mm_or_si128(_mm_shuffle_epi8(vb, m[v][0]), _mm_shuffle_epi8(vg, m[v][1])),
                _mm_shuffle_epi8(vr, m[v][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v), bytes);
        }
    }
    return i;
}

// Indices for 64 pixels (192 bytes), two two-table permutes per 64 output
// bytes: blueGreen[v] picks output bytes 64v .. 64v + 63 from blue (0 .. 63)
// and green (64 .. 127), leaving red's places to anything; withRed[v] keeps
// those bytes (0 .. 63) and puts red (64 .. 127) in its places.
struct permute_indices {
    alignas(64) unsigned char blueGreen[3][64];
    alignas(64) unsigned char withRed[3][64];
    permute_indices() {
        for (int v = 0; v < 3; ++v)
            for (int l = 0; l < 64; ++l) {
                const int k = 64 * v + l, pixel = k / 3, channel = k % 3;
                blueGreen[v][l] = static_cast<unsigned char>(channel == 1 ? 64 + pixel : pixel);
                withRed[v][l] = static_cast<unsigned char>(channel == 2 ? 64 + pixel : l);
            }
    }
};

// Whole runs of 64 pixels; returns how many pixels it wrote.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int interleave_vbmi(const unsigned char* r,
                                                                           const unsigned char* g,
                                                                           const unsigned char* b,
                                                                           int width,
                                                                           unsigned char* out) {
    static const permute_indices table;
    __m512i blueGreen[3], withRed[3];
    for (int v = 0; v < 3; ++v) {
        blueGreen[v] = _mm512_load_si512(table.blueGreen[v]);
        withRed[v] = _mm512_load_si512(table.withRed[v]);
    }
    int i = 0;
    for (; i + 64 <= width; i += 64, out += 192) {
        const __m512i vb = _mm512_loadu_si512(b + i);
        const __m512i vg = _mm512_loadu_si512(g + i);
        const __m512i vr = _mm512_loadu_si512(r + i);
        for (int v = 0; v < 3; ++v) {
            const __m512i bg = _mm512_permutex2var_epi8(vb, blueGreen[v], vg);
            _mm512_storeu_si512(out + 64 * v, _mm512_permutex2var_epi8(bg, withRed[v], vr));
        }
    }
    return i;
}

// The widest interleaver this processor runs: 2 byte permutes, 1 byte
// shuffles, 0 neither.
int permute_level() {
    static const int level = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw")) return 2;
        return __builtin_cpu_supports("ssse3") ? 1 : 0;
    }();
    return level;
}
#endif

}  // namespace

void PutDibSpan(const dib_source& src, int width, unsigned char* out) {
    if (width < 1) return;
    if (src.channels == 1) {
        std::memcpy(out, src.plane[0], static_cast<std::size_t>(width));
        return;
    }
    const unsigned char* r = src.plane[0];
    const unsigned char* g = src.plane[1];
    const unsigned char* b = src.plane[2];
    int done = 0;
#if defined(TARVEL_PERMUTE_DISPATCH)
    const int level = permute_level();
    if (level >= 2) done = interleave_vbmi(r, g, b, width, out);
    if (level >= 1)
        done += interleave_ssse3(r + done, g + done, b + done, width - done, out + 3 * done);
#endif
    interleave_plain(r, g, b, done, width, out);
}

}  // namespace view_fill
}  // namespace tarvel
