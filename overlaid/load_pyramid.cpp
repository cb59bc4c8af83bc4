// Filling an overlaid pyramid from a picture file: decode it into layer 0
// tile by tile, then halve each layer into the next.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "host/progress.h"
#include "module/module.h"
#include "overlaid/overlaid.h"
#include "pyramid/pyramid.h"
#include "pyramid/resampler.h"

namespace Image {

namespace {

// Decoded depths, by how their pixels are read.
constexpr int kMaxPaletteBits = 8;    // one byte per pixel, an index into the colour table
constexpr int kMinColourBits = 17;    // 17 to 24: blue, green, red
constexpr int kMinFourByteBits = 25;  // 25 and more: four bytes, the fourth dropped

// The progress text of each layer is formatted into this many bytes.
constexpr int kLayerTextChars = 256;

// Where a tile lies in its image.
struct tile_rect {
    int x;
    int y;
    int width;
    int height;
};

tile_rect rectOf(const COverlaidImage& image, unsigned k) {
    const COverlaidImage::COverlaidImagePart* part = image.GetPart(k);
    return {static_cast<int>(part->m_nCol * image.GetTileWidth()),
            static_cast<int>(part->m_nRow * image.GetTileHeight()),
            static_cast<int>(part->m_nWidth), static_cast<int>(part->m_nHeight)};
}

void startLayer(KORBAS::IProgressWork* progress, int layer, int last, unsigned tiles) {
    if (!progress) return;
    char text[kLayerTextChars];
    const std::string format = tarvel::LoadResourceText(tarvel::kLayerBuildingText);
    std::snprintf(text, sizeof text, format.c_str(), layer, last);
    progress->SetText(text);
    progress->SetTotal(static_cast<int>(tiles));
}

// The decoded picture, read as planes: per channel, the byte that holds it in
// a pixel and, for palette pictures, the table that turns an index into it.
class picture_source {
  public:
    explicit picture_source(const KORBAS::CBitmapWindows& bitmap) : m_bitmap(bitmap) {}

    // Chooses channels and type; false with a reason for depths without a reading.
    bool describe(std::string& why) {
        const int bits = m_bitmap.getBPP();
        if (bits > kMaxPaletteBits && bits < kMinColourBits) {
            why = "pictures of " + std::to_string(bits) + " bits per pixel are not read";
            return false;
        }
        m_indexed = bits <= kMaxPaletteBits;
        m_step = m_indexed ? 1 : bits < kMinFourByteBits ? 3 : 4;
        m_channels = 3;
        if (m_indexed) readColourTable();
        const std::int64_t offset = m_bitmap.getScanLineOffset();
        if (std::uint64_t(offset < 0 ? -offset : offset) <
            std::uint64_t{m_bitmap.getWidth()} * static_cast<unsigned>(m_step)) {
            why = "the decoded rows overlap";
            return false;
        }
        return true;
    }
    unsigned channels() const { return m_channels; }
    IImage::ImageType type() const {
        return m_channels == 1 ? IImage::kImageGrey : IImage::kImageColour;
    }

    // Channel c of the rectangle, row after row.
    void read(const tile_rect& r, unsigned c, unsigned char* out) const {
        const int offset = m_bitmap.getScanLineOffset();
        const unsigned char* top = m_indexed ? m_bitmap.getBeginImage()
                                   : c == 0  ? m_bitmap.getBeginImageRed()
                                   : c == 1  ? m_bitmap.getBeginImageGreen()
                                             : m_bitmap.getBeginImageBlue();
        for (int y = 0; y < r.height; ++y) {
            const unsigned char* from = top + static_cast<std::ptrdiff_t>(offset) * (r.y + y) +
                                        static_cast<std::ptrdiff_t>(r.x) * m_step;
            if (m_indexed) {
                const unsigned char* table = m_table[c];
                for (int x = 0; x < r.width; ++x) *out++ = table[from[x]];
            } else {
                for (int x = 0; x < r.width; ++x, from += m_step) *out++ = *from;
            }
        }
    }

  private:
    // Colours beyond the bitmap's table are black; a table of greys gives grey.
    void readColourTable() {
        const std::uint32_t used = m_bitmap.m_pInfoHeader->biClrUsed;
        unsigned n = used == 0 || used > IImage::kPaletteEntries ? IImage::kPaletteEntries : used;
        if (n > m_bitmap.getColorCount()) n = m_bitmap.getColorCount();
        const RGBQUAD* table = m_bitmap.getColorTable();
        bool grey = true;
        for (unsigned i = 0; i < IImage::kPaletteEntries; ++i) {
            const bool known = i < n;
            m_table[0][i] = known ? table[i].rgbRed : 0;
            m_table[1][i] = known ? table[i].rgbGreen : 0;
            m_table[2][i] = known ? table[i].rgbBlue : 0;
            grey = grey && m_table[0][i] == m_table[1][i] && m_table[1][i] == m_table[2][i];
        }
        if (grey) m_channels = 1;
    }

    const KORBAS::CBitmapWindows& m_bitmap;
    bool m_indexed = false;
    int m_step = 1;
    unsigned m_channels = 3;
    unsigned char m_table[3][IImage::kPaletteEntries] = {};
};

// A new layer, already held by `layers`; null with a reason when it has no tiles.
COverlaidImage* addLayer(COverlaidPyramid& layers, unsigned width, unsigned height,
                         unsigned channels, IImage::ImageType type, std::string& why) {
    auto* layer = new COverlaidImage(width, height, channels, IImage::kPixelByte, type);
    layers.PushBack(layer);
    if (!layer->HasTiles()) {
        why = "cannot make a layer of " + std::to_string(width) + " x " + std::to_string(height);
        return nullptr;
    }
    return layer;
}

bool tilesFailed(const COverlaidImage& layer, std::string& why) {
    if (!layer.HasFailed()) return false;
    why = layer.GetFailure();
    return true;
}

// Layer 0, tile by tile, all channels of a tile in a row.
bool fillFirstLayer(const picture_source& picture, COverlaidImage& layer, int last,
                    KORBAS::IProgressWork* progress, std::string& why) {
    startLayer(progress, 0, last, layer.GetPartCount());
    std::vector<unsigned char> plane(std::size_t{layer.GetTileWidth()} * layer.GetTileHeight());
    for (unsigned k = 0; k < layer.GetPartCount(); ++k) {
        const tile_rect r = rectOf(layer, k);
        for (unsigned c = 0; c < layer.GetNoChannels(); ++c) {
            picture.read(r, c, plane.data());
            layer.PutRegion(r.x, r.y, r.x + r.width - 1, r.y + r.height - 1, static_cast<int>(c),
                            plane.data());
        }
        if (progress) progress->Advance(1);
    }
    return !tilesFailed(layer, why);
}

// `to` (half of `from`, truncating) tile by tile: each tile's 2x2 blocks come
// from the rectangle of `from` twice its size.
bool halveLayer(const COverlaidImage& from, COverlaidImage& to, int index, int last,
                KORBAS::IProgressWork* progress, std::string& why) {
    startLayer(progress, index, last, to.GetPartCount());
    const std::size_t tileArea = std::size_t{to.GetTileWidth()} * to.GetTileHeight();
    std::vector<unsigned char> source(4 * tileArea);
    std::vector<unsigned char> plane(tileArea);
    for (unsigned k = 0; k < to.GetPartCount(); ++k) {
        const tile_rect r = rectOf(to, k);
        const std::size_t sourceWidth = 2 * std::size_t(r.width);
        for (unsigned c = 0; c < to.GetNoChannels(); ++c) {
            from.GetRegion(2 * r.x, 2 * r.y, 2 * (r.x + r.width) - 1, 2 * (r.y + r.height) - 1,
                           static_cast<int>(c), source.data());
            for (int j = 0; j < r.height; ++j) {
                const unsigned char* upper = source.data() + 2 * j * sourceWidth;
                tarvel::HalveRow(upper, upper + sourceWidth,
                                 plane.data() + j * std::size_t(r.width), r.width);
            }
            to.PutRegion(r.x, r.y, r.x + r.width - 1, r.y + r.height - 1, static_cast<int>(c),
                         plane.data());
        }
        if (progress) progress->Advance(1);
    }
    return !tilesFailed(from, why) && !tilesFailed(to, why);
}

bool build(COverlaidPyramid& built, const char* path, KORBAS::IProgressWork* progress,
           std::string& why) {
    unsigned width = 0, height = 0, channels = 0;
    IImage::ImageType type = IImage::kImageGrey;
    int count = 0;
    {
        std::unique_ptr<KORBAS::CBitmapWindows> bitmap;
        try {
            bitmap = std::make_unique<KORBAS::CBitmapWindows>(nullptr, path, true);
        } catch (const KORBAS::CImageDecodeException& e) {
            why = e.reason();
            return false;
        }
        picture_source picture(*bitmap);
        if (!picture.describe(why)) return false;
        width = bitmap->getWidth();
        height = bitmap->getHeight();
        if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) {
            why = "the picture has no pixels or is too large";
            return false;
        }
        channels = picture.channels();
        type = picture.type();
        count = tarvel::pyramid::CountLayers(static_cast<int>(width), static_cast<int>(height));
        COverlaidImage* first = addLayer(built, width, height, channels, type, why);
        if (!first || !fillFirstLayer(picture, *first, count - 1, progress, why)) return false;
    }  // the decoded picture is freed before the halving
    for (int i = 1; i < count; ++i) {
        width >>= 1;
        height >>= 1;
        COverlaidImage* next = addLayer(built, width, height, channels, type, why);
        if (!next || !halveLayer(*built.GetLayerAt(i - 1), *next, i, count - 1, progress, why))
            return false;
    }
    return true;
}

}  // namespace

bool LoadOverlaidPyramid(COverlaidPyramid& pyramid, const char* path,
                         KORBAS::IProgressWork* progress, std::string* reason) {
    std::string why;
    bool ok = false;
    try {
        COverlaidPyramid built;
        if (!path || !*path) {
            why = "no picture file given";
        } else if (build(built, path, progress, why)) {
            built.SetResampleMode(pyramid.GetResampleMode());
            pyramid = built;
            ok = true;
        }
    } catch (const std::bad_alloc&) {
        why = "out of memory";
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "the picture could not be read";
    }
    if (!ok && reason) *reason = std::string(path ? path : "") + ": " + why;
    return ok;
}

}  // namespace Image
