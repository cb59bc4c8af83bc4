// The built-in sample picture of `tarvel sample`, computed a row at a time,
// and the writers that stream it into JPEG, TIFF and PNG files.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tarvel_cli {

// A large map-like RGB picture (terrain colours, a grid, roads, rivers,
// lakes, towns and fine texture), the same at every run. Tables are made once
// (memory grows with the width, not the height); rows are computed on demand.
class sample_picture {
  public:
    sample_picture(int width, int height);
    ~sample_picture();
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Row y as red, green, blue bytes (3 x width).
    void row(int y, unsigned char* out) const;

  private:
    class terrain;
    std::unique_ptr<terrain> m_terrain;
    int m_width;
    int m_height;
};

// How a TIFF sample is stored: strips or square tiles, and the compression.
struct tiff_layout {
    int tile = 0;         // tile side (a multiple of 16); 0: strips
    int compression = 1;  // libtiff's COMPRESSION_ value
};

// Each writes the whole picture in memory bounded by a row (JPEG, PNG) or a
// row of tiles (TIFF); false with a reason in error.
bool write_jpeg(const sample_picture& picture, std::FILE* file, std::string& error);
bool write_png(const sample_picture& picture, std::FILE* file, std::string& error);
bool write_tiff(const sample_picture& picture, const std::string& path, const tiff_layout& layout,
                std::string& error);

}  // namespace tarvel_cli
