// Sample conversion from packed file rows into DIB pixels.
#include <cstring>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

// Sample i of a row of packed samples.
inline unsigned sample(const unsigned char* src, unsigned bits, std::size_t i) {
    switch (bits) {
        case 8:
            return src[i];
        case 16: {
            std::uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            return v;
        }
        default: {
            const std::size_t bit = i * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
            return (src[bit / 8] >> shift) & ((1u << bits) - 1);
        }
    }
}

// A sample as 8 bits: 16-bit rounded, 8-bit as is, fewer bits stretched.
inline unsigned char level(unsigned v, unsigned bits) {
    if (bits == 16) return scale16(v);
    if (bits == 8) return static_cast<unsigned char>(v);
    return static_cast<unsigned char>(v * 255u / ((1u << bits) - 1));
}

}  // namespace

void convertRow(const unsigned char* src, unsigned bitsPerSample, unsigned samplesPerPixel,
                Samples kind, std::uint32_t count, unsigned char* dst) {
    const unsigned bits = bitsPerSample;
    switch (kind) {
        case Samples::grey:
        case Samples::greyInverted: {
            const unsigned char flip = kind == Samples::greyInverted ? 255 : 0;
            if (bits == 8 && samplesPerPixel == 1 && !flip) {
                std::memcpy(dst, src, count);
                return;
            }
            for (std::uint32_t x = 0; x < count; ++x)
                dst[x] = level(sample(src, bits, std::size_t(x) * samplesPerPixel), bits) ^ flip;
            return;
        }
        case Samples::index:
            for (std::uint32_t x = 0; x < count; ++x)
                dst[x] =
                    static_cast<unsigned char>(sample(src, bits, std::size_t(x) * samplesPerPixel));
            return;
        case Samples::rgb:
        case Samples::rgba: {
            const unsigned out = kind == Samples::rgba ? 4 : 3;
            if (bits == 8) {  // the common case, without per-sample dispatch
                for (std::uint32_t x = 0; x < count; ++x, dst += out, src += samplesPerPixel) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                    if (out == 4) dst[3] = src[3];
                }
                return;
            }
            for (std::uint32_t x = 0; x < count; ++x, dst += out) {
                const std::size_t s = std::size_t(x) * samplesPerPixel;
                dst[0] = level(sample(src, bits, s + 2), bits);
                dst[1] = level(sample(src, bits, s + 1), bits);
                dst[2] = level(sample(src, bits, s), bits);
                if (out == 4) dst[3] = level(sample(src, bits, s + 3), bits);
            }
            return;
        }
    }
}

}  // namespace decode
}  // namespace KORBAS
