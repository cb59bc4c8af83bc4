// `tarvel sample`: generates the built-in sample, a large map-like RGB picture,
// streamed into a JPEG, PNG or TIFF file (strips or tiles, uncompressed or
// compressed), in memory bounded by a row of tiles whatever the size.
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <tiffio.h>

#include "platform/output_file.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"
#include "tools/sample_picture.h"

namespace tarvel_cli {

namespace {

// Largest side of a generated sample: JPEG stores sides in 16 bits.
constexpr int kMaxSampleSide = 65500;
// Largest TIFF tile side: a row of tiles stays in memory while it is written.
constexpr int kMaxTileSide = 1024;

bool ends_with(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    }
    return true;
}

// The TIFF compressions a sample may have, by the names the option takes.
const std::map<std::string, int>& compressions() {
    static const std::map<std::string, int> names = {{"none", COMPRESSION_NONE},
                                                     {"jpeg", COMPRESSION_JPEG},
                                                     {"lzw", COMPRESSION_LZW},
                                                     {"deflate", COMPRESSION_ADOBE_DEFLATE}};
    return names;
}

struct sample_options {
    std::string out;
    int width = kSampleWidth;
    int height = kSampleHeight;
    int tile = 0;
    std::string compression = "none";
};

}  // namespace

bool write_sample(const std::string& path, int width, int height, std::string& error) {
    return write_sample(path, width, height, sample_tiff(), error);
}

bool write_sample(const std::string& path, int width, int height, const sample_tiff& tiff,
                  std::string& error) {
    const bool jpeg = ends_with(path, ".jpg") || ends_with(path, ".jpeg");
    const bool png = ends_with(path, ".png");
    const bool isTiff = ends_with(path, ".tif") || ends_with(path, ".tiff");
    if (!jpeg && !png && !isTiff) {
        error = "the sample is written as .jpg, .png or .tif";
        return false;
    }
    if (width < 1 || height < 1 || width > kMaxSampleSide || height > kMaxSampleSide) {
        error = "sides must lie between 1 and " + std::to_string(kMaxSampleSide);
        return false;
    }
    const auto compression = compressions().find(tiff.compression);
    if (compression == compressions().end()) {
        error = "unknown TIFF compression " + tiff.compression;
        return false;
    }
    if (tiff.tile < 0 || tiff.tile % 16 != 0 || tiff.tile > kMaxTileSide) {
        error = "tile sides are multiples of 16 up to " + std::to_string(kMaxTileSide);
        return false;
    }
    const sample_picture picture(width, height);
    // Written under an exclusive temporary name and renamed: no partial file
    // under the real one, none left behind by a failure or Ctrl-C.
    tarvel::output_file out;
    if (!out.Open(path.c_str())) {
        error = out.GetError();
        return false;
    }
    // The TIFF library opens the temporary (this run's own file) by its name.
    const bool ok = isTiff ? write_tiff(picture, out.GetPath(),
                                        tiff_layout{tiff.tile, compression->second}, error)
                    : jpeg ? write_jpeg(picture, out.GetStream(), error)
                           : write_png(picture, out.GetStream(), error);
    if (ok && !out.Commit()) {
        error = out.GetError();
        return false;
    }
    return ok;
}

void add_sample_command(CLI::App& app) {
    auto options = std::make_shared<sample_options>();
    CLI::App* cmd = app.add_subcommand(
        "sample",
        "Generate the built-in sample: a map-like RGB picture (terrain colours, a grid, roads, "
        "rivers, lakes, towns, fine texture), written row by row as JPEG (.jpg), PNG (.png) or "
        "TIFF (.tif: strips or tiles, uncompressed unless --compression says otherwise; "
        "BigTIFF past 3.5 GB of pixels), so memory stays small whatever the size.");
    cmd->add_option("OUT", options->out, "Output file, .jpg, .png or .tif")->required();
    cmd->add_option("--width", options->width, "Width in pixels")
        ->check(CLI::Range(1, kMaxSampleSide));
    cmd->add_option("--height", options->height, "Height in pixels")
        ->check(CLI::Range(1, kMaxSampleSide));
    cmd->add_option("--tile", options->tile,
                    "TIFF only: square tiles of this side (a multiple of 16); 0 for strips")
        ->check(CLI::Range(0, kMaxTileSide));
    cmd->add_option("--compression", options->compression,
                    "TIFF only: none, jpeg (quality 90, YCbCr), lzw or deflate");
    cmd->callback([options] {
        std::string error;
        const double start = seconds_now();
        if (!write_sample(options->out, options->width, options->height,
                          sample_tiff{options->tile, options->compression}, error)) {
            std::fprintf(stderr, "tarvel sample: %s: %s\n", options->out.c_str(), error.c_str());
            throw CLI::RuntimeError(1);
        }
        std::printf("sample    %s, %d x %d RGB, %.2f s\n", options->out.c_str(), options->width,
                    options->height, seconds_now() - start);
    });
}

}  // namespace tarvel_cli
