// The software device surface behind an HDC, and the palette behind an HPALETTE.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

// The largest surface: 2^28 pixels (1 GiB of 32-bit pixels), far beyond any
// screen, so that a mistaken size fails instead of exhausting memory.
constexpr long long kMaxSurfacePixels = 1LL << 28;

// A palette: up to 256 colours.
struct HPALETTE__ {
    std::vector<PALETTEENTRY> entries;
};

// A device surface: width x height pixels, rows from the top, each pixel
// 0x00RRGGBB. SelectPalette records the palette; RealizePalette reports how
// many of its entries the surface took (all of them: a true-colour surface).
struct HDC__ {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    HPALETTE palette = nullptr;
    UINT realizedEntries = 0;
};
