// Display: the host image adapters that present paged images and pyramids to
// the host, and the Windows bitmaps that fill any view of a pyramid into a
// device-independent bitmap from the layer that suits its scale and blit it.
#pragma once

#include <string>
#include <vector>

#include "display/dib_rows.h"
#include "host/bitmap.h"
#include "host/image.h"
#include "image/image.h"
#include "overlaid/overlaid.h"
#include "pyramid/pyramid.h"

class QDC;

namespace KORBAS {
class IProgressWork;
}

namespace tarvel {

// While a pyramid bitmap fills from a paged layer, the layer's cache may grow
// to hold every page the view's rows lie in (image::SetCacheBudget), so that
// a refill after a pan or a change of smoothing reads no page file again. A
// page holds whole rows, so a 1080-row view of a 10000-pixel-wide colour
// layer lies in about 33 MiB of pages. The budget never exceeds this, which
// bounds the memory a view of any image can take; wider views reread pages.
constexpr long long kMaxViewCacheBytes = 256LL << 20;

// The image window of a view, in the bitmaps' coordinates (Geometry below).
struct view_window {
    double d1, d2, d3, d4;
};

// The window that shows the rectangle [x0, x1) x [y0, y1) of layer-0 pixels,
// y counted from the top edge as rows are numbered, in a width x height view:
// each view pixel samples the centre of its share of the rectangle, so that
// at one view pixel per image pixel on whole-pixel edges the view is an exact
// copy, nearest or smooth. imageHeight is the height of layer 0.
view_window WindowForView(int imageHeight, double x0, double y0, double x1, double y1, int width,
                          int height);

// Bytes per pixel of a paged image as the host sees it: 3 for three colour
// channels (mode 2), 4 for four (mode 3), 1 for everything else.
unsigned short BytesPerPixel(const image& img);

// A single paged image presented to the host (class 1).
//
// Owns: the paged image, created empty with the adapter and deleted with it;
// fill it through getImage(). The three constructor strings are not used.
// Bitmaps: createBitmap gives a CBitmapOverlayWindows, displayed by the host's
// default display through the inherited layer operations (one layer whose
// region reads the host fills with zeros). The caller hands each bitmap back
// through destroyBitmap of this adapter before destroying the adapter.
// Failure: flush drops the image's result. Not copyable.
// Threads: one thread at a time, with its bitmaps.
class CImageOverlay : public KORBAS::CImage {
  public:
    CImageOverlay(const char*, const char*, const char*);
    ~CImageOverlay() override;
    CImageOverlay(const CImageOverlay&) = delete;
    CImageOverlay& operator=(const CImageOverlay&) = delete;

    int getClass() const override;
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    unsigned short getBPP() const override;
    KORBAS::CBitmap* createBitmap() override;
    // Deletes bitmap when this adapter made it; ignores null and the bitmaps
    // of other images.
    void destroyBitmap(KORBAS::CBitmap* bitmap) override;
    void set(KORBAS::CBitmap*) override;
    void flush() override;

    image& getImage() const { return *m_image; }

  protected:
    image* m_image;
};

// A pyramid presented to the host (class 2): its size and format are those of
// layer 0; the layer operations answer for every layer.
//
// Owns: the pyramid (deleted with the adapter; a stored pyramid's files stay).
// Bitmaps: createBitmap gives a CBitmapPyramidWindows that reads the pyramid;
// hand it back through destroyBitmap before destroying the adapter.
// Failure: the opening constructor throws CPyramidNotCreatedException when the
// directory holds no pyramid and none can be built from the source; nothing is
// left behind then (a failed build cleans up after itself). Layer operations
// answer 0 (sizes) or read nothing for a layer outside 0 .. GetLayerCount() - 1,
// and the size answers are 0 for a pyramid without layers. Not copyable.
// Threads: one thread at a time, with its bitmaps and pyramid.
class CImagePyramid : public KORBAS::CImage {
  public:
    // Opens the pyramid stored in directory without reading source; when there
    // is none, builds it there from source (when source is not null) with
    // progress reported to progress (may be null). The third string is not used.
    CImagePyramid(const char* source, const char* directory, const char*,
                  KORBAS::IProgressWork* progress);
    // Wraps p and takes ownership of it.
    explicit CImagePyramid(pyramid* p);
    // Opens or builds as the first constructor does, but answers null with
    // the reason in error (the pyramid's GetError) instead of throwing. A
    // build expands a palette source when asked (pyramid::SetExpandPalette).
    static CImagePyramid* Open(const char* source, const char* directory,
                               KORBAS::IProgressWork* progress, std::string& error,
                               bool expandPalette = false);
    ~CImagePyramid() override;
    CImagePyramid(const CImagePyramid&) = delete;
    CImagePyramid& operator=(const CImagePyramid&) = delete;

    pyramid& getPyramid() const { return *m_pyramid; }

    int getClass() const override;
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    unsigned short getBPP() const override;
    KORBAS::CBitmap* createBitmap() override;
    void destroyBitmap(KORBAS::CBitmap* bitmap) override;
    void set(KORBAS::CBitmap*) override;
    void flush() override;
    int GetLayerCount() const override;
    // The layer for display scales a and b (display pixels per layer-0 pixel):
    // the layer of the integer part of the larger reduction 1/a or 1/b.
    int GetLayerForDisplayAt(double a, double b) override;
    unsigned GetLayerWidth(int layer) const override;
    unsigned GetLayerHeight(int layer) const override;
    // The extent, in layer-0 pixels, that a layer covers: its size shifted
    // left by the layer number.
    void GetImageDimensionAtLayer(int layer, unsigned& width, unsigned& height) override;
    void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                   unsigned char* out) override;
    void GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* out) override;

  protected:
    bool hasLayer(int layer) const;
    // Opens the pyramid stored in directory, else builds it from source.
    static bool openOrBuild(pyramid& p, const char* source, const char* directory,
                            KORBAS::IProgressWork* progress);

    pyramid* m_pyramid;
};

// The bitmap of a CImageOverlay: the host's DIB with this family's owner
// links. Its size and depth answers are the owning image's.
// Owns: the DIB and palette of its base. Threads: as its owner.
class CBitmapOverlayWindows : public KORBAS::CBitmapWindows {
  public:
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    unsigned short getBPP() const override;

  protected:
    friend class CImageOverlay;
    CBitmapOverlayWindows(KORBAS::CImage* owner, image* img);

    image* m_image;  // the owner's image; not owned, not read
};

// What the pyramid bitmaps share: filling a DIB the size of the device
// rectangle with the view of an image window, from the layer that suits the
// view's reduction, and blitting it.
//
// Geometry: DisplayBitmap(dc, x1, y1, x2, y2, d1, d2, d3, d4) names the device
// rectangle by its lower-left (x1, y1) and upper-right (x2, y2) corners,
// inclusive, device y growing downward; and the image window by the layer-0
// coordinates (d1, d2) and (d3, d4) shown at those corners, image y growing
// upward from the bottom edge. DIB column i samples x = d1 + i * sx, the DIB
// row H - 1 - j (row 0 at the top) samples y = d2 + j * sy. Windows reaching
// beyond the image repeat its edges. A rectangle one pixel wide (or high)
// samples only d1 (or d2); its window's width (or height) still counts as the
// reduction in that direction.
//
// Fill: skipped when the rectangle, the window, the owner's smoothing flag and
// the source's state (brightness and contrast, or the flush count) are those
// of the last fill. The DIB (8 bits with the grey ramp or layer 0's palette,
// or 24 bits) is reallocated only when the rectangle's size changes.
// Owns: the DIB and palette (base) and the index tables; refers to the
// owner and its pyramid without owning them, and must not outlive the owner.
// Failure: a rectangle of zero or negative size, or a DIB beyond
// KORBAS::kMaxDibBytes, draws nothing and leaves the last picture; so does a
// layer 0 of an unknown type. Mirrored windows (d3 < d1, d4 < d2) are not
// supported: they show edge samples, never read outside a layer.
// Not copyable. Threads: one thread at a time, with the owner.
class CBitmapViewWindows : public KORBAS::CBitmapWindows {
  public:
    ~CBitmapViewWindows() override;
    CBitmapViewWindows(const CBitmapViewWindows&) = delete;
    CBitmapViewWindows& operator=(const CBitmapViewWindows&) = delete;

    // The owning image's size and bytes per pixel, not the DIB's.
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    unsigned short getBPP() const override;

    // Fills (unless nothing changed) and blits the whole DIB with its
    // upper-left corner at device point (x1, y2), after selecting and
    // realising its palette.
    void DisplayBitmap(QDC& dc, int x1, int y1, int x2, int y2, double d1, double d2, double d3,
                       double d4) override;

    // Fills the DIB with the view of the window in a width x height picture,
    // as DisplayBitmap would for the rectangle (0, height - 1, width - 1, 0),
    // without drawing it: for callers without a device surface. True when
    // the DIB holds that picture; read it through getBeginImage,
    // getScanLineOffset, getStride and getColorTable.
    bool FillView(int width, int height, const view_window& window);

    // The layer of the last fill, and how many fills have run (repaints that
    // were skipped do not count).
    int GetFillLayer() const { return m_layer; }
    long long GetFillCount() const { return m_fillCount; }

  protected:
    explicit CBitmapViewWindows(KORBAS::CImage* owner);

    void FillBitmap(int x1, int y1, int x2, int y2, double d1, double d2, double d3, double d4);
    // Column and row tables for a layer (nearest, or with 8 fraction bits
    // when smoothing is not 0).
    void FillIndexes(int layer, int smoothing, int width, double x0, double sx, int height,
                     double y0, double sy);

    // What the two kinds of pyramid differ in.
    virtual int layerCount() const = 0;
    virtual int layerForReduction(int factor) const = 0;
    // Makes `layer` the one the fill reads.
    virtual void useLayer(int layer) = 0;
    // Layer 0's image type (1 grey, 2 palette, 3 colour) and palette.
    virtual int firstLayerType() const = 0;
    virtual const unsigned char* firstLayerPalette() const = 0;
    // Whether the samples may have changed since storeSourceState ran.
    virtual bool sourceChanged() const = 0;
    virtual void storeSourceState() = 0;
    // Fills the DIB from the tables, nearest or smooth.
    virtual void fillPixels(bool smooth) = 0;

    int m_layer;                // layer of the last fill
    std::vector<int> m_column;  // source column of each DIB column
    std::vector<int> m_row;     // source row of each DIB row
    int m_x1, m_y1, m_x2, m_y2;
    int m_dibWidth, m_dibHeight;
    double m_d1, m_d2, m_d3, m_d4;
    int m_smoothing;
    long long m_fillCount;
};

// The bitmap of a CImagePyramid: fills from the pyramid's paged layers,
// reading each layer row in place in its page. A fill lets the layer's cache
// hold the pages of the view's rows (up to kMaxViewCacheBytes); the layer gets
// its default cache back when a later fill reads another layer and when the
// bitmap is destroyed. Two bitmaps of one pyramid share the layers' caches.
class CBitmapPyramidWindows : public CBitmapViewWindows {
  public:
    ~CBitmapPyramidWindows() override;

    // Whether fills let the layer's cache hold the view's rows (the default),
    // or leave every layer its default cache, rereading page files when a
    // view's rows lie in more pages than that holds.
    void SetViewCache(bool enabled);

  protected:
    friend class CImagePyramid;
    CBitmapPyramidWindows(KORBAS::CImage* owner, pyramid* p);

    int layerCount() const override;
    int layerForReduction(int factor) const override;
    void useLayer(int layer) override;
    int firstLayerType() const override;
    const unsigned char* firstLayerPalette() const override;
    bool sourceChanged() const override;
    void storeSourceState() override;
    void fillPixels(bool smooth) override;
    void sizeLayerCache(bool smooth);

    pyramid* m_pyramid;    // the owner's pyramid; not owned
    image* m_layerImage;   // the layer of the last fill
    image* m_budgetImage;  // the layer whose cache this bitmap enlarged, or null
    bool m_viewCache;
    double m_brightness, m_contrast;
};

}  // namespace tarvel

namespace Image {

// An overlaid pyramid presented to the host (class 3): size and format are
// those of layer 0, the layer operations answer for every layer.
//
// Owns: the overlaid pyramid (deleted with the adapter, releasing its
// references to the layers). flush counts its calls, so that bitmaps notice
// that tiles may have changed and fill again.
// Bitmaps: createBitmap gives a CBitmapOverlaidPyramidWindows; hand it back
// through destroyBitmap before destroying the adapter.
// Failure: as CImagePyramid: sizes 0 and no reads outside the layers or
// without them. Not copyable.
// Threads: as every overlaid image, the thread that uses the part list.
class CImageOverlaidPyramid : public KORBAS::CImage {
  public:
    // Wraps p and takes ownership of it.
    explicit CImageOverlaidPyramid(COverlaidPyramid* p);
    ~CImageOverlaidPyramid() override;
    CImageOverlaidPyramid(const CImageOverlaidPyramid&) = delete;
    CImageOverlaidPyramid& operator=(const CImageOverlaidPyramid&) = delete;

    COverlaidPyramid* GetPyramid() const { return m_pyramid; }
    // How many times flush has run.
    int GetFlush() const { return m_flush; }

    int getClass() const override;
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    // 1, or layer 0's channel count for a colour layer 0.
    unsigned short getBPP() const override;
    KORBAS::CBitmap* createBitmap() override;
    void destroyBitmap(KORBAS::CBitmap* bitmap) override;
    void set(KORBAS::CBitmap*) override;
    // Counts the call, then saves and unloads every layer's tiles.
    void flush() override;
    int GetLayerCount() const override;
    int GetLayerForDisplayAt(double a, double b) override;
    unsigned GetLayerWidth(int layer) const override;
    unsigned GetLayerHeight(int layer) const override;
    void GetImageDimensionAtLayer(int layer, unsigned& width, unsigned& height) override;
    void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                   unsigned char* out) override;
    void GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* out) override;

  protected:
    COverlaidImage* layerAt(int layer) const;

    COverlaidPyramid* m_pyramid;
    int m_flush;
};

// The bitmap of a CImageOverlaidPyramid: fills from the overlaid layers,
// reading the span of each layer row a view needs with GetLine or GetLineRGB
// into buffers of its own. A flush of the owner makes the next repaint fill.
class CBitmapOverlaidPyramidWindows : public tarvel::CBitmapViewWindows {
  protected:
    friend class CImageOverlaidPyramid;
    CBitmapOverlaidPyramidWindows(CImageOverlaidPyramid* owner, COverlaidPyramid* p);

    int layerCount() const override;
    int layerForReduction(int factor) const override;
    void useLayer(int layer) override;
    int firstLayerType() const override;
    const unsigned char* firstLayerPalette() const override;
    bool sourceChanged() const override;
    void storeSourceState() override;
    void fillPixels(bool smooth) override;

    CImageOverlaidPyramid* m_owner;
    COverlaidPyramid* m_pyramid;   // the owner's pyramid; not owned
    COverlaidImage* m_layerImage;  // the layer of the last fill
    int m_flushCount;              // the owner's flush count at the last fill
};

}  // namespace Image
