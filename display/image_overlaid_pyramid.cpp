// Image::CImageOverlaidPyramid: an overlaid pyramid presented to the host.
#include "display/display.h"
#include "display/layer_choice.h"

namespace Image {

CImageOverlaidPyramid::CImageOverlaidPyramid(COverlaidPyramid* p) : m_pyramid(p), m_flush(0) {}

CImageOverlaidPyramid::~CImageOverlaidPyramid() {
    delete m_pyramid;
}

COverlaidImage* CImageOverlaidPyramid::layerAt(int layer) const {
    return m_pyramid && layer >= 0 && layer < m_pyramid->GetLayerCount()
               ? m_pyramid->GetLayerAt(layer)
               : nullptr;
}

int CImageOverlaidPyramid::getClass() const {
    return 3;
}

unsigned CImageOverlaidPyramid::getWidth() const {
    return GetLayerWidth(0);
}

unsigned CImageOverlaidPyramid::getHeight() const {
    return GetLayerHeight(0);
}

unsigned short CImageOverlaidPyramid::getBPP() const {
    const COverlaidImage* first = layerAt(0);
    if (!first) return 0;
    return first->GetImageType() == IImage::kImageColour
               ? static_cast<unsigned short>(first->GetNoChannels())
               : 1;
}

KORBAS::CBitmap* CImageOverlaidPyramid::createBitmap() {
    return new CBitmapOverlaidPyramidWindows(this, m_pyramid);
}

void CImageOverlaidPyramid::destroyBitmap(KORBAS::CBitmap* bitmap) {
    if (bitmap && bitmap->getImage() == this) delete bitmap;
}

void CImageOverlaidPyramid::set(KORBAS::CBitmap*) {}

void CImageOverlaidPyramid::flush() {
    ++m_flush;
    if (m_pyramid) m_pyramid->Flush();
}

int CImageOverlaidPyramid::GetLayerCount() const {
    return m_pyramid ? m_pyramid->GetLayerCount() : 0;
}

int CImageOverlaidPyramid::GetLayerForDisplayAt(double a, double b) {
    const int factor = tarvel::ReductionForScales(a, b);
    return factor > 0 && m_pyramid ? m_pyramid->FindBestLayer(factor) : 0;
}

unsigned CImageOverlaidPyramid::GetLayerWidth(int layer) const {
    const COverlaidImage* l = layerAt(layer);
    return l ? l->GetWidth() : 0;
}

unsigned CImageOverlaidPyramid::GetLayerHeight(int layer) const {
    const COverlaidImage* l = layerAt(layer);
    return l ? l->GetHeight() : 0;
}

void CImageOverlaidPyramid::GetImageDimensionAtLayer(int layer, unsigned& width, unsigned& height) {
    tarvel::ExtentOfLayer(*this, layer, width, height);
}

void CImageOverlaidPyramid::GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                                      unsigned char* out) {
    if (const COverlaidImage* l = layerAt(layer)) l->GetRegion(x0, y0, x1, y1, channel, out);
}

void CImageOverlaidPyramid::GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* out) {
    if (const COverlaidImage* l = layerAt(layer)) l->GetRegionRGB(x0, y0, x1, y1, out);
}

}  // namespace Image
