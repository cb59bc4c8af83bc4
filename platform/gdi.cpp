// SetDIBitsToDevice on software surfaces: copies a DIB's scan lines onto the
// surface with Windows' placement rules, clipped to the DIB and the surface.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/surface.h"

namespace {

// Colour tables hold at most 256 entries; indices beyond the table are black.
constexpr unsigned kMaxTableEntries = 256;

struct DibRows {
    const unsigned char* bits;
    long long stride;
    int bitCount;
    std::uint32_t table[kMaxTableEntries];
};

inline std::uint32_t rgb(unsigned r, unsigned g, unsigned b) {
    return (r << 16) | (g << 8) | b;
}

inline std::uint32_t pixel(const DibRows& dib, const unsigned char* row, long long x) {
    switch (dib.bitCount) {
        case 32:
            return rgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        case 24:
            return rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        case 8:
            return dib.table[row[x]];
        case 4:
            return dib.table[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0f];
        default:  // 1
            return dib.table[(row[x / 8] >> (7 - x % 8)) & 1];
    }
}

}  // namespace

// The DIB's scan lines are numbered from its bottom (0) up. lpvBits holds
// lines StartScan .. StartScan + cLines - 1: upward in memory for a
// bottom-up DIB, downward for a top-down one. The source rectangle is
// columns xSrc .. xSrc + w - 1 and scan lines ySrc .. ySrc + h - 1; its top
// line lands on device row yDest and its first column on xDest. Returns the
// number of supplied scan lines inside the source rectangle, 0 on bad arguments.
int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                      UINT StartScan, UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi,
                      UINT ColorUse) {
    if (!hdc || !lpvBits || !lpbmi || ColorUse != kDibRgbColors) return 0;
    const BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    const int bitCount = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biPlanes != 1 || header.biCompression != kBiRgb ||
        !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32))
        return 0;
    const long long dibWidth = header.biWidth;
    const long long dibHeight = std::llabs(static_cast<long long>(header.biHeight));
    const bool topDown = header.biHeight < 0;
    if (StartScan >= dibHeight || cLines == 0) return 0;
    const long long first = StartScan;
    const long long lines = std::min<long long>(cLines, dibHeight - first);

    DibRows dib{static_cast<const unsigned char*>(lpvBits),
                (dibWidth * bitCount + 31) / 32 * 4,
                bitCount,
                {}};
    if (bitCount <= 8) {
        unsigned entries = header.biClrUsed ? header.biClrUsed : 1u << bitCount;
        entries = std::min(entries, kMaxTableEntries);
        const auto* table = reinterpret_cast<const RGBQUAD*>(
            reinterpret_cast<const unsigned char*>(lpbmi) + header.biSize);
        for (unsigned i = 0; i < entries; ++i)
            dib.table[i] = rgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
    }

    const long long wide = w, high = h;
    // Device columns: inside the destination, the surface and the DIB's width.
    const long long dx0 =
        std::max({static_cast<long long>(xDest), 0LL, xDest - static_cast<long long>(xSrc)});
    const long long dx1 = std::min({xDest + wide, static_cast<long long>(hdc->width),
                                    xDest - static_cast<long long>(xSrc) + dibWidth});
    const long long srcTop = ySrc + high - 1;  // scan line drawn on row yDest
    for (long long dy = std::max<long long>(yDest, 0);
         dy < std::min<long long>(yDest + high, hdc->height) && dx0 < dx1; ++dy) {
        const long long scan = srcTop - (dy - yDest);
        if (scan < first || scan >= first + lines) continue;
        const long long memoryRow = topDown ? first + lines - 1 - scan : scan - first;
        const unsigned char* row = dib.bits + memoryRow * dib.stride;
        std::uint32_t* out = hdc->pixels.data() + dy * hdc->width;
        for (long long dx = dx0; dx < dx1; ++dx) out[dx] = pixel(dib, row, xSrc + (dx - xDest));
    }
    const long long shownFirst = std::max<long long>(first, ySrc);
    const long long shownEnd = std::min<long long>(first + lines, ySrc + high);
    return shownEnd > shownFirst ? static_cast<int>(shownEnd - shownFirst) : 0;
}
