// The file decoders behind DecodeRows, and the sample conversions they share.
#pragma once

#include <cstddef>
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

// How samples are stored, and how they are shown as 8 bits:
// - unsigned integers of n bits (1 to 32): v 255 / (2^n - 1), rounded (1, 2
//   and 4 bits stretched to 0..255, 8 bits as they are);
// - signed integers of n bits (8, 16, 32): offset by 2^(n-1), then as
//   unsigned: the most negative value black, 0 mid-grey, the largest white;
// - floating point (16, 32 or 64 bits): 0 black, 1 white, clamped; NaN black;
// - with a range (high > low; the file's SMinSampleValue and
//   SMaxSampleValue): low black, high white, linearly between, clamped.
// Samples of 16, 32 and 64 bits are in native byte order; other widths are
// packed most significant bit first.
struct SampleFormat {
    enum Kind { unsignedInt, signedInt, floating };
    unsigned bits = 8;
    Kind kind = unsignedInt;
    double low = 0;
    double high = 0;

    // Unsigned, 16 bits or fewer, no range: the fast integer path.
    bool simple() const;
    // Sample i of a row of packed samples, as 8 bits.
    unsigned char show(const unsigned char* src, std::size_t i) const;
};

// Converts count pixels of packed samples (most significant bits first below
// 8 bits) into DIB pixels: one byte for grey and index, blue-green-red for
// rgb, blue-green-red-alpha for rgba. Indices are unsigned and 8 bits or fewer.
void convertRow(const unsigned char* src, const SampleFormat& format, unsigned samplesPerPixel,
                Samples kind, std::uint32_t count, unsigned char* dst);
inline void convertRow(const unsigned char* src, unsigned bitsPerSample, unsigned samplesPerPixel,
                       Samples kind, std::uint32_t count, unsigned char* dst) {
    SampleFormat format;
    format.bits = bitsPerSample;
    convertRow(src, format, samplesPerPixel, kind, count, dst);
}

}  // namespace decode
}  // namespace KORBAS
