// KORBAS::CBitmap and CBitmapWindows: DIB allocation, palette and accessors.
#include "host/bitmap.h"

#include <cstdlib>
#include <new>

namespace KORBAS {

CImageDecodeException::CImageDecodeException(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), m_path(path), m_reason(reason) {}

CBitmap::CBitmap(CImage* owner) : m_pImage(owner) {}
CBitmap::~CBitmap() = default;

CBitmapWindows::CBitmapWindows(CImage* owner)
    : CBitmap(owner),
      m_pInfoHeader(nullptr),
      m_pBits(nullptr),
      m_pBitmapInfo(nullptr),
      m_hPalette(nullptr) {}

CBitmapWindows::~CBitmapWindows() {
    freeDIB();
}

void CBitmapWindows::freeDIB() {
    if (m_hPalette) DeleteObject(m_hPalette);
    m_hPalette = nullptr;
    std::free(m_pBits);
    m_pBits = nullptr;
    delete[] reinterpret_cast<unsigned char*>(m_pInfoHeader);
    m_pInfoHeader = nullptr;
    m_pBitmapInfo = nullptr;
}

unsigned CBitmapWindows::getWidth() const {
    return 0;
}
unsigned CBitmapWindows::getHeight() const {
    return 0;
}
unsigned short CBitmapWindows::getBPP() const {
    return 0;
}
int CBitmapWindows::getScanLineOffset() const {
    return 0;
}
unsigned char* CBitmapWindows::getBeginImage() const {
    return nullptr;
}
unsigned char* CBitmapWindows::getBeginImageRed() const {
    return nullptr;
}
unsigned char* CBitmapWindows::getBeginImageGreen() const {
    return nullptr;
}
unsigned char* CBitmapWindows::getBeginImageBlue() const {
    return nullptr;
}
int CBitmapWindows::getStepColor() const {
    return 0;
}
RGBQUAD* CBitmapWindows::getColorTable() const {
    return nullptr;
}
unsigned CBitmapWindows::getColorCount() const {
    return 0;
}
std::size_t CBitmapWindows::getStride() const {
    return 0;
}
bool CBitmapWindows::allocDIB(int, int, int, int, int, int) {
    return false;
}
bool CBitmapWindows::createPalette() {
    return false;
}
void CBitmapWindows::DisplayBitmap(QDC&, int, int, int, int, double, double, double, double) {}

namespace {
std::size_t g_decodeLimit = kMaxDibBytes;
}

void CBitmapWindows::SetDecodeLimit(std::size_t bytes) {
    g_decodeLimit = bytes < kMaxDibBytes ? bytes : kMaxDibBytes;
}
std::size_t CBitmapWindows::GetDecodeLimit() {
    return g_decodeLimit;
}

CBitmapWindows::CBitmapWindows(CImage* owner, const char* path, bool) : CBitmapWindows(owner) {
    throw CImageDecodeException(path ? path : "", "decoding is not implemented yet");
}

}  // namespace KORBAS
