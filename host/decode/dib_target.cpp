// DibTarget: creates the decoded DIB under the decoding limit and addresses its rows.
#include "host/decode/dib_target.h"

#include <cstdarg>
#include <cstdio>

namespace KORBAS {

// The largest side a DIB header can hold (a signed 32-bit field).
constexpr std::uint32_t kMaxDibSide = 0x7fffffff;

DibTarget::DibTarget(CBitmapWindows& bitmap, bool pixels) noexcept
    : m_bitmap(bitmap), m_pixels(pixels) {}

bool DibTarget::fail(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_reason, sizeof m_reason, format, args);
    va_end(args);
    return false;
}

bool DibTarget::start(std::uint32_t width, std::uint32_t height, int bitCount,
                      unsigned colours) noexcept {
    if (width == 0 || height == 0)
        return fail("the picture has no pixels (%u x %u)", width, height);
    if (width > kMaxDibSide || height > kMaxDibSide)
        return fail("%u x %u pixels cannot be held in a DIB", width, height);
    // Each factor is below 2^34 and checked before the product is formed.
    const unsigned long long stride =
        (static_cast<unsigned long long>(width) * static_cast<unsigned>(bitCount) + 31) / 32 * 4;
    const unsigned long long limit = CBitmapWindows::GetDecodeLimit();
    if (stride > limit || height > limit / stride) {
        return fail("%u x %u pixels at %d bits need more than the decoding limit of %llu bytes",
                    width, height, bitCount, limit);
    }
    if (!m_bitmap.allocDIBBlock(static_cast<int>(width), static_cast<int>(height), bitCount,
                                static_cast<int>(colours), m_pixels)) {
        return fail("out of memory for %u x %u pixels at %d bits", width, height, bitCount);
    }
    m_width = width;
    m_height = height;
    m_rowBytes = static_cast<std::size_t>(width) * static_cast<unsigned>(bitCount) / 8;
    return true;
}

void DibTarget::setGreyColours() noexcept {
    RGBQUAD* table = colours();
    const unsigned n = m_bitmap.getColorCount();
    for (unsigned i = 0; i < n && i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        table[i] = RGBQUAD{v, v, v, 0};
    }
}

// The DIB is bottom-up: the top row is the last one in memory.
unsigned char* DibTarget::row(std::uint32_t y) const noexcept {
    if (!m_bitmap.m_pBits) return nullptr;
    return m_bitmap.m_pBits + m_bitmap.getStride() * (m_height - 1 - y);
}

}  // namespace KORBAS
