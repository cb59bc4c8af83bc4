// The whole-picture DIB as a row sink: created once the picture's size is
// known, refused beyond the decoding limit, rows placed upright.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/bitmap.h"
#include "host/decode/row_sink.h"

namespace KORBAS {

// Owns nothing but a row buffer for turned pictures: the DIB belongs to the
// bitmap. Rows of a picture stored upright are decoded straight into the DIB;
// others are decoded into the row buffer and placed from there.
class DibTarget : public decode::RowSink {
  public:
    // pixels: false when only the header and colour table are wanted.
    DibTarget(CBitmapWindows& bitmap, bool pixels) noexcept;

    // Creates a bottom-up DIB of the upright size at 8, 24 or 32 bits with
    // the layout's colour table entries (zeroed). False, with reason() set,
    // when the picture is empty, beyond GetDecodeLimit() or memory runs out.
    bool start(const decode::PictureLayout& layout) noexcept override;
    RGBQUAD* colours() noexcept override { return m_bitmap.getColorTable(); }
    bool wantsPixels() const noexcept override { return m_pixels; }
    unsigned char* row(std::uint32_t y) noexcept override;
    bool put(std::uint32_t y) noexcept override;
    const char* reason() const noexcept override { return m_reason; }

  private:
    bool fail(const char* format, ...) noexcept;
    // Upright row y counted from the top.
    unsigned char* uprightRow(std::uint32_t y) const noexcept;
    void placeTurned(std::uint32_t y, unsigned char* buffer, bool intoDib) noexcept;

    CBitmapWindows& m_bitmap;
    bool m_pixels;
    decode::PictureLayout m_layout;
    std::vector<unsigned char> m_turned;  // stored rows of a turned picture
    std::size_t m_asked = 0;              // rows asked for and put, to find their buffers
    std::size_t m_put = 0;
    char m_reason[200] = {};
};

}  // namespace KORBAS
