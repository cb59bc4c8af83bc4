// GDI palettes on software surfaces: CreatePalette, DeleteObject, SelectPalette, RealizePalette.
#include "platform/platform.h"
#include "platform/surface.h"

// Windows palettes have at most 256 entries.
constexpr WORD kMaxPaletteEntries = 256;

HPALETTE CreatePalette(const LOGPALETTE* lplgpl) {
    if (!lplgpl || lplgpl->palNumEntries == 0 || lplgpl->palNumEntries > kMaxPaletteEntries)
        return nullptr;
    auto* palette = new HPALETTE__;
    palette->entries.assign(lplgpl->palPalEntry, lplgpl->palPalEntry + lplgpl->palNumEntries);
    return palette;
}

BOOL DeleteObject(HGDIOBJ ho) {
    if (!ho) return false;
    delete static_cast<HPALETTE__*>(ho);
    return true;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL) {
    if (!hdc) return nullptr;
    HPALETTE old = hdc->palette;
    hdc->palette = hPal;
    hdc->realizedEntries = 0;
    return old;
}

// A true-colour surface takes every entry of the selected palette.
UINT RealizePalette(HDC hdc) {
    if (!hdc || !hdc->palette) return 0;
    hdc->realizedEntries = static_cast<UINT>(hdc->palette->entries.size());
    return hdc->realizedEntries;
}
