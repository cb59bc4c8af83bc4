// Image::COverlaidImage pixel access: single samples, row spans and
// rectangles, each touched tile used once per call and copied in blocks.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "overlaid/overlaid.h"

namespace Image {

namespace {

constexpr char kNoTiles[] = "the image has no tiles";

}  // namespace

// Uses one tile through the part list for the lifetime of the object. When
// the tile cannot be loaded, data() is null and the image records why.
class COverlaidImage::CTileUse {
  public:
    CTileUse(const COverlaidImage& image, COverlaidImagePart* part) : m_part(part) {
        try {
            m_data = static_cast<unsigned char*>(part->m_pList->UsePart(part));
        } catch (const std::bad_alloc&) {
            image.noteFailure("out of memory for a tile buffer");
        } catch (const std::system_error& e) {
            image.noteFailure((std::string("tile swap file: ") + e.what()).c_str());
        } catch (const std::exception& e) {
            image.noteFailure(e.what());
        } catch (...) {
            image.noteFailure("a tile could not be loaded");
        }
    }
    ~CTileUse() {
        if (m_data) img::IOverlaidEntity::IEntityPartList::ReleasePart(m_part);
    }
    CTileUse(const CTileUse&) = delete;
    CTileUse& operator=(const CTileUse&) = delete;

    unsigned char* data() const { return m_data; }

  private:
    COverlaidImagePart* m_part;
    unsigned char* m_data = nullptr;
};

// Walks the tiles under columns x0..x1 and rows y0..y1 in row-major order,
// using each once. For each it calls visit(at, rows, width, offset): at is the
// tile's byte of channel 0 at the first pixel of the piece (null when the tile
// could not be used), rows and width the piece's size, offset the index of
// that pixel in a row-major buffer of the whole rectangle.
template <class Visit>
void COverlaidImage::visitTiles(int x0, int y0, int x1, int y1, Visit&& visit) const {
    if (x1 < x0 || y1 < y0) return;
    const unsigned width = static_cast<unsigned>(x1 - x0) + 1;
    unsigned rows = static_cast<unsigned>(y1 - y0) + 1;
    if (!m_ppParts) {
        noteFailure(kNoTiles);
        visit(nullptr, rows, width, std::size_t{0});
        return;
    }
    const unsigned firstColumn = static_cast<unsigned>(x0) % m_nTileWidth;
    unsigned tileRow = static_cast<unsigned>(y0) / m_nTileHeight;
    unsigned rowInTile = static_cast<unsigned>(y0) % m_nTileHeight;
    std::size_t bandOffset = 0;
    while (rows > 0) {
        const unsigned band = std::min(rows, m_nTileHeight - rowInTile);
        std::size_t k =
            std::size_t{m_nTilesAcross} * tileRow + static_cast<unsigned>(x0) / m_nTileWidth;
        unsigned column = firstColumn;
        std::size_t offset = bandOffset;
        for (unsigned cols = width; cols > 0; ++k) {
            const unsigned m = std::min(cols, m_nTileWidth - column);
            CTileUse use(*this, m_ppParts[k]);
            unsigned char* at = use.data();
            if (at) at += std::size_t{m_nTileRowStride} * rowInTile + column;
            visit(at, band, m, offset);
            cols -= m;
            offset += m;
            column = 0;
        }
        rows -= band;
        bandOffset += std::size_t{band} * width;
        rowInTile = 0;
        ++tileRow;
    }
}

void COverlaidImage::PutPixel(int x, int y, int channel, unsigned char value) {
    if (!m_ppParts) return noteFailure(kNoTiles);
    const unsigned ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
    CTileUse use(*this,
                 m_ppParts[std::size_t{m_nTilesAcross} * (uy / m_nTileHeight) + ux / m_nTileWidth]);
    if (use.data()) {
        use.data()[std::size_t{m_nTileRowStride} * (uy % m_nTileHeight) +
                   std::size_t{m_nTileWidth} * channel + ux % m_nTileWidth] = value;
    }
}

unsigned char COverlaidImage::GetPixel(int x, int y, int channel) const {
    if (!m_ppParts) {
        noteFailure(kNoTiles);
        return 0;
    }
    const unsigned ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
    CTileUse use(*this,
                 m_ppParts[std::size_t{m_nTilesAcross} * (uy / m_nTileHeight) + ux / m_nTileWidth]);
    if (!use.data()) return 0;
    return use.data()[std::size_t{m_nTileRowStride} * (uy % m_nTileHeight) +
                      std::size_t{m_nTileWidth} * channel + ux % m_nTileWidth];
}

void COverlaidImage::GetLine(int x0, int x1, int y, int channel, unsigned char* out) const {
    GetRegion(x0, y, x1, y, channel, out);
}

void COverlaidImage::GetLineRGB(int x0, int x1, int y, unsigned char* out0, unsigned char* out1,
                                unsigned char* out2) const {
    // A single channel gives the same samples to all three.
    const std::size_t plane = m_nChannels == 3 ? m_nTileWidth : 0;
    visitTiles(x0, y, x1, y, [&](const unsigned char* at, unsigned, unsigned m, std::size_t i) {
        if (!at) {
            std::memset(out0 + i, 0, m);
            std::memset(out1 + i, 0, m);
            std::memset(out2 + i, 0, m);
            return;
        }
        std::memcpy(out0 + i, at, m);
        std::memcpy(out1 + i, at + plane, m);
        std::memcpy(out2 + i, at + 2 * plane, m);
    });
}

void COverlaidImage::GetRegion(int x0, int y0, int x1, int y1, int channel,
                               unsigned char* out) const {
    const std::size_t width = static_cast<std::size_t>(x1 - x0) + 1;
    const std::size_t stride = m_nTileRowStride;
    const std::size_t plane = std::size_t{m_nTileWidth} * channel;
    visitTiles(x0, y0, x1, y1,
               [&](const unsigned char* at, unsigned rows, unsigned m, std::size_t i) {
                   unsigned char* to = out + i;
                   for (unsigned r = 0; r < rows; ++r, to += width) {
                       if (at)
                           std::memcpy(to, at + plane + r * stride, m);
                       else
                           std::memset(to, 0, m);
                   }
               });
}

void COverlaidImage::PutRegion(int x0, int y0, int x1, int y1, int channel,
                               const unsigned char* in) {
    const std::size_t width = static_cast<std::size_t>(x1 - x0) + 1;
    const std::size_t stride = m_nTileRowStride;
    const std::size_t plane = std::size_t{m_nTileWidth} * channel;
    visitTiles(x0, y0, x1, y1, [&](unsigned char* at, unsigned rows, unsigned m, std::size_t i) {
        if (!at) return;
        const unsigned char* from = in + i;
        for (unsigned r = 0; r < rows; ++r, from += width)
            std::memcpy(at + plane + r * stride, from, m);
    });
}

void COverlaidImage::GetRegionRGB(int x0, int y0, int x1, int y1, int* out) const {
    const std::size_t width = static_cast<std::size_t>(x1 - x0) + 1;
    const std::size_t stride = m_nTileRowStride;
    const std::size_t plane = m_nTileWidth;
    const bool colour = m_nImageType == kImageColour && m_nChannels == 3;
    visitTiles(x0, y0, x1, y1,
               [&](const unsigned char* at, unsigned rows, unsigned m, std::size_t i) {
                   int* to = out + i;
                   for (unsigned r = 0; r < rows; ++r, to += width) {
                       if (!at) {
                           std::memset(to, 0, m * sizeof(int));
                           continue;
                       }
                       const unsigned char* red = at + r * stride;
                       if (colour) {
                           const unsigned char* green = red + plane;
                           const unsigned char* blue = red + 2 * plane;
                           for (unsigned x = 0; x < m; ++x)
                               to[x] = static_cast<int>(red[x] | green[x] << 8 | blue[x] << 16);
                       } else {
                           for (unsigned x = 0; x < m; ++x) to[x] = red[x];
                       }
                   }
               });
}

}  // namespace Image
