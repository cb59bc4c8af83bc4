// DibTarget: creates the decoded DIB under the decoding limit and places rows in it.
#include "host/decode/dib_target.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

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

bool DibTarget::start(const decode::PictureLayout& layout) noexcept {
    const std::uint32_t width = layout.uprightWidth();
    const std::uint32_t height = layout.uprightHeight();
    const int bitCount = layout.bitCount;
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
                                static_cast<int>(layout.colours), m_pixels)) {
        return fail("out of memory for %u x %u pixels at %d bits", width, height, bitCount);
    }
    m_layout = layout;
    if (m_pixels && layout.orientation != decode::Orientation::normal) {
        try {
            m_turned.resize(layout.rowBytes() * layout.bandRows);
        } catch (const std::bad_alloc&) {
            return fail("out of memory for a row of %u pixels", layout.width);
        }
    }
    return true;
}

// The DIB is bottom-up: the top row is the last one in memory.
unsigned char* DibTarget::uprightRow(std::uint32_t y) const noexcept {
    return m_bitmap.m_pBits + m_bitmap.getStride() * (m_layout.uprightHeight() - 1 - y);
}

// Copies stored row y of a turned picture between the DIB and a row buffer.
void DibTarget::placeTurned(std::uint32_t y, unsigned char* buffer, bool intoDib) noexcept {
    const decode::RowPlacement at = decode::PlaceRow(m_layout, y);
    const std::size_t pixel = static_cast<std::size_t>(m_layout.bitCount / 8);
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(m_bitmap.getStride());
    // Rows of the DIB run upward in memory, so a step down the picture is -stride.
    unsigned char* dib =
        uprightRow(static_cast<std::uint32_t>(at.row)) +
        static_cast<std::ptrdiff_t>(at.column) * static_cast<std::ptrdiff_t>(pixel);
    const std::ptrdiff_t step =
        at.columnStep * static_cast<std::ptrdiff_t>(pixel) - at.rowStep * stride;
    for (std::uint32_t x = 0; x < m_layout.width; ++x, buffer += pixel, dib += step) {
        if (intoDib)
            std::memcpy(dib, buffer, pixel);
        else
            std::memcpy(buffer, dib, pixel);
    }
}

// Turned rows wait in a ring of bandRows buffers, put in the order asked for.
unsigned char* DibTarget::row(std::uint32_t y) noexcept {
    if (!m_bitmap.m_pBits) return nullptr;
    if (m_layout.orientation == decode::Orientation::normal) return uprightRow(y);
    unsigned char* buffer = m_turned.data() + (m_asked++ % m_layout.bandRows) * m_layout.rowBytes();
    if (!m_layout.inOrder) placeTurned(y, buffer, false);  // a later pass adds to the row
    return buffer;
}

bool DibTarget::put(std::uint32_t y) noexcept {
    if (m_layout.orientation == decode::Orientation::normal || !m_bitmap.m_pBits) return true;
    placeTurned(y, m_turned.data() + (m_put++ % m_layout.bandRows) * m_layout.rowBytes(), true);
    return true;
}

}  // namespace KORBAS
