// Run-length compressed BMP pixels (RLE8 and RLE4).
#pragma once

#include <cstdio>

#include "host/decode/row_sink.h"

namespace KORBAS {
namespace decode {

// Decodes the runs that start at the file's current position into picture's
// rows of 8-bit indices, handing them to sink in the order stored (the bottom
// row first). bits is 8 or 4. Pixels the runs skip (end of line, delta, end
// of picture) get the index `skipped`. Throws DecodeError when the data ends
// before the picture does, a run passes the end of a row or a delta leaves
// the picture, or the sink stops.
void decodeRunLengths(std::FILE* file, int bits, const PictureLayout& picture,
                      unsigned char skipped, RowSink& sink);

}  // namespace decode
}  // namespace KORBAS
