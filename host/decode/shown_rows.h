// How decoded pixels become what viewers show: transparent parts over white,
// and colours converted from an embedded ICC profile to sRGB.
#pragma once

#include <cstdint>
#include <vector>

#include "host/decode/row_sink.h"

namespace KORBAS {
namespace decode {

// The background that transparent pixels are shown over: white.
constexpr unsigned char kBackgroundLevel = 255;
// The rendering intent of profile conversions: media-relative colorimetric
// (INTENT_RELATIVE_COLORIMETRIC), the ICC default that libvips uses too. For
// the matrix profiles of most photographs every intent gives the same colours.
constexpr unsigned kShownIntent = 1;

// A sink in front of another that shows the decoder's pixels as users expect
// and hands the other sink the result:
// - 32-bit rows become 24-bit rows: with straight alpha each colour sample c
//   of opacity a becomes (c a + 255 (255 - a)) / 255, rounded; with
//   premultiplied alpha c + 255 - a; without alpha the fourth byte is dropped.
//   Colour-table entries are composited the same way with rgbReserved as
//   their opacity (straight), which then becomes 0.
// - With an ICC profile, colours are converted to sRGB (kShownIntent, through
//   Little CMS) after compositing: rows and colour tables with an RGB
//   profile, grey colour tables with a grey profile. A profile that cannot
//   be read, or of another colour space, is left unused, as viewers do.
// Everything else (size, bands, order, orientation) passes through; with
// nothing to change, rows go straight to the other sink.
//
// Owns: the colour transform, and row buffers while rows change size (a ring
// of bandRows rows; for rows out of order, every row of the picture, since a
// later pass adds to what an earlier one handed over).
// Failure: start fails like the other sink, or for want of memory; reason()
// then says why. Threads: the decoder's.
class ShownRows final : public RowSink {
  public:
    explicit ShownRows(RowSink& next) noexcept : m_next(next) {}
    ~ShownRows() override;
    ShownRows(const ShownRows&) = delete;
    ShownRows& operator=(const ShownRows&) = delete;

    bool start(const PictureLayout& layout) noexcept override;
    RGBQUAD* colours() noexcept override { return m_next.colours(); }
    // Also shows the colour table, the first time it is asked.
    bool wantsPixels() const noexcept override;
    unsigned char* row(std::uint32_t y) noexcept override;
    bool put(std::uint32_t y) noexcept override;
    const char* reason() const noexcept override;

  private:
    void showColours() const noexcept;
    void showRow(unsigned char* from, unsigned char* to) const noexcept;

    RowSink& m_next;
    PictureLayout m_layout;             // as the decoder hands rows over
    void* m_transform = nullptr;        // Little CMS transform of 24-bit rows to sRGB
    void* m_tableTransform = nullptr;   // ... of colour-table entries
    bool m_greyTable = false;           // the table transform takes grey levels
    bool m_ownRows = false;             // rows are held here before the other sink gets them
    std::vector<unsigned char> m_rows;  // ring of held rows, or the whole picture
    std::size_t m_asked = 0;
    std::size_t m_put = 0;
    mutable bool m_coloursShown = false;
    const char* m_reason = nullptr;
};

}  // namespace decode
}  // namespace KORBAS
