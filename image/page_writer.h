// Writing a new paged image from the top row down, each page once, straight
// to its page file: how a large picture reaches disk without the cache.
#pragma once

#include <vector>

#include "image/image.h"

namespace tarvel {

// Fills a newly created image row by row, every channel of a row before the
// row below, and writes each page to its page file as soon as its last row is
// filled: no page is read back, and no buffer is cleared except the bytes of
// the last page that lie past the plane's end (written as zeros, as a page
// of the cache would hold them).
//
// Owns: one page buffer per channel (two when a page holds one row), freed
// by the destructor. Pages that were not complete when the writer is
// destroyed are not written.
// Pins: none; the image must outlive the writer, be valid, have no page in
// memory and no page file, and be left alone (no fetch, Flush or Freeze)
// until the writer is done.
// Failure: a page that cannot be written makes next() return false from then
// on; the page store prints its message and records it as for any save.
// Threads: one thread at a time.
class page_writer {
  public:
    explicit page_writer(image& target);
    page_writer(const page_writer&) = delete;
    page_writer& operator=(const page_writer&) = delete;
    ~page_writer();

    // The row being filled, from 0 to the image's height (when done).
    int row_index() const { return m_row; }
    bool done() const { return m_row >= m_image.GetHeight(); }
    // Width bytes of the current row of channel c, to fill.
    unsigned char* row(int channel) { return m_rows[channel]; }
    // The row above the current one, unchanged until the next call to next().
    const unsigned char* previous_row(int channel) const { return m_previous[channel]; }
    // The current row of every channel is filled: moves to the row below,
    // writing the pages that are now complete. False once a page could not
    // be written.
    bool next();

  private:
    bool write_page(int channel, int index, unsigned char* data);

    image& m_image;
    int m_row = 0;
    int m_rowInPage = 0;
    int m_page = 0;
    bool m_ok = true;
    // Buffers of each channel; with one row a page they alternate, so that
    // the previous row survives the writing of the next.
    std::vector<unsigned char*> m_buffers;
    std::vector<unsigned char*> m_rows;
    std::vector<const unsigned char*> m_previous;
};

}  // namespace tarvel
