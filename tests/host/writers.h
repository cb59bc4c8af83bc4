// Test helpers: write small image files with libpng, libjpeg-turbo and libtiff,
// and read back a decoded DIB row by row from the top.
#pragma once

#include <tiffio.h>

#include <string>
#include <vector>

#include "host/bitmap.h"
#include "imagefile/bmp_bytes.h"

namespace tarvel_test {

// Optional chunks of a PNG: tRNS (for a palette, the opacity of the first
// entries; else the transparent grey level or red, green, blue, 16 bits
// each) and the ICC profile of iCCP.
struct PngExtras {
    bytes transparency = {};
    std::vector<unsigned> transparentColour = {};
    bytes profile = {};
};

// A PNG of the given colour type and depth; samples row by row, 16-bit ones
// big-endian as PNG stores them. palette: red, green, blue triples.
void writePng(const std::string& path, int width, int height, int colourType, int depth,
              const bytes& samples, const bytes& palette = {}, bool interlaced = false,
              const PngExtras& extras = {});

// A baseline JPEG with 1 or 3 components at quality 95, with an APP1 marker
// (an EXIF block) and an ICC profile when given.
void writeJpeg(const std::string& path, int width, int height, int components, const bytes& samples,
               const bytes& app1 = {}, const bytes& profile = {});

// A TIFF; samples row by row, in native byte order when wider than 8 bits.
struct TiffRecipe {
    int width, height, samples, photometric, compression;
    int tile = 0;         // tile width and height; 0: strips of 3 rows
    bool planar = false;  // separate planes (8 bits), strips of 3 rows (tile is then ignored)
    int bits = 8;
    int sampleFormat = SAMPLEFORMAT_UINT;
    int extraSample = -1;      // the kind of the last sample (EXTRASAMPLE_...), or none
    int orientation = 0;       // the Orientation tag, or none
    double low = 0, high = 0;  // SMinSampleValue and SMaxSampleValue when high > low
    bytes profile = {};        // ICC profile
};
void writeTiff(const std::string& path, const TiffRecipe& recipe, const bytes& samples);

// The DIB's pixels from the top row down, without row padding.
bytes picture(const KORBAS::CBitmapWindows& dib);

}  // namespace tarvel_test
