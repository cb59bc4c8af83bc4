// Row access for the resampling kernels: whole source rows pinned in their
// page (or copied when a row is split across pages) with edge clamping, and
// destination rows written as spans.
#pragma once

#include <vector>

#include "pyramid/resampler.h"

namespace tarvel {

// Clamps a coordinate into [0, count - 1]; count is at least 1.
inline int clamp_index(long long v, int count) {
    if (v < 0) return 0;
    if (v >= count) return count - 1;
    return static_cast<int>(v);
}

// Hands out whole rows of one source plane. The row returned by fetch stays
// valid (its page pinned) until the next fetch on the same reader; several
// readers over one plane may hold different rows at once.
class source_row_reader {
  public:
    explicit source_row_reader(const resample_source& source)
        : m_row(source.plane), m_stride(source.stride), m_rows(source.rows) {}

    // Row r of the plane; rows above or below the plane read its first or last row.
    const unsigned char* fetch(long long r) {
        const int row = clamp_index(r, m_rows);
        if (row == m_current) return m_samples;
        m_current = row;
        m_row = row * m_stride;  // rows lie inside the plane, so this stays in int
        if (m_row.GetPtr() + (m_stride - 1) <= m_row.GetEnd()) {
            m_samples = m_row.GetPtr();
            return m_samples;
        }
        // A row split across pages: copy it, the iterator fetching each page in turn.
        m_copy.resize(static_cast<size_t>(m_stride));
        image::ipointer walk(m_row);
        for (int i = 0; i < m_stride; ++i, ++walk) m_copy[i] = *walk;
        m_samples = m_copy.data();
        return m_samples;
    }

  private:
    image::ipointer m_row;
    int m_stride;
    int m_rows;
    int m_current = -1;
    const unsigned char* m_samples = nullptr;
    std::vector<unsigned char> m_copy;
};

// Writes a destination plane row by row: row() gives a span of the row's
// width to fill, next() stores it and moves to the following row.
class destination_row_writer {
  public:
    destination_row_writer(const image::pointer& start, int width) : m_at(start), m_width(width) {}

    unsigned char* row() {
        m_direct = m_at.GetPtr() + (m_width - 1) <= m_at.GetEnd();
        if (m_direct) return m_at.GetPtr();
        m_copy.resize(static_cast<size_t>(m_width));
        return m_copy.data();
    }

    void next() {
        if (m_direct) {
            m_at += m_width;
            return;
        }
        for (int i = 0; i < m_width; ++i, ++m_at) *m_at = m_copy[i];
    }

  private:
    image::pointer m_at;
    int m_width;
    bool m_direct = false;
    std::vector<unsigned char> m_copy;
};

}  // namespace tarvel
