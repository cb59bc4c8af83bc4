// Writes BMP files with the library and, beside each, the raw RGB bytes a
// standard viewer must decode from it (computed here, not by the library).
// viewer_check.sh has an independent decoder compare the two.
#include <cstdio>
#include <fstream>
#include <string>

#include "imagefile/imagefile.h"

namespace {

unsigned char sample(int c, int x, int y) {
    return static_cast<unsigned char>(x * 29 + y * 53 + c * 80 + (x ^ y));
}

// One sample of kind `type` (1 grey, 2 palette, 3 RGB) of width x height.
bool sample_file(const std::string& dir, const char* name, int type, int width, int height) {
    tarvel::image img(type, width, height, 0);
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int i = 0; i < width * height; ++i, ++p) *p = sample(c, i % width, i / width);
    }
    for (int i = 0; type == 2 && i < 768; ++i)
        img.GetPalette()[i] = static_cast<unsigned char>(i * 7 + 3);
    const std::string base = dir + "/" + name;
    std::ofstream rgb(base + ".rgb", std::ios::binary);
    for (int i = 0; i < width * height * 3; ++i) {
        const unsigned char s = sample(type == 3 ? i % 3 : 0, i / 3 % width, i / 3 / width);
        rgb.put(static_cast<char>(type == 2 ? (s * 3 + i % 3) * 7 + 3 : s));
    }
    return tarvel::storeWindowsBMP(img, (base + ".bmp").c_str(), nullptr) == 0 &&
           rgb.flush().good();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: viewer_samples DIR\n"), 2;
    const std::string dir = argv[1];
    // Widths with 1, 2 and 3 padding bytes per row, one pixel, and several rows.
    const bool ok = sample_file(dir, "rgb_7x5", 3, 7, 5) && sample_file(dir, "rgb_1x1", 3, 1, 1) &&
                    sample_file(dir, "palette_6x4", 2, 6, 4) &&
                    sample_file(dir, "grey_5x3", 1, 5, 3);
    return ok ? 0 : 1;
}
