// Palette pictures made grey or RGB on their way into a pyramid build, so
// that the reduced layers average colours rather than palette indices.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/decode/row_sink.h"
#include "pyramid/source_sink.h"

namespace tarvel {

// A sink in front of a build's source_sink that expands 8-bit pictures:
// when every entry of the colour table is a grey level, into grey layers
// (each index becomes its level); otherwise into RGB layers (each index
// becomes its colour). Other pictures pass straight through. The choice
// needs the colour table, which the decoder fills after start, so the next
// sink is started from the first wantsPixels().
//
// Owns: a ring of bandRows rows of indices, and for rows that come again
// (interlaced passes) a map from each colour back to an index of it.
// Failure: start fails for want of memory; when the next sink refuses the
// expanded picture, wantsPixels() is false, failed() true and reason() says
// why. Threads: the decoder's.
class palette_expander final : public KORBAS::decode::RowSink {
  public:
    explicit palette_expander(source_sink& next) noexcept : m_next(next) {}

    bool start(const KORBAS::decode::PictureLayout& layout) noexcept override;
    RGBQUAD* colours() noexcept override { return m_expanding ? m_table : m_next.colours(); }
    bool wantsPixels() const noexcept override;
    unsigned char* row(std::uint32_t y) noexcept override;
    bool put(std::uint32_t y) noexcept override;
    const char* reason() const noexcept override;

    // The next sink refused the expanded picture.
    bool failed() const { return m_failed; }

  private:
    void startNext() const noexcept;
    std::uint32_t colourOf(unsigned index) const;

    source_sink& m_next;
    KORBAS::decode::PictureLayout m_layout;
    bool m_expanding = false;
    RGBQUAD m_table[KORBAS::decode::kMaxColourEntries] = {};
    std::vector<unsigned char> m_indices;  // m_slots rows
    std::vector<unsigned char*> m_out;     // the next sink's room for each slot
    std::uint64_t m_slots = 1;
    std::uint64_t m_asked = 0;
    std::uint64_t m_put = 0;
    const char* m_reason = nullptr;
    // Settled by the first wantsPixels().
    mutable bool m_started = false;
    mutable bool m_failed = false;
    mutable bool m_grey = false;
    mutable std::unordered_map<std::uint32_t, unsigned char> m_indexOf;
};

}  // namespace tarvel
