// KORBAS::CImage: construction and the defaults of the layer operations.
#include <cstddef>
#include <cstring>

#include "host/image.h"

namespace KORBAS {

namespace {

// Pixels of an inclusive rectangle, 0 when it is empty.
std::size_t rectangle_pixels(int x0, int y0, int x1, int y1) {
    if (x1 < x0 || y1 < y0) return 0;
    return static_cast<std::size_t>(static_cast<long long>(x1) - x0 + 1) *
           static_cast<std::size_t>(static_cast<long long>(y1) - y0 + 1);
}

}  // namespace

CImage::CImage() : m_nTag(0), m_nSmoothing(0) {}

CImage::~CImage() = default;

int CImage::GetLayerCount() const {
    return 1;
}

int CImage::GetLayerForDisplayAt(double, double) {
    return 0;
}

unsigned CImage::GetLayerWidth(int) const {
    return getWidth();
}

unsigned CImage::GetLayerHeight(int) const {
    return getHeight();
}

void CImage::GetImageDimensionAtLayer(int, unsigned& width, unsigned& height) {
    width = getWidth();
    height = getHeight();
}

void CImage::GetRegion(int, int x0, int y0, int x1, int y1, int, unsigned char* out) {
    const std::size_t n = rectangle_pixels(x0, y0, x1, y1);
    if (n) std::memset(out, 0, n);
}

void CImage::GetRegionRGB(int, int x0, int y0, int x1, int y1, int* out) {
    const std::size_t n = rectangle_pixels(x0, y0, x1, y1);
    if (n) std::memset(out, 0, n * sizeof(int));
}

}  // namespace KORBAS
