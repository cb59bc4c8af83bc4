// ResampleCopy: the source rectangle copied unchanged, row by row.
#include <cstring>

#include "pyramid/resample_rows.h"

namespace tarvel {

void ResampleCopy(image::pointer destination, int width, int height, const resample_source& source,
                  int x, int y, int /*srcWidth*/, int /*srcHeight*/) {
    source_row_reader rows(source);
    destination_row_writer out(destination, width);
    const bool inside = x >= 0 && static_cast<long long>(x) + width <= source.stride;
    for (int j = 0; j < height; ++j) {
        const unsigned char* in = rows.fetch(static_cast<long long>(y) + j);
        unsigned char* row = out.row();
        if (inside) {
            std::memcpy(row, in + x, static_cast<size_t>(width));
        } else {
            for (int i = 0; i < width; ++i)
                row[i] = in[clamp_index(static_cast<long long>(x) + i, source.stride)];
        }
        out.next();
    }
}

}  // namespace tarvel
