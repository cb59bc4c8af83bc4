// ResampleBilinear and ResampleBilinearWide: bilinear interpolation with 8-bit
// fractions, the grid anchored at the top-left corner. The two differ only in
// how sample positions are computed.
#include <vector>

#include "host/host.h"
#include "pyramid/resample_rows.h"

namespace tarvel {

namespace {

// Position of destination index i in 1/256 source pixels: (i * S * 256) / d,
// truncated toward zero. In 64 bits this is exact: for these sources |S| is at
// most 2896, so i * S * 256 stays below 2^51 whatever the destination size.
struct integer_position {
    static long long at(long long i, int s, int d) { return i * s * 256 / d; }
};

// The same position in double precision, truncated toward zero, for sources
// too large for the integer form's original 32-bit arithmetic.
struct double_position {
    static long long at(long long i, int s, int d) {
        return static_cast<long long>(static_cast<double>(i * s) * 256.0 / static_cast<double>(d));
    }
};

template <class Position>
void resample_bilinear(image::pointer destination, int width, int height,
                       const resample_source& source, int x, int y, int srcWidth, int srcHeight,
                       KORBAS::IProgressWork* progress) {
    // Column positions are the same for every row: computed once per plane.
    std::vector<int> left(static_cast<size_t>(width));
    std::vector<int> right(static_cast<size_t>(width));
    std::vector<int> weight(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) {
        const long long sx = Position::at(i, srcWidth, width);
        const long long c0 = static_cast<long long>(x) + (sx >> 8);
        left[i] = clamp_index(c0, source.stride);
        right[i] = clamp_index(c0 + 1, source.stride);
        weight[i] = static_cast<int>(sx & 255);
    }
    source_row_reader upper(source);
    source_row_reader lower(source);
    destination_row_writer out(destination, width);
    for (int j = 0; j < height; ++j) {
        const long long sy = Position::at(j, srcHeight, height);
        const long long r0 = static_cast<long long>(y) + (sy >> 8);
        const int fy = static_cast<int>(sy & 255);
        const unsigned char* a = upper.fetch(r0);
        const unsigned char* b = lower.fetch(r0 + 1);
        unsigned char* row = out.row();
        for (int i = 0; i < width; ++i) {
            const int fx = weight[i];
            const int top = a[left[i]] * (256 - fx) + a[right[i]] * fx;
            const int bottom = b[left[i]] * (256 - fx) + b[right[i]] * fx;
            row[i] = static_cast<unsigned char>((top * (256 - fy) + bottom * fy) >> 16);
        }
        out.next();
        if (progress != nullptr) progress->Advance(1);
    }
}

}  // namespace

void ResampleBilinear(image::pointer destination, int width, int height,
                      const resample_source& source, int x, int y, int srcWidth, int srcHeight,
                      KORBAS::IProgressWork* progress) {
    resample_bilinear<integer_position>(destination, width, height, source, x, y, srcWidth,
                                        srcHeight, progress);
}

void ResampleBilinearWide(image::pointer destination, int width, int height,
                          const resample_source& source, int x, int y, int srcWidth, int srcHeight,
                          KORBAS::IProgressWork* progress) {
    resample_bilinear<double_position>(destination, width, height, source, x, y, srcWidth,
                                       srcHeight, progress);
}

}  // namespace tarvel
