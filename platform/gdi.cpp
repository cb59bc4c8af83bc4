// GDI on software surfaces: palettes and SetDIBitsToDevice (stub).
#include "platform/platform.h"
#include "platform/surface.h"

HPALETTE CreatePalette(const LOGPALETTE* lplgpl) {
    if (!lplgpl || lplgpl->palNumEntries == 0) return nullptr;
    auto* palette = new HPALETTE__;
    palette->entries.assign(lplgpl->palPalEntry, lplgpl->palPalEntry + lplgpl->palNumEntries);
    return palette;
}

BOOL DeleteObject(HGDIOBJ ho) {
    if (!ho) return FALSE;
    delete static_cast<HPALETTE__*>(ho);
    return TRUE;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL) {
    if (!hdc) return nullptr;
    HPALETTE old = hdc->palette;
    hdc->palette = hPal;
    return old;
}

UINT RealizePalette(HDC hdc) {
    return hdc && hdc->palette ? 0 : 0;
}

int SetDIBitsToDevice(HDC, int, int, DWORD, DWORD, int, int, UINT, UINT, const void*,
                      const BITMAPINFO*, UINT) {
    return 0;
}
