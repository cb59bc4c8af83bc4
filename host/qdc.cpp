// QDC: a device context that owns a software surface (stub).
#include "host/qdc.h"

#include <stdexcept>

#include "platform/surface.h"

QDC::QDC(int width, int height) : m_hDC(nullptr) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxSurfacePixels)
        throw std::invalid_argument("QDC: surface size out of range");
    m_hDC = new HDC__;
    m_hDC->width = width;
    m_hDC->height = height;
    m_hDC->pixels.assign(static_cast<std::size_t>(width) * height, 0xffffffu & 0x00ffffffu);
}
QDC::~QDC() {
    delete m_hDC;
}
int QDC::GetWidth() const {
    return m_hDC->width;
}
int QDC::GetHeight() const {
    return m_hDC->height;
}
std::uint32_t QDC::GetPixel(int x, int y) const {
    return m_hDC->pixels[static_cast<std::size_t>(y) * m_hDC->width + x];
}
const std::uint32_t* QDC::GetPixels() const {
    return m_hDC->pixels.data();
}
void QDC::Clear(std::uint32_t colour) {
    m_hDC->pixels.assign(m_hDC->pixels.size(), colour);
}
bool QDC::SaveAsPNG(const char*) const {
    return false;
}
