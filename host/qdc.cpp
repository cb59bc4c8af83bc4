// QDC: a device context that owns a software surface, and its PNG export.
#include "host/qdc.h"

#include <stdexcept>

#include "host/png_writer.h"
#include "platform/surface.h"

namespace {

// The colour of a new surface.
constexpr std::uint32_t kWhite = 0x00ffffff;

}  // namespace

QDC::QDC(int width, int height) : m_hDC(nullptr) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxSurfacePixels)
        throw std::invalid_argument("QDC: surface size out of range");
    m_hDC = new HDC__;
    m_hDC->width = width;
    m_hDC->height = height;
    m_hDC->pixels.assign(static_cast<std::size_t>(width) * height, kWhite);
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

// Surface pixels 0x00RRGGBB lie in memory (little-endian) as blue, green, red
// and a zero byte: the rows of a 32-bit DIB, which the writer takes as they are.
bool QDC::SaveAsPNG(const char* path, int level, std::string* error) const {
    KORBAS::CPngWriter writer;
    const auto* rows = reinterpret_cast<const unsigned char*>(m_hDC->pixels.data());
    const bool ok =
        writer.Open(path, m_hDC->width, m_hDC->height, 32, nullptr, 0, level) &&
        writer.WriteRows(rows, m_hDC->height, static_cast<std::ptrdiff_t>(m_hDC->width) * 4) &&
        writer.Finish();
    if (!ok && error) *error = writer.GetError();
    return ok;
}
