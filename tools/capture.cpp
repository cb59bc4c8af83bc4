// `tarvel capture DIR X Y W H WIDTH HEIGHT OUT`: cuts a rectangle of a stored
// pyramid, scaled to WIDTH x HEIGHT, into a PNG or BMP file.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "display/dib_rows.h"
#include "host/host.h"
#include "imagefile/imagefile.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

// Rows read, converted and handed to the PNG writer per step: the memory a
// PNG capture needs beside its image.
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

// Streams the image into a PNG file in bands of rows, converted to DIB rows:
// grey and palette images as 8-bit rows with their colour table (a grey or a
// palette PNG), colour images as 24-bit rows.
bool save_png(tarvel::image& img, const std::string& path, int level, std::string& error) {
    const int width = img.GetWidth();
    const int height = img.GetHeight();
    const int channels = img.GetType() == 3 ? 3 : 1;
    RGBQUAD table[256];
    tarvel::PutColourTable(table, img.GetType() == 2 ? img.GetPalette() : nullptr);
    KORBAS::CPngWriter writer;
    if (!writer.Open(path.c_str(), width, height, 8 * channels, table, 256, level)) {
        error = writer.GetError();
        return false;
    }
    const size_t plane = static_cast<size_t>(width) * kBandRows;
    const size_t stride = tarvel::DibRowBytes(width, 8 * channels);
    std::vector<unsigned char> samples(plane * channels);
    std::vector<unsigned char> rows(stride * kBandRows);
    for (int y0 = 0; y0 < height; y0 += kBandRows) {
        const int count = std::min(kBandRows, height - y0);
        for (int c = 0; c < channels; ++c)
            img.GetRegion(0, y0, width - 1, y0 + count - 1, c, samples.data() + c * plane);
        for (int r = 0; r < count; ++r) {
            const unsigned char* first = samples.data() + static_cast<size_t>(r) * width;
            const tarvel::dib_source source{{first, first + plane, first + 2 * plane}, channels};
            tarvel::PutDibRow(source, 0, width, rows.data() + r * stride);
        }
        if (!writer.WriteRows(rows.data(), count, static_cast<std::ptrdiff_t>(stride))) break;
    }
    if (!writer.Finish()) {
        error = writer.GetError();
        return false;
    }
    return true;
}

struct capture_options {
    std::string dir;
    int x = 0, y = 0, w = 0, h = 0, width = 0, height = 0;
    std::string out;
    int pngLevel = KORBAS::kPngFastLevel;
};

}  // namespace

bool save_image(tarvel::image& img, const std::string& path, int pngLevel, std::string& error) {
    if (has_extension(path, ".png")) return save_png(img, path, pngLevel, error);
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
    add_png_level_option(cmd, o->pngLevel);
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
        if (!save_image(view, o->out, o->pngLevel, error)) {
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
