// `tarvel demo`: the main job on the built-in sample. Generates the sample
// picture when it is missing, opens or builds its pyramid, and captures an
// overview, a zoomed view and a full-resolution detail to PNG files.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

// Width of the overview and side of the square views, in pixels.
constexpr int kOverviewWidth = 1200;
constexpr int kViewSide = 1024;

struct demo_options {
    std::string directory = "tarvel-demo";
    int width = kSampleWidth;
    int height = kSampleHeight;
    std::string format = "jpg";
    bool keepPalette = false;
};

struct view {
    const char* file;
    const char* what;
    int x, y, w, h, width, height;
};

int run_demo(const demo_options& o) {
    const double start = seconds_now();
    const std::string dir = o.directory.back() == '/' ? o.directory : o.directory + "/";
    for (size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1)) {
        _mkdir(dir.substr(0, at).c_str());
    }
    const std::string sample = dir + "sample." + o.format;
    struct stat st {};
    if (stat(sample.c_str(), &st) != 0) {
        std::printf("sample    generating %s, %d x %d RGB ...\n", sample.c_str(), o.width,
                    o.height);
        std::fflush(stdout);
        std::string error;
        const double t = seconds_now();
        if (!write_sample(sample, o.width, o.height, error)) {
            std::fprintf(stderr, "tarvel demo: %s: %s\n", sample.c_str(), error.c_str());
            return 1;
        }
        std::printf("sample    written in %.2f s\n", seconds_now() - t);
    } else {
        std::printf("sample    %s (already there)\n", sample.c_str());
    }

    tarvel::pyramid p;
    p.SetExpandPalette(!o.keepPalette);
    if (open_or_build(p, sample, dir + "pyramid", true) != 0) return 1;
    print_layers(p);

    const tarvel::image& top = *p.GetLayerAt(0);
    const int w = top.GetWidth();
    const int h = top.GetHeight();
    const int side = std::min({kViewSide, w, h});
    const int zoom = std::min({4 * kViewSide, w, h});
    const view views[] = {
        {"overview.png", "the whole picture", 0, 0, w, h, kOverviewWidth,
         std::max(1, static_cast<int>(1LL * h * kOverviewWidth / w))},
        {"zoom.png", "a quarter-resolution view of the centre", (w - zoom) / 2, (h - zoom) / 2,
         zoom, zoom, zoom / 4, zoom / 4},
        {"detail.png", "full resolution at the centre", (w - side) / 2, (h - side) / 2, side, side,
         side, side},
    };
    for (const view& v : views) {
        const double t = seconds_now();
        tarvel::image out;
        std::string error;
        const std::string path = dir + v.file;
        if (!p.Capture(out, v.width, v.height, v.x, v.y, v.w, v.h) ||
            !save_image(out, path, error)) {
            std::fprintf(stderr, "tarvel demo: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
        const int factor = std::max(v.w / v.width, v.h / v.height);
        std::printf("captured  %-22s %5d x %-5d from layer %d (%d %d %d %d): %s, %.3f s\n",
                    path.c_str(), v.width, v.height, p.GetLayerForReduction(factor), v.x, v.y, v.w,
                    v.h, v.what, seconds_now() - t);
    }
    std::printf("time      %.2f s, peak RSS %.1f MiB\n", seconds_now() - start,
                peak_resident_bytes() / 1048576.0);
    std::printf("Run it again: the pyramid opens from %spyramid without decoding the sample.\n",
                dir.c_str());
    return 0;
}

}  // namespace

void add_demo_command(CLI::App& app) {
    auto options = std::make_shared<demo_options>();
    CLI::App* cmd = app.add_subcommand(
        "demo",
        std::string(
            "The main job on the built-in sample, with no input needed: generate a 10000 x 8000 "
            "map-like RGB picture (when DIR has none), open or build its pyramid in DIR/pyramid "
            "with a progress bar, and capture an overview, a zoomed view and a full-resolution "
            "detail into DIR/overview.png, DIR/zoom.png and DIR/detail.png. ") +
            kKeepPaletteHelp);
    cmd->add_option("--dir", options->directory, "Directory for the sample, pyramid and views")
        ->capture_default_str();
    cmd->add_option("--width", options->width, "Width of a newly generated sample")
        ->check(CLI::Range(1, 65500))
        ->capture_default_str();
    cmd->add_option("--height", options->height, "Height of a newly generated sample")
        ->check(CLI::Range(1, 65500))
        ->capture_default_str();
    cmd->add_option("--format", options->format, "Sample file format")
        ->check(CLI::IsMember({"jpg", "tif"}))
        ->capture_default_str();
    add_keep_palette_flag(cmd, options->keepPalette);
    on_run(cmd, [options] { return run_demo(*options); });
}

}  // namespace tarvel_cli
