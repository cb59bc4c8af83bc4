// What the pyramid commands share: the built-in sample, opening or building a
// pyramid with a progress bar, describing it, and saving captured views.
#pragma once

#include <string>

#include "image/image.h"
#include "pyramid/pyramid.h"

namespace tarvel_cli {

// Size of the built-in sample.
constexpr int kSampleWidth = 10000;
constexpr int kSampleHeight = 8000;

// Seconds on a monotonic clock.
double seconds_now();

// Writes the built-in sample picture (JPEG for .jpg/.jpeg, TIFF for .tif/.tiff)
// row by row. False with a reason in error; no partial file is left.
bool write_sample(const std::string& path, int width, int height, std::string& error);

// Opens the pyramid stored in dir, or builds it from source with a progress
// bar on standard error. A stored pyramid of another source is rebuilt only
// when rebuild is set. Prints what it did; returns 0, or 1 after printing why not.
int open_or_build(tarvel::pyramid& p, const std::string& source, const std::string& dir,
                  bool rebuild);

// The directory a picture's pyramid is kept in when none is named: beside
// it, PICTURE.pyramid.
std::string pyramid_beside(const std::string& picture);

// Two paths name the same source when they are equal or name the same file.
bool same_source(const std::string& a, const std::string& b);

// Prints one line per layer.
void print_layers(const tarvel::pyramid& p);

// Writes an image as PNG (.png, at zlib level pngLevel) or BMP (.bmp) by the
// path's extension. False with a reason in error.
bool save_image(tarvel::image& img, const std::string& path, int pngLevel, std::string& error);

}  // namespace tarvel_cli
