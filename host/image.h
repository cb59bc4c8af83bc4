// KORBAS::CImage: the host's abstract image, the interface through which the
// host sizes, displays and reads every image.
#pragma once

#include <cstdint>

namespace KORBAS {

class CBitmap;

// An abstract host image.
//
// Slots, in this order: 0 the virtual destructor, then getClass, getWidth,
// getHeight, getBPP, createBitmap, destroyBitmap, set, flush (all pure), then
// the seven layer operations, which have defaults for a single-layer image:
// GetLayerCount (1), GetLayerForDisplayAt (0 for every scale), GetLayerWidth
// and GetLayerHeight (getWidth and getHeight), GetImageDimensionAtLayer (the
// full size), GetRegion and GetRegionRGB (fill the rectangle with zeros).
//
// Owns: nothing. Bitmaps from createBitmap go back through destroyBitmap of
// the same image.
// Data: two 32-bit members; the second is the smoothing flag the host sets
// for display (0 nearest-neighbour, anything else bilinear).
// Failure: the defaults cannot fail and check no coordinates; region reads
// take an inclusive rectangle x0..x1, y0..y1 and write nothing when it is empty.
// Threads: one thread at a time.
class CImage {
  public:
    virtual ~CImage();

    virtual int getClass() const = 0;
    virtual unsigned getWidth() const = 0;
    virtual unsigned getHeight() const = 0;
    // Bytes per pixel: 1 (grey or palette), 3 (RGB) or 4.
    virtual unsigned short getBPP() const = 0;
    virtual CBitmap* createBitmap() = 0;
    virtual void destroyBitmap(CBitmap* bitmap) = 0;
    virtual void set(CBitmap* bitmap) = 0;
    virtual void flush() = 0;

    virtual int GetLayerCount() const;
    virtual int GetLayerForDisplayAt(double scaleX, double scaleY);
    virtual unsigned GetLayerWidth(int layer) const;
    virtual unsigned GetLayerHeight(int layer) const;
    virtual void GetImageDimensionAtLayer(int layer, unsigned& width, unsigned& height);
    // One channel of the rectangle, row after row, (x1-x0+1)*(y1-y0+1) bytes.
    virtual void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                           unsigned char* out);
    // Packed colour (channel 0 in bits 0-7, 1 in 8-15, 2 in 16-23) per pixel.
    virtual void GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* out);

    int getSmoothing() const { return m_nSmoothing; }
    void setSmoothing(int smoothing) { m_nSmoothing = smoothing; }

    // A value of the host's own; the library never reads it. 0 at construction.
    std::int32_t m_nTag;
    // The smoothing flag: 0 nearest-neighbour display, otherwise bilinear.
    // 0 at construction.
    std::int32_t m_nSmoothing;

  protected:
    CImage();
    CImage(const CImage&) = default;
    CImage& operator=(const CImage&) = default;
};

}  // namespace KORBAS
