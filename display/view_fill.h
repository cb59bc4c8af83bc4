// The two fills of the pyramid bitmaps, nearest and smooth, over any layer
// kind: a row source hands out the samples of one layer row at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/dib_rows.h"

namespace tarvel {
namespace view_fill {

// The columns a nearest fill reads, relative to the first column of the span
// it reads from each layer row.
//
// A view of the layer one to one, perhaps beyond its left or right side where
// the edge columns repeat, is consecutive: pixels lead .. width - trail - 1
// read consecutive samples from column[lead] on, the lead pixels before them
// repeat that sample and the trail pixels after them the last one.
struct nearest_columns {
    std::vector<int> column;  // column[i] - first
    int first = 0, last = 0;  // the span, inclusive
    bool consecutive = false;
    int lead = 0, trail = 0;
};

// The columns a smooth fill reads: pixel i blends the samples at left[i] and
// right[i] (relative to first) with weights 256 - fraction[i] and fraction[i].
// right[i] is left[i] + 1, or left[i] itself when the fraction is 0, so that
// nothing beyond a row's last sample is read.
//
// The same blend as neighbouring pairs, for the vector kernel: pixel i is
// sample pair[i] * weight[2i] + sample pair[i] + 1 * weight[2i + 1]. A pixel
// on the span's last sample without a fraction takes the pair before it with
// weights 0 and 256, so that pair[i] + 1 stays inside the span.
struct smooth_columns {
    std::vector<int> left, right;
    std::vector<std::uint16_t> fraction;
    std::vector<int> pair;
    std::vector<std::int16_t> weight;
    int first = 0, last = 0;
    bool whole = false;        // no fraction at all
    bool consecutive = false;  // whole, and left[i] == i for every i
    bool pairs = false;        // pair and weight are set (the span has two samples or more)
};

// From a nearest column table; every entry is kept inside 0 .. width - 1.
nearest_columns PlanNearest(const std::vector<int>& table, int width);
// From a smooth column table (8 fraction bits); every entry is kept inside
// the layer's width.
smooth_columns PlanSmooth(const std::vector<int>& table, int width);

// Writes the consecutive samples 0 .. width - 1 of src as DIB pixels, as
// PutDibRow does; colour rows are interleaved with byte shuffles where the
// processor has them.
void PutDibSpan(const dib_source& src, int width, unsigned char* out);

// Writes `count` DIB pixels, each sample x of src.
inline void RepeatDibPixel(const dib_source& src, int x, int count, unsigned char* out) {
    if (count < 1) return;
    if (src.channels == 1) {
        std::memset(out, src.plane[0][x], static_cast<std::size_t>(count));
        return;
    }
    const unsigned char b = src.plane[2][x], g = src.plane[1][x], r = src.plane[0][x];
    for (int i = 0; i < count; ++i, out += 3) {
        out[0] = b;
        out[1] = g;
        out[2] = r;
    }
}

// Nearest fill. rows.fetch(r) gives the samples of layer row r from column
// `first` on; equal neighbouring rows are copied from the DIB row above.
template <class Rows>
void FillNearest(Rows& rows, const nearest_columns& plan, const std::vector<int>& rowTable,
                 int channels, unsigned char* bits, std::size_t stride) {
    const int width = static_cast<int>(plan.column.size());
    const std::size_t bytes = static_cast<std::size_t>(width) * channels;
    for (std::size_t j = 0; j < rowTable.size(); ++j) {
        unsigned char* out = bits + j * stride;
        if (j > 0 && rowTable[j] == rowTable[j - 1]) {
            std::memcpy(out, out - stride, bytes);
            continue;
        }
        const dib_source source = rows.fetch(rowTable[j]);
        if (!plan.consecutive) {
            PutDibRow(source, plan.column.data(), width, out);
            continue;
        }
        const int from = plan.column[plan.lead], count = width - plan.lead - plan.trail;
        RepeatDibPixel(source, from, plan.lead, out);
        out += static_cast<std::size_t>(plan.lead) * channels;
        dib_source span = source;
        for (int c = 0; c < channels; ++c) span.plane[c] += from;
        PutDibSpan(span, count, out);
        RepeatDibPixel(source, from + count - 1, plan.trail,
                       out + static_cast<std::size_t>(count) * channels);
    }
}

// Row kernels of the smooth fill, per sample; colour rows are kept as three
// planes (red, green, blue) of width values each until PutDibSpan interleaves them.
// Interpolates one layer row along x: sample * (256 - fraction) + next sample
// * fraction, at most 65280, into out (plane c at out + c * width).
void BlendAlongX(const dib_source& row, const smooth_columns& plan, std::uint16_t* out);
// out[k] = (a[k] * (256 - fy) + b[k] * fy) >> 16 for k < n, fy 1 to 255.
void BlendRows(const std::uint16_t* a, const std::uint16_t* b, unsigned fy, std::size_t n,
               unsigned char* out);
// out[k] = a[k] >> 8: a row that the other row does not weigh.
void TakeRow(const std::uint16_t* a, std::size_t n, unsigned char* out);

// A layer row interpolated along x, kept for the DIB rows that need it again.
struct blended_row {
    int row = -1;
    std::vector<std::uint16_t> value;
};

// Smooth fill. Row entry e of DIB row j blends layer rows r1 = height - 1 -
// (e >> 8) and r1 - 1 (row 0 for numbers below 0) with weights 256 - (e & 255)
// and e & 255. Rows interpolated along x are kept for the next DIB rows,
// which often need one of them again, and a DIB row with the entry of the row
// above is a copy of it. Where no column and no row has a fraction (a view at
// one pixel per pixel on pixel centres) the samples are copied as the nearest
// fill would: the weighted sum is the sample itself.
template <class Rows>
void FillSmooth(Rows& rows, const smooth_columns& plan, const std::vector<int>& rowTable,
                int layerHeight, int channels, unsigned char* bits, std::size_t stride) {
    const int width = static_cast<int>(plan.left.size());
    const std::size_t bytes = static_cast<std::size_t>(width) * channels;
    blended_row kept[2];
    // Colour rows are blended into three planes here, then interleaved.
    std::vector<unsigned char> planes(channels == 3 ? bytes : 0);
    // The kept row holding layer row r, computed into the one not holding `keep`.
    auto blended = [&](int r, int keep) -> const std::uint16_t* {
        for (blended_row& b : kept)
            if (b.row == r) return b.value.data();
        blended_row& b = kept[0].row == keep ? kept[1] : kept[0];
        b.value.resize(bytes);
        BlendAlongX(rows.fetch(r), plan, b.value.data());
        b.row = r;
        return b.value.data();
    };
    for (std::size_t j = 0; j < rowTable.size(); ++j) {
        const int e = rowTable[j];
        const unsigned fy = static_cast<unsigned>(e) & 255;
        int r1 = layerHeight - 1 - (e >> 8);
        if (r1 < 0) r1 = 0;
        const int r2 = r1 > 0 ? r1 - 1 : 0;
        unsigned char* out = bits + j * stride;
        if (j > 0 && e == rowTable[j - 1]) {
            std::memcpy(out, out - stride, bytes);
            continue;
        }
        if (fy == 0 && plan.consecutive) {
            PutDibSpan(rows.fetch(r1), width, out);
            continue;
        }
        if (fy == 0 && plan.whole) {
            PutDibRow(rows.fetch(r1), plan.left.data(), width, out);
            continue;
        }
        unsigned char* blend = channels == 3 ? planes.data() : out;
        if (fy == 0) {
            TakeRow(blended(r1, -1), bytes, blend);
        } else {
            const std::uint16_t* a = blended(r1, r2);
            BlendRows(a, blended(r2, r1), fy, bytes, blend);
        }
        if (channels == 3) {
            const unsigned char* p = planes.data();
            PutDibSpan({{p, p + width, p + 2 * static_cast<std::size_t>(width)}, 3}, width, out);
        }
    }
}

}  // namespace view_fill
}  // namespace tarvel
