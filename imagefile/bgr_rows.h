// Rows of blue-green-red pixels, as BMP files and 24-bit DIBs store them,
// to and from the red, green and blue planes of a paged image.
#pragma once

namespace tarvel {

// Writes `width` pixels of the three planes to `bgr` as blue, green, red.
void InterleaveBgr(const unsigned char* red, const unsigned char* green, const unsigned char* blue,
                   unsigned char* bgr, int width);

// Splits `width` blue-green-red pixels into the three planes.
void DeinterleaveBgr(const unsigned char* bgr, unsigned char* red, unsigned char* green,
                     unsigned char* blue, int width);

}  // namespace tarvel
