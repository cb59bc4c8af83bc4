// CBitmapPyramidWindows: the view fill from the paged layers of a pyramid,
// reading each layer row in place in its page.
#include <algorithm>

#include "display/display.h"
#include "display/view_fill.h"

namespace tarvel {

namespace {

// Hands out layer rows as pointers into their pages: one read-only iterator
// per channel keeps the current row's page pinned until the next row.
class paged_rows {
  public:
    paged_rows(image* layer, int channels, int first)
        : m_layer(layer), m_channels(channels), m_first(first) {}

    dib_source fetch(int r) {
        r = std::clamp(r, 0, m_layer->GetHeight() - 1);
        const int offset = r * m_layer->GetWidth();
        dib_source source{{nullptr, nullptr, nullptr}, m_channels};
        for (int c = 0; c < m_channels; ++c) {
            if (m_bound)
                m_at[c] = offset;
            else
                m_at[c] = image::ipointer(m_layer, c, offset);
            source.plane[c] = m_at[c].GetPtr() + m_first;
        }
        m_bound = true;
        return source;
    }

  private:
    image* m_layer;
    int m_channels;
    int m_first;
    bool m_bound = false;
    image::ipointer m_at[3];
};

}  // namespace

CBitmapPyramidWindows::CBitmapPyramidWindows(KORBAS::CImage* owner, pyramid* p)
    : CBitmapViewWindows(owner),
      m_pyramid(p),
      m_layerImage(nullptr),
      m_budgetImage(nullptr),
      m_viewCache(true),
      m_brightness(0.0),
      m_contrast(0.0) {}

CBitmapPyramidWindows::~CBitmapPyramidWindows() {
    if (m_budgetImage) m_budgetImage->SetCacheBudget(0);
}

void CBitmapPyramidWindows::SetViewCache(bool enabled) {
    m_viewCache = enabled;
    if (enabled || !m_budgetImage) return;
    m_budgetImage->SetCacheBudget(0);
    m_budgetImage = nullptr;
}

int CBitmapPyramidWindows::layerCount() const {
    return m_pyramid ? m_pyramid->GetLayerCount() : 0;
}

int CBitmapPyramidWindows::layerForReduction(int factor) const {
    return m_pyramid->GetLayerForReduction(factor);
}

void CBitmapPyramidWindows::useLayer(int layer) {
    m_layerImage = m_pyramid->GetLayerAt(layer);
}

int CBitmapPyramidWindows::firstLayerType() const {
    return m_pyramid->GetLayerAt(0)->GetType();
}

const unsigned char* CBitmapPyramidWindows::firstLayerPalette() const {
    return m_pyramid->GetLayerAt(0)->GetPalette();
}

bool CBitmapPyramidWindows::sourceChanged() const {
    double b = 0.0, c = 0.0;
    if (m_pyramid) m_pyramid->GetBrightnessContrast(b, c);
    return b != m_brightness || c != m_contrast;
}

void CBitmapPyramidWindows::storeSourceState() {
    m_brightness = m_contrast = 0.0;
    if (m_pyramid) m_pyramid->GetBrightnessContrast(m_brightness, m_contrast);
}

// Lets the layer's cache hold every page the view's rows lie in, so that a
// refill of a moved or restyled view finds them in memory; a layer read
// before gets its default cache back.
void CBitmapPyramidWindows::sizeLayerCache(bool smooth) {
    if (!m_viewCache) return;
    if (m_budgetImage && m_budgetImage != m_layerImage) m_budgetImage->SetCacheBudget(0);
    m_budgetImage = m_layerImage;
    const int height = m_layerImage->GetHeight();
    const auto span = std::minmax_element(m_row.begin(), m_row.end());
    int top = *span.first, bottom = *span.second;
    if (smooth) {  // entries are fixed point, counted from the bottom edge
        top = height - 2 - (*span.second >> 8);
        bottom = height - 1 - (*span.first >> 8);
    }
    top = std::clamp(top, 0, height - 1);
    bottom = std::clamp(bottom, 0, height - 1);
    const int pageLen = m_layerImage->GetPageLen();
    const long long pages = bottom / pageLen - top / pageLen + 1;
    const long long bytes = pages * m_layerImage->GetChannelCount() * m_layerImage->GetPageSize();
    m_layerImage->SetCacheBudget(std::min(bytes, kMaxViewCacheBytes));
}

void CBitmapPyramidWindows::fillPixels(bool smooth) {
    image* layer = m_layerImage;
    const int channels = layer->GetType() == 3 ? 3 : 1;
    const int bitCount = channels == 3 ? 24 : 8;
    if (m_pInfoHeader->biBitCount != bitCount) return;  // a layer unlike layer 0
    sizeLayerCache(smooth);
    const std::size_t stride = getStride();
    if (smooth) {
        const view_fill::smooth_columns plan = view_fill::PlanSmooth(m_column, layer->GetWidth());
        paged_rows rows(layer, channels, plan.first);
        view_fill::FillSmooth(rows, plan, m_row, layer->GetHeight(), channels, m_pBits, stride);
    } else {
        const view_fill::nearest_columns plan = view_fill::PlanNearest(m_column, layer->GetWidth());
        paged_rows rows(layer, channels, plan.first);
        view_fill::FillNearest(rows, plan, m_row, channels, m_pBits, stride);
    }
}

}  // namespace tarvel
