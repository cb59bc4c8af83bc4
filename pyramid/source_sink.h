// The row sink of a pyramid build: a decoder's rows become layer 0 and,
// through the layer cascade, every other layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/decode/row_sink.h"
#include "image/image.h"
#include "pyramid/layer_cascade.h"
#include "pyramid/row_relay.h"

namespace KORBAS {
class IProgressWork;
}

namespace tarvel {

// Takes the rows of a source from its decoder and makes every layer of its
// pyramid. Rows that come once each from the top down (mirrored ones too)
// stream: they go into layer 0's pages and on through the cascade, each page
// written once. Rows that come in another order (interlaced passes) or
// belong elsewhere (turned pictures) are written into layer 0 through its
// page cache, a band of rows at a time; finish() then makes the other layers
// from layer 0's pages.
//
// 8-bit sources give palette layers (the colour table as palette, indices
// halved as values), or grey layers when set_grey_rows says the rows hold
// grey levels; 24- and 32-bit ones RGB layers (a fourth byte skipped).
// Progress (sink may be null): SetText (string resource 10502 with the
// number of layers), SetTotal(rows the decoder hands over), Advance(1) each;
// layers made from layer 0's pages then report as ResampleHalve does for
// layer 1.
//
// Owns: its row buffers and, streaming with two threads, the relay thread
// that makes the layers (the layers are then not touched on the decoder's
// thread until finish() or the destructor has joined it); not the layers,
// which make_layer gives (made in the work directory, owned by the caller).
// Failure: start refuses a picture no layer can hold; put returns false once
// a page cannot be written; reason() says why.
// Threads: the decoder's; one thread at a time.
class source_sink : public KORBAS::decode::RowSink {
  public:
    using layer_maker = std::function<image*()>;
    // threads: 2 lets a second thread make the layers of a streamed source
    // while the decoder's thread decodes (joined by finish or the
    // destructor); 1 does everything on the decoder's thread.
    source_sink(layer_maker makeLayer, KORBAS::IProgressWork* progress, int threads);
    ~source_sink() override;

    // Before start: 8-bit rows are grey levels, not indices.
    void set_grey_rows(bool grey) { m_greyRows = grey; }

    bool start(const KORBAS::decode::PictureLayout& layout) noexcept override;
    RGBQUAD* colours() noexcept override { return m_colours; }
    bool wantsPixels() const noexcept override { return true; }
    unsigned char* row(std::uint32_t y) noexcept override;
    bool put(std::uint32_t y) noexcept override;
    const char* reason() const noexcept override { return m_reason.c_str(); }

    // After the decoder returned: completes the layers and gives palette
    // layers their palette. False when a layer could not be completed.
    bool finish();
    // After the decoder failed: ends the second thread, dropping the rows it
    // has not made into layers yet, so that the layers may be inspected.
    void abandon() { m_relay.reset(); }
    const std::vector<image*>& layers() const { return m_layers; }

  private:
    bool fail(const std::string& why) noexcept;
    bool begin(const KORBAS::decode::PictureLayout& layout);
    unsigned char* slot(std::uint64_t k) const;
    void deinterleave(const unsigned char* from);
    void place(std::uint32_t y0, std::uint32_t n, std::uint64_t first, bool intoLayer);
    bool place_pending();
    bool halve_from_pages();

    layer_maker m_makeLayer;
    KORBAS::IProgressWork* m_progress;
    KORBAS::decode::PictureLayout m_layout;
    std::vector<image*> m_layers;
    int m_threads;
    bool m_greyRows = false;
    std::unique_ptr<layer_cascade> m_cascade;  // streaming: from layer 0
    std::unique_ptr<row_relay> m_relay;        // after the cascade: it stops first
    bool m_streaming = false;
    bool m_direct = false;  // rows decoded straight into layer 0's pages
    // Rows handed out and taken back, in a ring of m_slots rows.
    std::vector<unsigned char> m_ring;
    std::uint64_t m_slots = 0;
    std::uint64_t m_asked = 0;
    std::uint64_t m_put = 0;
    std::uint64_t m_placed = 0;  // rows put and already placed in layer 0
    std::uint64_t m_band = 1;    // rows placed in layer 0 at once
    RGBQUAD m_colours[KORBAS::decode::kMaxColourEntries] = {};
    std::string m_reason;
};

}  // namespace tarvel
