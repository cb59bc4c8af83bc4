// Sample conversion from packed file rows into DIB pixels, and the rule that
// shows samples of any format as 8 bits.
#include <cmath>
#include <cstring>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

template <class T>
T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Sample i of a row of packed unsigned samples: whole bytes of 8, 16 or 32
// bits in native order, any other width most significant bit first.
inline std::uint32_t sample(const unsigned char* src, unsigned bits, std::size_t i) {
    switch (bits) {
        case 8:
            return src[i];
        case 16:
            return load<std::uint16_t>(src + 2 * i);
        case 32:
            return load<std::uint32_t>(src + 4 * i);
        case 1:
        case 2:
        case 4: {
            const std::size_t bit = i * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
            return (src[bit / 8] >> shift) & ((1u << bits) - 1);
        }
        default: {
            std::uint64_t v = 0;
            std::size_t bit = i * bits;
            for (unsigned n = 0; n < bits; ++n, ++bit)
                v = v << 1 | ((src[bit / 8] >> (7 - bit % 8)) & 1);
            return static_cast<std::uint32_t>(v);
        }
    }
}

// A half-precision float (1 sign, 5 exponent, 10 fraction bits).
double half(std::uint16_t h) {
    const int exponent = (h >> 10) & 0x1f;
    const double fraction = h & 0x3ff;
    const double magnitude = exponent == 0    ? std::ldexp(fraction, -24)
                             : exponent == 31 ? (fraction != 0 ? NAN : INFINITY)
                                              : std::ldexp(fraction + 1024, exponent - 25);
    return (h & 0x8000) ? -magnitude : magnitude;
}

// An unsigned sample of up to 16 bits as 8 bits: 16-bit rounded, 8-bit as is,
// fewer bits stretched.
inline unsigned char level(unsigned v, unsigned bits) {
    if (bits == 16) return scale16(v);
    if (bits == 8) return static_cast<unsigned char>(v);
    return static_cast<unsigned char>(v * 255u / ((1u << bits) - 1));
}

// Sample i as a number: signed integers offset by half their range, so that
// they run from 0 like unsigned ones; floating point as it is.
double value(const unsigned char* src, const SampleFormat& f, std::size_t i) {
    const unsigned char* p = src + i * (f.bits / 8);
    switch (f.kind) {
        case SampleFormat::unsignedInt:
            return sample(src, f.bits, i);
        case SampleFormat::signedInt:
            if (f.bits == 8) return load<std::int8_t>(p) + 128.0;
            if (f.bits == 16) return load<std::int16_t>(p) + 32768.0;
            return load<std::int32_t>(p) + 2147483648.0;
        case SampleFormat::floating:
            if (f.bits == 16) return half(load<std::uint16_t>(p));
            return f.bits == 64 ? load<double>(p) : load<float>(p);
    }
    return 0;
}

inline unsigned char clamped(double v) {
    if (!(v > 0)) return 0;  // NaN too
    if (v >= 255) return 255;
    return static_cast<unsigned char>(v + 0.5);
}

}  // namespace

bool SampleFormat::simple() const {
    return kind == unsignedInt &&
           (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16) && !(high > low);
}

unsigned char SampleFormat::show(const unsigned char* src, std::size_t i) const {
    if (simple()) return level(sample(src, bits, i), bits);
    const double v = value(src, *this, i);
    if (high > low) {
        // The file's range; for signed samples it is given without the offset.
        const double offset = kind == signedInt ? std::ldexp(1.0, static_cast<int>(bits) - 1) : 0;
        return clamped((v - offset - low) * 255 / (high - low));
    }
    if (kind == floating) return clamped(v * 255);
    return clamped(v * 255 / (std::ldexp(1.0, static_cast<int>(bits)) - 1));
}

void convertRow(const unsigned char* src, const SampleFormat& format, unsigned samplesPerPixel,
                Samples kind, std::uint32_t count, unsigned char* dst) {
    const unsigned bits = format.bits;
    const bool simple = format.simple();
    switch (kind) {
        case Samples::grey:
        case Samples::greyInverted: {
            const unsigned char flip = kind == Samples::greyInverted ? 255 : 0;
            if (bits == 8 && simple && samplesPerPixel == 1 && !flip) {
                std::memcpy(dst, src, count);
                return;
            }
            for (std::uint32_t x = 0; x < count; ++x)
                dst[x] = format.show(src, std::size_t(x) * samplesPerPixel) ^ flip;
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
            if (bits == 8 && simple) {  // the common case, without per-sample dispatch
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
                dst[0] = format.show(src, s + 2);
                dst[1] = format.show(src, s + 1);
                dst[2] = format.show(src, s);
                if (out == 4) dst[3] = format.show(src, s + 3);
            }
            return;
        }
    }
}

}  // namespace decode
}  // namespace KORBAS
