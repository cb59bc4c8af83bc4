// Image::COverlaidImage: tile geometry, the block of tile objects, and the
// image's life on the shared part list.
#include <cstdint>
#include <new>

#include "overlaid/overlaid.h"

namespace Image {

using Part = COverlaidImage::COverlaidImagePart;

COverlaidImage::COverlaidImage()
    : m_pPalette(nullptr),
      m_nPartCount(0),
      m_nTilesAcross(0),
      m_nTilesDown(0),
      m_nTileBytes(0),
      m_nTileWidth(0),
      m_nTileHeight(0),
      m_nTileRowStride(0),
      m_ppParts(nullptr),
      m_pPartList(img::COverlaidImagePartList::ReserveInstance()),
      m_bFailed(false) {}

COverlaidImage::COverlaidImage(unsigned width, unsigned height, unsigned channels,
                               PixelType pixelType, ImageType imageType)
    : COverlaidImage() {
    Create(width, height, channels, pixelType, imageType);
}

COverlaidImage::~COverlaidImage() {
    try {
        m_pPartList->Flush(this);
    } catch (...) {
        // A tile that cannot be saved is destroyed all the same just below.
    }
    delete[] m_pPalette;
    DestroyOverlaies();
    img::COverlaidImagePartList::ReleaseInstance();
}

bool COverlaidImage::Create(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                            ImageType imageType) {
    // Counted in 64 bits, so that a huge image never wraps into a single tile.
    const bool tiled = std::uint64_t{width} * height * channels >= kTiledSamples;
    return Create(width, height, channels, pixelType, imageType, tiled ? kTileSide : width,
                  tiled ? kTileSide : height);
}

bool COverlaidImage::Create(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                            ImageType imageType, unsigned tileWidth, unsigned tileHeight) {
    delete[] m_pPalette;
    m_pPalette = nullptr;
    DestroyOverlaies();
    if (pixelType != kPixelByte || (imageType != kImageGrey && imageType != kImageColour) ||
        (channels != 1 && channels != 3)) {
        return false;
    }
    SetImage(width, height, channels, pixelType, imageType);
    if (width == 0 || height == 0 || tileWidth == 0 || tileHeight == 0) return false;
    const unsigned tw = tileWidth < width ? tileWidth : width;
    const unsigned th = tileHeight < height ? tileHeight : height;
    const std::uint64_t across = (std::uint64_t{width} + tw - 1) / tw;
    const std::uint64_t down = (std::uint64_t{height} + th - 1) / th;
    const std::uint64_t stride = std::uint64_t{channels} * tw;
    // Tile counts and byte sizes are 32-bit throughout the part list.
    if (across * down > UINT32_MAX || stride * th > UINT32_MAX) return false;
    m_nTileWidth = tw;
    m_nTileHeight = th;
    m_nTilesAcross = static_cast<unsigned>(across);
    m_nTilesDown = static_cast<unsigned>(down);
    m_nTileRowStride = static_cast<unsigned>(stride);
    m_nPartCount = static_cast<unsigned>(across * down);
    m_nTileBytes = static_cast<unsigned>(stride * th);
    return CreateOverlaies();
}

bool COverlaidImage::Destroy() {
    delete[] m_pPalette;
    m_pPalette = nullptr;
    if (!m_ppParts) return false;
    DestroyOverlaies();
    return true;
}

void COverlaidImage::Flush() {
    try {
        m_pPartList->Flush(this);
    } catch (const std::exception& e) {
        noteFailure(e.what());
    } catch (...) {
        noteFailure("a tile could not be saved");
    }
}

zun::String COverlaidImage::ToString() const {
    return zun::String("COverlaidImage");
}

unsigned COverlaidImage::GetOverlaySize() const {
    return sizeof(Part);
}

void COverlaidImage::CreateOverlay(void* where, unsigned col, unsigned row, unsigned width,
                                   unsigned height) {
    if (where) new (where) Part(this, col, row, width, height, m_nTileBytes);
}

bool COverlaidImage::CreateOverlaies() {
    const std::size_t size = GetOverlaySize();
    void* block = ::operator new (std::size_t{m_nPartCount} * size, std::nothrow);
    Part** parts = new (std::nothrow) Part*[m_nPartCount];
    if (!block || !parts) {
        ::operator delete(block);
        delete[] parts;
        clearGeometry();
        return false;
    }
    const unsigned lastWidth = m_nWidth - m_nTileWidth * (m_nTilesAcross - 1);
    const unsigned lastHeight = m_nHeight - m_nTileHeight * (m_nTilesDown - 1);
    std::size_t k = 0;
    for (unsigned r = 0; r < m_nTilesDown; ++r) {
        const unsigned height = r + 1 < m_nTilesDown ? m_nTileHeight : lastHeight;
        for (unsigned c = 0; c < m_nTilesAcross; ++c, ++k) {
            parts[k] = reinterpret_cast<Part*>(static_cast<unsigned char*>(block) + k * size);
            CreateOverlay(parts[k], c, r, c + 1 < m_nTilesAcross ? m_nTileWidth : lastWidth,
                          height);
        }
    }
    m_ppParts = parts;
    return true;
}

void COverlaidImage::DestroyOverlaies() {
    if (m_ppParts) {
        // The tile objects live in one block, so they are destroyed in place.
        for (unsigned k = 0; k < m_nPartCount; ++k) m_ppParts[k]->~Part();
        ::operator delete(static_cast<void*>(m_ppParts[0]));
        delete[] m_ppParts;
        m_ppParts = nullptr;
    }
    clearGeometry();
}

void COverlaidImage::clearGeometry() {
    m_nPartCount = m_nTilesAcross = m_nTilesDown = 0;
    m_nTileBytes = m_nTileWidth = m_nTileHeight = m_nTileRowStride = 0;
}

void COverlaidImage::noteFailure(const char* reason) const {
    if (m_bFailed) return;
    m_bFailed = true;
    try {
        m_failure = reason;
    } catch (...) {
        // Out of memory for the text: the flag alone still tells.
    }
}

void COverlaidImage::ClearFailure() {
    m_bFailed = false;
    m_failure.clear();
}

Part::COverlaidImagePart(COverlaidImage* owner, unsigned col, unsigned row, unsigned width,
                         unsigned height, unsigned size)
    : IEntityPart(owner, owner ? owner->m_pPartList : nullptr, size),
      m_nCol(col),
      m_nRow(row),
      m_nWidth(width),
      m_nHeight(height) {}

Part::~COverlaidImagePart() = default;

}  // namespace Image
