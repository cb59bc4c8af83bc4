// Shared helpers of the display tests: pyramids made of given layers, and a
// reference renderer written straight from the sampling rules of the bitmaps.
#pragma once

#include <cstdint>
#include <vector>

#include "../pyramid/pyramid_test_util.h"
#include "display/display.h"

namespace tarvel_test {

// Layers of the given kind for layer 0 of width x height, each later one half
// the size of the one before, with pseudo-random samples (not averages: the
// display reads whatever the layers hold) and one shared palette.
std::vector<planes> random_layers(int type, int width, int height, int count, std::uint32_t seed);

// A pyramid holding the layers, pages in the system temporary directory.
tarvel::pyramid* make_pyramid(const std::vector<planes>& layers);

// An overlaid pyramid holding the layers (grey or colour).
Image::COverlaidPyramid* make_overlaid_pyramid(const std::vector<planes>& layers);

// What a W x H view of the window (d1, d2)-(d3, d4) must show, pixel (i, j)
// at [j * W + i] as 0x00RRGGBB, j from the top.
std::vector<std::uint32_t> reference_view(const std::vector<planes>& layers, int W, int H,
                                          double d1, double d2, double d3, double d4, bool smooth);

// The rectangle of a device surface at (x, y) of w x h pixels, row after row.
std::vector<std::uint32_t> surface_rect(const QDC& dc, int x, int y, int w, int h);

// Test access to the protected parts of the pyramid bitmap.
struct bitmap_probe : tarvel::CBitmapPyramidWindows {
    bitmap_probe(KORBAS::CImage* owner, tarvel::pyramid* p) : CBitmapPyramidWindows(owner, p) {}
    using CBitmapPyramidWindows::FillIndexes;
    using CBitmapPyramidWindows::m_column;
    using CBitmapPyramidWindows::m_row;
};

}  // namespace tarvel_test
