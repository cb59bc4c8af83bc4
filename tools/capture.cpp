// `tarvel capture DIR X Y W H WIDTH HEIGHT OUT`: cuts a rectangle of a stored
// pyramid, scaled to WIDTH x HEIGHT, into a PNG or BMP file.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "display/dib_rows.h"
#include "host/host.h"
#include "imagefile/imagefile.h"
#include "tools/commands.h"
#include "tools/console.h"
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
    // Rows read from pages that could not be read are zeros: no file then.
    if (img.GetPageLoadFailures() != 0 || img.GetPageSaveFailures() != 0) {
        error = img.GetError();
        return false;
    }
    if (!writer.Finish()) {
        error = writer.GetError();
        return false;
    }
    return true;
}

// Whether a page of the pyramid or of the view could not be read or written:
// the page store has printed its message.
bool pages_failed(const tarvel::pyramid& p, const tarvel::image& view) {
    bool failed = view.GetPageLoadFailures() != 0 || view.GetPageSaveFailures() != 0;
    for (int k = 0; k < p.GetLayerCount(); ++k)
        failed = failed || p.GetLayerAt(k)->GetPageLoadFailures() != 0;
    return failed;
}

struct capture_options {
    std::string dir;
    int x = 0, y = 0, w = 0, h = 0, width = 0, height = 0;
    std::string out;
    int pngLevel = KORBAS::kPngFastLevel;
};

}  // namespace

bool save_image(tarvel::image& img, const std::string& path, int pngLevel, std::string& error) {
    bool ok = false;
    if (has_extension(path, ".png")) {
        ok = save_png(img, path, pngLevel, error);
    } else if (has_extension(path, ".bmp")) {
        tarvel::CImageFileFormat_bmp bmp;
        ok = bmp.Store(img, path.c_str(), nullptr);
        if (!ok) error = bmp.GetError();
    } else {
        error = "the output is written as .png or .bmp";
    }
    if (!ok && error.rfind(path + ": ", 0) != 0) error = path + ": " + error;
    return ok;
}

void add_capture_command(CLI::App& app) {
    auto o = std::make_shared<capture_options>();
    CLI::App* cmd = app.add_subcommand(
        "capture",
        "Cut the rectangle X Y W H (in full-resolution pixels) out of the pyramid stored in "
        "DIR, scale it to WIDTH x HEIGHT (each direction independently) and write it as PNG or "
        "BMP (by OUT's extension). The coarsest layer with enough pixels is read; parts of the "
        "rectangle beyond the image repeat its edge. The result has at most 1048576 pixels a "
        "side and 268435456 (2^28) in all; its pages go to a directory of their own in $TMPDIR "
        "(3 bytes a pixel for colour), and it is written a band of rows at a time.");
    cmd->add_option("DIR", o->dir, "Work directory of a stored pyramid")->required();
    cmd->add_option("X", o->x, "Left column of the rectangle")->required();
    cmd->add_option("Y", o->y, "Top row of the rectangle")->required();
    const auto side = CLI::Range(1, std::numeric_limits<int>::max());
    cmd->add_option("W", o->w, "Width of the rectangle")->required()->check(side);
    cmd->add_option("H", o->h, "Height of the rectangle")->required()->check(side);
    const auto result = CLI::Range(1, kMaxCaptureSide);
    cmd->add_option("WIDTH", o->width, "Width of the result")->required()->check(result);
    cmd->add_option("HEIGHT", o->height, "Height of the result")->required()->check(result);
    cmd->add_option("OUT", o->out, "Output file, .png or .bmp")->required();
    add_png_level_option(cmd, o->pngLevel);
    cmd->callback([o] {
        const double start = seconds_now();
        if (static_cast<long long>(o->width) * o->height > kMaxCapturePixels) {
            report_failure("capture",
                           std::to_string(o->width) + " x " + std::to_string(o->height) +
                               " pixels are more than a capture may have (" +
                               std::to_string(kMaxCapturePixels) + ")",
                           false);
            throw CLI::RuntimeError(1);
        }
        tarvel::pyramid p;
        struct stat st {};
        // Opening would create a missing directory; a capture only reads.
        if (stat(o->dir.c_str(), &st) != 0) {
            report_failure("capture", o->dir + ": " + std::strerror(errno), false);
            throw CLI::RuntimeError(1);
        }
        if (!p.Create(o->dir.c_str(), nullptr)) {
            report_failure("capture",
                           std::string(p.GetError()) + " (build one with tarvel pyramid SOURCE " +
                               o->dir + ")",
                           false);
            throw CLI::RuntimeError(1);
        }
        // The view's pages go to a directory of this run's own.
        private_temp_dir temp;
        std::string error;
        tarvel::image view;
        if (!temp.Create("capture", std::string(), error)) {
            report_failure("capture", error, false);
            throw CLI::RuntimeError(1);
        }
        if (!view.SetTempPath(temp.path().c_str())) {
            report_failure("capture", view.GetError(), false);
            throw CLI::RuntimeError(1);
        }
        try {
            if (!p.Capture(view, o->width, o->height, o->x, o->y, o->w, o->h)) {
                report_failure("capture", p.GetError(), pages_failed(p, view));
                throw CLI::RuntimeError(1);
            }
            if (!save_image(view, o->out, o->pngLevel, error)) {
                report_failure("capture", error, pages_failed(p, view));
                throw CLI::RuntimeError(1);
            }
        } catch (const std::bad_alloc&) {
            report_failure("capture",
                           "out of memory for a " + std::to_string(o->width) + " x " +
                               std::to_string(o->height) + " capture",
                           false);
            throw CLI::RuntimeError(1);
        }
        const double ratio =
            std::max(static_cast<double>(o->w) / o->width, static_cast<double>(o->h) / o->height);
        std::printf(
            "captured  %d %d %d %d of %s from layer %d into %s (%d x %d) in %.3f s, peak RSS "
            "%.1f MiB\n",
            o->x, o->y, o->w, o->h, p.GetName().c_str(),
            p.GetLayerForReduction(static_cast<int>(std::min(ratio, 2147483647.0))), o->out.c_str(),
            o->width, o->height, seconds_now() - start, peak_resident_bytes() / 1048576.0);
    });
}

}  // namespace tarvel_cli
