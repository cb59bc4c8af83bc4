// Layers made together from the rows of one layer as they are filled.
#pragma once

#include <memory>
#include <vector>

#include "image/page_writer.h"

namespace tarvel {

// Fills layers[first] row by row and, as soon as a pair of rows of any layer
// is complete, halves it (2 x 2 truncating averages, as ResampleHalve) into
// the next row of the layer after it; every page is written once, when
// complete. So each row is read while it is still in memory and no page is
// ever read back. A layer of odd height leaves its last row unused, one of
// odd width its last column.
//
// Owns: a page writer for each layer it fills; not the layers.
// Pins: none; layers[first] onwards must be newly created, each with the
// kind of the first and half its size (truncating), with no page in memory or
// on disk, and left alone until done() (see page_writer).
// Failure: next() returns false once a page could not be written.
// Threads: one thread at a time.
class layer_cascade {
  public:
    layer_cascade(const std::vector<image*>& layers, int first);

    // Width bytes of the current row of channel c of the first layer.
    unsigned char* row(int channel) { return m_writers.front()->row(channel); }
    int row_index() const { return m_writers.front()->row_index(); }
    // The current row of every channel of the first layer is filled.
    bool next();
    bool done() const;

  private:
    bool advance(std::size_t k);

    std::vector<std::unique_ptr<page_writer>> m_writers;
    std::vector<int> m_widths;
    std::vector<int> m_heights;
    int m_channels;
};

}  // namespace tarvel
