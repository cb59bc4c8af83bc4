// ResampleHalve: each destination sample is the truncated mean of a 2x2 block.
#include "host/host.h"
#include "pyramid/resample_rows.h"

namespace tarvel {

void HalveRow(const unsigned char* upper, const unsigned char* lower, unsigned char* out,
              int width) {
    for (int i = 0; i < width; ++i, upper += 2, lower += 2) {
        out[i] = static_cast<unsigned char>((upper[0] + upper[1] + lower[0] + lower[1]) >> 2);
    }
}

void ResampleHalve(image::pointer destination, int width, int height, const resample_source& source,
                   int x, int y, int /*srcWidth*/, int /*srcHeight*/,
                   KORBAS::IProgressWork* progress) {
    source_row_reader upper(source);
    source_row_reader lower(source);
    destination_row_writer out(destination, width);
    const bool inside = x >= 0 && static_cast<long long>(x) + 2LL * width <= source.stride;
    for (int j = 0; j < height; ++j) {
        const long long top = static_cast<long long>(y) + 2LL * j;
        const unsigned char* a = upper.fetch(top);
        const unsigned char* b = lower.fetch(top + 1);
        unsigned char* row = out.row();
        if (inside) {
            HalveRow(a + x, b + x, row, width);
        } else {
            for (int i = 0; i < width; ++i) {
                const long long left = static_cast<long long>(x) + 2LL * i;
                const int c0 = clamp_index(left, source.stride);
                const int c1 = clamp_index(left + 1, source.stride);
                row[i] = static_cast<unsigned char>((a[c0] + a[c1] + b[c0] + b[c1]) >> 2);
            }
        }
        out.next();
        if (progress != nullptr) progress->Advance(1);
    }
}

}  // namespace tarvel
