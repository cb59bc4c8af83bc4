// KORBAS::CBitmapWindows: the DIB block, pixel buffer, palette and accessors.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "host/bitmap.h"
#include "platform/platform.h"

namespace KORBAS {

namespace {

// Windows colour tables have at most 256 entries for any depth.
constexpr int kMaxColours = 256;

// Bytes per DIB row: bits rounded up to whole 32-bit words. 0 when the row
// cannot be described.
std::size_t dib_stride(int width, int bitCount) {
    const unsigned long long bits = static_cast<unsigned long long>(width) * bitCount;
    const unsigned long long bytes = (bits + 31) / 32 * 4;
    return bytes > kMaxDibBytes ? 0 : static_cast<std::size_t>(bytes);
}

// Asks the kernel to back a large pixel buffer with huge pages where it can:
// a decoded picture of hundreds of megabytes is otherwise filled through one
// page fault per 4 KiB. Only whole 2 MiB blocks inside the buffer are advised.
void advise_huge_pages(unsigned char* bits, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(bits);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)bits;
    (void)bytes;
#endif
}

bool valid_bit_count(int bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

}  // namespace

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

bool CBitmapWindows::allocDIB(int width, int height, int planes, int bitCount, int colors,
                              int compression) {
    if (planes != 1 || compression != kBiRgb) {
        freeDIB();
        return false;
    }
    return allocDIBBlock(width, height, bitCount, colors, true);
}

bool CBitmapWindows::allocDIBBlock(int width, int height, int bitCount, int colors, bool pixels) {
    freeDIB();
    if (width < 1 || height < 1 || !valid_bit_count(bitCount) || colors < 0 || colors > kMaxColours)
        return false;
    const std::size_t stride = dib_stride(width, bitCount);
    if (stride == 0 || stride > kMaxDibBytes / static_cast<std::size_t>(height)) return false;
    const std::size_t image = stride * static_cast<std::size_t>(height);

    // With no count given, a depth of 8 bits or less implies a full table.
    const int entries = colors ? colors : (bitCount <= 8 ? 1 << bitCount : 0);
    const std::size_t blockBytes =
        sizeof(BITMAPINFOHEADER) + static_cast<std::size_t>(entries) * sizeof(RGBQUAD);
    // Room for at least one RGBQUAD, so that BITMAPINFO::bmiColors always exists.
    auto* block = new (std::nothrow) unsigned char[blockBytes + sizeof(RGBQUAD)];
    if (!block) return false;
    std::memset(block, 0, blockBytes + sizeof(RGBQUAD));
    unsigned char* bits = nullptr;
    if (pixels) {
        bits = static_cast<unsigned char*>(std::malloc(image));
        if (!bits) {
            delete[] block;
            return false;
        }
        advise_huge_pages(bits, image);
    }
    m_pInfoHeader = reinterpret_cast<BITMAPINFOHEADER*>(block);
    m_pBitmapInfo = reinterpret_cast<BITMAPINFO*>(block);
    m_pBits = bits;
    BITMAPINFOHEADER& h = *m_pInfoHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    h.biCompression = kBiRgb;
    h.biSizeImage = static_cast<DWORD>(image);
    h.biClrUsed = static_cast<DWORD>(colors);
    return true;
}

bool CBitmapWindows::createPalette() {
    const unsigned n = getColorCount();
    if (!m_pInfoHeader || n == 0) return false;
    if (m_hPalette) DeleteObject(m_hPalette);
    m_hPalette = nullptr;
    // LOGPALETTE holds one entry itself; room for the others follows it.
    unsigned char storage[sizeof(LOGPALETTE) + kMaxColours * sizeof(PALETTEENTRY)] = {};
    auto* logical = reinterpret_cast<LOGPALETTE*>(storage);
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(n);
    const RGBQUAD* table = getColorTable();
    for (unsigned i = 0; i < n; ++i) {
        logical->palPalEntry[i] =
            PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    }
    m_hPalette = CreatePalette(logical);
    return m_hPalette != nullptr;
}

// The accessors below read the DIB's header, never the virtual size answers,
// which a derived bitmap may give for its owning image instead.
unsigned CBitmapWindows::getDibWidth() const {
    return m_pInfoHeader ? static_cast<unsigned>(m_pInfoHeader->biWidth) : 0;
}

unsigned CBitmapWindows::getDibHeight() const {
    if (!m_pInfoHeader) return 0;
    const long long h = m_pInfoHeader->biHeight;
    return static_cast<unsigned>(h < 0 ? -h : h);
}

unsigned short CBitmapWindows::getDibBitCount() const {
    return m_pInfoHeader ? m_pInfoHeader->biBitCount : 0;
}

unsigned CBitmapWindows::getWidth() const {
    return getDibWidth();
}

unsigned CBitmapWindows::getHeight() const {
    return getDibHeight();
}

unsigned short CBitmapWindows::getBPP() const {
    return getDibBitCount();
}

std::size_t CBitmapWindows::getStride() const {
    return m_pInfoHeader ? dib_stride(m_pInfoHeader->biWidth, m_pInfoHeader->biBitCount) : 0;
}

// Bottom-up rows (positive height) run upward in memory, top-down rows downward.
int CBitmapWindows::getScanLineOffset() const {
    if (!m_pInfoHeader) return 0;
    const int stride = static_cast<int>(getStride());
    return m_pInfoHeader->biHeight < 0 ? stride : -stride;
}

unsigned char* CBitmapWindows::getBeginImage() const {
    if (!m_pBits || !m_pInfoHeader) return nullptr;
    if (m_pInfoHeader->biHeight < 0) return m_pBits;
    return m_pBits + getStride() * (getDibHeight() - 1);
}

// DIB pixels are stored blue, green, red.
unsigned char* CBitmapWindows::getBeginImageRed() const {
    unsigned char* p = getBeginImage();
    return p && getDibBitCount() >= 24 ? p + 2 : p;
}

unsigned char* CBitmapWindows::getBeginImageGreen() const {
    unsigned char* p = getBeginImage();
    return p && getDibBitCount() >= 24 ? p + 1 : p;
}

unsigned char* CBitmapWindows::getBeginImageBlue() const {
    return getBeginImage();
}

int CBitmapWindows::getStepColor() const {
    const int bytes = getDibBitCount() / 8;
    return bytes > 0 ? bytes : 1;
}

RGBQUAD* CBitmapWindows::getColorTable() const {
    if (!m_pInfoHeader) return nullptr;
    return reinterpret_cast<RGBQUAD*>(reinterpret_cast<unsigned char*>(m_pInfoHeader) +
                                      m_pInfoHeader->biSize);
}

unsigned CBitmapWindows::getColorCount() const {
    if (!m_pInfoHeader) return 0;
    if (m_pInfoHeader->biClrUsed) return m_pInfoHeader->biClrUsed;
    return m_pInfoHeader->biBitCount <= 8 ? 1u << m_pInfoHeader->biBitCount : 0;
}

}  // namespace KORBAS
