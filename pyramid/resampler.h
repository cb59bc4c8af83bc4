// The resampler: turns a rectangle of one paged image into a whole new paged
// image of a given size, channel plane by channel plane. Internal to tarvel;
// the pyramid build and capture use it.
#pragma once

#include "image/image.h"

namespace KORBAS {
class IProgressWork;
}

namespace tarvel {

// A resampler reads a rectangle of a source image and writes a whole
// destination image.
//
// Owns: nothing. The source and destination images are the caller's and must
// outlive Execute; they must be two different images.
// Failure: Execute returns false when there is no valid source or the
// destination cannot be created (bad type or size); nothing is written then.
// Threads: one thread per resampler; the two images are not used elsewhere
// while Execute runs.
class IImageResampler {
  public:
    virtual ~IImageResampler() = default;
    virtual void SetSource(image* source, int x, int y, int width, int height) = 0;
    // The position is recorded and not used: Execute recreates the whole
    // destination at width x height.
    virtual void SetDestination(image* destination, int x, int y, int width, int height) = 0;
    virtual bool Execute(KORBAS::IProgressWork* progress) = 0;
};

// Records the source rectangle and the destination size; its Execute does
// nothing and returns false.
class CImageResampler : public IImageResampler {
  public:
    void SetSource(image* source, int x, int y, int width, int height) override;
    void SetDestination(image* destination, int x, int y, int width, int height) override;
    bool Execute(KORBAS::IProgressWork* progress) override;

  protected:
    image* m_destination = nullptr;
    image* m_source = nullptr;
    int m_srcX = 0;
    int m_srcY = 0;
    int m_srcWidth = 0;
    int m_srcHeight = 0;
    int m_dstX = 0;
    int m_dstY = 0;
    int m_dstWidth = 0;
    int m_dstHeight = 0;
};

// Recreates the destination with the source's type and mode (and palette) and
// fills it with the kernel the sizes call for, in this order: equal sizes
// copy, exactly half (truncating) averages 2x2 blocks, sources with both
// sides at most 2896 use integer bilinear positions, all others double ones.
// Channels 0 to 2 are resampled (a fourth channel is not). With a progress
// sink, SetTotal(rows, three times that for colour) comes first, then
// Advance(1) per destination row of every kernel except the copy.
//
// Samples outside the source image are never read: positions outside it, and
// the right and lower neighbours of its last column and row, read the nearest
// edge sample.
class CImageResampler_bilinear : public CImageResampler {
  public:
    bool Execute(KORBAS::IProgressWork* progress) override;
};

// One plane of a source: an iterator anywhere in the plane (rows are found by
// their offset from the plane's start), its row stride (the image width) and
// its number of rows.
struct resample_source {
    image::ipointer plane;
    int stride;
    int rows;
};

// One row of the halving kernel: out[i] is the truncated mean of upper[2i],
// upper[2i + 1], lower[2i] and lower[2i + 1]. Overlaid pyramids halve with it too.
void HalveRow(const unsigned char* upper, const unsigned char* lower, unsigned char* out,
              int width);

// The kernels. Each fills a destination plane of width x height from the
// rectangle (x, y, srcWidth, srcHeight) of a source plane.
void ResampleCopy(image::pointer destination, int width, int height, const resample_source& source,
                  int x, int y, int srcWidth, int srcHeight);
void ResampleHalve(image::pointer destination, int width, int height, const resample_source& source,
                   int x, int y, int srcWidth, int srcHeight, KORBAS::IProgressWork* progress);
void ResampleBilinear(image::pointer destination, int width, int height,
                      const resample_source& source, int x, int y, int srcWidth, int srcHeight,
                      KORBAS::IProgressWork* progress);
void ResampleBilinearWide(image::pointer destination, int width, int height,
                          const resample_source& source, int x, int y, int srcWidth, int srcHeight,
                          KORBAS::IProgressWork* progress);

// Sources whose squared width and height are both below this use
// ResampleBilinear: its 32-bit ancestor formed j x H x 256 in 32 bits, which
// is safe for destinations no larger than the source while H^2 < 2^23.
constexpr long long kBilinearSquaredLimit = 8388608;

}  // namespace tarvel
