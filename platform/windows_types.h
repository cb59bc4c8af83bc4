// The Windows types that tarvel's public headers use (integers, handles,
// DIB headers and palettes), declared under their Windows names. No macros:
// including this header never changes the meaning of a user's code.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using LPSTR = char*;
using LPCSTR = const char*;

// Opaque handles. A module handle is only used to find string resources; a
// palette handle names a palette built from a colour table; a device context
// is a software surface (see QDC in host/).
struct HINSTANCE__;
struct HPALETTE__;
struct HDC__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HPALETTE = HPALETTE__*;
using HDC = HDC__*;

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};
struct LOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
