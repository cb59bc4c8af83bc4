// layer_cascade: each layer halved into the next while its rows are in memory.
#include "pyramid/layer_cascade.h"

#include "pyramid/resampler.h"

namespace tarvel {

layer_cascade::layer_cascade(const std::vector<image*>& layers, int first)
    : m_channels(layers[first]->GetChannelCount()) {
    for (std::size_t k = static_cast<std::size_t>(first); k < layers.size(); ++k) {
        m_writers.push_back(std::make_unique<page_writer>(*layers[k]));
        m_widths.push_back(layers[k]->GetWidth());
        m_heights.push_back(layers[k]->GetHeight());
    }
}

bool layer_cascade::next() {
    return advance(0);
}

// Row y of layer k is filled. An odd row completes a pair, which is halved
// into layer k + 1 before either row is given up.
bool layer_cascade::advance(std::size_t k) {
    page_writer& w = *m_writers[k];
    const int y = w.row_index();
    const bool pair = k + 1 < m_writers.size() && (y & 1) != 0 && (y >> 1) < m_heights[k + 1];
    if (pair) {
        page_writer& half = *m_writers[k + 1];
        for (int c = 0; c < m_channels; ++c)
            HalveRow(w.previous_row(c), w.row(c), half.row(c), m_widths[k + 1]);
    }
    const bool written = w.next();
    return (pair ? advance(k + 1) : true) && written;
}

bool layer_cascade::done() const {
    for (const auto& w : m_writers) {
        if (!w->done()) return false;
    }
    return true;
}

}  // namespace tarvel
