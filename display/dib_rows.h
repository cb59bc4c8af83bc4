// Image samples to Windows DIB rows: the one conversion that every display and
// picture writer uses. Header-only, so that the host library's default display
// uses it without linking the tarvel library, and so that it inlines into the
// fill loops.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/windows_types.h"

namespace tarvel {

// The samples of one picture row: one plane (grey levels or palette indices)
// or three (red, green, blue). plane[c][x] is sample x of channel c; the
// caller keeps every x it asks for inside the plane.
struct dib_source {
    const unsigned char* plane[3];
    int channels;  // 1 or 3
};

// Bytes of one DIB row of `width` pixels at `bitCount` bits: whole 32-bit words.
inline std::size_t DibRowBytes(int width, int bitCount) {
    return (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
}

// Writes `width` DIB pixels, pixel i from sample columns[i]: one byte per pixel
// (an 8-bit DIB) from one plane, blue, green and red (a 24-bit DIB) from three.
// The padding after the pixels is not written.
inline void PutDibRow(const dib_source& src, const int* columns, int width, unsigned char* out) {
    if (src.channels == 1) {
        const unsigned char* p = src.plane[0];
        for (int i = 0; i < width; ++i) out[i] = p[columns[i]];
        return;
    }
    const unsigned char* r = src.plane[0];
    const unsigned char* g = src.plane[1];
    const unsigned char* b = src.plane[2];
    for (int i = 0; i < width; ++i, out += 3) {
        const int x = columns[i];
        out[0] = b[x];
        out[1] = g[x];
        out[2] = r[x];
    }
}

// The same for the consecutive columns first .. first + width - 1.
inline void PutDibRow(const dib_source& src, int first, int width, unsigned char* out) {
    if (src.channels == 1) {
        std::memcpy(out, src.plane[0] + first, static_cast<std::size_t>(width));
        return;
    }
    const unsigned char* r = src.plane[0] + first;
    const unsigned char* g = src.plane[1] + first;
    const unsigned char* b = src.plane[2] + first;
    for (int i = 0; i < width; ++i, out += 3) {
        out[0] = b[i];
        out[1] = g[i];
        out[2] = r[i];
    }
}

// Fills a 256-entry DIB colour table: the grey ramp (i, i, i) when palette is
// null, otherwise the palette's 256 red, green, blue triples, each stored as
// blue, green, red, 0.
inline void PutColourTable(RGBQUAD* table, const unsigned char* palette) {
    for (int i = 0; i < 256; ++i) {
        const BYTE grey = static_cast<BYTE>(i);
        table[i] = palette ? RGBQUAD{palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0}
                           : RGBQUAD{grey, grey, grey, 0};
    }
}

}  // namespace tarvel
