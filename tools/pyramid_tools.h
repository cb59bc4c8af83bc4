// What the pyramid commands share: the built-in sample, opening or building a
// pyramid with a progress bar, describing it, and saving captured views.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "display/display.h"
#include "host/progress.h"
#include "image/image.h"
#include "pyramid/pyramid.h"

namespace tarvel_cli {

// Size of the built-in sample.
constexpr int kSampleWidth = 10000;
constexpr int kSampleHeight = 8000;

// The largest capture: at most kMaxCaptureSide pixels a side and
// kMaxCapturePixels in all. A capture is a paged image whose pages go to the
// temporary directory (three bytes a pixel for colour: 768 MiB at the limit)
// before it is written out a band of rows at a time, so the limit guards the
// disk and the time a capture takes; memory stays that of the caches.
constexpr int kMaxCaptureSide = 1 << 20;
constexpr long long kMaxCapturePixels = 1LL << 28;

// Seconds on a monotonic clock.
double seconds_now();

// How a TIFF sample is stored: tile side (0: strips) and compression ("none",
// "jpeg", "lzw" or "deflate").
struct sample_tiff {
    int tile = 0;
    std::string compression = "none";
};

// Writes the built-in sample picture (JPEG for .jpg/.jpeg, PNG for .png, TIFF
// for .tif/.tiff) row by row. False with a reason in error; no partial file
// is left.
bool write_sample(const std::string& path, int width, int height, std::string& error);
bool write_sample(const std::string& path, int width, int height, const sample_tiff& tiff,
                  std::string& error);

// Opens the pyramid stored in dir, or builds it from source with a progress
// bar on standard error. A stored pyramid of another source is rebuilt only
// when rebuild is set. Another build of dir in progress is waited for (and
// said so) unless wait is false. Prints what it did; returns 0, or 1 after
// printing why not.
int open_or_build(tarvel::pyramid& p, const std::string& source, const std::string& dir,
                  bool rebuild, bool wait = true);

// What --keep-palette changes, for the help of every command that builds.
constexpr const char* kKeepPaletteHelp =
    "Palette sources (PNG, BMP and TIFF files with a colour table) are expanded to colour, or "
    "to grey when every entry of the palette is grey, so that reduced layers average colours; "
    "--keep-palette keeps the indices.";

// Adds --keep-palette to a command that builds pyramids.
void add_keep_palette_flag(CLI::App* cmd, bool& keepPalette);

// A progress bar for a build that stays silent while a stored pyramid is
// opened (an open only announces its layer count).
class build_progress : public KORBAS::IProgressWork {
  public:
    void SetTotal(int total) override {
        if (m_building) m_bar.SetTotal(total);
    }
    void Advance(int steps) override {
        if (m_building) m_bar.Advance(steps);
    }
    void SetText(const char* text) override {
        m_building = true;
        m_bar.SetText(text);
    }
    void Finish() override {
        if (m_building) m_bar.Finish();
    }
    void Abandon() {
        if (m_building) m_bar.Abandon();
    }

  private:
    KORBAS::CTerminalProgress m_bar{stderr};
    bool m_building = false;
};

// The host image of a command's input: the pyramid stored in the directory
// `input`, or the pyramid of the picture `input` kept in pyramidDir
// (INPUT.pyramid when empty), built there with a progress bar when missing
// and its palette expanded when expandPalette is set. Null with one line
// naming the file and the reason in error.
std::unique_ptr<tarvel::CImagePyramid> open_pyramid(const std::string& input,
                                                    const std::string& pyramidDir,
                                                    bool expandPalette, std::string& error);

// Two paths name the same source when they are equal or name the same file.
bool same_source(const std::string& a, const std::string& b);

// Prints one line per layer.
void print_layers(const tarvel::pyramid& p);

// Writes an image as PNG (.png, at zlib level pngLevel) or BMP (.bmp) by the
// path's extension, replacing the file only once it is complete. False with
// the file and the reason in error; a page of the image that could not be
// read or written meanwhile fails it too, leaving no file.
bool save_image(tarvel::image& img, const std::string& path, int pngLevel, std::string& error);

}  // namespace tarvel_cli
