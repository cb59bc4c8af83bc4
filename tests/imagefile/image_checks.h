// Checks of what a paged image holds, shared by the reader tests.
#pragma once

#include <cstdint>
#include <vector>

#include "bmp_bytes.h"
#include "image/image.h"

namespace tarvel_test {

// Row y of one channel.
std::vector<std::uint8_t> row_of(tarvel::image& img, int channel, int y);

// The image is an RGB image of width x height whose channels hold the picture.
void expect_rgb_picture(tarvel::image& img, int width, int height, const rgb_fn& picture);

// The palette image holds pixel(x, y) and the given 768-byte palette.
void expect_palette_picture(tarvel::image& img, int width, int height, const index_fn& pixel,
                            const bytes& palette);

// A 7 x 5 RGB image whose pixel (3, 2) is 99 in every channel, and the check
// that an image still is that: what a refused load must leave behind.
void mark(tarvel::image& img);
void expect_marker(tarvel::image& img);

// The process's peak resident memory so far, in KiB.
long peak_kib();

}  // namespace tarvel_test
