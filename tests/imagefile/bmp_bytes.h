// BMP files built byte by byte for the tests, independently of the library's
// own writer, and file helpers shared by the reader, writer and host tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvel_test {

using bytes = std::vector<std::uint8_t>;

// What to put in a hand-made BMP file; aggregate order is the usual test order.
struct bmp_recipe {
    int bits = 24;  // bits per pixel written in the header
    int width = 1;
    int height = 1;  // negative: top-down
    std::uint32_t compression = 0;
    int colours = 0;  // colour-table entries written
    std::uint32_t clrUsed = 0;
    std::uint32_t gap = 0;  // extra bytes between the table and the pixels (bfOffBits grows)
};

// Sample of channel c (0 red, 1 green, 2 blue; 0 the index in 8-bit files)
// at picture pixel (x, y), y from the top.
using sample_fn = std::function<std::uint8_t(int c, int x, int y)>;

// Rows of three bytes a pixel (four, the last 0x5a, when bits is 32) whatever
// other depth the header names; zero padding; the table from test_palette().
bytes make_bmp24(const bmp_recipe& recipe, const sample_fn& sample);
// 768 palette bytes (red, green, blue): entry i is (255 - i, 2i, i) below `entries`, black after.
bytes test_palette(int entries = 256);
// An 8-bit file whose table holds the first recipe.colours entries of the palette.
bytes make_bmp8(const bmp_recipe& recipe, const sample_fn& index,
                const bytes& palette = test_palette());

void write_bytes(const std::string& path, const bytes& b);
bytes read_bytes(const std::string& path);

}  // namespace tarvel_test
