// Checks of what a paged image holds, shared by the reader tests.
#pragma once

#include "bmp_bytes.h"
#include "image/image.h"

namespace tarvel_test {

// Sets every channel of the image from the picture.
void fill(tarvel::image& img, const sample_fn& picture);

// The image is of the type (2 palette: one channel; 3 RGB: three) and size,
// its channels hold the picture and a palette image's 768-byte palette is
// `palette`, when one is given.
void expect_picture(tarvel::image& img, int type, int width, int height, const sample_fn& picture,
                    const bytes& palette = {});

// A 7 x 5 RGB image holding a known picture, and the check that an image
// still is that: what a refused load must leave behind.
void mark(tarvel::image& img);
void expect_marker(tarvel::image& img);

// The process's peak resident memory so far, in KiB.
long peak_kib();

}  // namespace tarvel_test
