// Decoders stream rows: a decoder tells a sink the picture's layout, then
// hands its rows over one at a time, so that the pixels can go anywhere (a
// whole-picture DIB, the pages of a pyramid) without the decoder knowing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace KORBAS {
namespace decode {

// The most entries of a colour table (8-bit pixels are indices).
constexpr unsigned kMaxColourEntries = 256;

// How the stored rows are turned to show the picture upright: the TIFF and
// EXIF orientation values.
enum class Orientation {
    normal = 1,       // row 0 is the top, column 0 the left side
    mirrored = 2,     // left and right swapped
    turned = 3,       // turned by 180 degrees
    flipped = 4,      // top and bottom swapped
    transposed = 5,   // row 0 is the left side, column 0 the top
    turnedRight = 6,  // turned a quarter clockwise: row 0 is the right side
    transverse = 7,   // row 0 is the right side, column 0 the bottom
    turnedLeft = 8,   // turned a quarter anticlockwise: row 0 is the left side
};

// What the fourth byte of 32-bit rows, and rgbReserved of colour-table
// entries, say about transparency.
enum class Alpha {
    none,           // nothing: 32-bit rows carry a byte to skip
    straight,       // opacity, 255 opaque; colours as they are
    premultiplied,  // opacity, with colours already multiplied by it
};

// The picture as the decoder hands it over.
struct PictureLayout {
    // Size as stored in the file, before the orientation is applied.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Bits per pixel of the rows handed over: 8 (an index into the colour
    // table), 24 (blue, green, red) or 32 (blue, green, red, alpha).
    int bitCount = 0;
    // Entries of the colour table for 8 bits (at most kMaxColourEntries).
    unsigned colours = 0;
    // The most rows the decoder asks room for before it hands the first of
    // them over: a strip, or a row of tiles.
    std::uint32_t bandRows = 1;
    // True: each row comes once, from the top down. False: rows come in any
    // order and may come again (interlaced passes); room for a row that came
    // before holds it as it was handed over.
    bool inOrder = true;
    // How many times the decoder will call put: 0 for once a row; more when
    // rows come again (interlaced passes).
    std::uint64_t deliveries = 0;
    Orientation orientation = Orientation::normal;
    Alpha alpha = Alpha::none;
    // The ICC colour profile the file embeds, if any; read during start only.
    const unsigned char* profile = nullptr;
    std::size_t profileBytes = 0;

    std::size_t rowBytes() const { return static_cast<std::size_t>(width) * (bitCount / 8); }
    // Whether the upright picture has width and height swapped.
    bool transposes() const { return static_cast<int>(orientation) >= 5; }
    std::uint32_t uprightWidth() const { return transposes() ? height : width; }
    std::uint32_t uprightHeight() const { return transposes() ? width : height; }
};

// Where the pixels of one stored row land in the upright picture: pixel x of
// the row goes to column `column + x * columnStep`, row `row + x * rowStep`.
struct RowPlacement {
    std::int64_t column;
    std::int64_t row;
    int columnStep;
    int rowStep;
};
RowPlacement PlaceRow(const PictureLayout& layout, std::uint32_t y);

// Takes the pixels of one picture from a decoder.
//
// Order of calls: start once; when it returns true, the decoder fills the
// colour table (8 bits) and then asks wantsPixels(); when that is true, for
// each row: row(y), the decoder fills rowBytes() bytes there, put(y). At
// most bandRows rows are asked for before the first of them is put, and rows
// are put in the order they were asked for.
//
// Owns: whatever it puts the pixels into; the decoder owns nothing of it.
// Failure: start and put return false to stop the decoder, reason() says why;
// the decoder then throws and the sink keeps what it was given so far.
// No member throws: decoders call them between setjmp and longjmp.
// Threads: the decoder's.
class RowSink {
  public:
    virtual ~RowSink() = default;

    // The layout is known; false refuses the picture.
    virtual bool start(const PictureLayout& layout) noexcept = 0;
    // The colour table of layout.colours entries, zeroed by start, for the
    // decoder to fill.
    virtual RGBQUAD* colours() noexcept = 0;
    // False when only the layout and colour table are wanted.
    virtual bool wantsPixels() const noexcept = 0;
    // Room for stored row y, rowBytes() bytes.
    virtual unsigned char* row(std::uint32_t y) noexcept = 0;
    // Stored row y is filled.
    virtual bool put(std::uint32_t y) noexcept = 0;
    virtual const char* reason() const noexcept = 0;
};

// Sets the first n entries of a colour table to the grey levels 0, 1, ...
void SetGreyColours(RGBQUAD* table, unsigned n);

// Decodes the file at path into sink, choosing JPEG, PNG, TIFF or BMP by the
// file's first bytes, never by its name, and shows it as viewers do (see
// ShownRows): the sink gets 8-bit rows (indices) or 24-bit rows, with no alpha
// and no profile left to apply, and the layout's orientation. Throws
// CImageDecodeException (which names the file) when the file cannot be
// decoded or the sink stops it.
void DecodeRows(const char* path, RowSink& sink);

}  // namespace decode
}  // namespace KORBAS
