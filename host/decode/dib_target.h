// The decoders' view of the DIB they fill: created once the picture's size is
// known, refused beyond the decoding limit, rows addressed from the top.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/bitmap.h"

namespace KORBAS {

// Owns nothing: the DIB belongs to the bitmap. No member throws, so that the
// decoders may call them between setjmp and longjmp.
class DibTarget {
  public:
    // pixels: false when only the header and colour table are wanted.
    DibTarget(CBitmapWindows& bitmap, bool pixels) noexcept;

    // Creates a bottom-up DIB of width x height pixels at 8, 24 or 32 bits
    // with colours table entries (zeroed). False, with reason() set, when the
    // picture is empty, beyond GetDecodeLimit() or memory runs out.
    bool start(std::uint32_t width, std::uint32_t height, int bitCount, unsigned colours) noexcept;
    // Sets every colour table entry i to grey level i.
    void setGreyColours() noexcept;
    RGBQUAD* colours() const noexcept { return m_bitmap.getColorTable(); }

    bool wantsPixels() const noexcept { return m_pixels; }
    // Row y counted from the top; null when no pixels are wanted.
    unsigned char* row(std::uint32_t y) const noexcept;
    // Bytes of pixels in one row (without the padding to 4 bytes).
    std::size_t rowBytes() const noexcept { return m_rowBytes; }
    std::uint32_t width() const noexcept { return m_width; }
    std::uint32_t height() const noexcept { return m_height; }

    // Why start failed.
    const char* reason() const noexcept { return m_reason; }

  private:
    bool fail(const char* format, ...) noexcept;

    CBitmapWindows& m_bitmap;
    bool m_pixels;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::size_t m_rowBytes = 0;
    char m_reason[200] = {};
};

}  // namespace KORBAS
