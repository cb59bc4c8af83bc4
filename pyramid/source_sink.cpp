// source_sink: decoded rows streamed into the layers, or placed into layer 0
// first when they do not come from the top down.
#include "pyramid/source_sink.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/host.h"
#include "module/module.h"
#include "pyramid/pyramid.h"
#include "pyramid/resampler.h"
#include "pyramid/row_relay.h"
#include "pyramid/split_pixels.h"

namespace tarvel {

namespace {

using KORBAS::decode::Orientation;
using KORBAS::decode::PictureLayout;
using KORBAS::decode::RowPlacement;

// Rows that are placed into layer 0 through its cache wait in bands of about
// this many bytes: a turned picture's band touches every page of layer 0.
constexpr std::uint64_t kPlacedBandBytes = 8u << 20;

// Rows go to the second thread in chunks of about this many bytes (whole
// decoder bands), three chunks in the ring; bands so large that the ring
// would pass the second limit are split on the decoder's thread instead.
constexpr std::uint64_t kRelayChunkBytes = 256u << 10;
constexpr int kRelayChunks = 3;
constexpr std::uint64_t kMaxRelayBytes = 24u << 20;

// The progress text is formatted into this many bytes.
constexpr int kProgressTextChars = 256;

// Byte of an interleaved pixel (blue, green, red[, alpha]) that holds channel c
// (red, green, blue) of a layer; one-byte pixels hold their only channel.
int byte_of_channel(int channel, int pixelBytes) {
    return pixelBytes == 1 ? 0 : 2 - channel;
}

void report_text(KORBAS::IProgressWork* progress, unsigned id, int a, int b) {
    if (progress == nullptr) return;
    char text[kProgressTextChars];
    std::snprintf(text, sizeof text, LoadResourceText(id).c_str(), a, b);
    progress->SetText(text);
}

}  // namespace

source_sink::source_sink(layer_maker makeLayer, KORBAS::IProgressWork* progress, int threads)
    : m_makeLayer(std::move(makeLayer)), m_progress(progress), m_threads(threads) {}

source_sink::~source_sink() = default;

bool source_sink::fail(const std::string& why) noexcept {
    try {
        m_reason = why;
    } catch (...) {
        m_reason.clear();  // an empty reason still stops the decoder
    }
    return false;
}

bool source_sink::start(const PictureLayout& layout) noexcept {
    try {
        return begin(layout);
    } catch (const std::bad_alloc&) {
        return fail("out of memory for the layers' buffers");
    }
}

bool source_sink::begin(const PictureLayout& layout) {
    m_layout = layout;
    const std::uint64_t width = layout.uprightWidth();
    const std::uint64_t height = layout.uprightHeight();
    if (width < 1 || height < 1 || width * height > INT_MAX) {
        return fail(std::to_string(width) + " x " + std::to_string(height) +
                    " pixels are more than a layer can hold");
    }
    if (layout.bitCount != 8 && layout.bitCount != 24 && layout.bitCount != 32)
        return fail(std::to_string(layout.bitCount) + "-bit pixels cannot be made a layer");
    const int type = layout.bitCount == 8 ? (m_greyRows ? 1 : 2) : 3;
    const int count = pyramid::CountLayers(static_cast<int>(width), static_cast<int>(height));
    for (int k = 0; k < count; ++k) {
        image* layer = m_makeLayer();
        m_layers.push_back(layer);
        if (!layer->Create(type, static_cast<int>(width >> k), static_cast<int>(height >> k), 0))
            return fail("layer " + std::to_string(k) + " cannot be created");
    }

    const std::uint64_t rowBytes = layout.rowBytes();
    const std::uint64_t bandRows = std::max<std::uint32_t>(layout.bandRows, 1);
    m_streaming = layout.inOrder && (layout.orientation == Orientation::normal ||
                                     layout.orientation == Orientation::mirrored);
    if (m_streaming) {
        m_cascade = std::make_unique<layer_cascade>(m_layers, 0);
        const std::uint64_t chunkRows =
            bandRows * std::max<std::uint64_t>(kRelayChunkBytes / (rowBytes * bandRows), 1);
        if (m_threads > 1 && chunkRows * rowBytes * kRelayChunks <= kMaxRelayBytes) {
            // The decoder's thread only decodes; the layers are made on the relay's.
            m_relay = std::make_unique<row_relay>(rowBytes, static_cast<std::uint32_t>(chunkRows),
                                                  kRelayChunks, [this](const unsigned char* row) {
                                                      deinterleave(row);
                                                      return m_cascade->next();
                                                  });
        } else {
            m_direct =
                layout.bitCount == 8 && bandRows == 1 && layout.orientation == Orientation::normal;
            m_slots = m_direct ? 0 : bandRows;
        }
    } else {
        // Placed bands are whole decoder bands, so that a band never waits
        // for rows the decoder holds back.
        m_band = layout.inOrder
                     ? std::max<std::uint64_t>(kPlacedBandBytes / rowBytes / bandRows, 1) * bandRows
                     : 1;
        m_slots = m_band + bandRows;
    }
    m_ring.resize(static_cast<std::size_t>(m_slots * rowBytes));

    if (m_progress != nullptr) {
        report_text(m_progress, kDecodingText, count, 0);
        const std::uint64_t rows = layout.deliveries != 0 ? layout.deliveries : layout.height;
        m_progress->SetTotal(rows > INT_MAX ? INT_MAX : static_cast<int>(rows));
    }
    return true;
}

unsigned char* source_sink::slot(std::uint64_t k) const {
    return const_cast<unsigned char*>(m_ring.data()) + (k % m_slots) * m_layout.rowBytes();
}

unsigned char* source_sink::row(std::uint32_t y) noexcept {
    if (m_relay) return m_relay->room(m_asked++);
    if (m_direct) return m_cascade->row(0);
    const std::uint64_t k = m_asked++;
    // A row that comes again (a later pass) adds to what it holds.
    if (!m_layout.inOrder) place(y, 1, k, false);
    return slot(k);
}

// Splits an interleaved row into the first layer's channels, mirrored when
// the picture says so.
void source_sink::deinterleave(const unsigned char* from) {
    unsigned char* planes[3] = {};
    const int pixel = m_layout.bitCount / 8;
    for (int c = 0; c < (pixel == 1 ? 1 : 3); ++c) planes[c] = m_cascade->row(c);
    SplitPixels(from, static_cast<int>(m_layout.width), pixel, planes,
                m_layout.orientation == Orientation::mirrored);
}

bool source_sink::put(std::uint32_t y) noexcept {
    if (m_progress != nullptr) m_progress->Advance(1);
    if (m_relay) {
        if (!m_relay->put(m_put++, y + 1 == m_layout.height))
            return fail("a page file of a layer could not be written");
        return true;
    }
    if (m_streaming) {
        if (!m_direct) deinterleave(slot(m_put++));
        if (!m_cascade->next()) return fail("a page file of a layer could not be written");
        return true;
    }
    ++m_put;
    if (!m_layout.inOrder) {
        place(y, 1, m_put - 1, true);
        m_placed = m_put;
        return true;
    }
    if (m_put - m_placed == m_band || y + 1 == m_layout.height) return place_pending();
    return true;
}

bool source_sink::place_pending() {
    const std::uint64_t n = m_put - m_placed;
    if (n == 0) return true;
    place(static_cast<std::uint32_t>(m_placed), static_cast<std::uint32_t>(n), m_placed, true);
    m_placed = m_put;
    return true;
}

// Copies the n stored rows from y0, waiting in the ring from row number
// first, into layer 0 at their upright places (or back out of it).
void source_sink::place(std::uint32_t y0, std::uint32_t n, std::uint64_t first, bool intoLayer) {
    image* layer = m_layers.front();
    const int pixel = m_layout.bitCount / 8;
    const int channels = pixel == 1 ? 1 : 3;
    const auto copy = [intoLayer](unsigned char* in, unsigned char* stored) {
        if (intoLayer)
            *in = *stored;
        else
            *stored = *in;
    };
    if (!m_layout.transposes()) {
        // Each stored row is one upright row, perhaps mirrored.
        for (std::uint32_t i = 0; i < n; ++i) {
            const RowPlacement at = KORBAS::decode::PlaceRow(m_layout, y0 + i);
            unsigned char* stored = slot(first + i);
            for (int c = 0; c < channels; ++c) {
                image::pointer p(layer, c, 0, static_cast<int>(at.row));
                unsigned char* upright = p.GetPtr() + at.column;
                unsigned char* s = stored + byte_of_channel(c, pixel);
                for (std::uint32_t x = 0; x < m_layout.width;
                     ++x, s += pixel, upright += at.columnStep)
                    copy(upright, s);
            }
        }
        return;
    }
    // Each stored column is one upright row, the band's rows a run of it.
    const RowPlacement top = KORBAS::decode::PlaceRow(m_layout, y0);
    const RowPlacement bottom = KORBAS::decode::PlaceRow(m_layout, y0 + n - 1);
    const int left = static_cast<int>(std::min(top.column, bottom.column));
    const int step = top.column <= bottom.column ? 1 : -1;
    for (std::uint32_t x = 0; x < m_layout.width; ++x) {
        const int uprightRow =
            static_cast<int>(top.row + static_cast<std::int64_t>(x) * top.rowStep);
        for (int c = 0; c < channels; ++c) {
            image::pointer p(layer, c, left, uprightRow);
            unsigned char* run = p.GetPtr() + (step > 0 ? 0 : n - 1);
            const std::size_t at = static_cast<std::size_t>(x) * pixel + byte_of_channel(c, pixel);
            for (std::uint32_t i = 0; i < n; ++i, run += step) copy(run, slot(first + i) + at);
        }
    }
}

// Layer 1 onwards from layer 0's pages, read a pair of rows at a time.
bool source_sink::halve_from_pages() {
    if (m_layers.size() < 2) return true;
    image* full = m_layers[0];
    image* half = m_layers[1];
    const int channels = full->GetChannelCount();
    const int width = full->GetWidth();
    report_text(m_progress, kLayerBuildingText, 1, static_cast<int>(m_layers.size()) - 1);
    if (m_progress != nullptr) m_progress->SetTotal(half->GetHeight());
    layer_cascade cascade(m_layers, 1);
    for (int j = 0; j < half->GetHeight(); ++j) {
        for (int c = 0; c < channels; ++c) {
            const image::ipointer upper(full, c, 2 * j * width);
            const image::ipointer lower(full, c, (2 * j + 1) * width);
            HalveRow(upper.GetPtr(), lower.GetPtr(), cascade.row(c), half->GetWidth());
        }
        if (!cascade.next()) return fail("a page file of a layer could not be written");
        if (m_progress != nullptr) m_progress->Advance(1);
    }
    return true;
}

bool source_sink::finish() {
    if (m_layers.empty()) return fail("the decoder gave no picture");
    if (m_relay && !m_relay->finish()) return fail("a page file of a layer could not be written");
    if (m_streaming) {
        if (!m_cascade->done()) return fail("the decoder gave fewer rows than the picture has");
    } else {
        place_pending();
        if (!m_layers.front()->Flush()) return fail("a page file of layer 0 could not be written");
        if (!halve_from_pages()) return false;
    }
    if (m_layers.front()->GetType() == 2) {
        const unsigned n = m_layout.colours == 0
                               ? KORBAS::decode::kMaxColourEntries
                               : std::min(m_layout.colours, KORBAS::decode::kMaxColourEntries);
        for (image* layer : m_layers) {
            unsigned char* palette = layer->GetPalette();
            std::memset(palette, 0, 3 * KORBAS::decode::kMaxColourEntries);
            for (unsigned i = 0; i < n; ++i) {
                palette[3 * i] = m_colours[i].rgbRed;
                palette[3 * i + 1] = m_colours[i].rgbGreen;
                palette[3 * i + 2] = m_colours[i].rgbBlue;
            }
        }
    }
    return true;
}

}  // namespace tarvel
