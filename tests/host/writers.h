// Test helpers: write small image files with libpng, libjpeg-turbo and libtiff,
// and read back a decoded DIB row by row from the top.
#pragma once

#include <string>

#include "host/bitmap.h"
#include "imagefile/bmp_bytes.h"

namespace tarvel_test {

// A PNG of the given colour type and depth; samples row by row, 16-bit ones
// big-endian as PNG stores them. palette: red, green, blue triples.
void writePng(const std::string& path, int width, int height, int colourType, int depth,
              const bytes& samples, const bytes& palette = {}, bool interlaced = false);

// A baseline JPEG with 1 or 3 components at quality 95.
void writeJpeg(const std::string& path, int width, int height, int components,
               const bytes& samples);

// An 8-bit TIFF; samples row by row.
struct TiffRecipe {
    int width, height, samples, photometric, compression;
    int tile = 0;         // tile width and height; 0: strips of 3 rows
    bool planar = false;  // separate planes, strips of 3 rows (tile is then ignored)
};
void writeTiff(const std::string& path, const TiffRecipe& recipe, const bytes& samples);

// The DIB's pixels from the top row down, without row padding.
bytes picture(const KORBAS::CBitmapWindows& dib);

}  // namespace tarvel_test
