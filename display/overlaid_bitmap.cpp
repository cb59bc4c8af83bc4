// Image::CBitmapOverlaidPyramidWindows: the view fill from the overlaid
// layers of a pyramid, reading the span of each row a view needs.
#include <algorithm>

#include "display/display.h"
#include "display/view_fill.h"

namespace Image {

namespace {

// Hands out the span first .. last of layer rows, read into buffers of its
// own: one run per channel, all three channels at once for colour.
class overlaid_rows {
  public:
    overlaid_rows(const COverlaidImage* layer, int channels, int first, int last)
        : m_layer(layer),
          m_channels(channels),
          m_first(first),
          m_last(last),
          m_span(static_cast<std::size_t>(last - first + 1)),
          m_buffer(m_span * 3) {}

    tarvel::dib_source fetch(int r) {
        r = std::clamp(r, 0, static_cast<int>(m_layer->GetHeight()) - 1);
        unsigned char* b = m_buffer.data();
        if (m_channels == 3)
            m_layer->GetLineRGB(m_first, m_last, r, b, b + m_span, b + 2 * m_span);
        else
            m_layer->GetLine(m_first, m_last, r, 0, b);
        return {{b, b + m_span, b + 2 * m_span}, m_channels};
    }

  private:
    const COverlaidImage* m_layer;
    int m_channels;
    int m_first, m_last;
    std::size_t m_span;
    std::vector<unsigned char> m_buffer;
};

}  // namespace

CBitmapOverlaidPyramidWindows::CBitmapOverlaidPyramidWindows(CImageOverlaidPyramid* owner,
                                                             COverlaidPyramid* p)
    : CBitmapViewWindows(owner),
      m_owner(owner),
      m_pyramid(p),
      m_layerImage(nullptr),
      m_flushCount(-1) {}

int CBitmapOverlaidPyramidWindows::layerCount() const {
    return m_pyramid ? m_pyramid->GetLayerCount() : 0;
}

int CBitmapOverlaidPyramidWindows::layerForReduction(int factor) const {
    return m_pyramid->FindBestLayer(factor);
}

void CBitmapOverlaidPyramidWindows::useLayer(int layer) {
    m_layerImage = m_pyramid->GetLayerAt(layer);
}

int CBitmapOverlaidPyramidWindows::firstLayerType() const {
    return m_pyramid->GetImageType();
}

// Overlaid images carry no palette: Create takes grey and colour only.
const unsigned char* CBitmapOverlaidPyramidWindows::firstLayerPalette() const {
    return nullptr;
}

bool CBitmapOverlaidPyramidWindows::sourceChanged() const {
    return m_owner && m_owner->GetFlush() != m_flushCount;
}

void CBitmapOverlaidPyramidWindows::storeSourceState() {
    m_flushCount = m_owner ? m_owner->GetFlush() : -1;
}

void CBitmapOverlaidPyramidWindows::fillPixels(bool smooth) {
    const COverlaidImage* layer = m_layerImage;
    if (!layer->HasTiles()) return;
    const int channels = layer->GetImageType() == IImage::kImageColour ? 3 : 1;
    if (m_pInfoHeader->biBitCount != (channels == 3 ? 24 : 8)) return;  // a layer unlike layer 0
    const int width = static_cast<int>(layer->GetWidth());
    const std::size_t stride = getStride();
    if (smooth) {
        const tarvel::view_fill::smooth_columns plan =
            tarvel::view_fill::PlanSmooth(m_column, width);
        overlaid_rows rows(layer, channels, plan.first, plan.last);
        tarvel::view_fill::FillSmooth(rows, plan, m_row, static_cast<int>(layer->GetHeight()),
                                      channels, m_pBits, stride);
    } else {
        const tarvel::view_fill::nearest_columns plan =
            tarvel::view_fill::PlanNearest(m_column, width);
        overlaid_rows rows(layer, channels, plan.first, plan.last);
        tarvel::view_fill::FillNearest(rows, plan, m_row, channels, m_pBits, stride);
    }
}

}  // namespace Image
