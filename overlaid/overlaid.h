// Overlaid images: tiled in-memory images whose tiles the host's shared part
// list loads and evicts, reference-counted pyramids of them, and filling such
// a pyramid from a picture file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/parts.h"
#include "host/zun.h"

namespace KORBAS {
class IProgressWork;
}

namespace Image {

// What any image of 8-bit samples is: size, channels, pixel and image type.
//
// Owns: nothing but its reference count (zun::IRefCounter: a new image holds
// one reference, the last SubReference deletes it; the destructor is protected).
// Copies: copy construction and assignment copy the five fields; a copy starts
// with one reference of its own.
// Threads: one thread at a time.
class IImage : public zun::IRefCounter {
  public:
    // One unsigned byte per sample; the only pixel type. Every constructor and
    // SetImage store it whatever is passed.
    enum PixelType : std::int32_t { kPixelByte = 0 };
    // What channel 0 holds. Overlaid images accept grey and colour only.
    enum ImageType : std::int32_t {
        kImagePaletted = 0,  // carries a palette
        kImageGrey = 1,      // channel 0 is the grey value
        kImagePalette = 2,   // channel 0 indexes the 256-entry palette
        kImageColour = 3     // channels 0, 1, 2 are red, green, blue
    };
    struct PaletteEntry {
        unsigned char red;
        unsigned char green;
        unsigned char blue;
    };
    static constexpr unsigned kPaletteEntries = 256;

    // 0 x 0, no channels, colour.
    IImage();
    IImage(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
           ImageType imageType);
    IImage(const IImage& other) = default;
    IImage& operator=(const IImage& other) = default;

    virtual zun::String ToString() const = 0;

    unsigned GetWidth() const { return m_nWidth; }
    unsigned GetHeight() const { return m_nHeight; }
    unsigned GetNoChannels() const { return m_nChannels; }
    PixelType GetPixelType() const { return m_nPixelType; }
    ImageType GetImageType() const { return m_nImageType; }

  protected:
    ~IImage() override;
    void SetImage(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                  ImageType imageType);

    unsigned m_nWidth;
    unsigned m_nHeight;
    unsigned m_nChannels;
    PixelType m_nPixelType;
    ImageType m_nImageType;
};

// An in-memory image of 8-bit samples cut into equal tiles. Tile (col, row)
// covers columns col x tile width onwards and rows row x tile height onwards;
// the tiles of the last column and row hold what is left. Each tile buffer is
// tile height rows of channels x tile width bytes; within a row the tile's
// samples of channel 0 come first, then channel 1, then channel 2. Every
// buffer has the full tile's size, the partial ones too.
//
// Owns: its palette (types 0 and 2 only, which Create refuses, so always null
// here), one block holding every tile object in row-major order, and the
// array of their addresses. Tile buffers are not the image's to keep: a tile
// gets one when a pixel operation first touches it, and the process-wide part
// list (reserved from construction to the end of the destructor) evicts the
// least recently used unlocked tiles of any image, saving their bytes in its
// swap file, whenever its byte limit is reached.
//
// Lifetime: reference counted; create with new, release with SubReference.
// Neither images nor tiles can be copied.
//
// Pins: a pixel operation locks each tile it touches while it copies, one
// tile at a time; callers hold no tile themselves.
//
// Failure: Create returns false for a pixel type other than 0, an image type
// other than grey or colour, channels other than 1 or 3, a size or tile size
// of 0, a tile count or tile byte size beyond 32 bits, or tile objects that
// cannot be allocated; the image is then left without tiles or palette.
// Pixel operations never fail loudly: when a tile cannot be used (its buffer
// cannot be allocated, the swap file cannot be written or read, or the image
// has no tiles) the operation reads zeros for that tile's samples and drops
// its writes, the part list stays consistent, and the image records the
// failure until ClearFailure: HasFailed() turns true and GetFailure() names
// the first cause. Coordinates and channels are the caller's contract (inside
// the image, as each operation states) and are not checked.
//
// Threads: none; the part list is shared without locks, so every overlaid
// image of the process is used from one thread at a time.
class COverlaidImage : public IImage, public img::IOverlaidEntity {
  public:
    class COverlaidImagePart;

    // Images of at least this many samples (width x height x channels) are
    // cut into tiles of kTileSide x kTileSide so that only the tiles in use
    // need memory; smaller ones are a single tile.
    static constexpr std::uint64_t kTiledSamples = 1048576;
    static constexpr unsigned kTileSide = 512;

    // No tiles; reserves the shared part list.
    COverlaidImage();
    // As the default constructor, then the five-argument Create (its result
    // is dropped: test HasTiles). A class derived to use its own tiles must
    // construct empty and call Create itself, since the tiles are made before
    // its overrides exist.
    COverlaidImage(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                   ImageType imageType);
    COverlaidImage(const COverlaidImage&) = delete;
    COverlaidImage& operator=(const COverlaidImage&) = delete;

    // Chooses the tile size (kTileSide, or the whole image below kTiledSamples
    // samples) and calls the seven-argument form.
    bool Create(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                ImageType imageType);
    // Rebuilds the image with nominal tiles of tileWidth x tileHeight (reduced
    // to the image's size). The old tiles and palette go first, without a
    // flush. A refused type or channel count leaves the size as it was; every
    // later refusal already records the new size. No tile is loaded.
    bool Create(unsigned width, unsigned height, unsigned channels, PixelType pixelType,
                ImageType imageType, unsigned tileWidth, unsigned tileHeight);
    // Frees the palette and destroys the tiles (loaded ones leave the part
    // list with their buffers, unsaved). False when there were no tiles.
    bool Destroy();
    // Saves and unloads every unlocked loaded tile of this image.
    void Flush();

    const PaletteEntry* GetPalette() const { return m_pPalette; }
    // "COverlaidImage".
    zun::String ToString() const override;

    // Pixel access. x is the column, y the row (0 is the first stored row),
    // channel 0 .. channels - 1; all inside the image. Ranges are inclusive,
    // and an empty one (x1 < x0 or y1 < y0) writes nothing and uses no tile.
    // Reads are const, but they load and reorder tiles in the part list.
    void PutPixel(int x, int y, int channel, unsigned char value);
    unsigned char GetPixel(int x, int y, int channel) const;
    // x1 - x0 + 1 samples of one channel of row y.
    void GetLine(int x0, int x1, int y, int channel, unsigned char* out) const;
    // Channels 0, 1, 2 of row y into out0, out1, out2; a 1-channel image
    // gives channel 0 to all three.
    void GetLineRGB(int x0, int x1, int y, unsigned char* out0, unsigned char* out1,
                    unsigned char* out2) const;
    // One channel of the rectangle, row after row, no padding.
    void GetRegion(int x0, int y0, int x1, int y1, int channel, unsigned char* out) const;
    // The rectangle as packed colour (channel 0 + 256 x channel 1 + 65536 x
    // channel 2) for 3-channel colour images; the channel-0 sample for every
    // other image.
    void GetRegionRGB(int x0, int y0, int x1, int y1, int* out) const;
    // Writes one channel of the rectangle from `in`, laid out as GetRegion
    // gives it: the block counterpart of PutPixel.
    void PutRegion(int x0, int y0, int x1, int y1, int channel, const unsigned char* in);

    // Failures of pixel operations and Flush since the last ClearFailure.
    bool HasFailed() const { return m_bFailed; }
    // The first of them, or empty.
    const std::string& GetFailure() const { return m_failure; }
    void ClearFailure();

    // Tile geometry; all 0 and no parts without tiles.
    bool HasTiles() const { return m_ppParts != nullptr; }
    unsigned GetPartCount() const { return m_nPartCount; }
    unsigned GetTilesAcross() const { return m_nTilesAcross; }
    unsigned GetTilesDown() const { return m_nTilesDown; }
    unsigned GetTileWidth() const { return m_nTileWidth; }
    unsigned GetTileHeight() const { return m_nTileHeight; }
    unsigned GetTileBytes() const { return m_nTileBytes; }
    unsigned GetTileRowStride() const { return m_nTileRowStride; }
    // Tile index (tiles across x row + column), 0 .. GetPartCount() - 1.
    COverlaidImagePart* GetPart(unsigned index) const { return m_ppParts[index]; }
    img::COverlaidImagePartList* GetPartList() const { return m_pPartList; }

  protected:
    // Flushes this image's tiles, destroys them and releases the part list.
    ~COverlaidImage() override;

    // A derived image may use its own tile class, derived from
    // COverlaidImagePart (and only from it), by overriding both: the byte size
    // of one tile object, and its construction in place at `where` (nothing
    // when where is null). Tiles that use the derived image must be destroyed
    // by its destructor (Destroy): this destructor flushes the tiles left,
    // when the derived part of the image is already gone.
    virtual unsigned GetOverlaySize() const;
    virtual void CreateOverlay(void* where, unsigned col, unsigned row, unsigned width,
                               unsigned height);

    // Makes the tile objects for the current geometry, in one block; false,
    // with no tiles, when the block or the address array cannot be allocated.
    bool CreateOverlaies();
    // Destroys the tile objects (without a flush) and frees their block.
    void DestroyOverlaies();

    PaletteEntry* m_pPalette;
    unsigned m_nPartCount;
    unsigned m_nTilesAcross;
    unsigned m_nTilesDown;
    unsigned m_nTileBytes;
    unsigned m_nTileWidth;
    unsigned m_nTileHeight;
    unsigned m_nTileRowStride;
    COverlaidImagePart** m_ppParts;  // element 0 is also the start of the tile block
    img::COverlaidImagePartList* m_pPartList;

  private:
    class CTileUse;
    template <class Visit>
    void visitTiles(int x0, int y0, int x1, int y1, Visit&& visit) const;
    void noteFailure(const char* reason) const;
    void clearGeometry();

    mutable bool m_bFailed;
    mutable std::string m_failure;
};

// One tile: a part of the shared list whose buffer holds the tile's samples.
// Alloc, Dealloc, Attach, Detach, Load and Save are the host part's.
//
// Owns: its buffer while loaded (the part list decides when that is).
// Lifetime: constructed in place by the image's CreateOverlay and destroyed
// by the image; a loaded tile leaves the list when destroyed.
class COverlaidImage::COverlaidImagePart : public img::IOverlaidEntity::IEntityPart {
  public:
    // A tile of the owner's part list (none for a null owner) with a buffer of
    // `size` bytes once loaded; width and height are its actual size in pixels.
    COverlaidImagePart(COverlaidImage* owner, unsigned col, unsigned row, unsigned width,
                       unsigned height, unsigned size);
    ~COverlaidImagePart() override;

    // The buffer, null while the tile is not loaded.
    unsigned char* GetData() const { return static_cast<unsigned char*>(m_pData); }

    unsigned m_nCol;  // position in tiles
    unsigned m_nRow;
    unsigned m_nWidth;  // actual size in pixels
    unsigned m_nHeight;
};

class CImageOverlaidPyramid;
class CBitmapOverlaidPyramidWindows;

// The layers of one multi-resolution picture: layer 0 at full resolution,
// each further layer half the width and height of the one before.
//
// Owns: one reference to each layer, released by Clear, Destroy and the
// destructor (a layer whose last reference that was is destroyed). Copying a
// pyramid adds a reference to each of its layers, so that every pyramid
// releases only its own.
// Failure: Destroy is false without layers. GetLayerAt and the layer-0
// getters need an existing layer (test IsValid or GetLayerCount first).
// Threads: one thread at a time, like its layers.
class COverlaidPyramid {
  public:
    COverlaidPyramid();
    COverlaidPyramid(const COverlaidPyramid& other);
    COverlaidPyramid& operator=(const COverlaidPyramid& other);
    virtual ~COverlaidPyramid();

    // Appends a layer, taking over one reference from the caller. The order
    // and sizes are not checked; a null layer is ignored.
    void PushBack(COverlaidImage* layer);
    // Releases every layer, first to last, and empties the list.
    void Clear();
    // As Clear; false when there were no layers.
    bool Destroy();
    // Flushes every layer's tiles, first to last.
    void Flush();

    int GetLayerCount() const { return static_cast<int>(m_layers.size()); }
    COverlaidImage* GetLayerAt(int index) const { return m_layers[index]; }
    bool IsValid() const { return !m_layers.empty(); }

    // Layer 0's values.
    int GetWidth() const { return static_cast<int>(m_layers[0]->GetWidth()); }
    int GetHeight() const { return static_cast<int>(m_layers[0]->GetHeight()); }
    unsigned GetNoChannels() const { return m_layers[0]->GetNoChannels(); }
    IImage::PixelType GetPixelType() const { return m_layers[0]->GetPixelType(); }
    IImage::ImageType GetImageType() const { return m_layers[0]->GetImageType(); }

    // Kept for the host; nothing here reads it. 0 at construction.
    void SetResampleMode(int mode) { m_nResampleMode = mode; }
    int GetResampleMode() const { return m_nResampleMode; }

    // The layer for reduction factors a and b (image pixels per display
    // pixel): the larger decides (b when either is not a number); 0 unless it
    // exceeds 1.0, else FindBestLayer of its integer part.
    int FindBestLayer(double a, double b) const;

  protected:
    // The largest i with 2^i <= factor, at most the last layer; 0 for factors
    // below 2 and without layers.
    int FindBestLayer(int factor) const;

  private:
    // The display adapters choose layers by integer factors.
    friend class CImageOverlaidPyramid;
    friend class CBitmapOverlaidPyramidWindows;

    std::vector<COverlaidImage*> m_layers;
    int m_nResampleMode;
};

// Fills `pyramid` from the picture file at `path`: decodes it through the
// host's bitmap decoders into layer 0, then halves each layer into the next
// with 2x2 truncating box averages, as the paged pyramid's build does and
// with as many layers (until both sides are at most 240). 8-bit grey and RGB
// pictures keep their channels; palette pictures become colour, or grey when
// every palette entry is grey; 32-bit pictures become RGB (the fourth byte is
// dropped). Layers use the default tile size and go through the shared part
// list, so the picture may be larger than its limit; the decoded bitmap itself
// is held in memory until layer 0 is filled.
//
// Progress (may be null): per layer, SetText ("Building layer k of last"),
// SetTotal (its tiles), Advance(1) per tile.
// Failure: false, with the pyramid unchanged and the reason in *reason (when
// given): a file that cannot be decoded (the host's message, naming the file),
// a depth of 9 to 16 bits, a picture too large for int coordinates, memory
// running out, or a tile that could not be written. Nothing is thrown.
// Success replaces the pyramid's layers with the new ones (its resample mode stays).
bool LoadOverlaidPyramid(COverlaidPyramid& pyramid, const char* path,
                         KORBAS::IProgressWork* progress = nullptr, std::string* reason = nullptr);

}  // namespace Image
