// palette_expander: 8-bit rows become grey levels or blue-green-red pixels.
#include "pyramid/palette_expander.h"

#include <algorithm>
#include <new>

namespace tarvel {

using KORBAS::decode::kMaxColourEntries;
using KORBAS::decode::PictureLayout;

bool palette_expander::start(const PictureLayout& layout) noexcept {
    m_layout = layout;
    m_expanding = layout.bitCount == 8;
    if (!m_expanding) return m_next.start(layout);
    m_slots = std::max<std::uint32_t>(layout.bandRows, 1);
    try {
        m_indices.resize(static_cast<std::size_t>(m_slots * layout.width));
        m_out.resize(static_cast<std::size_t>(m_slots));
    } catch (const std::bad_alloc&) {
        m_reason = "out of memory for the rows of a palette picture";
        return false;
    }
    return true;
}

// Red in bits 16 to 23, green 8 to 15, blue 0 to 7.
std::uint32_t palette_expander::colourOf(unsigned index) const {
    const RGBQUAD& e = m_table[index];
    return std::uint32_t(e.rgbRed) << 16 | std::uint32_t(e.rgbGreen) << 8 | e.rgbBlue;
}

void palette_expander::startNext() const noexcept {
    const unsigned n =
        m_layout.colours == 0 ? kMaxColourEntries : std::min(m_layout.colours, kMaxColourEntries);
    m_grey = true;
    for (unsigned i = 0; i < n; ++i)
        m_grey = m_grey && m_table[i].rgbRed == m_table[i].rgbGreen &&
                 m_table[i].rgbRed == m_table[i].rgbBlue;
    PictureLayout expanded = m_layout;
    expanded.bitCount = m_grey ? 8 : 24;
    expanded.colours = 0;
    m_next.set_grey_rows(m_grey);
    if (!m_next.start(expanded)) {
        m_failed = true;
        return;
    }
    if (m_layout.inOrder) return;
    // A row that comes again holds colours; the decoder adds to its indices.
    try {
        for (unsigned i = n; i-- > 0;) m_indexOf[colourOf(i)] = static_cast<unsigned char>(i);
    } catch (const std::bad_alloc&) {
        m_failed = true;
    }
}

bool palette_expander::wantsPixels() const noexcept {
    if (!m_expanding) return m_next.wantsPixels();
    if (!m_started) {
        m_started = true;
        startNext();
    }
    return !m_failed && m_next.wantsPixels();
}

unsigned char* palette_expander::row(std::uint32_t y) noexcept {
    if (!m_expanding) return m_next.row(y);
    const std::size_t k = static_cast<std::size_t>(m_asked++ % m_slots);
    unsigned char* out = m_next.row(y);
    m_out[k] = out;
    unsigned char* indices = m_indices.data() + k * m_layout.width;
    if (!m_layout.inOrder) {
        for (std::uint32_t x = 0; x < m_layout.width; ++x) {
            const std::uint32_t colour = m_grey
                                             ? std::uint32_t(out[x]) * 0x010101u
                                             : std::uint32_t(out[3 * x + 2]) << 16 |
                                                   std::uint32_t(out[3 * x + 1]) << 8 | out[3 * x];
            const auto found = m_indexOf.find(colour);
            indices[x] = found == m_indexOf.end() ? 0 : found->second;
        }
    }
    return indices;
}

bool palette_expander::put(std::uint32_t y) noexcept {
    if (!m_expanding) return m_next.put(y);
    const std::size_t k = static_cast<std::size_t>(m_put++ % m_slots);
    const unsigned char* indices = m_indices.data() + k * m_layout.width;
    unsigned char* out = m_out[k];
    if (m_grey) {
        for (std::uint32_t x = 0; x < m_layout.width; ++x) out[x] = m_table[indices[x]].rgbRed;
    } else {
        for (std::uint32_t x = 0; x < m_layout.width; ++x, out += 3) {
            const RGBQUAD& e = m_table[indices[x]];
            out[0] = e.rgbBlue;
            out[1] = e.rgbGreen;
            out[2] = e.rgbRed;
        }
    }
    return m_next.put(y);
}

const char* palette_expander::reason() const noexcept {
    return m_reason != nullptr ? m_reason : m_next.reason();
}

}  // namespace tarvel
