// Image files: the format family that turns files into paged images and back,
// the BMP reader and writer, and the reader of files the host library decodes.
#pragma once

#include <string>

#include "host/progress.h"
#include "image/image.h"

namespace tarvel {

// Limits of the BMP reader. Files beyond them are refused before anything is
// allocated or the target image is touched.
constexpr int kBmpFileHeaderBytes = 14;  // "BM", size, two reserved words, pixel offset
constexpr int kBmpInfoHeaderBytes = 40;  // the classic information header
constexpr int kBmpHeaderBytes = kBmpFileHeaderBytes + kBmpInfoHeaderBytes;
constexpr int kBmpMaxColours = 256;                       // an 8-bit index reaches no further
constexpr int kBmpColourTableBytes = kBmpMaxColours * 4;  // written tables: 256 RGBQUADs

// A file format: reads a file into a paged image and, where the format allows,
// writes one back. Format objects are short-lived: make one, call Load or
// Store once, drop it.
//
// Owns: nothing. The target image it records during a call belongs to the caller.
// Threads: one thread, one call at a time.
class IImageFileFormat {
  public:
    virtual ~IImageFileFormat() = default;
    // Every format answers true; nothing relies on it.
    virtual bool Accepts(int, int) = 0;
    // Recreates `image` at the file's size and fills it. `options` is ignored;
    // `progress` may be null (no reporting). True on success.
    virtual bool Load(image& image, const char* path, const char* options,
                      KORBAS::IProgressWork* progress) = 0;
    // Writes `image` to `path`. `options` is ignored. True on success.
    virtual bool Store(image& image, const char* path, const char* options) = 0;
};

// The base of every format: accepts anything, loads and stores nothing, and
// keeps the reason of its last failure.
class CImageFileFormat : public IImageFileFormat {
  public:
    CImageFileFormat() : m_target(nullptr) {}
    bool Accepts(int, int) override { return true; }
    bool Load(image&, const char* path, const char*, KORBAS::IProgressWork*) override {
        return fail(path, "this format reads no files");
    }
    bool Store(image&, const char* path, const char*) override {
        return fail(path, "this format writes no files");
    }
    // Why the last Load or Store failed, one line naming the file and the
    // reason ("photo.bmp: truncated: ..."); empty after a success.
    const char* GetError() const { return m_error.c_str(); }

  protected:
    // Records why the call on `path` failed; returns false.
    bool fail(const char* path, const std::string& reason) {
        m_error = std::string(path != nullptr ? path : "(no file name)") + ": " + reason;
        return false;
    }

    image* m_target;      // the image of the call in progress; not owned
    std::string m_error;  // see GetError
};

// Uncompressed Windows BMP files, read and written by the system itself
// through buffered stdio.
//
// Load accepts 24-bit files (giving a three-channel RGB image, channel 0 red)
// and 8-bit files with at most 256 colours (giving a palette image; colours
// beyond the file's table are black), in either row order, with any
// information header it knows: OS/2 1.x (12 bytes, 3-byte colours), OS/2 2.x
// (16 to 64 bytes, Windows' 40, 52 and 56 among them), V4 (108) and V5 (124).
// The colour table follows the information header; the pixels start at
// bfOffBits (right after the table when it is 0). It refuses every other
// header kind, depth, compression, a width or height below 1, a plane of 2^31
// bytes or more, pixels said to start inside the headers, and any file
// shorter than its headers declare; those refusals happen before the image is
// touched. If a read still comes up short (the
// file shrank meanwhile) or a buffer cannot be had, the image is destroyed
// (left empty) and Load returns false.
//
// Store writes grey (type 1) and palette (type 2) images as 8-bit files with a
// 256-entry table (the grey ramp for grey) and every other image as 24-bit
// (channels 0, 1, 2 as red, green, blue), bottom-up, under an exclusive
// temporary name renamed onto the file only once complete
// (platform/output_file.h). It returns false for an image without pages, a
// file that cannot be created, a write error, or a page of the image that
// could not be read or written back meanwhile; the file it was to replace then
// stays as it was.
//
// Progress: Load reports one step per row to its sink (SetTotal(height), then
// Advance(1) per row). Store reports the same way to the sink given to
// SetStoreProgress, if any.
class CImageFileFormat_bmp : public CImageFileFormat {
  public:
    bool Load(image& image, const char* path, const char* options,
              KORBAS::IProgressWork* progress) override;
    bool Store(image& image, const char* path, const char* options) override;
    // Where Store reports its rows; null (the default) for no reporting. Not owned.
    void SetStoreProgress(KORBAS::IProgressWork* progress) { m_storeProgress = progress; }

  private:
    KORBAS::IProgressWork* m_storeProgress = nullptr;

    bool load24(const char* path, KORBAS::IProgressWork* progress);
    bool load8(const char* path, KORBAS::IProgressWork* progress);
    bool store24(const char* path, std::string& why);
    bool store8(const char* path, std::string& why);
};

// Any file the host imaging library decodes (JPEG, PNG, TIFF, BMP), read into
// a paged image through the host's Windows bitmap, so as viewers show it:
// upright, transparent parts over white, colours in sRGB (see
// KORBAS::CBitmapWindows). 24- and 32-bit pictures
// become RGB images (channel 0 red; the fourth byte is dropped), 8 bits and
// fewer palette images (colours beyond the bitmap's table are black). Row 0 is
// the top of the picture whatever the file's row order. No progress is reported.
//
// Failure: every host exception, a depth of 9 to 16 bits or a size the paged
// image cannot take gives false, and those refusals leave the image as it
// was. A failure after the image was created leaves it at its new size with
// the rows copied so far. Store is the base's: false, nothing written.
//
// SetExpandPalette(true) departs from that for palette pictures, whose
// indices mean nothing when averaged or interpolated: they load as grey
// images (type 1) when every palette entry is a grey level, else as RGB
// images (type 3), each pixel the colour of its index.
class CImageFileFormat_dib : public CImageFileFormat {
  public:
    bool Load(image& image, const char* path, const char* options,
              KORBAS::IProgressWork* progress) override;
    void SetExpandPalette(bool expand) { m_expandPalette = expand; }

  private:
    bool m_expandPalette = false;
};

// Imports a BMP file into `image` (see CImageFileFormat_bmp::Load). The third
// argument is ignored. Returns 0 on success and -1 on failure.
int loadWindowsBMP(image& image, const char* path, const char* options);

// Exports `image` as a BMP file (see CImageFileFormat_bmp::Store). The third
// argument is ignored. Returns 0 on success and -1 on failure.
int storeWindowsBMP(image& image, const char* path, const char* options);

}  // namespace tarvel
