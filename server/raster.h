// A rendered picture in memory and what happens to it between the fill and the
// encoder: grey conversion, an intensity table, mirroring and quarter turns.
#pragma once

#include <cstddef>
#include <vector>

namespace tarvel {
namespace server {

// Interleaved 8-bit samples, rows from the top: one channel (grey) or three
// (red, green, blue). Owns its samples; one thread at a time.
struct raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<unsigned char> pixels;

    void Resize(int w, int h, int c) {
        width = w;
        height = h;
        channels = c;
        pixels.resize(static_cast<std::size_t>(w) * h * c);
    }
    std::size_t Stride() const { return static_cast<std::size_t>(width) * channels; }
    unsigned char* Row(int y) { return pixels.data() + y * Stride(); }
    const unsigned char* Row(int y) const { return pixels.data() + y * Stride(); }
};

// Colour to grey by the Rec. 601 luma weights (0.299, 0.587, 0.114),
// rounded; a grey raster is left as it is.
void ToGray(raster& r);

// Replaces every sample s by table[s].
void ApplyTable(raster& r, const unsigned char* table);

// Mirrors left to right when mirror is set, then turns clockwise by degrees
// (0, 90, 180 or 270); a quarter turn swaps width and height.
void MirrorAndRotate(raster& r, bool mirror, int degrees);

}  // namespace server
}  // namespace tarvel
