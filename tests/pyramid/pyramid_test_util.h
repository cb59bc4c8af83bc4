// Shared helpers of the pyramid tests: images held as plain planes, reference
// resamplers written the plain way, hand-written files, and a progress sink
// that records its calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "../image/test_access.h"
#include "host/host.h"
#include "pyramid/pyramid.h"

namespace tarvel_test {

using tarvel::image;
using tarvel::pyramid;

// An image as plain row-major planes.
struct planes {
    int type = 1, width = 0, height = 0;
    std::vector<std::vector<unsigned char>> channel;
    std::vector<unsigned char> palette;  // 768 bytes for type 2

    unsigned char at(int c, int x, int y) const { return channel[c][size_t(y) * width + x]; }
    bool operator==(const planes& o) const {
        return std::tie(type, width, height, channel, palette) ==
               std::tie(o.type, o.width, o.height, o.channel, o.palette);
    }
};

// Pseudo-random planes (a fixed seed per call).
planes random_planes(int type, int width, int height, std::uint32_t seed);
// Creates img with the planes' kind and size and writes every sample.
void fill_image(tarvel::image& img, const planes& p);
// Reads every sample (and the palette) back through region reads.
planes read_image(tarvel::image& img);

// References, written independently of the library's kernels; samples
// outside the source repeat its edge.
planes reference_halve(const planes& src, int x, int y, int width, int height);
// Bilinear with exact (128-bit) positions.
planes reference_bilinear(const planes& src, int x, int y, int srcWidth, int srcHeight, int width,
                          int height);

// The n layers a build must make of a source: the source itself, then each
// layer the truncated 2x2 box average of the one before.
std::vector<planes> expected_layers(const planes& source, int n);
// Every layer of a pyramid read back.
std::vector<planes> read_layers(tarvel::pyramid& p);

// Writes planes as an uncompressed BMP file (24-bit for type 3, 8-bit with
// the palette for type 2), byte by byte, and returns the path.
std::string write_bmp(const std::string& path, const planes& p);

// Builds the pyramid of source in work, into p (or an object of its own).
bool build(const std::string& work, const std::string& source, tarvel::pyramid* p = nullptr,
           KORBAS::IProgressWork* sink = nullptr);

// Freezes each image of `layers` (largest first) into section "Layer"k of
// dir's pyramid.ini, in the given version's order (0 and 1: smallest in
// "Layer0"), and writes the "PYRAMID" keys; version 0 writes no "Version" key.
void store_pyramid_by_hand(const std::string& dir, const std::vector<planes>& layers, int version);

// Page files in dir that its pyramid.ini does not name.
std::vector<std::string> stray_page_files(const scratch_dir& dir);

// Records every call as text: "total N", "advance 1", "text ...".
struct recording_sink : KORBAS::IProgressWork {
    void SetTotal(int total) override { calls.push_back("total " + std::to_string(total)); }
    void Advance(int steps) override { calls.push_back("advance " + std::to_string(steps)); }
    void SetText(const char* text) override { calls.push_back(std::string("text ") + text); }
    std::vector<std::string> calls;
};

}  // namespace tarvel_test
