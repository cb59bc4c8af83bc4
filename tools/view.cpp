// `tarvel view SOURCE|DIR -o VIEW.png`: shows any view of a picture or a
// stored pyramid as the display does, through the pyramid's host image and
// its bitmap, and writes it as a PNG file.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "display/display.h"
#include "host/host.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"
#include "tools/view_tools.h"

namespace tarvel_cli {

namespace {

// The size of a view when none is asked for: the window's shape within this
// many pixels a side, or this wide and three quarters as high around a centre.
constexpr int kDefaultViewSide = 1024;

struct view_options {
    std::string input;
    std::string pyramidDir;
    bool keepPalette = false;
    std::string size;
    std::string window;
    std::string center;
    double zoom = 1.0;
    bool smooth = false;
    std::optional<double> brightness, contrast;
    bool inMemory = false;
    int pngLevel = KORBAS::kPngFastLevel;
    std::string out;
};

// Reads "A<sep>B" of two numbers; false unless the whole text is that.
bool parse_pair(const std::string& text, char sep, double& a, double& b) {
    const size_t at = text.find(sep);
    if (at == std::string::npos) return false;
    try {
        size_t used = 0;
        a = std::stod(text.substr(0, at), &used);
        if (used != at) return false;
        const std::string rest = text.substr(at + 1);
        b = std::stod(rest, &used);
        return used == rest.size();
    } catch (const std::exception&) {
        return false;
    }
}

bool parse_window(const std::string& text, view_request& v) {
    const size_t comma = text.find(',', text.find(',') + 1);
    return comma != std::string::npos && parse_pair(text.substr(0, comma), ',', v.x0, v.y0) &&
           parse_pair(text.substr(comma + 1), ',', v.x1, v.y1);
}

int fail(const std::string& what) {
    std::fprintf(stderr, "tarvel view: %s\n", what.c_str());
    return 1;
}

// The view the options ask for on an image of width x height pixels.
bool make_view(const view_options& o, int width, int height, view_request& v, std::string& error) {
    v.smooth = o.smooth;
    if (!o.size.empty()) {
        double w = 0, h = 0;
        if (!parse_pair(o.size, 'x', w, h) || w != std::floor(w) || h != std::floor(h) ||
            !(w >= 1 && h >= 1 && w <= kMaxViewSide && h <= kMaxViewSide)) {
            error = "--size " + o.size + ": give WxH, whole numbers from 1 to " +
                    std::to_string(kMaxViewSide);
            return false;
        }
        v.width = static_cast<int>(w);
        v.height = static_cast<int>(h);
    }
    if (!o.center.empty()) {
        double cx = 0, cy = 0;
        if (!parse_pair(o.center, ',', cx, cy)) {
            error = "--center " + o.center + ": give X,Y";
            return false;
        }
        if (!(o.zoom > 0) || !std::isfinite(o.zoom)) {
            error = "--zoom must be above 0";
            return false;
        }
        if (o.size.empty()) {
            v.width = kDefaultViewSide;
            v.height = kDefaultViewSide * 3 / 4;
        }
        const double hw = 0.5 * v.width / o.zoom, hh = 0.5 * v.height / o.zoom;
        v.x0 = cx - hw, v.x1 = cx + hw, v.y0 = cy - hh, v.y1 = cy + hh;
    } else if (!o.window.empty()) {
        if (!parse_window(o.window, v)) {
            error = "--window " + o.window + ": give X0,Y0,X1,Y1";
            return false;
        }
    } else {
        v.x0 = v.y0 = 0;
        v.x1 = width;
        v.y1 = height;
    }
    if (o.size.empty() && o.center.empty() && v.x1 > v.x0 && v.y1 > v.y0) {
        const double aspect = (v.y1 - v.y0) / (v.x1 - v.x0);
        v.width = aspect <= 1
                      ? kDefaultViewSide
                      : std::max(1, static_cast<int>(std::lround(kDefaultViewSide / aspect)));
        v.height = aspect <= 1
                       ? std::max(1, static_cast<int>(std::lround(kDefaultViewSide * aspect)))
                       : kDefaultViewSide;
    }
    return check_view(v, error);
}

// Loads the picture into a tiled in-memory pyramid, shown by its own adapter.
std::unique_ptr<Image::CImageOverlaidPyramid> load_in_memory(const view_options& o,
                                                             std::string& error) {
    struct stat st {};
    if (stat(o.input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "--in-memory loads a picture, and " + o.input + " is a directory";
        return nullptr;
    }
    if (o.brightness || o.contrast) {
        error = "--brightness and --contrast apply to paged pyramids, not with --in-memory";
        return nullptr;
    }
    auto layers = std::make_unique<Image::COverlaidPyramid>();
    build_progress progress;
    if (!Image::LoadOverlaidPyramid(*layers, o.input.c_str(), &progress, &error)) {
        progress.Abandon();
        return nullptr;
    }
    progress.Finish();
    return std::make_unique<Image::CImageOverlaidPyramid>(layers.release());
}

int run_view(const view_options& o) {
    const double start = seconds_now();
    std::string error;
    std::unique_ptr<KORBAS::CImage> adapter;
    tarvel::pyramid* p = nullptr;  // the paged pyramid, when that is what is shown
    if (o.inMemory) {
        adapter = load_in_memory(o, error);
    } else if (std::unique_ptr<tarvel::CImagePyramid> paged =
                   open_pyramid(o.input, o.pyramidDir, !o.keepPalette, error)) {
        p = &paged->getPyramid();
        adapter = std::move(paged);
    }
    if (!adapter) return fail(error);
    view_request v;
    if (!make_view(o, static_cast<int>(adapter->getWidth()), static_cast<int>(adapter->getHeight()),
                   v, error))
        return fail(error);

    // A view's brightness and contrast are its own: the stored ones come back after.
    double storedB = 50, storedC = 50;
    const bool restyled = p && (o.brightness || o.contrast);
    if (restyled) {
        p->GetBrightnessContrast(storedB, storedC);
        p->SetBrightnessContrast(o.brightness.value_or(storedB), o.contrast.value_or(storedC));
    }
    view_report report;
    const bool ok = render_view(*adapter, v, o.out, o.pngLevel, report, error);
    if (restyled) p->SetBrightnessContrast(storedB, storedC);
    if (!ok) return fail(o.out + ": " + error);
    std::printf(
        "view      %s: %d x %d of (%g, %g)-(%g, %g) from layer %d, %s; fill %.1f ms, PNG %.1f ms, "
        "%.3f s in all\n",
        o.out.c_str(), v.width, v.height, v.x0, v.y0, v.x1, v.y1, report.layer,
        v.smooth ? "smooth" : "nearest", report.fillSeconds * 1e3, report.writeSeconds * 1e3,
        seconds_now() - start);
    return 0;
}

}  // namespace

void add_view_command(CLI::App& app) {
    auto o = std::make_shared<view_options>();
    CLI::App* cmd = app.add_subcommand(
        "view",
        std::string(
            "Show a view of a picture or of the pyramid stored in DIR, as the display does: the "
            "layer that suits the view's scale fills a bitmap of the view's size, which is drawn "
            "onto a device surface and written as a PNG file. A picture's pyramid is opened from "
            "--pyramid (default SOURCE.pyramid), or built there with a progress bar. The window is "
            "given in full-resolution pixels with the origin at the top-left corner; without one "
            "the whole picture is shown. ") +
            kKeepPaletteHelp);
    cmd->add_option("SOURCE|DIR", o->input,
                    "A picture (JPEG, PNG, TIFF, BMP) or a pyramid directory")
        ->required();
    cmd->add_option("-o,--output", o->out, "The PNG file to write")->required();
    cmd->add_option("--pyramid", o->pyramidDir, "Work directory of a picture's pyramid");
    add_keep_palette_flag(cmd, o->keepPalette);
    cmd->add_option("--size", o->size,
                    "View size WxH in pixels (default: the window's shape within 1024 x 1024, "
                    "or 1024x768 around --center); at most " +
                        std::to_string(kMaxViewSide) + " a side and " +
                        std::to_string(kMaxViewPixels) + " pixels");
    auto* window = cmd->add_option("--window", o->window,
                                   "The rectangle X0,Y0,X1,Y1 to show: columns X0 to X1 and "
                                   "rows Y0 to Y1, right and bottom edges excluded");
    auto* center =
        cmd->add_option("--center", o->center, "Show the view around the image point X,Y");
    cmd->add_option("--zoom", o->zoom,
                    "View pixels per image pixel around --center: 1 is 1:1, 0.25 shows four "
                    "times as much")
        ->needs(center)
        ->capture_default_str();
    window->excludes(center);
    cmd->add_flag("--smooth", o->smooth, "Bilinear sampling instead of nearest-neighbour");
    cmd->add_option("--brightness", o->brightness, "Brightness, 0 to 100 (50 leaves it)")
        ->check(CLI::Range(0.0, 100.0));
    cmd->add_option("--contrast", o->contrast, "Contrast, 0 to 100 (50 leaves it)")
        ->check(CLI::Range(0.0, 100.0));
    cmd->add_flag("--in-memory", o->inMemory,
                  "Load the picture into a tiled in-memory pyramid (overlaid images swapped "
                  "through the part list) instead of opening or building paged layers");
    add_png_level_option(cmd, o->pngLevel);
    on_run(cmd, [o] { return run_view(*o); });
}

}  // namespace tarvel_cli
