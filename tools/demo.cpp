// `tarvel demo`: the main job on the built-in sample. Generates the sample
// picture when it is missing, opens or builds its pyramid, and shows an
// overview, a zoomed view and a full-resolution detail through the pyramid's
// host image and bitmap, as a host would, into PNG files.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "display/display.h"
#include "platform/platform.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/pyramid_tools.h"
#include "tools/view_tools.h"

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
    bool smooth = false;
    int pngLevel = KORBAS::kPngFastLevel;
};

struct demo_view {
    const char* file;
    const char* what;
    view_request request;
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

    auto* p = new tarvel::pyramid;
    p->SetExpandPalette(!o.keepPalette);
    tarvel::CImagePyramid adapter(p);  // shows the pyramid, and owns it
    if (open_or_build(*p, sample, dir + "pyramid", true) != 0) return 1;
    print_layers(*p);

    const int w = static_cast<int>(adapter.getWidth());
    const int h = static_cast<int>(adapter.getHeight());
    const int side = std::min({kViewSide, w, h});
    const int zoom = std::min({4 * kViewSide, w, h});
    const int overviewHeight =
        std::max(1, static_cast<int>(std::lround(1.0 * h * kOverviewWidth / w)));
    const demo_view views[] = {
        {"overview.png",
         "the whole picture",
         {kOverviewWidth, overviewHeight, 0, 0, 1.0 * w, 1.0 * h}},
        {"zoom.png",
         "the centre at a quarter of full resolution",
         {std::max(1, zoom / 4), std::max(1, zoom / 4), (w - zoom) / 2.0, (h - zoom) / 2.0,
          (w + zoom) / 2.0, (h + zoom) / 2.0}},
        {"detail.png",
         "the centre at full resolution",
         {side, side, (w - side) / 2.0, (h - side) / 2.0, (w + side) / 2.0, (h + side) / 2.0}},
    };
    for (const demo_view& v : views) {
        view_request request = v.request;
        request.smooth = o.smooth;
        const std::string path = dir + v.file;
        view_report report;
        std::string error;
        if (!render_view(adapter, request, path, o.pngLevel, report, error)) {
            std::fprintf(stderr, "tarvel demo: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
        std::printf("view      %-22s %5d x %-5d from layer %d, %s: %s; fill %.1f ms, PNG %.1f ms\n",
                    path.c_str(), request.width, request.height, report.layer,
                    request.smooth ? "smooth" : "nearest", v.what, report.fillSeconds * 1e3,
                    report.writeSeconds * 1e3);
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
            "with a progress bar, and show an overview, a zoomed view and a full-resolution "
            "detail as the display does (tarvel view) into DIR/overview.png, DIR/zoom.png and "
            "DIR/detail.png. ") +
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
    cmd->add_flag("--smooth", options->smooth, "Show the views with bilinear sampling");
    add_png_level_option(cmd, options->pngLevel);
    on_run(cmd, [options] { return run_demo(*options); });
}

}  // namespace tarvel_cli
