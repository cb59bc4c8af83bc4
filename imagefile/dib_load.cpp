// Reading any file the host imaging library decodes into a paged image,
// through the host's Windows bitmap.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "imagefile/bgr_rows.h"
#include "imagefile/dib_copy.h"
#include "imagefile/imagefile.h"

namespace tarvel {

namespace {

// Depths the host may present, by how they are copied.
constexpr int kMaxPaletteBits = 8;    // one byte per pixel, an index
constexpr int kMinColourBits = 17;    // 17 to 24: three bytes per pixel
constexpr int kMinFourByteBits = 25;  // 25 and more: four bytes, the fourth skipped

// Whether every row of `bytesPerRow` bytes lies within the distance between
// rows, so that walking height rows never reads outside the bitmap's buffer.
bool rowsFit(const KORBAS::CBitmapWindows& bitmap, std::uint64_t bytesPerRow) {
    const std::int64_t offset = bitmap.getScanLineOffset();
    return static_cast<std::uint64_t>(offset < 0 ? -offset : offset) >= bytesPerRow;
}

// Colour path: bytes at r, g, b of each pixel go to channels 0, 1, 2.
bool copyColour(const KORBAS::CBitmapWindows& bitmap, image& img, int width, int height, int step) {
    if (!rowsFit(bitmap, static_cast<std::uint64_t>(width) * step)) return false;
    if (!img.Create(3, width, height, 0)) return false;
    const int offset = bitmap.getScanLineOffset();
    const unsigned char* r = bitmap.getBeginImageRed();
    const unsigned char* g = bitmap.getBeginImageGreen();
    const unsigned char* b = bitmap.getBeginImageBlue();
    image::pointer red(&img, 0, 0);
    image::pointer green(&img, 1, 0);
    image::pointer blue(&img, 2, 0);
    for (int y = 0; y < height; ++y) {
        red = y * width;
        green = y * width;
        blue = y * width;
        // A page holds whole rows: each channel's row is contiguous.
        unsigned char* rp = red.GetPtr();
        unsigned char* gp = green.GetPtr();
        unsigned char* bp = blue.GetPtr();
        if (step == 3 && g == b + 1 && r == b + 2) {
            DeinterleaveBgr(b, rp, gp, bp, width);
        } else {
            for (int x = 0; x < width; ++x) {
                rp[x] = r[x * step];
                gp[x] = g[x * step];
                bp[x] = b[x * step];
            }
        }
        r += offset;
        g += offset;
        b += offset;
    }
    return true;
}

// The bitmap's colour table as a 768-byte palette: biClrUsed entries, 256
// when it is 0, never more than the palette holds nor than the bitmap's table
// has; the rest black.
void readPalette(const KORBAS::CBitmapWindows& bitmap, unsigned char* palette) {
    const std::uint32_t used = bitmap.m_pInfoHeader->biClrUsed;
    std::uint32_t n = used == 0 ? 256u : used;
    n = std::min({n, 256u, bitmap.getColorCount()});
    const RGBQUAD* table = bitmap.getColorTable();
    std::memset(palette, 0, kPaletteBytes);
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[3 * i] = table[i].rgbRed;
        palette[3 * i + 1] = table[i].rgbGreen;
        palette[3 * i + 2] = table[i].rgbBlue;
    }
}

// Palette pictures expanded: grey (type 1) when every palette entry is a grey
// level, else RGB (type 3); each index becomes its colour.
bool copyExpanded(const KORBAS::CBitmapWindows& bitmap, image& img, int width, int height) {
    if (!rowsFit(bitmap, static_cast<std::uint64_t>(width))) return false;
    unsigned char palette[kPaletteBytes];
    readPalette(bitmap, palette);
    bool grey = true;
    for (int i = 0; i < kPaletteBytes; i += 3)
        grey = grey && palette[i] == palette[i + 1] && palette[i] == palette[i + 2];
    const int channels = grey ? 1 : 3;
    if (!img.Create(grey ? 1 : 3, width, height, 0)) return false;
    const int offset = bitmap.getScanLineOffset();
    const unsigned char* p = bitmap.getBeginImage();
    std::vector<image::pointer> planes;
    planes.reserve(channels);  // built in place, never copied
    for (int c = 0; c < channels; ++c) planes.emplace_back(&img, c, 0);
    for (int y = 0; y < height; ++y, p += offset) {
        for (int c = 0; c < channels; ++c) {
            planes[c] = y * width;
            unsigned char* out = planes[c].GetPtr();
            for (int x = 0; x < width; ++x) out[x] = palette[3 * p[x] + c];
        }
    }
    return true;
}

// Palette path: the colour table becomes the palette, each pixel byte an index.
bool copyPalette(const KORBAS::CBitmapWindows& bitmap, image& img, int width, int height) {
    if (!rowsFit(bitmap, static_cast<std::uint64_t>(width))) return false;
    if (!img.Create(2, width, height, 0)) return false;
    readPalette(bitmap, img.GetPalette());
    const int offset = bitmap.getScanLineOffset();
    const unsigned char* p = bitmap.getBeginImage();
    image::pointer index(&img, 0, 0);
    for (int y = 0; y < height; ++y, p += offset) {
        index = y * width;
        std::memcpy(index.GetPtr(), p, static_cast<std::size_t>(width));
    }
    return true;
}

}  // namespace

bool copyBitmapToImage(const KORBAS::CBitmapWindows& bitmap, image& img, bool expandPalette) {
    const int bits = bitmap.getBPP();
    // Depths between palette and colour have no copy; refused before the image is touched.
    if (bits > kMaxPaletteBits && bits < kMinColourBits) return false;
    const unsigned w = bitmap.getWidth();
    const unsigned h = bitmap.getHeight();
    // Sizes the paged image cannot take are refused before it is touched too.
    if (w < 1 || h < 1 || std::uint64_t{w} * h > INT_MAX) return false;
    const int width = static_cast<int>(w);
    const int height = static_cast<int>(h);
    if (bits <= kMaxPaletteBits) {
        return expandPalette ? copyExpanded(bitmap, img, width, height)
                             : copyPalette(bitmap, img, width, height);
    }
    return copyColour(bitmap, img, width, height, bits < kMinFourByteBits ? 3 : 4);
}

bool CImageFileFormat_dib::Load(image& img, const char* path, const char*, KORBAS::IProgressWork*) {
    m_error.clear();
    m_target = &img;
    bool ok = false;
    try {
        const KORBAS::CBitmapWindows bitmap(nullptr, path, true);
        ok = copyBitmapToImage(bitmap, img, m_expandPalette) ||
             fail(path, std::to_string(bitmap.getWidth()) + " x " +
                            std::to_string(bitmap.getHeight()) + " pixels at " +
                            std::to_string(bitmap.getBPP()) +
                            " bits per pixel cannot be copied into a paged image");
    } catch (const KORBAS::CImageDecodeException& e) {
        // Names the file and the reason already.
        m_error = e.what();
    } catch (const std::bad_alloc&) {
        fail(path, "out of memory");
    } catch (...) {
        // Whatever else the host library throws ends the load; the bitmap is gone.
        fail(path, "the host imaging library failed");
    }
    m_target = nullptr;
    return ok;
}

}  // namespace tarvel
