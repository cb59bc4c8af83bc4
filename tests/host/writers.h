// Test helpers: write small image files with libpng, libjpeg-turbo and libtiff,
// and read back a decoded DIB row by row from the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/bitmap.h"

namespace hosttest {

using Bytes = std::vector<unsigned char>;

// A PNG of the given colour type and depth; samples row by row, 16-bit ones
// big-endian as PNG stores them. palette: red, green, blue triples.
void writePng(const std::string& path, int width, int height, int colourType, int depth,
              const Bytes& samples, const Bytes& palette = {}, bool interlaced = false);

// A baseline JPEG with 1 or 3 components at the given quality.
void writeJpeg(const std::string& path, int width, int height, int components, const Bytes& samples,
               int quality = 95);

struct TiffRecipe {
    TiffRecipe(int w, int h, int spp = 1) : width(w), height(h), samples(spp) {}
    int width = 0;
    int height = 0;
    int samples = 1;
    int bits = 8;
    int photometric = 1;  // minisblack
    bool alpha = false;   // last sample is unassociated alpha
    int tileWidth = 0;    // 0: strips
    int tileHeight = 0;
    int rowsPerStrip = 3;
    int compression = 1;                   // none
    std::vector<std::uint16_t> colourMap;  // red, then green, then blue entries
};
// samples: row by row, 16-bit ones in native order.
void writeTiff(const std::string& path, const TiffRecipe& recipe, const Bytes& samples);

// The DIB's pixels from the top row down, without row padding.
Bytes picture(const KORBAS::CBitmapWindows& dib);

// A file's bytes.
Bytes readAll(const std::string& path);
void writeAll(const std::string& path, const Bytes& bytes);

// A fresh directory for one test, removed with its files at destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

}  // namespace hosttest
