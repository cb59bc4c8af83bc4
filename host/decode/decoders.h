// The file decoders behind DecodeRows, and the sample conversions they share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "host/decode/row_sink.h"

namespace KORBAS {
namespace decode {

// A decoder's failure; the bitmap's constructor adds the file's name.
class DecodeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Each reads the whole file from its start into sink, rows from the top down
// unless the layout says otherwise, or throws DecodeError (with the sink's
// reason when the sink stopped it).
void decodeJpeg(std::FILE* file, RowSink& sink);
void decodePng(std::FILE* file, RowSink& sink);
void decodeTiff(const char* path, RowSink& sink);
void decodeBmp(std::FILE* file, RowSink& sink);

// What the samples of one pixel are.
enum class Samples {
    grey,          // one grey level, 0 black
    greyInverted,  // one grey level, 0 white
    index,         // one colour-table index
    rgb,           // red, green, blue, then any extra samples (skipped)
    rgba,          // red, green, blue, alpha, then any extra samples (skipped)
};

// Rounds a 16-bit sample to the nearest 8-bit one (v / 257, rounded).
inline unsigned char scale16(unsigned v) {
    return static_cast<unsigned char>((v * 255u + 32895u) >> 16);
}

// Converts count pixels of packed samples (bitsPerSample 1, 2, 4, 8 or 16,
// most significant bits first, 16-bit samples in native order) into DIB
// pixels: one byte for grey and index, blue-green-red for rgb, blue-green-
// red-alpha for rgba. Grey below 8 bits is stretched to 0..255.
void convertRow(const unsigned char* src, unsigned bitsPerSample, unsigned samplesPerPixel,
                Samples kind, std::uint32_t count, unsigned char* dst);

}  // namespace decode
}  // namespace KORBAS
