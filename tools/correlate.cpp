// `tarvel correlate FIRST SECOND X1 Y1 X2 Y2`: finds in SECOND the point that
// looks most like (X1, Y1) of FIRST, searching around (X2, Y2), and prints it
// with its correlation factor. Points are pixels from the top-left corner.
#include <cstdio>
#include <memory>
#include <string>

#include "correlation/correlation.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

using tarvel::CImageCorrelator_targeting;

struct correlate_options {
    std::string first, second;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

int run_correlate(const correlate_options& o) {
    std::string error;
    std::unique_ptr<tarvel::CImagePyramid> first, second;
    if (!(first = open_pyramid(o.first, "", false, error)) ||
        !(second = open_pyramid(o.second, "", false, error))) {
        std::fprintf(stderr, "tarvel correlate: %s\n", error.c_str());
        return 1;
    }
    const double h1 = first->getHeight();
    const double h2 = second->getHeight();
    // The correlator counts y upwards from the bottom edge.
    CImageCorrelator_targeting c(*first, *second, {o.x1, h1 - o.y1}, {o.x2, h2 - o.y2});
    if (!c.Execute()) {
        const bool target = c.GetFailure() == tarvel::correlation_failure::first_point_near_border;
        const tarvel::CImagePyramid& image = target ? *first : *second;
        std::fprintf(stderr,
                     "tarvel correlate: %s: the point (%g, %g) lies closer than %d pixels to a "
                     "border of this %u x %u picture, which the %s needs\n",
                     (target ? o.first : o.second).c_str(), target ? o.x1 : o.x2,
                     target ? o.y1 : o.y2,
                     target ? CImageCorrelator_targeting::kFirstPointMargin
                            : CImageCorrelator_targeting::kSecondPointMargin,
                     image.getWidth(), image.getHeight(),
                     target ? "17 x 17 template" : "76 x 76 search window");
        return 1;
    }
    const zun::geom::PNT_3D found = c.GetPoint();
    std::printf("point     %.10g %.10g\n", found.x, h2 - found.y);
    if (c.GetFactor() == -1.0) {
        std::printf("factor    -1 (no position scored: the search point, truncated)\n");
    } else {
        std::printf("factor    %.6f\n", c.GetFactor());
    }
    return 0;
}

}  // namespace

void add_correlate_command(CLI::App& app) {
    auto options = std::make_shared<correlate_options>();
    CLI::App* cmd = app.add_subcommand(
        "correlate",
        "Find in SECOND the point that looks most like the point (X1, Y1) of FIRST, searching "
        "around (X2, Y2): a 17 x 17 template is compared with positions up to 30 pixels away by "
        "normalised cross-correlation of channel 0 (grey, or red). Prints the point found and "
        "its factor (0 to 1; -1 when no position scored). Pixels count from the top-left "
        "corner; (X1, Y1) must keep 10 pixels from the borders of FIRST and (X2, Y2) 40 from "
        "those of SECOND. FIRST and SECOND are pictures (JPEG, PNG, TIFF or BMP; the pyramid "
        "of PICTURE is kept in PICTURE.pyramid, built when missing) or pyramid directories.");
    cmd->add_option("FIRST", options->first, "Picture or pyramid directory with the target")
        ->required();
    cmd->add_option("SECOND", options->second, "Picture or pyramid directory searched")->required();
    cmd->add_option("X1", options->x1, "Target column in FIRST")->required();
    cmd->add_option("Y1", options->y1, "Target row in FIRST")->required();
    cmd->add_option("X2", options->x2, "Approximate column in SECOND")->required();
    cmd->add_option("Y2", options->y2, "Approximate row in SECOND")->required();
    on_run(cmd, [options] { return run_correlate(*options); });
}

}  // namespace tarvel_cli
