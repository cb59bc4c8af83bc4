// Splitting rows of interleaved pixels into the planes of a layer.
#pragma once

namespace tarvel {

// Writes the samples of `count` pixels of `pixelBytes` bytes each (1: one
// sample; 3: blue, green, red; 4: blue, green, red and a fourth byte, which
// is skipped) into planes: planes[0] red, planes[1] green, planes[2] blue (one
// plane, planes[0], for one-byte pixels). Mirrored: pixel 0 goes to the last
// sample of each plane.
void SplitPixels(const unsigned char* pixels, int count, int pixelBytes,
                 unsigned char* const* planes, bool mirrored);

}  // namespace tarvel
