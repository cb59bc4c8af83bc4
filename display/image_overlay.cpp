// CImageOverlay and CBitmapOverlayWindows: a single paged image presented to
// the host, displayed by the host's own bitmap.
#include "display/display.h"

namespace tarvel {

unsigned short BytesPerPixel(const image& img) {
    switch (img.GetMode()) {
        case 2:
            return 3;
        case 3:
            return 4;
        default:
            return 1;
    }
}

CImageOverlay::CImageOverlay(const char*, const char*, const char*) : m_image(new image) {}

CImageOverlay::~CImageOverlay() {
    delete m_image;
}

int CImageOverlay::getClass() const {
    return 1;
}

unsigned CImageOverlay::getWidth() const {
    return static_cast<unsigned>(m_image->GetWidth());
}

unsigned CImageOverlay::getHeight() const {
    return static_cast<unsigned>(m_image->GetHeight());
}

unsigned short CImageOverlay::getBPP() const {
    return BytesPerPixel(*m_image);
}

KORBAS::CBitmap* CImageOverlay::createBitmap() {
    return new CBitmapOverlayWindows(this, m_image);
}

void CImageOverlay::destroyBitmap(KORBAS::CBitmap* bitmap) {
    if (bitmap && bitmap->getImage() == this) delete bitmap;
}

void CImageOverlay::set(KORBAS::CBitmap*) {}

void CImageOverlay::flush() {
    m_image->Flush();
}

CBitmapOverlayWindows::CBitmapOverlayWindows(KORBAS::CImage* owner, image* img)
    : CBitmapWindows(owner), m_image(img) {}

unsigned CBitmapOverlayWindows::getWidth() const {
    return m_pImage ? m_pImage->getWidth() : 0;
}

unsigned CBitmapOverlayWindows::getHeight() const {
    return m_pImage ? m_pImage->getHeight() : 0;
}

unsigned short CBitmapOverlayWindows::getBPP() const {
    return m_pImage ? m_pImage->getBPP() : 0;
}

}  // namespace tarvel
