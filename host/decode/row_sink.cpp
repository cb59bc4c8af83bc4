// Row placement for turned pictures and the grey colour table.
#include "host/decode/row_sink.h"

namespace KORBAS {
namespace decode {

RowPlacement PlaceRow(const PictureLayout& layout, std::uint32_t y) {
    const std::int64_t lastColumn = static_cast<std::int64_t>(layout.width) - 1;
    const std::int64_t lastRow = static_cast<std::int64_t>(layout.height) - 1;
    const std::int64_t down = y;          // the stored row, counted from the top
    const std::int64_t up = lastRow - y;  // ... and from the bottom
    switch (layout.orientation) {
        case Orientation::normal:
            return {0, down, 1, 0};
        case Orientation::mirrored:
            return {lastColumn, down, -1, 0};
        case Orientation::turned:
            return {lastColumn, up, -1, 0};
        case Orientation::flipped:
            return {0, up, 1, 0};
        case Orientation::transposed:
            return {down, 0, 0, 1};
        case Orientation::turnedRight:
            return {up, 0, 0, 1};
        case Orientation::transverse:
            return {up, lastColumn, 0, -1};
        case Orientation::turnedLeft:
            return {down, lastColumn, 0, -1};
    }
    return {0, down, 1, 0};
}

void SetGreyColours(RGBQUAD* table, unsigned n) {
    for (unsigned i = 0; i < n && i < kMaxColourEntries; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        table[i] = RGBQUAD{v, v, v, 0};
    }
}

}  // namespace decode
}  // namespace KORBAS
