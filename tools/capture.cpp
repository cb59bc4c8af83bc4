// `tarvel capture DIR X Y W H WIDTH HEIGHT OUT`: cuts a rectangle of a stored
// pyramid, scaled to WIDTH x HEIGHT, into a PNG or BMP file.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "host/host.h"
#include "imagefile/imagefile.h"
#include "platform/platform.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

// Rows converted and drawn per step when a PNG is written: the surface holds
// the picture, the band only this many rows of it.
constexpr int kBandRows = 64;

bool has_extension(const std::string& path, const char* ext) {
    const size_t n = std::strlen(ext);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) {
            return false;
        }
    }
    return true;
}

// Draws the image onto a device surface in bands of 24-bit top-down DIB rows
// (grey and palette samples looked up into colours) and saves the surface.
bool save_png(tarvel::image& img, const std::string& path, std::string& error) {
    const int width = img.GetWidth();
    const int height = img.GetHeight();
    std::unique_ptr<QDC> dc;
    try {
        dc = std::make_unique<QDC>(width, height);
    } catch (const std::exception& e) {
        error = std::string("too large for a PNG surface: ") + e.what();
        return false;
    }
    const int stride = (3 * width + 3) & ~3;
    std::vector<unsigned char> bits(static_cast<size_t>(stride) * kBandRows);
    std::vector<unsigned char> samples(static_cast<size_t>(width) * kBandRows);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = kBiRgb;
    const unsigned char* palette = img.GetPalette();
    const int channels = img.GetType() == 3 ? 3 : 1;
    for (int y0 = 0; y0 < height; y0 += kBandRows) {
        const int rows = std::min(kBandRows, height - y0);
        for (int c = 0; c < channels; ++c) {
            img.GetRegion(0, y0, width - 1, y0 + rows - 1, c, samples.data());
            for (int r = 0; r < rows; ++r) {
                unsigned char* out = bits.data() + static_cast<size_t>(r) * stride;
                const unsigned char* in = samples.data() + static_cast<size_t>(r) * width;
                for (int x = 0; x < width; ++x) {
                    if (channels == 3) {
                        out[3 * x + 2 - c] = in[x];  // blue, green, red in a DIB
                    } else {
                        const unsigned v = in[x];
                        out[3 * x + 2] = palette != nullptr ? palette[3 * v] : v;
                        out[3 * x + 1] = palette != nullptr ? palette[3 * v + 1] : v;
                        out[3 * x] = palette != nullptr ? palette[3 * v + 2] : v;
                    }
                }
            }
        }
        info.bmiHeader.biHeight = -rows;  // top-down
        SetDIBitsToDevice(*dc, 0, y0, width, rows, 0, 0, 0, rows, bits.data(), &info,
                          kDibRgbColors);
    }
    if (!dc->SaveAsPNG(path.c_str())) {
        error = "cannot write the PNG file";
        return false;
    }
    return true;
}

struct capture_options {
    std::string dir;
    int x = 0, y = 0, w = 0, h = 0, width = 0, height = 0;
    std::string out;
};

}  // namespace

bool save_image(tarvel::image& img, const std::string& path, std::string& error) {
    if (has_extension(path, ".png")) return save_png(img, path, error);
    if (has_extension(path, ".bmp")) {
        if (tarvel::storeWindowsBMP(img, path.c_str(), nullptr) == 0) return true;
        error = "cannot write the BMP file";
        return false;
    }
    error = "the output is written as .png or .bmp";
    return false;
}

void add_capture_command(CLI::App& app) {
    auto o = std::make_shared<capture_options>();
    CLI::App* cmd = app.add_subcommand(
        "capture",
        "Cut the rectangle X Y W H (in full-resolution pixels) out of the pyramid stored in "
        "DIR, scale it to WIDTH x HEIGHT (each direction independently) and write it as PNG or "
        "BMP (by OUT's extension). The coarsest layer with enough pixels is read; parts of the "
        "rectangle beyond the image repeat its edge.");
    cmd->add_option("DIR", o->dir, "Work directory of a stored pyramid")->required();
    cmd->add_option("X", o->x, "Left column of the rectangle")->required();
    cmd->add_option("Y", o->y, "Top row of the rectangle")->required();
    cmd->add_option("W", o->w, "Width of the rectangle")->required()->check(CLI::PositiveNumber);
    cmd->add_option("H", o->h, "Height of the rectangle")->required()->check(CLI::PositiveNumber);
    cmd->add_option("WIDTH", o->width, "Width of the result")
        ->required()
        ->check(CLI::PositiveNumber);
    cmd->add_option("HEIGHT", o->height, "Height of the result")
        ->required()
        ->check(CLI::PositiveNumber);
    cmd->add_option("OUT", o->out, "Output file, .png or .bmp")->required();
    cmd->callback([o] {
        const double start = seconds_now();
        tarvel::pyramid p;
        struct stat st {};
        // Opening would create a missing directory; a capture only reads.
        if (stat(o->dir.c_str(), &st) != 0 || !p.Create(o->dir.c_str(), nullptr)) {
            std::fprintf(stderr,
                         "tarvel capture: %s holds no pyramid (build one with tarvel pyramid "
                         "SOURCE %s)\n",
                         o->dir.c_str(), o->dir.c_str());
            throw CLI::RuntimeError(1);
        }
        tarvel::image view;
        std::string error;
        if (!p.Capture(view, o->width, o->height, o->x, o->y, o->w, o->h)) {
            std::fprintf(stderr, "tarvel capture: cannot make a %d x %d image\n", o->width,
                         o->height);
            throw CLI::RuntimeError(1);
        }
        if (!save_image(view, o->out, error)) {
            std::fprintf(stderr, "tarvel capture: %s: %s\n", o->out.c_str(), error.c_str());
            throw CLI::RuntimeError(1);
        }
        const double ratio =
            std::max(static_cast<double>(o->w) / o->width, static_cast<double>(o->h) / o->height);
        std::printf("captured  %d %d %d %d of %s from layer %d into %s (%d x %d) in %.3f s\n", o->x,
                    o->y, o->w, o->h, p.GetName().c_str(),
                    p.GetLayerForReduction(static_cast<int>(std::min(ratio, 2147483647.0))),
                    o->out.c_str(), o->width, o->height, seconds_now() - start);
    });
}

}  // namespace tarvel_cli
