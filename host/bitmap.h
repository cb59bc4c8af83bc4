// KORBAS::CBitmap and KORBAS::CBitmapWindows: a host bitmap, and the Windows
// device-independent bitmap (DIB) that also decodes image files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/windows_types.h"

class QDC;

namespace KORBAS {

class CImage;

// The largest pixel buffer one DIB may have. A DIB's image size is a 32-bit
// field and its rows are addressed with a signed 32-bit scan-line offset, so
// anything from 2^31 bytes on cannot be described; files claiming more are
// refused before anything is allocated.
constexpr std::size_t kMaxDibBytes = 0x7fffffff;

// The exception every decoding failure throws; what() names the file and the
// reason, "<path>: <reason>".
class CImageDecodeException : public std::runtime_error {
  public:
    CImageDecodeException(const std::string& path, const std::string& reason);
    const std::string& path() const { return m_path; }
    const std::string& reason() const { return m_reason; }

  private:
    std::string m_path;
    std::string m_reason;
};

// A bitmap that displays its owning host image.
//
// Slots, in this order: 0 the virtual destructor, getWidth, getHeight,
// getBPP, getScanLineOffset, getBeginImage, getBeginImageRed,
// getBeginImageGreen, getBeginImageBlue, getStepColor, DisplayBitmap.
// Owns: nothing; m_pImage is the owner, not owned (may be null).
// Threads: one thread at a time.
class CBitmap {
  public:
    virtual ~CBitmap();

    virtual unsigned getWidth() const = 0;
    virtual unsigned getHeight() const = 0;
    virtual unsigned short getBPP() const = 0;
    // Signed byte distance from the start of a row to the start of the row below it.
    virtual int getScanLineOffset() const = 0;
    // The first byte of the top row.
    virtual unsigned char* getBeginImage() const = 0;
    // The red, green and blue bytes of the top row's first pixel.
    virtual unsigned char* getBeginImageRed() const = 0;
    virtual unsigned char* getBeginImageGreen() const = 0;
    virtual unsigned char* getBeginImageBlue() const = 0;
    // Bytes from one pixel to the next.
    virtual int getStepColor() const = 0;
    // Draws the image window (d1, d2) lower-left to (d3, d4) upper-right, in
    // layer-0 pixels with y growing upward, into the device rectangle with
    // lower-left corner (x1, y1) and upper-right corner (x2, y2) of dc.
    virtual void DisplayBitmap(QDC& dc, int x1, int y1, int x2, int y2, double d1, double d2,
                               double d3, double d4) = 0;

    CImage* getImage() const { return m_pImage; }

    // The owning host image.
    CImage* m_pImage;

  protected:
    explicit CBitmap(CImage* owner);
    CBitmap(const CBitmap&) = default;
    CBitmap& operator=(const CBitmap&) = default;
};

// A Windows DIB.
//
// Owns: the DIB block (a 40-byte BITMAPINFOHEADER followed by the RGBQUAD
// colour table, m_pInfoHeader, also seen as m_pBitmapInfo), the pixel buffer
// m_pBits (rows aligned to 4 bytes; bottom-up unless biHeight is negative)
// and the palette m_hPalette (null when none). All are released by the
// destructor and by the next allocDIB.
//
// Decoding: CBitmapWindows(owner, path, true) reads the file at path, choosing
// the decoder by the file's first bytes: JPEG, PNG, TIFF or BMP. The result
// is a bottom-up DIB of the picture as viewers show it: 8 bits with a colour
// table for grey and palette images (1-, 2- and 4-bit images are widened to
// one byte per pixel), 24 bits (BGR) for colour. Transparent parts are shown
// over white and embedded ICC profiles are converted to sRGB (see
// decode::ShownRows); 16-bit samples are reduced to 8 bits. With false, only
// the header and colour table are read: sizes and depth are known, but there
// is no pixel buffer.
//
// Failure: every decoding failure (missing, empty, truncated, corrupt or
// unsupported file, or a size beyond GetDecodeLimit()) throws
// CImageDecodeException, and the object does not exist. allocDIB returns false
// (leaving no DIB) for sizes it cannot hold.
// Threads: one thread at a time; decoding different files on different
// threads is safe.
class CBitmapWindows : public CBitmap {
  public:
    CBitmapWindows(CImage* owner, const char* path, bool decodePixels);
    ~CBitmapWindows() override;
    CBitmapWindows(const CBitmapWindows&) = delete;
    CBitmapWindows& operator=(const CBitmapWindows&) = delete;

    // Size and depth of the DIB (0 without one).
    unsigned getWidth() const override;
    unsigned getHeight() const override;
    // Bits per pixel of the DIB.
    unsigned short getBPP() const override;
    int getScanLineOffset() const override;
    unsigned char* getBeginImage() const override;
    // For 24 and 32 bits, the bytes of the first pixel (stored blue, green,
    // red); for 8 bits and less all three give the first byte (an index).
    unsigned char* getBeginImageRed() const override;
    unsigned char* getBeginImageGreen() const override;
    unsigned char* getBeginImageBlue() const override;
    int getStepColor() const override;
    // Fills the DIB from the owner's region reads at layer 0 with nearest
    // sampling (8 bits grey for one byte per pixel, 24 bits otherwise), then
    // blits it with its upper-left corner at (x1, y2). Nothing is drawn
    // without an owner.
    void DisplayBitmap(QDC& dc, int x1, int y1, int x2, int y2, double d1, double d2, double d3,
                       double d4) override;

    // The colour table that follows the header, and its number of entries
    // (biClrUsed, or 2^bits for 8 bits and less when that is 0).
    RGBQUAD* getColorTable() const;
    unsigned getColorCount() const;
    // Bytes per row of the pixel buffer.
    std::size_t getStride() const;
    // Size and bits per pixel of the DIB itself (0 without one), whatever
    // the virtual getWidth, getHeight and getBPP of a derived bitmap answer.
    unsigned getDibWidth() const;
    unsigned getDibHeight() const;
    unsigned short getDibBitCount() const;

    // The largest pixel buffer the decoding constructor will allocate, at most
    // kMaxDibBytes. Process-wide; lower it for untrusted input.
    static void SetDecodeLimit(std::size_t bytes);
    static std::size_t GetDecodeLimit();

    // The DIB block: header, then colour table.
    BITMAPINFOHEADER* m_pInfoHeader;
    // The pixel buffer.
    unsigned char* m_pBits;
    // The DIB block as passed to SetDIBitsToDevice.
    BITMAPINFO* m_pBitmapInfo;
    // The palette built by createPalette, or null.
    HPALETTE m_hPalette;

  protected:
    // No DIB yet.
    explicit CBitmapWindows(CImage* owner);

    // Replaces the DIB with a new one: header, colours entries of colour table
    // (zeroed) and a pixel buffer of height rows aligned to 4 bytes (not
    // initialised). bitCount is 1, 4, 8, 24 or 32; compression must be kBiRgb (0).
    // The DIB is bottom-up (positive biHeight). False, with no DIB left, when
    // the arguments are out of range, the buffer would exceed kMaxDibBytes or
    // memory runs out.
    bool allocDIB(int width, int height, int planes, int bitCount, int colors, int compression);
    // Releases DIB and palette.
    void freeDIB();
    // Builds m_hPalette from the colour table (replacing any earlier one).
    // False without a colour table.
    bool createPalette();

  private:
    friend class DibTarget;  // the decoders' view of a DIB being decoded

    // allocDIB's work; without pixels, only the header and colour table.
    bool allocDIBBlock(int width, int height, int bitCount, int colors, bool pixels);
};

}  // namespace KORBAS
