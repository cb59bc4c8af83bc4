// BMP files built byte by byte for the tests, independently of the library's
// own writer, and a plain reader of the bytes the library writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvel_test {

using bytes = std::vector<std::uint8_t>;

// What to put in a hand-made BMP file.
struct bmp_recipe {
    int bits = 24;  // bits per pixel written in the header
    int width = 1;
    int height = 1;  // negative: top-down
    std::uint32_t compression = 0;
    std::uint16_t planes = 1;
    int colours = 0;  // colour-table entries written (8-bit); biClrUsed below
    std::uint32_t clrUsed = 0;
    std::uint32_t gap = 0;  // extra bytes between the headers and the pixels (bfOffBits grows)
    const char* magic = "BM";
};

// Colour of picture pixel (x, y), y from the top, for 24-bit files: red, green, blue.
using rgb_fn = std::function<void(int x, int y, std::uint8_t rgb[3])>;
// Index of picture pixel (x, y) for 8-bit files.
using index_fn = std::function<std::uint8_t(int x, int y)>;

// A 24-bit file (or any depth in the header, with 24-bit pixel rows) of the picture.
bytes make_bmp24(const bmp_recipe& recipe, const rgb_fn& pixel);
// An 8-bit file: table entry i is (blue, green, red) = (i, 2i, 255 - i).
bytes make_bmp8(const bmp_recipe& recipe, const index_fn& pixel);

std::uint32_t le32(const bytes& b, std::size_t at);
std::uint16_t le16(const bytes& b, std::size_t at);

void write_bytes(const std::string& path, const bytes& b);
bytes read_bytes(const std::string& path);
bool file_exists(const std::string& path);

}  // namespace tarvel_test
