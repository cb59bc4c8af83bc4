// CImagePyramid: a pyramid presented to the host, opened from its directory
// or built from its source.
#include "display/display.h"
#include "display/layer_choice.h"

namespace tarvel {

CImagePyramid::CImagePyramid(const char* source, const char* directory, const char*,
                             KORBAS::IProgressWork* progress)
    : m_pyramid(new pyramid) {
    if (openOrBuild(*m_pyramid, source, directory, progress)) return;
    delete m_pyramid;
    m_pyramid = nullptr;
    throw CPyramidNotCreatedException();
}

CImagePyramid::CImagePyramid(pyramid* p) : m_pyramid(p) {}

bool CImagePyramid::openOrBuild(pyramid& p, const char* source, const char* directory,
                                KORBAS::IProgressWork* progress) {
    if (directory && p.Create(directory, progress)) return true;
    return directory && source && p.Create(directory, source, -1, progress);
}

CImagePyramid* CImagePyramid::Open(const char* source, const char* directory,
                                   KORBAS::IProgressWork* progress, std::string& error,
                                   bool expandPalette) {
    auto* p = new pyramid;
    p->SetExpandPalette(expandPalette);
    if (openOrBuild(*p, source, directory, progress)) return new CImagePyramid(p);
    error = p->GetError();  // the build's reason, or without a source the open's
    if (error.empty()) error = "no pyramid directory given";
    delete p;
    return nullptr;
}

CImagePyramid::~CImagePyramid() {
    delete m_pyramid;
}

bool CImagePyramid::hasLayer(int layer) const {
    return m_pyramid && layer >= 0 && layer < m_pyramid->GetLayerCount();
}

int CImagePyramid::getClass() const {
    return 2;
}

unsigned CImagePyramid::getWidth() const {
    return GetLayerWidth(0);
}

unsigned CImagePyramid::getHeight() const {
    return GetLayerHeight(0);
}

unsigned short CImagePyramid::getBPP() const {
    return hasLayer(0) ? BytesPerPixel(*m_pyramid->GetLayerAt(0)) : 0;
}

KORBAS::CBitmap* CImagePyramid::createBitmap() {
    return new CBitmapPyramidWindows(this, m_pyramid);
}

void CImagePyramid::destroyBitmap(KORBAS::CBitmap* bitmap) {
    if (bitmap && bitmap->getImage() == this) delete bitmap;
}

void CImagePyramid::set(KORBAS::CBitmap*) {}

void CImagePyramid::flush() {
    if (m_pyramid) m_pyramid->Flush();
}

int CImagePyramid::GetLayerCount() const {
    return m_pyramid ? m_pyramid->GetLayerCount() : 0;
}

int CImagePyramid::GetLayerForDisplayAt(double a, double b) {
    const int factor = ReductionForScales(a, b);
    return factor > 0 && m_pyramid ? m_pyramid->GetLayerForReduction(factor) : 0;
}

unsigned CImagePyramid::GetLayerWidth(int layer) const {
    return hasLayer(layer) ? static_cast<unsigned>(m_pyramid->GetLayerAt(layer)->GetWidth()) : 0;
}

unsigned CImagePyramid::GetLayerHeight(int layer) const {
    return hasLayer(layer) ? static_cast<unsigned>(m_pyramid->GetLayerAt(layer)->GetHeight()) : 0;
}

void CImagePyramid::GetImageDimensionAtLayer(int layer, unsigned& width, unsigned& height) {
    ExtentOfLayer(*this, layer, width, height);
}

void CImagePyramid::GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                              unsigned char* out) {
    if (hasLayer(layer)) m_pyramid->GetLayerAt(layer)->GetRegion(x0, y0, x1, y1, channel, out);
}

void CImagePyramid::GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* out) {
    if (hasLayer(layer)) m_pyramid->GetLayerAt(layer)->GetRegionRGB(x0, y0, x1, y1, out);
}

}  // namespace tarvel
