// Shared helpers of the pyramid tests: images held as plain planes, a progress
// sink that records its calls, and reference resamplers written the plain way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../image/test_access.h"
#include "host/host.h"
#include "image/image.h"
#include "pyramid/pyramid.h"

namespace tarvel_test {

// An image as plain row-major planes.
struct planes {
    int type = 1;
    int width = 0;
    int height = 0;
    std::vector<std::vector<unsigned char>> channel;
    std::vector<unsigned char> palette;  // 768 bytes for type 2

    unsigned char at(int c, int x, int y) const {
        return channel[c][static_cast<size_t>(y) * width + x];
    }
    bool operator==(const planes& o) const {
        return type == o.type && width == o.width && height == o.height && channel == o.channel &&
               palette == o.palette;
    }
};

// Pseudo-random planes (a fixed seed per call).
planes random_planes(int type, int width, int height, std::uint32_t seed);
// Creates img with the planes' kind and size and writes every sample.
void fill_image(tarvel::image& img, const planes& p);
// Reads every sample (and the palette) back through region reads.
planes read_image(tarvel::image& img);

// References, written independently of the library's kernels.
planes reference_halve(const planes& src, int x, int y, int width, int height);
// Bilinear with exact (128-bit) positions and the edge sample repeated.
planes reference_bilinear(const planes& src, int x, int y, int srcWidth, int srcHeight, int width,
                          int height);

// Writes planes as an uncompressed BMP file: 24-bit for type 3, 8-bit with
// the palette (type 2) or a grey ramp (type 1). Written here, by hand, so that
// sources do not depend on the library's own BMP writer.
void write_bmp(const std::string& path, const planes& p);

// Freezes each image of `layers` (largest first) into section "Layer"k of
// dir's pyramid.ini, in the given version's order (1: smallest in "Layer0"),
// and writes the "PYRAMID" keys; version 0 writes no "Version" key.
void store_pyramid_by_hand(const std::string& dir, const std::vector<planes>& layers, int version,
                           const char* name = "source.bmp");

// Every layer of a pyramid read back.
std::vector<planes> read_layers(tarvel::pyramid& p);

// The layers a build must make of a source: the source itself, then each
// layer the truncated 2x2 box average of the one before (reference_halve).
std::vector<planes> expected_layers(const planes& source);

// Names of the regular files in a directory (ending with '/'), sorted.
std::vector<std::string> list_files(const std::string& dir);

// Removes a directory (with or without its final '/') and the files directly in it.
void remove_directory(std::string dir);

// Runs body in a forked child and returns its exit status (or 128 + signal).
int run_in_child(int (*body)(void*), void* arg);

// Records every call as text: "total N", "advance 1", "text ...".
class recording_sink : public KORBAS::IProgressWork {
  public:
    void SetTotal(int total) override { calls.push_back("total " + std::to_string(total)); }
    void Advance(int steps) override { calls.push_back("advance " + std::to_string(steps)); }
    void SetText(const char* text) override { calls.push_back(std::string("text ") + text); }
    int count(const std::string& call) const;

    std::vector<std::string> calls;
};

}  // namespace tarvel_test
